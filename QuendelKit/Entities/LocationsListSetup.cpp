#include "QuendelKit/Entities/LocationsListSetup.h"

#include "QuendelKit/Entities/Location.h"
#include "QuendelKit/Entities/PersonAddress.h"

#include <cmath>

QString HeaderValueTransformer::transformedValue(const QString &key) const
{
    const QString unit = m_usesMetric ? QStringLiteral("kms") : QStringLiteral("miles");
    if (key == LocationsListSetup::Within10Key)
        return QStringLiteral("Within 10 %1").arg(unit);
    if (key == LocationsListSetup::Within25Key)
        return QStringLiteral("Within 25 %1").arg(unit);
    if (key == LocationsListSetup::Within50Key)
        return QStringLiteral("Within 50 %1").arg(unit);
    if (key == LocationsListSetup::Beyond51Key)
        return QStringLiteral("Greater than 51 %1").arg(unit);
    if (key == LocationsListSetup::WaitingKey)
        return QStringLiteral("Waiting For Results");
    if (key == LocationsListSetup::NotFoundKey)
        return QStringLiteral("Incorrect Formatting");
    return key;
}

QString DistanceLabelTransformer::transformedValue(double metres) const
{
    if (metres < 0)
        return QStringLiteral("NA");
    return stringFromDistance(metres, QLocale());
}

QString DistanceLabelTransformer::stringFromDistance(double metres, const QLocale &locale)
{
    // Short distances in the small unit, rounded to a sensible step; longer ones in the large unit with one
    // decimal up to ten, whole beyond.
    const auto large = [&](double value, const QString &unit) {
        const int decimals = value < 10 ? 1 : 0;
        return QStringLiteral("%1 %2").arg(locale.toString(value, 'f', decimals), unit);
    };
    if (locale.measurementSystem() == QLocale::MetricSystem) {
        if (metres < 1000) {
            const double step = metres < 100 ? 1 : 10;
            return QStringLiteral("%1 m").arg(locale.toString(qint64(std::round(metres / step) * step)));
        }
        return large(metres / 1000.0, QStringLiteral("km"));
    }
    const double feet = metres * 3.280839895;
    const double miles = metres * LocationsListSetup::MilesPerMetre;
    if (miles < 0.1) {
        const double step = feet < 100 ? 1 : 10;
        return QStringLiteral("%1 ft").arg(locale.toString(qint64(std::round(feet / step) * step)));
    }
    return large(miles, QStringLiteral("mi"));
}

LocationsListSetup::LocationsListSetup() : LocationsListSetup(QLocale()) {}

LocationsListSetup::LocationsListSetup(const QLocale &locale)
    : m_distanceKeys({Within10Key, Within25Key, Within50Key, Beyond51Key, WaitingKey, NotFoundKey}),
      m_usesMetric(locale.measurementSystem() == QLocale::MetricSystem), m_transform(m_usesMetric),
      m_distanceTransform(m_usesMetric)
{
}

void LocationsListSetup::loadPersonAddressFetchedObjects(const QList<PersonAddress *> &addresses,
                                                         const GeoCoordinate &currentLocation, Buckets &buckets) const
{
    for (PersonAddress *address : addresses) {
        address->calculateDistanceForAddressWithLocation(currentLocation, m_usesMetric);
        buckets[bucketForPersonAddress(address)].append(address);
    }
}

void LocationsListSetup::loadLocationsFetchedObjects(const QList<Location *> &places,
                                                     const GeoCoordinate &currentLocation, Buckets &buckets) const
{
    for (Location *place : places) {
        if (std::fabs(place->latitude()) < Location::NoPositionThreshold &&
            std::fabs(place->longitude()) < Location::NoPositionThreshold)
            place->setDistance(-1);
        else
            place->calculateDistanceForAddressWithLocation(currentLocation, false);
        buckets[bucketForLocation(place)].append(place);
    }
}

QString LocationsListSetup::bucketForPersonAddress(const PersonAddress *address) const
{
    const double d = units(address->distance());
    if (d < 0)
        return keyAt(address->geocodeStatus() == 2 ? 5 : 4);
    if (d < 10.5)
        return keyAt(0);
    if (d < 25.5)
        return keyAt(1);
    if (d <= 50.0)
        return keyAt(2);
    return keyAt(3);
}

QString LocationsListSetup::bucketForLocation(const Location *place) const
{
    const double d = units(place->distance());
    if (d < 0)
        return keyAt(4);
    if (d < 10.5)
        return keyAt(0);
    if (d < 25.5)
        return keyAt(1);
    if (d < 50.5)
        return keyAt(2);
    return keyAt(3);
}
