#pragma once

#include "Classes/GeocoderRequestQueue.h"

#include "platform/core/OperationQueue.h"
#include "platform/store/ManagedObjectContext.h"

#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

class QWidget;

namespace platform::store {
class ManagedObject;
}

// The service objects the launch makes and wires together. Each is reached through one of these
// interfaces, so the launch does not depend on how a service works inside; until a subsystem supplies
// its own object, the launch gets the stand-in of this file, which does no work but keeps every
// promise the launch relies on (completion callbacks are called, nothing blocks).

// What the save listener asks of the application (the application delegate answers).
class QDNSManagedObjectContextListenerDelegate
{
public:
    virtual ~QDNSManagedObjectContextListenerDelegate() = default;
    virtual void showAlertWithTitle(const QString &title, const QString &message) = 0;
    virtual void logEventWithString(const QString &name, const QVariantMap &parameters) = 0;
    virtual void showNetworkActivityIndicator() = 0;
    virtual void stopActivityIndicator() = 0;
    // Optional: false means not implemented.
    virtual bool updateWatchData() { return false; }
    virtual bool checkManagedObjectForSpotlightIndexing(platform::store::ManagedObject *object,
                                                        const QString &contextKey)
    {
        return false;
    }
};

// The callbacks of the cloud sync manager and of the Dropbox manager (their front-ends add them).
class QDCloudKitSyncManagerDelegate
{
public:
    virtual ~QDCloudKitSyncManagerDelegate() = default;
};

class DropBoxManagerDelegate
{
public:
    virtual ~DropBoxManagerDelegate() = default;
};

class CloudSyncService;

// The save listener of the main context (change capture for the cloud engine).
class SaveListenerService
{
public:
    virtual ~SaveListenerService() = default;
    // Held weakly: the application delegate outlives the listener.
    virtual void setDelegate(QDNSManagedObjectContextListenerDelegate *delegate) = 0;
    virtual void setModificationsDelegate(std::weak_ptr<CloudSyncService> syncManager) = 0;
};

// The watcher that keeps to-dos and calendar events in step.
class CalendarWatcherService
{
public:
    virtual ~CalendarWatcherService() = default;
    virtual void didBecomeActive() = 0;
    virtual void didResignActive() = 0;
    // Queues one pass over every event on the watcher's own queue, then calls the handler (on that queue).
    virtual void startOperationsToSyncAllEventsWithCalendarWithCompletionHandler(std::function<void()> handler) = 0;
    // A non-null flag means a calendar change started the call.
    virtual void syncEventsWithCalendar(const void *flag) = 0;
};

// The refresh of contacts from the system contacts.
class ContactsRefreshService
{
public:
    virtual ~ContactsRefreshService() = default;
    // Queues on its own queue, behind `dependency` (may be null), the loading of pictures and links and the
    // refresh of contact details; calls `completion` when done, also after a failure (then with false).
    virtual void operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(
        const std::shared_ptr<platform::core::Operation> &dependency, std::function<void(bool loaded)> completion) = 0;
};

// Automatic backups on a schedule.
class AutomaticBackupService
{
public:
    virtual ~AutomaticBackupService() = default;
    // Starts a backup now (false: the user asked for it); its end is announced by
    // "NewBackupAvailableNotification".
    virtual void startAutomaticBackupProcessWithIsAutomatic(bool isAutomatic) = 0;
};

// The cloud sync manager.
class CloudSyncService
{
public:
    virtual ~CloudSyncService() = default;
    virtual void setDelegate(QDCloudKitSyncManagerDelegate *delegate) = 0;
    virtual void setupOperationsForAppLaunch() = 0;
    virtual void setHasLaunchOperationsBeenCalled(bool called) = 0;
    virtual void checkCloudKitPollingOperation() = 0;
    // Calls the handler with whether the cloud zone exists, unless the check is skipped (then never).
    virtual void checkForExistingCloudKitMigrationWithCompletionHandler(std::function<void(bool exists)> handler) = 0;
};

// The Dropbox sync.
class DropboxService
{
public:
    virtual ~DropboxService() = default;
    virtual void setDelegate(DropBoxManagerDelegate *delegate) = 0;
    virtual bool isDropBoxSyncEnabled() const = 0;
    virtual void checkDropBoxFileRevisionAtLaunch(bool atLaunch) = 0;
    virtual void setupRepeatTimer() = 0;
};

