#include "AppDelegate.h"
#include "Mac/Journal/MacAllFilesViewController.h"
#include "Mac/Journal/MacAllLogsViewController.h"
#include "Mac/Journal/MacAllTodosViewController.h"

#include "Classes/Sync/ContactsSyncController.h"
#include "Mac/Contacts/ImportMultipleContactsViewController.h"
#include "QuendelKit/AddressBook/VCardAddressBookBridge.h"

#include "Classes/Backups/BackupFile.h"
#include "Classes/Backups/DBFileRestore.h"
#include "Mac/Preferences/BackupsPreferencesPane.h"
#include "Mac/Preferences/PreferencesControllerWindowController.h"
#include "Mac/Preferences/DisplayPreferences.h"
#include "platform/ui/FilePanel.h"

#include "SharedAppGlobals.h"

#include "Classes/QDAlertDisplayMac.h"
#include "Classes/Map/MapSaveNotices.h"
#include "Mac/Map/MacMapViewController.h"
#include "Mac/Contacts/AddContactWindowController.h"
#include "Mac/ContactPage/ContactPageTabsMac.h"
#include "Mac/Shell/ContactGroupMenu.h"
#include "Mac/Journal/SelectContactsViewControllerMac.h"
#include "Mac/Shell/CoreDataControllerMac.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/MainMenuCommands.h"
#include "Classes/EmailHandoff.h"
#include "platform/mail/MailHandoff.h"
#include "Mac/Shell/MainWindow.h"
#include "Mac/Reports/ReportExportPane.h"
#include "Mac/Shell/MainWindowManagerViewController.h"
#include "Mac/Shell/MainWindowSidebar.h"
#include "Mac/Shell/MainWindowToolbar.h"
#include "Mac/Shell/ThemeIcons.h"

#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Infra/QDReachability.h"
#include "QuendelKit/Infra/QDSSKeychain.h"
#include "QuendelKit/Settings/DataPlistValues.h"
#include "QuendelKit/Settings/PasscodeLaunchCheck.h"
#include "Classes/PasscodeLock.h"
#include "Classes/CrashReporting.h"
#include "QuendelKit/Settings/QuendelVersion.h"
#include "QuendelKit/Settings/SharedSettingController.h"

#include "platform/core/Clock.h"
#include "platform/core/Dispatch.h"
#include "platform/core/UserDefaults.h"
#include "platform/store/FetchRequest.h"
#include "platform/store/Predicate.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/CommandRouter.h"
#include "platform/ui/Sheet.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMetaObject>
#include <QPalette>
#include <QScreen>
#include <QSysInfo>
#include <QToolBar>

#include <atomic>
#include <mutex>

using platform::core::BlockOperation;
using platform::core::Notification;
using platform::core::NotificationCenter;
using platform::core::OperationQueue;
using platform::core::QDError;
using platform::core::ScopedObserver;
using platform::core::UserDefaults;
using platform::ui::AlertPresenter;
using platform::ui::AlertResult;
using platform::ui::AlertSpec;

namespace {
AppDelegate *g_instance = nullptr;

void logAnalytics(const QString &name, const QVariantMap &parameters)
{
    if (parameters.isEmpty())
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(name);
    else
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(name, parameters);
}
} // namespace

// What the launch chains share with the application delegate. The chains run on the services' queues and
// may outlive the delegate, so they hold this record rather than the delegate.
struct AppDelegate::LaunchRecord
{
    mutable std::mutex mutex;
    QStringList steps;
    // True from launch until the first chain reached its cloud step.
    std::atomic<bool> ckRunAppLaunchOperations{true};

    void add(const QString &step)
    {
        std::lock_guard lock(mutex);
        steps.append(step);
    }
};

// The desktop store controller, reporting an unopenable store to the application delegate, which alone
// decides what the user sees and when the program ends.
class AppDelegate::StoreController : public CoreDataControllerMac
{
public:
    StoreController(AppDelegate *owner, LoadCompletionBlock block)
        : CoreDataControllerMac(std::move(block))
        , m_owner(owner)
    {
    }

protected:
    void reportUnopenableStore(const QString &path, const QDError &error) override
    {
        QDLogError(QStringLiteral("🚨🚨 CDC: the store \"%1\" cannot be opened: %2 🚨🚨").arg(path, error.toString()));
        if (m_owner)
            m_owner->storeCouldNotBeOpened(path, error);
    }
    void quitAfterUnopenableStore() override {}

private:
    QPointer<AppDelegate> m_owner;
};

AppDelegate::AppDelegate(LaunchServiceFactory services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_record(std::make_shared<LaunchRecord>())
{
    // Entries a caller left empty fall back to the stand-ins.
    const LaunchServiceFactory fallback = LaunchServiceFactory::placeholders();
    if (!m_services.makeSaveListener)
        m_services.makeSaveListener = fallback.makeSaveListener;
    if (!m_services.makeCalendarWatcher)
        m_services.makeCalendarWatcher = fallback.makeCalendarWatcher;
    if (!m_services.makeContactsRefresh)
        m_services.makeContactsRefresh = fallback.makeContactsRefresh;
    if (!m_services.makeGeocoderQueue)
        m_services.makeGeocoderQueue = fallback.makeGeocoderQueue;
    if (!m_services.makeBackupController)
        m_services.makeBackupController = fallback.makeBackupController;
    if (!m_services.makeSyncManager)
        m_services.makeSyncManager = fallback.makeSyncManager;
    if (!m_services.makeDropboxManager)
        m_services.makeDropboxManager = fallback.makeDropboxManager;
    if (!m_services.makePasscodeSheet)
        m_services.makePasscodeSheet = fallback.makePasscodeSheet;
    if (!m_services.makeDatabaseUpdateSheet)
        m_services.makeDatabaseUpdateSheet = fallback.makeDatabaseUpdateSheet;
    if (!m_services.userNotifications)
        m_services.userNotifications = fallback.userNotifications;

    g_instance = this;
    m_exitHandler = [](int code) {
        if (QCoreApplication *application = QCoreApplication::instance())
            QMetaObject::invokeMethod(application, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    };

    ThemeIcons::installFallbackTheme();
    m_window = new MainWindow;
    m_window->setWindowTitle(QStringLiteral("Quendel"));
    m_window->resize(1100, 720);
    m_window->installEventFilter(this);
    m_window->setSectionFactory([this](int index) -> MainWindowManagerViewController * {
        // Every section reads the main context; the first request opens the store.
        managedObjectContext();
        MainWindowManagerViewController *section = makeSectionController(index);
        // A section made after a group was chosen starts narrowed to it, as the others are.
        if (section && index != SectionSwitcher::Contacts && m_groupMenu && m_groupMenu->selectedEntry().isGroup())
            section->groupChangedNotification(m_groupMenu->choiceNotification());
        return section;
    });

    auto &router = platform::ui::CommandRouter::shared();
    router.setApplicationResponder(this);
    router.addHandler(this, QStringLiteral("saveAction:"), [this](QObject *) { saveAction(); });
    router.addHandler(this, QStringLiteral("quitPressed:"), [this](QObject *) { quitPressed(); });
    router.addHandler(this, QStringLiteral("syncEventsWithCalendar:"),
                      [this](QObject *sender) { syncEventsWithCalendar(sender); });
}

AppDelegate::~AppDelegate()
{
    // Background work (refreshes, syncs, imports) reaches into this delegate's controllers and store: it
    // ends before they go. A task that runs on regardless is not waited for past a few seconds.
    if (!platform::core::waitForBackgroundWork(5000))
        QDLogInfo(QStringLiteral("AppDelegate: background work still running at the end"));
    // Reaching here is a normal end; a crash never unwinds this far.
    CrashReporting::markCleanExit();
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (settings.sharedSettingsDelegate().get() == static_cast<SharedSettingsDelegate *>(this))
        settings.setSharedSettingsDelegate(nullptr);
    if (g_instance == this)
        g_instance = nullptr;
    if (m_sidebar && KeyRoutingDelegate::applicationDelegate() == m_sidebar.get())
        KeyRoutingDelegate::setApplicationDelegate(nullptr);
    // The preferences window works for this delegate and goes with it.
    delete m_preferencesWindowController.data();
    // The window's parts reach into the window as they go, so they go first. An add-contact sheet still
    // open goes too: its page reports to this delegate.
    if (m_addContactController) {
        if (m_addContactController->isWindowLoaded())
            delete m_addContactController->window();
        delete m_addContactController.data();
    }
    m_groupMenu.reset();
    m_menuCommands.reset();
    m_toolbar.reset();
    m_sidebar.reset();
    delete m_window;
}

AppDelegate *AppDelegate::instance()
{
    return g_instance;
}

void AppDelegate::recordStep(const QString &step) const
{
    m_record->add(step);
}

QStringList AppDelegate::launchSteps() const
{
    std::lock_guard lock(m_record->mutex);
    return m_record->steps;
}

bool AppDelegate::ckRunAppLaunchOperations() const
{
    return m_record->ckRunAppLaunchOperations.load();
}

// ---- Launch ----

void AppDelegate::launch()
{
    QuendelVersion::applyToApplication();
    // The window is on screen before the launch steps, so the sheets they may begin have a window to sit on.
    m_window->show();
    applicationWillFinishLaunching();
    if (m_launchFailed)
        return;
    applicationDidFinishLaunching();

    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            const bool active = state == Qt::ApplicationActive;
            if (active && !m_wasActive) {
                m_wasActive = true;
                applicationDidBecomeActive();
            } else if (!active && m_wasActive) {
                m_wasActive = false;
                applicationWillResignActive();
            }
        });
        connect(application, &QCoreApplication::aboutToQuit, this, [this] {
            // The program is ending by a way that did not ask first (the session is closing): keep the work.
            if (!m_terminating)
                quitWithoutAsking();
        });
        if (application->applicationState() == Qt::ApplicationActive) {
            m_wasActive = true;
            applicationDidBecomeActive();
        }
    }
}

