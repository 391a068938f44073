// The end of a live aircraft's position stream: holding where the data ended, made-up points
// while the data is missing, and the arrival on the stand.
#pragma once

#include <cstdint>

#include "traffic/records.h"
#include "traffic/traffic_clock.h"

namespace vdl {

// A parked aircraft's stream ends in a stop point this far ahead.
inline constexpr uint32_t parkedExtensionUnits = secondsToUnits(7 * 24 * 3600);

// The stream ran out: true when it was extended, false when the aircraft is to go.
bool continueStream(LiveAc& ac);
// Appends one made-up point, `count` of them still to come.
void extendStream(LiveAc& ac, int32_t count);
void arriveAtStand(LiveAc& ac);

}  // namespace vdl
