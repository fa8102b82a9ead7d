#include "ShellFixture.h"
#include "Classes/CalendarEventsSyncController.h"
#include "Mac/Contacts/MacContactsViewController.h"

#include "QuendelKit/Infra/QDSSKeychain.h"

#include "platform/core/Clock.h"
#include "platform/core/StandardPaths.h"

#include <QDir>
#include <QFileInfo>

using namespace shell_test;

namespace {

class LaunchTest : public ShellTest
{
};

TEST_F(LaunchTest, EmptyDataFolderRunsTheStepsInOrderThroughThePreUpdateBackup)
{
    std::vector<quint32> sheetTypes;
    LaunchServiceFactory services = factory();
    services.makeDatabaseUpdateSheet = [&sheetTypes](quint32 type) {
        sheetTypes.push_back(type);
        return std::make_shared<PlaceholderDatabaseUpdateSheet>(type);
    };
    AppDelegate delegate(services);
    delegate.setExitHandler([this](int code) { exits << code; });
    delegate.launch();

    // A new data folder has never had its pre-update backup: the store waits for that sheet.
    EXPECT_EQ(delegate.coreDataController(), nullptr);
    EXPECT_TRUE(delegate.launchSteps().contains(QStringLiteral("didFinishLaunching.observers")));
    ASSERT_TRUE(waitForStep(delegate, QStringLiteral("cloudStep:setupOperationsForAppLaunch")));

    EXPECT_TRUE(ranInOrder(delegate.launchSteps(),
                           {"willFinishLaunching", "settings.initialize", "initHockey", "buildSidebarItems", "passcode:no",
                            "databaseUpdateGate", "databaseUpdateGate:backupSheet", "didFinishLaunching",
                            "didFinishLaunching.observers", "postLaunch", "storeController",
                            "selectItemAtIndex:0", "storeLoaded", "postLaunch.observers", "dropboxManager",
                            "loadContactGroupSelectionMenu", "updateLaunchCount", "showWhatsNewMessage",
                            "launchComplete", "runAppLaunchOperations", "PostLoginOperation", "contactsRefreshDone",
                            "calendarSyncDone", "cloudStep:setupOperationsForAppLaunch"}));
    EXPECT_EQ(delegate.launchSteps().count(QStringLiteral("storeLoaded")), 1);
    EXPECT_EQ(sheetTypes, std::vector<quint32>{0});
    EXPECT_TRUE(exits.isEmpty());

    // The program's own sheet makes no backup, so nothing says one was made: no report to the delegate,
    // no "Update Complete", and the backup stays due at the next launch.
    EXPECT_FALSE(delegate.launchSteps().contains(QStringLiteral("completedBackupAndUpgrade")));
    EXPECT_FALSE(dataPlistValues().boolValue(SharedAppGlobals::MigrationCompleteKey));
    EXPECT_FALSE(dataPlistValues().contains(QStringLiteral("AutoBackupLastBackupTimestamp")));
    // The only alerts are the messages a new data folder gets once: what is new, and the section's first one.
    for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts()) {
        EXPECT_TRUE(QStringList({AppDelegate::WhatsNewMessageTitle, MacContactsViewController::WhatsNewAlertTitle,
                                 MacContactsViewController::WelcomeAlertTitle})
                        .contains(alert.spec.messageText))
            << alert.spec.messageText.toStdString();
    }
    EXPECT_TRUE(dataPlistValues().boolValue(AppDelegate::WhatsNew410Key));
    EXPECT_TRUE(SharedAppGlobals::sharedAppGlobals().shouldLoadUpdatingDatabasePage());

