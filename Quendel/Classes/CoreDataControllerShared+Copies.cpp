#include "CoreDataControllerShared.h"

#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/StandardPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using platform::core::QDError;
using platform::core::setError;
using platform::store::StoreCoordinator;

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

bool CoreDataControllerShared::backupDatabaseAtURL(const QString &source, const QString &destination, QDError *error)
{
    if (!cleanUpDatabaseFileAtPath(destination, error))
        return false;
    // SQLite's own copy reads the store as a reader would, so whatever still sits in its log is in the copy.
    StoreCoordinator copier(nullptr);
    if (!copier.replacePersistentStore(destination, source, error)) {
        QDLogError(QStringLiteral("🚨🚨 CDC: backupDatabaseAtURL: error when copying item %1 🚨🚨").arg(source));
        cleanUpDatabaseFileAtPath(destination);
        return false;
    }
    return true;
}

QString CoreDataControllerShared::makeiCloudBackupWithObjectCopyWithPSC(const std::shared_ptr<StoreCoordinator> &coordinator,
                                                                     QDError *error)
{
    if (!coordinator || coordinator->persistentStores().isEmpty()) {
        setError(error, QDError::withDescription(QuendelErrorDomain, 0, QStringLiteral("There is no store to copy")));
        return QString();
    }
    const QString folder = platform::core::StandardPaths::dataFolder(error);
    if (folder.isNull())
        return QString();
    const QString copy = QDir(folder).filePath(BackupStoreCopyFileName);
    if (!cleanUpDatabaseFileAtPath(copy, error))
        return QString();
    if (!coordinator->copyPersistentStore(copy, error)) {
        QDLogError(QStringLiteral("🚨🚨 CDC: makeiCloudBackup store error = %1 🚨🚨").arg(error ? error->toString() : QString()));
        cleanUpDatabaseFileAtPath(copy);
        return QString();
    }
    // The copy must stand alone: its own log (if SQLite left one) is folded into it and removed.
    {
        StoreCoordinator check(coordinator->managedObjectModel());
        platform::store::StoreOptions options;
        options.migrateAutomatically = false;
        QDError openError;
        const auto store = check.addPersistentStore(platform::store::StoreType::SQLite, copy, options, &openError);
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
