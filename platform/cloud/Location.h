#pragma once

#include <QMetaType>

namespace platform::cloud {

// A geographic position held in a record field, in degrees.
class Location
{
public:
    Location() = default;
    Location(double latitude, double longitude) : m_latitude(latitude), m_longitude(longitude) {}

    double latitude() const { return m_latitude; }
    double longitude() const { return m_longitude; }

    bool operator==(const Location &other) const
    {
        return m_latitude == other.m_latitude && m_longitude == other.m_longitude;
    }
    bool operator!=(const Location &other) const { return !(*this == other); }

private:
    double m_latitude = 0.0;
    double m_longitude = 0.0;
};

} // namespace platform::cloud

Q_DECLARE_METATYPE(platform::cloud::Location)