    // The window runs on an open store, with every service of the store-loaded handler in place.
    ASSERT_NE(delegate.window(), nullptr);
    EXPECT_TRUE(delegate.window()->isVisible());
    EXPECT_EQ(delegate.window()->windowTitle(), QStringLiteral("Quendel"));
    EXPECT_EQ(delegate.currentIndex(), 0);
    EXPECT_TRUE(delegate.isLaunchComplete());
    EXPECT_FALSE(delegate.launchFailed());
    EXPECT_TRUE(QFileInfo::exists(QDir(platform::core::StandardPaths::dataFolderPath()).filePath("Quendel.sqlite")));
    EXPECT_NE(delegate.cloudListener(), nullptr);
    EXPECT_NE(delegate.calendarSyncController(), nullptr);
    EXPECT_NE(delegate.contactsSyncController(), nullptr);
    EXPECT_NE(delegate.backupController(), nullptr);
    EXPECT_NE(delegate.cloudKitSyncManager(), nullptr);
    EXPECT_NE(delegate.dropBoxManager(), nullptr);
    EXPECT_NE(delegate.coreDataController()->requestQueue(), nullptr);
    EXPECT_TRUE(delegate.appLaunchOperations().empty());
    EXPECT_FALSE(delegate.ckRunAppLaunchOperations());

    // Who is whose delegate.
    auto *listener = dynamic_cast<PlaceholderSaveListener *>(delegate.cloudListener().get());
    ASSERT_NE(listener, nullptr);
    EXPECT_EQ(listener->delegate(), static_cast<QDNSManagedObjectContextListenerDelegate *>(&delegate));
    EXPECT_EQ(listener->modificationsDelegate(), delegate.cloudKitSyncManager());
    auto *sync = dynamic_cast<PlaceholderSyncManager *>(delegate.cloudKitSyncManager().get());
    ASSERT_NE(sync, nullptr);
    EXPECT_EQ(sync->delegate(), static_cast<QDCloudKitSyncManagerDelegate *>(&delegate));
    EXPECT_TRUE(sync->hasLaunchOperationsBeenCalled());
    EXPECT_EQ(SharedSettingController::sharedSettings().sharedSettingsDelegate().get(),
              static_cast<SharedSettingsDelegate *>(&delegate));

    // The accessors of the rest of the application.
    EXPECT_EQ(appDelegateInstance(), &delegate);
    EXPECT_EQ(appMainManagedObjectContext(), delegate.managedObjectContext());
    EXPECT_NE(appMainManagedObjectContext(), nullptr);
    EXPECT_EQ(appCoreDataController(), delegate.coreDataController());
    EXPECT_TRUE(platform::core::UserDefaults::standardUserDefaults()->boolForKey(AppDelegate::NewFirstTimeDownloadKey));
}

TEST_F(LaunchTest, WithoutPendingUpdateTheStoreIsOpenWhenWillFinishReturns)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();

    // The whole post-launch step ran inside step 1; the chain went to the main queue, not yet run.
    const QStringList steps = delegate.launchSteps();
    EXPECT_EQ(steps.count(QStringLiteral("storeLoaded")), 1);
    EXPECT_TRUE(ranInOrder(steps, {"passcode:no", "databaseUpdateGate", "postLaunch", "storeLoaded", "launchComplete",
                                   "runAppLaunchOperations"}));
    EXPECT_FALSE(steps.contains(QStringLiteral("databaseUpdateGate:backupSheet")));
    EXPECT_FALSE(steps.contains(QStringLiteral("didFinishLaunching")));
    EXPECT_FALSE(steps.contains(QStringLiteral("PostLoginOperation")));
    EXPECT_TRUE(delegate.appLaunchOperations().empty());
    EXPECT_TRUE(delegate.ckRunAppLaunchOperations());
    EXPECT_EQ(delegate.databaseUpdateController(), nullptr);

    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(waitForStep(delegate, QStringLiteral("cloudStep:setupOperationsForAppLaunch")));
    EXPECT_TRUE(ranInOrder(delegate.launchSteps(), {"runAppLaunchOperations", "didFinishLaunching", "PostLoginOperation"}));
}

