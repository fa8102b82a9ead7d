#include "Classes/ToDo_Category.h"

#include "QuendelKit/Entities/ExportText.h"
#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/LogTitle.h"
#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Entities/Person.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Entities/ToDoAlert.h"
#include "QuendelKit/Entities/ToDoCalendarBridge.h"
#include "QuendelKit/Entities/ToDoCalendarLink.h"
#include "QuendelKit/Entities/ToDoTitle.h"
#include "QuendelKit/Infra/QDLog.h"
#include "QuendelKit/Settings/DataPlistValues.h"

#include "platform/core/Clock.h"
#include "platform/core/DateComponents.h"
#include "platform/store/ManagedObjectContext.h"

#include <algorithm>

using platform::core::DateComponents;
using platform::store::ManagedObjectContext;

namespace {

// More steps than any real to-do needs to catch up (a daily repeat over 250 years).
constexpr int MaxRepeatSteps = 100'000;

QVariant components(DateComponents::Field field, qint64 value)
{
    DateComponents c;
    c.setValue(field, value);
    return c.toVariant();
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (platform::core::isNullMarker(a) || platform::core::isNullMarker(b))
        return platform::core::isNullMarker(a) && platform::core::isNullMarker(b);
    if (DateComponents::isDateComponents(a) && DateComponents::isDateComponents(b))
        return a.value<DateComponents>() == b.value<DateComponents>();
    return false;
}

qint64 indexIn(const QVariantList &values, const QVariant &value)
{
    for (qsizetype i = 0; i < values.size(); ++i)
        if (sameValue(values.at(i), value))
            return qint64(i);
    return -1;
}

bool saveContextOf(ToDo &todo)
{
    ManagedObjectContext *context = todo.managedObjectContext();
    if (!context)
        return false;
    platform::core::QDError error;
    if (!context->save(&error)) {
        QDLogError(QStringLiteral("Todo-Category: save failed: %1").arg(error.toString()));
        return false;
    }
    return true;
}

} // namespace

// ---- Repeat ----

const QStringList &ToDo_Category::supportedRepeatStrings()
{
    static const QStringList strings = {QStringLiteral("None"),          QStringLiteral("Every Day"),
                                        QStringLiteral("Every Week"),    QStringLiteral("Every 2 Weeks"),
                                        QStringLiteral("Every Month"),   QStringLiteral("Every Quarter"),
                                        QStringLiteral("Every Year")};
    return strings;
}

const QVariantList &ToDo_Category::supportedRepeatValues()
{
    static const QVariantList values = {platform::core::nullMarker(),
                                        components(DateComponents::Day, 1),
                                        components(DateComponents::WeekOfMonth, 1),
                                        components(DateComponents::WeekOfMonth, 2),
                                        components(DateComponents::Month, 1),
                                        components(DateComponents::Month, 3),
                                        components(DateComponents::Year, 1)};
    return values;
}

qint64 ToDo_Category::repeatIntervalChosenIndex(ToDo &todo)
{
    const QVariant stored = todo.todoRepeatInterval();
    if (!stored.isValid())
        return 0;
    const qint64 found = indexIn(supportedRepeatValues(), stored);
    if (found >= 0)
        return found;
    for (const auto &[week, row] : {std::pair<qint64, qint64>{1, 2}, {2, 3}}) {
        if (sameValue(stored, components(DateComponents::WeekOfYear, week))) {
            todo.setTodoRepeatInterval(supportedRepeatValues().at(row));
            return row;
        }
    }
    return 0;
}

QString ToDo_Category::repeatIntervalChosenString(ToDo &todo)
{
    if (!todo.todoRepeatInterval().isValid())
        return QString();
    return supportedRepeatStrings().at(repeatIntervalChosenIndex(todo));
}

void ToDo_Category::updateRepeatIntervalWithIndex(ToDo &todo, qint64 index)
{
    if (index < 0 || index >= supportedRepeatValues().size())
        return;
    todo.setTodoRepeatInterval(supportedRepeatValues().at(index));
}

