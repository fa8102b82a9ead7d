#pragma once

#include <QString>
#include <QVariantMap>

// A position on the map: latitude and longitude in degrees.
struct GeoCoordinate
{
    double latitude = 0;
    double longitude = 0;

    bool operator==(const GeoCoordinate &other) const = default;
};

// Great-circle distance in metres between two positions, on the mean earth sphere.
double geodesicDistance(const GeoCoordinate &from, const GeoCoordinate &to);

// What the map needs to ask for directions to a pin: where it is, its name, its address entry (address-book
// keys) and a phone number.
struct MapItem
{
    GeoCoordinate coordinate;
    QString name;
    QVariantMap addressDictionary;
    QString phoneNumber;
};
