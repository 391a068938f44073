#include "traffic/static_adjust.h"

#include <algorithm>
#include <unordered_map>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "airports/stand_records.h"
#include "feed/traffic_reader.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "refdata/dbase.h"
#include "traffic/parking_max.h"
#include "traffic/removal.h"
#include "traffic/static_plan.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr int32_t slotsPerDay = 48;
constexpr int32_t maxFitLimit = 47;

// 0: no turn yet; 1: the controls are disabled and the feed's callsigns are being collected.
uint32_t adjustTurn = 0;

// Candidates of the adjustment's search by stand; a taken candidate is marked, not erased, so
// that the indices stay valid while the static aircraft are reviewed.
std::unordered_map<uint32_t, size_t> candidateOnStand;
std::vector<bool> candidateTaken;

bool lf_sameType(std::string_view airlA, std::string_view typeA, std::string_view airlB, std::string_view typeB) {
    return airlA == airlB && typeA == typeB;
}

// The live aircraft parked on stands, shortest parked first (those parked too long are removed
// there, unless INITIAL_LOAD_ONLY keeps every parked aircraft).
void lf_collectLiveStayers() {
    liveStayers.clear();
    for (ParkedLiveAc& p : collectParkedLiveAc()) liveStayers.push_back({std::move(p.callsign), p.standId});
}

void lf_keep(const AiAircraft& s, int32_t tolerance) {
    const AcIdentity& id = s.identity;
    keptStatics.push_back(
        {id.callsign, id.callsignCopy, id.coupledCallsign, id.reg, id.airl, id.type, s.parkSlot, tolerance, s.standId, false});
}

void lf_remove(const AiAircraft& s) { staticRemovals.push_back({s.identity.callsign, s.standId}); }

// The one parked later than the half hour the candidate matched gives way to it; otherwise the
// candidate is dropped. Later means fewer half hours ago, across the week's end.
void lf_resolveByParkedTime(const AiAircraft& s, size_t candidate, WeekSlot now) {
    const StaticCandidate& c = staticCandidates[candidate];
    if (gf_parkedSlots(s.parkSlot, now) < c.tolerance) {
        lf_remove(s);
        return;
    }
    lf_keep(s, c.tolerance);
    candidateTaken[candidate] = true;
}

// The smallest offset t in 0..limit for which the option covers a half hour from start back to
// start - t; -1 when none.
int32_t lf_firstCoverage(const ParkPosOption& o, int32_t start, int32_t limit) {
    int32_t overhang = -1;
    for (int32_t t = 0; t <= limit; ++t)
        if (o.testRange(start, t, overhang)) return t;
    return -1;
}

// The half hours back from now to the latest slot of an option of the static's airline and type
// on its stand, within limit (yesterday's options when the window reaches past slot 0); -1 when
// none.
int32_t lf_rangeTolerance(const ParkPos& stand, const AiAircraft& s, WeekSlot now, int32_t limit) {
    // Dropped only means "not planned again": the option the static stands on may be one.
    const auto ofStatic = [&](const ParkPosOption& o, int32_t weekday) {
        return o.id != 0 && o.day == static_cast<uint32_t>(weekday) &&
               lf_sameType(o.airline(), o.type(), s.identity.airl, s.identity.type);
    };
    int32_t best = -1;
    for (const ParkPosOption& o : stand.options) {
        if (!ofStatic(o, now.weekday)) continue;
        const int32_t t = lf_firstCoverage(o, now.slot, limit);
        if (t >= 0 && (best < 0 || t < best)) best = t;
    }
    if (best >= 0) return best;
    // How far the window reaches into yesterday does not depend on the option's slots.
    int32_t overhang = -1;
    ParkPosOption{}.testRange(now.slot, limit, overhang);
    if (overhang <= 0) return -1;
    const int32_t yesterday = gf_slotBack({now.weekday, 0}, 1).weekday;
    for (const ParkPosOption& o : stand.options) {
        if (!ofStatic(o, yesterday)) continue;
        const int32_t t = lf_firstCoverage(o, slotsPerDay - 1, overhang - 1);
        if (t >= 0 && (best < 0 || t < best)) best = t;
    }
    return best < 0 ? -1 : now.slot + 1 + best;
}

