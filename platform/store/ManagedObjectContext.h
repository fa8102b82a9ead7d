#pragma once

#include "platform/core/QDError.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObject.h"
#include "platform/store/ManagedObjectID.h"
#include "platform/store/StoreNotifications.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace platform::core {
struct Notification;
class DispatchQueue;
}

namespace platform::store {

class StoreCoordinator;
class ContextEngine;

// How a save settles a record that changed in the store since this context read it.
enum class MergePolicy {
    Error,       // the save fails with StoreErrorMergeConflict and writes nothing (the default)
    ObjectTrump, // property by property: this context's changed values win, the others take the store's
    StoreTrump,  // property by property: the store's values win over this context's changes
};

// A scratch pad of objects over a coordinator or a parent context.
//
// Kinds: a main-queue context belongs to the Qt main thread; a private-queue context owns a serial queue of
// its own. Everything a context or its objects do runs on that queue: wrap work in perform() (queued) or
// performAndWait() (runs at once when already on the queue, else queued and waited for). A main-queue
// context may also be used directly on the main thread.
//
// A context attached to a coordinator saves with SQL (one transaction per save). A child context (parent
// set instead) hands its changes to the parent's objects when it saves; nothing reaches the file until the
// parent saves. Fetches in a child see the parent's unsaved state.
//
// Objects are owned by the context and stay valid until reset() or the context's destruction; rollback() of an
// insertion, the save that deleted an object and a merged deletion detach it (its managedObjectContext() becomes
// null). Hold identifiers, not objects, across those.
//
// Make contexts with create() (or std::make_shared): the context schedules its objects-did-change notice through
// a weak reference to itself.
class ManagedObjectContext : public std::enable_shared_from_this<ManagedObjectContext>
{
public:
    enum class ConcurrencyType { MainQueue, PrivateQueue };

    explicit ManagedObjectContext(ConcurrencyType type);
    ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext &) = delete;
    ManagedObjectContext &operator=(const ManagedObjectContext &) = delete;

    static std::shared_ptr<ManagedObjectContext> create(ConcurrencyType type)
    {
        return std::make_shared<ManagedObjectContext>(type);
    }

    ConcurrencyType concurrencyType() const { return m_type; }
    QString name() const;
    void setName(const QString &name);

    // Exactly one of the two is set before first use.
    std::shared_ptr<StoreCoordinator> persistentStoreCoordinator() const;
    void setPersistentStoreCoordinator(std::shared_ptr<StoreCoordinator> coordinator);
    std::shared_ptr<ManagedObjectContext> parentContext() const { return m_parent; }
    void setParentContext(std::shared_ptr<ManagedObjectContext> parent);

    MergePolicy mergePolicy() const { return m_mergePolicy; }
    void setMergePolicy(MergePolicy policy) { m_mergePolicy = policy; }

    // Queue discipline.
    void perform(std::function<void()> block);
    void performAndWait(const std::function<void()> &block);
    // True when the calling thread may use this context now.
    bool isOnQueue() const;

    // Objects.
    // A new object of the entity with its default values; awakeFromInsert has run. Null for an unknown entity.
    ManagedObject *insertNewObject(const QString &entityName);
    template <typename T>
    T *insertNewObject(const QString &entityName)
    {
        return dynamic_cast<T *>(insertNewObject(entityName));
    }
    // Marks the object deleted, calls its prepareForDeletion, then runs the delete rules of its relationships
    // (cascade deletes, nullify removes it from the inverse, deny is checked by save, no action does nothing).
    void deleteObject(ManagedObject *object);

    // The object for an identifier: the registered one, else materialised from the parent or the store.
    // Null when the record does not exist.
    ManagedObject *objectWithID(const ManagedObjectID &id);
    // As objectWithID, with an error saying why there is none.
    ManagedObject *existingObjectWithID(const ManagedObjectID &id, platform::core::QDError *error = nullptr);
    // Only an object already registered in this context.
    ManagedObject *objectRegisteredForID(const ManagedObjectID &id) const;

    // Pending changes.
    bool hasChanges() const;
    QList<ManagedObject *> insertedObjects() const;
    QList<ManagedObject *> updatedObjects() const;
    QList<ManagedObject *> deletedObjects() const;
    QList<ManagedObject *> registeredObjects() const;

    // Writes the pending changes (to the store, or into the parent for a child) and posts will-save and
    // did-save. On failure nothing is written, the changes stay pending and the error says why.
    bool save(platform::core::QDError *error = nullptr);
    // Forgets every object (they are destroyed) and every pending change.
    void reset();
    // Drops every pending change: inserted objects leave the context, the others return to their
    // committed values.
    void rollback();
    // Posts objects-did-change for the tracked changes made since the last notice.
    void processPendingChanges();

    // Re-reads the object from the parent or the store. mergeChanges keeps this context's pending changes on
    // top of the fresh values; without it the changes are dropped and the object is clean.
    void refreshObject(ManagedObject *object, bool mergeChanges);

    // Applies changes saved elsewhere on the same store: registered objects among the updated are re-read
    // (keeping their own pending changes), those among the deleted leave the context, inserted records can
    // be fetched from now on. Posts objects-did-change for what it touched.
    void mergeChangesFromContextDidSaveNotification(const platform::core::Notification &notification);
    void mergeChanges(const SaveChanges &changes);

    // Fetches. Errors give an empty result (or -1 for a count) and the error.
    QList<ManagedObject *> executeFetchRequest(const FetchRequest &request, platform::core::QDError *error = nullptr);
    QList<ManagedObjectID> executeFetchRequestForIDs(const FetchRequest &request,
                                                     platform::core::QDError *error = nullptr);
    // Rows of the request's propertiesToFetch (all stored attributes when empty), from the saved state only;
    // a to-one relationship reads as its destination's ManagedObjectID.
    QList<QVariantMap> executeFetchRequestForDictionaries(const FetchRequest &request,
                                                          platform::core::QDError *error = nullptr);
    qint64 countForFetchRequest(const FetchRequest &request, platform::core::QDError *error = nullptr);

    // Batch requests work on the store directly (no objects, no notices, no delete rules); only a context
    // attached to a coordinator runs them. Registered objects are not updated: merge the result's changes
    // (BatchResult::changes()) into the contexts that should see them.
    BatchResult executeBatchDelete(const BatchDeleteRequest &request, platform::core::QDError *error = nullptr);
    BatchResult executeBatchUpdate(const BatchUpdateRequest &request, platform::core::QDError *error = nullptr);

private:
    friend class ManagedObject;
    friend class ContextEngine;

    ConcurrencyType m_type;
    MergePolicy m_mergePolicy = MergePolicy::Error;
    std::shared_ptr<ManagedObjectContext> m_parent;
    std::unique_ptr<ContextEngine> m_engine;
};

using ContextPtr = std::shared_ptr<ManagedObjectContext>;

} // namespace platform::store
