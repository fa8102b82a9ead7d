#pragma once

#include "platform/maps/Placemark.h"

#include <QPointF>

#include <algorithm>
#include <cmath>

namespace platform::maps {

// The spherical Mercator projection of web maps onto a unit square: x from 0 (180° W) to 1 (180° E), y from
// 0 (about 85° N) to 1 (about 85° S).
namespace WebMercator {

inline constexpr double MaxLatitude = 85.05112878;

inline QPointF project(const Coordinate &c)
{
    const double lat = std::clamp(c.latitude, -MaxLatitude, MaxLatitude) * M_PI / 180.0;
    const double x = (c.longitude + 180.0) / 360.0;
    const double y = (1.0 - std::log(std::tan(lat) + 1.0 / std::cos(lat)) / M_PI) / 2.0;
    return {x, y};
}

inline Coordinate unproject(const QPointF &p)
{
    const double lon = p.x() * 360.0 - 180.0;
    const double n = M_PI - 2.0 * M_PI * p.y();
    const double lat = 180.0 / M_PI * std::atan(std::sinh(n));
    return {lat, lon};
}

} // namespace WebMercator
} // namespace platform::maps
