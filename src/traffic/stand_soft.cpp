#include "traffic/stand_soft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

#include "airports/park_airport_state.h"
#include "feed/traffic_queue.h"
#include "foundation/geo.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "traffic/movement.h"
#include "traffic/stand_learning.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

constexpr double leavingNearNm = 5.0;
constexpr double leavingBelowAglFt = 2500.0;
// A stand takes part in the fit pass when it is at most 1.8 m too small; its score counts steps
// of 14 m (21 m for wingspans above 2 x 17.8 m) by which it is too large.
constexpr double fitTooSmallNm = 0.0009719222462203025;
constexpr double smallHalfSpanNm = 0.009611230689557531;
constexpr double smallStepNm = 0.00755939524838013;
constexpr double largeStepNm = 0.011339092872570195;
constexpr size_t maxCandidates = 256;
constexpr size_t smallAirportStands = 10;
constexpr int32_t gateFirstPercent = 10;  // below: ramp stands first

struct SizeCandidate {
    size_t index;  // in parkPositions: a stand's name need not be unique or set
    int32_t score;
    uint32_t match;
};

using StandFilter = std::function<bool(const ParkPos&)>;

struct SizePass {
    StandFilter group;
    bool fit;
};

bool lf_heliStand(const ParkPos& p) { return p.heli != 0; }
bool lf_ramp(const ParkPos& p) { return p.ramp != 0 && p.heli == 0; }
bool lf_cargoNotHeli(const ParkPos& p) { return p.cargo != 0 && p.heli == 0; }
bool lf_notHeli(const ParkPos& p) { return p.heli == 0; }
bool lf_plainRamp(const ParkPos& p) { return p.ramp != 0 && p.cargo == 0 && p.heli == 0; }
bool lf_gateStand(const ParkPos& p) { return p.ramp == 0 && p.cargo == 0 && p.heli == 0; }

// An option with an id (not dropped) of either kind holds the half hour.
bool lf_halfHourTaken(const ParkPos& p, WeekSlot now) {
    return std::any_of(p.options.begin(), p.options.end(), [now](const ParkPosOption& o) {
        return o.id != 0 && !o.dropped && o.day == static_cast<uint32_t>(now.weekday) &&
               o.hours.test(static_cast<size_t>(now.slot));
    });
}

uint32_t lf_matchFlag(const ParkPos& p, const LiveAc& ac) {
    const std::string& cs = ac.identity.callsign;
    if (cs.empty()) return 0;
    return std::any_of(p.options.begin(), p.options.end(),
                       [&](const ParkPosOption& o) { return gf_matchOption(o, cs, ac.identity); })
               ? 1
               : 0;
}

void lf_runPass(const SizePass& pass, WeekSlot now, const LiveAc& ac, std::vector<SizeCandidate>& out) {
    const double half = ac.identity.halfWingspan;
    const double step = half <= smallHalfSpanNm ? smallStepNm : largeStepNm;
    int32_t best = 100;
    for (size_t i = 0; i < parkPositions.size() && out.size() < maxCandidates; ++i) {
        const ParkPos& p = parkPositions[i];
        if (!pass.group(p)) continue;
        int32_t score = 0;
        if (pass.fit) {
            if (half - p.radius > fitTooSmallNm) continue;
            score = static_cast<int32_t>(std::lround((p.radius - half) / step));
        } else {
            score = static_cast<int32_t>(std::lround(std::fabs(half - p.radius)));
        }
        if (score > best || lf_halfHourTaken(p, now)) continue;
        best = score;
        out.push_back({i, score, lf_matchFlag(p, ac)});
    }
}

