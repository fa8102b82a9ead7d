#pragma once

#include "platform/core/Clock.h"
#include "platform/core/QDError.h"
#include "platform/store/StoreCoordinator.h"
#include "platform/zip/ZipArchive.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

enum BackupType : int {
    BackupTypeDropbox = 1, // the store and the description only, under a fixed name
    BackupTypeFull = 4,    // a dated archive with the store, every attachment and contact picture
};

// Progress of a full archive. Calls arrive on the thread that makes the archive; a delegate that touches
// widgets hops to the main thread itself.
class BackupFileDelegate
{
public:
    virtual ~BackupFileDelegate() = default;
    virtual void backupFileStartWithTotalFiles(quint64 total) {}
    virtual void backupFileAddedMainDB() {}
    virtual void backupFileUpdateStatusWithLocalFiles(quint64 handled) {}
    virtual void backupFileUpdateStatusWithDownloadIncrementalProgress(double fraction, quint64 completed) {}
    // While the archive is compressed and written, after every member was handled (0 to 1).
    virtual void backupFileWritingProgress(double fraction) {}
};

// Writes the backup archive: "data.db" (a whole single-file copy of the store), then for a full archive
// every attachment file and contact picture under its bare name, then "BackupInfo.xml". With a passcode in
// use the archive is encrypted with it. An archive exists under its name only once it is complete: any
// failure (store copy, member, writing) leaves no archive and is reported.
class BackupFile
{
public:
    using Block = std::function<void(const QString &path, qint64 downloadedFiles, qint64 failedDownloads)>;

    static inline const QString DropboxArchiveName = QStringLiteral("Quendel_Mac_Dropbox.zip");
    static inline const QString StoreMemberName = QStringLiteral("data.db");
    static inline const QString DropboxStoreCopyName = QStringLiteral("tempdata.db");
    // The user default that, besides a stored passcode, asks for encrypted archives (absent: a passcode in
    // the keychain is enough).
    static inline const QString PinEnabledDefaultKey = QStringLiteral("PinEnabledDefault");
    static inline const QString LastBackupDateKey = QStringLiteral("last_qd_backup_date");

    BackupFile();
    ~BackupFile();

    // The Dropbox archive, made at once; its path, or null.
    QString createBackup(int type);
    // A full archive of the store the coordinator holds, on the caller's thread; the block runs once, with
    // the archive's path or null when no archive was made.
    void createBackupForBackupType(int type, const std::shared_ptr<platform::store::StoreCoordinator> &coordinator,
                                   Block block);
    // Steps 1 to 4 of the Dropbox archive: the single-file store copy; its path, or null.
    QString commonBackupCreationCodeWithType(int type);

    // "Quendel_Mac_Dropbox.zip", or "Quendel_Mac_v<version digits>_<date and time>.zip".
    static QString generateBackupFileNameWithIsDropbox(bool isDropbox, const QDateTime &now = platform::core::Clock::now());
    // The names of full archives this program writes (never the Dropbox archive, never anything else).
    static bool isFullArchiveName(const QString &fileName);
    // The passcode that encrypts archives; null when archives are not encrypted.
    static QString archivePassword();
    // Where archives are written: the user's Documents folder; null when it cannot be made.
    static QString backupFolder(platform::core::QDError *error = nullptr);

    bool createZipFileAtPath(const QString &path);
    // Stamps "last_qd_backup_date", writes "BackupInfo.xml", adds it and closes the archive. False when any
    // of it failed: then no archive is left at the path.
    bool addBackupInfoFileAndClose();

    std::shared_ptr<BackupFileDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::shared_ptr<BackupFileDelegate> delegate) { m_delegate = std::move(delegate); }
    QString backupFilePath() const { return m_backupFilePath; }
    qint64 zippedFilesCount() const { return m_zippedFilesCount; }
    qint64 totalBackupFilesCount() const { return m_totalBackupFilesCount; }
    // Why the last archive was not made.
    const platform::core::QDError &lastError() const { return m_error; }

    // Test hook: called with a step name as the archive is made ("storeCopied", "membersAdded",
    // "archiveWritten"), so a crash test can stop the process at each.
    static void setStepHook(std::function<void(const QString &)> hook);

private:
    bool failWith(const platform::core::QDError &error);
    void abandonArchive();

    platform::zip::ZipArchive m_zipd;
    std::shared_ptr<BackupFileDelegate> m_delegate;
    QString m_backupFilePath;
    QStringList m_filesToRemoveAfterClose;
    bool m_memberFailed = false;
    qint64 m_zippedFilesCount = 0;
    qint64 m_totalBackupFilesCount = 0;
    platform::core::QDError m_error;
};
