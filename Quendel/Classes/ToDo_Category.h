#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <limits>

class Log;
class ToDo;

namespace platform::store {
class ManagedObjectContext;
}

// What the application does with a to-do: the repeat and alert choices and the values they store, marking
// it done (completing it, or moving a repeating one on to its next date), the automatic calendar link, the
// default start of a new to-do, and its e-mail, CSV and log renderings. Every operation runs on the queue of
// the context that holds the to-do.
class ToDo_Category
{
public:
    static constexpr qint64 NotFoundIndex = std::numeric_limits<qint64>::max();
    static constexpr qint64 AutoLinkLengthSeconds = 3'600;

    // ---- Repeat ----
    // "None", "Every Day", "Every Week", "Every 2 Weeks", "Every Month", "Every Quarter", "Every Year".
    static const QStringList &supportedRepeatStrings();
    // The null marker, then one date-components value per row.
    static const QVariantList &supportedRepeatValues();
    // The row of the stored repeat: 0 when there is none or it is unknown. The old week values (the week
    // field 1 or 2, kept in weekOfYear) read as rows 2 and 3, and are rewritten as their row's value.
    static qint64 repeatIntervalChosenIndex(ToDo &todo);
    // Null when nothing is stored, else the label of the chosen row.
    static QString repeatIntervalChosenString(ToDo &todo);
    static void updateRepeatIntervalWithIndex(ToDo &todo, qint64 index);
    // Whether marking the to-do done moves it on: its repeat is a step that moves a date forward.
    static bool repeats(const ToDo &todo);

    // ---- Alert ----
    // "None", "On Time", "5 minutes before" ... "2 days before".
    static const QStringList &supportedAlertStrings();
    static const QVariantList &supportedAlertValues();
    // 0 without an alert, the row of the first alert's offset, or NotFoundIndex for an offset of no row.
    static qint64 alertChosenIndex(const ToDo &todo);
    static QString alertChosenString(const ToDo &todo);
    // Row 0 deletes every alert; another row keeps one alert (made when there is none) with that offset and
    // deletes the others.
    static void updateAlertIntervalWithIndex(ToDo &todo, qint64 index);

    // ---- Calendar ----
    // Links the to-do to a new event of the default calendar, ending an hour after its start; nothing
    // without calendar access. The event itself is made when the save reaches the main context.
    static void addAutoLinkCalendarEventWithContext(ToDo &todo, platform::store::ManagedObjectContext *context);

    // ---- Marking done ----
    // Completes the to-do (it keeps its contact as completedperson), deletes its alerts and, when it has a
    // live event, its calendar link; saves its context. True when already complete.
    static bool updateStatusToComplete(ToDo &todo);
    // Moves a repeating to-do to its first date not before now, at least one step on; a linked event keeps
    // its length. Saves its context. True without a repeat.
    static bool updateRecurringTodoToNextDate(ToDo &todo);
    // The step a list takes when the user ticks the to-do.
    static bool markDone(ToDo &todo);
    // The first date not before `now` reached from `start` by whole repeat steps, at least one step on;
    // invalid when the repeat does not move a date forward.
    static QDateTime nextRepeatDate(const QDateTime &start, const QVariant &repeat, const QDateTime &now);

    // ---- New to-dos ----
    static const QStringList &supportedToDoSettingDayValues();
    // Today plus the default-day setting, at the default hour and minute, seconds 0.
    static QDateTime defaultToDoDateRelativeToToday();

    // ---- Renderings ----
    static void addTodoToEmailBody(const ToDo &todo, QString &body);
    static void adTodoToCSVBody(const ToDo &todo, QString &body);
    // A new unsaved log in `context` with the to-do's date, note, location and the log title of the same
    // text (case-sensitive); no contact.
    static Log *makeCloneForLogInContext(const ToDo &todo, platform::store::ManagedObjectContext *context);
};
