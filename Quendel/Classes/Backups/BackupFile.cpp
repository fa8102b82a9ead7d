#include "Classes/Backups/BackupFile.h"

#include "Classes/Backups/BackupInfo.h"
#include "Classes/CoreDataControllerShared.h"

#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Infra/QDSSKeychain.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/SettingsFormat.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/StandardPaths.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Predicate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <mutex>

using platform::core::QDError;
using platform::store::ContextPtr;
using platform::store::FetchRequest;
using platform::store::ManagedObjectContext;
using platform::store::Predicate;
using platform::store::StoreCoordinator;

namespace {

std::mutex g_hookMutex;
std::function<void(const QString &)> g_stepHook;

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

QString withoutPunctuation(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isPunct())
            out += c;
    }
    return out;
}

// Attachment names, then picture names, as the store lists them.
struct FileList
{
    QStringList attachments;
    QStringList pictures;
};

FileList fileListOf(const std::shared_ptr<StoreCoordinator> &coordinator)
{
    FileList list;
    ContextPtr context = ManagedObjectContext::create(ManagedObjectContext::ConcurrencyType::PrivateQueue);
    context->setName(QStringLiteral("CreateCloudBackupPrivateContext"));
    context->setPersistentStoreCoordinator(coordinator);
    context->performAndWait([&] {
        FetchRequest attachments(QStringLiteral("FileAttachments"));
        attachments.setPropertiesToFetch({QStringLiteral("fileName")});
        for (const QVariantMap &row : context->executeFetchRequestForDictionaries(attachments))
            list.attachments << row.value(QStringLiteral("fileName")).toString();
        FetchRequest pictures(QStringLiteral("Images"));
        pictures.setPredicate(Predicate::isNotNil(QStringLiteral("person")));
        pictures.setPropertiesToFetch({QStringLiteral("fullImageFileName")});
        for (const QVariantMap &row : context->executeFetchRequestForDictionaries(pictures))
            list.pictures << row.value(QStringLiteral("fullImageFileName")).toString();
        context->reset();
    });
    return list;
}

} // namespace

BackupFile::BackupFile() = default;

BackupFile::~BackupFile()
{
    abandonArchive();
}

void BackupFile::setStepHook(std::function<void(const QString &)> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_stepHook = std::move(hook);
}

QString BackupFile::backupFolder(QDError *error)
{
    return platform::core::StandardPaths::documentsFolder(error);
}

QString BackupFile::generateBackupFileNameWithIsDropbox(bool isDropbox, const QDateTime &now)
{
    if (isDropbox)
        return DropboxArchiveName;
    const QString version = withoutPunctuation(BackupInfo::bundleVersion());
    QString stamp = withoutPunctuation(settingsFormatDate(now, SettingsDateStyle::Medium));
    stamp.replace(QRegularExpression(QStringLiteral("\\s")), QStringLiteral("_"));
    return QStringLiteral("Quendel_%1_v%2_%3.zip").arg(QStringLiteral("Mac"), version, stamp);
}

bool BackupFile::isFullArchiveName(const QString &fileName)
{
    // The dated name, also with the mark of failed downloads ("_XX<n>") that may follow it.
    static const QRegularExpression pattern(
        QStringLiteral("^Quendel_Mac_v[0-9]*_[\\p{L}\\p{N}_]+\\.zip$"), QRegularExpression::UseUnicodePropertiesOption);
    return fileName != DropboxArchiveName && pattern.match(fileName).hasMatch();
}

QString BackupFile::archivePassword()
{
    QDError error;
    const QString passcode =
        QDSSKeychain::passwordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount, &error);
    if (passcode.isEmpty())
        return QString();
    // A passcode protects the data on this computer; an archive that leaves it stays protected too, unless
    // the user turned that off.
    const auto defaults = platform::core::UserDefaults::standardUserDefaults();
    if (defaults->objectForKey(PinEnabledDefaultKey).isValid() && !defaults->boolForKey(PinEnabledDefaultKey))
        return QString();
    return passcode;
}

bool BackupFile::failWith(const QDError &error)
{
    m_error = error;
    QDLogError(QStringLiteral("🚨🚨 BackupFile: %1 🚨🚨").arg(error.toString()));
    return false;
}

void BackupFile::abandonArchive()
{
    for (const QString &file : std::as_const(m_filesToRemoveAfterClose))
        CoreDataControllerShared::cleanUpDatabaseFileAtPath(file);
    m_filesToRemoveAfterClose.clear();
}

bool BackupFile::createZipFileAtPath(const QString &path)
{
    m_memberFailed = false;
    const QString password = archivePassword();
    const bool ok = password.isEmpty() ? m_zipd.CreateZipFile2(path) : m_zipd.CreateZipFile2(path, password);
    if (!ok)
        return failWith(m_zipd.lastError());
    return true;
}

bool BackupFile::addBackupInfoFileAndClose()
{
    dataPlistValues().setValue(LastBackupDateKey, platform::core::Clock::now());
    const QString infoPath = BackupInfo::initFromClient().write_to_xml_file();
    bool ok = !m_memberFailed;
    if (infoPath.isNull()) {
        ok = failWith(QDError::withDescription(QuendelErrorDomain, 0,
                                               QStringLiteral("The backup description could not be written")));
    } else if (!m_zipd.addFileToZip(infoPath, BackupInfo::FileName)) {
        ok = failWith(m_zipd.lastError());
    }
    if (!ok) {
        // Nothing half-made may look like a backup: the archive is never written.
        m_zipd.discardZipFile();
        abandonArchive();
        return false;
    }
    step(QStringLiteral("membersAdded"));
    if (m_delegate)
        m_zipd.setWriteProgressHandler([delegate = m_delegate](double fraction) { delegate->backupFileWritingProgress(fraction); });
    const bool closed = m_zipd.CloseZipFile2();
    m_zipd.setWriteProgressHandler({});
    abandonArchive();
    if (!closed)
        return failWith(m_zipd.lastError());
    step(QStringLiteral("archiveWritten"));
    return true;
}

