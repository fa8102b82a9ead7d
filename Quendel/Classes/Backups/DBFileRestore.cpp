#include "Classes/Backups/DBFileRestore.h"

#include "Classes/Backups/BackupInfo.h"
#include "Classes/CoreDataControllerShared.h"
#include "Mac/Shell/CoreDataControllerMac.h"
#include "SharedAppGlobals.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/QuendelModel.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/PropertyList.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"
#include "platform/store/StoreCoordinator.h"
#include "platform/zip/ZipArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <unistd.h>

#include <atomic>
#include <mutex>

using platform::core::QDError;
using platform::store::StoreCoordinator;
using platform::store::StoreOptions;
using platform::store::StoreType;

namespace {

std::mutex g_hookMutex;
std::function<void(const QString &)> g_stepHook;
// A restore of this process is between its swap and its clean-up: the folders kept aside are still its way back.
std::atomic<bool> g_restoreRunning{false};

void step(const QString &name)
{
    std::function<void(const QString &)> hook;
    {
        std::lock_guard lock(g_hookMutex);
        hook = g_stepHook;
    }
    if (hook)
        hook(name);
}

const QStringList CloudStoreMetadataKeys = {QStringLiteral("com.apple.coredata.ubiquity.baseline.timestamp"),
                                            QStringLiteral("com.apple.coredata.ubiquity.token"),
                                            QStringLiteral("com.apple.coredata.ubiquity.ubiquitized")};

const QStringList StoreSuffixes = {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")};

bool removeAny(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    if (info.isDir() && !info.isSymLink())
        return QDir(path).removeRecursively();
    return QFile::remove(path);
}

void removeStoreFiles(const QString &path)
{
    for (const QString &suffix : StoreSuffixes)
        removeAny(path + suffix);
}

// Moves a store file and whatever companions it has to a new name; an older file there goes first.
bool moveStoreFiles(const QString &from, const QString &to)
{
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm"), QString()}) {
        if (!QFileInfo::exists(from + suffix))
            continue;
        if (!removeAny(to + suffix) || !QFile::rename(from + suffix, to + suffix))
            return false;
    }
    return true;
}

bool syncFolder(const QString &folder)
{
    QFile dir(folder);
    if (!dir.open(QIODevice::ReadOnly))
        return false;
    return ::fsync(dir.handle()) == 0;
}

// Puts a staged folder in the place of the live one, keeping the live one aside; safe to run again after a
// stop at any point.
bool swapFolder(const QString &live)
{
    const QString staged = live + DBFileRestore::StagedSuffix;
    const QString replaced = live + DBFileRestore::ReplacedSuffix;
    if (!QFileInfo::exists(staged))
        return true;
    if (QFileInfo::exists(live)) {
        if (QFileInfo::exists(replaced) && !QDir(replaced).removeRecursively())
            return false;
        if (!QDir().rename(live, replaced))
            return false;
    }
    return QDir().rename(staged, live);
}

bool rollBackFolder(const QString &live)
{
    const QString replaced = live + DBFileRestore::ReplacedSuffix;
    if (!QFileInfo::exists(replaced))
        return true;
    if (QFileInfo::exists(live) && !QDir(live).removeRecursively())
        return false;
    return QDir().rename(replaced, live);
}

QString storePath(const DBFileRestore::Folders &folders)
{
    return QDir(folders.data).filePath(CoreDataControllerShared::LocalStoreFileName);
}

// The renames that make the restored data the live data, in an order a stop can resume.
bool completeSwap(const DBFileRestore::Folders &folders, bool withFiles)
{
    const QDir data(folders.data);
    if (withFiles) {
        if (!swapFolder(folders.attachments))
            return false;
        step(QStringLiteral("attachmentsSwapped"));
        if (!swapFolder(folders.pictures))
            return false;
        step(QStringLiteral("picturesSwapped"));
    }
    const QString tmp = data.filePath(DBFileRestore::TemporaryStoreName);
    if (QFileInfo::exists(tmp)) {
        // The old store's log and index go with it: a log left behind would be applied to the new file.
        if (!moveStoreFiles(storePath(folders), data.filePath(DBFileRestore::PreviousStoreName)))
            return false;
        if (!QFile::rename(tmp, storePath(folders)))
            return false;
    }
    step(QStringLiteral("storeSwapped"));
    syncFolder(folders.data);
    return true;
}

bool rollBackSwap(const DBFileRestore::Folders &folders)
{
    const QDir data(folders.data);
    bool ok = true;
    const QString previous = data.filePath(DBFileRestore::PreviousStoreName);
    if (QFileInfo::exists(previous)) {
        removeStoreFiles(storePath(folders));
        ok = moveStoreFiles(previous, storePath(folders));
    }
    ok = rollBackFolder(folders.attachments) && ok;
    ok = rollBackFolder(folders.pictures) && ok;
    if (ok)
        QFile::remove(data.filePath(DBFileRestore::JournalName));
    return ok;
}

void clearLeftovers(const DBFileRestore::Folders &folders)
{
    for (const QString &live : {folders.attachments, folders.pictures}) {
        removeAny(live + DBFileRestore::StagedSuffix);
        removeAny(live + DBFileRestore::ReplacedSuffix);
    }
}

} // namespace