bool ToDo_Category::repeats(const ToDo &todo)
{
    const QVariant repeat = todo.todoRepeatInterval();
    if (!DateComponents::isDateComponents(repeat))
        return false;
    const QDateTime start = todo.todoStartDate().isValid() ? todo.todoStartDate() : platform::core::Clock::now();
    return ToDo::nextStartDateForRepeat(start, repeat).has_value();
}

// ---- Alert ----

const QStringList &ToDo_Category::supportedAlertStrings()
{
    static const QStringList strings = {
        QStringLiteral("None"),          QStringLiteral("On Time"),           QStringLiteral("5 minutes before"),
        QStringLiteral("15 minutes before"), QStringLiteral("30 minutes before"), QStringLiteral("1 hour before"),
        QStringLiteral("2 hours before"), QStringLiteral("1 day before"),      QStringLiteral("2 days before")};
    return strings;
}

const QVariantList &ToDo_Category::supportedAlertValues()
{
    static const QVariantList values = {platform::core::nullMarker(),
                                        components(DateComponents::Minute, 0),
                                        components(DateComponents::Minute, -5),
                                        components(DateComponents::Minute, -15),
                                        components(DateComponents::Minute, -30),
                                        components(DateComponents::Hour, -1),
                                        components(DateComponents::Hour, -2),
                                        components(DateComponents::Day, -1),
                                        components(DateComponents::Day, -2)};
    return values;
}

qint64 ToDo_Category::alertChosenIndex(const ToDo &todo)
{
    const QList<ToDoAlert *> alerts = todo.alert();
    if (alerts.isEmpty())
        return 0;
    const qint64 found = indexIn(supportedAlertValues(), alerts.first()->alertInterval());
    return found >= 0 ? found : NotFoundIndex;
}

QString ToDo_Category::alertChosenString(const ToDo &todo)
{
    if (todo.alert().isEmpty())
        return QString();
    const qint64 index = alertChosenIndex(todo);
    if (index <= 0 || index >= supportedAlertStrings().size())
        return QString();
    return supportedAlertStrings().at(index);
}

void ToDo_Category::updateAlertIntervalWithIndex(ToDo &todo, qint64 index)
{
    if (index < 0 || index >= supportedAlertValues().size())
        return;
    ManagedObjectContext *context = todo.managedObjectContext();
    QList<ToDoAlert *> alerts = todo.alert();
    if (index == 0) {
        for (ToDoAlert *alert : alerts) {
            todo.removeAlertObject(alert);
            if (context)
                context->deleteObject(alert);
        }
        return;
    }
    if (alerts.isEmpty()) {
        if (!context)
            return;
        auto *alert = context->insertNewObject<ToDoAlert>(ToDoAlert::EntityName);
        if (!alert)
            return;
        alert->setAlertInterval(supportedAlertValues().at(index));
        todo.addAlertObject(alert);
        return;
    }
    // One alert stays; the others would keep firing if they were only unlinked, so they go.
    ToDoAlert *kept = alerts.takeLast();
    kept->setAlertInterval(supportedAlertValues().at(index));
    for (ToDoAlert *other : alerts) {
        todo.removeAlertObject(other);
        if (context)
            context->deleteObject(other);
    }
}

// ---- Calendar ----

void ToDo_Category::addAutoLinkCalendarEventWithContext(ToDo &todo, ManagedObjectContext *context)
{
    if (!context)
        return;
    const QString calendar = ToDoCalendarBridge::shared().defaultCalendarIdentifier();
    if (calendar.isNull())
        return;
    const QDateTime start = todo.todoStartDate().isValid() ? todo.todoStartDate() : platform::core::Clock::now();
    auto *link = context->insertNewObject<ToDoCalendarLink>(ToDoCalendarLink::EntityName);
    if (!link)
        return;
    link->setCalendarEndDate(start.addSecs(AutoLinkLengthSeconds));
    link->setIsLinkOn(true);
    link->setEkCalendarID(calendar);
    todo.setCalendarLink(link);
}

