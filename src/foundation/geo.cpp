#include "foundation/geo.h"

#include <algorithm>
#include <cmath>

namespace vdl {

namespace {
constexpr double earthRadiusNm = earthDiameterNm / 2.0;
}  // namespace

double gf_distanceNm(LatLon a, LatLon b) {
    double lat1 = degToRad(a.lat), lat2 = degToRad(b.lat);
    double sDlat = std::sin((lat2 - lat1) / 2.0);
    double sDlon = std::sin(degToRad(b.lon - a.lon) / 2.0);
    double h = sDlat * sDlat + std::cos(lat1) * std::cos(lat2) * sDlon * sDlon;
    // Rounding can push h a hair above 1 for antipodes.
    return earthDiameterNm * std::asin(std::sqrt(std::clamp(h, 0.0, 1.0)));
}

double gf_bearing(LatLon a, LatLon b) {
    double lat1 = degToRad(a.lat), lat2 = degToRad(b.lat);
    double dlon = degToRad(b.lon - a.lon);
    double y = std::sin(dlon) * std::cos(lat2);
    double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dlon);
    double brg = std::fmod(std::atan2(y, x) + 2.0 * pi, 2.0 * pi);
    if (!(brg < 2.0 * pi)) brg = 0.0;  // fmod of -0 plus 2pi rounds to 2pi
    return brg;
}

LatLon gf_destination(LatLon from, double bearingRad, double distanceFeet) {
    // No movement gives exactly the same point: callers detect a stop by equality.
    if (distanceFeet == 0.0) return from;
    double delta = feetToNm(distanceFeet) / earthRadiusNm;
    double lat1 = degToRad(from.lat);
    double sinLat2 =
        std::sin(lat1) * std::cos(delta) + std::cos(lat1) * std::sin(delta) * std::cos(bearingRad);
    double lat2 = std::asin(std::clamp(sinLat2, -1.0, 1.0));
    double dlon = std::atan2(std::sin(bearingRad) * std::sin(delta) * std::cos(lat1),
                             std::cos(delta) - std::sin(lat1) * std::sin(lat2));
    // Add the change to the degrees given, so short moves keep their precision.
    double lat = from.lat + radToDeg(lat2 - lat1);
    double lon = from.lon + radToDeg(dlon);
    if (lon < -180.0 || lon >= 180.0) lon = std::fmod(std::fmod(lon + 180.0, 360.0) + 360.0, 360.0) - 180.0;
    return LatLon{lat, lon};
}

double gf_angleDiff(double a, double b) {
    // The traffic step asks this for every taxiing aircraft each step, and std::remainder is
    // slow. Within a turn either way the result is the difference itself, or it less a full turn
    // (exact: the two lie within a factor of two of each other); the same as std::remainder.
    const double d = b - a;
    constexpr double fullTurn = 2.0 * pi;
    if (d >= -pi && d <= pi) return d;
    if (d > pi && d < 3.0 * pi) return d - fullTurn;
    if (d < -pi && d > -3.0 * pi) return d + fullTurn;
    return std::remainder(d, fullTurn);
}

}  // namespace vdl
