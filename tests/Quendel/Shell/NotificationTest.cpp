#include "ShellFixture.h"

#include "QuendelKit/Entities/Person.h"

using namespace shell_test;

namespace {

class NotificationTest : public ShellTest
{
};

const QString ActivityEvent = QStringLiteral("AppDelegate-Activity[Action-LocalNotificationReceived-withGUIDKey]");

TEST_F(NotificationTest, AClickDuringThePreUpdateBackupWaitsForTheLaunch)
{
    auto held = std::make_shared<HeldDatabaseUpdateSheet>();
    LaunchServiceFactory services = factory();
    services.makeDatabaseUpdateSheet = [held](quint32) { return held; };
    EventLog events;
    AppDelegate delegate(services);
    delegate.launch();
    ASSERT_TRUE(held->isAttached());

    delegate.userNotificationCenterDidActivateNotification({{AppDelegate::ToDoAlertPersonGUIDKey, "guid-1"}});

    // The backup sheet stays; nothing is looked up in a store that is not open yet.
    EXPECT_TRUE(held->isAttached());
    EXPECT_TRUE(held->sheet()->isActive());
    EXPECT_TRUE(delegate.launchSteps().contains(QStringLiteral("notificationDeferred")));
    EXPECT_FALSE(events.events().contains(ActivityEvent));
    EXPECT_EQ(delegate.coreDataController(), nullptr);

    held->finish();
    ASSERT_TRUE(delegate.isLaunchComplete());
    // Handled once the launch is complete.
    EXPECT_TRUE(events.events().contains(ActivityEvent));
}

TEST_F(NotificationTest, AToDoAlertOpensItsContactOnTheToDosTab)
{
    markDataModelUpdateDone();
    EventLog events;
    AppDelegate delegate(factory());
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(delegate.isLaunchComplete());
    auto context = delegate.managedObjectContext();
    auto *person = context->insertNewObject<Person>(Person::EntityName);
    person->setGuid(QStringLiteral("guid-7"));
    ASSERT_TRUE(context->save());

    QList<QPair<Person *, int>> opened;
    QObject::connect(&delegate, &AppDelegate::contactPageRequested,
                     [&opened](Person *p, int tab) { opened.append({p, tab}); });

    // Other sheets on the window give way to the contact.
    auto *other = new platform::ui::Sheet;
    other->beginSheet(delegate.window());
    ASSERT_TRUE(other->isActive());

    struct Case
    {
        QVariantMap info;
        bool opens;
    };
    const QList<Case> cases = {
        {{{AppDelegate::NewRevKey, 3}, {AppDelegate::ToDoAlertPersonGUIDKey, "guid-7"}}, false},
        {{{AppDelegate::CloudFetchKey, true}, {AppDelegate::ToDoAlertPersonGUIDKey, "guid-7"}}, false},
        {{}, false},
        {{{AppDelegate::ToDoAlertPersonGUIDKey, "nobody"}}, false},
        {{{AppDelegate::ToDoAlertPersonGUIDKey, "guid-7"}}, true},
    };
    for (const Case &c : cases) {
        opened.clear();
        delegate.userNotificationCenterDidActivateNotification(c.info);
        if (!c.opens) {
            EXPECT_TRUE(opened.isEmpty()) << QStringList(c.info.keys()).join(',').toStdString();
            continue;
        }
        ASSERT_EQ(opened.size(), 1);
        EXPECT_EQ(opened.first().first, person);
        EXPECT_EQ(opened.first().second, AppDelegate::ToDosTabIndex);
    }
    EXPECT_FALSE(other->isActive());
    EXPECT_EQ(delegate.currentIndex(), 0);
    const QStringList sent = events.events();
    EXPECT_EQ(sent.count(ActivityEvent), 2);
    EXPECT_EQ(sent.count(QStringLiteral("UserNotificationReceived")), 1);
}

TEST_F(NotificationTest, NothingOpensBehindTheLockScreen)
{
    markDataModelUpdateDone();
    std::shared_ptr<PlaceholderPasscodeSheet> lock;
    LaunchServiceFactory services = factory();
    services.makePasscodeSheet = [&lock] {
        lock = std::make_shared<PlaceholderPasscodeSheet>();
        return lock;
    };
    EventLog events;
    AppDelegate delegate(services);
    delegate.applicationWillFinishLaunching();
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(delegate.isLaunchComplete());
    delegate.presentPasscodeScreenWithBlock({});
    ASSERT_TRUE(lock && lock->isAttached());

    int opened = 0;
    QObject::connect(&delegate, &AppDelegate::contactPageRequested, [&opened] { ++opened; });
    delegate.userNotificationCenterDidActivateNotification({{AppDelegate::ToDoAlertPersonGUIDKey, "guid-1"}});
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(lock->isAttached());
    EXPECT_FALSE(events.events().contains(ActivityEvent));
}

} // namespace