// ---- Marking done ----

bool ToDo_Category::updateStatusToComplete(ToDo &todo)
{
    QDLogInfo(QStringLiteral("Todo-Category: updateStatusToComplete"));
    if (todo.todoStatus())
        return true;
    ManagedObjectContext *context = todo.managedObjectContext();
    todo.setTodoStatus(1);
    todo.setTodoCompletedDate(platform::core::Clock::now());
    // The contact stays reachable from the done to-do.
    if (Person *person = todo.person()) {
        todo.setCompletedperson(person);
        person->removeTodosObject(&todo);
    }
    for (ToDoAlert *alert : todo.alert()) {
        todo.removeAlertObject(alert);
        if (context)
            context->deleteObject(alert);
    }
    if (todo.isCalendarEventSet()) {
        todo.setIsCalendarEventSet(false);
        if (ToDoCalendarLink *link = todo.calendarLink()) {
            todo.setCalendarLink(nullptr);
            if (context)
                context->deleteObject(link);
        }
    }
    return saveContextOf(todo);
}

QDateTime ToDo_Category::nextRepeatDate(const QDateTime &start, const QVariant &repeat, const QDateTime &now)
{
    std::optional<QDateTime> next = ToDo::nextStartDateForRepeat(start, repeat);
    if (!next)
        return QDateTime();
    for (int step = 0; step < MaxRepeatSteps && now > *next; ++step) {
        std::optional<QDateTime> further = ToDo::nextStartDateForRepeat(*next, repeat);
        if (!further)
            return QDateTime();
        next = further;
    }
    return *next;
}

bool ToDo_Category::updateRecurringTodoToNextDate(ToDo &todo)
{
    QDLogInfo(QStringLiteral("Todo-Category: updateRecurringTodoToNextDate"));
    const QVariant repeat = todo.todoRepeatInterval();
    if (!DateComponents::isDateComponents(repeat))
        return true;
    const QDateTime start = todo.todoStartDate().isValid() ? todo.todoStartDate() : platform::core::Clock::now();
    const QDateTime next = nextRepeatDate(start, repeat, platform::core::Clock::now());
    if (!next.isValid())
        return true;
    todo.setTodoStartDate(next);
    if (ToDoCalendarLink *link = todo.calendarLink()) {
        const QVariant savedStart = todo.committedValues({QStringLiteral("todoStartDate")}).value(QStringLiteral("todoStartDate"));
        const QVariant savedEnd =
            link->committedValues({QStringLiteral("calendarEndDate")}).value(QStringLiteral("calendarEndDate"));
        const QDateTime s0 = savedStart.toDateTime();
        const QDateTime e0 = savedEnd.toDateTime();
        // A link without a saved end keeps its end: it gives no length to keep.
        if (s0.isValid() && e0.isValid()) {
            const qint64 length = s0.secsTo(e0);
            if (length != 0 && s0 != next)
                link->setCalendarEndDate(next.addSecs(length));
        }
    }
    return saveContextOf(todo);
}

bool ToDo_Category::markDone(ToDo &todo)
{
    return repeats(todo) ? updateRecurringTodoToNextDate(todo) : updateStatusToComplete(todo);
}

// ---- New to-dos ----

const QStringList &ToDo_Category::supportedToDoSettingDayValues()
{
    static const QStringList strings = {QStringLiteral("Same Day"), QStringLiteral("Next Day"),
                                        QStringLiteral("In 2 Days"), QStringLiteral("In 1 Week")};
    return strings;
}

QDateTime ToDo_Category::defaultToDoDateRelativeToToday()
{
    const DataPlistValues &settings = dataPlistValues();
    const qint64 daySetting = settings.integerValue(QStringLiteral("todo_setting_default_day"));
    const qint64 hour = settings.contains(QStringLiteral("todo_setting_default_hour"))
                            ? settings.integerValue(QStringLiteral("todo_setting_default_hour"))
                            : 23;
    const qint64 minute = settings.integerValue(QStringLiteral("todo_setting_default_minute"));
    const QDateTime now = platform::core::Clock::now().toLocalTime();
    const QDate day = now.date().addDays(daySetting == 3 ? 7 : daySetting);
    QDateTime local(day, QTime(0, 0), Qt::LocalTime);
    local = local.addSecs(std::clamp<qint64>(hour, 0, 23) * 3600 + std::clamp<qint64>(minute, 0, 59) * 60);
    return local.toUTC();
}

