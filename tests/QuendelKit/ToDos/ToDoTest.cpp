#include "QuendelKit/Entities/EntityStoreFixture.h"
#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/ToDoCalendarBridge.h"

#include "QuendelKit/CloudRecord/NSManagedObjectQDBase+CloudRecord.h"

#include "platform/core/DateComponents.h"

#include <gtest/gtest.h>

using platform::core::DateComponents;
using platform::store::ContextPtr;
using quendel::test::EntityStoreTest;

namespace {

class ToDoTest : public EntityStoreTest
{
protected:
    QDateTime now() const { return platform::core::Clock::now(); }
};

// Records the calendar events asked for.
class FakeCalendar : public ToDoCalendarBridge
{
public:
    QString defaultCalendarIdentifier() override { return QStringLiteral("CAL-1"); }
    bool createNewCalendarEvent(ToDoCalendarLink &link) override
    {
        created.append(link.calendarTitle());
        return true;
    }
    bool updateCalendarEvent(ToDoCalendarLink &) override
    {
        ++updates;
        return true;
    }
    QStringList created;
    int updates = 0;
};

DateComponents components(DateComponents::Field field, qint64 value)
{
    DateComponents c;
    c.setValue(field, value);
    return c;
}

} // namespace

TEST_F(ToDoTest, SectionCodesAroundTheWeekEdge)
{
    ToDo *todo = insert<ToDo>();
    const QDateTime t = now();
    const struct
    {
        const char *name;
        QDateTime start;
        qint64 status;
        QString code;
    } cases[] = {
        {"starts exactly now", t, 0, ToDo::SectionNextSevenDays},
        {"started a second ago", t.addSecs(-1), 0, ToDo::SectionOverdue},
        {"starts in a second", t.addSecs(1), 0, ToDo::SectionNextSevenDays},
        {"starts exactly seven days on", t.addSecs(ToDo::SevenDaysSeconds), 0, ToDo::SectionLater},
        {"a second before seven days", t.addSecs(ToDo::SevenDaysSeconds - 1), 0, ToDo::SectionNextSevenDays},
        {"no start date", QDateTime(), 0, ToDo::SectionOverdue},
        {"done and overdue", t.addSecs(-100), 1, ToDo::SectionDone},
        {"done and later", t.addDays(30), 1, ToDo::SectionDone},
        {"done without start", QDateTime(), 1, ToDo::SectionDone},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        todo->setTodoStartDate(c.start);
        todo->setTodoStatus(c.status);
        EXPECT_EQ(todo->keyForTimeNow(t), c.code);
        EXPECT_EQ(ToDo::sectionCodeFor(todo, t), c.code);
        todo->setTimeNow(t);
        EXPECT_EQ(todo->timeNow(), t);
        EXPECT_EQ(todo->todoSectionTitle(), c.code);
    }
}

TEST_F(ToDoTest, SavingAndFetchingBringTheStoredCodeUpToDate)
{
    ToDo *todo = insert<ToDo>();
    todo->setTodoStartDate(now().addDays(3));
    save(context);
    EXPECT_EQ(todo->todoSectionTitle(), ToDo::SectionNextSevenDays);

    clock->advance(4 * 86'400'000LL);
    ContextPtr fresh;
    ToDo *read = reread<ToDo>(todo, fresh);
    ASSERT_NE(read, nullptr);
    // Read four days later: the fetch recomputes without marking the record changed.
    EXPECT_EQ(read->todoSectionTitle(), ToDo::SectionOverdue);
    EXPECT_FALSE(read->hasChanges());

    // A save of any change writes the current code.
    todo->setTodoNote(QStringLiteral("call back"));
    save(context);
    const QVariantMap stored = newContext()->executeFetchRequestForDictionaries(ToDo::fetchRequest()).value(0);
    EXPECT_EQ(stored.value(QStringLiteral("todoSectionTitle")).toString(), ToDo::SectionOverdue);
}

