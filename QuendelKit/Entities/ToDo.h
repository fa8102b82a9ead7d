#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"
#include "QuendelKit/Entities/StyledText.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

class FileAttachments;
class Location;
class Person;
class ToDoAlert;
class ToDoCalendarLink;
class ToDoTitle;

// A task about a contact, with its start date, repeat, alerts and calendar link.
class ToDo : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("ToDo");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // ---- Behaviour (ToDo+Journal.cpp) ----

    // Section codes that file open to-dos by their start date, and the code of a done to-do.
    static inline const QString SectionOverdue = QStringLiteral("0");
    static inline const QString SectionNextSevenDays = QStringLiteral("1");
    static inline const QString SectionLater = QStringLiteral("2");
    static inline const QString SectionDone = QStringLiteral("3");
    static constexpr qint64 SevenDaysSeconds = 604'800;
    static constexpr qint64 NewToDoStartOffsetSeconds = 86'400;
    static constexpr qint64 CalendarEventLengthSeconds = 3'600;

    // The section code for a reference time: done "3"; started strictly before it "0" (no start date counts
    // as the start of 1970); starting strictly within the next seven days "1"; later "2".
    static QString sectionCodeFor(const ToDo *todo, const QDateTime &timeNow);

    // A new open to-do of `person` in `context`, due in 24 hours, with the default alert; with `repeat` it
    // repeats daily (and no calendar event is made), else with `addCalendar` it gets a calendar event an
    // hour long. Nothing is saved.
    static ToDo *createTodoWithNote(const QString &note, platform::store::ManagedObjectContext *context,
                                    Person *person, bool repeat, bool addCalendar);
    // The open to-dos that start after now, earliest first, at most `limit`; empty when the fetch fails.
    // Runs on the context's queue while the caller waits.
    static QList<ToDo *> fetchUpcomingTasksWithContext(platform::store::ManagedObjectContext *context, int limit);

    // The start date moved on by the repeat step: null when there is no repeat ("None" or never set) and
    // also when the step would not move the date forward (a step of zero or less would repeat forever).
    static std::optional<QDateTime> nextStartDateForRepeat(const QDateTime &start, const QVariant &repeatInterval);
    // A date moved by calendar components in the local calendar; invalid for an invalid date.
    static QDateTime dateByAddingComponents(const QDateTime &date, const QVariant &components);

    // The reference time of the last section update; setting it updates the stored section code when it
    // differs.
    QDateTime timeNow() const { return m_timeNow; }
    void setTimeNow(const QDateTime &timeNow);
    QString keyForTimeNow(const QDateTime &timeNow) const;

    // Adds an alert at the start time and asks it to create its notification.
    ToDoAlert *addAlert();
    // Moves the to-do to `person`, refreshes its alerts and calendar event, and saves its context; a failed
    // save is only logged.
    void reassignToPerson(Person *person) override;
    // The title (bold when asked) followed by ":  " and the note, or the note alone, at 13 points.
    std::optional<StyledText> getDetailAttributedStringWithBoldTitle(bool boldTitle) const;

    // Texts for a system search index (none is fed at present).
    bool entityShouldSupportSpotlightIndex() const { return true; }
    QString referenceURLString() const;
    QString titleForIndex() const;
    QString contentDescriptionForIndex() const;
    QByteArray thumbnailDataForIndex() const { return QByteArray(); }
    void deleteFromSpotlight() {}

    QString todoNote() const;
    void setTodoNote(const QString &value);
    QString todoSectionTitle() const;
    void setTodoSectionTitle(const QString &value);
    QString sectionKey() const;
    void setSectionKey(const QString &value);
    QVariant attributedToDoNote() const;
    void setAttributedToDoNote(const QVariant &value);
    QVariant todoProperties() const;
    void setTodoProperties(const QVariant &value);
    QVariant todoRepeatInterval() const;
    void setTodoRepeatInterval(const QVariant &value);
    QDateTime todoStartDate() const;
    void setTodoStartDate(const QDateTime &value);
    QDateTime todoEndDate() const;
    void setTodoEndDate(const QDateTime &value);
    QDateTime todoCompletedDate() const;
    void setTodoCompletedDate(const QDateTime &value);
    qint64 todoStatus() const;
    // Marking a to-do done also tells the observers of its title's open count to read it again.
    void setTodoStatus(qint64 value);
    bool isCalendarEventSet() const;
    void setIsCalendarEventSet(bool value);
    bool isFullDay() const;
    void setIsFullDay(bool value);
    bool isMultiTodo() const;
    void setIsMultiTodo(bool value);
    qint64 todoAction() const;
    void setTodoAction(qint64 value);
    qint64 todoFlags() const;
    void setTodoFlags(qint64 value);
    qint64 todoPriority() const;
    void setTodoPriority(qint64 value);

    Person *person() const;
    void setPerson(Person *object);
    Person *completedperson() const;
    void setCompletedperson(Person *object);
    ToDoTitle *todotitle() const;
    void setTodotitle(ToDoTitle *object);
    Location *todoLocation() const;
    void setTodoLocation(Location *object);
    ToDoCalendarLink *calendarLink() const;
    void setCalendarLink(ToDoCalendarLink *object);
    NSManagedObjectQDBase *todovoice() const;
    void setTodovoice(NSManagedObjectQDBase *object);
    QList<ToDoAlert *> alert() const;
    void setAlert(const QList<ToDoAlert *> &objects);
    void addAlertObject(ToDoAlert *object);
    void removeAlertObject(ToDoAlert *object);
    QList<FileAttachments *> attachments() const;
    void setAttachments(const QList<FileAttachments *> &objects);
    void addAttachmentsObject(FileAttachments *object);
    void removeAttachmentsObject(FileAttachments *object);

    // Kept on the object only, for the to-do editor while it edits the calendar link.
    QString calendarLinkString() const { return m_calendarLinkString; }
    void setCalendarLinkString(const QString &text) { m_calendarLinkString = text; }

protected:
    void awakeFromFetch() override;
    void awakeFromInsert() override;
    void willSave() override;

private:
    QString m_calendarLinkString;
    QDateTime m_timeNow;
};
