#include "JournalFixture.h"

#include "Classes/CoreDataControllerShared.h"

#include "platform/core/NotificationCenter.h"
#include "platform/store/StoreNotifications.h"

using namespace journal_test;

using LogsHarness = ListHarness<LogsListDataSource>;

TEST_F(JournalStoreTest, AnEmptyEntityReportsOneReload)
{
    LogsHarness list(context, nullptr);
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("U")});
    EXPECT_TRUE(list.source.headersArray().isEmpty());
    EXPECT_TRUE(list.source.loadedArrayController());
}

TEST_F(JournalStoreTest, LogsAreSectionedByMonthNewestFirst)
{
    insertLog(alice, day(2026, 1, 5), QStringLiteral("jan"));
    insertLog(alice, day(2026, 3, 2), QStringLiteral("mar early"));
    insertLog(bob, day(2026, 3, 20), QStringLiteral("mar late"));
    save();
    LogsHarness list(context, nullptr);
    EXPECT_EQ(list.sourceSections(), (QStringList{QStringLiteral("2026003"), QStringLiteral("2026001")}));
    EXPECT_EQ(list.modelSections(), list.sourceSections());
    const auto &march = list.source.headersArray().at(0)->children();
    ASSERT_EQ(march.size(), 2);
    EXPECT_EQ(static_cast<Log *>(march.at(0)->dataObject())->logNote(), QStringLiteral("mar late"));
    EXPECT_EQ(list.source.arrangedObjects().size(), 3);
}

// The incremental changes of the list, one save at a time, against what the model reports.
TEST_F(JournalStoreTest, EventTableOfSavedChanges)
{
    Log *january = insertLog(alice, day(2026, 1, 5), QStringLiteral("jan"));
    Log *marchLate = insertLog(alice, day(2026, 3, 20), QStringLiteral("mar late"));
    Log *marchEarly = insertLog(alice, day(2026, 3, 10), QStringLiteral("mar early"));
    save();
    LogsHarness list(context, nullptr);
    list.recorder.take();

    // The first log of a month opens its section at its sorted place.
    Log *february = insertLog(alice, day(2026, 2, 10), QStringLiteral("feb"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("NS 2026002 @1")});

    // A second log of that month joins the section; newer rows go first.
    insertLog(alice, day(2026, 2, 20), QStringLiteral("feb later"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("AR 2026002 @0")});

    // A note-only edit changes no place.
    marchEarly->setLogNote(QStringLiteral("just words"));
    save();
    EXPECT_TRUE(list.recorder.take().isEmpty());

    // A new date within the month moves the row within its section.
    setDate(marchEarly, day(2026, 3, 25));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("MS 2026003 1->0")});

    // The only row of a month moved to a month with no section: its section goes, then the move.
    setDate(january, day(2026, 5, 1));
    save();
    EXPECT_EQ(list.recorder.take(),
              (QStringList{QStringLiteral("DS 2026001 @2"), QStringLiteral("MX 2026001->2026005 2->0 0->0")}));
    EXPECT_EQ(list.sourceSections(),
              (QStringList{QStringLiteral("2026005"), QStringLiteral("2026003"), QStringLiteral("2026002")}));

    // Into an existing section.
    setDate(marchLate, day(2026, 2, 15));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("MX 2026003->2026002 1->2 1->1")});
    EXPECT_EQ(list.modelSections(), list.sourceSections());
    EXPECT_EQ(list.modelRows(2), 3);

    // One of two rows goes: the row is reported while it is still in its section.
    context->deleteObject(february);
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("DR 2 2")});
    EXPECT_TRUE(list.recorder.rowPresentWhenDeleted);

    // The only row goes: only its section is reported.
    context->deleteObject(january);
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("DS 2026005 @0")});
    EXPECT_EQ(list.modelSections(), list.sourceSections());
    EXPECT_EQ(list.source.arrangedObjects().size(), 3);
}

