#pragma once

#include "foundation/units.h"

namespace vdl {

inline constexpr double earthDiameterNm = 6875.493541569878;

// A position in degrees.
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

// Great-circle distance by the haversine formula.
double gf_distanceNm(LatLon a, LatLon b);
// Initial bearing from a to b, radians in [0, 2pi); 0 for equal points.
double gf_bearing(LatLon a, LatLon b);
// The point reached from `from` along the great circle of the bearing (radians) after
// distanceFeet; longitude in [-180, 180).
LatLon gf_destination(LatLon from, double bearingRad, double distanceFeet);
// b - a wrapped into [-pi, pi].
double gf_angleDiff(double a, double b);

}  // namespace vdl
