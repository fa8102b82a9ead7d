#include "CoreDataControllerShared.h"

#include "MCPersistentStoreMigrator.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Dispatch.h"
#include "platform/core/StandardPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using platform::core::QDError;
using platform::core::setError;
using platform::store::PersistentStore;
using platform::store::StoreCoordinator;
using platform::store::StoreOptions;
using platform::store::StoreType;

namespace {

const QStringList CompanionSuffixes = {QStringLiteral("-wal"), QStringLiteral("-shm")};

bool anyStoreFileExists(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    for (const QString &suffix : CompanionSuffixes) {
        if (QFileInfo::exists(path + suffix))
            return true;
    }
    return false;
}

QDError copyError(const QString &description, const QString &path = QString())
{
    QVariantMap info;
    if (!path.isEmpty())
        info.insert(QDError::FilePathKey, path);
    return QDError::withDescription(QuendelErrorDomain, 0, description, info);
}

// Where the progress after entity k of a seeding over n entities stands. The step is kept at single
// precision, as the progress bar shows it.
double seedProgress(qsizetype k, qsizetype n)
{
    if (n - 1 == 0)
        return 0.9999999761581421;
    return 0.1 + double(float(double(k) * (0.9 / double(n - 1))));
}

} // namespace

bool CoreDataControllerShared::cleanUpDatabaseFileAtPath(const QString &path, QDError *error)
{
    bool ok = true;
    for (const QString &file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
        if (QFileInfo::exists(file) && !QFile::remove(file)) {
            QDLogError(QStringLiteral("🚨🚨 CDC: cleanUpDatabaseFileAtURL - cannot remove %1 🚨🚨").arg(file));
            ok = setError(error, QDError::withDescription(QuendelErrorDomain, 0,
                                                          QStringLiteral("The store file cannot be removed"),
                                                          {{QDError::FilePathKey, file}}));
        }
    }
    return ok;
}

bool CoreDataControllerShared::cleanUpDatabaseFileAtURL(const QString &path, const std::shared_ptr<StoreCoordinator> &coordinator,
                                                        QDError *error)
{
    QDError destroyError;
    const std::shared_ptr<StoreCoordinator> owner = coordinator ? coordinator : std::make_shared<StoreCoordinator>(nullptr);
    if (!owner->destroyPersistentStore(path, StoreType::SQLite, &destroyError)) {
        QDLogError(QStringLiteral("🚨🚨 CDC: cleanUpDatabaseFileAtURL - error in destroyPersistentStoreAtURL = %1 🚨🚨")
                       .arg(destroyError.toString()));
        return setError(error, destroyError);
    }
    return cleanUpDatabaseFileAtPath(path, error);
}

bool CoreDataControllerShared::isDatabaseWithWALOptions(const QString &source)
{
    const QString folder = QFileInfo(source).absolutePath();
    qsizetype count = 0;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.startsWith(LocalStoreFileName))
            ++count;
    }
    return count != 1;
}

bool CoreDataControllerShared::backupWALDatabaseAtURL(const QString &source, const QString &destination,
                                                      const std::shared_ptr<StoreCoordinator> &coordinator, QDError *error)
{
    const std::shared_ptr<StoreCoordinator> owner = coordinator ? coordinator : std::make_shared<StoreCoordinator>(nullptr);
    QDError stepError;
    // A log left beside an old destination must never meet the new copy: the destination goes whole.
    if (anyStoreFileExists(destination) && !owner->destroyPersistentStore(destination, StoreType::SQLite, &stepError)) {
        QDLogError(QStringLiteral("🚨🚨 CDC: error in destroyPersistentStoreAtURL for copyStoreURL = %1 🚨🚨").arg(destination));
        QDLogError(QStringLiteral("🚨🚨 CDC: error in replacePersistentStoreAtURL = %1 🚨🚨").arg(stepError.toString()));
        return setError(error, stepError);
    }
    if (source.isEmpty()) {
        stepError = copyError(QStringLiteral("There is no store to copy"));
        QDLogError(QStringLiteral("🚨🚨 CDC: error in replacePersistentStoreAtURL = %1 🚨🚨").arg(stepError.toString()));
        return setError(error, stepError);
    }
    // The store's own copy reads the source as a reader would, so whatever still sits in its log is in the copy.
    if (!owner->replacePersistentStore(destination, source, &stepError)) {
        QDLogError(QStringLiteral("🚨🚨 CDC: backupDatabaseAtURL: error when copying item %1, %2 🚨🚨")
                       .arg(stepError.localizedDescription(), stepError.toString()));
        QDLogError(QStringLiteral("🚨🚨 CDC: error in replacePersistentStoreAtURL = %1 🚨🚨").arg(stepError.toString()));
        cleanUpDatabaseFileAtPath(destination);
        return setError(error, stepError);
    }
    return true;
}

