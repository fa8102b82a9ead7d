#include "ShellFixture.h"

#include "Mac/Contacts/ContactsListItemModel.h"
#include "Mac/Contacts/MacContactsViewController.h"
#include "Mac/Shell/CustomNSOutlineViewWithDelegates.h"
#include "Mac/Shell/MainWindowToolbar.h"

#include "QuendelKit/Entities/Person.h"

#include <QLineEdit>

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

TEST_F(NotificationTest, TheContactOfAnAlertIsShownEvenWhenTheSearchLeftItOut)
{
    markDataModelUpdateDone();
    AppDelegate delegate(factory());
    delegate.launch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.isLaunchComplete(); }, 5000));
    auto context = delegate.managedObjectContext();
    for (const auto &[first, guid] : {std::pair{"Ann", "guid-ann"}, std::pair{"Zoe", "guid-zoe"}}) {
        auto *person = context->insertNewObject<Person>(Person::EntityName);
        person->setFirstName(QString::fromLatin1(first));
        person->setGuid(QString::fromLatin1(guid));
        person->remakeDisplayName();
    }
    ASSERT_TRUE(context->save());
    MacContactsViewController *contacts = delegate.contactsViewController();
    ASSERT_NE(contacts, nullptr);
    contacts->reloadAllContactsAndOutlineView();
    QLineEdit *search = delegate.toolbar()->searchField();
    QTest::keyClicks(search, QStringLiteral("ann"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return contacts->contactsListSource()->arrangedObjects().size() == 1; }, 5000));

    delegate.userNotificationCenterDidActivateNotification({{AppDelegate::ToDoAlertPersonGUIDKey, "guid-zoe"}});
    EXPECT_TRUE(search->text().isEmpty());
    EXPECT_EQ(contacts->contactsListSource()->arrangedObjects().size(), 2);
    Person *shown = contacts->contactsListSource()->selectedContactInSource();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->guid(), QStringLiteral("guid-zoe"));
    EXPECT_EQ(contacts->currentSegmentState(), AppDelegate::ToDosTabIndex);
    const QModelIndexList selected = contacts->contactsOutlineView()->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(contacts->contactsListModel()->personAt(selected.first()), shown);
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
