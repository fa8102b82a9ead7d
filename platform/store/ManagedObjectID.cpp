#include "platform/store/ManagedObjectID.h"

#include "platform/store/Model.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

namespace platform::store {

namespace {
std::atomic<quint64> g_nextTemporary{1};

const QString *intern(const QString &identifier)
{
    static QMutex mutex;
    // Never destroyed: identifiers may be used until the very end of the process.
    static auto *table = new QHash<QString, const QString *>();
    if (identifier.isEmpty())
        return nullptr;
    // Store identifiers are compared without regard to case (URIs lower-case their host).
    const QString key = identifier.toLower();
    QMutexLocker lock(&mutex);
    auto it = table->constFind(key);
    if (it != table->constEnd())
        return it.value();
    const QString *stored = new QString(key);
    table->insert(key, stored);
    return stored;
}

thread_local const QString *t_lastStore = nullptr;
thread_local QString t_lastIdentifier;
} // namespace

const QString &ManagedObjectID::storeIdentifier() const
{
    static const QString none;
    return m_store ? *m_store : none;
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
    // Saves and fetches make many identifiers of one store in a row.
    if (!t_lastStore
        || (t_lastIdentifier.constData() != storeIdentifier.constData() && t_lastIdentifier != storeIdentifier)) {
        t_lastStore = intern(storeIdentifier);
        t_lastIdentifier = storeIdentifier;
    }
    id.m_store = t_lastStore;
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
        url.setHost(storeIdentifier());
        url.setPath(QStringLiteral("/%1/p%2").arg(m_entity->name()).arg(m_pk));
    } else {
        url.setPath(QStringLiteral("/%1/t%2").arg(m_entity->name()).arg(m_temporary));
    }
    return url;
}

} // namespace platform::store