TEST_F(LaunchTest, PasscodeHoldsTheStoreAndServicesUntilUnlocked)
{
    markDataModelUpdateDone();
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("2468"), QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));

    std::shared_ptr<PlaceholderPasscodeSheet> lock;
    auto dropbox = std::make_shared<RecordingDropbox>(true);
    LaunchServiceFactory services = factory();
    services.makePasscodeSheet = [&lock] {
        lock = std::make_shared<PlaceholderPasscodeSheet>();
        return lock;
    };
    services.makeDropboxManager = [dropbox](const platform::store::ContextPtr &) { return dropbox; };
    AppDelegate delegate(services);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();

    // Step 1 ended at the lock screen; step 2 still registered its observers.
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(lock->isAttached());
    EXPECT_TRUE(delegate.passwordExists());
    EXPECT_TRUE(delegate.showingPasswordScreen());
    EXPECT_NE(delegate.window()->findChild<QWidget *>(QStringLiteral("coverView")), nullptr);
    EXPECT_TRUE(ranInOrder(delegate.launchSteps(),
                           {"passcode:yes", "presentPasscodeScreen", "didFinishLaunching", "didFinishLaunching.observers"}));

    // The first activation comes under the lock: it may not start anything yet.
    delegate.applicationDidBecomeActive();
    EXPECT_TRUE(delegate.didBeginActiveCalledOnce());
    QTest::qWait(20);
    const QStringList locked = delegate.launchSteps();
    EXPECT_FALSE(locked.contains(QStringLiteral("databaseUpdateGate")));
    EXPECT_FALSE(locked.contains(QStringLiteral("postLaunch")));
    EXPECT_FALSE(locked.contains(QStringLiteral("storeLoaded")));
    EXPECT_EQ(delegate.coreDataController(), nullptr);
    EXPECT_EQ(delegate.cloudListener(), nullptr);
    EXPECT_EQ(delegate.dropBoxManager(), nullptr);
    EXPECT_TRUE(dropbox->calls.isEmpty());

    lock->unlock();
    EXPECT_FALSE(delegate.showingPasswordScreen());
    EXPECT_EQ(delegate.window()->findChild<QWidget *>(QStringLiteral("coverView")), nullptr);
    ASSERT_TRUE(waitForStep(delegate, QStringLiteral("cloudStep:setupOperationsForAppLaunch")));
    EXPECT_TRUE(ranInOrder(delegate.launchSteps(),
                           {"didBecomeActive", "databaseUpdateGate", "postLaunch", "storeLoaded", "launchComplete",
                            "dropboxLaunchCheck", "runAppLaunchOperations", "PostLoginOperation",
                            "cloudStep:setupOperationsForAppLaunch"}));
    // The Dropbox check that the early activation could not start runs once the manager exists.
    EXPECT_EQ(dropbox->calls, (QStringList{"check:1", "timer"}));
    EXPECT_TRUE(SharedSettingController::sharedSettings().isDropboxEnabled());
}

TEST_F(LaunchTest, AFirstRunDropsAStalePasscodeBeforeTheLock)
{
    markDataModelUpdateDone();
    dataPlistValues().setValue(AppDelegate::FirstTimeDownloadKey, true);
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("old"), QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));

    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();

    EXPECT_FALSE(delegate.passwordExists());
    EXPECT_TRUE(delegate.isLaunchComplete());
    EXPECT_TRUE(QDSSKeychain::passwordForService(QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount).isNull());
}

