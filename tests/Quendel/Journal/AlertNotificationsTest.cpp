#include "JournalFixture.h"

#include "Classes/ToDoAlertNotifications.h"
#include "Classes/ToDo_Category.h"

#include "platform/core/DateComponents.h"

#include <QLocale>

using namespace journal_test;
using platform::core::DateComponents;
using platform::notify::NotificationCenter;
using platform::notify::ScheduledNotification;

namespace {

class RecordingNotifier : public platform::notify::DesktopNotifier
{
public:
    void show(const ScheduledNotification &n) override { shown << n; }
    void withdraw(const QString &identifier) override { withdrawn << identifier; }
    QList<ScheduledNotification> shown;
    QStringList withdrawn;
};

} // namespace

class AlertNotificationsTest : public JournalStoreTest
{
protected:
    void SetUp() override
    {
        JournalStoreTest::SetUp();
        center = std::make_unique<NotificationCenter>(QString());
        notifier = std::make_shared<RecordingNotifier>();
        center->setNotifier(notifier);
        hooks = std::make_shared<ToDoAlertNotifications>(center.get());
        ToDoAlert_Mac::install(hooks);
        alice->setGuid(QStringLiteral("GUID-ALICE"));
    }
    void TearDown() override
    {
        ToDoAlert_Mac::install(nullptr);
        hooks.reset();
        center.reset();
        JournalStoreTest::TearDown();
    }

    ToDoAlert *alertFor(Person *person, const QDateTime &start, qint64 alertRow, qint64 repeatRow = -1)
    {
        auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
        todo->setTodoStartDate(start);
        todo->setTodoStatus(0);
        todo->setPerson(person);
        if (repeatRow >= 0)
            ToDo_Category::updateRepeatIntervalWithIndex(*todo, repeatRow);
        ToDo_Category::updateAlertIntervalWithIndex(*todo, alertRow);
        return todo->alert().first();
    }

    std::unique_ptr<NotificationCenter> center;
    std::shared_ptr<RecordingNotifier> notifier;
    std::shared_ptr<ToDoAlertNotifications> hooks;
};

TEST_F(AlertNotificationsTest, TheNotificationCarriesItsTextsTimeRepeatAndExactlyItsTwoKeys)
{
    const QDateTime start = platform::core::Clock::now().addDays(2);
    ToDoAlert *alert = alertFor(alice, start, 3, 2);
    auto *title = context->insertNewObject<ToDoTitle>(ToDoTitle::EntityName);
    title->setTitle(QStringLiteral("Call"));
    alert->todo()->setTodotitle(title);
    alert->createNewLocalNotification();

    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    const ScheduledNotification n = center->scheduledNotifications().first();
    EXPECT_EQ(n.title, QStringLiteral("Call : Alice"));
    EXPECT_EQ(n.informativeText, QLocale().toString(start.toLocalTime().date(), QLocale::LongFormat));
    EXPECT_EQ(n.actionButtonTitle, QStringLiteral("View Contact"));
    EXPECT_EQ(n.deliveryDate, start.addSecs(-15 * 60));
    ASSERT_TRUE(DateComponents::isDateComponents(n.repeatInterval));
    EXPECT_EQ(n.repeatInterval.value<DateComponents>().weekOfMonth(), 1);
    EXPECT_EQ(n.userInfo.keys(), (QStringList{"kToDoAlertNotificationGUIDKey", "kToDoAlertPersonGUIDKey"}));
    EXPECT_EQ(n.userInfo.value(QStringLiteral("kToDoAlertPersonGUIDKey")).toString(), QStringLiteral("GUID-ALICE"));
    EXPECT_EQ(n.userInfo.value(QStringLiteral("kToDoAlertNotificationGUIDKey")).toString(),
              alert->localNotification().toString());
    EXPECT_EQ(n.identifier, alert->localNotification().toString());

    // Without a title, the contact alone; the "None" repeat gives no repeat.
    ToDoAlert *plain = alertFor(alice, start, 1, 0);
    plain->createNewLocalNotification();
    const ScheduledNotification p = center->scheduledNotifications().last();
    EXPECT_EQ(p.title, QStringLiteral("Alice"));
    EXPECT_FALSE(p.repeatInterval.isValid());
}

TEST_F(AlertNotificationsTest, AContactWithoutGuidStillGivesTheUuidSoItCanBeWithdrawn)
{
    Person *nobody = insertPerson(QStringLiteral("Nobody"));
    nobody->setGuid(QString());
    ToDoAlert *alert = alertFor(nobody, platform::core::Clock::now().addDays(1), 1);
    alert->createNewLocalNotification();
    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    EXPECT_EQ(center->scheduledNotifications().first().userInfo.keys(), QStringList{"kToDoAlertNotificationGUIDKey"});
    alert->deleteExistingLocalNotification();
    EXPECT_TRUE(center->scheduledNotifications().isEmpty());
}

TEST_F(AlertNotificationsTest, PastTimesAreScheduledOnlyForRepeatsAtTheirNextTime)
{
    const QDateTime now = platform::core::Clock::now();
    // 15 minutes before a start ten minutes away: passed, kept as a UUID only.
    ToDoAlert *late = alertFor(alice, now.addSecs(600), 3);
    late->createNewLocalNotification();
    EXPECT_TRUE(center->scheduledNotifications().isEmpty());
    EXPECT_FALSE(late->localNotification().toString().isEmpty());
    EXPECT_TRUE(notifier->shown.isEmpty());

    // The same on a daily to-do: tomorrow's time.
    ToDoAlert *daily = alertFor(alice, now.addSecs(600), 3, 1);
    daily->createNewLocalNotification();
    ASSERT_EQ(center->scheduledNotifications().size(), 1);
    EXPECT_EQ(center->scheduledNotifications().first().deliveryDate, now.addSecs(600 - 900).addDays(1));

    // A rescheduled notification whose new time passed is not shown at once.
    late->todo()->setTodoStartDate(now.addSecs(-3600));
    late->updateExistingLocalNotification();
    EXPECT_TRUE(notifier->shown.isEmpty());

    // Due: shown, then withdrawn from the delivered ones by its UUID.
    ToDoAlert *soon = alertFor(alice, now.addSecs(120), 1);
    soon->createNewLocalNotification();
    clock->advanceSeconds(121);
    ASSERT_EQ(notifier->shown.size(), 1);
    soon->setLocalNotificationObject(nullptr);
    soon->deleteExistingLocalNotification();
    EXPECT_EQ(notifier->withdrawn, QStringList{soon->localNotification().toString()});
    EXPECT_TRUE(center->deliveredNotifications().isEmpty());
}
