#include "JournalFixture.h"

#include "Classes/ToDo_Category.h"

#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/DateComponents.h"

using namespace journal_test;
using platform::core::DateComponents;

namespace {

QVariant step(DateComponents::Field field, qint64 value)
{
    DateComponents c;
    c.setValue(field, value);
    return c.toVariant();
}

QDateTime local(int y, int m, int d, int h = 10, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::LocalTime);
}

} // namespace

class ToDoLogicTest : public JournalStoreTest
{
protected:
    void SetUp() override
    {
        JournalStoreTest::SetUp();
        // As the program's main context: its own changes win over what the store says.
        context->setMergePolicy(platform::store::MergePolicy::ObjectTrump);
    }

    ToDo *insertToDo(Person *person, const QDateTime &start, const QVariant &repeat = {})
    {
        auto *todo = context->insertNewObject<ToDo>(ToDo::EntityName);
        todo->setTodoStartDate(start.toUTC());
        todo->setTodoStatus(0);
        todo->setTodoRepeatInterval(repeat);
        todo->setPerson(person);
        return todo;
    }

    ToDoAlert *insertAlert(ToDo *todo, const QVariant &offset)
    {
        auto *alert = context->insertNewObject<ToDoAlert>(ToDoAlert::EntityName);
        alert->setAlertInterval(offset);
        todo->addAlertObject(alert);
        return alert;
    }

    int countOf(const QString &entity)
    {
        return int(context->executeFetchRequest(platform::store::FetchRequest(entity)).size());
    }
};

TEST_F(ToDoLogicTest, RepeatStepsFromDailyToYearlyAcrossMonthEndsAndLeapDays)
{
    struct Case
    {
        const char *name;
        QDateTime start;
        QVariant repeat;
        QDateTime now;
        QDateTime expected; // invalid: the repeat does not move the date on
    };
    const QVariant daily = step(DateComponents::Day, 1);
    const QVariant weekly = step(DateComponents::WeekOfMonth, 1);
    const QVariant fortnightly = step(DateComponents::WeekOfMonth, 2);
    const QVariant monthly = step(DateComponents::Month, 1);
    const QVariant quarterly = step(DateComponents::Month, 3);
    const QVariant yearly = step(DateComponents::Year, 1);
    const QDateTime now = local(2026, 3, 15, 9);
    const Case cases[] = {
        {"daily, five days behind, lands on today", local(2026, 3, 10), daily, now, local(2026, 3, 15)},
        {"daily, in the future, one step", local(2026, 3, 20), daily, now, local(2026, 3, 21)},
        {"weekly, three weeks and a day ago", now.addDays(-22), weekly, now, now.addDays(6)},
        {"weekly, tomorrow, a week from tomorrow", now.addDays(1), weekly, now, now.addDays(8)},
        {"every 2 weeks, lands on today", local(2026, 3, 1), fortnightly, now, local(2026, 3, 15)},
        {"every 2 weeks, in the future", local(2026, 3, 20), fortnightly, now, local(2026, 4, 3)},
        {"monthly from a month end", local(2026, 1, 31), monthly, local(2026, 1, 1), local(2026, 2, 28)},
        {"monthly into a leap February", local(2024, 1, 31), monthly, local(2024, 1, 1), local(2024, 2, 29)},
        {"quarterly from a month end", local(2025, 11, 30), quarterly, local(2025, 11, 1), local(2026, 2, 28)},
        {"yearly from a leap day", local(2024, 2, 29), yearly, local(2024, 1, 1), local(2025, 2, 28)},
        {"yearly, years behind", local(2020, 6, 1), yearly, now, local(2026, 6, 1)},
        {"a step of zero", local(2026, 3, 10), step(DateComponents::Day, 0), now, QDateTime()},
        {"a step backwards", local(2026, 3, 10), step(DateComponents::Month, -1), now, QDateTime()},
        {"no step at all", local(2026, 3, 10), DateComponents().toVariant(), now, QDateTime()},
        {"the null marker", local(2026, 3, 10), platform::core::nullMarker(), now, QDateTime()},
    };
    for (const Case &c : cases) {
        const QDateTime next = ToDo_Category::nextRepeatDate(c.start.toUTC(), c.repeat, c.now.toUTC());
        if (!c.expected.isValid())
            EXPECT_FALSE(next.isValid()) << c.name << ": " << next.toString(Qt::ISODate).toStdString();
        else
            EXPECT_EQ(next, c.expected.toUTC()) << c.name << ": " << next.toLocalTime().toString(Qt::ISODate).toStdString();
    }
}

