#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/core/DateComponents.h"
#include "platform/core/KeyedArchive.h"

#include <gtest/gtest.h>

using platform::core::DateComponents;
using platform::store::ContextPtr;
using quendel::test::EntityStoreTest;

namespace {

// A user-notification centre in memory, building notifications the way the application does.
class FakeNotifications : public ToDoAlert_Mac
{
public:
    UserNotificationPtr createAndScheduleLocalNotificationWithUUID_Mac(ToDoAlert &alert, const QString &uuid) override
    {
        const QDateTime when = alert.deliveryDate();
        if (!when.isValid())
            return nullptr;
        auto notification = std::make_shared<UserNotification>();
        notification->deliveryDate = when;
        notification->userInfo = {{NotificationGUIDKey, uuid}};
        if (when > platform::core::Clock::now()) {
            if (UserNotificationPtr old = alert.localNotificationObject())
                scheduled.removeAll(old);
            scheduled.append(notification);
        }
        alert.setLocalNotification(uuid);
        ++creations;
        return notification;
    }
    UserNotificationPtr createAndScheduleUpdatedNotificationWithExistingNotification_Mac(
        ToDoAlert &alert, const UserNotificationPtr &old) override
    {
        scheduled.removeAll(old);
        delivered.removeAll(old);
        auto notification = std::make_shared<UserNotification>(*old);
        notification->deliveryDate = alert.deliveryDate();
        scheduled.append(notification);
        ++updates;
        return notification;
    }
    void deleteExistingLocalNotification_Mac(ToDoAlert &alert) override
    {
        ++deletions;
        if (UserNotificationPtr existing = alert.localNotificationObject()) {
            if (!scheduled.removeAll(existing))
                delivered.removeAll(existing);
        }
    }
    QList<UserNotificationPtr> scheduledNotifications() override { return scheduled; }
    QList<UserNotificationPtr> deliveredNotifications() override { return delivered; }

    QList<UserNotificationPtr> scheduled;
    QList<UserNotificationPtr> delivered;
    int creations = 0;
    int updates = 0;
    int deletions = 0;
};

class ToDoAlertTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        ToDoAlert_Mac::install(centre);
    }
    void TearDown() override
    {
        ToDoAlert_Mac::install(nullptr);
        EntityStoreTest::TearDown();
    }
    QDateTime now() const { return platform::core::Clock::now(); }

    ToDo *todoStarting(const QDateTime &start)
    {
        ToDo *todo = insert<ToDo>();
        todo->setTodoStartDate(start);
        return todo;
    }
    ToDoAlert *alertFor(ToDo *todo, qint64 minutes)
    {
        ToDoAlert *alert = insert<ToDoAlert>();
        DateComponents offset;
        offset.setMinute(minutes);
        alert->setAlertInterval(offset.toVariant());
        todo->addAlertObject(alert);
        return alert;
    }
    // What the save listener does for the alerts of a main-context save.
    void saveAsTheListenerDoes()
    {
        for (auto *object : context->insertedObjects())
            if (auto *alert = dynamic_cast<ToDoAlert *>(object))
                alert->handleContextSaveNotificationWithKey(ToDoAlert::InsertedObjectsKey);
        for (auto *object : context->updatedObjects())
            if (auto *alert = dynamic_cast<ToDoAlert *>(object); alert && !alert->objectID().isTemporaryID())
                alert->handleContextSaveNotificationWithKey(ToDoAlert::UpdatedObjectsKey);
        for (auto *object : context->deletedObjects())
            if (auto *alert = dynamic_cast<ToDoAlert *>(object))
                alert->handleContextSaveNotificationWithKey(ToDoAlert::DeletedObjectsKey);
        for (auto *object : context->updatedObjects())
            if (auto *todo = dynamic_cast<ToDo *>(object)) {
                const QStringList keys = todo->changedKeys();
                if (!todo->alert().isEmpty() &&
                    (keys.contains(QStringLiteral("todoStartDate")) || keys.contains(QStringLiteral("todotitle")) ||
                     keys.contains(QStringLiteral("todoRepeatInterval"))) &&
                    !todo->alert().first()->objectID().isTemporaryID())
                    todo->alert().first()->updateExistingLocalNotification();
            }
        save(context);
    }

    std::shared_ptr<FakeNotifications> centre = std::make_shared<FakeNotifications>();
};

} // namespace