DBFileRestore::DBFileRestore() = default;
DBFileRestore::~DBFileRestore() = default;

void DBFileRestore::setStepHook(std::function<void(const QString &)> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_stepHook = std::move(hook);
}

DBFileRestore::Folders DBFileRestore::Folders::current()
{
    const SharedSettingController &settings = SharedSettingController::sharedSettings();
    return {settings.applicationSupportPath(), settings.localFileAttachmentsDirectoryURL().toLocalFile(),
            settings.localPersonImagesDirectoryURL().toLocalFile()};
}

bool DBFileRestore::doesFileHavePassword(const QString &path)
{
    platform::zip::ZipArchive zip;
    if (!zip.UnzipOpenFile(path))
        return false;
    const bool encrypted = zip.UnzipIsEncrypted();
    zip.UnzipCloseFile();
    return encrypted;
}

bool DBFileRestore::recoverInterruptedRestore(const Folders &folders)
{
    if (folders.data.isEmpty())
        return true;
    const QString journal = QDir(folders.data).filePath(JournalName);
    if (QFileInfo::exists(journal)) {
        const QVariantMap entry = platform::core::PropertyList::readDictionaryFile(journal).value_or(QVariantMap());
        const bool withFiles = entry.value(QStringLiteral("type"), int(RestoreTypeFile)).toInt() != RestoreTypeDropbox;
        QDLogInfo(QStringLiteral("DBFileRestore: finishing a restore that was stopped before its end"));
        if (!completeSwap(folders, withFiles)) {
            QDLogError(QStringLiteral("🚨🚨 DBFileRestore: the stopped restore cannot be finished yet 🚨🚨"));
            return false;
        }
        QFile::remove(journal);
        syncFolder(folders.data);
    }
    if (!g_restoreRunning.load())
        clearLeftovers(folders);
    return true;
}

int DBFileRestore::failed(const QString &why, const QDError &error)
{
    m_error = error;
    QDLogError(QStringLiteral("🚨🚨 DBFileRestore: %1 %2 🚨🚨").arg(why, error.isNull() ? QString() : error.toString()));
    return RestoreResultFailed;
}

