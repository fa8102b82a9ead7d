#include "QuendelKit/Entities/Location.h"

#include "QuendelKit/Entities/EntityValues.h"
#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/ToDo.h"

using namespace entity_values;

platform::store::FetchRequest Location::fetchRequest()
{
    return platform::store::FetchRequest(EntityName);
}

QString Location::locationName() const
{
    return string(*this, QStringLiteral("locationName"));
}
void Location::setLocationName(const QString &value)
{
    setValue(QStringLiteral("locationName"), fromString(value));
}
QString Location::locationAddress() const
{
    return string(*this, QStringLiteral("locationAddress"));
}
void Location::setLocationAddress(const QString &value)
{
    setValue(QStringLiteral("locationAddress"), fromString(value));
}
QString Location::normalizedLocationName() const
{
    return string(*this, QStringLiteral("normalizedLocationName"));
}
void Location::setNormalizedLocationName(const QString &value)
{
    setValue(QStringLiteral("normalizedLocationName"), fromString(value));
}
QString Location::normalizedLocationAddress() const
{
    return string(*this, QStringLiteral("normalizedLocationAddress"));
}
void Location::setNormalizedLocationAddress(const QString &value)
{
    setValue(QStringLiteral("normalizedLocationAddress"), fromString(value));
}
double Location::latitude() const
{
    return real(*this, QStringLiteral("latitude"));
}
void Location::setLatitude(double value)
{
    setValue(QStringLiteral("latitude"), QVariant(value));
}
double Location::longitude() const
{
    return real(*this, QStringLiteral("longitude"));
}
void Location::setLongitude(double value)
{
    setValue(QStringLiteral("longitude"), QVariant(value));
}
qint64 Location::displayOrder() const
{
    return integer(*this, QStringLiteral("displayOrder"));
}
void Location::setDisplayOrder(qint64 value)
{
    setValue(QStringLiteral("displayOrder"), QVariant(value));
}

QList<Log *> Location::logFromLocation() const
{
    return toMany<Log>(*this, QStringLiteral("logFromLocation"));
}
void Location::setLogFromLocation(const QList<Log *> &objects)
{
    setRelatedObjects(QStringLiteral("logFromLocation"), objectList(objects));
}
void Location::addLogFromLocationObject(Log *object)
{
    addRelatedObject(QStringLiteral("logFromLocation"), object);
}
void Location::removeLogFromLocationObject(Log *object)
{
    removeRelatedObject(QStringLiteral("logFromLocation"), object);
}

QList<ToDo *> Location::todoFromLocation() const
{
    return toMany<ToDo>(*this, QStringLiteral("todoFromLocation"));
}
void Location::setTodoFromLocation(const QList<ToDo *> &objects)
{
    setRelatedObjects(QStringLiteral("todoFromLocation"), objectList(objects));
}
void Location::addTodoFromLocationObject(ToDo *object)
{
    addRelatedObject(QStringLiteral("todoFromLocation"), object);
}
void Location::removeTodoFromLocationObject(ToDo *object)
{
    removeRelatedObject(QStringLiteral("todoFromLocation"), object);
}
