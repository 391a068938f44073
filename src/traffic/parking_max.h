// The parking maximum at the park airport: live and static parked aircraft together are held
// at the wanted number of parked aircraft, the longest parked going first.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/time.h"

namespace vdl {

// The last value of gf_maxParkNumber (the window's "max park"); run worker only.
inline int32_t parkingMaximum = 0;

// The wanted number of parked aircraft at the park airport from its stand count, the parking
// percentage and CUSTOM_MAX_PARK; stored as parkingMaximum and shown in the window.
int32_t gf_maxParkNumber();

// Half-hour slots a static aircraft has stood: from its parked slot to now across the week's
// end, 0 for one without a parked slot. A measure, never a cyclic "later than".
int32_t gf_parkedSlots(WeekSlot parked, WeekSlot now);

// {hexid, seconds parked} of every active parked live aircraft, longest parked first.
std::vector<std::pair<uint32_t, int64_t>> gf_collectParkedLive();

// With extra 1 a live aircraft is about to be spawned on a stand, with 0 one has just parked:
// removes at most one live aircraft (the longest parked) and one static aircraft (the earliest
// parked, when it is active) while the count exceeds parkingMaximum.
void gf_checkMaxPark(uint8_t extra);

// Removes up to n parked live aircraft, longest parked first.
void gf_removeLongestParked(int64_t n);

}  // namespace vdl