// The passcode prompt of the lock screen, shown as a sheet on the main window.
class PasscodeSheetService
{
public:
    virtual ~PasscodeSheetService() = default;
    // Attaches the prompt to `window`; `ended` runs once, after the right passcode ended the sheet.
    virtual void beginSheet(QWidget *window, std::function<void()> ended) = 0;
    // The prompt is attached to a window now.
    virtual bool isAttached() const = 0;
    virtual bool isWindowLoaded() const = 0;
    // The prompt's own window (so that other code can tell it apart from other sheets); may be null.
    virtual QWidget *sheetWindow() const = 0;
    // Takes the prompt away without unlocking (the program is quitting): `ended` does not run.
    virtual void close() = 0;
};

// The backup sheet shown before the data model is updated.
class DatabaseUpdateSheetService
{
public:
    virtual ~DatabaseUpdateSheetService() = default;
    // Attaches the sheet to `window`. After its backup (or its cancel) and just before it ends it calls
    // `completedBackup` with the sheet type; `ended` runs once it has ended.
    virtual void beginSheet(QWidget *window, std::function<void(quint32 type)> completedBackup,
                            std::function<void()> ended) = 0;
    virtual bool isAttached() const = 0;
    virtual QWidget *sheetWindow() const = 0;
};

// The user-notification centre as the application delegate uses it.
class UserNotificationService
{
public:
    virtual ~UserNotificationService() = default;
    // The application delegate answers the centre's questions (which notification to open).
    virtual void setDelegateInstalled(bool installed) = 0;
    virtual void removeAllDeliveredNotifications() = 0;
    virtual void removeAllScheduledNotifications() = 0;
    // Asks for silent cloud pushes.
    virtual void registerForRemoteNotifications() = 0;
    // Schedules the alerts of every stored to-do again (after the data was replaced).
    virtual void scheduleAllToDoAlertsWithContext(const platform::store::ContextPtr &context) = 0;
};

// Where the launch gets its service objects. A test replaces single entries; the rest stay stand-ins.
struct LaunchServiceFactory
{
    using ContextPtr = platform::store::ContextPtr;

    std::function<std::shared_ptr<SaveListenerService>(const ContextPtr &)> makeSaveListener;
    std::function<std::shared_ptr<CalendarWatcherService>(const ContextPtr &)> makeCalendarWatcher;
    std::function<std::shared_ptr<ContactsRefreshService>(const ContextPtr &)> makeContactsRefresh;
    std::function<std::shared_ptr<GeocoderRequestQueue>(const ContextPtr &)> makeGeocoderQueue;
    std::function<std::shared_ptr<AutomaticBackupService>(const ContextPtr &)> makeBackupController;
    std::function<std::shared_ptr<CloudSyncService>(const ContextPtr &, qint64 initialState)> makeSyncManager;
    std::function<std::shared_ptr<DropboxService>(const ContextPtr &)> makeDropboxManager;
    std::function<std::shared_ptr<PasscodeSheetService>()> makePasscodeSheet;
    std::function<std::shared_ptr<DatabaseUpdateSheetService>(quint32 type)> makeDatabaseUpdateSheet;
    std::shared_ptr<UserNotificationService> userNotifications;

    // Every entry filled: the program's own services where they are built, the stand-ins below elsewhere.
    static LaunchServiceFactory placeholders();
};

// ---- Stand-ins ----

class PlaceholderSaveListener : public SaveListenerService
{
public:
    void setDelegate(QDNSManagedObjectContextListenerDelegate *delegate) override { m_delegate = delegate; }
    void setModificationsDelegate(std::weak_ptr<CloudSyncService> syncManager) override
    {
        m_modificationsDelegate = std::move(syncManager);
    }
    QDNSManagedObjectContextListenerDelegate *delegate() const { return m_delegate; }
    std::shared_ptr<CloudSyncService> modificationsDelegate() const { return m_modificationsDelegate.lock(); }

private:
    QDNSManagedObjectContextListenerDelegate *m_delegate = nullptr;
    std::weak_ptr<CloudSyncService> m_modificationsDelegate;
};

// Syncs nothing; a pass finishes at once on the watcher's own queue.
class PlaceholderCalendarWatcher : public CalendarWatcherService
{
public:
    PlaceholderCalendarWatcher();
    void didBecomeActive() override { m_active = true; }
    void didResignActive() override { m_active = false; }
    void startOperationsToSyncAllEventsWithCalendarWithCompletionHandler(std::function<void()> handler) override;
    void syncEventsWithCalendar(const void *flag) override {}
    bool isActive() const { return m_active; }

private:
    bool m_active = false;
    platform::core::OperationQueue m_queue;
};