TEST_F(JournalStoreTest, AContactPageListsOnlyItsContact)
{
    Log *mine = insertLog(alice, day(2026, 3, 1), QStringLiteral("alice 1"));
    insertLog(alice, day(2026, 3, 2), QStringLiteral("alice 2"));
    insertLog(bob, day(2026, 3, 3), QStringLiteral("bob"));
    save();
    LogsHarness list(context, alice);
    list.recorder.take();
    ASSERT_EQ(list.source.headersArray().size(), 1);
    EXPECT_EQ(list.source.headersArray().at(0)->children().size(), 2);

    // Another contact's new log, and a record of another entity in the same save, are ignored.
    insertLog(bob, day(2026, 3, 4), QStringLiteral("bob again"));
    auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
    todo->setTodoStartDate(day(2026, 3, 20));
    todo->setPerson(alice);
    save();
    EXPECT_TRUE(list.recorder.take().isEmpty());

    // A log given to another contact leaves this list.
    mine->setPerson(bob);
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("DR 0 1")});

    // And a log given to this contact arrives.
    mine->setPerson(alice);
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("AR 2026003 @1")});
}

TEST_F(JournalStoreTest, RowsWithEqualDatesKeepTheOrderTheyWereStoredIn)
{
    Log *first = insertLog(alice, day(2026, 3, 10), QStringLiteral("first"));
    save();
    LogsHarness list(context, nullptr);
    list.recorder.take();

    Log *second = insertLog(alice, day(2026, 3, 10), QStringLiteral("second"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("AR 2026003 @1")});
    Log *third = insertLog(alice, day(2026, 3, 10), QStringLiteral("third"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("AR 2026003 @2")});

    auto notes = [](const QDListDataSource &source) {
        QStringList out;
        for (const CommonListDataPtr &row : source.headersArray().at(0)->children())
            out << static_cast<Log *>(row->dataObject())->logNote();
        return out;
    };
    const QStringList incremental = notes(list.source);
    EXPECT_EQ(incremental, (QStringList{QStringLiteral("first"), QStringLiteral("second"), QStringLiteral("third")}));

    // A rebuild gives the same order, and touching a row's date without changing it moves nothing.
    list.source.setupListView();
    EXPECT_EQ(notes(list.source), incremental);
    list.recorder.take();
    second->setLogDate(day(2026, 3, 10, 13));
    second->setLogDate(day(2026, 3, 10));
    save();
    EXPECT_TRUE(list.recorder.take().isEmpty());
    EXPECT_EQ(notes(list.source), incremental);
    (void)first;
    (void)third;
}

TEST_F(JournalStoreTest, TheFilterHoldsForSavedAndMergedRecords)
{
    insertLog(alice, day(2026, 3, 1), QStringLiteral("apple tart"));
    insertLog(alice, day(2026, 3, 2), QStringLiteral("pear"));
    save();
    LogsHarness list(context, nullptr);
    list.source.setPredicateAndUpdateList(list.source.baseSearchPredicateWithSearch(QStringLiteral("APPLE")));
    list.recorder.take();
    ASSERT_EQ(list.source.headersArray().size(), 1);
    EXPECT_EQ(list.source.headersArray().at(0)->children().size(), 1);

    // A saved record outside the filter stays out; one inside comes in.
    insertLog(alice, day(2026, 3, 3), QStringLiteral("banana"));
    save();
    EXPECT_TRUE(list.recorder.take().isEmpty());
    insertLog(alice, day(2026, 4, 3), QStringLiteral("apple pie"));
    save();
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("NS 2026004 @0")});

    // The same for records merged from elsewhere.
    auto other = newContext();
    Person *otherAlice = static_cast<Person *>(other->objectWithID(alice->objectID()));
    insertLog(otherAlice, day(2026, 3, 4), QStringLiteral("cherry"), other);
    insertLog(otherAlice, day(2026, 3, 5), QStringLiteral("apple crumble"), other);
    std::shared_ptr<const platform::store::SaveChanges> changes;
    platform::core::ScopedObserver saved(
        platform::store::ManagedObjectContextDidSaveNotification, other.get(),
        [&](const platform::core::Notification &n) { changes = platform::store::SaveChanges::fromNotification(n); });
    save(other);
    ASSERT_NE(changes, nullptr);
    context->mergeChanges(*changes);
    platform::core::NotificationCenter::defaultCenter().post(
        CoreDataControllerBase::RefreshAllViewsAfterCloudChangesNotification, nullptr,
        {{platform::store::ChangesKey, QVariant::fromValue(changes)}});
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("AR 2026003 @0")});
}

