#pragma once

#include "QuendelKit/Entities/GeoCoordinate.h"
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

    // ---- Map pin and distance (Location+Map.cpp) ----

    // Both coordinates below this in magnitude: the place has no position to measure from.
    static constexpr double NoPositionThreshold = 0.001;
    // Both coordinates below this in magnitude: the place gets no pin.
    static constexpr double ValidCoordinateThreshold = 0.5;

    // The pin's texts: the name, and the counts of the place's log entries and open to-dos.
    QString title() const;
    QString subtitle() const;
    GeoCoordinate coordinate() const;
    // Writes the position without change notices.
    void setCoordinate(const GeoCoordinate &coordinate);
    bool isValidCoordinate() const;
    // Metres from `location` to the place, or -1 when the place has no position. Metres either way.
    void calculateDistanceForAddressWithLocation(const GeoCoordinate &location, bool usingMetric);
    MapItem mapItemForLocation() const;

    // Kept on the object only: metres from the reference point of the last distance calculation (-1 for a
    // place without a position; 0 until one was made).
    double distance() const { return m_distance; }
    void setDistance(double distance) { m_distance = distance; }

protected:
    void prepareForDeletion() override;

private:
    double m_distance = 0;
};
