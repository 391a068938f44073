#include "traffic/static_plan.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_records.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "foundation/text_keys.h"
#include "refdata/dbase.h"
#include "simlink/sim_link.h"
#include "traffic/parking_max.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr int32_t planSlotsPerDay = 48;
constexpr int32_t planMaxFitLimit = 47;
constexpr size_t gatheredIdsRoom = 256;
constexpr size_t tempCandidatesRoom = 512;

// What the drop tests and the neighbour test look up, built once per plan or adjustment instead
// of scanning staticAircraft per stand, option and neighbour. The plan's part follows
// staticCandidates as it grows.
struct SearchIndex {
    bool built = false;
    size_t staticsIndexed = 0;
    std::unordered_map<uint32_t, size_t> firstActiveOnStand;        // stand id -> static index
    std::unordered_map<uint32_t, std::vector<size_t>> staticsOnStand;  // in list order, any state
    TextSet staticCallsigns;                // first callsigns of the statics
    TextSet staticRegs;
    TextSet stayerCallsigns;
    const std::vector<StaticCandidate>* plan = nullptr;
    size_t planIndexed = 0;
    TextSet planRegs;
    TextSet planCallsigns;
};
SearchIndex searchIndex;

void lf_indexPlan(const std::vector<StaticCandidate>& plan) {
    SearchIndex& x = searchIndex;
    if (x.plan != &plan || plan.size() < x.planIndexed) {
        x.plan = &plan;
        x.planIndexed = 0;
        x.planRegs.clear();
        x.planCallsigns.clear();
    }
    for (; x.planIndexed < plan.size(); ++x.planIndexed) {
        const StaticCandidate& c = plan[x.planIndexed];
        if (!c.reg.empty()) x.planRegs.insert(c.reg);
        if (!c.callsign1.empty()) x.planCallsigns.insert(c.callsign1);
    }
}

void lf_indexStatics() {
    SearchIndex& x = searchIndex;
    // The indices point into staticAircraft: a list that changed size is indexed afresh.
    if (x.built && x.staticsIndexed == staticAircraft.size()) return;
    x.firstActiveOnStand.clear();
    x.staticsOnStand.clear();
    x.staticCallsigns.clear();
    x.staticRegs.clear();
    x.stayerCallsigns.clear();
    x.staticsIndexed = staticAircraft.size();
    for (size_t i = 0; i < staticAircraft.size(); ++i) {
        const AiAircraft& s = staticAircraft[i];
        x.staticsOnStand[s.standId].push_back(i);
        if (s.state == AcState::active) x.firstActiveOnStand.try_emplace(s.standId, i);
        if (!s.identity.callsignCopy.empty()) x.staticCallsigns.insert(s.identity.callsignCopy);
        if (!s.identity.reg.empty()) x.staticRegs.insert(s.identity.reg);
    }
    for (const LiveStayer& stayer : liveStayers)
        if (!stayer.callsign.empty()) x.stayerCallsigns.insert(stayer.callsign);
    x.built = true;
}

bool lf_inSet(const TextSet& set, std::string_view key) {
    return !key.empty() && set.contains(key);
}

// The drop tests, in their order; true drops the option for the rest of the plan.
bool lf_dropOption(const ParkPosOption& o) {
    const SearchIndex& x = searchIndex;
    if (lf_inSet(x.planRegs, o.reg())) return true;
    if (gf_callsignInFeed(o.callsign1()) || gf_callsignInFeed(o.callsign2())) return true;
    if (lf_inSet(x.staticCallsigns, o.callsign1()) || lf_inSet(x.staticCallsigns, o.callsign2()) ||
        lf_inSet(x.staticRegs, o.reg()))
        return true;
    if (lf_inSet(x.planCallsigns, o.callsign1()) || lf_inSet(x.planCallsigns, o.callsign2()) ||
        lf_inSet(x.planRegs, o.reg()))
        return true;
    return lf_inSet(x.stayerCallsigns, o.callsign1()) || lf_inSet(x.stayerCallsigns, o.callsign2());
}

