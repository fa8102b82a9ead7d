#include "QuendelKit/Entities/ToDoAlert.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/ToDo.h"

using namespace entity_values;

platform::store::FetchRequest ToDoAlert::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QVariant ToDoAlert::alertInterval() const
{
    return value(QStringLiteral("alertInterval"));
}
void ToDoAlert::setAlertInterval(const QVariant &value)
{
    setValue(QStringLiteral("alertInterval"), value);
}
QVariant ToDoAlert::localNotification() const
{
    return value(QStringLiteral("localNotification"));
}
void ToDoAlert::setLocalNotification(const QVariant &value)
{
    setValue(QStringLiteral("localNotification"), value);
}
QString ToDoAlert::alertIdentifier() const
{
    return string(*this, QStringLiteral("alertIdentifier"));
}
void ToDoAlert::setAlertIdentifier(const QString &value)
{
    setValue(QStringLiteral("alertIdentifier"), fromString(value));
}
qint64 ToDoAlert::alertStatus() const
{
    return integer(*this, QStringLiteral("alertStatus"));
}
void ToDoAlert::setAlertStatus(qint64 value)
{
    setValue(QStringLiteral("alertStatus"), QVariant(value));
}

ToDo *ToDoAlert::todo() const
{
    return toOne<ToDo>(*this, QStringLiteral("todo"));
}
void ToDoAlert::setTodo(ToDo *object)
{
    setRelatedObject(QStringLiteral("todo"), object);
}
