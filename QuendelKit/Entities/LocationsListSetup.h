#pragma once

#include <QList>
#include <QLocale>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "QuendelKit/Entities/GeoCoordinate.h"

class Location;
class PersonAddress;
namespace platform::store {
class ManagedObject;
}

// The title of a distance group of the map's side list.
class HeaderValueTransformer
{
public:
    HeaderValueTransformer() = default;
    explicit HeaderValueTransformer(bool useMetric) : m_usesMetric(useMetric) {}

    bool usesMetric() const { return m_usesMetric; }
    // "Within 10 kms", "Greater than 51 miles", "Waiting For Results"...; any other key comes back unchanged.
    QString transformedValue(const QString &key) const;

private:
    bool m_usesMetric = false;
};

// The distance shown beside an entry of the map's side list.
class DistanceLabelTransformer
{
public:
    DistanceLabelTransformer() = default;
    explicit DistanceLabelTransformer(bool useMetric) : m_usesMetric(useMetric) {}

    bool usesMetric() const { return m_usesMetric; }
    // "NA" below 0; otherwise the distance in the units of the current locale.
    QString transformedValue(double metres) const;
    // A distance in the units a locale measures in: metres or kilometres, else feet or miles.
    static QString stringFromDistance(double metres, const QLocale &locale);

private:
    bool m_usesMetric = false;
};

// Files contact addresses and saved places into groups by their distance from the user's position, in
// kilometres or miles as the locale measures.
class LocationsListSetup
{
public:
    // The group keys, in the order the filing picks them by position.
    static inline const QString Within10Key = QStringLiteral("10");
    static inline const QString Within25Key = QStringLiteral("25");
    static inline const QString Within50Key = QStringLiteral("50");
    static inline const QString Beyond51Key = QStringLiteral("51");
    static inline const QString WaitingKey = QStringLiteral("1000");
    static inline const QString NotFoundKey = QStringLiteral("2000");
    static constexpr double KilometresPerMetre = 0.001;
    static constexpr double MilesPerMetre = 0.000621371192;

    using Buckets = QMap<QString, QList<platform::store::ManagedObject *>>;

    // Measures in the units of the current locale.
    LocationsListSetup();
    explicit LocationsListSetup(const QLocale &locale);

    QStringList distanceKeys() const { return m_distanceKeys; }
    void setDistanceKeys(const QStringList &keys) { m_distanceKeys = keys; }
    bool usesMetric() const { return m_usesMetric; }
    const HeaderValueTransformer &transform() const { return m_transform; }
    const DistanceLabelTransformer &distanceTransform() const { return m_distanceTransform; }

    // Measures each record from `currentLocation` and appends it to the list of its group.
    void loadPersonAddressFetchedObjects(const QList<PersonAddress *> &addresses, const GeoCoordinate &currentLocation,
                                         Buckets &buckets) const;
    void loadLocationsFetchedObjects(const QList<Location *> &places, const GeoCoordinate &currentLocation,
                                     Buckets &buckets) const;
    // The group of a record from the distance it already holds.
    QString bucketForPersonAddress(const PersonAddress *address) const;
    QString bucketForLocation(const Location *place) const;

private:
    double units(double metres) const { return metres * (m_usesMetric ? KilometresPerMetre : MilesPerMetre); }
    QString keyAt(int position) const { return m_distanceKeys.value(position); }

    QStringList m_distanceKeys;
    bool m_usesMetric = true;
    HeaderValueTransformer m_transform;
    DistanceLabelTransformer m_distanceTransform;
};