// A static aircraft on a neighbouring stand that the option's type would touch.
bool lf_neighbourConflict(const ParkPos& stand, const ParkPosOption& o) {
    for (uint32_t adjacentId : stand.adjacent) {
        const auto it = searchIndex.firstActiveOnStand.find(adjacentId);
        if (it == searchIndex.firstActiveOnStand.end()) continue;
        const AiAircraft& s = staticAircraft[it->second];
        if (gf_halfWingspan(s.identity.type) + gf_halfWingspan(o.type()) >
            gf_distanceNm({s.standLat, s.standLon}, {stand.lat, stand.lon}))
            return true;
    }
    return false;
}

bool lf_eligible(const ParkPos& stand, const ParkPosOption& o, uint32_t kind, WeekSlot start) {
    if (o.id == 0 || o.dropped || o.kind != kind) return false;
    if (!WEEK.value() && o.day != static_cast<uint32_t>(start.weekday)) return false;
    if (!o.hours.test(static_cast<size_t>(start.slot))) return false;
    return !lf_neighbourConflict(stand, o);
}

// A static shows an option's callsign with a '*' after it.
bool lf_showsCallsign(std::string_view shown, std::string_view callsign) {
    return !callsign.empty() && shown.size() == callsign.size() + 1 && shown.back() == '*' &&
           shown.substr(0, callsign.size()) == callsign;
}

// With RANDOM on, an option that a static aircraft on the stand already shows is preferred.
uint32_t lf_optionShownOnStand(const ParkPos& stand) {
    const auto it = searchIndex.staticsOnStand.find(stand.id);
    if (it == searchIndex.staticsOnStand.end()) return 0;
    for (size_t i : it->second) {
        const AiAircraft& s = staticAircraft[i];
        for (const ParkPosOption& o : stand.options) {
            const bool shows = lf_showsCallsign(s.identity.callsign, o.callsign1()) ||
                               lf_showsCallsign(s.identity.callsign, o.callsign2());
            if (shows && o.airline() == s.identity.airl && o.type() == s.identity.type) return o.id;
        }
    }
    return 0;
}

ParkPosOption* lf_chooseOption(ParkPos& stand, std::vector<uint32_t>& ids) {
    if (ids.size() >= 2 && RANDOM.value()) {
        if (const uint32_t shown = lf_optionShownOnStand(stand); shown != 0)
            ids.front() = shown;
        else
            gf_shuffle(ids);
    }
    for (ParkPosOption& o : stand.options)
        if (o.id > 0 && !o.dropped && o.id == ids.front()) return &o;
    return nullptr;
}

bool lf_nextSlotFlag(const ParkPos& stand, const ParkPosOption& chosen, WeekSlot now) {
    if (chosen.callsign2().empty()) return true;
    const WeekSlot next = gf_slotAfter(now);
    if (next.weekday == now.weekday) return chosen.hours.test(static_cast<size_t>(next.slot));
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& o) {
        return o.id > 0 && o.day == static_cast<uint32_t>(next.weekday) && o.airline() == chosen.airline() &&
               o.type() == chosen.type() &&
               o.hours.test(0);
    });
}

ParkPos* lf_standById(uint32_t id) {
    // Stands are numbered 1..n in list order; the look-up by position saves a scan per neighbour.
    if (id >= 1 && id <= parkPositions.size() && parkPositions[id - 1].id == id) return &parkPositions[id - 1];
    return gf_findStandById(id);
}

void lf_markTaken(ParkPos& stand) {
    stand.taken = 1;
    for (uint32_t adjacentId : stand.adjacent)
        if (ParkPos* p = lf_standById(adjacentId)) p->blocked = 1;
}

int32_t lf_countTaken() {
    return static_cast<int32_t>(
        std::count_if(parkPositions.begin(), parkPositions.end(), [](const ParkPos& p) { return p.taken != 0; }));
}

std::string lf_hoursText(int32_t halfHours) { return fmt::format("{}", halfHours * 0.5 + 0.5); }

int32_t lf_maxFit() { return std::clamp(MAX_FIT.value(), 0, planMaxFitLimit); }

void lf_showToleranceValues() {
    gf_setWindowValue(WindowArea::Statistics, "fit real", std::to_string(realToleranceReached));
    gf_setWindowValue(WindowArea::Statistics, "fit soft", std::to_string(softToleranceReached));
    gf_setWindowValue(WindowArea::Statistics, "soft positions", softPositionsUsed ? "used" : "");
    gf_repaintArea(WindowArea::Statistics);
}

