#include "platform/store/ManagedObjectID.h"

#include "platform/store/Model.h"

#include <atomic>

namespace platform::store {

namespace {
std::atomic<quint64> g_nextTemporary{1};
}

ManagedObjectID ManagedObjectID::makeTemporary(const EntityDescription *entity)
{
    ManagedObjectID id;
    id.m_entity = entity;
    id.m_temporary = g_nextTemporary.fetch_add(1, std::memory_order_relaxed);
    return id;
}

ManagedObjectID ManagedObjectID::makePermanent(const EntityDescription *entity, qint64 primaryKey,
                                               const QString &storeIdentifier)
{
    ManagedObjectID id;
    id.m_entity = entity;
    id.m_pk = primaryKey;
    id.m_store = storeIdentifier;
    return id;
}

QString ManagedObjectID::entityName() const { return m_entity ? m_entity->name() : QString(); }

QUrl ManagedObjectID::URIRepresentation() const
{
    if (!m_entity)
        return {};
    QUrl url;
    url.setScheme(UriScheme);
    if (m_pk) {
        url.setHost(m_store);
        url.setPath(QStringLiteral("/%1/p%2").arg(m_entity->name()).arg(m_pk));
    } else {
        url.setPath(QStringLiteral("/%1/t%2").arg(m_entity->name()).arg(m_temporary));
    }
    return url;
}

} // namespace platform::store