// Loads nothing; reports that no contacts were loaded once the dependency has finished (the launch uses
// ContactsSyncController; tests that want no address book install this one).
class PlaceholderContactsRefresh : public ContactsRefreshService
{
public:
    PlaceholderContactsRefresh();
    void operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(
        const std::shared_ptr<platform::core::Operation> &dependency, std::function<void(bool loaded)> completion) override;

private:
    platform::core::OperationQueue m_queue;
};

// Makes no backup: announces at once that no archive was made.
class PlaceholderBackupController : public AutomaticBackupService
{
public:
    void startAutomaticBackupProcessWithIsAutomatic(bool) override;
};

// Talks to no cloud; remembers what the launch asked of it.
class PlaceholderSyncManager : public CloudSyncService
{
public:
    void setDelegate(QDCloudKitSyncManagerDelegate *delegate) override { m_delegate = delegate; }
    void setupOperationsForAppLaunch() override { m_hasLaunchOperationsBeenCalled = true; }
    void setHasLaunchOperationsBeenCalled(bool called) override { m_hasLaunchOperationsBeenCalled = called; }
    void checkCloudKitPollingOperation() override {}
    void checkForExistingCloudKitMigrationWithCompletionHandler(std::function<void(bool)> handler) override {}
    QDCloudKitSyncManagerDelegate *delegate() const { return m_delegate; }
    bool hasLaunchOperationsBeenCalled() const { return m_hasLaunchOperationsBeenCalled; }

private:
    std::atomic<QDCloudKitSyncManagerDelegate *> m_delegate{nullptr};
    std::atomic<bool> m_hasLaunchOperationsBeenCalled{false};
};

// Never linked to an account, so the Dropbox sync is off.
class PlaceholderDropboxManager : public DropboxService
{
public:
    void setDelegate(DropBoxManagerDelegate *delegate) override { m_delegate = delegate; }
    bool isDropBoxSyncEnabled() const override { return false; }
    void checkDropBoxFileRevisionAtLaunch(bool) override {}
    void setupRepeatTimer() override {}

private:
    DropBoxManagerDelegate *m_delegate = nullptr;
};

// Shows no prompt: holds the lock until unlock() (tests), or lets the user in on the next turn of the event
// loop, as after the right passcode.
class PlaceholderPasscodeSheet : public PasscodeSheetService,
                                 public std::enable_shared_from_this<PlaceholderPasscodeSheet>
{
public:
    enum class Unlocking { AtOnce, ByUnlockOnly };
    explicit PlaceholderPasscodeSheet(Unlocking unlocking = Unlocking::ByUnlockOnly) : m_unlocking(unlocking) {}
    void beginSheet(QWidget *window, std::function<void()> ended) override;
    bool isAttached() const override { return m_attached; }
    bool isWindowLoaded() const override { return m_loaded; }
    QWidget *sheetWindow() const override { return nullptr; }
    void close() override;
    // The right passcode was entered: the sheet ends and the lock screen's block runs.
    void unlock();

private:
    Unlocking m_unlocking;
    bool m_attached = false;
    bool m_loaded = false;
    std::function<void()> m_ended;
};

// Makes no backup, so it reports none: on the next turn of the event loop it ends without telling the
// delegate of a finished backup and without writing the settings that record one, so the launch goes on
// and the backup stays due.
class PlaceholderDatabaseUpdateSheet : public DatabaseUpdateSheetService,
                                       public std::enable_shared_from_this<PlaceholderDatabaseUpdateSheet>
{
public:
    explicit PlaceholderDatabaseUpdateSheet(quint32 type) : m_type(type) {}
    void beginSheet(QWidget *window, std::function<void(quint32)> completedBackup, std::function<void()> ended) override;
    bool isAttached() const override { return m_attached; }
    QWidget *sheetWindow() const override { return nullptr; }

private:
    quint32 m_type;
    bool m_attached = false;
};

class PlaceholderUserNotifications : public UserNotificationService
{
public:
    void setDelegateInstalled(bool) override {}
    void removeAllDeliveredNotifications() override {}
    void removeAllScheduledNotifications() override {}
    void registerForRemoteNotifications() override {}
    void scheduleAllToDoAlertsWithContext(const platform::store::ContextPtr &) override {}
};