// Widens the search half an hour at a time until the plan fills wanted stands (true, temp holds
// the last step's candidates) or MAX_FIT is reached (false, all found are in the plan).
bool lf_widenSearch(WeekSlot now, uint32_t kind, int32_t wanted, std::vector<StaticCandidate>& temp) {
    const int32_t before = lf_countTaken();
    const int32_t maxFit = lf_maxFit();
    bool ok = false;
    int32_t t = 0;
    for (;; ++t) {
        gf_searchStands(now, kind, t, temp, staticCandidates);
        if (lf_countTaken() >= wanted) {
            ok = true;
            break;
        }
        staticCandidates.insert(staticCandidates.end(), temp.begin(), temp.end());
        temp.clear();
        if (t >= maxFit) break;
    }
    if (kind == optionReal) {
        realToleranceReached = t;
        softToleranceReached = -1;
    } else {
        softToleranceReached = t;
    }
    const int32_t found = lf_countTaken() - before;
    if (found >= 1)
        gf_log(fmt::format("{} {} position{} found, Max fit={} hours{}{}", found,
                           kind == optionReal ? "real" : "soft", found == 1 ? "" : "s", lf_hoursText(maxFit),
                           WEEK.value() ? std::string(", week") : fmt::format(", day {}", now.weekday),
                           fmt::format(", hh:{} or {} hrs fit: {} hour", now.slot, lf_hoursText(now.slot),
                                       lf_hoursText(t))));
    softPositionsUsed = kind == optionSoft && found > 0;
    lf_showToleranceValues();
    return ok;
}

void lf_shuffleAndTrim(int32_t count, std::vector<StaticCandidate>& list) {
    gf_shuffle(list);
    if (count >= 1 && static_cast<size_t>(count) <= list.size()) list.resize(list.size() - static_cast<size_t>(count));
}

void lf_searchPasses(WeekSlot now, int32_t wanted, int32_t base) {
    realToleranceReached = 0;
    softToleranceReached = -1;
    gf_searchPass(now, wanted, base, optionReal);
    if (static_cast<int32_t>(staticCandidates.size()) + base < wanted && (PARK_SOFT.value() || PARK_FAKE.value()))
        gf_searchPass(now, wanted, base, optionSoft);
}

void lf_markUserStands() {
    ParkPos* reserved = nullptr;
    if (!reservedStand.empty()) {
        if (auto it = gf_findStandByName(reservedStand); it != parkPositions.end()) {
            it->reserved = 1;
            reserved = &*it;
        }
    }
    const std::string here = gf_standNameAtPosition(userAc.latitude, userAc.longitude);
    if (here.empty()) return;
    if (auto it = gf_findStandByName(here); it != parkPositions.end() && &*it != reserved) it->reserved = 1;
}

}  // namespace

WeekSlot gf_slotBack(WeekSlot now, int32_t halfHours) {
    const int32_t week = 7 * planSlotsPerDay;
    const int32_t index = ((now.weekday - 1) * planSlotsPerDay + now.slot - halfHours) % week;
    const int32_t wrapped = (index + week) % week;
    return {wrapped / planSlotsPerDay + 1, wrapped % planSlotsPerDay};
}

WeekSlot gf_slotAfter(WeekSlot now) { return gf_slotBack(now, -1); }

WeekSlot gf_logParkingHeader() {
    const WeekSlot now = nowSlot.load();
    gf_log(fmt::format("\n{} (utc) It is day {} ({}), {} hours", gf_simTimeOfDay(), now.weekday,
                       gf_weekdayName(now.weekday), lf_hoursText(now.slot)));
    return now;
}

void gf_resetStandMarks() {
    for (ParkPos& p : parkPositions) {
        p.taken = 0;
        p.occupied = 0;
        p.reserved = 0;
        p.blocked = 0;
    }
    lf_markUserStands();
    for (const LiveAc& ac : liveAircraft) {
        if (ac.standId == 0 || ac.erase || ac.state == AcState::removed) continue;
        // A parked one gave its mark up with its first stream end: a plan must not give it back,
        // or whether a later arrival may claim its stand would depend on when the plan ran.
        if (ac.groundState != GroundState::toStand) continue;
        if (ParkPos* p = lf_standById(ac.standId)) p->occupied = 1;
    }
}

