#pragma once

#include "Classes/LaunchServices.h"
#include "Mac/ContactPage/ContactInfoViewControllerMac.h"

#include "QuendelKit/Settings/SharedSettingsDelegate.h"

#include "platform/contacts/ContactRecord.h"
#include "platform/core/NotificationCenter.h"
#include "platform/core/OperationQueue.h"
#include "platform/core/QDError.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/Model.h"
#include "platform/store/StoreCoordinator.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class MacAllFilesViewController;
class MapSaveNotices;
class AddContactWindowController;
class ContactGroupMenu;
class CoreDataControllerMac;
class MacContactsViewController;
class MainMenuCommands;
class MainWindow;
class MainWindowManagerViewController;
class MainWindowSidebar;
class MainWindowToolbar;
class Person;
class PreferencesControllerWindowController;
class QTreeView;
class QWidget;

// The application delegate: it starts the program in a fixed order, owns every long-lived service and
// the main window, and answers for the application over its life (activation, quit, notifications,
// restores of the store).
//
// The launch, in order:
//  1. applicationWillFinishLaunching: settings start-up, sidebar, passcode test; without a passcode the
//     database-update gate runs inside it, with one only after the lock screen was unlocked.
//  2. applicationDidFinishLaunching: its observers, whether or not the lock screen is up.
//  3. The gate: the pre-update backup sheet (or the "Internet connection required" alert) when due, then
//     the post-launch step and the hand-over of the launch operations to the main operation queue.
//  4. The post-launch step makes the store controller and shows the Contacts section; asking for the main
//     context opens the store and runs the store-loaded handler, which makes the services and chains the
//     launch work ("PostLoginOperation" -> contacts refresh -> calendar pass -> cloud step).
// Every step is written to launchSteps(), in the order it ran.
class AppDelegate : public QObject,
                    public SharedSettingsDelegate,
                    public QDNSManagedObjectContextListenerDelegate,
                    public QDCloudKitSyncManagerDelegate,
                    public DropBoxManagerDelegate,
                    public QDAddContactDelegate
{
    Q_OBJECT
public:
    using ContextPtr = platform::store::ContextPtr;
    enum class TerminateReply { TerminateCancel, TerminateNow };

    // Notifications observed or posted here.
    static inline const QString CloudKitUploadCompleteNotification = QStringLiteral("CloudKitUploadCompleteNotification");
    static inline const QString CloudKitInternalDatabaseErrorNotification =
        QStringLiteral("CloudKitInternalDatabaseErrorNotification");
    static inline const QString ExternalGroupChangeNotification = QStringLiteral("ExternalGroupChangeNotification");
    static inline const QString PrivateGroupCloudChangedNotification =
        QStringLiteral("PrivateGroupCloudChangedNotification");
    static inline const QString PasswordScreenWillShowNotification =
        QStringLiteral("PasswordScreenWillShowNotification");

    // User-defaults keys.
    static inline const QString NewFirstTimeDownloadKey = QStringLiteral("NewFirstTimeDownload");
    static inline const QString AppEnteredBackgroundTimeKey = QStringLiteral("appEnteredBackgroundTime");
    static inline const QString RequirePinIntervalKey = QStringLiteral("require_pin_interval_setting");
    static inline const QString CountAppLaunchKey = QStringLiteral("count_app_launch");
    static inline const QString CloudKitUserStateKey = QStringLiteral("CloudKitUserState");
    // Data-plist keys.
    static inline const QString FirstTimeDownloadKey = QStringLiteral("first_time_download");
    static inline const QString FirstTimeDownloadDateKey = QStringLiteral("first_time_download_date");
    static inline const QString WhatsNew410Key = QStringLiteral("has_shown_whats_new:4.1.0_VERSION");
    // User-info keys of user notifications.
    static inline const QString ToDoAlertPersonGUIDKey = QStringLiteral("kToDoAlertPersonGUIDKey");
    static inline const QString NewRevKey = QStringLiteral("newRev");
    static inline const QString CloudFetchKey = QStringLiteral("cloudFetch");

    static inline const QString PostLoginOperationName = QStringLiteral("PostLoginOperation");
    // The tab a to-do alert opens on a contact's page.
    static constexpr int ToDosTabIndex = 2;

    // Texts shown here.
    static inline const QString InternetRequiredTitle = QStringLiteral("Internet connection required");
    static inline const QString InternetRequiredMessage = QStringLiteral(
        "As part of this update, we would like to make a backup of your data before we make some database "
        "changes. We require an Internet connection for this to work correctly. You can either connect to the "
        "Internet (now or later) and try again, or continue without creating a new backup\n\nWarning: proceeding "
        "without backup might cause irrecoverable data loss, and you should avoid this unless you have a recent "
        "backup, or the data can be backed up from another device");
    static inline const QString TryAgainButton = QStringLiteral("Try Again");
    static inline const QString ContinueWithoutBackupButton = QStringLiteral("Continue without backup");
    static inline const QString UpdateCompleteTitle = QStringLiteral("Update Complete");
    static inline const QString UpdateCompleteMessage = QStringLiteral(
        "Please wait 2 minutes to see if your data loads correctly. If not, you can restore from the latest backup. "
        "Backups can be accessed from Preferences -> Manage Data -> select Last Backup\n\nPLEASE NOTE: to restore "
        "from a backup, you would first have to switch off iCloud syncing");
    static inline const QString QuitUnsavedTitle = QStringLiteral("Could not save changes while quitting. Quit anyway?");
    static inline const QString QuitUnsavedMessage =
        QStringLiteral("Quitting now will lose any changes you have made since the last successful save");
    static inline const QString QuitAnywayButton = QStringLiteral("Quit anyway");
    static inline const QString CancelButton = QStringLiteral("Cancel");
    static inline const QString NoInternetText = QStringLiteral("No Internet Connection");
    static inline const QString StoreUnavailableTitle = QStringLiteral("Your Data Could Not Be Opened");
    static inline const QString QuitButton = QStringLiteral("Quit");
    static inline const QString RestoreFromBackupButton = QStringLiteral("Restore from Backup…");

    // Makes the main window (not shown yet). Service objects come from `services`.
    explicit AppDelegate(LaunchServiceFactory services = LaunchServiceFactory::placeholders(),
                         QObject *parent = nullptr);
    ~AppDelegate() override;

    // The one application delegate of the process; null when there is none.
    static AppDelegate *instance();

    // ---- Launch ----
    // What the program does at start: shows the main window, runs steps 1 and 2, and from then on follows
    // the application's active state and its quit requests. Returns without running an event loop.
    void launch();
    void applicationWillFinishLaunching();
    // `launchNotification`: the user info of the user notification that started the program, if any.
    void applicationDidFinishLaunching(const QVariantMap &launchNotification = {});
    void postApplicationDidFinishLaunchingWithNotification();
    void presentDatabaseUpdateScreenForType(quint32 type, std::function<void()> block);
    void completedBackupAndUpgradeWithType(quint32 type);
    void postUpdateAndApplicationDidFinishLaunchingWithNotification();
    // The store controller's load-completion callback: run for every new main context over a store.
    void storeLoadedHandler();
    void runAppLaunchOperations();
    // The lock screen; `block` runs after the right passcode. Dropped while a lock screen is up.
    void presentPasscodeScreenWithBlock(std::function<void()> block);
    // Asks for a store review when one is due; shows nothing while no store is configured.
    void showReviewNagMac();

    // ---- Lifecycle ----
    // The store controller's main context (the first request opens the store); null before the
    // post-launch step.
    ContextPtr managedObjectContext();
    std::shared_ptr<const platform::store::ManagedObjectModel> managedObjectModel();
    std::shared_ptr<platform::store::StoreCoordinator> persistentStoreCoordinator();
    void saveAction();
    TerminateReply applicationShouldTerminate();
    // Asks applicationShouldTerminate and ends the program when it may.
    void terminate();
    void quitPressed();
    // SIGTERM, SIGINT or SIGHUP, delivered through the event loop: the program leaves as by Quit, without
    // asking anything (nobody may be there to answer), keeping the edit in progress.
    void quitOnSignal(int signalNumber);
    // A later start on the same data folder: the main window comes to the front.
    void bringWindowForward();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
    void reachabilityChanged(const platform::core::Notification &notification);
    void applicationWillResignActive();
    void applicationDidBecomeActive();
    void syncEventsWithCalendar(const void *flag);
    void userNotificationCenterDidDeliverNotification(const QVariantMap &userInfo) {}
    bool userNotificationCenterShouldPresentNotification(const QVariantMap &userInfo) const { return true; }
    // A click on a user notification. While the launch is still running (lock screen, pre-update backup,
    // launch alerts) it only brings the window back; the contact opens once the launch is complete.
    void userNotificationCenterDidActivateNotification(const QVariantMap &userInfo);
    Person *getPersonWithNotificationInfo(const QVariantMap &userInfo);
    void prepareForDBRestore(const platform::core::Notification &notification);
    void databaseRestoredNotification(const platform::core::Notification &notification);
    // Shows the error; true only when the error was recovered from (never, here).
    bool presentError(const platform::core::QDError &error);

    // ---- Sections ----
    void selectItemAtIndex(int index);
    void switchToContactsPageWithPerson(Person *person, int tabIndex);
    // The Contacts section, once it was made.
    MacContactsViewController *contactsViewController() const;
    // The add-contact page (or, with a source, the clone page) in a sheet on the main window.
    void showAddContactSheet(bool isPrivate = false, Person *cloneSource = nullptr);
    // The Import Contacts window over the address book folder.
    void showImportvCardFile();
    // Every person of the address book, or only those just offered as new.
    void showImportContactsWindow(const std::optional<QList<platform::contacts::ContactRecord>> &offered = {});
    // `person` belongs to the add page's own context; the list shows its stored counterpart.
    void addedNewContactWithPerson(Person *person) override;

    // ---- For the kit: save listener and settings object ----
    void showAlertWithTitle(const QString &title, const QString &message) override;
    void logEventWithString(const QString &name, const QVariantMap &parameters) override;
    void showNetworkActivityIndicator() override;
    void stopActivityIndicator() override;
    std::optional<bool> isApplicationBackgroundState() override { return false; }

    // ---- State ----
    MainWindow *window() const;
    MainWindowSidebar *sidebar() const { return m_sidebar.get(); }
    MainWindowToolbar *toolbar() const { return m_toolbar.get(); }
    MainMenuCommands *mainMenuCommands() const { return m_menuCommands.get(); }
    // The toolbar's contact-group menu.
    ContactGroupMenu *groupMenu() const { return m_groupMenu.get(); }
    // The controller of the add-contact sheet on show; null when there is none.
    AddContactWindowController *addContactWindowController() const;
    std::shared_ptr<CoreDataControllerMac> coreDataController() const { return m_coreDataController; }
    std::shared_ptr<SaveListenerService> cloudListener() const { return m_cloudListener; }
    std::shared_ptr<CalendarWatcherService> calendarSyncController() const { return m_calendarSyncController; }
    std::shared_ptr<ContactsRefreshService> contactsSyncController() const { return m_contactsSyncController; }
    std::shared_ptr<AutomaticBackupService> backupController() const { return m_backupController; }
    std::shared_ptr<CloudSyncService> cloudKitSyncManager() const { return m_cloudKitSyncManager; }
    std::shared_ptr<DropboxService> dropBoxManager() const { return m_dropBoxManager; }
    std::shared_ptr<PasscodeSheetService> passwordController() const { return m_passwordController; }
    std::shared_ptr<DatabaseUpdateSheetService> databaseUpdateController() const { return m_databaseUpdateController; }
    // The preferences window, once it was opened.
    PreferencesControllerWindowController *preferencesWindowController() const;
    const LaunchServiceFactory &services() const { return m_services; }

    bool passwordExists() const { return m_passwordExists; }
    // Kept up to date by the preferences window.
    void setPasswordExists(bool exists) { m_passwordExists = exists; }
    bool showingPasswordScreen() const { return m_showingPasswordScreen; }
    int currentIndex() const;
    std::vector<std::shared_ptr<platform::core::Operation>> appLaunchOperations() const { return m_appLaunchOperations; }
    bool ckRunAppLaunchOperations() const;
    bool didBeginActiveCalledOnce() const { return m_didBeginActiveCalledOnce; }
    bool ignoreAlertAfterDBBackup() const { return m_ignoreAlertAfterDBBackup; }
    void setIgnoreAlertAfterDBBackup(bool ignore) { m_ignoreAlertAfterDBBackup = ignore; }
    QList<QUrl> &shareAttachmentsArray() { return m_shareAttachmentsArray; }
    // The one e-mail hand-off of the program (see EmailHandoff); `done` tells whether the mail program took it.
    void sendEmailWithSubject(const QString &subject, const QString &body, const QList<QUrl> &fileAttachments,
                              const QStringList &recipients, bool isHTML, bool shoudCleanupFiles,
                              std::function<void(bool handedOff)> done = {});
    // A temporary file handed to another program (dragged out): removed after the clean-up delay.
    void addItemToTempLocationForCleanup(const QUrl &file);

    // The Help menu (AppDelegate+Help.cpp).
    static inline const QString SupportPageURL = QStringLiteral("https://quendel.app/support");
    static inline const QString KeyboardShortcutsPageURL = QStringLiteral("https://quendel.app/support/keyboard-shortcuts");
    static inline const QString ReviewPageURL = QStringLiteral("https://quendel.app/review");
    static inline const QString StorePageURL = QStringLiteral("https://quendel.app/");
    static inline const QString ProblemReportAddress = QStringLiteral("support@quendel.app");
    static inline const QString SuggestionsAddress = QStringLiteral("suggestions@quendel.app");
    void helpButtonPressed();
    void keyboardShortcutsPressed();
    void reportProblemPressed();
    void sendSuggestionsPressed();
    // From the menu, or (false) from the review prompt.
    void reviewInAppStorePressed(bool fromMenu);
    void referFriendsPressed();
    // What's new: the message after an update and the window with what this version offers.
    static inline const QString WhatsNewMessageTitle = QStringLiteral("Quendel v1.4");
    static inline const QString WhatsNewMenuTitle = QStringLiteral("What's New in Quendel");
    void learnMoreAboutUpdatePressed();
    // The what's-new window is on show.
    bool showWhatsNewPage() const { return m_showWhatsNewPage; }
    // The store is open and the post-launch step has finished.
    bool isLaunchComplete() const { return m_launchComplete; }
    // The store could not be opened: the program told the user and is quitting.
    bool launchFailed() const { return m_launchFailed; }
    // The toolbar's status text and spinner.
    QString activityText() const { return m_activityText; }
    void setActivityText(const QString &text);
    bool isActivityIndicatorAnimating() const { return m_activityAnimating; }
    void setActivityIndicatorAnimating(bool animating);

    // The steps of the launch and of each launch chain, in the order they ran (any thread may add).
    QStringList launchSteps() const;

    // How the program ends (default: leaves the event loop with the code). Tests record it instead.
    void setExitHandler(std::function<void(int code)> handler) { m_exitHandler = std::move(handler); }

signals:
    void launchCompleted();
    void activityIndicatorChanged(bool animating);
    void activityTextChanged(const QString &text);
    void contactPageRequested(Person *person, int tabIndex);
    // The toolbar search field is to be emptied (the store is being replaced).
    void searchFieldResetRequested();

protected:
    // The parts of neighbouring subsystems the launch calls; each records its step and does no more until
    // its subsystem fills it in.
    virtual void initHockey();
    virtual void buildSidebarItems();
    virtual void loadContactGroupSelectionMenuForButton();
    virtual void updateLaunchCount();
    // After a crash: offers the kept report to be sent by e-mail.
    void offerCrashReport();
    virtual void showWhatsNewMessage();
    virtual void askCloudKitSwitch();
    virtual void addDropboxMenuItems();
    virtual void qdCloudKitUploadCompleteNotification(const platform::core::Notification &notification);
    virtual void cloudKitInternalErrorNotification(const platform::core::Notification &notification);
    virtual void externalPublicGroupUpdateNotification(const platform::core::Notification &notification);
    virtual void privateGroupUpdateiCloudNotification(const platform::core::Notification &notification);
    // The controller of section `index`; null leaves the window's empty page for it (all but Contacts).
    virtual MainWindowManagerViewController *makeSectionController(int index);
    MainWindowManagerViewController *makeMapSection();
    // The Files section once it was shown; null before.
    MacAllFilesViewController *filesViewController() const;
    // The preferences window: made the first time, brought to the front and reloaded every later time.
    virtual void showPreferencesWindow();

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct LaunchRecord;
    class StoreController;
    friend class StoreController;

    void recordStep(const QString &step) const;
    void buildToolbar();
    void buildMainMenu();
    void buildHelpMenu();
    void showReportExportPane();
    void setShowingPasswordScreen(bool showing);
    // The list the arrow keys move into for section `index`; null for a section without one.
    QTreeView *sectionList(int index) const;
    bool storeIsOpen() const;
    void storeCouldNotBeOpened(const QString &path, const platform::core::QDError &error);
    // Tells the user the store cannot be opened and offers to restore a backup; true once a restored store
    // is open, false when the program is quitting.
    bool handleUnopenableStore();
    // Lets the user pick a backup archive and restores it while no store is open; true once a store is open.
    bool restoreUnopenableStoreFromBackup();
    void finishPostLaunchAndRun();
    void becameActiveAfterPasscode();
    void startDropboxLaunchCheck();
    void openNotification(const QVariantMap &userInfo);
    void removeCoverView();
    void quitWithoutAsking();
    // Moves what the write-ahead log holds into the store file, so the file alone holds every change.
    void checkpointStore();
    void exitProgram(int code);

    LaunchServiceFactory m_services;
    std::shared_ptr<LaunchRecord> m_record;
    QPointer<MainWindow> m_window;
    std::unique_ptr<MainWindowSidebar> m_sidebar;
    std::unique_ptr<MainWindowToolbar> m_toolbar;
    std::unique_ptr<MainMenuCommands> m_menuCommands;
    std::unique_ptr<ContactGroupMenu> m_groupMenu;
    QPointer<AddContactWindowController> m_addContactController;
    QPointer<PreferencesControllerWindowController> m_preferencesWindowController;
    std::shared_ptr<CoreDataControllerMac> m_coreDataController;
    std::shared_ptr<SaveListenerService> m_cloudListener;
    std::shared_ptr<CalendarWatcherService> m_calendarSyncController;
    std::shared_ptr<ContactsRefreshService> m_contactsSyncController;
    std::shared_ptr<AutomaticBackupService> m_backupController;
    std::shared_ptr<CloudSyncService> m_cloudKitSyncManager;
    std::shared_ptr<DropboxService> m_dropBoxManager;
    std::shared_ptr<PasscodeSheetService> m_passwordController;
    std::shared_ptr<DatabaseUpdateSheetService> m_databaseUpdateController;
    std::vector<std::shared_ptr<platform::core::Operation>> m_appLaunchOperations;
    QList<QUrl> m_shareAttachmentsArray;

    bool m_passwordExists = false;
    bool m_showingPasswordScreen = false;
    bool m_didBeginActiveCalledOnce = false;
    bool m_ignoreAlertAfterDBBackup = false;
    bool m_dropboxLaunchCheckStarted = false;
    bool m_launchComplete = false;
    // Whether this start is an installation's first; handed once to the Contacts section for its messages.
    std::optional<bool> m_firstRunLaunch;
    bool m_showWhatsNewPage = false;
    QPointer<QWidget> m_whatsNewPanel;
    bool m_launchFailed = false;
    bool m_terminating = false;
    bool m_wasActive = false;
    QPointer<QWidget> m_coverView;
    QVariantMap m_pendingNotification;
    std::unique_ptr<MapSaveNotices> m_mapSaveNotices;
    QString m_unopenableStorePath;
    platform::core::QDError m_unopenableStoreError;
    QString m_activityText;
    bool m_activityAnimating = false;
    std::function<void(int)> m_exitHandler;

    platform::core::ScopedObserver m_uploadCompleteObserver;
    // Contact names follow the display settings.
    QPointer<QWidget> m_crashOfferSheet;
    platform::core::ScopedObserver m_reachabilityObserver;
    platform::core::ScopedObserver m_internalErrorObserver;
    platform::core::ScopedObserver m_restorePreparationObserver;
    platform::core::ScopedObserver m_restoreObserver;
    platform::core::ScopedObserver m_externalGroupObserver;
    platform::core::ScopedObserver m_privateGroupObserver;
};