TEST_F(ToDoTest, CreationWithRepeatCalendarOrNeither)
{
    auto calendar = std::make_shared<FakeCalendar>();
    ToDoCalendarBridge::install(calendar);
    Person *person = insert<Person>();
    person->setFirstName(QStringLiteral("Ann"));
    person->setLastName(QStringLiteral("Lee"));

    ToDo *both = ToDo::createTodoWithNote(QStringLiteral("both"), context.get(), person, true, true);
    ASSERT_NE(both, nullptr);
    EXPECT_EQ(both->todoRepeatInterval().value<DateComponents>(), components(DateComponents::Day, 1));
    EXPECT_EQ(both->calendarLink(), nullptr);
    EXPECT_FALSE(both->isCalendarEventSet());

    ToDo *withCalendar = ToDo::createTodoWithNote(QStringLiteral("cal"), context.get(), person, false, true);
    ASSERT_NE(withCalendar->calendarLink(), nullptr);
    EXPECT_TRUE(withCalendar->isCalendarEventSet());
    EXPECT_FALSE(withCalendar->todoRepeatInterval().isValid());
    EXPECT_EQ(withCalendar->calendarLink()->calendarEndDate(), now().addSecs(86'400 + 3'600));
    EXPECT_EQ(withCalendar->calendarLink()->ekCalendarID(), QStringLiteral("CAL-1"));
    EXPECT_TRUE(withCalendar->calendarLink()->isLinkOn());
    EXPECT_EQ(calendar->created, QStringList{person->displayName()});

    ToDo *plain = ToDo::createTodoWithNote(QStringLiteral("plain"), context.get(), person, false, false);
    for (ToDo *todo : {both, withCalendar, plain}) {
        EXPECT_EQ(todo->todoStartDate(), now().addSecs(86'400));
        EXPECT_EQ(todo->todoStatus(), 0);
        EXPECT_EQ(todo->person(), person);
        ASSERT_EQ(todo->alert().size(), 1);
        EXPECT_EQ(todo->alert().first()->alertInterval().value<DateComponents>(),
                  components(DateComponents::Minute, 0));
    }
    EXPECT_EQ(plain->todoNote(), QStringLiteral("plain"));
    EXPECT_TRUE(context->hasChanges());
    ToDoCalendarBridge::install(nullptr);
}

TEST_F(ToDoTest, UpcomingTasksAreOpenFutureOnesEarliestFirst)
{
    const auto make = [&](qint64 secondsFromNow, qint64 status) {
        ToDo *todo = insert<ToDo>();
        todo->setTodoStartDate(now().addSecs(secondsFromNow));
        todo->setTodoStatus(status);
        todo->setTodoNote(QString::number(secondsFromNow));
        return todo;
    };
    make(300, 0);
    make(-300, 0);
    make(100, 0);
    make(200, 1);
    make(0, 0);
    make(50, 0);
    save(context);
    QStringList notes;
    for (ToDo *todo : ToDo::fetchUpcomingTasksWithContext(context.get(), 2))
        notes.append(todo->todoNote());
    EXPECT_EQ(notes, (QStringList{QStringLiteral("50"), QStringLiteral("100")}));
    EXPECT_EQ(ToDo::fetchUpcomingTasksWithContext(context.get(), 0).size(), 3);
    EXPECT_TRUE(ToDo::fetchUpcomingTasksWithContext(nullptr, 5).isEmpty());
}

TEST_F(ToDoTest, ReassignMovesTheToDoAndSaves)
{
    auto calendar = std::make_shared<FakeCalendar>();
    ToDoCalendarBridge::install(calendar);
    Person *from = insert<Person>();
    Person *to = insert<Person>();
    ToDo *todo = ToDo::createTodoWithNote(QStringLiteral("move"), context.get(), from, false, true);
    todo->reassignToPerson(to);
    EXPECT_EQ(todo->person(), to);
    EXPECT_TRUE(from->todos().isEmpty());
    EXPECT_EQ(to->todos(), QList<ToDo *>{todo});
    EXPECT_EQ(calendar->updates, 1);
    EXPECT_FALSE(context->hasChanges());
    ToDoCalendarBridge::install(nullptr);
}

TEST_F(ToDoTest, DoneToDoRefreshesItsTitleCount)
{
    ToDoTitle *title = insert<ToDoTitle>();
    ToDo *todo = insert<ToDo>();
    todo->setTodotitle(title);
    EXPECT_EQ(title->incompleteCountString(), QStringLiteral("1"));
    todo->setTodoStatus(1);
    EXPECT_EQ(title->incompleteCountString(), QStringLiteral("0"));
}

TEST_F(ToDoTest, DetailTextAndIndexTexts)
{
    Person *person = insert<Person>();
    person->setFirstName(QStringLiteral("Ann"));
    ToDo *todo = insert<ToDo>();
    todo->setPerson(person);
    EXPECT_FALSE(todo->getDetailAttributedStringWithBoldTitle(true).has_value());
    todo->setTodoNote(QStringLiteral("bring <b>cake</b>"));
    auto noteOnly = todo->getDetailAttributedStringWithBoldTitle(true);
    ASSERT_TRUE(noteOnly.has_value());
    EXPECT_EQ(noteOnly->plainText(), QStringLiteral("bring <b>cake</b>"));
    EXPECT_EQ(noteOnly->runs.first().fontName, QStringLiteral("Helvetica"));

    ToDoTitle *title = insert<ToDoTitle>();
    title->setTitle(QStringLiteral("Call"));
    todo->setTodotitle(title);
    for (bool bold : {true, false}) {
        auto text = todo->getDetailAttributedStringWithBoldTitle(bold);
        ASSERT_TRUE(text.has_value());
        ASSERT_EQ(text->runs.size(), 2);
        EXPECT_EQ(text->runs[0].fontName, bold ? QStringLiteral("Helvetica-Bold") : QStringLiteral("Helvetica"));
        EXPECT_EQ(text->runs[0].pointSize, 13.0);
        EXPECT_EQ(text->runs[1].text, QStringLiteral(":  bring <b>cake</b>"));
        EXPECT_EQ(text->runs[1].foregroundColor, QStringLiteral("#000000"));
    }
    todo->setTodoNote(QString());
    EXPECT_EQ(todo->getDetailAttributedStringWithBoldTitle(false)->plainText(), QStringLiteral("Call"));

    Location *place = insert<Location>();
    place->setLocationName(QStringLiteral("Office"));
    todo->setTodoLocation(place);
    EXPECT_EQ(todo->titleForIndex(), QStringLiteral("[ToDo] %1: Call at Office").arg(person->displayName()));
    todo->setTodoStartDate(now());
    EXPECT_EQ(todo->contentDescriptionForIndex(), ExportText::shortDateShortTime(now()));
    todo->setTodoNote(QStringLiteral("note"));
    EXPECT_EQ(todo->contentDescriptionForIndex(),
              QStringLiteral("Due Date: %1\nnote").arg(ExportText::shortDateShortTime(now())));
    EXPECT_TRUE(todo->entityShouldSupportSpotlightIndex());
    EXPECT_TRUE(todo->referenceURLString().contains(QStringLiteral("/ToDo/")));
}

TEST(ToDoRepeat, NextStartDateMovesForwardOrMeansNoRepeat)
{
    const QDateTime start(QDate(2026, 1, 31), QTime(9, 0), Qt::LocalTime);
    const struct
    {
        const char *name;
        QVariant repeat;
        std::optional<QDateTime> next;
    } cases[] = {
        {"daily", components(DateComponents::Day, 1).toVariant(), start.addDays(1)},
        {"weekly", components(DateComponents::WeekOfMonth, 1).toVariant(), start.addDays(7)},
        {"fortnightly", components(DateComponents::WeekOfMonth, 2).toVariant(), start.addDays(14)},
        {"monthly at the month end", components(DateComponents::Month, 1).toVariant(), start.addMonths(1)},
        {"quarterly", components(DateComponents::Month, 3).toVariant(), start.addMonths(3)},
        {"yearly", components(DateComponents::Year, 1).toVariant(), start.addYears(1)},
        {"none", platform::core::nullMarker(), std::nullopt},
        {"never set", QVariant(), std::nullopt},
        {"zero step", components(DateComponents::Day, 0).toVariant(), std::nullopt},
        {"no field", DateComponents().toVariant(), std::nullopt},
        {"backwards", components(DateComponents::Month, -1).toVariant(), std::nullopt},
        {"not components", QVariant(QStringLiteral("daily")), std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const auto next = ToDo::nextStartDateForRepeat(start, c.repeat);
        ASSERT_EQ(next.has_value(), c.next.has_value());
        if (next) {
            EXPECT_EQ(*next, c.next->toUTC());
        }
    }
    EXPECT_FALSE(ToDo::nextStartDateForRepeat(QDateTime(), components(DateComponents::Day, 1).toVariant()));
}

TEST_F(ToDoTest, RepeatTravelsInTheCloudRecordOnlyWhenSetOrCleared)
{
    ToDo *todo = insert<ToDo>();
    todo->setTodoRepeatInterval(components(DateComponents::WeekOfMonth, 1).toVariant());
    save(context);
    const platform::cloud::Record whole = todo->ckRecordFromManagedObjectWithRecordZoneID();
    EXPECT_TRUE(whole.hasField(QStringLiteral("todoRepeatInterval")));

    todo->setTodoRepeatInterval(platform::core::nullMarker());
    save(context);
    EXPECT_FALSE(todo->ckRecordFromManagedObjectWithRecordZoneID().hasField(QStringLiteral("todoRepeatInterval")));
    EXPECT_TRUE(todo->removeAttributesFromSyncFields().contains(QStringLiteral("todoRepeatInterval")));
}
