#pragma once

#include "QuendelKit/Entities/NSManagedObjectQDBase.h"

#include "platform/store/FetchRequest.h"

#include <QList>
#include <QString>

class Log;
class ToDo;

// A saved place that log entries and to-dos can refer to.
class Location : public NSManagedObjectQDBase
{
public:
    static inline const QString EntityName = QStringLiteral("Location");

    // A new request for every record of the entity: no predicate, order or limit.
    static platform::store::FetchRequest fetchRequest();

    QString locationName() const;
    void setLocationName(const QString &value);
    QString locationAddress() const;
    void setLocationAddress(const QString &value);
    QString normalizedLocationName() const;
    void setNormalizedLocationName(const QString &value);
    QString normalizedLocationAddress() const;
    void setNormalizedLocationAddress(const QString &value);
    double latitude() const;
    void setLatitude(double value);
    double longitude() const;
    void setLongitude(double value);
    qint64 displayOrder() const;
    void setDisplayOrder(qint64 value);

    QList<Log *> logFromLocation() const;
    void setLogFromLocation(const QList<Log *> &objects);
    void addLogFromLocationObject(Log *object);
    void removeLogFromLocationObject(Log *object);
    QList<ToDo *> todoFromLocation() const;
    void setTodoFromLocation(const QList<ToDo *> &objects);
    void addTodoFromLocationObject(ToDo *object);
    void removeTodoFromLocationObject(ToDo *object);

    // Kept on the object only: metres from the reference point of the last distance calculation (-1 for a
    // place without a position; 0 until one was made).
    double distance() const { return m_distance; }
    void setDistance(double distance) { m_distance = distance; }

private:
    double m_distance = 0;
};