void AppDelegate::applicationWillFinishLaunching()
{
    recordStep(QStringLiteral("willFinishLaunching"));
    m_appLaunchOperations.clear();
    m_services.userNotifications->setDelegateInstalled(true);

    // Alerts of the kit go to the application's alerts from here on, also those of the settings start-up.
    QDAlertDisplayMac::install();
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    settings.setSharedSettingsDelegate(
        std::shared_ptr<SharedSettingsDelegate>(static_cast<SharedSettingsDelegate *>(this), [](SharedSettingsDelegate *) {}));
    settings.initialize();
    recordStep(QStringLiteral("settings.initialize"));

    QDLogInfo(QStringLiteral("\n\n➡️➡️ AppDelegate: willFinishLaunching: App Version %1, Mac %2 ⬅️⬅️")
                  .arg(SharedSettingController::environment()->bundleVersion(),
                       SharedSettingController::sharedSettings().operatingSystemVersionString()));
    initHockey();
    buildSidebarItems();
    buildToolbar();
    buildMainMenu();

    m_record->ckRunAppLaunchOperations = true;

    // The sidebar sits on a dark grey (white level 65 of 255); the window keeps its title "Quendel".
    if (QWidget *sidebar = m_window->sidebarArea()) {
        QPalette palette = sidebar->palette();
        palette.setColor(QPalette::Window, QColor::fromRgbF(65.0 / 255.0, 65.0 / 255.0, 65.0 / 255.0, 1.0));
        sidebar->setPalette(palette);
        sidebar->setAutoFillBackground(true);
    }

    // A first run removes any passcode left behind by an earlier installation; it must be gone before the
    // lock is decided, or a fresh installation would lock its user out with a code nobody knows.
    const bool firstLaunch = dataPlistValues().boolValue(FirstTimeDownloadKey);
    m_firstRunLaunch = firstLaunch;
    if (firstLaunch) {
        // Alerts of to-dos of an earlier installation are not this one's.
        m_services.userNotifications->removeAllDeliveredNotifications();
        m_services.userNotifications->removeAllScheduledNotifications();
        QDSSKeychain::deletePasswordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount);
        // Done once per installation: a passcode set from here on is the user's own.
        dataPlistValues().setValue(FirstTimeDownloadKey, false);
        SharedSettingController::sharedSettings().saveDataPlist();
        recordStep(QStringLiteral("firstRun"));
    }
    // A keychain that cannot be read while the lock is on keeps the program locked; the user is told why.
    const PasscodeLaunchCheck passcodeCheck = PasscodeLaunchCheck::run(firstLaunch);
    m_passwordExists = passcodeCheck.locked();
    recordStep(passcodeCheck.stepName());
    if (!passcodeCheck.alertTitle.isEmpty())
        showAlertWithTitle(passcodeCheck.alertTitle, passcodeCheck.alertMessage);

    if (m_passwordExists) {
        QPointer<AppDelegate> self(this);
        presentPasscodeScreenWithBlock([self] {
            if (self)
                self->postApplicationDidFinishLaunchingWithNotification();
        });
        return;
    }
    postApplicationDidFinishLaunchingWithNotification();
}

void AppDelegate::applicationDidFinishLaunching(const QVariantMap &launchNotification)
{
    QDLogInfo(QStringLiteral("AppDelegate: applicationDIDFinishLaunching  - %1")
                  .arg(launchNotification.isEmpty() ? QStringLiteral("(no notification)")
                                                    : QStringList(launchNotification.keys()).join(QLatin1String(", "))));
    recordStep(QStringLiteral("didFinishLaunching"));
    if (!launchNotification.isEmpty())
        userNotificationCenterDidActivateNotification(launchNotification);

    const auto defaults = UserDefaults::standardUserDefaults();
    if (!defaults->boolForKey(NewFirstTimeDownloadKey))
        defaults->setBool(true, NewFirstTimeDownloadKey);

    QPointer<AppDelegate> self(this);
    m_uploadCompleteObserver = ScopedObserver(CloudKitUploadCompleteNotification, nullptr, [self](const Notification &n) {
        if (self)
            self->qdCloudKitUploadCompleteNotification(n);
    });
    m_reachabilityObserver = ScopedObserver(kReachabilityChangedNotification, nullptr, [self](const Notification &n) {
        if (platform::core::isMainThread()) {
            if (self)
                self->reachabilityChanged(n);
            return;
        }
        platform::core::dispatchAsyncMain([self, n] {
            if (self)
                self->reachabilityChanged(n);
        });
    });
    m_internalErrorObserver = ScopedObserver(CloudKitInternalDatabaseErrorNotification, nullptr,
                                             [self](const Notification &n) {
                                                 if (self)
                                                     self->cloudKitInternalErrorNotification(n);
                                             });
    recordStep(QStringLiteral("didFinishLaunching.observers"));
}

void AppDelegate::finishPostLaunchAndRun()
{
    postUpdateAndApplicationDidFinishLaunchingWithNotification();
    runAppLaunchOperations();
}

void AppDelegate::postApplicationDidFinishLaunchingWithNotification()
{
    recordStep(QStringLiteral("databaseUpdateGate"));
    if (!SharedAppGlobals::sharedAppGlobals().shouldLoadUpdatingDatabasePage()) {
        finishPostLaunchAndRun();
        return;
    }

    const std::shared_ptr<QDReachability> reachability = SharedSettingController::sharedSettings().reachabilityStatus();
    const int status = reachability ? reachability->currentReachabilityStatus() : NotReachable;
    QPointer<AppDelegate> self(this);
    if (iCloudEnabledInApp() && status == NotReachable) {
        recordStep(QStringLiteral("databaseUpdateGate:internetRequired"));
        AlertSpec spec;
        spec.messageText = InternetRequiredTitle;
        spec.informativeText = InternetRequiredMessage;
        spec.buttonTitles = {TryAgainButton, ContinueWithoutBackupButton};
        AlertPresenter::shared().beginSheet(spec, m_window, [self](const AlertResult &result) {
            if (!self)
                return;
            if (result.buttonIndex == 0)
                self->postApplicationDidFinishLaunchingWithNotification();
            else
                self->finishPostLaunchAndRun();
        });
        return;
    }

    recordStep(QStringLiteral("databaseUpdateGate:backupSheet"));
    presentDatabaseUpdateScreenForType(0, [self] {
        if (self)
            self->finishPostLaunchAndRun();
    });
}