int DBFileRestore::restore_db_file(const QString &path, int type, QDError *)
{
    m_restoreType = type;
    const Folders folders = Folders::current();
    if (!m_controller)
        m_controller = appCoreDataController();
    if (folders.data.isEmpty() || !m_controller)
        return failed(QStringLiteral("no data folder or store controller"));
    const QDir data(folders.data);
    const QString extract = data.filePath(ExtractFolderName);

    // Whatever an earlier restore left in the folder must never join this one.
    if (!removeAny(extract) || !QDir().mkpath(extract))
        return failed(QStringLiteral("the extract folder cannot be emptied"));
    clearLeftovers(folders);

    platform::zip::ZipArchive zip;
    if (!m_pword.isNull()) {
        if (!zip.UnzipOpenFile(path, m_pword)) {
            QDLogError(QStringLiteral("🚨🚨 DBFileRestore: %1 🚨🚨").arg(zip.lastError().toString()));
            return RestoreResultWrongPassword;
        }
    } else if (!zip.UnzipOpenFile(path)) {
        return failed(QStringLiteral("the file is no archive"), zip.lastError());
    }
    if (!zip.UnzipFileTo(extract, true)) {
        const QDError error = zip.lastError();
        zip.UnzipCloseFile();
        removeAny(extract);
        if (error.code() == platform::zip::ZipErrorUnsafeName)
            return failed(QStringLiteral("the archive holds members outside its folder"), error);
        QDLogError(QStringLiteral("🚨🚨 DBFileRestore: %1 🚨🚨").arg(error.toString()));
        return RestoreResultWrongPassword;
    }
    zip.UnzipCloseFile();
    step(QStringLiteral("extracted"));

    const QString infoPath = data.filePath(ExtractFolderName + QLatin1Char('/') + BackupInfo::FileName);
    if (QFileInfo::exists(infoPath)) {
        const BackupInfo info = BackupInfo::initFromXMLFile(infoPath);
        QDLogInfo(QStringLiteral("DBFileRestore: archive written by version %1 on %2").arg(info.clientVersion(), info.OSVersion()));
    }

    const QString tmp = data.filePath(TemporaryStoreName);
    removeStoreFiles(data.filePath(PreviousStoreName));
    removeStoreFiles(tmp);

    const QString extracted = data.filePath(ExtractFolderName + QStringLiteral("/data.db"));
    if (!QFileInfo(extracted).isFile())
        return RestoreResultNoDatabase;
    if (!QFile::rename(extracted, tmp))
        return failed(QStringLiteral("the archive's store cannot be moved into place"));

    // The archive's store must open, pass its check and be brought to this program's model before anything
    // of the current data is given up.
    bool cloudStore = false;
    QStringList pictureNames;
    {
        StoreCoordinator check(QuendelModel::create());
        StoreOptions options;
        options.migrateAutomatically = true;
        options.checkOnOpen = true;
        QDError error;
        const auto store = check.addPersistentStore(StoreType::SQLite, tmp, options, &error);
        if (!store) {
            removeStoreFiles(tmp);
            return failed(QStringLiteral("the archive's store does not open"), error);
        }
        const QVariantMap metadata = check.metadataForPersistentStore(store);
        for (const QString &key : CloudStoreMetadataKeys)
            cloudStore = cloudStore || metadata.contains(key);
        auto context = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::PrivateQueue);
        context->setPersistentStoreCoordinator(std::shared_ptr<StoreCoordinator>(&check, [](StoreCoordinator *) {}));
        context->performAndWait([&] {
            platform::store::FetchRequest pictures(QStringLiteral("Images"));
            pictures.setPropertiesToFetch({QStringLiteral("fullImageFileName")});
            for (const QVariantMap &row : context->executeFetchRequestForDictionaries(pictures))
                pictureNames << row.value(QStringLiteral("fullImageFileName")).toString();
            context->reset();
        });
        context.reset();
        const bool folded = check.checkpoint(&error);
        check.removePersistentStore(store);
        if (!folded) {
            removeStoreFiles(tmp);
            return failed(QStringLiteral("the archive's store cannot be written whole"), error);
        }
    }
    for (const QString &suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (!removeAny(tmp + suffix)) {
            removeStoreFiles(tmp);
            return failed(QStringLiteral("the archive's store keeps a log"));
        }
    }
    step(QStringLiteral("storeChecked"));
    return doRestore(folders, cloudStore, pictureNames);
}

