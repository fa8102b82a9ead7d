#include "platform/store/ManagedObjectContext.h"

#include "platform/core/Dispatch.h"
#include "platform/core/DispatchQueue.h"
#include "platform/core/NotificationCenter.h"
#include "platform/store/ContextEngine.h"
#include "platform/store/PredicateSql.h"
#include "platform/store/Schema.h"
#include "platform/store/SortDescriptor.h"
#include "platform/store/StoreCoordinator.h"

#include <QSet>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>

namespace platform::store {

using platform::core::NotificationCenter;
using platform::core::QDError;
using platform::core::setError;

namespace {

QDError storeError(qint64 code, const QString &text, QVariantMap info = {})
{
    return QDError::withDescription(StoreErrorDomain, code, text, std::move(info));
}

// Adds the predicate, if any, as the WHERE clause of a statement over the entity's table (aliased t0), and its
// values to the statement's parameters.
bool appendWhere(const Predicate *predicate, const EntityDescription &entity, const ManagedObjectModel &model, QString &sql,
                 QVariantList &binds, QDError *error)
{
    if (!predicate)
        return true;
    const SqlPredicate compiled = compileToSql(*predicate, entity, model);
    if (!compiled.ok())
        return setError(error,
                        storeError(StoreErrorSql, QStringLiteral("The predicate cannot run: %1").arg(compiled.problem)));
    sql += QStringLiteral(" WHERE ") + compiled.where;
    binds += compiled.values;
    return true;
}

ManagedObject::ObjectList toList(const std::vector<ManagedObject *> &objects)
{
    return ManagedObject::ObjectList(objects.begin(), objects.end());
}

bool sameStored(const QVariant &a, const QVariant &b)
{
    if (a.isValid() != b.isValid())
        return false;
    return !a.isValid() || a == b;
}

} // namespace

// =========================================================================================================
// ContextEngine

ContextEngine::ContextEngine(ManagedObjectContext *owner, ManagedObjectContext::ConcurrencyType type) : q(owner)
{
    if (type == ManagedObjectContext::ConcurrencyType::PrivateQueue)
        queue = platform::core::DispatchQueue::serial(QStringLiteral("store.context"));
}

ContextEngine::~ContextEngine() { reset(); }

const ManagedObjectModel *ContextEngine::model() const
{
    if (coordinator)
        return coordinator->managedObjectModel().get();
    if (q->m_parent)
        return q->m_parent->m_engine->model();
    return nullptr;
}

StoreCoordinator *ContextEngine::rootCoordinator() const
{
    if (coordinator)
        return coordinator.get();
    if (q->m_parent)
        return q->m_parent->m_engine->rootCoordinator();
    return nullptr;
}

SqliteStore *ContextEngine::store() const
{
    if (!coordinator)
        return nullptr;
    SqliteStore *s = coordinator->sqliteStore();
    return s && s->isOpen() ? s : nullptr;
}

const EntityLayout *ContextEngine::layout(const EntityDescription *entity) const
{
    StoreCoordinator *root = rootCoordinator();
    SqliteStore *s = root ? root->sqliteStore() : nullptr;
    return s && s->isOpen() ? &s->layout(*entity) : nullptr;
}

ManagedObjectID ContextEngine::permanentID(const EntityDescription *entity, qint64 pk) const
{
    StoreCoordinator *root = rootCoordinator();
    SqliteStore *s = root ? root->sqliteStore() : nullptr;
    return ManagedObjectID::makePermanent(entity, pk, s ? s->uuid() : QString());
}

// --------------------------------------------------------------------------------------------------------- identity

ManagedObject *ContextEngine::registered(const ManagedObjectID &id) const
{
    if (id.isNull())
        return nullptr;
    if (id.isTemporaryID()) {
        // A saved object stays listed under its temporary number, so old identifiers still find it.
        for (ManagedObject *object : unindexedTemporary)
            if (object->m_context == q)
                temporary.insert(object->m_temporaryNumber, object);
        unindexedTemporary.clear();
        ManagedObject *object = temporary.value(id.temporaryNumber(), nullptr);
        return object && object->m_context == q ? object : nullptr;
    }
    return permanent.value(permanentKey(id.entity(), id.primaryKey()), nullptr);
}

void ContextEngine::registerObject(ManagedObject *object)
{
    const ManagedObjectID &id = object->m_id;
    if (id.isTemporaryID())
        unindexedTemporary.push_back(object);
    else
        permanent.insert(permanentKey(id.entity(), id.primaryKey()), object);
}

void ContextEngine::unregisterObject(ManagedObject *object)
{
    const ManagedObjectID &id = object->m_id;
    if (id.isTemporaryID()) {
        temporary.remove(id.temporaryNumber());
    } else {
        permanent.remove(permanentKey(id.entity(), id.primaryKey()));
    }
}

ManagedObject *ContextEngine::newObject(const EntityDescription *entity)
{
    ManagedObject *object = entity->factory() ? entity->factory()() : new ManagedObject;
    if (!object)
        object = new ManagedObject;
    owned.push_back(object);
    return object;
}

ManagedObject *ContextEngine::materializeRow(const EntityDescription *entity, RowData &row)
{
    ManagedObject *object = newObject(entity);
    object->attach(entity, q, permanentID(entity, row.pk), false);
    object->m_values = std::move(row.values);
    const auto &attributes = entity->attributes();
    for (size_t a = 0; a < attributes.size(); ++a)
        if (attributes[a].transient && attributes[a].defaultValue.isValid())
            object->m_values[a] = attributes[a].defaultValue;
    const auto &relationships = entity->relationships();
    for (size_t r = 0; r < relationships.size(); ++r) {
        if (relationships[r].toMany || !row.toOne[r])
            continue;
        const EntityDescription *destination = entity->destinationEntity(relationships[r]);
        if (destination)
            object->m_relationships[r].oneID = permanentID(destination, row.toOne[r]);
    }
    return registerFetched(object);
}

ManagedObject *ContextEngine::registerFetched(ManagedObject *object)
{
    registerObject(object);
    object->m_tracking = false;
    object->awakeFromFetch();
    object->m_tracking = true;
    return object;
}

ManagedObject *ContextEngine::materializeSnapshot(ObjectSnapshot &snapshot)
{
    const EntityDescription *entity = snapshot.id.entity();
    ManagedObject *object = newObject(entity);
    object->attach(entity, q, snapshot.id);
    object->m_values = std::move(snapshot.values);
    object->m_values.resize(entity->attributes().size());
    for (size_t r = 0; r < object->m_relationships.size() && r < snapshot.toOne.size(); ++r)
        object->m_relationships[r].oneID = snapshot.toOne[r];
    return registerFetched(object);
}

ManagedObject *ContextEngine::materializeFault(const EntityDescription *entity, qint64 pk,
                                               const std::shared_ptr<const FaultPlan> &plan,
                                               std::vector<QVariant> &&values)
{
    ManagedObject *object = newObject(entity);
    object->attach(entity, q, permanentID(entity, pk), false, false);
    object->m_values = std::move(values);
    object->m_fault = plan;
    // It wakes when its record comes.
    registerObject(object);
    return object;
}

void ContextEngine::fulfillFault(ManagedObject *object)
{
    const EntityDescription *entity = object->m_entity;
    std::vector<QVariant> values;
    std::vector<ManagedObjectID> toOne;
    if (SqliteStore *s = store()) {
        RowData row;
        if (s->readRow(s->layout(*entity), object->m_id.primaryKey(), row, nullptr)) {
            values = std::move(row.values);
            const auto &relationships = entity->relationships();
            toOne.resize(relationships.size());
            for (size_t r = 0; r < relationships.size(); ++r) {
                if (relationships[r].toMany || !row.toOne[r])
                    continue;
                if (const EntityDescription *destination = entity->destinationEntity(relationships[r]))
                    toOne[r] = permanentID(destination, row.toOne[r]);
            }
        }
    } else if (auto parent = q->m_parent) {
        ObjectSnapshot snapshot;
        const ManagedObjectID id = object->m_id;
        parent->performAndWait([&] { snapshot = parent->m_engine->snapshotFor(id); });
        if (snapshot.exists) {
            values = std::move(snapshot.values);
            toOne = std::move(snapshot.toOne);
        }
    }
    if (values.empty())
        qWarning("store: the record of %s %lld is gone; its object keeps what it was fetched with",
                 qPrintable(entity->name()), static_cast<long long>(object->m_id.primaryKey()));
    object->becomeWhole(std::move(values), std::move(toOne));
}

ManagedObject *ContextEngine::objectWithID(const ManagedObjectID &id, QDError *error)
{
    if (id.isNull()) {
        setError(error, storeError(StoreErrorObjectNotFound, QStringLiteral("No identifier")));
        return nullptr;
    }
    if (ManagedObject *object = registered(id))
        return object;
    if (SqliteStore *s = store()) {
        if (id.isTemporaryID()) {
            setError(error, storeError(StoreErrorObjectNotFound, QStringLiteral("The object was never saved")));
            return nullptr;
        }
        if (id.storeIdentifier().compare(s->uuid(), Qt::CaseInsensitive) != 0) {
            setError(error, storeError(StoreErrorObjectNotFound, QStringLiteral("The identifier names another store")));
            return nullptr;
        }
        RowData row;
        if (!s->readRow(s->layout(*id.entity()), id.primaryKey(), row, error))
            return nullptr;
        return materializeRow(id.entity(), row);
    }
    if (auto parent = q->m_parent) {
        ObjectSnapshot snapshot;
        parent->performAndWait([&] { snapshot = parent->m_engine->snapshotFor(id); });
        if (!snapshot.exists) {
            setError(error, storeError(StoreErrorObjectNotFound, QStringLiteral("The record does not exist")));
            return nullptr;
        }
        // The parent may know the record under its permanent identifier by now.
        if (ManagedObject *object = registered(snapshot.id))
            return object;
        ManagedObject *object = materializeSnapshot(snapshot);
        if (id.isTemporaryID() && !snapshot.id.isTemporaryID())
            temporary.insert(id.temporaryNumber(), object);
        return object;
    }
    setError(error, storeError(StoreErrorNoStore, QStringLiteral("The context has no store")));
    return nullptr;
}

ObjectSnapshot ContextEngine::snapshotOfObject(const ManagedObject *object)
{
    object->fireFault();
    ObjectSnapshot snapshot;
    snapshot.exists = true;
    snapshot.id = object->m_id;
    snapshot.values = object->m_values;
    const auto &relationships = object->m_entity->relationships();
    snapshot.toOne.resize(relationships.size());
    for (size_t r = 0; r < relationships.size(); ++r) {
        if (relationships[r].toMany)
            continue;
        const auto &slot = object->m_relationships[r];
        ManagedObject *one = slot.loaded ? slot.one : nullptr;
        snapshot.toOne[r] = slot.loaded ? (one && !one->isDeleted() ? one->m_id : ManagedObjectID()) : slot.oneID;
    }
    return snapshot;
}

ObjectSnapshot ContextEngine::snapshotFor(const ManagedObjectID &id)
{
    ManagedObject *object = objectWithID(id, nullptr);
    if (!object || object->isDeleted())
        return ObjectSnapshot();
    return snapshotOfObject(object);
}

std::vector<ManagedObjectID> ContextEngine::relatedIDsFor(const ManagedObjectID &id, int relationshipIndex)
{
    std::vector<ManagedObjectID> ids;
    ManagedObject *object = objectWithID(id, nullptr);
    if (!object)
        return ids;
    object->ensureLoaded(relationshipIndex);
    for (ManagedObject *other : object->m_relationships[size_t(relationshipIndex)].many)
        if (!other->isDeleted())
            ids.push_back(other->m_id);
    return ids;
}

// --------------------------------------------------------------------------------------------------------- relationships

void ContextEngine::loadToMany(ManagedObject *object, int relationshipIndex)
{
    auto &slot = object->m_relationships[size_t(relationshipIndex)];
    slot.many.clear();
    if (object->m_id.isTemporaryID() && !q->m_parent)
        return;
    std::vector<ManagedObjectID> ids;
    if (SqliteStore *s = store()) {
        const EntityLayout &l = s->layout(*object->m_entity);
        const auto &rel = l.relationships[size_t(relationshipIndex)];
        if (!rel.destination)
            return;
        std::vector<qint64> keys;
        if (!s->toManyKeys(l, relationshipIndex, object->m_id.primaryKey(), keys, nullptr))
            return;
        ids.reserve(keys.size());
        for (qint64 key : keys)
            ids.push_back(permanentID(rel.destination, key));
    } else if (auto parent = q->m_parent) {
        const ManagedObjectID id = object->m_id;
        parent->performAndWait([&] { ids = parent->m_engine->relatedIDsFor(id, relationshipIndex); });
    }
    const RelationshipDescription &description = object->m_entity->relationships()[size_t(relationshipIndex)];
    const RelationshipDescription *inverse = object->m_entity->inverseRelationship(description);
    for (const ManagedObjectID &id : ids) {
        ManagedObject *other = objectWithID(id, nullptr);
        if (!other || other->isDeleted())
            continue;
        // A pending change here may have moved the record elsewhere since it was saved.
        if (inverse && !inverse->toMany && other->hasChanges()) {
            const auto &back = other->m_relationships[size_t(inverse->index)];
            const ManagedObjectID target = back.loaded ? (back.one ? back.one->m_id : ManagedObjectID()) : back.oneID;
            if (target != object->m_id)
                continue;
        }
        slot.many.push_back(other);
    }
}

void ContextEngine::prefetchRelationships(const QStringList &keyPaths, const EntityDescription &entity,
                                          const std::vector<ManagedObject *> &objects)
{
    SqliteStore *s = store();
    if (!s || objects.empty())
        return;
    // Keys go into the text as numbers: a group's list is used once, so it is not worth a cached statement.
    constexpr size_t kKeysPerQuery = 500;
    auto keyList = [](const std::vector<qint64> &keys, size_t from, size_t to) {
        QString list;
        list.reserve(int((to - from) * 8));
        for (size_t i = from; i < to; ++i) {
            if (i > from)
                list += QLatin1Char(',');
            list += QString::number(keys[i]);
        }
        return list;
    };
    // A destination row read with the relationship's rows: the object already registered wins, as in a fetch.
    RowData row;
    auto objectFromRow = [&](const EntityDescription *destination, const EntityLayout &dl, sqlite3_stmt *statement) {
        const qint64 pk = sqlite3_column_int64(statement, 0);
        if (ManagedObject *known = permanent.value(permanentKey(destination, pk), nullptr))
            return known;
        s->rowFromStatement(dl, statement, row);
        return materializeRow(destination, row);
    };
    const EntityLayout &l = s->layout(entity);
    QSet<int> done;
    for (const QString &path : keyPaths) {
        const int r = entity.relationshipIndex(path.section(QLatin1Char('.'), 0, 0));
        if (r < 0 || done.contains(r))
            continue;
        done.insert(r);
        const EntityLayout::Relationship &rel = l.relationships[size_t(r)];
        if (!rel.destination)
            continue;
        const EntityLayout &dl = s->layout(*rel.destination);
        const int ownerColumn = 1 + int(dl.storedAttributes.size() + dl.toOneRelationships.size());
        if (!rel.description->toMany) {
            // The related records come into the context, so following the relationship reads nothing more.
            std::vector<qint64> keys;
            QSet<qint64> seen;
            for (ManagedObject *object : objects) {
                if (object->m_entity != &entity || object->isFault())
                    continue;
                const auto &slot = object->m_relationships[size_t(r)];
                if (slot.loaded || slot.oneID.isNull())
                    continue;
                const qint64 pk = slot.oneID.primaryKey();
                if (!seen.contains(pk) && !permanent.contains(permanentKey(rel.destination, pk))) {
                    seen.insert(pk);
                    keys.push_back(pk);
                }
            }
            for (size_t from = 0; from < keys.size(); from += kKeysPerQuery) {
                const size_t to = std::min(keys.size(), from + kKeysPerQuery);
                const QString sql = QStringLiteral("SELECT %1 FROM %2 AS t0 WHERE t0.pk IN (%3)")
                                        .arg(dl.selectColumns, dl.table, keyList(keys, from, to));
                s->queryOnce(sql, [&](sqlite3_stmt *statement) {
                    objectFromRow(rel.destination, dl, statement);
                    return true;
                }, nullptr);
            }
            continue;
        }
        // Only objects without changes of their own: for them the store's rows are the whole answer.
        QHash<qint64, ManagedObject *> owners;
        std::vector<qint64> keys;
        for (ManagedObject *object : objects) {
            if (object->m_entity != &entity || object->isFault() || object->m_state != ManagedObject::State::Clean
                || object->m_committed || object->m_id.isTemporaryID())
                continue;
            if (object->m_relationships[size_t(r)].loaded || owners.contains(object->m_id.primaryKey()))
                continue;
            owners.insert(object->m_id.primaryKey(), object);
            keys.push_back(object->m_id.primaryKey());
        }
        const RelationshipDescription *inverse = entity.inverseRelationship(*rel.description);
        for (size_t from = 0; from < keys.size(); from += kKeysPerQuery) {
            const size_t to = std::min(keys.size(), from + kKeysPerQuery);
            QString sql;
            if (rel.joinTable)
                sql = QStringLiteral("SELECT %1, j.%2 FROM %3 AS j JOIN %4 AS t0 ON t0.pk = j.%5 WHERE j.%2 IN (%6) "
                                     "ORDER BY j.%2, j.%5")
                          .arg(dl.selectColumns, rel.joinSourceColumn, rel.joinTableName, dl.table,
                               rel.joinDestinationColumn, keyList(keys, from, to));
            else
                sql = QStringLiteral("SELECT %1, t0.%2 FROM %3 AS t0 WHERE t0.%2 IN (%4) ORDER BY t0.pk")
                          .arg(dl.selectColumns, rel.inverseColumn, dl.table, keyList(keys, from, to));
            QHash<qint64, std::vector<ManagedObject *>> related;
            const bool ok = s->queryOnce(sql, [&](sqlite3_stmt *statement) {
                const qint64 owner = sqlite3_column_int64(statement, ownerColumn);
                related[owner].push_back(objectFromRow(rel.destination, dl, statement));
                return true;
            }, nullptr);
            if (!ok)
                continue; // those objects load the relationship themselves when it is followed
            for (size_t i = from; i < to; ++i) {
                ManagedObject *object = owners.value(keys[i]);
                auto &slot = object->m_relationships[size_t(r)];
                slot.many.clear();
                for (ManagedObject *other : related.value(keys[i])) {
                    if (other->isDeleted())
                        continue;
                    // As when one object loads it: a pending change may have moved the record elsewhere.
                    if (inverse && !inverse->toMany && other->hasChanges()) {
                        const auto &back = other->m_relationships[size_t(inverse->index)];
                        const ManagedObjectID target = back.loaded ? (back.one ? back.one->m_id : ManagedObjectID())
                                                                   : back.oneID;
                        if (target != object->m_id)
                            continue;
                    }
                    slot.many.push_back(other);
                }
                slot.loaded = true;
            }
        }
    }
}

// --------------------------------------------------------------------------------------------------------- changes

void ContextEngine::noteChange(ManagedObject *object, bool tracked)
{
    if (!object->m_registeredChange) {
        object->m_registeredChange = true;
        changed.push_back(object);
    }
    if (tracked && !object->m_noticePending) {
        object->m_noticePending = true;
        pendingNotice.push_back(object);
        scheduleNotice();
    }
}

void ContextEngine::scheduleNotice()
{
    if (noticeScheduled || saving)
        return;
    std::weak_ptr<ManagedObjectContext> weak = q->weak_from_this();
    if (weak.expired())
        return;
    noticeScheduled = true;
    q->perform([weak] {
        if (auto context = weak.lock())
            context->processPendingChanges();
    });
}

void ContextEngine::processPendingChanges()
{
    noticeScheduled = false;
    if (pendingNotice.empty())
        return;
    std::vector<ManagedObject *> touched = pendingNotice; // the list keeps its capacity for the next round
    pendingNotice.clear();
    auto changes = std::make_shared<SaveChanges>();
    ManagedObject::ObjectList inserted, updated, deleted;
    inserted.reserve(qsizetype(touched.size()));
    changes->inserted.reserve(touched.size());
    for (ManagedObject *object : touched) {
        if (!object->m_noticePending || object->m_context != q)
            continue;
        object->m_noticePending = false;
        ObjectChange change;
        change.object = object;
        change.objectID = object->m_id;
        switch (object->m_state) {
        case ManagedObject::State::Inserted:
            inserted << object;
            changes->inserted.push_back(change);
            break;
        case ManagedObject::State::Updated:
            change.changedKeys = object->changedKeys();
            updated << object;
            changes->updated.push_back(change);
            break;
        case ManagedObject::State::Deleted:
            deleted << object;
            changes->deleted.push_back(change);
            break;
        default:
            break;
        }
    }
    if (changes->isEmpty())
        return;
    QVariantMap info;
    info.insert(InsertedObjectsKey, QVariant::fromValue(inserted));
    info.insert(UpdatedObjectsKey, QVariant::fromValue(updated));
    info.insert(DeletedObjectsKey, QVariant::fromValue(deleted));
    info.insert(ChangesKey, QVariant::fromValue(std::shared_ptr<const SaveChanges>(changes)));
    NotificationCenter::defaultCenter().post(ManagedObjectContextObjectsDidChangeNotification, q, info);
}

std::vector<ManagedObject *> ContextEngine::objectsInState(ManagedObject::State state) const
{
    std::vector<ManagedObject *> result;
    for (ManagedObject *object : changed)
        if (object->m_context == q && object->m_state == state && object->m_registeredChange)
            result.push_back(object);
    return result;
}

bool ContextEngine::hasChanges() const
{
    for (ManagedObject *object : changed)
        if (object->m_context == q && object->m_registeredChange && object->m_state != ManagedObject::State::Clean
            && object->m_state != ManagedObject::State::InsertedDeleted)
            return true;
    return false;
}

bool ContextEngine::hasChangesFor(const EntityDescription *entity) const
{
    for (ManagedObject *object : changed)
        if (object->m_context == q && object->m_registeredChange && object->m_entity == entity
            && object->m_state != ManagedObject::State::Clean)
            return true;
    return false;
}

void ContextEngine::deleteObject(ManagedObject *object)
{
    if (!object || object->m_context != q || object->isDeleted())
        return;
    object->prepareForDeletion();
    if (object->isDeleted())
        return;
    if (object->m_state == ManagedObject::State::Clean)
        object->captureCommitted();
    object->m_state = object->m_state == ManagedObject::State::Inserted ? ManagedObject::State::InsertedDeleted
                                                                        : ManagedObject::State::Deleted;
    noteChange(object, true);

    const EntityDescription *entity = object->m_entity;
    const auto &relationships = entity->relationships();
    for (size_t r = 0; r < relationships.size(); ++r) {
        const RelationshipDescription &relationship = relationships[r];
        if (relationship.deleteRule == DeleteRule::Deny || relationship.deleteRule == DeleteRule::NoAction)
            continue;
        object->ensureLoaded(int(r));
        const auto &slot = object->m_relationships[r];
        std::vector<ManagedObject *> targets = relationship.toMany ? slot.many : std::vector<ManagedObject *>();
        if (!relationship.toMany && slot.one)
            targets.push_back(slot.one);
        const RelationshipDescription *inverse = entity->inverseRelationship(relationship);
        for (ManagedObject *target : targets) {
            if (relationship.deleteRule == DeleteRule::Cascade) {
                deleteObject(target);
                continue;
            }
            if (!inverse || target->isDeleted())
                continue;
            if (inverse->toMany) {
                target->removeToManyInternal(inverse->index, object, true, false);
            } else {
                target->ensureLoaded(inverse->index);
                if (target->m_relationships[size_t(inverse->index)].one == object)
                    target->setToOneInternal(inverse->index, nullptr, true, false);
            }
        }
    }
}

void ContextEngine::detach(ManagedObject *object)
{
    unregisterObject(object);
    object->m_context = nullptr;
    object->m_registeredChange = false;
}

void ContextEngine::rollback()
{
    std::vector<ManagedObject *> list;
    list.swap(changed);
    for (ManagedObject *object : pendingNotice)
        object->m_noticePending = false;
    pendingNotice.clear();
    // Inserted objects leave first, so the others are restored without them.
    for (ManagedObject *object : list) {
        if (object->m_context != q || !object->m_registeredChange)
            continue;
        if (object->m_state == ManagedObject::State::Inserted || object->m_state == ManagedObject::State::InsertedDeleted) {
            object->m_state = ManagedObject::State::InsertedDeleted;
            detach(object);
        }
    }
    for (ManagedObject *object : list) {
        if (object->m_context != q || !object->m_registeredChange)
            continue;
        if (object->m_committed)
            object->m_values = object->m_committed->values;
        const auto &relationships = object->m_entity->relationships();
        for (size_t r = 0; r < relationships.size(); ++r) {
            auto &slot = object->m_relationships[r];
            if (!relationships[r].toMany && object->m_committed)
                slot.oneID = object->m_committed->toOne[r];
            else if (!relationships[r].toMany && slot.loaded)
                slot.oneID = slot.one ? slot.one->m_id : ManagedObjectID();
            slot.one = nullptr;
            slot.many.clear();
            slot.loaded = false;
        }
        object->m_state = ManagedObject::State::Clean;
        object->clearChanges();
    }
    // Clean objects may still point at objects that left; they read their relationships afresh.
    for (ManagedObject *object : std::as_const(permanent)) {
        for (auto &slot : object->m_relationships) {
            bool stale = slot.one && !slot.one->m_context;
            for (ManagedObject *other : slot.many)
                stale = stale || !other->m_context;
            if (stale) {
                if (slot.one)
                    slot.oneID = slot.one->m_context ? slot.one->m_id : ManagedObjectID();
                slot.one = nullptr;
                slot.many.clear();
                slot.loaded = false;
            }
        }
    }
}

void ContextEngine::reset()
{
    for (ManagedObject *object : owned)
        delete object;
    owned.clear();
    permanent.clear();
    temporary.clear();
    unindexedTemporary.clear();
    changed.clear();
    pendingNotice.clear();
}

void ContextEngine::applyFreshState(ManagedObject *object, const RowData *row, const ObjectSnapshot *snapshot,
                                    bool keepChanges)
{
    const EntityDescription *entity = object->m_entity;
    const auto &attributes = entity->attributes();
    const size_t attributeCount = attributes.size();
    const std::vector<QVariant> &fresh = row ? row->values : snapshot->values;
    if (object->m_fault) {
        // A fault has no changes and loads its relationships when it wakes: only what it holds is renewed.
        const auto &slotOf = object->m_fault->slotOf;
        for (size_t a = 0; a < slotOf.size() && a < fresh.size(); ++a)
            if (slotOf[a] >= 0)
                object->m_values[size_t(slotOf[a])] = fresh[a];
        return;
    }
    auto changedAt = [&](size_t i) { return keepChanges && object->m_changed[i]; };
    for (size_t a = 0; a < attributeCount; ++a) {
        if (attributes[a].transient && row)
            continue;
        if (object->m_committed && a < object->m_committed->values.size())
            object->m_committed->values[a] = fresh[a];
        if (!changedAt(a))
            object->m_values[a] = fresh[a];
    }
    const auto &relationships = entity->relationships();
    for (size_t r = 0; r < relationships.size(); ++r) {
        auto &slot = object->m_relationships[r];
        if (relationships[r].toMany) {
            if (!changedAt(attributeCount + r)) {
                slot.many.clear();
                slot.loaded = false;
                if (object->m_committed)
                    object->m_committed->toManyKnown[r] = false;
            }
            continue;
        }
        ManagedObjectID id;
        if (row) {
            const EntityDescription *destination = entity->destinationEntity(relationships[r]);
            if (row->toOne[r] && destination)
                id = permanentID(destination, row->toOne[r]);
        } else {
            id = snapshot->toOne[r];
        }
        if (object->m_committed)
            object->m_committed->toOne[r] = id;
        if (!changedAt(attributeCount + r)) {
            slot.one = nullptr;
            slot.oneID = id;
            slot.loaded = false;
        }
    }
    if (!keepChanges || !object->hasChanges()) {
        if (object->m_state == ManagedObject::State::Updated)
            object->m_state = ManagedObject::State::Clean;
        object->clearChanges();
    }
}

void ContextEngine::refresh(ManagedObject *object, bool mergeChanges)
{
    if (!object || object->m_context != q || object->m_id.isTemporaryID())
        return;
    if (object->m_state == ManagedObject::State::Deleted && mergeChanges)
        return;
    if (SqliteStore *s = store()) {
        RowData row;
        if (!s->readRow(s->layout(*object->m_entity), object->m_id.primaryKey(), row, nullptr))
            return;
        if (!mergeChanges && object->m_state == ManagedObject::State::Deleted)
            object->m_state = ManagedObject::State::Clean;
        applyFreshState(object, &row, nullptr, mergeChanges);
    } else if (auto parent = q->m_parent) {
        ObjectSnapshot snapshot;
        const ManagedObjectID id = object->m_id;
        parent->performAndWait([&] { snapshot = parent->m_engine->snapshotFor(id); });
        if (!snapshot.exists)
            return;
        if (!mergeChanges && object->m_state == ManagedObject::State::Deleted)
            object->m_state = ManagedObject::State::Clean;
        applyFreshState(object, nullptr, &snapshot, mergeChanges);
    }
}

void ContextEngine::mergeChanges(const SaveChanges &changes)
{
    ManagedObject::ObjectList updated, deleted;
    auto result = std::make_shared<SaveChanges>();
    for (const ObjectChange &change : changes.updated) {
        ManagedObject *object = registered(change.objectID);
        if (!object)
            continue;
        refresh(object, true);
        updated << object;
        ObjectChange c = change;
        c.object = object;
        result->updated.push_back(c);
    }
    for (const ObjectChange &change : changes.deleted) {
        ManagedObject *object = registered(change.objectID);
        if (!object)
            continue;
        // Let go of it everywhere in this context, without marking anything changed.
        const auto &relationships = object->m_entity->relationships();
        for (size_t r = 0; r < relationships.size() && r < object->m_relationships.size(); ++r) {
            const RelationshipDescription *inverse = object->m_entity->inverseRelationship(relationships[r]);
            const auto &slot = object->m_relationships[r];
            if (!inverse || !slot.loaded)
                continue;
            std::vector<ManagedObject *> targets = slot.many;
            if (slot.one)
                targets.push_back(slot.one);
            for (ManagedObject *target : targets) {
                if (target->m_fault)
                    continue; // holds no relationship yet
                auto &back = target->m_relationships[size_t(inverse->index)];
                if (inverse->toMany) {
                    back.many.erase(std::remove(back.many.begin(), back.many.end(), object), back.many.end());
                } else if (back.one == object) {
                    back.one = nullptr;
                    back.oneID = ManagedObjectID();
                }
            }
        }
        object->m_state = ManagedObject::State::Deleted;
        deleted << object;
        ObjectChange c = change;
        c.object = object;
        result->deleted.push_back(c);
        detach(object);
    }
    // Registered objects whose to-many lists may now miss new records read them afresh.
    if (!changes.inserted.empty()) {
        for (ManagedObject *object : std::as_const(permanent)) {
            const size_t attributeCount = object->m_entity->attributes().size();
            for (size_t r = 0; r < object->m_relationships.size(); ++r) {
                auto &slot = object->m_relationships[r];
                const bool changedHere = object->m_changed[attributeCount + r];
                if (object->m_entity->relationships()[r].toMany && slot.loaded && !changedHere) {
                    slot.many.clear();
                    slot.loaded = false;
                }
            }
        }
    }
    if (result->isEmpty())
        return;
    QVariantMap info;
    info.insert(InsertedObjectsKey, QVariant::fromValue(ManagedObject::ObjectList()));
    info.insert(UpdatedObjectsKey, QVariant::fromValue(updated));
    info.insert(DeletedObjectsKey, QVariant::fromValue(deleted));
    info.insert(ChangesKey, QVariant::fromValue(std::shared_ptr<const SaveChanges>(result)));
    NotificationCenter::defaultCenter().post(ManagedObjectContextObjectsDidChangeNotification, q, info);
}

void ContextEngine::absorbChildChanges(const std::vector<ObjectSnapshot> &inserted,
                                       const std::vector<ObjectSnapshot> &updated,
                                       const std::vector<std::vector<std::vector<ManagedObjectID>>> &updatedToMany,
                                       const std::vector<QStringList> &updatedKeys,
                                       const std::vector<ManagedObjectID> &deleted)
{
    // New objects first, so relationships between them resolve.
    std::vector<ManagedObject *> created;
    for (const ObjectSnapshot &snapshot : inserted) {
        ManagedObject *object = registered(snapshot.id);
        if (!object) {
            const EntityDescription *entity = snapshot.id.entity();
            object = newObject(entity);
            object->attach(entity, q, snapshot.id);
            object->m_state = ManagedObject::State::Inserted;
            for (auto &slot : object->m_relationships)
                slot.loaded = true;
            registerObject(object);
            noteChange(object, true);
        }
        created.push_back(object);
    }
    auto resolve = [&](const ManagedObjectID &id) { return id.isNull() ? nullptr : objectWithID(id, nullptr); };
    for (size_t i = 0; i < inserted.size(); ++i) {
        ManagedObject *object = created[i];
        const ObjectSnapshot &snapshot = inserted[i];
        for (size_t a = 0; a < snapshot.values.size(); ++a)
            object->setAttributeValue(int(a), snapshot.values[a]);
        const auto &relationships = object->m_entity->relationships();
        for (size_t r = 0; r < relationships.size(); ++r)
            if (!relationships[r].toMany && !snapshot.toOne[r].isNull())
                object->setToOneInternal(int(r), resolve(snapshot.toOne[r]), true, true);
    }
    for (size_t i = 0; i < updated.size(); ++i) {
        const ObjectSnapshot &snapshot = updated[i];
        ManagedObject *object = resolve(snapshot.id);
        if (!object)
            continue;
        const EntityDescription *entity = object->m_entity;
        for (const QString &key : updatedKeys[i]) {
            const int a = entity->attributeIndex(key);
            if (a >= 0) {
                object->setAttributeValue(a, snapshot.values[size_t(a)]);
                continue;
            }
            const int r = entity->relationshipIndex(key);
            if (r < 0)
                continue;
            if (!entity->relationships()[size_t(r)].toMany) {
                object->setToOneInternal(r, resolve(snapshot.toOne[size_t(r)]), true, true);
            } else {
                ManagedObject::ObjectList list;
                for (const ManagedObjectID &id : updatedToMany[i][size_t(r)])
                    if (ManagedObject *other = resolve(id))
                        list << other;
                object->setRelatedObjects(key, list);
            }
        }
    }
    for (const ManagedObjectID &id : deleted) {
        ManagedObject *object = registered(id);
        if (!object)
            object = resolve(id);
        if (!object || object->isDeleted())
            continue;
        if (object->m_state == ManagedObject::State::Clean)
            object->captureCommitted();
        object->m_state = object->m_state == ManagedObject::State::Inserted ? ManagedObject::State::InsertedDeleted
                                                                            : ManagedObject::State::Deleted;
        noteChange(object, true);
    }
    processPendingChanges();
}

// --------------------------------------------------------------------------------------------------------- saving

bool ContextEngine::validate(const std::vector<ManagedObject *> &objects, QDError *error)
{
    for (ManagedObject *object : objects) {
        const EntityDescription *entity = object->m_entity;
        const EntityLayout *l = layout(entity);
        if (l && !(object->isDeleted() ? l->hasDeny : l->hasRequired))
            continue;
        if (object->isDeleted()) {
            const auto &relationships = entity->relationships();
            for (size_t r = 0; r < relationships.size(); ++r) {
                if (relationships[r].deleteRule != DeleteRule::Deny)
                    continue;
                object->ensureLoaded(int(r));
                const auto &slot = object->m_relationships[r];
                bool blocked = slot.one && !slot.one->isDeleted();
                for (ManagedObject *other : slot.many)
                    blocked = blocked || !other->isDeleted();
                if (blocked)
                    return setError(error, storeError(StoreErrorDeleteDeny,
                                                      QStringLiteral("%1 cannot be deleted while its %2 has objects")
                                                          .arg(entity->name(), relationships[r].name),
                                                      {{QStringLiteral("NSValidationKeyErrorKey"), relationships[r].name},
                                                       {QStringLiteral("NSValidationErrorObject"),
                                                        QVariant::fromValue(object->m_id)}}));
            }
            continue;
        }
        for (const auto &attribute : entity->attributes()) {
            if (!attribute.optional && !attribute.transient && !object->m_values[size_t(attribute.index)].isValid())
                return setError(error, storeError(StoreErrorValidation,
                                                  QStringLiteral("%1.%2 needs a value").arg(entity->name(), attribute.name),
                                                  {{QStringLiteral("NSValidationKeyErrorKey"), attribute.name},
                                                   {QStringLiteral("NSValidationErrorObject"),
                                                    QVariant::fromValue(object->m_id)}}));
        }
        for (const auto &relationship : entity->relationships()) {
            if (relationship.optional || relationship.toMany)
                continue;
            object->ensureLoaded(relationship.index);
            ManagedObject *target = object->m_relationships[size_t(relationship.index)].one;
            if (!target || target->isDeleted())
                return setError(error, storeError(StoreErrorValidation,
                                                  QStringLiteral("%1.%2 needs an object").arg(entity->name(), relationship.name),
                                                  {{QStringLiteral("NSValidationKeyErrorKey"), relationship.name},
                                                   {QStringLiteral("NSValidationErrorObject"),
                                                    QVariant::fromValue(object->m_id)}}));
        }
    }
    return true;
}

bool ContextEngine::resolveConflict(Connection &c, ManagedObject *object, QDError *error)
{
    Q_UNUSED(c);
    SqliteStore *s = store();
    const EntityLayout &l = s->layout(*object->m_entity);
    RowData row;
    QDError readError;
    if (!s->readRow(l, object->m_id.primaryKey(), row, &readError)) {
        if (readError.code() == StoreErrorObjectNotFound)
            return setError(error, storeError(StoreErrorMergeConflict,
                                              QStringLiteral("A changed %1 was deleted elsewhere").arg(object->m_entity->name()),
                                              {{QStringLiteral("NSValidationErrorObject"), QVariant::fromValue(object->m_id)}}));
        return setError(error, readError);
    }
    if (!object->m_committed)
        return true;
    const auto &committed = *object->m_committed;
    const size_t attributeCount = object->m_entity->attributes().size();
    std::vector<int> differing; // change indexes whose stored value moved
    for (int a : l.storedAttributes)
        if (!sameStored(committed.values[size_t(a)], row.values[size_t(a)]))
            differing.push_back(a);
    for (int r : l.toOneRelationships)
        if (committed.toOne[size_t(r)].primaryKey() != row.toOne[size_t(r)])
            differing.push_back(int(attributeCount) + r);
    if (differing.empty())
        return true;
    if (q->m_mergePolicy == MergePolicy::Error)
        return setError(error, storeError(StoreErrorMergeConflict,
                                          QStringLiteral("A %1 changed in the store since it was read").arg(object->m_entity->name()),
                                          {{QStringLiteral("NSValidationErrorObject"), QVariant::fromValue(object->m_id)}}));
    const bool storeWins = q->m_mergePolicy == MergePolicy::StoreTrump;
    for (int i : differing) {
        const bool mine = object->m_changed[size_t(i)];
        if (mine && !storeWins)
            continue;
        if (size_t(i) < attributeCount) {
            object->m_values[size_t(i)] = row.values[size_t(i)];
        } else {
            const size_t r = size_t(i) - attributeCount;
            auto &slot = object->m_relationships[r];
            const EntityDescription *destination = object->m_entity->destinationEntity(object->m_entity->relationships()[r]);
            slot.oneID = row.toOne[r] && destination ? permanentID(destination, row.toOne[r]) : ManagedObjectID();
            slot.one = nullptr;
            slot.loaded = false;
        }
    }
    return true;
}

bool ContextEngine::save(QDError *error)
{
    if (saving)
        return setError(error, storeError(StoreErrorValidation, QStringLiteral("A save is already running")));
    processPendingChanges();
    if (!hasChanges()) {
        // Inserted-then-deleted objects leave without a trace.
        for (ManagedObject *object : objectsInState(ManagedObject::State::InsertedDeleted))
            detach(object);
        changed.clear();
        return true;
    }
    if (!store() && !q->m_parent)
        return setError(error, storeError(StoreErrorNoStore, QStringLiteral("The context has no store to save to")));
    if (store() && store()->isReadOnly())
        return setError(error, storeError(StoreErrorReadOnly, QStringLiteral("The store is read-only")));

    NotificationCenter::defaultCenter().post(ManagedObjectContextWillSaveNotification, q, {});

    saving = true;
    struct SavingFlag
    {
        bool &flag;
        ~SavingFlag() { flag = false; }
    } savingFlag{saving};

    // willSave may change more objects; each object's willSave runs once per save.
    static std::atomic<quint32> generations{0};
    const quint32 generation = ++generations;
    for (int pass = 0; pass < 16; ++pass) {
        bool any = false;
        // Indexes, not iterators: willSave may add to the list.
        const size_t count = changed.size();
        for (size_t i = 0; i < count; ++i) {
            ManagedObject *object = changed[i];
            if (object->m_context != q || !object->m_registeredChange || object->m_saveGeneration == generation
                || object->m_state == ManagedObject::State::Clean
                || object->m_state == ManagedObject::State::InsertedDeleted)
                continue;
            object->m_saveGeneration = generation;
            object->willSave();
            any = true;
        }
        if (!any)
            break;
    }
    for (ManagedObject *object : pendingNotice)
        object->m_noticePending = false;
    pendingNotice.clear();

    std::vector<ManagedObject *> inserted, updated, deleted;
    inserted.reserve(changed.size());
    for (ManagedObject *object : changed) {
        if (object->m_context != q || !object->m_registeredChange)
            continue;
        switch (object->m_state) {
        case ManagedObject::State::Inserted:
            inserted.push_back(object);
            break;
        case ManagedObject::State::Updated:
            updated.push_back(object);
            break;
        case ManagedObject::State::Deleted:
            deleted.push_back(object);
            break;
        default:
            break;
        }
    }
    std::vector<ManagedObject *> all;
    all.reserve(inserted.size() + updated.size() + deleted.size());
    all.insert(all.end(), inserted.begin(), inserted.end());
    all.insert(all.end(), updated.begin(), updated.end());
    all.insert(all.end(), deleted.begin(), deleted.end());
    if (!validate(all, error))
        return false;

    auto changes = std::make_shared<SaveChanges>();
    changes->updated.reserve(updated.size());
    for (ManagedObject *object : updated) {
        ObjectChange change;
        change.object = object;
        change.objectID = object->m_id;
        change.changedKeys = object->changedKeys();
        changes->updated.push_back(std::move(change));
    }

    if (SqliteStore *s = store()) {
        WriteBatch batch;
        batch.insertsByEntity.resize(model()->entities().size());
        for (ManagedObject *object : inserted)
            batch.insertsByEntity[size_t(object->m_entity->index())].push_back({object, 0});
        batch.updates = updated;
        batch.deletes = deleted;
        const bool ok = s->writeTransaction(
            [&](Connection &c) {
                for (ManagedObject *object : updated)
                    if (!resolveConflict(c, object, error))
                        return false;
                return s->writeBatch(c, batch, error);
            },
            error);
        if (!ok) {
            for (ManagedObject *object : inserted)
                object->m_pendingPk = 0;
            return false;
        }
        // The save is in the file: new objects take their permanent identifiers.
        changes->inserted.reserve(inserted.size());
        permanent.reserve(permanent.size() + qsizetype(inserted.size()));
        for (ManagedObject *object : inserted) {
            ObjectChange change;
            change.object = object;
            change.previousID = object->m_id;
            object->m_id = ManagedObjectID::makePermanent(object->m_entity, object->m_pendingPk, s->uuid());
            object->m_pendingPk = 0;
            change.objectID = object->m_id;
            registerObject(object); // its temporary entry stays, for children and old identifiers
            changes->inserted.push_back(std::move(change));
        }
    } else {
        // A child hands its changes to the parent's objects.
        std::vector<ObjectSnapshot> insertedSnapshots, updatedSnapshots;
        std::vector<std::vector<std::vector<ManagedObjectID>>> updatedToMany;
        std::vector<QStringList> updatedKeys;
        std::vector<ManagedObjectID> deletedIDs;
        for (ManagedObject *object : inserted) {
            insertedSnapshots.push_back(snapshotOfObject(object));
            ObjectChange change;
            change.object = object;
            change.objectID = object->m_id;
            changes->inserted.push_back(change);
        }
        for (ManagedObject *object : updated) {
            updatedSnapshots.push_back(snapshotOfObject(object));
            updatedKeys.push_back(object->changedKeys());
            std::vector<std::vector<ManagedObjectID>> lists(object->m_relationships.size());
            const auto &relationships = object->m_entity->relationships();
            for (size_t r = 0; r < relationships.size(); ++r) {
                if (!relationships[r].toMany || !object->hasChangedKey(relationships[r].name))
                    continue;
                for (ManagedObject *other : object->m_relationships[r].many)
                    if (!other->isDeleted())
                        lists[r].push_back(other->m_id);
            }
            updatedToMany.push_back(std::move(lists));
        }
        // Relationships of new objects: their to-many lists reach the parent through the inverse to-ones, and
        // many-to-many lists are carried like an update's.
        for (size_t i = 0; i < inserted.size(); ++i) {
            ManagedObject *object = inserted[i];
            const auto &relationships = object->m_entity->relationships();
            QStringList keys;
            std::vector<std::vector<ManagedObjectID>> lists(relationships.size());
            for (size_t r = 0; r < relationships.size(); ++r) {
                if (!relationships[r].toMany || object->m_relationships[r].many.empty())
                    continue;
                keys << relationships[r].name;
                for (ManagedObject *other : object->m_relationships[r].many)
                    if (!other->isDeleted())
                        lists[r].push_back(other->m_id);
            }
            if (keys.isEmpty())
                continue;
            updatedSnapshots.push_back(insertedSnapshots[i]);
            updatedKeys.push_back(keys);
            updatedToMany.push_back(std::move(lists));
        }
        for (ManagedObject *object : deleted) {
            deletedIDs.push_back(object->m_id);
        }
        auto parent = q->m_parent;
        parent->performAndWait([&] {
            parent->m_engine->absorbChildChanges(insertedSnapshots, updatedSnapshots, updatedToMany, updatedKeys,
                                                 deletedIDs);
        });
    }

    for (ManagedObject *object : deleted) {
        ObjectChange change;
        change.object = object;
        change.objectID = object->m_id;
        changes->deleted.push_back(std::move(change));
    }

    for (ManagedObject *object : all)
        object->clearChanges();
    for (ManagedObject *object : objectsInState(ManagedObject::State::InsertedDeleted))
        detach(object);
    changed.clear();

    for (ManagedObject *object : all)
        object->didSave();
    for (ManagedObject *object : deleted)
        if (object->m_context == q)
            detach(object);
    // Changes made by didSave are pending for the next save.
    changed.erase(std::remove_if(changed.begin(), changed.end(),
                                 [this](ManagedObject *object) { return object->m_context != q; }),
                  changed.end());

    QVariantMap info;
    info.insert(InsertedObjectsKey, QVariant::fromValue(toList(inserted)));
    info.insert(UpdatedObjectsKey, QVariant::fromValue(toList(updated)));
    info.insert(DeletedObjectsKey, QVariant::fromValue(toList(deleted)));
    info.insert(ChangesKey, QVariant::fromValue(std::shared_ptr<const SaveChanges>(changes)));
    NotificationCenter::defaultCenter().post(ManagedObjectContextDidSaveNotification, q, info);
    return true;
}

// --------------------------------------------------------------------------------------------------------- fetching

bool ContextEngine::buildSql(const FetchRequest &request, const EntityDescription &entity, const QString &columns,
                             bool window, QString &sql, QVariantList &binds, QDError *error)
{
    const EntityLayout *l = layout(&entity);
    sql = QStringLiteral("SELECT %1 FROM %2 AS t0").arg(columns, l->table);
    if (!appendWhere(request.predicate().get(), entity, *model(), sql, binds, error))
        return false;
    if (!request.sortDescriptors().empty()) {
        const SqlOrderBy order = compileSortToSql(request.sortDescriptors(), entity, *model());
        if (!order.ok())
            return setError(error, storeError(StoreErrorSql, QStringLiteral("The sort order cannot run: %1")
                                                                 .arg(order.problem)));
        if (!order.orderBy.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + order.orderBy + QStringLiteral(", t0.pk");
    }
    if (window && (request.fetchLimit() > 0 || request.fetchOffset() > 0)) {
        sql += QStringLiteral(" LIMIT %1 OFFSET %2")
                   .arg(request.fetchLimit() > 0 ? qint64(request.fetchLimit()) : qint64(-1))
                   .arg(qint64(request.fetchOffset()));
    }
    return true;
}

void ContextEngine::applyPending(const FetchRequest &request, const EntityDescription &entity,
                                 std::vector<ManagedObject *> &objects)
{
    const Predicate *predicate = request.predicate().get();
    auto matches = [&](ManagedObject *object) { return !predicate || predicate->evaluate(*object); };
    QSet<ManagedObject *> present;
    std::vector<ManagedObject *> kept;
    kept.reserve(objects.size());
    for (ManagedObject *object : objects) {
        if (object->isDeleted() || present.contains(object))
            continue;
        if (object->m_state == ManagedObject::State::Updated && !matches(object))
            continue;
        present.insert(object);
        kept.push_back(object);
    }
    for (ManagedObject *object : changed) {
        if (object->m_context != q || object->m_entity != &entity || present.contains(object))
            continue;
        if ((object->m_state == ManagedObject::State::Inserted || object->m_state == ManagedObject::State::Updated)
            && matches(object)) {
            present.insert(object);
            kept.push_back(object);
        }
    }
    if (!request.sortDescriptors().empty()) {
        std::vector<const PredicateSubject *> subjects(kept.begin(), kept.end());
        sortSubjects(subjects, request.sortDescriptors());
        for (size_t i = 0; i < subjects.size(); ++i)
            kept[i] = static_cast<ManagedObject *>(const_cast<PredicateSubject *>(subjects[i]));
    }
    const size_t offset = size_t(std::max(0, request.fetchOffset()));
    if (offset > 0)
        kept.erase(kept.begin(), kept.begin() + qsizetype(std::min(offset, kept.size())));
    if (request.fetchLimit() > 0 && kept.size() > size_t(request.fetchLimit()))
        kept.resize(size_t(request.fetchLimit()));
    objects.swap(kept);
}

bool ContextEngine::fetchObjects(const FetchRequest &request, std::vector<ManagedObject *> &out, QDError *error)
{
    const ManagedObjectModel *m = model();
    const EntityDescription *entity = m ? m->entity(request.entityName()) : nullptr;
    if (!entity)
        return setError(error, storeError(StoreErrorSql, QStringLiteral("No entity named %1").arg(request.entityName())));
    const bool pending = request.includesPendingChanges() && hasChangesFor(entity);
    if (SqliteStore *s = store()) {
        const EntityLayout &l = s->layout(*entity);
        // Faults read the pk and the plan's columns only.
        std::shared_ptr<FaultPlan> plan;
        std::vector<const AttributeDescription *> planned;
        QString columns = l.selectColumns;
        if (request.returnsObjectsAsFaults()) {
            plan = std::make_shared<FaultPlan>();
            plan->slotOf.assign(entity->attributes().size(), -1);
            columns = QStringLiteral("t0.pk");
            for (const QString &name : request.propertiesToFetch()) {
                const AttributeDescription *attribute = entity->attribute(name);
                if (!attribute || attribute->transient || plan->slotOf[size_t(attribute->index)] >= 0)
                    continue;
                plan->slotOf[size_t(attribute->index)] = int(planned.size());
                planned.push_back(attribute);
                columns += QStringLiteral(", t0.") + schema::quoteIdentifier(schema::columnName(*attribute));
            }
        }
        QString sql;
        QVariantList binds;
        if (!buildSql(request, *entity, columns, !pending, sql, binds, error))
            return false;
        RowData row;
        const bool ok = s->query(
            sql, binds,
            [&](sqlite3_stmt *statement) {
                const qint64 pk = sqlite3_column_int64(statement, 0);
                ManagedObject *object = permanent.value(permanentKey(entity, pk), nullptr);
                if (!object && plan) {
                    std::vector<QVariant> values;
                    values.reserve(planned.size());
                    for (size_t i = 0; i < planned.size(); ++i)
                        values.push_back(SqliteStore::decodeColumn(statement, int(i) + 1, *planned[i]));
                    object = materializeFault(entity, pk, plan, std::move(values));
                } else if (!object) {
                    s->rowFromStatement(l, statement, row);
                    object = materializeRow(entity, row);
                }
                out.push_back(object);
                return true;
            },
            error);
        if (!ok)
            return false;
        if (!request.relationshipKeyPathsForPrefetching().isEmpty() && !plan)
            prefetchRelationships(request.relationshipKeyPathsForPrefetching(), *entity, out);
        if (pending)
            applyPending(request, *entity, out);
        return true;
    }
    if (auto parent = q->m_parent) {
        FetchRequest forParent = request;
        forParent.setIncludesPendingChanges(true);
        if (pending) {
            forParent.setFetchLimit(0);
            forParent.setFetchOffset(0);
        }
        std::vector<ManagedObjectID> ids;
        bool ok = false;
        QDError parentError;
        parent->performAndWait([&] { ok = parent->m_engine->fetchIDs(forParent, ids, &parentError); });
        if (!ok)
            return setError(error, parentError);
        // Snapshots of the records this context does not hold yet, in one trip to the parent.
        std::vector<ManagedObjectID> missing;
        for (const ManagedObjectID &id : ids)
            if (!registered(id))
                missing.push_back(id);
        std::vector<ObjectSnapshot> snapshots;
        if (!missing.empty())
            parent->performAndWait([&] {
                snapshots.reserve(missing.size());
                for (const ManagedObjectID &id : missing)
                    snapshots.push_back(parent->m_engine->snapshotFor(id));
            });
        for (ObjectSnapshot &snapshot : snapshots)
            if (snapshot.exists && !registered(snapshot.id))
                materializeSnapshot(snapshot);
        for (size_t i = 0; i < missing.size(); ++i)
            if (missing[i].isTemporaryID() && i < snapshots.size() && snapshots[i].exists
                && !snapshots[i].id.isTemporaryID())
                if (ManagedObject *object = registered(snapshots[i].id))
                    temporary.insert(missing[i].temporaryNumber(), object);
        for (const ManagedObjectID &id : ids)
            if (ManagedObject *object = registered(id))
                out.push_back(object);
        if (request.includesPendingChanges() && hasChangesFor(entity))
            applyPending(request, *entity, out);
        return true;
    }
    return setError(error, storeError(StoreErrorNoStore, QStringLiteral("The context has no store")));
}

bool ContextEngine::fetchIDs(const FetchRequest &request, std::vector<ManagedObjectID> &out, QDError *error)
{
    const ManagedObjectModel *m = model();
    const EntityDescription *entity = m ? m->entity(request.entityName()) : nullptr;
    if (!entity)
        return setError(error, storeError(StoreErrorSql, QStringLiteral("No entity named %1").arg(request.entityName())));
    SqliteStore *s = store();
    if (s && !(request.includesPendingChanges() && hasChangesFor(entity))) {
        QString sql;
        QVariantList binds;
        if (!buildSql(request, *entity, QStringLiteral("t0.pk"), true, sql, binds, error))
            return false;
        const QString uuid = s->uuid();
        return s->query(
            sql, binds,
            [&](sqlite3_stmt *statement) {
                out.push_back(ManagedObjectID::makePermanent(entity, sqlite3_column_int64(statement, 0), uuid));
                return true;
            },
            error);
    }
    std::vector<ManagedObject *> objects;
    if (!fetchObjects(request, objects, error))
        return false;
    out.reserve(objects.size());
    for (ManagedObject *object : objects)
        out.push_back(object->m_id);
    return true;
}

// =========================================================================================================
// ManagedObjectContext

ManagedObjectContext::ManagedObjectContext(ConcurrencyType type)
    : m_type(type), m_engine(std::make_unique<ContextEngine>(this, type))
{
}

ManagedObjectContext::~ManagedObjectContext() { m_engine.reset(); }

QString ManagedObjectContext::name() const { return m_engine->name; }

void ManagedObjectContext::setName(const QString &name)
{
    m_engine->name = name;
}

std::shared_ptr<StoreCoordinator> ManagedObjectContext::persistentStoreCoordinator() const
{
    if (m_engine->coordinator)
        return m_engine->coordinator;
    return m_parent ? m_parent->persistentStoreCoordinator() : nullptr;
}

void ManagedObjectContext::setPersistentStoreCoordinator(std::shared_ptr<StoreCoordinator> coordinator)
{
    m_engine->coordinator = std::move(coordinator);
    if (m_engine->coordinator)
        m_parent.reset();
}

void ManagedObjectContext::setParentContext(std::shared_ptr<ManagedObjectContext> parent)
{
    m_parent = std::move(parent);
    if (m_parent)
        m_engine->coordinator.reset();
}

void ManagedObjectContext::perform(std::function<void()> block)
{
    if (m_type == ConcurrencyType::PrivateQueue)
        m_engine->queue->async(std::move(block));
    else
        platform::core::dispatchAsyncMain(std::move(block));
}

void ManagedObjectContext::performAndWait(const std::function<void()> &block)
{
    if (isOnQueue()) {
        block();
        return;
    }
    if (m_type == ConcurrencyType::PrivateQueue)
        m_engine->queue->sync(block);
    else
        platform::core::dispatchSyncMain(block);
}

bool ManagedObjectContext::isOnQueue() const
{
    if (m_type == ConcurrencyType::PrivateQueue)
        return m_engine->queue->isCurrent();
    return platform::core::isMainThread();
}

ManagedObject *ManagedObjectContext::insertNewObject(const QString &entityName)
{
    const ManagedObjectModel *model = m_engine->model();
    const EntityDescription *entity = model ? model->entity(entityName) : nullptr;
    if (!entity) {
        qWarning("store: no entity named %s", qPrintable(entityName));
        return nullptr;
    }
    ManagedObject *object = m_engine->newObject(entity);
    object->attach(entity, this, ManagedObjectID::makeTemporary(entity));
    object->m_state = ManagedObject::State::Inserted;
    for (const auto &attribute : entity->attributes())
        if (attribute.defaultValue.isValid())
            object->m_values[size_t(attribute.index)] = attribute.defaultValue;
    for (auto &slot : object->m_relationships)
        slot.loaded = true;
    m_engine->registerObject(object);
    m_engine->noteChange(object, true);
    object->awakeFromInsert();
    return object;
}

void ManagedObjectContext::deleteObject(ManagedObject *object) { m_engine->deleteObject(object); }

ManagedObject *ManagedObjectContext::objectWithID(const ManagedObjectID &id) { return m_engine->objectWithID(id, nullptr); }

ManagedObject *ManagedObjectContext::existingObjectWithID(const ManagedObjectID &id, QDError *error)
{
    ManagedObject *object = m_engine->objectWithID(id, error);
    if (object && object->isDeleted() && object->m_state == ManagedObject::State::InsertedDeleted) {
        setError(error, storeError(StoreErrorObjectNotFound, QStringLiteral("The object was deleted")));
        return nullptr;
    }
    return object;
}

ManagedObject *ManagedObjectContext::objectRegisteredForID(const ManagedObjectID &id) const
{
    return m_engine->registered(id);
}

bool ManagedObjectContext::hasChanges() const { return m_engine->hasChanges(); }

QList<ManagedObject *> ManagedObjectContext::insertedObjects() const
{
    return toList(m_engine->objectsInState(ManagedObject::State::Inserted));
}

QList<ManagedObject *> ManagedObjectContext::updatedObjects() const
{
    return toList(m_engine->objectsInState(ManagedObject::State::Updated));
}

QList<ManagedObject *> ManagedObjectContext::deletedObjects() const
{
    return toList(m_engine->objectsInState(ManagedObject::State::Deleted));
}

QList<ManagedObject *> ManagedObjectContext::registeredObjects() const
{
    QList<ManagedObject *> result;
    for (ManagedObject *object : m_engine->owned)
        if (object->m_context == this)
            result << object;
    return result;
}

bool ManagedObjectContext::save(QDError *error)
{
    QDError local;
    const bool ok = m_engine->save(&local);
    if (!ok)
        setError(error, local);
    return ok;
}

void ManagedObjectContext::reset() { m_engine->reset(); }

void ManagedObjectContext::rollback() { m_engine->rollback(); }

void ManagedObjectContext::processPendingChanges() { m_engine->processPendingChanges(); }

void ManagedObjectContext::refreshObject(ManagedObject *object, bool mergeChanges)
{
    m_engine->refresh(object, mergeChanges);
}

void ManagedObjectContext::mergeChangesFromContextDidSaveNotification(const platform::core::Notification &notification)
{
    if (auto changes = SaveChanges::fromNotification(notification))
        m_engine->mergeChanges(*changes);
}

void ManagedObjectContext::mergeChanges(const SaveChanges &changes) { m_engine->mergeChanges(changes); }

QList<ManagedObject *> ManagedObjectContext::executeFetchRequest(const FetchRequest &request, QDError *error)
{
    std::vector<ManagedObject *> objects;
    if (!m_engine->fetchObjects(request, objects, error))
        return {};
    return toList(objects);
}

QList<ManagedObjectID> ManagedObjectContext::executeFetchRequestForIDs(const FetchRequest &request, QDError *error)
{
    std::vector<ManagedObjectID> ids;
    if (!m_engine->fetchIDs(request, ids, error))
        return {};
    return QList<ManagedObjectID>(ids.begin(), ids.end());
}

QList<QVariantMap> ManagedObjectContext::executeFetchRequestForDictionaries(const FetchRequest &request, QDError *error)
{
    const ManagedObjectModel *model = m_engine->model();
    const EntityDescription *entity = model ? model->entity(request.entityName()) : nullptr;
    StoreCoordinator *root = m_engine->rootCoordinator();
    SqliteStore *s = root ? root->sqliteStore() : nullptr;
    if (!entity || !s || !s->isOpen()) {
        setError(error, storeError(entity ? StoreErrorNoStore : StoreErrorSql,
                                   entity ? QStringLiteral("The context has no store")
                                          : QStringLiteral("No entity named %1").arg(request.entityName())));
        return {};
    }
    QStringList names = request.propertiesToFetch();
    if (names.isEmpty())
        for (const auto &attribute : entity->attributes())
            if (!attribute.transient)
                names << attribute.name;
    struct Column
    {
        QString name;
        const AttributeDescription *attribute = nullptr;
        const EntityDescription *destination = nullptr;
    };
    std::vector<Column> columns;
    QStringList expressions;
    for (const QString &name : std::as_const(names)) {
        const RelationshipDescription *relationship = entity->relationship(name);
        if (relationship && !relationship->toMany) {
            columns.push_back({name, nullptr, entity->destinationEntity(*relationship)});
            expressions << QStringLiteral("t0.") + schema::quoteIdentifier(schema::foreignKeyColumnName(*relationship));
            continue;
        }
        const SqlKeyPath path = compileKeyPathToSql(name, *entity, *model);
        if (!path.ok() || !path.attribute) {
            setError(error, storeError(StoreErrorSql, QStringLiteral("Cannot fetch %1: %2").arg(name, path.problem)));
            return {};
        }
        columns.push_back({name, path.attribute, nullptr});
        expressions << path.expression;
    }
    QString sql;
    QVariantList binds;
    QString selected = expressions.join(u", ");
    if (request.returnsDistinctResults())
        selected.prepend(QStringLiteral("DISTINCT "));
    if (!m_engine->buildSql(request, *entity, selected, true, sql, binds, error))
        return {};
    if (request.returnsDistinctResults())
        sql.replace(QStringLiteral(", t0.pk LIMIT"), QStringLiteral(" LIMIT"));
    if (request.returnsDistinctResults() && sql.endsWith(QStringLiteral(", t0.pk")))
        sql.chop(7);
    QList<QVariantMap> rows;
    const QString uuid = s->uuid();
    const bool ok = s->query(
        sql, binds,
        [&](sqlite3_stmt *statement) {
            QVariantMap row;
            for (size_t i = 0; i < columns.size(); ++i) {
                const Column &column = columns[i];
                if (column.destination) {
                    if (sqlite3_column_type(statement, int(i)) != SQLITE_NULL)
                        row.insert(column.name, QVariant::fromValue(ManagedObjectID::makePermanent(
                                                    column.destination, sqlite3_column_int64(statement, int(i)), uuid)));
                    continue;
                }
                const QVariant value = SqliteStore::decodeColumn(statement, int(i), *column.attribute);
                if (value.isValid())
                    row.insert(column.name, value);
            }
            rows << row;
            return true;
        },
        error);
    return ok ? rows : QList<QVariantMap>();
}

qint64 ManagedObjectContext::countForFetchRequest(const FetchRequest &request, QDError *error)
{
    const ManagedObjectModel *model = m_engine->model();
    const EntityDescription *entity = model ? model->entity(request.entityName()) : nullptr;
    if (!entity) {
        setError(error, storeError(StoreErrorSql, QStringLiteral("No entity named %1").arg(request.entityName())));
        return -1;
    }
    SqliteStore *s = m_engine->store();
    if (s && !(request.includesPendingChanges() && m_engine->hasChangesFor(entity))) {
        FetchRequest plain = request;
        plain.setSortDescriptors({});
        plain.setFetchLimit(0);
        plain.setFetchOffset(0);
        QString sql;
        QVariantList binds;
        if (!m_engine->buildSql(plain, *entity, QStringLiteral("count(*)"), false, sql, binds, error))
            return -1;
        qint64 count = 0;
        if (!s->query(sql, binds, [&](sqlite3_stmt *statement) {
                count = sqlite3_column_int64(statement, 0);
                return false;
            }, error))
            return -1;
        count = std::max<qint64>(0, count - request.fetchOffset());
        if (request.fetchLimit() > 0)
            count = std::min<qint64>(count, request.fetchLimit());
        return count;
    }
    std::vector<ManagedObjectID> ids;
    if (!m_engine->fetchIDs(request, ids, error))
        return -1;
    return qint64(ids.size());
}

// --------------------------------------------------------------------------------------------------------- batches

namespace {

// After rows of an entity left the store outside any context, nothing may keep pointing at them.
bool clearDanglingReferences(SqliteStore *s, const ManagedObjectModel &model, const EntityDescription &removed,
                             QDError *error)
{
    const QString table = schema::quoteIdentifier(schema::tableName(removed));
    for (const auto &entityPtr : model.entities()) {
        const EntityLayout &l = s->layout(*entityPtr);
        for (const auto &rel : l.relationships) {
            if (rel.destination != &removed)
                continue;
            QString sql;
            if (rel.toOneColumn) {
                const QString column = schema::quoteIdentifier(schema::foreignKeyColumnName(*rel.description));
                sql = QStringLiteral("UPDATE %1 SET %2 = NULL WHERE %2 IS NOT NULL AND %2 NOT IN (SELECT pk FROM %3)")
                          .arg(l.table, column, table);
            } else if (rel.joinTable) {
                sql = QStringLiteral("DELETE FROM %1 WHERE %2 NOT IN (SELECT pk FROM %3)")
                          .arg(rel.joinTableName, rel.joinDestinationColumn, table);
            }
            if (!sql.isEmpty() && !s->query(sql, {}, [](sqlite3_stmt *) { return true; }, error, true))
                return false;
        }
    }
    return true;
}

// The rows a batch statement returns ("RETURNING pk"): counted, and their identifiers kept when asked for.
struct ReturnedRows
{
    bool wantIDs = false;
    QString storeUuid{};
    qint64 count = 0;
    QList<ManagedObjectID> ids{};

    bool take(const EntityDescription *entity, sqlite3_stmt *statement)
    {
        ++count;
        if (wantIDs)
            ids << ManagedObjectID::makePermanent(entity, sqlite3_column_int64(statement, 0), storeUuid);
        return true;
    }

    void fill(BatchResult &result, bool ok) const
    {
        result.ok = ok;
        if (ok) {
            result.count = count;
            result.objectIDs = ids;
        }
    }
};

} // namespace

BatchResult ManagedObjectContext::executeBatchDelete(const BatchDeleteRequest &request, QDError *error)
{
    BatchResult result;
    result.isDelete = true;
    StoreCoordinator *root = m_engine->rootCoordinator();
    SqliteStore *s = root ? root->sqliteStore() : nullptr;
    if (!s || !s->isOpen()) {
        setError(error, storeError(StoreErrorNoStore, QStringLiteral("The context has no store")));
        return result;
    }
    const ManagedObjectModel &model = *root->managedObjectModel();
    ReturnedRows rows{request.resultType() == BatchResultType::ObjectIDs, s->uuid()};
    const bool ok = s->writeTransaction(
        [&](Connection &) {
            QSet<const EntityDescription *> touched;
            auto run = [&](const EntityDescription &entity, const QString &sql, const QVariantList &binds) {
                const bool ran = s->query(
                    sql, binds, [&](sqlite3_stmt *statement) { return rows.take(&entity, statement); }, error, true);
                touched.insert(&entity);
                return ran;
            };
            auto deleteJoins = [&](const EntityDescription &entity) {
                const EntityLayout &l = s->layout(entity);
                const QString table = l.table;
                for (const auto &rel : l.relationships)
                    if (rel.joinTable
                        && !s->query(QStringLiteral("DELETE FROM %1 WHERE %2 NOT IN (SELECT pk FROM %3)")
                                         .arg(rel.joinTableName, rel.joinSourceColumn, table),
                                     {}, [](sqlite3_stmt *) { return true; }, error, true))
                        return false;
                return true;
            };
            if (!request.objectIDs().isEmpty()) {
                for (const ManagedObjectID &id : request.objectIDs()) {
                    if (id.isNull() || id.isTemporaryID())
                        continue;
                    const EntityLayout &l = s->layout(*id.entity());
                    if (!run(*id.entity(), QStringLiteral("DELETE FROM %1 WHERE pk = ? RETURNING pk").arg(l.table),
                             {id.primaryKey()}))
                        return false;
                }
            } else {
                const EntityDescription *entity = model.entity(request.fetchRequest().entityName());
                if (!entity)
                    return setError(error, storeError(StoreErrorSql, QStringLiteral("No entity named %1")
                                                                         .arg(request.fetchRequest().entityName())));
                const EntityLayout &l = s->layout(*entity);
                QString sql = QStringLiteral("DELETE FROM %1 AS t0").arg(l.table);
                QVariantList binds;
                if (!appendWhere(request.fetchRequest().predicate().get(), *entity, model, sql, binds, error))
                    return false;
                sql += QStringLiteral(" RETURNING pk");
                if (!run(*entity, sql, binds))
                    return false;
            }
            if (rows.count == 0)
                return true;
            for (const EntityDescription *entity : std::as_const(touched))
                if (!deleteJoins(*entity) || !clearDanglingReferences(s, model, *entity, error))
                    return false;
            return true;
        },
        error);
    rows.fill(result, ok);
    return result;
}

BatchResult ManagedObjectContext::executeBatchUpdate(const BatchUpdateRequest &request, QDError *error)
{
    BatchResult result;
    StoreCoordinator *root = m_engine->rootCoordinator();
    SqliteStore *s = root ? root->sqliteStore() : nullptr;
    if (!s || !s->isOpen()) {
        setError(error, storeError(StoreErrorNoStore, QStringLiteral("The context has no store")));
        return result;
    }
    const ManagedObjectModel &model = *root->managedObjectModel();
    const EntityDescription *entity = model.entity(request.entityName());
    if (!entity || request.propertiesToUpdate().isEmpty()) {
        setError(error, storeError(StoreErrorSql, entity ? QStringLiteral("Nothing to update")
                                                         : QStringLiteral("No entity named %1").arg(request.entityName())));
        return result;
    }
    const EntityLayout &l = s->layout(*entity);
    QStringList sets;
    QVariantList binds;
    for (auto it = request.propertiesToUpdate().cbegin(); it != request.propertiesToUpdate().cend(); ++it) {
        const AttributeDescription *attribute = entity->attribute(it.key());
        if (!attribute || attribute->transient) {
            setError(error, storeError(StoreErrorSql, QStringLiteral("%1 has no stored attribute %2")
                                                          .arg(entity->name(), it.key())));
            return result;
        }
        sets << schema::quoteIdentifier(schema::columnName(*attribute)) + QStringLiteral(" = ?");
        binds << toSqlValue(it.value(), *attribute);
    }
    QString sql = QStringLiteral("UPDATE %1 AS t0 SET %2").arg(l.table, sets.join(u", "));
    if (!appendWhere(request.predicate().get(), *entity, model, sql, binds, error))
        return result;
    sql += QStringLiteral(" RETURNING pk");
    ReturnedRows rows{request.resultType() == BatchResultType::ObjectIDs, s->uuid()};
    const bool ok = s->writeTransaction(
        [&](Connection &) {
            return s->query(
                sql, binds, [&](sqlite3_stmt *statement) { return rows.take(entity, statement); }, error, true);
        },
        error);
    rows.fill(result, ok);
    return result;
}

} // namespace platform::store