void AppDelegate::presentDatabaseUpdateScreenForType(quint32 type, std::function<void()> block)
{
    m_databaseUpdateController = m_services.makeDatabaseUpdateSheet(type);
    QPointer<AppDelegate> self(this);
    m_databaseUpdateController->beginSheet(
        m_window,
        [self](quint32 completedType) {
            if (self)
                self->completedBackupAndUpgradeWithType(completedType);
        },
        std::move(block));
}

void AppDelegate::completedBackupAndUpgradeWithType(quint32 type)
{
    recordStep(QStringLiteral("completedBackupAndUpgrade"));
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("AppDelegate-completedBackupAndUpgrade"));
    if (iCloudEnabledInApp() && type != 2 && !m_ignoreAlertAfterDBBackup) {
        AlertSpec spec;
        spec.messageText = UpdateCompleteTitle;
        spec.informativeText = UpdateCompleteMessage;
        spec.buttonTitles = {QStringLiteral("OK")};
        AlertPresenter::shared().beginSheet(spec, m_window);
        return;
    }
    m_ignoreAlertAfterDBBackup = false;
}

void AppDelegate::postUpdateAndApplicationDidFinishLaunchingWithNotification()
{
    recordStep(QStringLiteral("postLaunch"));
    const DataPlistValues &plist = dataPlistValues();
    const QDateTime installDate = plist.contains(FirstTimeDownloadDateKey) ? plist.dateValue(FirstTimeDownloadDateKey)
                                                                           : platform::core::Clock::now();
    QDLogInfo(QStringLiteral("AppDelegate: postUpdateAndApplicationDidFinishLaunching - installDate = %1, %2")
                  .arg(installDate.toString(Qt::ISODate))
                  .arg(UserDefaults::standardUserDefaults()->integerForKey(CountAppLaunchKey)));
    m_services.userNotifications->setDelegateInstalled(true);

    QPointer<AppDelegate> self(this);
    m_coreDataController = std::make_shared<StoreController>(this, [self] {
        if (self)
            self->storeLoadedHandler();
    });
    recordStep(QStringLiteral("storeController"));

    selectItemAtIndex(0);
    // The Contacts section asks for the main context as it is made; when it was made before, ask here.
    managedObjectContext();
    if (!storeIsOpen()) {
        if (!handleUnopenableStore())
            return;
        // The first section was made on the context without a store; it takes up the restored one.
        const Notification restored{CoreDataControllerMac::RestoreDBNotification, managedObjectContext().get(), {}};
        for (int index = 0; m_window && index < SectionSwitcher::SectionCount; ++index) {
            if (MainWindowManagerViewController *section = m_window->sectionController(index))
                section->databaseRestoredNotification(restored);
        }
    }

    m_restorePreparationObserver = ScopedObserver(CoreDataControllerMac::RestoreDBPreparationNotification, nullptr,
                                                  [self](const Notification &n) {
                                                      if (self)
                                                          self->prepareForDBRestore(n);
                                                  });
    m_restoreObserver = ScopedObserver(CoreDataControllerMac::RestoreDBNotification, nullptr, [self](const Notification &n) {
        if (self)
            self->databaseRestoredNotification(n);
    });
    m_externalGroupObserver = ScopedObserver(ExternalGroupChangeNotification, nullptr, [self](const Notification &n) {
        if (self)
            self->externalPublicGroupUpdateNotification(n);
    });
    m_privateGroupObserver = ScopedObserver(PrivateGroupCloudChangedNotification, nullptr, [self](const Notification &n) {
        if (self)
            self->privateGroupUpdateiCloudNotification(n);
    });
    recordStep(QStringLiteral("postLaunch.observers"));

    const ContextPtr context = managedObjectContext();
    m_dropBoxManager = m_services.makeDropboxManager(context);
    m_dropBoxManager->setDelegate(this);
    if (m_dropBoxManager->isDropBoxSyncEnabled()) {
        SharedSettingController::sharedSettings().setIsDropboxEnabled(true);
        addDropboxMenuItems();
    }
    recordStep(QStringLiteral("dropboxManager"));

    const QScreen *screen = QGuiApplication::primaryScreen();
    const int minimumHeight = MainWindow::minimumHeightForScaleFactor(screen ? screen->devicePixelRatio() : 1.0);
    m_window->setMainViewMinimumHeight(minimumHeight);
    m_window->setSidebarMinimumHeight(minimumHeight);

    loadContactGroupSelectionMenuForButton();
    m_shareAttachmentsArray.clear();
    updateLaunchCount();

    if (!dataPlistValues().boolValue(WhatsNew410Key)) {
        showWhatsNewMessage();
    } else if (iCloudEnabledInApp() && m_cloudKitSyncManager) {
        m_cloudKitSyncManager->checkForExistingCloudKitMigrationWithCompletionHandler([self](bool exists) {
            platform::core::dispatchAsyncMain([self, exists] {
                if (self && exists)
                    self->askCloudKitSwitch();
            });
        });
    }

    m_launchComplete = true;
    recordStep(QStringLiteral("launchComplete"));

    // An activation that came while the launch waited (lock screen, pre-update backup) could not start the
    // Dropbox check, because the Dropbox manager did not exist yet; it starts now.
    if (m_didBeginActiveCalledOnce)
        startDropboxLaunchCheck();

    emit launchCompleted();
    offerCrashReport();

    if (!m_pendingNotification.isEmpty()) {
        const QVariantMap pending = m_pendingNotification;
        m_pendingNotification.clear();
        openNotification(pending);
    }
}

bool AppDelegate::storeIsOpen() const
{
    if (!m_coreDataController)
        return false;
    const auto coordinator = m_coreDataController->loadedPersistentStoreCoordinator();
    return coordinator && !coordinator->persistentStores().isEmpty();
}

void AppDelegate::storeLoadedHandler()
{
    QDLogInfo(QStringLiteral("AppDelegate: postUpdateAndApplicationDidFinishLaunchingWithNotification - inside completion block"));
    const ContextPtr context = m_coreDataController ? m_coreDataController->managedObjectContext() : nullptr;
    if (!context || !storeIsOpen()) {
        // A context over no store: no service may start on it.
        recordStep(QStringLiteral("storeLoaded:noStore"));
        return;
    }
    recordStep(QStringLiteral("storeLoaded"));

    auto listener = m_services.makeSaveListener(context);
    listener->setDelegate(this);
    auto calendar = m_services.makeCalendarWatcher(context);
    auto contacts = m_services.makeContactsRefresh(context);
    m_coreDataController->setRequestQueue(m_services.makeGeocoderQueue(context));
    m_mapSaveNotices = std::make_unique<MapSaveNotices>(context);
    auto backups = m_services.makeBackupController(context);
    auto syncManager =
        m_services.makeSyncManager(context, UserDefaults::standardUserDefaults()->integerForKey(CloudKitUserStateKey));
    listener->setModificationsDelegate(syncManager);

    m_cloudListener = listener;
    m_calendarSyncController = calendar;
    m_contactsSyncController = contacts;
    m_backupController = backups;
    m_cloudKitSyncManager = syncManager;

    if (!m_record->ckRunAppLaunchOperations.load() && SharedSettingController::sharedSettings().isCloudKitEnabled()) {
        m_services.userNotifications->registerForRemoteNotifications();
        recordStep(QStringLiteral("registerForRemoteNotifications"));
    }

    const std::shared_ptr<LaunchRecord> record = m_record;
    auto postLogin = BlockOperation::create([record] { record->add(PostLoginOperationName); });
    postLogin->setName(PostLoginOperationName);
    if (!m_appLaunchOperations.empty())
        postLogin->addDependency(m_appLaunchOperations.back());
    m_appLaunchOperations.push_back(postLogin);

    // The chain holds its services weakly: objects that a later run replaced are gone, and their part of
    // the chain with them.
    const std::weak_ptr<CalendarWatcherService> weakCalendar = calendar;
    const std::weak_ptr<CloudSyncService> weakSync = syncManager;
    QDCloudKitSyncManagerDelegate *syncDelegate = this;
    auto cloudStep = [record, weakSync, syncDelegate] {
        record->add(QStringLiteral("calendarSyncDone"));
        const std::shared_ptr<CloudSyncService> sync = weakSync.lock();
        if (!sync)
            return;
        sync->setDelegate(syncDelegate);
        if (record->ckRunAppLaunchOperations.exchange(false)) {
            QDLogInfo(QStringLiteral("\n\nAppDelegate: appLaunchOperations - running setupOperationsForAppLaunch"));
            sync->setupOperationsForAppLaunch();
            record->add(QStringLiteral("cloudStep:setupOperationsForAppLaunch"));
        } else {
            sync->setHasLaunchOperationsBeenCalled(true);
            record->add(QStringLiteral("cloudStep:setHasLaunchOperationsBeenCalled"));
        }
    };
    contacts->operationsForLoadingContactImagesAndLinksWithInitialDependentOperation(
        postLogin, [record, weakCalendar, cloudStep](bool) {
            record->add(QStringLiteral("contactsRefreshDone"));
            if (const std::shared_ptr<CalendarWatcherService> calendarWatcher = weakCalendar.lock())
                calendarWatcher->startOperationsToSyncAllEventsWithCalendarWithCompletionHandler(cloudStep);
        });
}

