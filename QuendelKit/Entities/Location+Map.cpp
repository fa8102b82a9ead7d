#include "QuendelKit/Entities/Location.h"

#include "QuendelKit/Entities/Log.h"
#include "QuendelKit/Entities/ToDo.h"
#include "QuendelKit/Infra/QDLog.h"

#include <cmath>

QString Location::title() const
{
    return locationName();
}

QString Location::subtitle() const
{
    QString text;
    const qsizetype logs = logFromLocation().size();
    if (logs > 0)
        text += logs == 1 ? QStringLiteral("%1 Log").arg(logs) : QStringLiteral("%1 Logs").arg(logs);
    qsizetype open = 0;
    for (const ToDo *todo : todoFromLocation()) {
        if (!todo->todoStatus())
            ++open;
    }
    if (open > 0) {
        if (!text.isEmpty())
            text += QStringLiteral(", ");
        text += open == 1 ? QStringLiteral("%1 ToDo").arg(open) : QStringLiteral("%1 ToDos").arg(open);
    }
    return text;
}

GeoCoordinate Location::coordinate() const
{
    return {latitude(), longitude()};
}

void Location::setCoordinate(const GeoCoordinate &coordinate)
{
    setPrimitiveValue(QStringLiteral("latitude"), coordinate.latitude);
    setPrimitiveValue(QStringLiteral("longitude"), coordinate.longitude);
}

bool Location::isValidCoordinate() const
{
    return !(std::fabs(latitude()) < ValidCoordinateThreshold && std::fabs(longitude()) < ValidCoordinateThreshold);
}

void Location::calculateDistanceForAddressWithLocation(const GeoCoordinate &location, bool)
{
    if (std::fabs(latitude()) < NoPositionThreshold && std::fabs(longitude()) < NoPositionThreshold) {
        setDistance(-1);
        return;
    }
    setDistance(geodesicDistance(location, coordinate()));
}

MapItem Location::mapItemForLocation() const
{
    MapItem item;
    item.coordinate = coordinate();
    item.name = locationName();
    return item;
}

void Location::prepareForDeletion()
{
    NSManagedObjectQDBase::prepareForDeletion();
    QDLogInfo(QStringLiteral("location: prepareForDeletion"));
}