TEST_F(ToDoAlertTest, ANewAlertSchedulesOneNotificationUnderANewIdentifier)
{
    ToDo *todo = todoStarting(now().addDays(1));
    ToDoAlert *alert = alertFor(todo, 0);
    saveAsTheListenerDoes();
    ASSERT_EQ(centre->scheduled.size(), 1);
    const QString identifier = alert->localNotification().toString();
    EXPECT_FALSE(identifier.isEmpty());
    EXPECT_EQ(centre->scheduled.first()->userInfo.value(ToDoAlert_Mac::NotificationGUIDKey).toString(), identifier);
    EXPECT_EQ(centre->scheduled.first()->deliveryDate, now().addDays(1));

    // The identifier survives a reread.
    ContextPtr fresh;
    EXPECT_EQ(reread<ToDoAlert>(alert, fresh)->localNotification().toString(), identifier);
    EXPECT_EQ(ToDoAlert::findAlertByAlertGUID(identifier, context.get()), alert);
    EXPECT_EQ(ToDoAlert::findAlertByAlertGUID(QStringLiteral("nope"), context.get()), nullptr);
}

TEST_F(ToDoAlertTest, OnlyDateTitleOrRepeatChangesReschedule)
{
    ToDo *todo = todoStarting(now().addDays(1));
    ToDoAlert *alert = alertFor(todo, -15);
    saveAsTheListenerDoes();
    const QString identifier = alert->localNotification().toString();
    ASSERT_EQ(centre->scheduled.size(), 1);

    todo->setTodoNote(QStringLiteral("only the note"));
    saveAsTheListenerDoes();
    EXPECT_EQ(centre->updates, 0);

    todo->setTodoStartDate(now().addDays(2));
    saveAsTheListenerDoes();
    EXPECT_EQ(centre->updates, 1);
    ASSERT_EQ(centre->scheduled.size(), 1);
    EXPECT_EQ(centre->scheduled.first()->deliveryDate, now().addDays(2).addSecs(-15 * 60));
    EXPECT_EQ(alert->localNotification().toString(), identifier);
}

TEST_F(ToDoAlertTest, ClearingTheOffsetOrDeletingRemovesTheNotification)
{
    ToDo *todo = todoStarting(now().addDays(1));
    ToDoAlert *alert = alertFor(todo, 0);
    saveAsTheListenerDoes();
    ASSERT_EQ(centre->scheduled.size(), 1);
    alert->setAlertInterval(QVariant());
    const platform::cloud::Record update = alert->ckRecordFromManagedObjectWithRecordZoneID();
    EXPECT_FALSE(update.hasField(QStringLiteral("alertInterval")));
    saveAsTheListenerDoes();
    EXPECT_TRUE(centre->scheduled.isEmpty());

    ToDoAlert *second = alertFor(todo, -5);
    saveAsTheListenerDoes();
    ASSERT_EQ(centre->scheduled.size(), 1);
    context->deleteObject(second);
    saveAsTheListenerDoes();
    EXPECT_TRUE(centre->scheduled.isEmpty());
}

TEST_F(ToDoAlertTest, PastMomentsAndMissingStartsScheduleNothing)
{
    ToDo *past = todoStarting(now().addSecs(-60));
    ToDoAlert *late = alertFor(past, 0);
    saveAsTheListenerDoes();
    EXPECT_TRUE(centre->scheduled.isEmpty());
    // The identifier is stored all the same.
    EXPECT_FALSE(late->localNotification().toString().isEmpty());

    ToDo *undated = insert<ToDo>();
    ToDoAlert *none = alertFor(undated, 0);
    saveAsTheListenerDoes();
    EXPECT_FALSE(none->localNotification().isValid());
    EXPECT_TRUE(centre->scheduled.isEmpty());
}