void AppDelegate::runAppLaunchOperations()
{
    recordStep(QStringLiteral("runAppLaunchOperations"));
    const auto operations = std::move(m_appLaunchOperations);
    m_appLaunchOperations.clear();
    for (const auto &operation : operations)
        OperationQueue::mainQueue()->addOperation(operation);
}

void AppDelegate::presentPasscodeScreenWithBlock(std::function<void()> block)
{
    if (m_passwordController && m_passwordController->isAttached())
        return;
    QDLogInfo(QStringLiteral("AppDelegate: presentPasscodeScreenWithBlock"));
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("AppDelegate-Activity"),
                                                           {{QStringLiteral("Action"), QStringLiteral("PasswordPresented")}});
    recordStep(QStringLiteral("presentPasscodeScreen"));

    // The cover hides what is under the prompt (at launch: the empty place of the first section).
    if (QWidget *current = m_window->currentView()) {
        removeCoverView();
        auto *cover = new QWidget(current);
        cover->setObjectName(QStringLiteral("coverView"));
        QPalette palette = cover->palette();
        palette.setColor(QPalette::Window, Qt::white);
        cover->setPalette(palette);
        cover->setAutoFillBackground(true);
        cover->setGeometry(current->rect());
        cover->raise();
        cover->show();
        current->installEventFilter(this);
        m_coverView = cover;
    }

    m_passwordController = m_services.makePasscodeSheet();
    setShowingPasswordScreen(true);
    // Nothing of the data stays on show beside the lock.
    if (m_preferencesWindowController && m_preferencesWindowController->isVisible())
        m_preferencesWindowController->close();
    NotificationCenter::defaultCenter().post(PasswordScreenWillShowNotification, nullptr);

    QPointer<AppDelegate> self(this);
    m_passwordController->beginSheet(m_window, [self, block = std::move(block)] {
        if (!self)
            return;
        self->removeCoverView();
        if (block)
            block();
        self->setShowingPasswordScreen(false);
        // A notification clicked while the lock was up opens now (at launch, once the launch is complete).
        if (self->m_launchComplete && !self->m_pendingNotification.isEmpty()) {
            const QVariantMap pending = std::exchange(self->m_pendingNotification, {});
            self->openNotification(pending);
        }
    });
}

void AppDelegate::removeCoverView()
{
    if (!m_coverView)
        return;
    if (QWidget *parent = m_coverView->parentWidget())
        parent->removeEventFilter(this);
    delete m_coverView.data();
}

// ---- Unopenable store ----

void AppDelegate::storeCouldNotBeOpened(const QString &path, const QDError &error)
{
    m_unopenableStorePath = path;
    m_unopenableStoreError = error;
    // During the launch the post-launch step reports it once the section has asked for the store; a store
    // lost later (a restore or a change of sync mode) is reported at once.
    if (m_launchComplete)
        handleUnopenableStore();
}

bool AppDelegate::handleUnopenableStore()
{
    if (m_launchFailed)
        return false;
    const bool wasComplete = m_launchComplete;
    m_launchComplete = false;
    recordStep(QStringLiteral("storeUnavailable"));

    const QString path = m_unopenableStorePath.isEmpty()
                             ? QDir(SharedSettingController::sharedSettings().applicationSupportPath())
                                   .filePath(CoreDataControllerMac::LocalStoreFileName)
                             : m_unopenableStorePath;
    const QString reason = m_unopenableStoreError.isNull() ? QStringLiteral("The reason is not known.")
                                                           : m_unopenableStoreError.localizedDescription();
    QDLogError(QStringLiteral("🚨🚨 AppDelegate: no store to run on (%1): %2 🚨🚨").arg(path, reason));

    // No window may go on working without its data.
    const bool windowWasVisible = m_window && m_window->isVisible();
    if (m_window)
        m_window->hide();
    AlertSpec spec;
    spec.style = platform::ui::AlertStyle::Critical;
    spec.messageText = StoreUnavailableTitle;
    spec.informativeText =
        QStringLiteral("Quendel could not open its data file \"%1\".\n\n%2\n\nThe file has not been changed, so it "
                       "can still be recovered, or replaced by a backup you restore now. Quendel cannot run without it.")
            .arg(QDir::toNativeSeparators(path), reason);
    spec.buttonTitles = {QuitButton, RestoreFromBackupButton};
    while (AlertPresenter::shared().runModalBlocking(spec).buttonIndex == 1) {
        if (restoreUnopenableStoreFromBackup()) {
            recordStep(QStringLiteral("storeRestored"));
            m_unopenableStorePath.clear();
            m_unopenableStoreError = QDError();
            m_launchComplete = wasComplete;
            if (m_window && (windowWasVisible || !wasComplete))
                m_window->show();
            return true;
        }
    }

    m_launchFailed = true;
    m_terminating = true;
    exitProgram(1);
    return false;
}

bool AppDelegate::restoreUnopenableStoreFromBackup()
{
    platform::ui::FilePanelSpec panel;
    panel.title = QStringLiteral("Restore from Backup");
    panel.prompt = QStringLiteral("Restore");
    panel.directory = BackupFile::backupFolder();
    panel.allowedExtensions = {QStringLiteral("zip")};
    const platform::ui::FilePanelAnswer chosen = platform::ui::FilePanelPresenter::shared().runOpenPanelBlocking(panel);
    if (!chosen.accepted)
        return false;
    DBFileRestore restore;
    restore.setStoreController(m_coreDataController);
    if (DBFileRestore::doesFileHavePassword(chosen.path)) {
        AlertSpec ask;
        ask.messageText = BackupsPreferencesPane::PasscodeTitle;
        ask.informativeText = BackupsPreferencesPane::PasscodeMessage;
        ask.buttonTitles = {QStringLiteral("Restore"), CancelButton};
        ask.hasAccessoryTextField = true;
        ask.accessoryIsSecure = true;
        const AlertResult answer = AlertPresenter::shared().runModalBlocking(ask);
        if (answer.buttonIndex != 0)
            return false;
        restore.setPword(answer.accessoryText);
    }
    const int result = restore.restore_db_file(chosen.path, RestoreTypeFile);
    if ((result == RestoreResultSuccess || result == RestoreResultCloudStore) && storeIsOpen())
        return true;
    AlertSpec failed;
    failed.messageText = QStringLiteral("Restore Failed");
    failed.informativeText = result == RestoreResultWrongPassword
                                 ? QStringLiteral("The passcode does not open this backup.")
                                 : result == RestoreResultNoDatabase
                                       ? QStringLiteral("The zip file does not contain the data of a Quendel backup.")
                                       : QStringLiteral("The backup could not be restored.");
    AlertPresenter::shared().runModalBlocking(failed);
    return false;
}

void AppDelegate::exitProgram(int code)
{
    if (m_exitHandler)
        m_exitHandler(code);
}

// ---- Lifecycle ----

AppDelegate::ContextPtr AppDelegate::managedObjectContext()
{
    return m_coreDataController ? m_coreDataController->managedObjectContext() : nullptr;
}

std::shared_ptr<const platform::store::ManagedObjectModel> AppDelegate::managedObjectModel()
{
    return m_coreDataController ? m_coreDataController->managedObjectModel() : nullptr;
}

std::shared_ptr<platform::store::StoreCoordinator> AppDelegate::persistentStoreCoordinator()
{
    return m_coreDataController ? m_coreDataController->persistentStoreCoordinator() : nullptr;
}

