#include "JournalFixture.h"

#include "Classes/CalendarEventsSyncController.h"
#include "Classes/CalendarLinkBridge.h"

#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace journal_test;
using platform::calendar::Event;

class CalendarLinkTest : public JournalStoreTest
{
protected:
    void SetUp() override
    {
        JournalStoreTest::SetUp();
        platform::core::UserDefaults::standardUserDefaults()->setObject(dir.filePath(QStringLiteral("calendars")),
                                                                        CalendarLinkBridge::CalendarFolderKey);
        CalendarLinkBridge::resetGlobalEventStore();
        ASSERT_TRUE(CalendarLinkBridge::requestAccess());
        store = CalendarLinkBridge::globalEventStore();
        ASSERT_NE(store, nullptr);
    }
    void TearDown() override
    {
        store.reset();
        CalendarLinkBridge::resetGlobalEventStore();
        platform::core::UserDefaults::standardUserDefaults()->removeObjectForKey(CalendarLinkBridge::CalendarFolderKey);
        JournalStoreTest::TearDown();
    }

    ToDoCalendarLink *linkedToDo(const QDateTime &start, const QDateTime &end, const QString &note = {})
    {
        auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
        todo->setTodoStartDate(start);
        todo->setTodoStatus(0);
        todo->setTodoNote(note);
        todo->setPerson(alice);
        todo->setIsCalendarEventSet(true);
        auto *link = ToDoCalendarLink::createNewCalendarLinkObjectWithEndDate(end, context.get());
        todo->setCalendarLink(link);
        return link;
    }

    std::shared_ptr<platform::calendar::EventStore> store;
};

