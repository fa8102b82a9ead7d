#pragma once

#include "Classes/Backups/BackupFile.h"
#include "Classes/LaunchServices.h"

#include "platform/core/DateComponents.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/Timer.h"
#include "platform/store/ManagedObjectContext.h"

#include <QDateTime>
#include <QString>

#include <memory>

// Makes a full backup archive whenever the chosen interval has passed since the last one (checked once a
// minute on the clock), keeps only the newest archives up to the chosen number, and backs up at once when the
// user asks. One backup at a time runs on its own queue; each ends with "NewBackupAvailableNotification".
class QDAutomaticBackupController : public AutomaticBackupService,
                                    public std::enable_shared_from_this<QDAutomaticBackupController>
{
public:
    // Posted on the main thread after every backup this object started; user info "path": the archive's
    // path, empty when no archive was made.
    static inline const QString NewBackupAvailableNotification = QStringLiteral("NewBackupAvailableNotification");
    static inline const QString PathKey = QStringLiteral("path");
    static inline const QString QueueName = QStringLiteral("QDAutoBackupQueue");
    static constexpr qint64 CheckIntervalMs = 60000;

    // Data-plist keys.
    static inline const QString EnabledKey = QStringLiteral("AutoBackupEnabled");
    static inline const QString IntervalKey = QStringLiteral("AutoBackupInterval");
    static inline const QString MaximumLimitKey = QStringLiteral("AutoBackupMaximumLimit");
    static inline const QString LastBackupTimestampKey = QStringLiteral("AutoBackupLastBackupTimestamp");
    static inline const QString FirstTimeDownloadDateKey = QStringLiteral("first_time_download_date");
    // User-defaults keys.
    static inline const QString TemporaryDisableKey = QStringLiteral("TemporaryDisableBackupFlag");
    static inline const QString BackupStartedKey = QStringLiteral("HockeyDebug-BackupStarted");
    static inline const QString BackupCountKey = QStringLiteral("HockeyDebug-AutoBackupCount");

    // Sets up the queue, the once-a-minute check and the restore observers.
    static std::shared_ptr<QDAutomaticBackupController> create(platform::store::ContextPtr context);
    ~QDAutomaticBackupController() override;

    void startAutomaticBackupProcessWithIsAutomatic(bool isAutomatic) override;
    // The due test (main thread).
    void checkForAutomaticBackupTime();
    // Removes the oldest of our own full archives in folder until `keep` remain; nothing else is touched.
    // Answers the names removed.
    static QStringList checkBackupFilesCountLimit(quint64 keep, const QString &folder = BackupFile::backupFolder());
    // When a backup is due after `last` with `interval` (hour, day or week of year).
    static QDateTime dueDate(const QDateTime &last, const platform::core::DateComponents &interval);
    // The stored interval; daily when it cannot be read.
    static platform::core::DateComponents storedInterval();

    bool startedBackup() const { return m_startedBackup; }
    platform::store::ContextPtr mainManagedObjectContext() const { return m_context; }
    bool hasRepeatTimer() const { return m_repeatTimer && m_repeatTimer->isValid(); }
    // Lets the queued work finish (tests).
    void waitUntilIdle() { m_queue.waitUntilAllOperationsAreFinished(); }

private:
    explicit QDAutomaticBackupController(platform::store::ContextPtr context);
    void setupRepeatTimer();
    void startListeners();
    void stopListeners();
    void prepareForDBRestore(const platform::core::Notification &notification);
    void restored_local_database(const platform::core::Notification &notification);
    void backupFinished(const QString &path);

    platform::store::ContextPtr m_context;
    std::shared_ptr<platform::core::Timer> m_repeatTimer;
    std::shared_ptr<BackupFile> m_backupFile;
    platform::core::OperationQueue m_queue;
    bool m_startedBackup = false;
    platform::core::ScopedObserver m_restoreObserver;
    platform::core::ScopedObserver m_preparationObserver;
};