namespace {
// Ends the edit in progress, so a half-typed value reaches its record before anything is saved.
bool commitEditing()
{
    if (QWidget *focus = QApplication::focusWidget())
        focus->clearFocus();
    return true;
}
} // namespace

void AppDelegate::saveAction()
{
    if (!storeIsOpen())
        return;
    const ContextPtr context = managedObjectContext();
    if (!context || !commitEditing())
        return;
    if (!context->hasChanges())
        return;
    QDError error;
    if (!context->save(&error))
        presentError(error);
}

bool AppDelegate::presentError(const QDError &error)
{
    AlertSpec spec;
    spec.style = platform::ui::AlertStyle::Critical;
    const QString description = error.localizedDescription();
    spec.messageText = description.isEmpty() ? QStringLiteral("The operation could not be completed.") : description;
    spec.buttonTitles = {QStringLiteral("OK")};
    AlertPresenter::shared().runModalBlocking(spec);
    return false;
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate()
{
    recordStep(QStringLiteral("shouldTerminate"));
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();

    // A store that was never opened has nothing to save; asking for the context now would open it.
    if (!storeIsOpen())
        return TerminateReply::TerminateNow;
    const ContextPtr context = managedObjectContext();
    if (!context)
        return TerminateReply::TerminateNow;
    if (!commitEditing())
        return TerminateReply::TerminateCancel;
    if (!context->hasChanges())
        return TerminateReply::TerminateNow;

    QDError error;
    if (context->save(&error))
        return TerminateReply::TerminateNow;
    QDLogError(QStringLiteral("🚨🚨 AppDelegate: applicationShouldTerminate - save failed: %1 🚨🚨").arg(error.toString()));
    if (presentError(error))
        return TerminateReply::TerminateCancel;

    AlertSpec spec;
    spec.messageText = tr(QuitUnsavedTitle.toUtf8().constData());
    spec.informativeText = tr(QuitUnsavedMessage.toUtf8().constData());
    spec.buttonTitles = {tr(QuitAnywayButton.toUtf8().constData()), tr(CancelButton.toUtf8().constData())};
    const AlertResult answer = AlertPresenter::shared().runModalBlocking(spec);
    return answer.buttonIndex == 0 ? TerminateReply::TerminateNow : TerminateReply::TerminateCancel;
}

void AppDelegate::terminate()
{
    if (m_terminating)
        return;
    if (applicationShouldTerminate() != TerminateReply::TerminateNow)
        return;
    m_terminating = true;
    checkpointStore();
    recordStep(QStringLiteral("terminate"));
    exitProgram(0);
}

void AppDelegate::quitPressed()
{
    if (m_passwordController && m_passwordController->isWindowLoaded())
        m_passwordController->close();
    terminate();
}

void AppDelegate::quitWithoutAsking()
{
    m_terminating = true;
    SharedSettingController::sharedSettings().writeToContactsReferenceFile();
    if (!storeIsOpen())
        return;
    const ContextPtr context = managedObjectContext();
    if (!context)
        return;
    commitEditing();
    if (context->hasChanges()) {
        QDError error;
        if (!context->save(&error))
            QDLogError(QStringLiteral("🚨🚨 AppDelegate: changes lost at quit: %1 🚨🚨").arg(error.toString()));
    }
    checkpointStore();
}

void AppDelegate::quitOnSignal(int signalNumber)
{
    QDLogInfo(QStringLiteral("AppDelegate: quitting on signal %1").arg(signalNumber));
    recordStep(QStringLiteral("quitOnSignal:%1").arg(signalNumber));
    if (m_terminating)
        return;
    if (m_passwordController && m_passwordController->isWindowLoaded())
        m_passwordController->close();
    quitWithoutAsking();
    recordStep(QStringLiteral("terminate"));
    exitProgram(0);
}

void AppDelegate::checkpointStore()
{
    const auto coordinator = m_coreDataController ? m_coreDataController->loadedPersistentStoreCoordinator() : nullptr;
    if (!coordinator || coordinator->persistentStores().isEmpty())
        return;
    QDError error;
    if (!coordinator->checkpoint(&error))
        QDLogError(QStringLiteral("AppDelegate: the store's log could not be folded in at quit: %1").arg(error.toString()));
}

void AppDelegate::bringWindowForward()
{
    recordStep(QStringLiteral("bringWindowForward"));
    if (!m_window || m_launchFailed)
        return;
    if (m_window->isMinimized())
        m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AppDelegate::reachabilityChanged(const Notification &)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    if (!settings.isCloudKitEnabled())
        return;
    const std::shared_ptr<QDReachability> reachability = settings.reachabilityStatus();
    const int status = reachability ? reachability->currentReachabilityStatus() : NotReachable;
    if (status == NotReachable)
        setActivityText(NoInternetText);
    else if (!m_activityText.isEmpty())
        setActivityText(QStringLiteral(""));
}

void AppDelegate::applicationWillResignActive()
{
    recordStep(QStringLiteral("willResignActive"));
    if (m_calendarSyncController)
        m_calendarSyncController->didResignActive();
    UserDefaults::standardUserDefaults()->setObject(platform::core::Clock::now(), AppEnteredBackgroundTimeKey);
}

void AppDelegate::applicationDidBecomeActive()
{
    QDLogInfo(QStringLiteral("AppDelegate: applicationDidBecomeActive"));
    recordStep(QStringLiteral("didBecomeActive"));
    if (!m_didBeginActiveCalledOnce) {
        m_didBeginActiveCalledOnce = true;
        startDropboxLaunchCheck();
        return;
    }
    if (m_passwordExists) {
        const auto defaults = UserDefaults::standardUserDefaults();
        if (PasscodeLock::requiresPasscode(m_passwordExists, defaults->integerForKey(RequirePinIntervalKey),
                                           defaults->dateForKey(AppEnteredBackgroundTimeKey),
                                           platform::core::Clock::now())) {
            QDLogInfo(QStringLiteral("AppDelegate: applicationDidBecomeActive - requires password"));
            QPointer<AppDelegate> self(this);
            presentPasscodeScreenWithBlock([self] {
                if (self)
                    self->becameActiveAfterPasscode();
            });
            return;
        }
    }
    becameActiveAfterPasscode();
}

void AppDelegate::becameActiveAfterPasscode()
{
    if (m_calendarSyncController)
        m_calendarSyncController->didBecomeActive();
    if (m_cloudKitSyncManager && SharedSettingController::sharedSettings().isCloudKitEnabled())
        m_cloudKitSyncManager->checkCloudKitPollingOperation();
}

void AppDelegate::startDropboxLaunchCheck()
{
    if (m_dropboxLaunchCheckStarted || !m_dropBoxManager || !m_dropBoxManager->isDropBoxSyncEnabled())
        return;
    m_dropboxLaunchCheckStarted = true;
    m_dropBoxManager->checkDropBoxFileRevisionAtLaunch(true);
    m_dropBoxManager->setupRepeatTimer();
    recordStep(QStringLiteral("dropboxLaunchCheck"));
}

void AppDelegate::syncEventsWithCalendar(const void *flag)
{
    if (m_calendarSyncController)
        m_calendarSyncController->syncEventsWithCalendar(flag);
}

void AppDelegate::userNotificationCenterDidActivateNotification(const QVariantMap &userInfo)
{
    if (userInfo.contains(NewRevKey) || userInfo.contains(CloudFetchKey))
        return;
    if (m_window && m_window->isMinimized())
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    if (userInfo.isEmpty())
        return;
    if (!m_launchComplete || m_showingPasswordScreen) {
        // The lock screen, the pre-update backup and the launch alerts must run to their end; the contact
        // opens once the store is there and the passcode was entered.
        m_pendingNotification = userInfo;
        recordStep(QStringLiteral("notificationDeferred"));
        return;
    }
    openNotification(userInfo);
}

void AppDelegate::openNotification(const QVariantMap &userInfo)
{
    QWidget *passcodeWindow = m_passwordController ? m_passwordController->sheetWindow() : nullptr;
    const auto sheets = platform::ui::Sheet::attachedSheets(m_window);
    for (platform::ui::Sheet *sheet : sheets) {
        if (sheet != passcodeWindow && sheet != m_crashOfferSheet)
            sheet->endSheet(platform::ui::ModalResponseCancel);
    }
    if (m_passwordController && m_passwordController->isAttached())
        return;

    if (Person *person = getPersonWithNotificationInfo(userInfo)) {
        switchToContactsPageWithPerson(person, ToDosTabIndex);
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("UserNotificationReceived"));
    }
}