TEST_F(CalendarLinkTest, ALinkedToDoGetsItsEventAndAnEventChangedOnDiskComesBack)
{
    const QDateTime start = day(2026, 3, 20, 10);
    ToDoCalendarLink *link = linkedToDo(start, start.addSecs(5400), QStringLiteral("Bring the plans"));
    CalendarLinkBridge bridge;
    ASSERT_TRUE(bridge.createNewCalendarEvent(*link));
    save();
    ASSERT_FALSE(link->calendarIdentifier().isEmpty());
    const auto event = store->eventWithIdentifier(link->calendarIdentifier());
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->title, QStringLiteral("Alice"));
    EXPECT_EQ(event->startDate, start);
    EXPECT_EQ(event->endDate, start.addSecs(5400));
    EXPECT_EQ(event->notes, QStringLiteral("Bring the plans"));
    EXPECT_EQ(link->calendarUUID(), event->eventIdentifier);
    EXPECT_TRUE(CalendarLinkBridge::validateStartAndEndDateForCalendar(*link));

    // Another program moves the event a day on and adds our footer to the notes.
    Event moved = *event;
    moved.startDate = start.addDays(1);
    moved.endDate = start.addDays(1).addSecs(3600);
    moved.notes = QStringLiteral("Bring the plans\n") + CalendarLinkBridge::MeetingFooter;
    ASSERT_TRUE(store->saveEvent(moved));

    CalendarEventsSyncController sync(context);
    std::optional<bool> result;
    sync.syncAllEventsWithCalendarWithCompletionHandler([&](bool changed) { result = changed; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_TRUE(*result);
    EXPECT_EQ(link->todo()->todoStartDate(), start.addDays(1));
    EXPECT_EQ(link->calendarEndDate(), start.addDays(1).addSecs(3600));
    EXPECT_EQ(link->todo()->todoNote(), QStringLiteral("Bring the plans\n"));
    EXPECT_FALSE(context->hasChanges());

    // Nothing more to copy: the next sync saves nothing.
    result.reset();
    sync.syncAllEventsWithCalendarWithCompletionHandler([&](bool changed) { result = changed; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
    EXPECT_FALSE(*result);

    // Removed with the link when the setting asks for it.
    dataPlistValues().setValue(CalendarLinkBridge::RemoveOnCompleteKey, qint64(1));
    EXPECT_TRUE(CalendarLinkBridge::removeEventFromCalendar(*link));
    EXPECT_FALSE(store->eventWithIdentifier(link->calendarIdentifier()).has_value());
    EXPECT_FALSE(link->todo()->isCalendarEventSet());
}

TEST_F(CalendarLinkTest, WhichCandidateIsTheLinksEvent)
{
    ToDoCalendarLink *link = linkedToDo(day(2026, 3, 20, 10), day(2026, 3, 20, 11));
    link->setCreatedAt(day(2026, 3, 15, 9));
    save();
    const QDateTime created = link->createdAt();
    const auto candidate = [&](const QString &uid, double secondsAfter, const QString &title = QStringLiteral("x")) {
        Event e;
        e.externalIdentifier = uid;
        e.title = title;
        e.creationDate = created.addMSecs(qint64(secondsAfter * 1000));
        return e;
    };
    struct Case
    {
        const char *name;
        QString linkUid;
        QList<Event> events;
        QString expected; // the UID taken, or empty for none
    };
    const Case cases[] = {
        {"one candidate 25 s after the link", {}, {candidate("a", 25)}, "a"},
        {"one candidate 35 s after the link", {}, {candidate("a", 35)}, ""},
        {"the link's own UID", "mine", {candidate("mine", 500)}, "mine"},
        {"another UID is never taken, however close", "mine", {candidate("theirs", 1)}, ""},
        {"among several, the first within 20 s", {}, {candidate("a", 30), candidate("b", 10.7), candidate("c", 5)}, "b"},
        {"among several, the one with the link's UID", "mine", {candidate("a", 1), candidate("mine", 900)}, "mine"},
        {"nothing", {}, {}, ""},
    };
    for (const Case &c : cases) {
        link->setCalendarIdentifier(c.linkUid);
        const std::optional<Event> found = CalendarLinkBridge::findEventInEvents(*link, c.events);
        EXPECT_EQ(found ? found->externalIdentifier : QString(), c.expected) << c.name;
    }
}

TEST_F(CalendarLinkTest, WithoutCalendarAccessNoEventIsMadeAndTheLinkGoes)
{
    CalendarLinkBridge::resetGlobalEventStore();
    platform::core::UserDefaults::standardUserDefaults()->setObject(dir.filePath(QStringLiteral("nowhere")),
                                                                    CalendarLinkBridge::CalendarFolderKey);
    ToDoCalendarLink *link = linkedToDo(day(2026, 3, 20, 10), day(2026, 3, 20, 11));
    ToDo *todo = link->todo();
    CalendarLinkBridge bridge;
    EXPECT_FALSE(bridge.createNewCalendarEvent(*link));
    EXPECT_FALSE(todo->isCalendarEventSet());
    EXPECT_TRUE(link->isDeleted());
}

TEST_F(CalendarLinkTest, SyncsPauseDuringAWholeStoreUploadAndStopForARestore)
{
    const QDateTime start = day(2026, 3, 20, 10);
    ToDoCalendarLink *link = linkedToDo(start, start.addSecs(3600));
    CalendarLinkBridge bridge;
    ASSERT_TRUE(bridge.createNewCalendarEvent(*link));
    save();
    auto event = store->eventWithIdentifier(link->calendarIdentifier());
    ASSERT_TRUE(event.has_value());
    event->startDate = start.addSecs(1800);
    ASSERT_TRUE(store->saveEvent(*event));

    CalendarEventsSyncController sync(context);
    const auto runSync = [&] {
        std::optional<bool> result;
        sync.syncAllEventsWithCalendarWithCompletionHandler([&](bool changed) { result = changed; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }, 10000));
        return result.value_or(false);
    };
    auto &center = platform::core::NotificationCenter::defaultCenter();
    center.post(QStringLiteral("CloudKitUploadBeginningNotification"));
    EXPECT_TRUE(sync.isUploading());
    EXPECT_FALSE(runSync());
    EXPECT_EQ(link->todo()->todoStartDate(), start);
    center.post(QStringLiteral("CloudKitUploadCompleteNotification"));
    EXPECT_FALSE(sync.isUploading());
    EXPECT_TRUE(runSync());
    EXPECT_EQ(link->todo()->todoStartDate(), start.addSecs(1800));

    // A restore being prepared stops syncs for good; the end of an upload does not resume them.
    event->startDate = start.addSecs(3600);
    event->endDate = start.addSecs(7200);
    ASSERT_TRUE(store->saveEvent(*event));
    center.post(QStringLiteral("RestoreDBPreparationNotification"));
    center.post(QStringLiteral("CloudKitUploadCompleteNotification"));
    EXPECT_TRUE(sync.isRestoringData());
    EXPECT_FALSE(runSync());
    EXPECT_EQ(link->todo()->todoStartDate(), start.addSecs(1800));
}

TEST_F(CalendarLinkTest, CalendarChangesWhileTheProgramIsInFrontStartNoSyncAndQuietOnesStartOne)
{
    const QDateTime start = day(2026, 3, 20, 10);
    ToDoCalendarLink *link = linkedToDo(start, start.addSecs(3600));
    CalendarLinkBridge bridge;
    ASSERT_TRUE(bridge.createNewCalendarEvent(*link));
    save();
    auto event = store->eventWithIdentifier(link->calendarIdentifier());
    ASSERT_TRUE(event.has_value());
    event->startDate = start.addSecs(900);
    ASSERT_TRUE(store->saveEvent(*event));

    CalendarEventsSyncController sync(context);
    // In front: a change from the calendar is left for later.
    sync.syncEventsWithCalendar(&sync);
    clock->advanceSeconds(10);
    QTest::qWait(200);
    EXPECT_EQ(link->todo()->todoStartDate(), start);

    // Behind another program: changes one second apart wait for 3 s of quiet, then one sync copies them.
    sync.didResignActive();
    for (int i = 0; i < 5; ++i) {
        sync.syncEventsWithCalendar(&sync);
        clock->advanceSeconds(1);
    }
    QTest::qWait(200);
    EXPECT_EQ(link->todo()->todoStartDate(), start);
    clock->advanceSeconds(2.5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return link->todo()->todoStartDate() == start.addSecs(900); }, 10000));
}