void lf_reviewOneStatic(const AiAircraft& s, WeekSlot now) {
    if (s.state != AcState::active) return;
    if (gf_callsignInFeed(s.identity.callsignCopy) || gf_callsignInFeed(s.identity.coupledCallsign)) {
        lf_remove(s);
        return;
    }
    if (const auto it = candidateOnStand.find(s.standId); it != candidateOnStand.end() && !candidateTaken[it->second]) {
        const StaticCandidate& c = staticCandidates[it->second];
        const bool same = lf_sameType(c.airl, c.type, s.identity.airl, s.identity.type) &&
                          ((!c.callsign1.empty() && c.callsign1 + "*" == s.identity.callsign) ||
                           (!c.callsign2.empty() && c.callsign2 + "*" == s.identity.callsign));
        if (same) {
            lf_keep(s, c.tolerance);
            candidateTaken[it->second] = true;
        } else {
            lf_resolveByParkedTime(s, it->second, now);
        }
        return;
    }
    const ParkPos* stand = gf_findStandById(s.standId);
    if (stand == nullptr) {
        lf_remove(s);
        return;
    }
    for (uint32_t adjacentId : stand->adjacent) {
        const auto it = candidateOnStand.find(adjacentId);
        if (it == candidateOnStand.end() || candidateTaken[it->second]) continue;
        const ParkPos* adjacent = gf_findStandById(adjacentId);
        if (adjacent == nullptr) continue;
        const StaticCandidate& c = staticCandidates[it->second];
        if (gf_halfWingspan(s.identity.type) + gf_halfWingspan(c.type) >
            gf_distanceNm({s.standLat, s.standLon}, {adjacent->lat, adjacent->lon})) {
            lf_resolveByParkedTime(s, it->second, now);
            return;
        }
    }
    const int32_t limit = std::min(maxFitLimit, std::max(realToleranceReached, softToleranceReached));
    const int32_t reach = lf_rangeTolerance(*stand, s, now, std::max(limit, 0));
    if (reach < 0)
        lf_remove(s);
    else
        lf_keep(s, reach);
}

// Whether the option under the row's first callsign ends with the current half hour.
bool lf_markIfLeavingNow(KeptStatic& row, const ParkPosOption& o, const ParkPos& stand, const std::string& callsign,
                         WeekSlot now) {
    if (o.id == 0 || o.day != static_cast<uint32_t>(now.weekday) || o.callsign1() != callsign ||
        !lf_sameType(o.airline(), o.type(), row.airl, row.type))
        return false;
    const WeekSlot next = gf_slotAfter(now);
    if (next.weekday == now.weekday) {
        row.leavesNow = !o.hours.test(static_cast<size_t>(next.slot));
        return true;
    }
    row.leavesNow = std::none_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& t) {
        return t.id > 0 && t.day == static_cast<uint32_t>(next.weekday) &&
               lf_sameType(t.airline(), t.type(), row.airl, row.type) && t.hours.test(0);
    });
    return true;
}

void lf_reviewStaticAircraft(WeekSlot now) {
    candidateOnStand.clear();
    for (size_t i = 0; i < staticCandidates.size(); ++i) candidateOnStand.try_emplace(staticCandidates[i].standId, i);
    candidateTaken.assign(staticCandidates.size(), false);
    for (const AiAircraft& s : staticAircraft) lf_reviewOneStatic(s, now);
    size_t kept = 0;
    for (size_t i = 0; i < staticCandidates.size(); ++i)
        if (!candidateTaken[i]) staticCandidates[kept++] = std::move(staticCandidates[i]);
    staticCandidates.resize(kept);
    candidateOnStand.clear();

    // Earliest parked first.
    std::stable_sort(keptStatics.begin(), keptStatics.end(), [now](const KeptStatic& a, const KeptStatic& b) {
        return gf_parkedSlots(a.parkSlot, now) > gf_parkedSlots(b.parkSlot, now);
    });
    for (KeptStatic& row : keptStatics) {
        if (row.callsign2.empty()) continue;
        const ParkPos* stand = gf_findStandById(row.standId);
        if (stand == nullptr) continue;
        std::string callsign = row.callsign;
        if (!callsign.empty() && callsign.back() == '*') callsign.pop_back();
        for (const ParkPosOption& o : stand->options)
            if (lf_markIfLeavingNow(row, o, *stand, callsign, now)) break;
    }
}

// A static whose stay ends now comes back as a candidate, placed under its second callsign.
void lf_replanLeavers() {
    std::vector<KeptStatic> staying;
    staying.reserve(keptStatics.size());
    for (KeptStatic& row : keptStatics) {
        if (!row.leavesNow) {
            staying.push_back(std::move(row));
            continue;
        }
        staticCandidates.push_back(
            {row.standId, row.tolerance, row.airl, row.type, row.callsign1, row.callsign2, row.reg, false});
        staticRemovals.push_back({row.callsign, row.standId});
    }
    keptStatics.swap(staying);
}