Person *AppDelegate::getPersonWithNotificationInfo(const QVariantMap &userInfo)
{
    if (!userInfo.contains(ToDoAlertPersonGUIDKey))
        return nullptr;
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("AppDelegate-Activity"),
        {{QStringLiteral("Action"), QStringLiteral("LocalNotificationReceived-withGUIDKey")}});
    if (!storeIsOpen())
        return nullptr;
    const ContextPtr context = managedObjectContext();
    if (!context)
        return nullptr;
    platform::store::FetchRequest request(Person::EntityName);
    request.setPredicate(platform::store::Predicate::equal(QStringLiteral("guid"), userInfo.value(ToDoAlertPersonGUIDKey)));
    request.setFetchLimit(1);
    QDError error;
    const QList<platform::store::ManagedObject *> found = context->executeFetchRequest(request, &error);
    return found.isEmpty() ? nullptr : dynamic_cast<Person *>(found.first());
}

void AppDelegate::prepareForDBRestore(const Notification &notification)
{
    if (m_window)
        m_window->switcher().clearRememberedSearches();
    emit searchFieldResetRequested();
    // Each section lets go of the old context's objects before the store is replaced.
    for (int index = 0; m_window && index < SectionSwitcher::SectionCount; ++index) {
        if (MainWindowManagerViewController *section = m_window->sectionController(index))
            section->prepareForDBRestore(notification);
    }
}

void AppDelegate::databaseRestoredNotification(const Notification &notification)
{
    if (!storeIsOpen())
        return;
    const ContextPtr context = managedObjectContext();
    recordStep(QStringLiteral("databaseRestored"));
    for (int index = 0; m_window && index < SectionSwitcher::SectionCount; ++index) {
        if (MainWindowManagerViewController *section = m_window->sectionController(index))
            section->databaseRestoredNotification(notification);
    }
    runAppLaunchOperations();
    m_services.userNotifications->removeAllDeliveredNotifications();
    m_services.userNotifications->removeAllScheduledNotifications();
    m_services.userNotifications->scheduleAllToDoAlertsWithContext(context);
    loadContactGroupSelectionMenuForButton();
}

// ---- Sections ----

MainWindow *AppDelegate::window() const
{
    return m_window;
}

int AppDelegate::currentIndex() const
{
    return m_window ? m_window->currentIndex() : -1;
}

void AppDelegate::selectItemAtIndex(int index)
{
    recordStep(QStringLiteral("selectItemAtIndex:%1").arg(index));
    if (m_window)
        m_window->selectItemAtIndex(index);
}

void AppDelegate::switchToContactsPageWithPerson(Person *person, int tabIndex)
{
    selectItemAtIndex(0);
    if (MacContactsViewController *contacts = contactsViewController())
        contacts->showContactFromElsewhere(person, tabIndex);
    emit contactPageRequested(person, tabIndex);
}

MacContactsViewController *AppDelegate::contactsViewController() const
{
    return m_window ? qobject_cast<MacContactsViewController *>(m_window->sectionController(SectionSwitcher::Contacts))
                    : nullptr;
}

MainWindowManagerViewController *AppDelegate::makeSectionController(int index)
{
    if (index == SectionSwitcher::Map)
        return makeMapSection();
    if (index == SectionSwitcher::ToDos)
        return new MacAllTodosViewController(managedObjectContext());
    if (index == SectionSwitcher::Files)
        return new MacAllFilesViewController(managedObjectContext());
    if (index == SectionSwitcher::Logs)
        return new MacAllLogsViewController(managedObjectContext());
    if (index != SectionSwitcher::Contacts)
        return nullptr;
    auto *contacts = new MacContactsViewController(managedObjectContext());
    if (m_coreDataController)
        contacts->setFilterQueue(m_coreDataController->filterMainQueue());
    // The list follows the address book: other programs' changes and the people we add ourselves.
    contacts->contactsListSource()->setAddressBook(platform::contacts::AddressBook::shared());
    // A restore gives the section a new context; the pages it makes from then on read that one.
    QPointer<MacContactsViewController> section(contacts);
    contacts->setTabFactory([section](int tab, Person *person) -> ContactPageTab * {
        return ContactPagePane::tabFactory(section ? section->managedObjectContext() : nullptr)(tab, person);
    });
    contacts->setAnalyticsLogger(logAnalytics);
    contacts->setSearchFieldClearer([this] {
        if (m_toolbar)
            m_toolbar->searchField()->clear();
    });
    MacContactsViewController::AddActions adding;
    adding.importContacts = [this] { showImportContactsWindow(); };
    adding.importOfferedContacts = [this](const QList<platform::contacts::ContactRecord> &offered) {
        showImportContactsWindow(offered);
    };
    adding.createContact = [this](bool isPrivate) { showAddContactSheet(isPrivate); };
    adding.cloneContact = [this](Person *source) { showAddContactSheet(false, source); };
    contacts->setAddActions(std::move(adding));
    contacts->setPrivateGroupsChangedHandler([this] {
        if (m_groupMenu)
            m_groupMenu->doneEditPrivateGroupsList();
    });
    contacts->setFirstRunLaunch(std::exchange(m_firstRunLaunch, std::nullopt));
    contacts->setReviewHandler([this] { reviewInAppStorePressed(false); });
    return contacts;
}

MacAllFilesViewController *AppDelegate::filesViewController() const
{
    return m_window ? qobject_cast<MacAllFilesViewController *>(m_window->sectionController(SectionSwitcher::Files))
                    : nullptr;
}

MainWindowManagerViewController *AppDelegate::makeMapSection()
{
    auto *map = new MacMapViewController(managedObjectContext());
    map->setRequestQueueProvider([this]() -> std::shared_ptr<GeocoderRequestQueue> {
        return m_coreDataController ? m_coreDataController->requestQueue() : nullptr;
    });
    map->setShowContactPage([this](Person *person) { switchToContactsPageWithPerson(person, 5); });
    return map;
}

QTreeView *AppDelegate::sectionList(int index) const
{
    if (index == SectionSwitcher::Map && m_window) {
        if (auto *map = qobject_cast<MacMapViewController *>(m_window->sectionController(index)))
            return map->locationsListOutlineView();
    }
    if (index == SectionSwitcher::Logs && m_window) {
        if (auto *logs = qobject_cast<MacAllLogsViewController *>(m_window->sectionController(index)))
            return logs->allLogsOutlineView();
    }
    if (index == SectionSwitcher::Contacts) {
        if (MacContactsViewController *contacts = contactsViewController())
            return contacts->contactsOutlineView();
    }
    return nullptr;
}

AddContactWindowController *AppDelegate::addContactWindowController() const
{
    return m_addContactController;
}

void AppDelegate::showAddContactSheet(bool isPrivate, Person *cloneSource)
{
    if (!m_window || !storeIsOpen() || m_addContactController)
        return;
    ContactInfoViewControllerMac *page = cloneSource
                                             ? ContactPageTabsMac::makeClonePage(cloneSource, managedObjectContext())
                                             : ContactPageTabsMac::makeAddContactPage(isPrivate, managedObjectContext());
    page->setAddContactDelegate(this);
    auto *controller = new AddContactWindowController(AddContactWindowController::WindowNibName, this);
    controller->setContentViewController(page);
    m_addContactController = controller;
    // The page ends its sheet itself; the sheet then deletes itself and the page with it.
    controller->beginSheetOnWindow(m_window, [controller](int) { controller->deleteLater(); });
}

void AppDelegate::addedNewContactWithPerson(Person *person)
{
    if (!person)
        return;
    platform::store::ManagedObjectID id;
    if (platform::store::ManagedObjectContext *childContext = person->managedObjectContext())
        childContext->performAndWait([&] { id = person->objectID(); });
    const ContextPtr context = managedObjectContext();
    if (!context)
        return;
    auto *stored = dynamic_cast<Person *>(context->objectWithID(id));
    if (!stored)
        return;
    selectItemAtIndex(SectionSwitcher::Contacts);
    if (MacContactsViewController *contacts = contactsViewController()) {
        contacts->reloadContactsListWithNewPersons({stored}, true);
        contacts->checkUpdateContactCreatedFlag();
    }
}