std::vector<SizePass> lf_passesFor(const LiveAc& ac) {
    const AcIdentity& id = ac.identity;
    if (id.category == AircraftCategory::Rotorcraft)
        return {{lf_heliStand, true}, {lf_ramp, true}, {lf_heliStand, false}, {lf_ramp, false}};
    if (id.cargo != 0)
        return {{lf_cargoNotHeli, true}, {lf_cargoNotHeli, false}, {lf_notHeli, true}, {lf_notHeli, false}};
    if (id.category == AircraftCategory::Light || id.category == AircraftCategory::Buzjets || id.airl == "PVT")
        return {{lf_plainRamp, true}, {lf_plainRamp, false}};
    const std::string code = gf_parkAirportCode();
    // American airports park airliners at gates; elsewhere one in ten starts on the ramp.
    const bool gateFirst = (!code.empty() && code.front() == 'K') || gf_randomPercent() % 100 >= gateFirstPercent;
    const StandFilter first = gateFirst ? StandFilter(lf_gateStand) : StandFilter(lf_plainRamp);
    const StandFilter other = gateFirst ? StandFilter(lf_plainRamp) : StandFilter(lf_gateStand);
    return {{first, true}, {first, false}, {other, true}, {other, false}};
}

WeekSlot lf_nextHalfHour(WeekSlot now) {
    if (now.slot < 47) return {now.weekday, now.slot + 1};
    return {now.weekday >= 7 ? 1 : now.weekday + 1, 0};
}

bool lf_listsHexid(uint32_t hexid) {
    return std::any_of(parkPositions.begin(), parkPositions.end(), [hexid](const ParkPos& p) {
        return p.realUses.contains(hexid) || p.softUses.contains(hexid);
    });
}

}  // namespace

std::vector<ParkPos>::iterator softStandBySize(WeekSlot now, const LiveAc& ac, bool mayMoveOn) {
    if (now.slot < 0 || now.slot > 47) return parkPositions.end();
    std::vector<SizeCandidate> candidates;
    for (const SizePass& pass : lf_passesFor(ac)) {
        if (!candidates.empty()) break;
        lf_runPass(pass, now, ac, candidates);
    }
    if (candidates.empty()) {
        if (mayMoveOn && parkPositions.size() <= smallAirportStands)
            return softStandBySize(lf_nextHalfHour(now), ac, false);
        return parkPositions.end();
    }
    gf_shuffle(candidates);
    // Lower score first, a matching stand first among equal scores; ties keep the shuffled order.
    std::stable_sort(candidates.begin(), candidates.end(), [](const SizeCandidate& a, const SizeCandidate& b) {
        return a.score != b.score ? a.score < b.score : a.match > b.match;
    });
    return parkPositions.begin() + static_cast<std::ptrdiff_t>(candidates.front().index);
}

void recordLeavingAircraft(const LiveAc& ac, bool stillOnGround) {
    if (!LEARN_SOFT.value() || parkPositions.empty() || !parkingActive.load() || !movementParkAirport.loaded) return;
    if (!gf_mainLoopRunning()) return;
    if (gf_distanceNm({ac.lat, ac.lon}, {movementParkAirport.lat, movementParkAirport.lon}) > leavingNearNm) return;
    if (!stillOnGround && ac.aglFt >= leavingBelowAglFt) return;
    if (ac.standId != 0) return;
    const uint32_t hexid = ac.identity.hexid;
    const WeekSlot now = nowSlot.load();
    for (const ParkPos& p : parkPositions) {
        auto use = p.realUses.find(hexid);
        if (use == p.realUses.end() || use->second.last == now) continue;
        if (gf_addSoftParkPosOption(p.id, ac, true, now)) gf_standSlotGate(hexid, now, true);
        return;
    }
    if (!gf_standSlotGate(hexid, now, false) || lf_listsHexid(hexid)) return;
    auto stand = softStandBySize(now, ac, true);
    if (stand == parkPositions.end()) return;
    if (gf_addSoftParkPosOption(stand->id, ac, false, now)) return;
    // Nothing recorded: the aircraft may try again in a later half hour.
    auto entry = std::find_if(standSlotByHexid.begin(), standSlotByHexid.end(),
                              [hexid](const auto& e) { return e.first == hexid; });
    if (entry == standSlotByHexid.end()) return;
    *entry = standSlotByHexid.back();
    standSlotByHexid.pop_back();
}

}  // namespace vdl
