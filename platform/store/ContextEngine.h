#pragma once

// The inside of a context: identity map, change sets, saving, fetching and merging. Only this layer uses it.

#include "platform/core/QDError.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/SqliteStore.h"

#include <QHash>

#include <memory>
#include <vector>

namespace platform::core {
class DispatchQueue;
}

namespace platform::store {

// An object's state as a parent context hands it to a child.
struct ObjectSnapshot
{
    bool exists = false;
    ManagedObjectID id;
    std::vector<QVariant> values;
    std::vector<ManagedObjectID> toOne; // per relationship; null for to-many or unset
};

class ContextEngine
{
public:
    ContextEngine(ManagedObjectContext *owner, ManagedObjectContext::ConcurrencyType type);
    ~ContextEngine();

    ManagedObjectContext *q;
    QString name;
    std::shared_ptr<StoreCoordinator> coordinator;
    std::shared_ptr<platform::core::DispatchQueue> queue; // private kind only

    // identity map: permanent objects by (entity index, pk); objects that had a temporary identifier also by
    // its number, indexed on the first lookup that needs it (most never are)
    QHash<quint64, ManagedObject *> permanent;
    mutable QHash<quint64, ManagedObject *> temporary;
    mutable std::vector<ManagedObject *> unindexedTemporary;
    std::vector<ManagedObject *> owned;         // every object made since the last reset, detached ones too
    std::vector<ManagedObject *> changed;       // objects that have or had pending changes, in order of change
    std::vector<ManagedObject *> pendingNotice; // touched by tracked changes since the last objects-did-change
    bool noticeScheduled = false;
    bool saving = false;

    // --- structure
    const ManagedObjectModel *model() const;
    StoreCoordinator *rootCoordinator() const;
    SqliteStore *store() const; // only for a context attached to a coordinator
    const EntityLayout *layout(const EntityDescription *entity) const;
    static const EntityLayout *layoutFor(ManagedObjectContext *context, const EntityDescription *entity)
    {
        return context->m_engine->layout(entity);
    }

    static quint64 permanentKey(const EntityDescription *entity, qint64 pk)
    {
        return (quint64(entity->index()) << 48) | quint64(pk);
    }

    // --- identity
    ManagedObject *registered(const ManagedObjectID &id) const;
    void registerObject(ManagedObject *object);
    void unregisterObject(ManagedObject *object);
    ManagedObject *newObject(const EntityDescription *entity);
    ManagedObject *materializeRow(const EntityDescription *entity, RowData &row);
    ManagedObject *materializeSnapshot(ObjectSnapshot &snapshot);
    // A fault of a stored record holding the plan's values (moved from values).
    ManagedObject *materializeFault(const EntityDescription *entity, qint64 pk,
                                    const std::shared_ptr<const FaultPlan> &plan, std::vector<QVariant> &&values);
    // Reads a fault's record from the store or the parent and makes it whole.
    void fulfillFault(ManagedObject *object);
    // Registers an object just filled from stored values and lets it awake; tracking is off meanwhile, so what
    // it was read with does not count as a change.
    ManagedObject *registerFetched(ManagedObject *object);
    ManagedObject *objectWithID(const ManagedObjectID &id, platform::core::QDError *error);
    // Values and to-one links of one object; a related object deleted but not yet saved counts as gone.
    static ObjectSnapshot snapshotOfObject(const ManagedObject *object);
    ObjectSnapshot snapshotFor(const ManagedObjectID &id); // on this context's queue
    std::vector<ManagedObjectID> relatedIDsFor(const ManagedObjectID &id, int relationshipIndex);
    ManagedObjectID permanentID(const EntityDescription *entity, qint64 pk) const;

    // --- relationships
    void loadToMany(ManagedObject *object, int relationshipIndex);
    // Loads the named relationships of fetched objects with one query per relationship (and group of
    // objects) instead of one per object and relationship.
    void prefetchRelationships(const QStringList &keyPaths, const EntityDescription &entity,
                               const std::vector<ManagedObject *> &objects);

    // --- changes
    void noteChange(ManagedObject *object, bool tracked);
    void scheduleNotice();
    void processPendingChanges();
    std::vector<ManagedObject *> objectsInState(ManagedObject::State state) const;
    bool hasChanges() const;
    bool hasChangesFor(const EntityDescription *entity) const;
    void deleteObject(ManagedObject *object);
    void rollback();
    void reset();
    void detach(ManagedObject *object);
    void refresh(ManagedObject *object, bool mergeChanges);
    void applyFreshState(ManagedObject *object, const RowData *row, const ObjectSnapshot *snapshot, bool keepChanges);
    void mergeChanges(const SaveChanges &changes);
    void absorbChildChanges(const std::vector<ObjectSnapshot> &inserted, const std::vector<ObjectSnapshot> &updated,
                            const std::vector<std::vector<std::vector<ManagedObjectID>>> &updatedToMany,
                            const std::vector<QStringList> &updatedKeys, const std::vector<ManagedObjectID> &deleted);

    // --- saving
    bool save(platform::core::QDError *error);
    bool validate(const std::vector<ManagedObject *> &objects, platform::core::QDError *error);
    bool resolveConflict(Connection &c, ManagedObject *object, platform::core::QDError *error);

    // --- fetching
    bool fetchObjects(const FetchRequest &request, std::vector<ManagedObject *> &out, platform::core::QDError *error);
    bool fetchIDs(const FetchRequest &request, std::vector<ManagedObjectID> &out, platform::core::QDError *error);
    bool buildSql(const FetchRequest &request, const EntityDescription &entity, const QString &columns,
                  bool window, QString &sql, QVariantList &binds, platform::core::QDError *error);
    void applyPending(const FetchRequest &request, const EntityDescription &entity, std::vector<ManagedObject *> &objects);
};

} // namespace platform::store
