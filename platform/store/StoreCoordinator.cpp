#include "platform/store/StoreCoordinator.h"

#include "platform/store/SqliteStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform::store {

using platform::core::QDError;
using platform::core::setError;

namespace {
QDError noStoreError()
{
    return QDError::withDescription(StoreErrorDomain, StoreErrorNoStore, QStringLiteral("The coordinator holds no store"));
}

QString canonicalPath(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}
} // namespace

StoreCoordinator::StoreCoordinator(std::shared_ptr<const ManagedObjectModel> model) : m_model(std::move(model)) {}

StoreCoordinator::~StoreCoordinator() = default;

QString StoreCoordinator::name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

void StoreCoordinator::setName(const QString &name)
{
    std::lock_guard lock(m_mutex);
    m_name = name;
}

std::shared_ptr<PersistentStore> StoreCoordinator::addPersistentStore(StoreType type, const QString &path,
                                                                      const StoreOptions &options, QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (m_persistentStore) {
        setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorOpen,
                                                 QStringLiteral("The coordinator already holds a store")));
        return {};
    }
    QString problem;
    if (!m_model || !m_model->validate(&problem)) {
        setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorOpen,
                                                 QStringLiteral("The model is not valid: %1").arg(problem)));
        return {};
    }
    auto store = std::make_unique<SqliteStore>(*m_model);
    if (!store->open(type, path, options, error))
        return {};
    auto persistent = std::shared_ptr<PersistentStore>(new PersistentStore);
    persistent->m_type = type;
    persistent->m_path = path;
    persistent->m_identifier = store->uuid();
    persistent->m_readOnly = store->isReadOnly();
    persistent->m_options = options;
    m_store = std::move(store);
    m_persistentStore = persistent;
    return persistent;
}

bool StoreCoordinator::removePersistentStore(const std::shared_ptr<PersistentStore> &store, QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (!store || store != m_persistentStore)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorNoStore,
                                                        QStringLiteral("The store is not held by this coordinator")));
    m_store.reset();
    m_persistentStore.reset();
    return true;
}

QList<std::shared_ptr<PersistentStore>> StoreCoordinator::persistentStores() const
{
    std::lock_guard lock(m_mutex);
    if (!m_persistentStore)
        return {};
    return {m_persistentStore};
}

std::shared_ptr<PersistentStore> StoreCoordinator::persistentStoreForURL(const QUrl &url) const
{
    std::lock_guard lock(m_mutex);
    if (m_persistentStore && canonicalPath(m_persistentStore->path()) == canonicalPath(url.toLocalFile()))
        return m_persistentStore;
    return {};
}

QVariantMap StoreCoordinator::metadataForPersistentStore(const std::shared_ptr<PersistentStore> &store) const
{
    std::lock_guard lock(m_mutex);
    if (!store || store != m_persistentStore || !m_store)
        return {};
    return m_store->metadata();
}

bool StoreCoordinator::setMetadata(const QVariantMap &metadata, const std::shared_ptr<PersistentStore> &store,
                                   QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (!store || store != m_persistentStore || !m_store)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorNoStore,
                                                        QStringLiteral("The store is not held by this coordinator")));
    return m_store->setFreeMetadata(metadata, error);
}

QVariantMap StoreCoordinator::metadataForPersistentStoreOfType(StoreType type, const QString &path, QDError *error)
{
    if (type != StoreType::SQLite) {
        setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                 QStringLiteral("An in-memory store has no file")));
        return {};
    }
    return SqliteStore::readMetadataOfFile(path, error);
}

bool StoreCoordinator::setMetadataForPersistentStoreOfType(const QVariantMap &metadata, StoreType type,
                                                           const QString &path, QDError *error)
{
    if (type != StoreType::SQLite)
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                        QStringLiteral("An in-memory store has no file")));
    return SqliteStore::writeMetadataOfFile(path, metadata, error);
}

bool StoreCoordinator::destroyPersistentStore(const QString &path, StoreType type, QDError *error)
{
    if (type != StoreType::SQLite)
        return true;
    {
        std::lock_guard lock(m_mutex);
        if (m_persistentStore && canonicalPath(m_persistentStore->path()) == canonicalPath(path)) {
            m_store.reset();
            m_persistentStore.reset();
        }
    }
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        const QString file = path + suffix;
        if (QFileInfo::exists(file) && !QFile::remove(file))
            return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                            QStringLiteral("Cannot remove a store file"),
                                                            {{QDError::FilePathKey, file}}));
    }
    return true;
}

bool StoreCoordinator::replacePersistentStore(const QString &destinationPath, const QString &sourcePath,
                                              QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (canonicalPath(destinationPath) == canonicalPath(sourcePath))
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                        QStringLiteral("A store cannot replace itself")));
    if (m_persistentStore && m_store && canonicalPath(m_persistentStore->path()) == canonicalPath(destinationPath)) {
        if (!m_store->restoreFrom(sourcePath, error))
            return false;
        m_persistentStore->m_identifier = m_store->uuid();
        return true;
    }
    QDir().mkpath(QFileInfo(destinationPath).absolutePath());
    return SqliteStore::copyDatabaseFile(sourcePath, destinationPath, error);
}

bool StoreCoordinator::copyPersistentStore(const QString &destinationPath, QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_store)
        return setError(error, noStoreError());
    if (m_persistentStore->type() == StoreType::SQLite
        && canonicalPath(destinationPath) == canonicalPath(m_persistentStore->path()))
        return setError(error, QDError::withDescription(StoreErrorDomain, StoreErrorFile,
                                                        QStringLiteral("A store cannot be copied onto itself")));
    return m_store->backupTo(destinationPath, error);
}

bool StoreCoordinator::checkpoint(QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_store)
        return setError(error, noStoreError());
    return m_store->checkpoint(error);
}

bool StoreCoordinator::beginReadSnapshot(QDError *error)
{
    std::lock_guard lock(m_mutex);
    if (!m_store)
        return setError(error, noStoreError());
    return m_store->beginReadSnapshot(error);
}

void StoreCoordinator::endReadSnapshot()
{
    std::lock_guard lock(m_mutex);
    if (m_store)
        m_store->endReadSnapshot();
}

ManagedObjectID StoreCoordinator::managedObjectIDForURIRepresentation(const QUrl &uri) const
{
    std::lock_guard lock(m_mutex);
    if (!m_persistentStore || uri.scheme() != ManagedObjectID::UriScheme)
        return {};
    if (uri.host().compare(m_persistentStore->identifier(), Qt::CaseInsensitive) != 0)
        return {};
    const QStringList parts = uri.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() != 2 || !parts[1].startsWith(QLatin1Char('p')))
        return {};
    const EntityDescription *entity = m_model->entity(parts[0]);
    bool ok = false;
    const qint64 pk = parts[1].mid(1).toLongLong(&ok);
    if (!entity || !ok || pk <= 0)
        return {};
    return ManagedObjectID::makePermanent(entity, pk, m_persistentStore->identifier());
}

} // namespace platform::store