// ---- For the kit ----

void AppDelegate::showAlertWithTitle(const QString &title, const QString &message)
{
    QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(title, message);
}

void AppDelegate::logEventWithString(const QString &name, const QVariantMap &parameters)
{
    if (parameters.isEmpty())
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(name);
    else
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(name, parameters);
}

void AppDelegate::showNetworkActivityIndicator()
{
    SharedAppGlobals::sharedAppGlobals().showNetworkActivityIndicator();
}

void AppDelegate::stopActivityIndicator()
{
    SharedAppGlobals::sharedAppGlobals().hideNetworkActivityIndicator();
}

void AppDelegate::setActivityText(const QString &text)
{
    if (m_activityText == text && m_activityText.isNull() == text.isNull())
        return;
    m_activityText = text;
    emit activityTextChanged(text);
}

void AppDelegate::setActivityIndicatorAnimating(bool animating)
{
    if (m_activityAnimating == animating)
        return;
    m_activityAnimating = animating;
    emit activityIndicatorChanged(animating);
}

// ---- Neighbours' parts ----

void AppDelegate::initHockey()
{
    recordStep(QStringLiteral("initHockey"));
    CrashReporting::start(SharedSettingController::sharedSettings().applicationSupportPath());
}

void AppDelegate::offerCrashReport()
{
    const QString report = CrashReporting::pendingReport();
    if (report.isEmpty() || !m_window)
        return;
    recordStep(QStringLiteral("offerCrashReport"));
    AlertSpec spec;
    spec.messageText = CrashReporting::OfferTitle;
    spec.informativeText = QStringLiteral(
        "The last time Quendel ran, it quit unexpectedly. A report of what it was doing was kept on this "
        "computer.\n\nWould you like to send it by e-mail? You can read the e-mail before you send it; "
        "nothing is sent otherwise.");
    // Nothing leaves the machine unless the user asks: the default answer keeps the report here.
    spec.buttonTitles = {CrashReporting::DontSendButton, CrashReporting::SendButton};
    QPointer<AppDelegate> self(this);
    AlertPresenter::shared().beginSheet(spec, m_window, [self, report](const platform::ui::AlertResult &result) {
        if (result.buttonIndex != 1) {
            CrashReporting::discardPendingReport();
            return;
        }
        if (!self)
            return;
        self->sendEmailWithSubject(CrashReporting::ReportSubject, report, {}, {ProblemReportAddress}, false, false,
                                   [](bool handedOff) {
                                       if (handedOff) {
                                           CrashReporting::discardPendingReport();
                                           return;
                                       }
                                       QDAlertDisplayMac::sharedAlert()->showAlertWithTitle(
                                           QStringLiteral("Report not sent"),
                                           QStringLiteral("No e-mail program took the report. It stays on this "
                                                          "computer and is offered again at the next start."),
                                           [](const platform::ui::AlertResult &) {});
                                   });
    });
    // The offer is a launch alert: a notification clicked meanwhile does not take it away.
    m_crashOfferSheet = platform::ui::Sheet::attachedSheet(m_window);
}

void AppDelegate::showReviewNagMac()
{
    const int type = SharedSettingController::sharedSettings().showReviewPromptType();
    // A prompt that points at no store would send the user nowhere.
    if (type == 0 || CrashReporting::reviewStoreURL().isEmpty())
        return;
    SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(
        QStringLiteral("AppDelegate-Activity"),
        {{QStringLiteral("Action"), QStringLiteral("ShowReviewNag")}, {QStringLiteral("Type:"), QStringLiteral("iTunes")}});
    AlertSpec spec;
    spec.messageText = QStringLiteral("Support Quendel");
    spec.informativeText =
        type == 2 ? QStringLiteral("If you enjoy using Quendel, please support us by updating your review or rating "
                                   "in the App Store, or leave a new one if you haven't already.\n\n")
                  : QStringLiteral("If you enjoy using Quendel, please support us by leaving a review / rating in "
                                   "the App Store, or updating your existing review for the current version.\n\n");
    spec.buttonTitles = {QStringLiteral("Review on App Store"), QStringLiteral("Not now")};
    QPointer<AppDelegate> self(this);
    AlertPresenter::shared().beginSheet(spec, m_window, [self](const platform::ui::AlertResult &result) {
        if (self && result.buttonIndex == 0)
            self->reviewInAppStorePressed(false);
    });
}

void AppDelegate::buildSidebarItems()
{
    recordStep(QStringLiteral("buildSidebarItems"));
    if (m_sidebar || !m_window)
        return;
    m_sidebar = std::make_unique<MainWindowSidebar>(m_window);
    m_window->setSidebarView(m_sidebar->outlineView());
    // The window may already be on show; a child added to it now is not shown with it.
    m_sidebar->outlineView()->show();
    m_sidebar->buildSidebarItems();
    m_sidebar->setShowingPasswordScreenProvider([this] { return m_showingPasswordScreen; });
    m_sidebar->setFilesDropHandler([this](const QMimeData *data) {
        auto *files = filesViewController();
        return files && files->acceptFileDrop(data);
    });
    m_sidebar->setSectionListProvider([this](int index) { return sectionList(index); });
    connect(m_window, &MainWindow::sidebarRowSelectionRequested, m_sidebar.get(),
            [sidebar = m_sidebar.get()](int row) { sidebar->selectFirstRowInSidebarWithIndex(row); });
    // The sidebar receives the keys that move the focus back to it from the sections' lists.
    KeyRoutingDelegate::setApplicationDelegate(m_sidebar.get());
}

void AppDelegate::buildToolbar()
{
    if (m_toolbar || !m_window)
        return;
    m_toolbar = std::make_unique<MainWindowToolbar>(m_window);
    m_window->addToolBar(m_toolbar->toolBar());
    m_toolbar->toolBar()->show();
    MainWindowToolbar::AddHandlers handlers;
    handlers.addContacts = [this](QWidget *anchor) {
        if (MacContactsViewController *contacts = contactsViewController())
            contacts->addContactsButtonPressed(anchor);
    };
    handlers.newLogs = [this](QWidget *anchor) {
        if (auto *logs = m_window ? qobject_cast<MacAllLogsViewController *>(
                                        m_window->sectionController(SectionSwitcher::Logs))
                                  : nullptr)
            logs->newLogsButtonPressed(anchor);
    };
    handlers.newTodos = [this](QWidget *anchor) {
        if (auto *todos = m_window ? qobject_cast<MacAllTodosViewController *>(
                                         m_window->sectionController(SectionSwitcher::ToDos))
                                   : nullptr)
            todos->newTodosButtonPressed(anchor);
    };
    handlers.newFiles = [this](QWidget *anchor) {
        if (auto *files = filesViewController())
            files->newFilesButtonPressed(anchor);
    };
    handlers.printMap = [this] {
        if (auto *map = m_window ? qobject_cast<MacMapViewController *>(m_window->sectionController(SectionSwitcher::Map))
                                 : nullptr)
            map->printMapView();
    };
    handlers.editContactsGroup = [this] {
        if (m_groupMenu)
            m_groupMenu->editContactsGroupButtonPressed();
    };
    m_toolbar->setAddHandlers(std::move(handlers));
    m_toolbar->setAnalyticsLogger(logAnalytics);
    m_groupMenu = std::make_unique<ContactGroupMenu>(
        m_window, m_toolbar.get(), [this] { return storeIsOpen() ? managedObjectContext() : ContextPtr(); },
        [] {
            const auto bridge = VCardAddressBookBridge::installed();
            return bridge ? bridge->addressBook() : nullptr;
        });
    m_groupMenu->setAnalyticsLogger(logAnalytics);
    // Every contact picker lists only the members of the group chosen in the toolbar.
    SelectContactsViewControllerMac::setGroupFilterProvider(
        [menu = QPointer<ContactGroupMenu>(m_groupMenu.get())](SelectContactsViewControllerMac *picker) {
            if (menu)
                menu->applyChoiceToPicker(picker);
        });
    m_toolbar->setGroupSelectionButton(m_groupMenu->groupSelectionButton());
    m_toolbar->setSectionListProvider([this](int index) { return sectionList(index); });
    m_toolbar->setSidebarWidthProvider([] { return MainWindow::SidebarWidth; });
    if (m_sidebar)
        m_sidebar->setTabTargets(m_toolbar->groupSelectionButton(), m_toolbar->searchField());
    connect(this, &AppDelegate::searchFieldResetRequested, m_toolbar.get(), [toolbar = m_toolbar.get()] {
        toolbar->searchField()->clear();
    });
}