bool CoreDataControllerShared::backupDatabaseAtURL(const QString &source, const QString &destination, QDError *error)
{
    if (isDatabaseWithWALOptions(source))
        return backupWALDatabaseAtURL(source, destination, std::make_shared<StoreCoordinator>(nullptr), error);
    // Without a log beside it, the store file alone is the whole store.
    if (!cleanUpDatabaseFileAtPath(destination, error))
        return false;
    QFile file(source);
    if (!file.copy(destination)) {
        QDLogError(QStringLiteral("🚨🚨 CDC: backupDatabaseAtURL: error when copying item %1, %2 🚨🚨")
                       .arg(source, file.errorString()));
        QFile::remove(destination);
        return setError(error, copyError(QStringLiteral("The store file could not be copied: %1").arg(file.errorString()),
                                         source));
    }
    return true;
}

bool CoreDataControllerShared::seedStoreWithMCPersistenStore(const std::shared_ptr<StoreCoordinator> &targetCoordinator,
                                                             const std::shared_ptr<PersistentStore> &target,
                                                             const std::shared_ptr<PersistentStore> &seed, QDError *error)
{
    if (!targetCoordinator || !target || !seed || !targetCoordinator->managedObjectModel())
        return setError(error, copyError(QStringLiteral("There is no store to copy")));
    if (seed->type() != StoreType::SQLite || target->type() != StoreType::SQLite)
        return setError(error, copyError(QStringLiteral("Only store files can be copied record by record")));
    const std::shared_ptr<const platform::store::ManagedObjectModel> model = targetCoordinator->managedObjectModel();
    m_migrator = std::make_shared<MCPersistentStoreMigrator>(model, seed->URL(), target->URL());
    StoreOptions sourceOptions = seed->options();
    sourceOptions.readOnly = true;
    m_migrator->setSourceStoreOptions(sourceOptions);
    m_migrator->setDestinationStoreOptions(target->options());

    QDError stepError;
    if (!m_migrator->beginMigration(&stepError)) {
        m_migrator.reset();
        return setError(error, stepError);
    }
    QDLogInfo(QStringLiteral("CDC: seedStoreWithMCPersistenStore begin - seedStore = %1, target = %2")
                  .arg(seed->path(), target->path()));

    const std::weak_ptr<CoreDataControllerViewDelegate> delegate = m_viewDelegate;
    auto report = [delegate](double value) {
        const auto shown = delegate.lock();
        if (!shown || !shown->implementsUpdateProgressBarWithValue())
            return;
        platform::core::dispatchAsyncMain([delegate, value] {
            if (const auto window = delegate.lock())
                window->updateProgressBarWithValue(value);
        });
    };

    QStringList entities;
    for (const auto &entity : model->entities()) {
        if (entity->name() != CloudProcessItemEntityName)
            entities << entity->name();
    }
    const qsizetype n = qsizetype(model->entities().size());
    report(0.1);

    bool ok = true;
    QDError firstError;
    auto note = [&](bool stepOk, const QString &entity, const QString &pass) {
        if (stepOk)
            return;
        ok = false;
        if (firstError.isNull())
            firstError = stepError.isNull() ? copyError(QStringLiteral("The %1 of \"%2\" could not be copied").arg(pass, entity))
                                            : stepError;
    };
    for (qsizetype k = 0; k < entities.size(); ++k) {
        stepError = QDError();
        note(m_migrator->migrateEntityWithName(entities[k], SeedBatchSize, true, &stepError), entities[k],
             QStringLiteral("records"));
        report(seedProgress(k, n));
    }
    QDLogInfo(QStringLiteral("CDC: seedStoreWithMCPersistenStore - now adding relationships"));
    for (const QString &entity : std::as_const(entities)) {
        stepError = QDError();
        note(m_migrator->migrateRelationshipWithName(entity, SeedBatchSize, true, &stepError), entity,
             QStringLiteral("links"));
    }
    QDLogInfo(QStringLiteral("CDC: seedStoreWithMCPersistenStore - migrateRelationshipWithName finished"));
    m_migrator->endMigration();
    m_migrator.reset();
    if (!ok) {
        QDLogInfo(QStringLiteral("CDC: seedStoreWithMCPersistenStore done"));
        // A copy that lacks records or links is not a copy of the store: whoever asked must know.
        QDLogError(QStringLiteral("🚨🚨 CDC: seedStoreWithMCPersistenStore - the copy is incomplete = %1 🚨🚨")
                       .arg(firstError.toString()));
        return setError(error, firstError);
    }
    return true;
}

