#include "QuendelKit/Entities/ToDo.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Infra/QDLog.h"

#include "platform/core/Clock.h"
#include "platform/core/DateComponents.h"
#include "platform/store/Predicate.h"
#include "platform/store/SortDescriptor.h"

using namespace entity_values;
using platform::core::DateComponents;
using platform::store::ManagedObjectContext;
using platform::store::Predicate;

namespace {

const QString TodoSectionTitleKey = QStringLiteral("todoSectionTitle");
const QString TodoStartDateKey = QStringLiteral("todoStartDate");
const QString TodoStatusKey = QStringLiteral("todoStatus");
constexpr double DetailPointSize = 13.0;

} // namespace

QString ToDo::sectionCodeFor(const ToDo *todo, const QDateTime &timeNow)
{
    if (todo->todoStatus())
        return SectionDone;
    QDateTime start = todo->todoStartDate();
    if (!start.isValid())
        start = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    if (timeNow > start)
        return SectionOverdue;
    if (timeNow.addSecs(SevenDaysSeconds) > start)
        return SectionNextSevenDays;
    return SectionLater;
}

QString ToDo::keyForTimeNow(const QDateTime &timeNow) const
{
    return sectionCodeFor(this, timeNow);
}

void ToDo::setTimeNow(const QDateTime &timeNow)
{
    m_timeNow = timeNow;
    const QString code = keyForTimeNow(timeNow);
    if (code != todoSectionTitle())
        setTodoSectionTitle(code);
}

void ToDo::awakeFromFetch()
{
    NSManagedObjectQDBase::awakeFromFetch();
    if (!isInMigrateStoreDestinationContext())
        setTimeNow(platform::core::Clock::now());
}

void ToDo::awakeFromInsert()
{
    NSManagedObjectQDBase::awakeFromInsert();
    if (!isInMigrateStoreDestinationContext())
        setTimeNow(platform::core::Clock::now());
}

void ToDo::willSave()
{
    NSManagedObjectQDBase::willSave();
    if (isDeleted() || isInMigrateStoreDestinationContext())
        return;
    // Inside a save the code is written without a new change notice: the record is being written anyway.
    m_timeNow = platform::core::Clock::now();
    const QString code = keyForTimeNow(m_timeNow);
    if (code != todoSectionTitle())
        setPrimitiveValue(TodoSectionTitleKey, code);
}

void ToDo::setTodoStatus(qint64 value)
{
    setValue(TodoStatusKey, QVariant(value));
    if (value) {
        if (ToDoTitle *title = todotitle())
            title->setIncompleteCountString(title->incompleteCountString());
    }
}

QDateTime ToDo::dateByAddingComponents(const QDateTime &date, const QVariant &components)
{
    if (!date.isValid() || !DateComponents::isDateComponents(components))
        return date;
    const DateComponents step = components.value<DateComponents>();
    const auto field = [&](DateComponents::Field which) {
        return step.isDefined(which) ? step.value(which) : qint64(0);
    };
    QDateTime local = date.toLocalTime();
    local = local.addYears(int(field(DateComponents::Year)));
    local = local.addMonths(int(field(DateComponents::Month) + 3 * field(DateComponents::Quarter)));
    local = local.addDays(field(DateComponents::Day) +
                          7 * (field(DateComponents::WeekOfMonth) + field(DateComponents::WeekOfYear)) +
                          field(DateComponents::Weekday));
    local = local.addSecs(field(DateComponents::Hour) * 3600 + field(DateComponents::Minute) * 60 +
                          field(DateComponents::Second));
    return local.toUTC();
}

std::optional<QDateTime> ToDo::nextStartDateForRepeat(const QDateTime &start, const QVariant &repeatInterval)
{
    if (!start.isValid() || !DateComponents::isDateComponents(repeatInterval))
        return std::nullopt;
    const QDateTime next = dateByAddingComponents(start, repeatInterval);
    if (!next.isValid() || next <= start)
        return std::nullopt;
    return next;
}