TEST_F(ToDoLogicTest, TheRepeatAndAlertTablesAndTheirStoredValues)
{
    EXPECT_EQ(ToDo_Category::supportedRepeatStrings(),
              (QStringList{"None", "Every Day", "Every Week", "Every 2 Weeks", "Every Month", "Every Quarter",
                           "Every Year"}));
    EXPECT_EQ(ToDo_Category::supportedAlertStrings(),
              (QStringList{"None", "On Time", "5 minutes before", "15 minutes before", "30 minutes before",
                           "1 hour before", "2 hours before", "1 day before", "2 days before"}));
    EXPECT_EQ(&ToDo_Category::supportedRepeatValues(), &ToDo_Category::supportedRepeatValues());

    ToDo *todo = insertToDo(alice, local(2026, 3, 20));
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenIndex(*todo), 0);
    EXPECT_TRUE(ToDo_Category::repeatIntervalChosenString(*todo).isNull());
    ToDo_Category::updateRepeatIntervalWithIndex(*todo, 0);
    EXPECT_TRUE(platform::core::isNullMarker(todo->todoRepeatInterval()));
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenString(*todo), QStringLiteral("None"));
    ToDo_Category::updateRepeatIntervalWithIndex(*todo, 5);
    EXPECT_EQ(todo->todoRepeatInterval().value<DateComponents>(), step(DateComponents::Month, 3).value<DateComponents>());
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenString(*todo), QStringLiteral("Every Quarter"));

    // The old week values read as their rows and are rewritten; an unknown value reads as "None" and stays.
    todo->setTodoRepeatInterval(step(DateComponents::WeekOfYear, 1));
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenIndex(*todo), 2);
    EXPECT_EQ(todo->todoRepeatInterval().value<DateComponents>(),
              step(DateComponents::WeekOfMonth, 1).value<DateComponents>());
    todo->setTodoRepeatInterval(step(DateComponents::WeekOfYear, 2));
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenIndex(*todo), 3);
    todo->setTodoRepeatInterval(step(DateComponents::Day, 4));
    EXPECT_EQ(ToDo_Category::repeatIntervalChosenString(*todo), QStringLiteral("None"));
    EXPECT_EQ(todo->todoRepeatInterval().value<DateComponents>(), step(DateComponents::Day, 4).value<DateComponents>());

    // Alert offsets: each row's value added to the start gives the alert's time.
    const qint64 offsets[] = {0, 0, -5 * 60, -15 * 60, -30 * 60, -3600, -7200, -86400, -172800};
    for (int row = 1; row < 9; ++row) {
        ToDo_Category::updateAlertIntervalWithIndex(*todo, row);
        ASSERT_EQ(todo->alert().size(), 1) << row;
        EXPECT_EQ(ToDo_Category::alertChosenIndex(*todo), row);
        EXPECT_EQ(ToDo_Category::alertChosenString(*todo), ToDo_Category::supportedAlertStrings().at(row));
        EXPECT_EQ(todo->todoStartDate().secsTo(todo->alert().first()->deliveryDate()), offsets[row]) << row;
    }
    todo->alert().first()->setAlertInterval(step(DateComponents::Minute, -7));
    EXPECT_EQ(ToDo_Category::alertChosenIndex(*todo), ToDo_Category::NotFoundIndex);
    EXPECT_TRUE(ToDo_Category::alertChosenString(*todo).isNull());
}