// ---- Renderings ----

void ToDo_Category::addTodoToEmailBody(const ToDo &todo, QString &body)
{
    const auto html = ExportText::escapeHTML;
    const Person *person = todo.person() ? todo.person() : todo.completedperson();
    body += QStringLiteral("<br><b>Date:</b> %1 <br>").arg(html(ExportText::longDateMediumTime(todo.todoStartDate())));
    body += QStringLiteral("<b>Contact: </b> %1 <br>").arg(html(person ? person->displayName() : QString()));
    if (person && !person->companyName().isEmpty())
        body += QStringLiteral("<b>Company Name: </b> %1 <br>").arg(html(person->companyName()));
    if (const ToDoTitle *title = todo.todotitle(); title && !title->title().isNull())
        body += QStringLiteral("<b>Title:</b> %1 <br>").arg(html(title->title()));
    else
        body += QStringLiteral("<b>Title:</b>  <br>");
    const Location *location = todo.todoLocation();
    if (location && !location->locationName().isEmpty()) {
        body += QStringLiteral("<b>Location:</b> %1 <br>").arg(html(location->locationName()));
        if (!location->locationAddress().isEmpty())
            body += QStringLiteral("<b>Address:</b> %1 <br>").arg(html(location->locationAddress()));
    } else {
        body += QStringLiteral("<b>Location:</b> <br>");
    }
    body += todo.todoStatus() ? QStringLiteral("<b>Status:</b> Complete <br>")
                              : QStringLiteral("<b>Status:</b> Incomplete <br>");
    const QString note = todo.todoNote();
    if (note.isNull()) {
        body += QStringLiteral("<b>Note:</b> <br>");
        return;
    }
    const QStringList lines = note.split(QLatin1Char('\n'));
    body += QStringLiteral("<b>Note:</b> %1<br>").arg(html(lines.first()));
    for (qsizetype i = 1; i < lines.size(); ++i)
        body += QStringLiteral("%1<br>").arg(html(lines.at(i)));
}

void ToDo_Category::adTodoToCSVBody(const ToDo &todo, QString &body)
{
    const auto esc = NSManagedObjectQDBase::escapeString;
    const Person *person = todo.person() ? todo.person() : todo.completedperson();
    const ToDoTitle *title = todo.todotitle();
    const Location *location = todo.todoLocation();
    body += QStringLiteral("%1,%2,%3,%4,%5,%6,%7\n")
                .arg(esc(ExportText::longDateMediumTime(todo.todoStartDate())),
                     esc(person ? person->displayName() : QString()),
                     esc(person && !person->companyName().isNull() ? person->companyName() : QString()),
                     esc(title ? title->title() : QString()), esc(location ? location->locationName() : QString()),
                     todo.todoStatus() ? QStringLiteral("Complete") : QStringLiteral("Incomplete"),
                     esc(todo.todoNote()));
}

Log *ToDo_Category::makeCloneForLogInContext(const ToDo &todo, ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    auto *log = context->insertNewObject<Log>(Log::EntityName);
    if (!log)
        return nullptr;
    log->setLogDate(todo.todoStartDate());
    log->setLogNote(todo.todoNote());
    if (const Location *location = todo.todoLocation())
        log->setLogLocation(dynamic_cast<Location *>(context->objectWithID(location->objectID())));
    if (const ToDoTitle *title = todo.todotitle(); title && !title->title().isNull()) {
        for (LogTitle *candidate : LogTitle::loadAllLogTitlesInContext(context)) {
            if (candidate->title() == title->title()) {
                log->setTitle(candidate);
                break;
            }
        }
    }
    return log;
}