QString CoreDataControllerShared::makeiCloudBackupWithObjectCopyWithPSC(const std::shared_ptr<StoreCoordinator> &coordinator,
                                                                     QDError *error)
{
    const QList<std::shared_ptr<PersistentStore>> stores =
        coordinator ? coordinator->persistentStores() : QList<std::shared_ptr<PersistentStore>>();
    if (stores.isEmpty()) {
        setError(error, copyError(QStringLiteral("There is no store to copy")));
        return QString();
    }
    const std::shared_ptr<PersistentStore> source = stores.first();
    const QString folder = platform::core::StandardPaths::dataFolder(error);
    if (folder.isNull())
        return QString();
    const QString work = QDir(folder).filePath(BackupWorkStoreFileName);
    const QString copy = QDir(folder).filePath(BackupStoreCopyFileName);

    // The work store gets a coordinator of its own: the given one keeps holding the store being copied.
    const auto workCoordinator = std::make_shared<StoreCoordinator>(coordinator->managedObjectModel());
    if (anyStoreFileExists(work) && !cleanUpDatabaseFileAtURL(work, workCoordinator, error))
        return QString();
    StoreOptions options;
    options.migrateAutomatically = true;
    // The work store is removed once its copy is made, so nothing of it needs to reach the disk.
    options.durable = false;
    QDError stepError;
    const std::shared_ptr<PersistentStore> workStore =
        workCoordinator->addPersistentStore(StoreType::SQLite, work, options, &stepError);
    if (!workStore) {
        QDLogError(QStringLiteral("🚨🚨 CDC: makeiCloudBackup store error = %1 🚨🚨").arg(stepError.toString()));
        cleanUpDatabaseFileAtURL(work, workCoordinator);
        setError(error, stepError);
        return QString();
    }
    QDLogInfo(QStringLiteral("CDC: seed this Store = %1 fromStore = %2").arg(workStore->path(), source->path()));
    bool copied = seedStoreWithMCPersistenStore(workCoordinator, workStore, source, &stepError);
    if (!copied)
        QDLogError(QStringLiteral("🚨🚨 CDC: seed store error = %1 🚨🚨").arg(stepError.toString()));
    else
        copied = backupWALDatabaseAtURL(work, copy, workCoordinator, &stepError);
    cleanUpDatabaseFileAtURL(work, workCoordinator);
    if (!copied) {
        cleanUpDatabaseFileAtPath(copy);
        setError(error, stepError);
        return QString();
    }

    // The copy must stand alone: it opens as a store of this model, and a log SQLite may have left beside it
    // is folded into it and removed.
    {
        StoreCoordinator check(coordinator->managedObjectModel());
        StoreOptions checkOptions;
        checkOptions.migrateAutomatically = false;
        QDError openError;
        const auto store = check.addPersistentStore(StoreType::SQLite, copy, checkOptions, &openError);
        if (!store || !check.checkpoint(&openError)) {
            setError(error, openError);
            if (store)
                check.removePersistentStore(store);
            cleanUpDatabaseFileAtPath(copy);
            return QString();
        }
        check.removePersistentStore(store);
    }
    QFile::remove(copy + QStringLiteral("-wal"));
    QFile::remove(copy + QStringLiteral("-shm"));
    return copy;
}