TEST_F(LaunchTest, ReturningAfterThePinIntervalLocksAgain)
{
    markDataModelUpdateDone();
    ASSERT_TRUE(QDSSKeychain::setPassword(QStringLiteral("2468"), QDSSKeychain::PasscodeService, QDSSKeychain::ItemAccount));
    auto clock = std::make_shared<platform::core::ManualClock>();
    platform::core::ScopedClock scopedClock(clock);
    platform::core::UserDefaults::standardUserDefaults()->setInteger(60, AppDelegate::RequirePinIntervalKey);

    std::vector<std::shared_ptr<PlaceholderPasscodeSheet>> locks;
    LaunchServiceFactory services = factory();
    services.makePasscodeSheet = [&locks] {
        locks.push_back(std::make_shared<PlaceholderPasscodeSheet>());
        return locks.back();
    };
    AppDelegate delegate(services);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    delegate.applicationDidBecomeActive();
    ASSERT_EQ(locks.size(), 1u);
    locks.back()->unlock();
    ASSERT_TRUE(delegate.isLaunchComplete());

    // Exactly the interval away: no lock; one second more: the lock screen again.
    delegate.applicationWillResignActive();
    clock->advanceSeconds(60);
    delegate.applicationDidBecomeActive();
    EXPECT_EQ(locks.size(), 1u);
    delegate.applicationWillResignActive();
    clock->advanceSeconds(61);
    delegate.applicationDidBecomeActive();
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_TRUE(delegate.showingPasswordScreen());
    // A second request while it is up stacks nothing.
    delegate.applicationDidBecomeActive();
    EXPECT_EQ(locks.size(), 2u);
    auto *calendar = dynamic_cast<CalendarEventsSyncController *>(delegate.calendarSyncController().get());
    ASSERT_NE(calendar, nullptr);
    EXPECT_FALSE(calendar->isActive());
    locks.back()->unlock();
    EXPECT_TRUE(calendar->isActive());
}

TEST_F(LaunchTest, NoStoreStopsTheLaunchWithABlockingAlertThatQuits)
{
    markDataModelUpdateDone();
    QDir().mkpath(platform::core::StandardPaths::dataFolderPath());
    const QString storePath = QDir(platform::core::StandardPaths::dataFolderPath()).filePath("Quendel.sqlite");
    const QByteArray junk("this is not a store, and must stay as it is");
    {
        QFile file(storePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(junk);
    }
    auto &presenter = platform::ui::AlertPresenter::shared();
    presenter.setNextAnswer(platform::ui::AlertAnswer::button(0));

    AppDelegate delegate(factory());
    delegate.setExitHandler([this](int code) { exits << code; });
    delegate.launch();

    EXPECT_TRUE(delegate.launchFailed());
    EXPECT_FALSE(delegate.isLaunchComplete());
    EXPECT_EQ(exits, QList<int>{1});
    ASSERT_EQ(presenter.shownAlerts().size(), 1);
    const platform::ui::ShownAlert &alert = presenter.shownAlerts().first();
    EXPECT_FALSE(alert.asSheet);
    EXPECT_EQ(alert.spec.messageText, AppDelegate::StoreUnavailableTitle);
    EXPECT_EQ(alert.spec.buttonTitles, (QStringList{AppDelegate::QuitButton, AppDelegate::RestoreFromBackupButton}));
    EXPECT_TRUE(alert.spec.informativeText.contains(QDir::toNativeSeparators(storePath)));
    EXPECT_TRUE(alert.answeredAhead);

    // Nothing runs on the missing store.
    EXPECT_FALSE(delegate.window()->isVisible());
    EXPECT_EQ(delegate.cloudListener(), nullptr);
    EXPECT_EQ(delegate.cloudKitSyncManager(), nullptr);
    EXPECT_EQ(delegate.dropBoxManager(), nullptr);
    EXPECT_TRUE(delegate.appLaunchOperations().empty());
    const QStringList steps = delegate.launchSteps();
    EXPECT_TRUE(ranInOrder(steps, {"postLaunch", "storeLoaded:noStore", "storeUnavailable"}));
    EXPECT_FALSE(steps.contains(QStringLiteral("storeLoaded")));
    EXPECT_FALSE(steps.contains(QStringLiteral("launchComplete")));
    EXPECT_FALSE(steps.contains(QStringLiteral("didFinishLaunching")));
    QTest::qWait(20);
    EXPECT_FALSE(delegate.launchSteps().contains(QStringLiteral("PostLoginOperation")));

    // Quitting does not try to save into a store that is not there.
    EXPECT_EQ(delegate.applicationShouldTerminate(), AppDelegate::TerminateReply::TerminateNow);
    QFile file(storePath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);
}

} // namespace
