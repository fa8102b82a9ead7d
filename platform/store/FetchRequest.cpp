#include "platform/store/FetchRequest.h"

#include "platform/store/SortDescriptor.h"

namespace platform::store {

FetchRequest::FetchRequest() = default;

FetchRequest::FetchRequest(const QString &entityName) : m_entityName(entityName) {}

FetchRequest::FetchRequest(const FetchRequest &other) { *this = other; }

FetchRequest &FetchRequest::operator=(const FetchRequest &other)
{
    if (this == &other)
        return *this;
    m_entityName = other.m_entityName;
    m_predicate = other.m_predicate;
    m_sortDescriptors = other.m_sortDescriptors
                            ? std::make_unique<std::vector<SortDescriptor>>(*other.m_sortDescriptors)
                            : nullptr;
    m_fetchLimit = other.m_fetchLimit;
    m_fetchOffset = other.m_fetchOffset;
    m_fetchBatchSize = other.m_fetchBatchSize;
    m_resultType = other.m_resultType;
    m_includesPendingChanges = other.m_includesPendingChanges;
    m_distinct = other.m_distinct;
    m_returnsObjectsAsFaults = other.m_returnsObjectsAsFaults;
    m_propertiesToFetch = other.m_propertiesToFetch;
    m_prefetch = other.m_prefetch;
    return *this;
}

FetchRequest::~FetchRequest() = default;

const std::vector<SortDescriptor> &FetchRequest::sortDescriptors() const
{
    static const std::vector<SortDescriptor> none;
    return m_sortDescriptors ? *m_sortDescriptors : none;
}

void FetchRequest::setSortDescriptors(std::vector<SortDescriptor> descriptors)
{
    m_sortDescriptors = std::make_unique<std::vector<SortDescriptor>>(std::move(descriptors));
}

SaveChanges BatchResult::changes() const
{
    SaveChanges changes;
    auto &target = isDelete ? changes.deleted : changes.updated;
    target.reserve(size_t(objectIDs.size()));
    for (const ManagedObjectID &id : objectIDs) {
        ObjectChange change;
        change.objectID = id;
        target.push_back(change);
    }
    return changes;
}

} // namespace platform::store