TEST_F(ToDoLogicTest, ChoosingAnAlertLeavesOneAlertAndDeletesTheRest)
{
    ToDo *todo = insertToDo(alice, local(2026, 3, 20));
    insertAlert(todo, step(DateComponents::Minute, 0));
    insertAlert(todo, step(DateComponents::Hour, -1));
    save();
    ToDo_Category::updateAlertIntervalWithIndex(*todo, 3);
    save();
    ASSERT_EQ(todo->alert().size(), 1);
    EXPECT_EQ(todo->alert().first()->alertInterval().value<DateComponents>(),
              step(DateComponents::Minute, -15).value<DateComponents>());
    EXPECT_EQ(countOf(ToDoAlert::EntityName), 1);

    insertAlert(todo, step(DateComponents::Day, -1));
    save();
    ToDo_Category::updateAlertIntervalWithIndex(*todo, 0);
    save();
    EXPECT_TRUE(todo->alert().isEmpty());
    EXPECT_EQ(countOf(ToDoAlert::EntityName), 0);
    ToDo_Category::updateAlertIntervalWithIndex(*todo, 0);
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ToDoLogicTest, CompletingKeepsTheContactAndDropsAlertsAndTheLink)
{
    ToDo *todo = insertToDo(alice, local(2026, 3, 20), platform::core::nullMarker());
    insertAlert(todo, step(DateComponents::Minute, 0));
    auto *link = context->insertNewObject<ToDoCalendarLink>(ToDoCalendarLink::EntityName);
    link->setCalendarEndDate(local(2026, 3, 20, 11).toUTC());
    todo->setCalendarLink(link);
    todo->setIsCalendarEventSet(true);
    save();

    // The "None" marker is no repeat: ticking completes.
    EXPECT_FALSE(ToDo_Category::repeats(*todo));
    EXPECT_TRUE(ToDo_Category::markDone(*todo));
    EXPECT_EQ(todo->todoStatus(), 1);
    EXPECT_EQ(todo->todoCompletedDate(), platform::core::Clock::now());
    EXPECT_EQ(todo->person(), nullptr);
    EXPECT_EQ(todo->completedperson(), alice);
    EXPECT_FALSE(todo->isCalendarEventSet());
    EXPECT_EQ(todo->calendarLink(), nullptr);
    EXPECT_EQ(countOf(ToDoAlert::EntityName), 0);
    EXPECT_EQ(countOf(ToDoCalendarLink::EntityName), 0);
    EXPECT_FALSE(context->hasChanges());

    // Done already: nothing changes and nothing is saved.
    clock->advance(60'000);
    EXPECT_TRUE(ToDo_Category::updateStatusToComplete(*todo));
    EXPECT_NE(todo->todoCompletedDate(), platform::core::Clock::now());
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ToDoLogicTest, MovingOnKeepsTheLinkedEventsLength)
{
    const QDateTime now = platform::core::Clock::now();
    ToDo *todo = insertToDo(alice, now.addDays(-2).toLocalTime(), step(DateComponents::Day, 1));
    auto *link = context->insertNewObject<ToDoCalendarLink>(ToDoCalendarLink::EntityName);
    link->setCalendarEndDate(now.addDays(-2).addSecs(90 * 60));
    todo->setCalendarLink(link);
    insertAlert(todo, step(DateComponents::Minute, 0));
    save();
    EXPECT_TRUE(ToDo_Category::markDone(*todo));
    EXPECT_EQ(todo->todoStatus(), 0);
    EXPECT_EQ(todo->todoStartDate(), now);
    EXPECT_EQ(todo->todoStartDate().secsTo(link->calendarEndDate()), 90 * 60);
    EXPECT_EQ(todo->alert().size(), 1);
    EXPECT_FALSE(context->hasChanges());

    // A link whose saved end is its saved start keeps its end.
    link->setCalendarEndDate(todo->todoStartDate());
    save();
    const QDateTime end = link->calendarEndDate();
    EXPECT_TRUE(ToDo_Category::updateRecurringTodoToNextDate(*todo));
    EXPECT_EQ(link->calendarEndDate(), end);

    // A repeat that would never pass now is no repeat: ticking completes the to-do.
    ToDo *stuck = insertToDo(bob, now.addDays(-3).toLocalTime(), step(DateComponents::Day, 0));
    save();
    EXPECT_FALSE(ToDo_Category::repeats(*stuck));
    EXPECT_TRUE(ToDo_Category::markDone(*stuck));
    EXPECT_EQ(stuck->todoStatus(), 1);
}

TEST_F(ToDoLogicTest, TheDefaultStartFollowsTheSettings)
{
    DataPlistValues &settings = dataPlistValues();
    const QDate today = platform::core::Clock::now().toLocalTime().date();
    struct Case
    {
        qint64 day, hour, minute;
        QDateTime expected;
    };
    const Case cases[] = {
        {0, 23, 0, QDateTime(today, QTime(23, 0), Qt::LocalTime)},
        {1, 8, 30, QDateTime(today.addDays(1), QTime(8, 30), Qt::LocalTime)},
        {3, 23, 0, QDateTime(today.addDays(7), QTime(23, 0), Qt::LocalTime)},
        {5, 7, 15, QDateTime(today.addDays(5), QTime(7, 15), Qt::LocalTime)},
    };
    for (const Case &c : cases) {
        settings.setValue(QStringLiteral("todo_setting_default_day"), c.day);
        settings.setValue(QStringLiteral("todo_setting_default_hour"), c.hour);
        settings.setValue(QStringLiteral("todo_setting_default_minute"), c.minute);
        EXPECT_EQ(ToDo_Category::defaultToDoDateRelativeToToday(), c.expected.toUTC()) << c.day;
    }
    settings.remove(QStringLiteral("todo_setting_default_day"));
    settings.remove(QStringLiteral("todo_setting_default_hour"));
    settings.remove(QStringLiteral("todo_setting_default_minute"));
}

TEST_F(ToDoLogicTest, EmailAndCsvRenderings)
{
    ToDo *todo = insertToDo(alice, local(2026, 3, 20));
    todo->setTodoNote(QStringLiteral("first <line>\nsecond\nthird"));
    QString html;
    ToDo_Category::addTodoToEmailBody(*todo, html);
    EXPECT_TRUE(html.contains(QStringLiteral("<b>Contact: </b> Alice <br>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<b>Title:</b>  <br>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<b>Location:</b> <br>")));
    EXPECT_TRUE(html.contains(QStringLiteral("<b>Status:</b> Incomplete <br>")));
    EXPECT_TRUE(html.endsWith(QStringLiteral("<b>Note:</b> first &lt;line&gt;<br>second<br>third<br>"))) << html.toStdString();

    QString csv;
    todo->setTodoNote(QStringLiteral("call, then write"));
    ToDo_Category::adTodoToCSVBody(*todo, csv);
    EXPECT_TRUE(csv.endsWith(QStringLiteral(",Alice,,,,Incomplete,\"call, then write\"\n"))) << csv.toStdString();
}
