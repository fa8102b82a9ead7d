#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

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

private:
    QString m_calendarLinkString;
};