void AppDelegate::buildMainMenu()
{
    if (m_menuCommands || !m_window)
        return;
    m_menuCommands = std::make_unique<MainMenuCommands>(m_window, m_toolbar.get());
    m_menuCommands->buildMenus(m_window->menuBar());
    m_menuCommands->setAnalyticsLogger(logAnalytics);
    m_menuCommands->setQuitHandler([this] { quitPressed(); });
    m_menuCommands->setPreferencesHandler([this] { showPreferencesWindow(); });
    // In the Files section Paste is on when the clipboard holds addresses of files.
    m_menuCommands->setFilesPasteHandler([this] {
        if (auto *files = filesViewController())
            files->paste();
    });
    m_menuCommands->setFilesValidator([this, commands = m_menuCommands.get()](QAction *item) {
        if (item != commands->pasteCommand())
            return true;
        auto *files = filesViewController();
        return files && files->canPaste();
    });
    m_menuCommands->setShowingPasswordScreen(m_showingPasswordScreen);
    // The Add menu's vCard file import, also at hand in the File menu from any section.
    auto *importCard = new QAction(QStringLiteral("Import vCard File…"), m_menuCommands.get());
    importCard->setToolTip(QStringLiteral("Import contacts from a vCard or VCF file"));
    connect(importCard, &QAction::triggered, this, [this] { showImportvCardFile(); });
    if (QMenu *file = m_window->menuBar()->findChild<QMenu *>(QString(), Qt::FindDirectChildrenOnly))
        file->insertAction(file->actions().value(0), importCard);
    // Off behind the passcode screen, as the other commands are.
    m_menuCommands->addCommand(importCard);

    // The report export pane is a pane of the preferences; the File menu opens it there.
    auto *exportReport = new QAction(QStringLiteral("Export Report…"), m_menuCommands.get());
    exportReport->setObjectName(QStringLiteral("exportReportPressed"));
    connect(exportReport, &QAction::triggered, this, [this] { showReportExportPane(); });
    const QList<QAction *> menus = m_window->menuBar()->actions();
    if (!menus.isEmpty() && menus.first()->menu())
        menus.first()->menu()->insertAction(m_menuCommands->preferencesCommand(), exportReport);
    m_menuCommands->addCommand(exportReport);
    buildHelpMenu();
}

void AppDelegate::showReportExportPane()
{
    showPreferencesWindow();
    if (m_preferencesWindowController)
        m_preferencesWindowController->showWindowOnTab(PreferencesControllerWindowController::ExportTabIndex);
}

void AppDelegate::showImportContactsWindow(const std::optional<QList<platform::contacts::ContactRecord>> &offered)
{
    const auto bridge = VCardAddressBookBridge::installed();
    if (!m_window || !storeIsOpen() || !bridge)
        return;
    selectItemAtIndex(SectionSwitcher::Contacts);
    auto *window = new ImportMultipleContactsViewController(managedObjectContext(), bridge, m_window, offered);
    window->setFinishedHandler([this](const QList<platform::store::ManagedObjectID> &ids) {
        const ContextPtr context = managedObjectContext();
        if (ids.isEmpty() || !context)
            return;
        QList<Person *> people;
        for (const platform::store::ManagedObjectID &id : ids)
            if (auto *person = dynamic_cast<Person *>(context->objectWithID(id)))
                people << person;
        if (MacContactsViewController *contacts = contactsViewController())
            contacts->reloadContactsListWithNewPersons(people, true);
        if (auto refresh = std::dynamic_pointer_cast<ContactsSyncController>(m_contactsSyncController)) {
            QPointer<AppDelegate> self(this);
            refresh->loadImageReferenceWithObjectIDs(ids, [self](bool) {
                if (self && self->contactsViewController())
                    self->contactsViewController()->updatedSourceDictionaryWithPreserveSelection(true);
            });
        }
    });
    window->open();
}

void AppDelegate::showImportvCardFile()
{
    if (!m_window || !storeIsOpen())
        return;
    // The same import as the Add menu's, from the section whose list shows the new contacts.
    selectItemAtIndex(SectionSwitcher::Contacts);
    if (MacContactsViewController *contacts = contactsViewController())
        contacts->importvCardFileSelected();
}

void AppDelegate::showPreferencesWindow()
{
    if (!m_preferencesWindowController) {
        m_preferencesWindowController = new PreferencesControllerWindowController(this);
        m_preferencesWindowController->setAttribute(Qt::WA_DeleteOnClose, false);
        m_preferencesWindowController->setReportGroupProvider(
            [this] {
                QWidget *button = m_toolbar ? m_toolbar->groupSelectionButton() : nullptr;
                return button ? button->property("text").toString() : QString();
            },
            [this] {
                MacContactsViewController *contacts = contactsViewController();
                return contacts && contacts->contactsListSource() ? contacts->contactsListSource()->arrangedObjects()
                                                                  : QList<Person *>();
            });
    } else {
        m_preferencesWindowController->windowWillAppear();
    }
    m_preferencesWindowController->showWindow();
}

PreferencesControllerWindowController *AppDelegate::preferencesWindowController() const
{
    return m_preferencesWindowController;
}

void AppDelegate::setShowingPasswordScreen(bool showing)
{
    m_showingPasswordScreen = showing;
    if (m_menuCommands)
        m_menuCommands->setShowingPasswordScreen(showing);
}

void AppDelegate::loadContactGroupSelectionMenuForButton()
{
    recordStep(QStringLiteral("loadContactGroupSelectionMenu"));
    if (m_groupMenu) {
        m_groupMenu->loadContactGroupSelectionMenu();
        m_groupMenu->reselectMenuItemAfterUpdate(m_groupMenu->selectedEntry());
    }
}

void AppDelegate::updateLaunchCount()
{
    recordStep(QStringLiteral("updateLaunchCount"));
    CrashReporting::updateLaunchCount();
}

void AppDelegate::sendEmailWithSubject(const QString &subject, const QString &body, const QList<QUrl> &fileAttachments,
                                       const QStringList &recipients, bool isHTML, bool shoudCleanupFiles,
                                       std::function<void(bool handedOff)> done)
{
    EmailHandoff::sendEmail(subject, body, fileAttachments, recipients, isHTML, shoudCleanupFiles, std::move(done));
}

void AppDelegate::addItemToTempLocationForCleanup(const QUrl &file)
{
    if (file.isLocalFile())
        platform::mail::MailHandoff::shared().scheduleCleanup({file.toLocalFile()});
}

void AppDelegate::askCloudKitSwitch()
{
    recordStep(QStringLiteral("askCloudKitSwitch"));
}

void AppDelegate::addDropboxMenuItems()
{
    recordStep(QStringLiteral("addDropboxMenuItems"));
}

void AppDelegate::qdCloudKitUploadCompleteNotification(const Notification &) {}

void AppDelegate::cloudKitInternalErrorNotification(const Notification &) {}

void AppDelegate::externalPublicGroupUpdateNotification(const Notification &notification)
{
    if (m_groupMenu)
        m_groupMenu->externalPublicGroupUpdateNotification(notification);
}

void AppDelegate::privateGroupUpdateiCloudNotification(const Notification &notification)
{
    if (m_groupMenu)
        m_groupMenu->privateGroupUpdateCloudNotification(notification);
}

// ---- Window events ----

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close) {
        if (m_terminating)
            return false;
        // Closing the main window quits, once the store was saved or the user let it go.
        if (applicationShouldTerminate() == TerminateReply::TerminateNow) {
            m_terminating = true;
            checkpointStore();
            recordStep(QStringLiteral("terminate"));
            exitProgram(0);
            return false;
        }
        event->ignore();
        return true;
    }
    if (m_coverView && watched == m_coverView->parentWidget() && event->type() == QEvent::Resize)
        m_coverView->setGeometry(m_coverView->parentWidget()->rect());
    return QObject::eventFilter(watched, event);
}
