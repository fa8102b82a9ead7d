#include "ShellFixture.h"

using namespace shell_test;

namespace {

class RestoreTest : public ShellTest
{
protected:
    // A launch without passcode or pending update, its first chain run to its end.
    void launch(AppDelegate &delegate)
    {
        markDataModelUpdateDone();
        delegate.applicationWillFinishLaunching();
        delegate.applicationDidFinishLaunching();
        ASSERT_TRUE(waitForStep(delegate, QStringLiteral("cloudStep:setupOperationsForAppLaunch")));
    }
};

TEST_F(RestoreTest, ANewMainContextRunsTheHandlerAgainAndOnlyMarksTheCloudLaunchDone)
{
    AppDelegate delegate(factory());
    launch(delegate);
    const auto firstListener = delegate.cloudListener();
    const auto firstSync = delegate.cloudKitSyncManager();
    const auto firstContext = delegate.managedObjectContext();
    // The cloud sync is on from here, so the new chain asks for pushes.
    platform::core::UserDefaults::standardUserDefaults()->setInteger(1, AppDelegate::CloudKitUserStateKey);
    notifications->calls.clear();

    delegate.coreDataController()->cleanUpViewsBeforeRestoreWithDebugKey(QStringLiteral("RestoreTest"));
    delegate.coreDataController()->reInitializePSCAfterCloudSettingChangeAndShowAlert(false);

    ASSERT_TRUE(waitForStep(delegate, QStringLiteral("cloudStep:setHasLaunchOperationsBeenCalled")));
    const QStringList steps = delegate.launchSteps();
    EXPECT_EQ(steps.count(QStringLiteral("storeLoaded")), 2);
    EXPECT_EQ(steps.count(QStringLiteral("cloudStep:setupOperationsForAppLaunch")), 1);
    EXPECT_TRUE(ranInOrder(steps, {"cloudStep:setupOperationsForAppLaunch", "storeLoaded", "registerForRemoteNotifications",
                                   "databaseRestored", "runAppLaunchOperations", "PostLoginOperation",
                                   "contactsRefreshDone", "calendarSyncDone",
                                   "cloudStep:setHasLaunchOperationsBeenCalled"}));

    // Every service of the handler was made anew for the new context.
    EXPECT_NE(delegate.managedObjectContext(), firstContext);
    EXPECT_NE(delegate.cloudListener(), firstListener);
    EXPECT_NE(delegate.cloudKitSyncManager(), firstSync);
    auto *sync = dynamic_cast<PlaceholderSyncManager *>(delegate.cloudKitSyncManager().get());
    ASSERT_NE(sync, nullptr);
    EXPECT_TRUE(sync->hasLaunchOperationsBeenCalled());
    EXPECT_EQ(sync->delegate(), static_cast<QDCloudKitSyncManagerDelegate *>(&delegate));
    EXPECT_TRUE(delegate.appLaunchOperations().empty());
    EXPECT_EQ(notifications->calls,
              (QStringList{"registerRemote", "removeDelivered", "removeScheduled", "schedule"}));
    EXPECT_TRUE(ranInOrder(steps, {"databaseRestored", "loadContactGroupSelectionMenu"}));
}

TEST_F(RestoreTest, PreparationForgetsTheSearches)
{
    AppDelegate delegate(factory());
    launch(delegate);
    delegate.window()->switcher().setRememberedSearch(0, QStringLiteral("anna"));
    delegate.window()->switcher().setRememberedSearch(1, QStringLiteral("call"));
    int resets = 0;
    QObject::connect(&delegate, &AppDelegate::searchFieldResetRequested, [&resets] { ++resets; });

    platform::core::NotificationCenter::defaultCenter().post(CoreDataControllerMac::RestoreDBPreparationNotification);

    EXPECT_TRUE(delegate.window()->switcher().rememberedSearch(0).isNull());
    EXPECT_TRUE(delegate.window()->switcher().rememberedSearch(1).isNull());
    EXPECT_EQ(resets, 1);
}

TEST_F(RestoreTest, ReloadsBeforeTheHandOverChainTheirPostLoginOperations)
{
    AppDelegate delegate(factory());
    launch(delegate);

    // A whole download replaced the data twice before anyone ran the waiting chain.
    delegate.coreDataController()->reloadCompletionBlock();
    delegate.coreDataController()->reloadCompletionBlock();
    const auto waiting = delegate.appLaunchOperations();
    ASSERT_EQ(waiting.size(), 2u);
    EXPECT_EQ(waiting[0]->name(), AppDelegate::PostLoginOperationName);
    EXPECT_EQ(waiting[1]->name(), AppDelegate::PostLoginOperationName);
    EXPECT_TRUE(waiting[0]->dependencies().empty());
    ASSERT_EQ(waiting[1]->dependencies().size(), 1u);
    EXPECT_EQ(waiting[1]->dependencies().front(), waiting[0]);
    QTest::qWait(20);
    EXPECT_EQ(delegate.launchSteps().count(AppDelegate::PostLoginOperationName), 1);

    delegate.runAppLaunchOperations();
    EXPECT_TRUE(delegate.appLaunchOperations().empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return waiting[1]->isFinished(); }, 10000));
    EXPECT_TRUE(waiting[0]->isFinished());
    EXPECT_EQ(delegate.launchSteps().count(AppDelegate::PostLoginOperationName), 3);
}

} // namespace