int DBFileRestore::doRestore(const Folders &folders, bool cloudStore, const QStringList &pictureNames)
{
    g_restoreRunning = true;
    struct Running
    {
        ~Running() { g_restoreRunning = false; }
    } running;
    const QDir data(folders.data);
    const QString extract = data.filePath(ExtractFolderName);
    const QString tmp = data.filePath(TemporaryStoreName);
    const bool withFiles = m_restoreType != RestoreTypeDropbox;

    // The archive's files go into staged folders beside the live ones: pictures (by the names the restored
    // store gives them) beside the pictures, everything else beside the attachments.
    if (withFiles) {
        const QString stagedAttachments = folders.attachments + StagedSuffix;
        const QString stagedPictures = folders.pictures + StagedSuffix;
        if (!QDir().mkpath(stagedAttachments) || !QDir().mkpath(stagedPictures)) {
            clearLeftovers(folders);
            removeStoreFiles(tmp);
            return failed(QStringLiteral("the files of the archive cannot be staged"));
        }
        const QSet<QString> pictures(pictureNames.begin(), pictureNames.end());
        const QFileInfoList entries =
            QDir(extract).entryInfoList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
        for (const QFileInfo &entry : entries) {
            if (entry.fileName() == BackupInfo::FileName)
                continue;
            const QString target = QDir(pictures.contains(entry.fileName()) ? stagedPictures : stagedAttachments)
                                       .filePath(entry.fileName());
            if (!QDir().rename(entry.absoluteFilePath(), target)) {
                clearLeftovers(folders);
                removeStoreFiles(tmp);
                return failed(QStringLiteral("the file \"%1\" of the archive cannot be staged").arg(entry.fileName()));
            }
        }
        syncFolder(stagedAttachments);
        syncFolder(stagedPictures);
    }
    step(QStringLiteral("staged"));

    // From here the current store is let go: every holder drops the main context, and the store's log is
    // folded into its file so that nothing of it stays behind in a companion.
    m_controller->cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("restore_db_file"));
    if (const auto coordinator = m_controller->loadedPersistentStoreCoordinator()) {
        const auto stores = coordinator->persistentStores();
        if (!stores.isEmpty()) {
            QDError error;
            coordinator->checkpoint(&error);
            if (!coordinator->removePersistentStore(stores.first(), &error)) {
                // The store is still in use: nothing may replace it. The application goes on with it.
                m_controller->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
                clearLeftovers(folders);
                removeStoreFiles(tmp);
                return failed(QStringLiteral("the current store cannot be closed"), error);
            }
        }
    }
    m_controller->setPersistentStoreCoordinator(nullptr);
    step(QStringLiteral("storeClosed"));

    // The point of no return is the journal: once it exists, the swap is finished, now or at the next start.
    {
        QSaveFile journal(data.filePath(JournalName));
        const QByteArray bytes =
            platform::core::PropertyList::toData(QVariantMap{{QStringLiteral("type"), m_restoreType}}).value_or(QByteArray());
        if (!journal.open(QIODevice::WriteOnly) || journal.write(bytes) != bytes.size() || !journal.commit()) {
            m_controller->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
            clearLeftovers(folders);
            removeStoreFiles(tmp);
            return failed(QStringLiteral("the restore cannot be recorded"));
        }
        syncFolder(folders.data);
    }
    step(QStringLiteral("journalWritten"));

    if (!completeSwap(folders, withFiles)) {
        const bool rolledBack = rollBackSwap(folders);
        m_controller->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
        return failed(rolledBack ? QStringLiteral("the restored files cannot be put in place; the data stays as it was")
                                 : QStringLiteral("the restored files cannot be put in place; the next start finishes"));
    }
    QFile::remove(data.filePath(JournalName));
    syncFolder(folders.data);
    step(QStringLiteral("journalRemoved"));

    DataPlistValues &plist = dataPlistValues();
    plist.remove(PinColorChangesKey);
    plist.setValue(RestoredKey, true);
    SharedSettingController::sharedSettings().saveDataPlist();

    m_controller->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
    const auto coordinator = m_controller->loadedPersistentStoreCoordinator();
    if (!coordinator || coordinator->persistentStores().isEmpty()) {
        // The checked store would not load after all: the previous data goes back in its place.
        m_controller->cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("restore_db_file"));
        if (coordinator) {
            for (const auto &store : coordinator->persistentStores())
                coordinator->removePersistentStore(store);
        }
        m_controller->setPersistentStoreCoordinator(nullptr);
        rollBackSwap(folders);
        m_controller->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);
        return failed(QStringLiteral("the restored store does not load"));
    }
    step(QStringLiteral("reloaded"));

    if (withFiles)
        movePersonImagesIntoDirectory();

    removeStoreFiles(data.filePath(PreviousStoreName));
    clearLeftovers(folders);
    removeAny(extract);
    return cloudStore ? RestoreResultCloudStore : RestoreResultSuccess;
}

void DBFileRestore::movePersonImagesIntoDirectory()
{
    const Folders folders = Folders::current();
    const auto context = m_controller ? m_controller->managedObjectContext() : appMainManagedObjectContext();
    if (!context || folders.attachments.isEmpty() || folders.pictures.isEmpty())
        return;
    QStringList names;
    context->performAndWait([&] {
        platform::store::FetchRequest pictures(QStringLiteral("Images"));
        pictures.setPropertiesToFetch({QStringLiteral("fullImageFileName")});
        for (const QVariantMap &row : context->executeFetchRequestForDictionaries(pictures))
            names << row.value(QStringLiteral("fullImageFileName")).toString();
    });
    for (const QString &name : std::as_const(names)) {
        if (name.isEmpty() || !platform::zip::ZipArchive::isSafeMemberName(name) || name.contains(QLatin1Char('/')))
            continue;
        const QString source = QDir(folders.attachments).filePath(name);
        const QString destination = QDir(folders.pictures).filePath(name);
        if (!QFileInfo(source).isFile())
            continue;
        removeAny(destination);
        QFile::rename(source, destination);
    }
}
