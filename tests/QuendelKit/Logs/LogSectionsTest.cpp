#include "QuendelKit/Entities/EntityStoreFixture.h"

#include <gtest/gtest.h>

using platform::store::ContextPtr;
using quendel::test::EntityStoreTest;

namespace {

QDateTime local(int year, int month, int day, int hour = 12, int minute = 0, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::LocalTime);
}

class LogSectionsTest : public EntityStoreTest
{
protected:
    // The entry as it is stored, read by a fresh context.
    Log *stored(const Log *log)
    {
        fresh.reset();
        return reread<Log>(log, fresh);
    }
    ContextPtr fresh;
};

} // namespace

TEST(LogSectionValue, MonthSectionsAcrossMonthAndYearEdges)
{
    const struct
    {
        QDateTime date;
        QString section;
    } cases[] = {
        {local(2024, 1, 1, 0, 0, 0), QStringLiteral("2024001")},
        {local(2023, 12, 31, 23, 59, 59), QStringLiteral("2023012")},
        {local(2024, 3, 15), QStringLiteral("2024003")},
        {local(2024, 2, 29, 23, 59, 59), QStringLiteral("2024002")},
        {local(2024, 3, 1, 0, 0, 0), QStringLiteral("2024003")},
        {local(2024, 10, 31), QStringLiteral("2024010")},
        {local(1999, 12, 1), QStringLiteral("1999012")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODate).toStdString());
        EXPECT_EQ(Log::sectionValueForDate(c.date), c.section);
        // The month is the local one, whatever zone the date was written in.
        EXPECT_EQ(Log::sectionValueForDate(c.date.toUTC()), c.section);
    }
    EXPECT_TRUE(Log::sectionValueForDate(QDateTime()).isNull());
}

TEST_F(LogSectionsTest, SetLogDateKeepsTheSectionInStep)
{
    Log *log = insert<Log>();
    log->setLogDate(local(2025, 1, 20));
    EXPECT_EQ(log->logSectionPeriod(), QStringLiteral("2025001"));
    log->setLogDate(local(2024, 12, 31, 23, 59));
    EXPECT_EQ(log->logSectionPeriod(), QStringLiteral("2024012"));
    log->setLogDate(QDateTime());
    EXPECT_TRUE(log->value(QStringLiteral("logSectionPeriod")).isNull());
}

TEST_F(LogSectionsTest, SaveRecomputesTheSectionOfADateWrittenDirectlyButKeepsTheSectionKey)
{
    Log *log = insert<Log>();
    log->setLogDate(local(2024, 5, 10));
    EXPECT_EQ(log->sectionKey(), QStringLiteral("2024005"));
    save(context);

    log->setValue(QStringLiteral("logDate"), local(2024, 6, 2).toUTC());
    EXPECT_EQ(log->value(QStringLiteral("logSectionPeriod")).toString(), QStringLiteral("2024005"));
    save(context);
    EXPECT_EQ(log->logSectionPeriod(), QStringLiteral("2024006"));
    EXPECT_FALSE(context->hasChanges()) << "the section is written inside the save";
    Log *reread = stored(log);
    EXPECT_EQ(reread->value(QStringLiteral("logSectionPeriod")).toString(), QStringLiteral("2024006"));
    EXPECT_EQ(reread->value(QStringLiteral("sectionKey")).toString(), QStringLiteral("2024005"));
}

TEST_F(LogSectionsTest, AWholeStoreCopyKeepsEveryValueAsCopied)
{
    ContextPtr destination = newContext(NSManagedObjectQDBase::MigrateStoreDestinationContextName);
    Log *log = insert<Log>(destination);
    log->setValue(QStringLiteral("logDate"), local(2024, 6, 2).toUTC());
    log->setValue(QStringLiteral("logSectionPeriod"), QStringLiteral("1999001"));
    save(destination);
    Log *copy = stored(log);
    EXPECT_EQ(copy->value(QStringLiteral("logSectionPeriod")).toString(), QStringLiteral("1999001"));
    EXPECT_TRUE(copy->value(QStringLiteral("sectionKey")).isNull());
    EXPECT_TRUE(copy->cloudKitID().isNull());

    // Reading the section there does not make one either.
    Log *unsectioned = insert<Log>(destination);
    unsectioned->setValue(QStringLiteral("logDate"), local(2024, 7, 2).toUTC());
    save(destination);
    EXPECT_EQ(unsectioned->logSectionPeriod(), QStringLiteral("2024007"));
    EXPECT_EQ(unsectioned->sectionKey(), QStringLiteral("2024007"));
    EXPECT_TRUE(unsectioned->value(QStringLiteral("logSectionPeriod")).isNull());
    EXPECT_TRUE(unsectioned->value(QStringLiteral("sectionKey")).isNull());
}

