// A new point of a known live aircraft: the checks by ground state, stops, the parked
// aircraft's movement test and the lift-off after a touchdown, before the point is appended.
#pragma once

#include <cstddef>

#include "traffic/records.h"

namespace vdl {

inline constexpr size_t maxStreamPoints = 200;

// Appends a point to an existing aircraft's stream with all checks.
void decodeExisting(LiveAc& a, StreamPos p);
bool checkExtendingSituations(LiveAc& a, StreamPos& p);
bool checkNewPosDuringLanding(LiveAc& a, StreamPos& p);
void removeSmallStop(LiveAc& a, const StreamPos& p);
void checkStops(LiveAc& a, size_t n, const StreamPos& p);
bool classifyStop(LiveAc& a, StreamPos& p);
bool checkParkedMove(LiveAc& a, StreamPos& p);
void leaveStand(LiveAc& a);

}  // namespace vdl
