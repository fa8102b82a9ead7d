#include "QuendelKit/Entities/GeoCoordinate.h"

#include <cmath>

double geodesicDistance(const GeoCoordinate &from, const GeoCoordinate &to)
{
    constexpr double earthRadius = 6371008.8;
    constexpr double degree = M_PI / 180.0;
    const double lat1 = from.latitude * degree;
    const double lat2 = to.latitude * degree;
    const double dLat = lat2 - lat1;
    const double dLon = (to.longitude - from.longitude) * degree;
    const double a =
        std::sin(dLat / 2) * std::sin(dLat / 2) + std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * earthRadius * std::atan2(std::sqrt(a), std::sqrt(1 - a));
}
