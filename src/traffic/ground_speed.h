// The speed of an aircraft rolling on the ground: it gains and loses speed at its category's
// rates (per second, in the flight table), brakes in time for a stop or a sharp bend ahead, and
// rolls on beyond a stop it learned of too late rather than halting at once. The movement step
// (movement.h) asks it for each step's distance.
#pragma once

#include <cmath>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "traffic/records.h"

namespace vdl {

inline constexpr double maxTaxiKt = 40.0;
inline constexpr double maxRollKt = 200.0;
// The nose within this of the path before a ground aircraft moves along it.
inline constexpr double groundAlignRad = degToRad(10.0);
inline constexpr double minPathNm = metresToNm(0.5);
inline constexpr double maxCurveParameter = 0.999999;
// Closer to where it goes than this, it is there.
inline constexpr double minSettleMetres = 0.001;
// Longest it rolls on to a point after the point's time, in clock units: then it stands.
inline constexpr uint32_t maxSettleUnits = 60 * 100;

// Rolling or rotating on the runway, and climbing out: its speed is governed here.
inline bool gf_speedGoverned(const LiveAc& ac) { return ac.onGround || ac.groundState == GroundState::climbOut; }

// The distance (m) of this step: heads for the speed that reaches `remaining` metres ahead at
// the first point's time, within the category's acceleration and braking, at most `capM`;
// braking to a standstill when not `aligned`. Sets the true airspeed handed to the simulator.
double gf_groundStepMetres(LiveAc& ac, double remaining, bool aligned, double capM = HUGE_VAL);

// Where a rolling aircraft goes in this step: the leg's target, or the point it settles on;
// its distance (m) and bearing (radians) from the aircraft, in local metres.
struct GroundTarget {
    LatLon point;
    double metres = 0.0;
    double bearing = 0.0;
};
GroundTarget gf_groundTarget(LiveAc& ac);

// One step straight towards the target.
void gf_groundAdvance(LiveAc& ac, const GroundTarget& target, bool aligned);

// The parameter step along the aircraft's curve, at its governed speed and no faster than its
// nose can turn with the curve.
double gf_curveStep(LiveAc& ac, bool aligned);

// Rolls on to `point` although the leg there has ended.
void gf_startSettling(LiveAc& ac, LatLon point);
// Not yet at `point`, and the point lies ahead of it (not one it rolled past).
bool gf_aheadToSettle(const LiveAc& ac, LatLon point);
// Too fast to stand at once: it brakes to a standstill straight on. False when slow enough.
bool gf_brakeToStandstill(LiveAc& ac);
// It has rolled on longer than any braking takes: it stands where it is.
bool gf_settledTooLong(const LiveAc& ac);

}  // namespace vdl