QString BackupFile::commonBackupCreationCodeWithType(int)
{
    if (iCloudEnabledInApp())
        return QString();
    QDError error;
    const QString folder = backupFolder(&error);
    const QString storePath = CoreDataControllerShared::localStorePath(&error);
    if (folder.isNull() || storePath.isNull()) {
        failWith(error);
        return QString();
    }
    const QString copy = QDir(folder).filePath(DropboxStoreCopyName);
    if (!CoreDataControllerShared::backupDatabaseAtURL(storePath, copy, &error)) {
        failWith(error);
        return QString();
    }
    return copy;
}

QString BackupFile::createBackup(int type)
{
    QDError error;
    const QString folder = backupFolder(&error);
    if (folder.isNull()) {
        failWith(error);
        return QString();
    }
    const QString path = QDir(folder).filePath(DropboxArchiveName);
    const QString copy = commonBackupCreationCodeWithType(type);
    if (copy.isNull())
        return QString();
    m_filesToRemoveAfterClose << copy;
    if (!createZipFileAtPath(path)) {
        abandonArchive();
        return QString();
    }
    if (!m_zipd.addFileToZip(copy, StoreMemberName)) {
        m_memberFailed = true;
        failWith(m_zipd.lastError());
    }
    m_backupFilePath = path;
    if (!addBackupInfoFileAndClose())
        return QString();
    return path;
}

void BackupFile::createBackupForBackupType(int type, const std::shared_ptr<StoreCoordinator> &coordinator, Block block)
{
    QDLogInfo(QStringLiteral("BackupFile - createBackupForBackupType started"));
    m_error = QDError();
    auto finish = [&](const QString &path) {
        if (block)
            block(path, 0, 0);
    };

    QDError error;
    const QString folder = backupFolder(&error);
    if (folder.isNull() || !coordinator || coordinator->persistentStores().isEmpty()) {
        failWith(folder.isNull() ? error
                                 : QDError::withDescription(QuendelErrorDomain, 0,
                                                            QStringLiteral("There is no store to back up")));
        finish(QString());
        return;
    }
    const QString path = QDir(folder).filePath(generateBackupFileNameWithIsDropbox(type == BackupTypeDropbox));
    m_backupFilePath = path;
    m_zippedFilesCount = 0;

    const FileList files = fileListOf(coordinator);
    m_totalBackupFilesCount = files.attachments.size() + files.pictures.size();
    if (m_delegate)
        m_delegate->backupFileStartWithTotalFiles(quint64(m_totalBackupFilesCount));

    // The copy is made through a store controller of this backup's own, never the application's.
    CoreDataControllerShared copier;
    const QString copy = copier.makeiCloudBackupWithObjectCopyWithPSC(coordinator, &error);
    if (copy.isNull()) {
        failWith(error);
        finish(QString());
        return;
    }
    step(QStringLiteral("storeCopied"));
    m_filesToRemoveAfterClose << copy;
    if (!createZipFileAtPath(path)) {
        abandonArchive();
        finish(QString());
        return;
    }
    if (!m_zipd.addFileToZip(copy, StoreMemberName)) {
        m_memberFailed = true;
        failWith(m_zipd.lastError());
    }
    if (m_delegate)
        m_delegate->backupFileAddedMainDB();
    QDLogInfo(QStringLiteral("BackupFile: makeiCloudBackup finished - files to backup = %1").arg(m_totalBackupFilesCount));

    SharedSettingController &settings = SharedSettingController::sharedSettings();
    QSet<QString> added{StoreMemberName, BackupInfo::FileName};
    auto addOne = [&](const QString &name, bool picture) {
        if (name.isEmpty())
            return;
        // Stored names are bare file names; anything else never came from this program and is left out.
        if (!platform::zip::ZipArchive::isSafeMemberName(name) || name.contains(QLatin1Char('/'))
            || added.contains(name)) {
            QDLogInfo(QStringLiteral("BackupFile: left out the file name \"%1\"").arg(name));
        } else {
            const QString local =
                picture ? settings.pathForPersonReferenceWithName(name) : settings.pathForAttachmentWithName(name);
            if (!local.isEmpty() && QFileInfo(local).isFile()) {
                if (m_zipd.addFileToZip(local, name)) {
                    added.insert(name);
                } else if (!m_memberFailed) {
                    m_memberFailed = true;
                    failWith(m_zipd.lastError());
                }
            }
        }
        ++m_zippedFilesCount;
        if (m_delegate)
            m_delegate->backupFileUpdateStatusWithLocalFiles(quint64(m_zippedFilesCount));
    };
    for (const QString &name : files.attachments)
        addOne(name, false);
    for (const QString &name : files.pictures)
        addOne(name, true);

    const bool written = addBackupInfoFileAndClose();
    m_zippedFilesCount = 0;
    m_totalBackupFilesCount = 0;
    finish(written ? path : QString());
}
