// Ground movement: corners as curves, pushback and pull-out from a stand, the drive onto the
// stand, and the per-leg ground rates.
#pragma once

#include <cstdint>

#include "traffic/records.h"

namespace vdl {

// The departure countdown of a pushback: at the start it waits for the side of its turn, one
// point change later it is halfway back and turns, at 0 it is done.
inline constexpr uint32_t pushbackAwaitsSide = 2;
inline constexpr uint32_t pushbackHalfway = 1;

// Corners, in degrees of the turn ahead: up to this the leg counts as straight; beyond the
// largest curve (a reversal) no curve is flown.
inline constexpr double straightTurnDeg = 3.0;
inline constexpr double maxCurveDeg = 160.0;

// The ground half of the point change, before the first point is removed.
void nextPosGround(LiveAc& ac);
// Schedules the second point for a ground leg and fits the turn rate to the time available.
void adjustTimeGround(LiveAc& ac);
// Appends the path from the stream's end onto the stand (position degrees, heading radians).
void drive2Stand(LiveAc& ac, double standLat, double standLon, double standHeading);
// Signed angle (radians) from the heading to the leg from the second to the third point.
double turnAngleAhead(const LiveAc& ac);
// Replaces the second point by a curve from the current position through it to the third.
void makeCurve(LiveAc& ac);
void pullOut(LiveAc& ac);
void pushBack(LiveAc& ac);
void setGroundRates(LiveAc& ac);

}  // namespace vdl