TEST_F(LogSectionsTest, AMissingSectionIsFilledOnReadExceptInTheDataSyncContext)
{
    Log *log = insert<Log>();
    log->setValue(QStringLiteral("logDate"), local(2024, 8, 9).toUTC());
    EXPECT_EQ(log->logSectionPeriod(), QStringLiteral("2024008"));
    EXPECT_EQ(log->value(QStringLiteral("logSectionPeriod")).toString(), QStringLiteral("2024008"));

    ContextPtr sync = newContext(Log::CloudKitDataSyncContextName);
    Log *incoming = insert<Log>(sync);
    incoming->setValue(QStringLiteral("logDate"), local(2024, 9, 9).toUTC());
    EXPECT_EQ(incoming->logSectionPeriod(), QStringLiteral("2024009"));
    EXPECT_TRUE(incoming->value(QStringLiteral("logSectionPeriod")).isNull());
    EXPECT_FALSE(incoming->hasChangedKey(QStringLiteral("logSectionPeriod")));

    Log *undated = insert<Log>();
    EXPECT_TRUE(undated->logSectionPeriod().isNull());
    EXPECT_TRUE(undated->sectionKey().isNull());
}

TEST_F(LogSectionsTest, ANewEntryIsDatedNowAndBelongsToNoContact)
{
    clock->set(local(2026, 4, 30, 18, 45).toUTC());
    Log *log = Log::createLogWithNote(QStringLiteral("Called about the offer"), context.get());
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->logNote(), QStringLiteral("Called about the offer"));
    EXPECT_EQ(log->logDate(), local(2026, 4, 30, 18, 45).toUTC());
    EXPECT_EQ(log->logSectionPeriod(), QStringLiteral("2026004"));
    EXPECT_EQ(log->person(), nullptr);
    EXPECT_TRUE(log->isInserted()) << "nothing is saved";
}

TEST_F(LogSectionsTest, RecentEntriesAreTheNewestWithAContact)
{
    Person *person = insert<Person>();
    QList<Log *> made;
    for (int i = 0; i < 4; ++i) {
        Log *log = Log::createLogWithNote(QStringLiteral("entry %1").arg(i), context.get());
        log->setPerson(person);
        made.append(log);
        save(context);
        clock->advanceSeconds(60);
    }
    Log *orphan = Log::createLogWithNote(QStringLiteral("no contact"), context.get());
    save(context);

    EXPECT_EQ(Log::fetchRecentLogsWithContext(context.get(), 2), (QList<Log *>{made[3], made[2]}));
    const QList<Log *> all = Log::fetchRecentLogsWithContext(context.get(), 10);
    EXPECT_EQ(all, (QList<Log *>{made[3], made[2], made[1], made[0]}));
    EXPECT_FALSE(all.contains(orphan));
    EXPECT_TRUE(Log::fetchRecentLogsWithContext(nullptr, 2).isEmpty());
}

TEST_F(LogSectionsTest, CloneTakesDateNoteTitleAndPlaceOnly)
{
    Person *person = insert<Person>();
    auto *title = insert<LogTitle>();
    title->setTitle(QStringLiteral("Lunch"));
    auto *place = insert<Location>();
    place->setLocationName(QStringLiteral("Cafe"));
    Log *source = insert<Log>();
    source->setLogDate(local(2024, 2, 3));
    source->setLogNote(QStringLiteral("Soup"));
    source->setTitle(title);
    source->setLogLocation(place);
    source->setPerson(person);
    source->setLogFlags(5);

    Log *copy = insert<Log>();
    copy->cloneFromExistingLog(source);
    EXPECT_EQ(copy->logDate(), source->logDate());
    EXPECT_EQ(copy->logSectionPeriod(), QStringLiteral("2024002"));
    EXPECT_EQ(copy->logNote(), QStringLiteral("Soup"));
    EXPECT_EQ(copy->title(), title);
    EXPECT_EQ(copy->logLocation(), place);
    EXPECT_EQ(copy->person(), nullptr);
    EXPECT_EQ(copy->logFlags(), 0);
    EXPECT_FALSE(copy->isTitleEmpty());
    EXPECT_FALSE(copy->isLocationEmpty());
    EXPECT_TRUE(insert<Log>()->isTitleEmpty());
}

TEST_F(LogSectionsTest, ReassignMovesTheEntryAndSaves)
{
    Person *from = insert<Person>();
    Person *to = insert<Person>();
    Log *log = insert<Log>();
    log->setPerson(from);
    save(context);

    log->reassignToPerson(to);
    EXPECT_EQ(log->person(), to);
    EXPECT_FALSE(from->logs().contains(log));
    EXPECT_TRUE(to->logs().contains(log));
    EXPECT_FALSE(context->hasChanges()) << "the move is saved";
    EXPECT_EQ(stored(log)->person()->objectID(), to->objectID());
}