TEST_F(JournalStoreTest, ACloudMergeWithADeletionThenInsertionsAddsTheInsertedRecords)
{
    Log *gone = insertLog(alice, day(2026, 3, 1), QStringLiteral("gone"));
    insertLog(alice, day(2026, 3, 2), QStringLiteral("stays"));
    save();
    LogsHarness list(context, nullptr);
    list.recorder.take();

    auto other = newContext();
    Person *otherAlice = static_cast<Person *>(other->objectWithID(alice->objectID()));
    other->deleteObject(other->objectWithID(gone->objectID()));
    insertLog(otherAlice, day(2026, 3, 9), QStringLiteral("new in march"), other);
    insertLog(otherAlice, day(2026, 6, 9), QStringLiteral("new in june"), other);
    std::shared_ptr<const platform::store::SaveChanges> changes;
    platform::core::ScopedObserver saved(
        platform::store::ManagedObjectContextDidSaveNotification, other.get(),
        [&](const platform::core::Notification &n) { changes = platform::store::SaveChanges::fromNotification(n); });
    save(other);
    ASSERT_NE(changes, nullptr);
    context->mergeChanges(*changes);
    QVariantMap info{{platform::store::ChangesKey, QVariant::fromValue(changes)}};
    platform::core::NotificationCenter::defaultCenter().post(
        CoreDataControllerBase::RefreshAllViewsAfterCloudChangesNotification, nullptr, info);
    const QStringList events = list.recorder.take();
    EXPECT_EQ(events, (QStringList{QStringLiteral("DR 0 1"), QStringLiteral("AR 2026003 @0"),
                                   QStringLiteral("NS 2026006 @0")}));
    EXPECT_EQ(list.modelSections(), list.sourceSections());
    EXPECT_EQ(list.modelRows(1), 2);
}

TEST_F(JournalStoreTest, ARestoreEmptiesTheListThenRebuildsItOnTheNewContext)
{
    insertLog(alice, day(2026, 3, 1), QStringLiteral("apple"));
    insertLog(alice, day(2026, 4, 1), QStringLiteral("pear"));
    save();
    LogsHarness list(context, nullptr);
    list.source.setPredicateAndUpdateList(list.source.baseSearchPredicateWithSearch(QStringLiteral("apple")));
    list.recorder.take();

    auto &center = platform::core::NotificationCenter::defaultCenter();
    center.post(CoreDataControllerShared::RestoreDBPreparationNotification);
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("U")});
    EXPECT_TRUE(list.source.headersArray().isEmpty());
    EXPECT_EQ(list.source.managedObjectContext(), nullptr);
    EXPECT_EQ(list.model.rowCount(), 0);

    auto restored = newContext();
    center.post(CoreDataControllerShared::RestoreDBNotification, restored.get());
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("U")});
    EXPECT_EQ(list.source.managedObjectContext(), restored);
    EXPECT_FALSE(list.source.filterPredicate().has_value());
    EXPECT_EQ(list.sourceSections(), (QStringList{QStringLiteral("2026004"), QStringLiteral("2026003")}));
    EXPECT_EQ(list.modelSections(), list.sourceSections());

    // It now follows the new context's saves, and no longer the old one's.
    Person *restoredAlice = static_cast<Person *>(restored->objectWithID(alice->objectID()));
    insertLog(restoredAlice, day(2026, 4, 2), QStringLiteral("new"), restored);
    save(restored);
    EXPECT_EQ(list.recorder.take(), QStringList{QStringLiteral("AR 2026004 @0")});
    insertLog(alice, day(2026, 4, 3), QStringLiteral("old context"));
    save();
    EXPECT_TRUE(list.recorder.take().isEmpty());
}

TEST(CommonListData, HeaderDisplayTexts)
{
    const QString december = QLocale().monthName(12, QLocale::LongFormat);
    EXPECT_EQ(CommonListData(QString::number(2024 * 1000 + 12)).headerDisplayTitle(),
              december + QStringLiteral(" 2024"));
    // A period without a real month shows as it is.
    EXPECT_EQ(CommonListData(QStringLiteral("2024013")).headerDisplayTitle(), QStringLiteral("2024013"));
    EXPECT_EQ(CommonListData(QStringLiteral("0")).headerDisplayTodoSections(), QStringLiteral("Overdue"));
    EXPECT_EQ(CommonListData(QStringLiteral("1")).headerDisplayTodoSections(), QStringLiteral("Next 7 Days"));
    EXPECT_EQ(CommonListData(QStringLiteral("2")).headerDisplayTodoSections(), QStringLiteral("Upcoming"));
    EXPECT_EQ(CommonListData(QStringLiteral("3")).headerDisplayTodoSections(), QStringLiteral("None"));
    EXPECT_EQ(CommonListData(QStringLiteral("tom")).headerDisplayName(), QStringLiteral("tom"));
}
