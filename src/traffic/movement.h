// Movement of a live aircraft along its position stream: the point change, the scheduling of
// point times, the time windows and the per-step integration. The stream's end is in
// stream_extension.h, the ground half of the point change in ground_movement.h.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/geo.h"
#include "traffic/records.h"
#include "traffic/traffic_clock.h"

namespace vdl {

inline constexpr double metresPerDegreeLat = 111132.95;
inline constexpr int32_t minLegUnits = 25;  // no leg is shorter than 0.25 s

// What the movement needs of the park airport. The park-airport loader keeps it current; until
// a stand file is loaded, `loaded` stays false and no touchdown or approach uses it.
struct MovementParkAirport {
    bool loaded = false;
    std::string icao;
    double lat = 0.0;
    double lon = 0.0;
    double elevation = 0.0;  // ft
};
inline MovementParkAirport movementParkAirport;

// Forgets the park airport (the library's test reset calls it).
void gf_resetMovementForTests();

// Longitude wrapped into [-180, 180].
double gf_wrapLon(double lon);
// b - a in degrees of longitude, the short way across +-180.
double gf_lonDiff(double a, double b);

// Clock units to cover distanceNm at speedKt, at least 25; `fallback` when the speed is not a
// positive number or the result is not finite.
int32_t gf_legUnits(double distanceNm, double speedKt, int32_t fallback);

// Local metres of a position relative to the reference (cosine of the latitude in radians,
// longitude difference taken across +-180).
void gf_toLocalMetres(double refLat, double refLon, double lat, double lon, double& east, double& north);

// Position and tangent bearing (radians, [0, 2pi)) at parameter t. False when a control
// coordinate is not a number or t lies outside [start, end].
bool bezierPoint(const BezierCurve& curve, double t, LatLon& position, double& bearing);

// Ends the curve of the aircraft, if any.
void gf_clearCurve(LiveAc& ac);

// The point change when the clock has reached the first point's time; a stream that ran out
// is continued (stream_extension.h) or the aircraft removed.
void nextPosMain(LiveAc& ac);
void nextPos(LiveAc& ac);
void nextPosAir(LiveAc& ac);
double segmentSpeed(const LiveAc& ac);
void scheduleNextPoint(LiveAc& ac, int32_t units);

// One traffic step of movement for an aircraft whose first point is not a stop.
void stepPosition(LiveAc& ac);
// The position moves in this step: a leg is flown, or it rolls on to a stop point it has not
// quite reached.
inline bool gf_movesThisStep(const LiveAc& ac) {
    return !ac.stream.empty() && (!ac.stream.front().stop || ac.settling);
}

void insertMidpoint(LiveAc& ac);
void splitOnSpeedChange(LiveAc& ac);

// Sets a new ground state, keeping the old one as the previous state.
void gf_setGroundState(LiveAc& ac, GroundState state);

// The time windows of scheduling: the normal ones after new data (a wider late window during a
// take-off roll), and the shrinking by one step towards baseWindow while the data flows.
inline constexpr int32_t baseWindow = 1000;
inline constexpr int32_t windowNormal = 3000;
inline constexpr int32_t windowTakeoff = 5000;
void gf_resetWindows(LiveAc& ac);
void gf_shrinkWindows(LiveAc& ac);

// The largest heading change per step of the aircraft: on the ground three times the
// category's base turn rate, in the air the base rate.
double gf_maxTurnPerStep(const LiveAc& ac);

}  // namespace vdl