void lf_removeLiveOnStand(uint32_t standId) {
    for (LiveAc& ac : liveAircraft) {
        if (ac.standId != standId || ac.state != AcState::active || ac.groundState != GroundState::parked) continue;
        removeAircraftFromSim(ac, "the adjusted static plan needs its stand");
        return;
    }
}

void lf_holdAtWanted(int32_t wanted) {
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.tolerance < b.tolerance; });
    int64_t over = static_cast<int64_t>(staticCandidates.size() + keptStatics.size() + liveStayers.size()) - wanted;
    for (; over >= 1; --over) {
        if (!staticCandidates.empty()) {
            staticCandidates.pop_back();
        } else if (!keptStatics.empty()) {
            staticRemovals.push_back({keptStatics.back().callsign, keptStatics.back().standId});
            keptStatics.pop_back();
        } else {
            break;
        }
    }
    if (INITIAL_LOAD_ONLY.value()) return;
    for (; over >= 1 && !liveStayers.empty(); --over) {
        lf_removeLiveOnStand(liveStayers.back().standId);
        liveStayers.pop_back();
    }
}

// The static picked by callsign and stand; one already on its way out is left alone.
void lf_removeListedStatics() {
    while (!staticRemovals.empty()) {
        const StaticRemoval r = std::move(staticRemovals.back());
        staticRemovals.pop_back();
        for (AiAircraft& s : staticAircraft) {
            if (s.standId != r.standId || s.identity.callsign != r.callsign || s.state != AcState::active) continue;
            removeAircraftFromSim(s, "not in the adjusted static plan");
            break;
        }
    }
}

}  // namespace

void gf_adjustStaticParking() {
    const WeekSlot now = gf_logParkingHeader();
    gf_copyFeedMap();
    gf_disableParkingControls();
    softPositionsUsed = false;

    staticRemovals.clear();
    keptStatics.clear();
    liveStayers.clear();
    staticCandidates.clear();
    gf_resetStandMarks();
    // The options keep their ids (the tracking tables and the learned file hold them): only the
    // marks of the last search go.
    for (ParkPos& p : parkPositions)
        for (ParkPosOption& o : p.options) o.dropped = false;
    const int32_t wanted = gf_maxParkNumber();

    lf_collectLiveStayers();
    if (wanted >= 1 && liveStayers.size() > static_cast<size_t>(wanted)) {
        const auto more = static_cast<int64_t>(liveStayers.size()) - wanted;
        gf_setStatusLine(fmt::format("Parking adjustments: {} more live ac than wanted", more), true);
        gf_removeLongestParked(more);
        lf_collectLiveStayers();
    }
    for (const LiveStayer& stayer : liveStayers)
        if (ParkPos* p = gf_findStandById(stayer.standId)) gf_markPlannedStand(*p);

    gf_forgetStaticSearchIndex();
    const auto base = static_cast<int32_t>(liveStayers.size());
    if (wanted - base > 0) {
        realToleranceReached = 0;
        softToleranceReached = -1;
        gf_searchPass(now, wanted, base, optionReal);
        if (static_cast<int32_t>(staticCandidates.size()) + base < wanted && (PARK_SOFT.value() || PARK_FAKE.value()))
            gf_searchPass(now, wanted, base, optionSoft);
    }
    gf_forgetStaticSearchIndex();

    lf_reviewStaticAircraft(now);
    lf_replanLeavers();
    lf_holdAtWanted(wanted);
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.tolerance > b.tolerance; });
    gf_setStatusLine(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", staticRemovals.size(),
                                 staticCandidates.size()),
                     true);
    lf_removeListedStatics();
}

void gf_staticAdjustTurn(bool job1200) {
    if (job1200 && parkingActive.load() && !INITIAL_LOAD_ONLY.value()) adjustRequested = true;
    if (!adjustRequested.load()) return;
    if (adjustTurn == 0) {
        gf_disableParkingControls();
        trafficReader.startCollecting();
        adjustTurn = 1;
        return;
    }
    adjustTurn = 0;
    gf_clearStatusLine();
    if (parkingActive.load() && !parkPositions.empty()) gf_adjustStaticParking();
    adjustRequested = false;
}

void gf_parkingSettingChanged() {
    if (!parkingActive.load()) return;
    parametersChanged = true;
    if (!INITIAL_LOAD_ONLY.value()) adjustRequested = true;
}

void gf_clearStaticAdjustState() {
    adjustRequested = false;
    adjustTurn = 0;
    keptStatics.clear();
    staticRemovals.clear();
    liveStayers.clear();
    candidateOnStand.clear();
    candidateTaken.clear();
}

}  // namespace vdl
