// The parking maximum at the park airport: live and static parked aircraft together are held
// at the wanted number of parked aircraft, the longest parked going first.
#pragma once

#include <cstdint>
#include <string>
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

// The average parked times shown in the window, hours; -1 while not computed. Run worker only.
inline double averageParkedHoursLive = -1.0;
inline double averageParkedHoursStatic = -1.0;

// Active parked live (static) aircraft. With show, their average parked time in hours, half-hour
// slots from the parked slot to now across the week's end plus half an hour, is stored and
// shown; the static one only while WEEK is off, as a whole-week plan has no parked times. While
// parkingBusy is set the count is shown without it (-1.0).
size_t gf_countParkedLiveAc(bool show);
size_t gf_countParkedStaticAc(bool show);

// The counts without their averages (-1.0, not shown), repainted when that changed.
void gf_hideParkedAverages();

// Back to no average shown and no stand changes counted (the library's resets).
void gf_forgetParkingCounters();
// The forgotten counters in the window, so that a cleared run shows no figures of the last one.
void gf_showForgottenParkingCounters();

// A parked live aircraft that stays through a static parking adjustment.
struct ParkedLiveAc {
    uint32_t hexid = 0;
    uint32_t standId = 0;
    std::string callsign;
    int64_t minutes = 0;  // 0 while the live data confirms it on its stand
};

// The parked live aircraft, shortest parked first, so that those taken from the end are the
// longest parked. Unless INITIAL_LOAD_ONLY, one parked longer than 90 minutes (180 for a Heavy)
// without the live data confirming it is removed instead of listed.
std::vector<ParkedLiveAc> collectParkedLiveAc();

}  // namespace vdl
