#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

#include <cmath>

namespace platform::maps {

// A position in degrees (WGS 84).
struct Coordinate
{
    double latitude = 0;
    double longitude = 0;

    bool operator==(const Coordinate &other) const = default;
    bool isValid() const
    {
        return std::isfinite(latitude) && std::isfinite(longitude) && latitude >= -90 && latitude <= 90 &&
               longitude >= -180 && longitude <= 180;
    }
};

// Great-circle distance in metres on the mean earth sphere.
double distanceMetres(const Coordinate &from, const Coordinate &to);

// What a geocoder answers: the parts of an address it knows and where it is.
struct Placemark
{
    QString subThoroughfare; // house number
    QString thoroughfare;    // street
    QString locality;        // city
    QString administrativeArea;
    QString postalCode;
    QString country;
    QString countryCode;
    Coordinate coordinate;
};

// The error codes of a geocoder answer, in the geocoding error domain.
namespace GeocoderError {
inline const QString Domain = QStringLiteral("platform.maps.geocoder");
inline constexpr int Unknown = 0;
inline constexpr int Network = 2;
inline constexpr int NoResult = 8;
inline constexpr int Cancelled = 10;
} // namespace GeocoderError

// The keys of an address entry as the contact records hold it.
namespace AddressKey {
inline const QString Street = QStringLiteral("Street");
inline const QString City = QStringLiteral("City");
inline const QString State = QStringLiteral("State");
inline const QString ZIP = QStringLiteral("ZIP");
inline const QString Country = QStringLiteral("Country");
inline const QString CountryCode = QStringLiteral("CountryCode");
} // namespace AddressKey

} // namespace platform::maps
