#include "ShellFixture.h"
#include "Classes/CalendarEventsSyncController.h"

#include "QuendelKit/Infra/QDReachability.h"

#include "platform/core/Clock.h"

#include <QGuiApplication>

using namespace shell_test;
using platform::ui::AlertAnswer;
using platform::ui::AlertPresenter;

namespace {

class LifecycleTest : public ShellTest
{
};

TEST_F(LifecycleTest, OfflineWithTheOlderCloudStoreAsksBeforeThePreUpdateBackup)
{
    SharedSettingController &settings = SharedSettingController::sharedSettings();
    dataPlistValues().setValue(QStringLiteral("use_icloud"), true);
    ASSERT_TRUE(iCloudEnabledInApp());
    AlertPresenter &presenter = AlertPresenter::shared();
    presenter.setNextAnswer(AlertAnswer::button(0)); // Try Again, still offline
    presenter.setNextAnswer(AlertAnswer::button(1)); // Continue without backup
    std::vector<quint32> sheets;
    LaunchServiceFactory services = factory();
    services.makeDatabaseUpdateSheet = [&sheets](quint32 type) {
        sheets.push_back(type);
        return std::make_shared<PlaceholderDatabaseUpdateSheet>(type);
    };
    AppDelegate delegate(services);

    // No reachability watcher: the network counts as down. (The settings start-up runs once only.)
    settings.initialize();
    settings.setReachabilityStatus(nullptr);
    delegate.applicationWillFinishLaunching();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.isLaunchComplete(); }, 10000));

    ASSERT_GE(presenter.shownAlerts().size(), 2);
    for (int i = 0; i < 2; ++i) {
        const platform::ui::ShownAlert &alert = presenter.shownAlerts()[i];
        EXPECT_TRUE(alert.asSheet);
        EXPECT_EQ(alert.window, delegate.window());
        EXPECT_EQ(alert.spec.messageText, QStringLiteral("Internet connection required"));
        EXPECT_EQ(alert.spec.buttonTitles, (QStringList{"Try Again", "Continue without backup"}));
    }
    EXPECT_TRUE(sheets.empty());
    EXPECT_EQ(delegate.launchSteps().count(QStringLiteral("databaseUpdateGate:internetRequired")), 2);
    EXPECT_TRUE(ranInOrder(delegate.launchSteps(), {"databaseUpdateGate:internetRequired",
                                                    "databaseUpdateGate:internetRequired", "postLaunch",
                                                    "storeLoaded", "launchComplete", "runAppLaunchOperations"}));
}

TEST_F(LifecycleTest, NetworkStatusTextOnlyWithTheCloudSync)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    SharedSettingController::sharedSettings().setReachabilityStatus(nullptr);
    auto post = [] { platform::core::NotificationCenter::defaultCenter().post(kReachabilityChangedNotification); };

    post();
    EXPECT_TRUE(delegate.activityText().isEmpty());

    platform::core::UserDefaults::standardUserDefaults()->setInteger(1, AppDelegate::CloudKitUserStateKey);
    post();
    EXPECT_EQ(delegate.activityText(), QStringLiteral("No Internet Connection"));
}

TEST_F(LifecycleTest, ApplicationStateDrivesActivationAndResign)
{
    markDataModelUpdateDone();
    auto clock = std::make_shared<platform::core::ManualClock>();
    platform::core::ScopedClock scopedClock(clock);
    AppDelegate delegate(factory());
    delegate.launch();
    ASSERT_TRUE(delegate.isLaunchComplete());
    auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    ASSERT_NE(application, nullptr);

    emit application->applicationStateChanged(Qt::ApplicationActive);
    const int activations = delegate.launchSteps().count(QStringLiteral("didBecomeActive"));
    EXPECT_GE(activations, 1);
    EXPECT_TRUE(delegate.didBeginActiveCalledOnce());

    emit application->applicationStateChanged(Qt::ApplicationInactive);
    emit application->applicationStateChanged(Qt::ApplicationHidden);
    EXPECT_EQ(delegate.launchSteps().count(QStringLiteral("willResignActive")), 1);
    EXPECT_EQ(platform::core::UserDefaults::standardUserDefaults()->dateForKey(AppDelegate::AppEnteredBackgroundTimeKey),
              clock->utcNow());
    auto *calendar = dynamic_cast<CalendarEventsSyncController *>(delegate.calendarSyncController().get());
    ASSERT_NE(calendar, nullptr);
    EXPECT_FALSE(calendar->isActive());

    emit application->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(delegate.launchSteps().count(QStringLiteral("didBecomeActive")), activations + 1);
    // No passcode: back at once, and the calendar watcher is told.
    EXPECT_TRUE(calendar->isActive());
    EXPECT_FALSE(delegate.showingPasswordScreen());
}

} // namespace