void gf_searchStands(WeekSlot now, uint32_t kind, int32_t tolerance, std::vector<StaticCandidate>& temp,
                     const std::vector<StaticCandidate>& plan) {
    try {
        lf_indexStatics();
        lf_indexPlan(plan);
        const WeekSlot start = gf_slotBack(now, tolerance);
        std::vector<uint32_t> ids;
        ids.reserve(gatheredIdsRoom);
        for (ParkPos& stand : parkPositions) {
            if (stand.reserved || stand.taken || stand.blocked) continue;
            if (stand.heli && !HELICOPTERS.value()) continue;
            ids.clear();
            for (const ParkPosOption& o : stand.options)
                if (ids.size() < gatheredIdsRoom && lf_eligible(stand, o, kind, start)) ids.push_back(o.id);
            if (ids.empty()) continue;
            ParkPosOption* chosen = lf_chooseOption(stand, ids);
            if (chosen == nullptr) continue;
            if (lf_dropOption(*chosen)) {
                chosen->dropped = true;
                continue;
            }
            temp.push_back({stand.id, tolerance, std::string(chosen->airline()), std::string(chosen->type()),
                            std::string(chosen->callsign1()), std::string(chosen->callsign2()),
                            std::string(chosen->reg()), lf_nextSlotFlag(stand, *chosen, now)});
            lf_markTaken(stand);
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                                fmt::format("[{},{}]", now.weekday, now.slot), tolerance, e.what()));
    }
}

void gf_searchPass(WeekSlot now, int32_t wanted, int32_t base, uint32_t kind) {
    std::vector<StaticCandidate> temp;
    temp.reserve(tempCandidatesRoom);
    if (!lf_widenSearch(now, kind, wanted, temp)) return;
    const int32_t excess = static_cast<int32_t>(staticCandidates.size()) + base - wanted;
    if (excess >= 1 && !temp.empty()) lf_shuffleAndTrim(excess, temp);
    staticCandidates.insert(staticCandidates.end(), temp.begin(), temp.end());
    const int32_t over = static_cast<int32_t>(staticCandidates.size()) + base - wanted;
    if (over > 0 && static_cast<size_t>(over) <= staticCandidates.size())
        staticCandidates.resize(staticCandidates.size() - static_cast<size_t>(over));
}

void gf_planStaticParking() {
    const WeekSlot now = gf_logParkingHeader();
    staticCandidates.clear();
    liveStayers.clear();
    gf_hideParkedAverages();
    softPositionsUsed = false;
    gf_forgetStaticSearchIndex();
    gf_copyFeedMap();
    gf_resetStandMarks();

    const int32_t wanted = gf_maxParkNumber();
    if (wanted > 0) lf_searchPasses(now, wanted, 0);
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.tolerance < b.tolerance; });
    if (staticCandidates.size() > static_cast<size_t>(std::max(wanted, 0)))
        staticCandidates.resize(static_cast<size_t>(std::max(wanted, 0)));
    gf_forgetStaticSearchIndex();

    if (staticCandidates.empty()) {
        gf_log("no parking positions found");
        gf_enableParkingControls();
        return;
    }
    const auto count = static_cast<int64_t>(staticCandidates.size());
    const int64_t share = parkPositions.empty()
                              ? 0
                              : std::llround(static_cast<double>(count * 100) / static_cast<double>(parkPositions.size()));
    gf_log(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", count, share,
                       parking_percentage.value(), lf_hoursText(lf_maxFit())));
    // Best matches last: the placing takes candidates from the end.
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.tolerance > b.tolerance; });
    if (!parkingBusy.load()) gf_disableParkingControls();
    gf_setStatusLine("Making changes to airport parking parameters is disabled while static parking takes place ...",
                     false);
}

void gf_forgetStaticSearchIndex() { searchIndex = SearchIndex{}; }

bool gf_callsignInFeed(std::string_view callsign) {
    if (callsign.empty()) return false;
    std::string key(callsign);
    if (feedCallsigns.contains(key)) return true;
    key += '_';
    return feedCallsigns.contains(key);
}

}  // namespace vdl
