#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QDateTime>
#include <QString>

class ToDo;

// The calendar event linked to a to-do.
class ToDoCalendarLink : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("ToDoCalendarLink");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    // A new link in `context` ending at `endDate`, switched on, for the calendar new events go to; it is
    // not attached to a to-do and nothing is saved.
    static ToDoCalendarLink *createNewCalendarLinkObjectWithEndDate(const QDateTime &endDate,
                                                                    platform::store::ManagedObjectContext *context);
    // The linked event, through the installed calendar bridge.
    bool createNewCalendarEvent();
    bool updateCalendarEvent();

    QString calendarIdentifier() const;
    void setCalendarIdentifier(const QString &value);
    QString calendarUUID() const;
    void setCalendarUUID(const QString &value);
    QString ekCalendarID() const;
    void setEkCalendarID(const QString &value);
    QString calendarTitle() const;
    void setCalendarTitle(const QString &value);
    QDateTime calendarEndDate() const;
    void setCalendarEndDate(const QDateTime &value);
    qint64 calendarType() const;
    void setCalendarType(qint64 value);
    bool isLinkOn() const;
    void setIsLinkOn(bool value);

    ToDo *todo() const;
    void setTodo(ToDo *object);
};