TEST_F(ToDoAlertTest, DownloadedAlertsKeepTheSendersIdentifier)
{
    ToDo *todo = todoStarting(now().addDays(1));
    ToDoAlert *alert = alertFor(todo, 0);
    alert->setLocalNotification(QStringLiteral("FROM-OTHER-DEVICE"));
    alert->handleCloudKitInserted();
    ASSERT_EQ(centre->scheduled.size(), 1);
    EXPECT_EQ(centre->scheduled.first()->userInfo.value(ToDoAlert_Mac::NotificationGUIDKey).toString(),
              QStringLiteral("FROM-OTHER-DEVICE"));

    ToDo *past = todoStarting(now().addSecs(-10));
    ToDoAlert *late = alertFor(past, 0);
    late->setLocalNotification(QStringLiteral("LATE"));
    late->handleCloudKitInserted();
    EXPECT_EQ(centre->scheduled.size(), 1);

    // Older shared store keys: only the platform spellings count.
    alert->handleCloudNotification(ToDoAlert::DeletedObjectsKey);
    EXPECT_EQ(centre->scheduled.size(), 1);
    alert->handleCloudNotification(ToDoAlert::CloudDeletedKey);
    EXPECT_TRUE(centre->scheduled.isEmpty());
}

TEST_F(ToDoAlertTest, RestoreReschedulesUnderTheStoredIdentifiers)
{
    ToDo *todo = todoStarting(now().addDays(1));
    ToDoAlert *alert = alertFor(todo, 0);
    ToDoAlert *past = alertFor(todoStarting(now().addDays(-1)), 0);
    saveAsTheListenerDoes();
    const QString identifier = alert->localNotification().toString();
    centre->scheduled.clear();
    ASSERT_FALSE(past->localNotification().toString().isEmpty());

    ContextPtr restored = newContext();
    ToDoAlert::scheduleAllNotificationsWithContext(restored.get());
    ASSERT_EQ(centre->scheduled.size(), 1);
    EXPECT_EQ(centre->scheduled.first()->userInfo.value(ToDoAlert_Mac::NotificationGUIDKey).toString(), identifier);
    ToDoAlert::scheduleAllNotificationsWithContext(nullptr);
}

TEST_F(ToDoAlertTest, MovingTheToDoRefreshesEveryAlert)
{
    Person *from = insert<Person>();
    Person *to = insert<Person>();
    ToDo *todo = todoStarting(now().addDays(1));
    todo->setPerson(from);
    alertFor(todo, 0);
    alertFor(todo, -5);
    saveAsTheListenerDoes();
    todo->reassignToPerson(to);
    EXPECT_EQ(centre->updates, 2);
}

TEST(NotificationTransformer, DecodesStringsAndReplacesArchivedNotifications)
{
    NotificationTransformer transformer;
    EXPECT_EQ(transformer.reverseTransformedValue(transformer.transformedValue(QStringLiteral("ABC"))).toString(),
              QStringLiteral("ABC"));
    const QVariantMap archivedNotification{{NotificationTransformer::ArchivedClassKey, QStringLiteral("UILocalNotification")}};
    const QByteArray data = platform::core::KeyedArchive::archive(archivedNotification);
    const QString first = transformer.reverseTransformedValue(data).toString();
    const QString second = transformer.reverseTransformedValue(data).toString();
    EXPECT_FALSE(first.isEmpty());
    EXPECT_NE(first, second);
    EXPECT_FALSE(transformer.reverseTransformedValue(platform::core::KeyedArchive::archive(42)).isValid());
    EXPECT_FALSE(transformer.reverseTransformedValue(QByteArrayLiteral("garbage")).isValid());
    EXPECT_FALSE(transformer.reverseTransformedValue(QByteArray()).isValid());
}
