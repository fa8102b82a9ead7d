#pragma once

#include "platform/store/ManagedObjectID.h"
#include "platform/store/Predicate.h"
#include "platform/store/StoreNotifications.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <vector>

namespace platform::store {

class SortDescriptor;

enum class FetchResultType { ManagedObjects, ManagedObjectIDs, Dictionaries, Count };

// What to fetch: an entity, an optional predicate, an order, a window. Executed by a context
// (ManagedObjectContext::executeFetchRequest and friends); the predicate and the order are compiled to SQL
// and, for pending in-memory changes, evaluated on the objects with the same meaning.
class FetchRequest
{
public:
    FetchRequest();
    explicit FetchRequest(const QString &entityName);
    FetchRequest(const FetchRequest &other);
    FetchRequest &operator=(const FetchRequest &other);
    ~FetchRequest();

    static FetchRequest fetchRequestWithEntityName(const QString &entityName) { return FetchRequest(entityName); }

    const QString &entityName() const { return m_entityName; }
    void setEntityName(const QString &name) { m_entityName = name; }

    // Null means every object of the entity.
    const std::shared_ptr<const Predicate> &predicate() const { return m_predicate; }
    void setPredicate(std::shared_ptr<const Predicate> predicate) { m_predicate = std::move(predicate); }
    void setPredicate(const Predicate &predicate) { m_predicate = std::make_shared<const Predicate>(predicate); }

    const std::vector<SortDescriptor> &sortDescriptors() const;
    void setSortDescriptors(std::vector<SortDescriptor> descriptors);

    // 0 means no limit.
    int fetchLimit() const { return m_fetchLimit; }
    void setFetchLimit(int limit) { m_fetchLimit = limit; }
    int fetchOffset() const { return m_fetchOffset; }
    void setFetchOffset(int offset) { m_fetchOffset = offset; }
    // Accepted for callers that set it; results are always loaded whole.
    int fetchBatchSize() const { return m_fetchBatchSize; }
    void setFetchBatchSize(int size) { m_fetchBatchSize = size; }

    FetchResultType resultType() const { return m_resultType; }
    void setResultType(FetchResultType type) { m_resultType = type; }

    // Whether objects inserted, changed or deleted in the context (and its parents) but not saved count.
    bool includesPendingChanges() const { return m_includesPendingChanges; }
    void setIncludesPendingChanges(bool include) { m_includesPendingChanges = include; }

    // The attribute (or to-one relationship) names of a dictionary fetch; empty means all stored attributes.
    // For a fetch of faults, the stored attributes read up front (the others load on first use).
    const QStringList &propertiesToFetch() const { return m_propertiesToFetch; }
    void setPropertiesToFetch(const QStringList &names) { m_propertiesToFetch = names; }
    bool returnsDistinctResults() const { return m_distinct; }
    void setReturnsDistinctResults(bool distinct) { m_distinct = distinct; }

    // Whether objects the context does not hold yet come back as faults: objects that hold only the
    // propertiesToFetch (and their identity) and read the rest of their record the first time anything else
    // of them is used. For long lists that show a few values of each record. Objects come back whole unless
    // asked; a context that reads from a parent context always makes whole objects.
    bool returnsObjectsAsFaults() const { return m_returnsObjectsAsFaults; }
    void setReturnsObjectsAsFaults(bool faults) { m_returnsObjectsAsFaults = faults; }

    // Accepted and ignored: relationships are loaded on first use.
    const QStringList &relationshipKeyPathsForPrefetching() const { return m_prefetch; }
    void setRelationshipKeyPathsForPrefetching(const QStringList &paths) { m_prefetch = paths; }

private:
    QString m_entityName;
    std::shared_ptr<const Predicate> m_predicate;
    std::unique_ptr<std::vector<SortDescriptor>> m_sortDescriptors;
    int m_fetchLimit = 0;
    int m_fetchOffset = 0;
    int m_fetchBatchSize = 0;
    FetchResultType m_resultType = FetchResultType::ManagedObjects;
    bool m_includesPendingChanges = true;
    bool m_distinct = false;
    bool m_returnsObjectsAsFaults = false;
    QStringList m_propertiesToFetch;
    QStringList m_prefetch;
};

enum class BatchResultType { StatusOnly, ObjectIDs, Count };

// Deletes the rows of an entity that match a predicate, or the rows of the given identifiers, in one
// transaction on the store. Delete rules do not run; to-one columns of other entities that pointed at the
// deleted rows are cleared and their join-table rows removed, so no record is left pointing at nothing.
class BatchDeleteRequest
{
public:
    explicit BatchDeleteRequest(const FetchRequest &fetchRequest) : m_fetch(fetchRequest) {}
    explicit BatchDeleteRequest(const QList<ManagedObjectID> &objectIDs) : m_objectIDs(objectIDs) {}

    const FetchRequest &fetchRequest() const { return m_fetch; }
    const QList<ManagedObjectID> &objectIDs() const { return m_objectIDs; }
    BatchResultType resultType() const { return m_resultType; }
    void setResultType(BatchResultType type) { m_resultType = type; }

private:
    FetchRequest m_fetch;
    QList<ManagedObjectID> m_objectIDs;
    BatchResultType m_resultType = BatchResultType::StatusOnly;
};

// Sets attributes of every row of an entity that matches a predicate, in one transaction on the store.
class BatchUpdateRequest
{
public:
    explicit BatchUpdateRequest(const QString &entityName) : m_entityName(entityName) {}

    const QString &entityName() const { return m_entityName; }
    const std::shared_ptr<const Predicate> &predicate() const { return m_predicate; }
    void setPredicate(std::shared_ptr<const Predicate> predicate) { m_predicate = std::move(predicate); }
    void setPredicate(const Predicate &predicate) { m_predicate = std::make_shared<const Predicate>(predicate); }
    // Attribute name -> new value.
    const QVariantMap &propertiesToUpdate() const { return m_properties; }
    void setPropertiesToUpdate(const QVariantMap &properties) { m_properties = properties; }
    BatchResultType resultType() const { return m_resultType; }
    void setResultType(BatchResultType type) { m_resultType = type; }

private:
    QString m_entityName;
    std::shared_ptr<const Predicate> m_predicate;
    QVariantMap m_properties;
    BatchResultType m_resultType = BatchResultType::StatusOnly;
};

// What a batch request did: whether it succeeded, how many rows it touched and (when asked) which.
struct BatchResult
{
    bool ok = false;
    qint64 count = 0;
    QList<ManagedObjectID> objectIDs;
    bool isDelete = false;

    // The identifiers as changes to merge into a context (deleted or updated, by the request's kind).
    SaveChanges changes() const;
};

} // namespace platform::store
