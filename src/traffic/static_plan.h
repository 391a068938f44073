// The static parking plan: which stands of the park airport get a static parked aircraft for the
// current half hour, from the stand options learned per half hour of the week. The search widens
// backwards half an hour at a time up to MAX_FIT, real options first, then soft ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/time.h"
#include "traffic/records.h"

namespace vdl {

// A live aircraft parked on a stand that stays through an adjustment.
struct LiveStayer {
    std::string callsign;
    uint32_t standId = 0;
};

// Run worker only. Emptied at the start of a plan and of an adjustment; the stand search drops
// options whose callsign parks here live.
inline std::vector<LiveStayer> liveStayers;

// Window values: the tolerance (half hours) the real and soft passes reached (soft -1: no soft
// pass ran) and whether soft options gave positions.
inline int32_t realToleranceReached = 0;
inline int32_t softToleranceReached = -1;
inline bool softPositionsUsed = false;

// The week slot moved back (or on) by whole half hours across the week's end.
WeekSlot gf_slotBack(WeekSlot now, int32_t halfHours);
WeekSlot gf_slotAfter(WeekSlot now);

// Logs the header of a plan or adjustment and answers the current week slot.
WeekSlot gf_logParkingHeader();

// Clears taken, occupied, reserved and blocked on every stand, then marks again what may not be
// planned over: the user's stands (reserved) and the stands that live aircraft drive to
// (occupied), so that they keep them.
void gf_resetStandMarks();

// One tolerance step of the stand search: appends to temp at most one candidate per stand whose
// eligible option covers the half hour `tolerance` half hours before now, and marks its stand
// taken and its neighbours blocked. Options that fail a drop test are marked dropped.
void gf_searchStands(WeekSlot now, uint32_t kind, int32_t tolerance, std::vector<StaticCandidate>& temp,
                     const std::vector<StaticCandidate>& plan);

// One pass (real or soft) over widening tolerances into staticCandidates, holding the plan plus
// base at wanted.
void gf_searchPass(WeekSlot now, int32_t wanted, int32_t base, uint32_t kind);

// The plan after a park airport was loaded: staticCandidates, best match last.
void gf_planStaticParking();

// The callsign (or its ghost form with '_') flies live: the feed reported it in range.
bool gf_callsignInFeed(std::string_view callsign);

// The search's look-ups of static aircraft and candidates are rebuilt on the next search.
void gf_forgetStaticSearchIndex();

}  // namespace vdl
