#include "QuendelKit/Entities/ToDoCalendarLink.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/ToDoCalendarBridge.h"
#include "QuendelKit/Entities/ToDo.h"

using namespace entity_values;

platform::store::FetchRequest ToDoCalendarLink::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

ToDoCalendarLink *ToDoCalendarLink::createNewCalendarLinkObjectWithEndDate(const QDateTime &endDate,
                                                                           platform::store::ManagedObjectContext *context)
{
    if (!context)
        return nullptr;
    auto *link = context->insertNewObject<ToDoCalendarLink>(EntityName);
    if (!link)
        return nullptr;
    link->setCalendarEndDate(endDate);
    link->setIsLinkOn(true);
    link->setEkCalendarID(ToDoCalendarBridge::shared().defaultCalendarIdentifier());
    return link;
}

bool ToDoCalendarLink::createNewCalendarEvent()
{
    return ToDoCalendarBridge::shared().createNewCalendarEvent(*this);
}

bool ToDoCalendarLink::updateCalendarEvent()
{
    return ToDoCalendarBridge::shared().updateCalendarEvent(*this);
}

QString ToDoCalendarLink::calendarIdentifier() const
{
    return string(*this, QStringLiteral("calendarIdentifier"));
}
void ToDoCalendarLink::setCalendarIdentifier(const QString &value)
{
    setValue(QStringLiteral("calendarIdentifier"), fromString(value));
}
QString ToDoCalendarLink::calendarUUID() const
{
    return string(*this, QStringLiteral("calendarUUID"));
}
void ToDoCalendarLink::setCalendarUUID(const QString &value)
{
    setValue(QStringLiteral("calendarUUID"), fromString(value));
}
QString ToDoCalendarLink::ekCalendarID() const
{
    return string(*this, QStringLiteral("ekCalendarID"));
}
void ToDoCalendarLink::setEkCalendarID(const QString &value)
{
    setValue(QStringLiteral("ekCalendarID"), fromString(value));
}
QString ToDoCalendarLink::calendarTitle() const
{
    return string(*this, QStringLiteral("calendarTitle"));
}
void ToDoCalendarLink::setCalendarTitle(const QString &value)
{
    setValue(QStringLiteral("calendarTitle"), fromString(value));
}
QDateTime ToDoCalendarLink::calendarEndDate() const
{
    return date(*this, QStringLiteral("calendarEndDate"));
}
void ToDoCalendarLink::setCalendarEndDate(const QDateTime &value)
{
    setValue(QStringLiteral("calendarEndDate"), fromDate(value));
}
qint64 ToDoCalendarLink::calendarType() const
{
    return integer(*this, QStringLiteral("calendarType"));
}
void ToDoCalendarLink::setCalendarType(qint64 value)
{
    setValue(QStringLiteral("calendarType"), QVariant(value));
}
bool ToDoCalendarLink::isLinkOn() const
{
    return boolean(*this, QStringLiteral("isLinkOn"));
}
void ToDoCalendarLink::setIsLinkOn(bool value)
{
    setValue(QStringLiteral("isLinkOn"), QVariant(value));
}

ToDo *ToDoCalendarLink::todo() const
{
    return toOne<ToDo>(*this, QStringLiteral("todo"));
}
void ToDoCalendarLink::setTodo(ToDo *object)
{
    setRelatedObject(QStringLiteral("todo"), object);
}