ToDo *ToDo::createTodoWithNote(const QString &note, ManagedObjectContext *context, Person *person, bool repeat,
                               bool addCalendar)
{
    if (!context)
        return nullptr;
    auto *todo = context->insertNewObject<ToDo>(EntityName);
    if (!todo)
        return nullptr;
    todo->setTodoNote(note);
    todo->setTodoStatus(0);
    todo->setPerson(person);
    const QDateTime now = platform::core::Clock::now();
    todo->setTodoStartDate(now.addSecs(NewToDoStartOffsetSeconds));
    if (repeat) {
        DateComponents daily;
        daily.setDay(1);
        todo->setTodoRepeatInterval(daily.toVariant());
    } else if (addCalendar) {
        todo->setIsCalendarEventSet(true);
        ToDoCalendarLink *link = ToDoCalendarLink::createNewCalendarLinkObjectWithEndDate(
            now.addSecs(NewToDoStartOffsetSeconds + CalendarEventLengthSeconds), context);
        todo->setCalendarLink(link);
        if (link) {
            link->setCalendarTitle(person ? person->displayName() : QString());
            link->createNewCalendarEvent();
        }
    }
    todo->addAlert();
    return todo;
}

QList<ToDo *> ToDo::fetchUpcomingTasksWithContext(ManagedObjectContext *context, int limit)
{
    QList<ToDo *> result;
    if (!context)
        return result;
    context->performAndWait([&] {
        platform::store::FetchRequest request = fetchRequest();
        request.setPredicate(Predicate::andOf({Predicate::equal(TodoStatusKey, false),
                                               Predicate::greater(TodoStartDateKey, platform::core::Clock::now())}));
        request.setSortDescriptors({platform::store::SortDescriptor(TodoStartDateKey, true)});
        request.setFetchLimit(limit);
        platform::core::QDError error;
        const QList<platform::store::ManagedObject *> objects = context->executeFetchRequest(request, &error);
        if (error) {
            QDSystemLog(QStringLiteral("fetchUpcomingTasksWithContext: error = %1").arg(error.toString()));
            return;
        }
        for (platform::store::ManagedObject *object : objects) {
            if (auto *todo = dynamic_cast<ToDo *>(object))
                result.append(todo);
        }
    });
    return result;
}

ToDoAlert *ToDo::addAlert()
{
    ManagedObjectContext *context = managedObjectContext();
    if (!context)
        return nullptr;
    auto *alert = context->insertNewObject<ToDoAlert>(ToDoAlert::EntityName);
    if (!alert)
        return nullptr;
    DateComponents onTime;
    onTime.setMinute(0);
    alert->setAlertInterval(onTime.toVariant());
    addAlertObject(alert);
    alert->createNewLocalNotification();
    return alert;
}

void ToDo::reassignToPerson(Person *person)
{
    if (Person *current = this->person())
        current->removeTodosObject(this);
    if (person)
        person->addTodosObject(this);
    for (ToDoAlert *alert : alert())
        alert->updateExistingLocalNotification();
    if (ToDoCalendarLink *link = calendarLink())
        link->updateCalendarEvent();
    if (ManagedObjectContext *context = managedObjectContext()) {
        platform::core::QDError error;
        if (!context->save(&error))
            QDSystemLog(QStringLiteral("error with save: %1").arg(error.toString()));
    }
}

std::optional<StyledText> ToDo::getDetailAttributedStringWithBoldTitle(bool boldTitle) const
{
    const ToDoTitle *title = todotitle();
    const QString titleText = title ? title->title() : QString();
    const QString note = todoNote();
    if (!titleText.isNull()) {
        StyledText text;
        text.runs.append({titleText, boldTitle ? StyledText::BoldFontName : StyledText::RegularFontName,
                          DetailPointSize, boldTitle, StyledText::BlackColor});
        if (!note.isEmpty())
            text.runs.append({QStringLiteral(":  %1").arg(note), StyledText::RegularFontName, DetailPointSize, false,
                              StyledText::BlackColor});
        return text;
    }
    if (note.isNull())
        return std::nullopt;
    StyledText text;
    text.runs.append({note, StyledText::RegularFontName, DetailPointSize, false, StyledText::BlackColor});
    return text;
}

QString ToDo::referenceURLString() const
{
    return objectID().URIRepresentation().toString();
}

QString ToDo::titleForIndex() const
{
    const Person *contact = person();
    QString text = QStringLiteral("[ToDo] %1").arg(contact ? contact->displayName() : QString());
    if (const ToDoTitle *title = todotitle(); title && !title->title().isEmpty())
        text += QStringLiteral(": %1").arg(title->title());
    if (const Location *location = todoLocation(); location && !location->locationName().isEmpty())
        text += QStringLiteral(" at %1").arg(location->locationName());
    return text;
}

QString ToDo::contentDescriptionForIndex() const
{
    const QString date = ExportText::shortDateShortTime(todoStartDate());
    if (const QString note = todoNote(); !note.isEmpty())
        return QStringLiteral("Due Date: %1\n%2").arg(date, note);
    return date;
}
