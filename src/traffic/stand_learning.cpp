#include "traffic/stand_learning.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "foundation/log.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr int32_t maxFilledGap = 5;
constexpr int32_t coupledWindow = 10;  // half hours either side of now
constexpr int32_t coupledWindowHeavy = 14;

// A dropped option too: the drop only keeps it out of the static plan, and a second option of the
// same registration and day would be saved beside it and merged away at the next load.
uint32_t lf_optionOf(const ParkPos& stand, uint32_t kind, int32_t weekday, const std::string& reg) {
    for (const ParkPosOption& o : stand.options)
        if (o.id != 0 && o.kind == kind && o.day == static_cast<uint32_t>(weekday) && o.reg() == reg)
            return o.id;
    return 0;
}

ParkPosOption* lf_optionById(ParkPos& stand, uint32_t id) {
    for (ParkPosOption& o : stand.options)
        if (o.id == id) return &o;
    return nullptr;
}

bool lf_addParkPosOption(uint32_t kind, const char* name, uint32_t standId, const LiveAc& ac, bool remember,
                         WeekSlot now) {
    if (parkPositions.empty() || ac.identity.reg.empty() || ac.identity.callsign.empty()) return false;
    ParkPos* stand = gf_findStandById(standId);
    if (stand == nullptr) return false;
    try {
        if (now.slot < 0 || now.slot > 47) throw std::out_of_range(fmt::format("slot {}", now.slot));
        auto& uses = kind == optionReal ? stand->realUses : stand->softUses;
        const uint32_t hexid = ac.identity.hexid;
        uint32_t id = lf_optionOf(*stand, kind, now.weekday, ac.identity.reg);
        if (id != 0) {
            ParkPosOption& option = *lf_optionById(*stand, id);
            if (option.hours.test(static_cast<size_t>(now.slot)) || option.fixed != 0) return false;
            option.updateOption(now.slot);
        } else {
            const int32_t added =
                gf_addOption(stand->options, ac.identity, kind, now, ac.identity.callsign, ac.identity.reg);
            if (added <= 0) return false;
            id = static_cast<uint32_t>(added);
        }
        // The first sighting of a new weekday continues the run of the evening before.
        auto use = uses.find(hexid);
        if (remember && use != uses.end() && !(use->second.last == now))
            gf_fillSlotsSinceLastSighting(now, *stand, id, use->second, ac);
        else
            uses[hexid] = StandUse{now, id};
        gf_countStandChange();
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: hh_now: [{},{}], {}", name, now.weekday, now.slot, e.what()));
        return false;
    }
}

}  // namespace

void gf_countStandChange() {
    ++updateCount;
    ++standChangeCount;
    gf_setWindowValue(WindowArea::Statistics, "stand changes", std::to_string(standChangeCount));
    gf_repaintArea(WindowArea::Statistics);
}

void gf_fillSlotsSinceLastSighting(WeekSlot now, ParkPos& stand, uint32_t optionId, StandUse& last,
                                   const LiveAc& ac) {
    const int32_t n = gf_slotsBetween(last.last, now);
    if (n >= 1 && n <= maxFilledGap) {
        if (last.last.weekday == now.weekday)
            gf_updateOptionRange(stand.options, now, ac.identity.callsign, n, optionId);
        else
            gf_updateOptionRangeOverMidnight(stand.options, now, ac.identity.callsign, n, last.optionId,
                                             optionId);
    }
    last.last = now;
    last.optionId = optionId;
}

bool gf_addRealParkPosOption(uint32_t standId, const LiveAc& ac, bool remember, WeekSlot now) {
    return lf_addParkPosOption(optionReal, "lf_addRealParkPosOption", standId, ac, remember, now);
}

bool gf_addSoftParkPosOption(uint32_t standId, const LiveAc& ac, bool remember, WeekSlot now) {
    return lf_addParkPosOption(optionSoft, "lf_addSoftParkPosOption", standId, ac, remember, now);
}

void gf_learnStandUse(const LiveAc& ac, bool remember, WeekSlot slot) {
    if (ac.identity.airl.empty() || ac.cargoStand != (ac.identity.cargo != 0)) return;
    if (gf_addRealParkPosOption(ac.standId, ac, remember, slot)) gf_standSlotGate(ac.identity.hexid, slot, true);
}

void gf_searchForCoupledCsAroundThisTime(WeekSlot now, LiveAc& ac) {
    AcIdentity& id = ac.identity;
    if (id.coupledSearched != 0) return;
    id.coupledSearched = 1;
    try {
        const int32_t w = id.category == AircraftCategory::Heavy ? coupledWindowHeavy : coupledWindow;
        HalfHourSet window;
        for (int32_t s = std::max(0, now.slot - w); s <= std::min(47, now.slot + w); ++s)
            window.set(static_cast<size_t>(s));
        std::string cs = id.callsign;
        if (!cs.empty() && cs.back() == '_') cs.pop_back();
        if (cs.empty()) return;
        for (const ParkPos& p : parkPositions) {
            for (const ParkPosOption& o : p.options) {
                if (o.id == 0 || o.dropped || o.day != static_cast<uint32_t>(now.weekday) || (o.hours & window).none())
                    continue;
                if (o.airline() != id.airl || o.callsign2().empty() || (o.callsign1() != cs && o.callsign2() != cs)) continue;
                id.callsignCopy = o.callsign1();
                id.coupledCallsign = o.callsign2();
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "gf_searchForCoupledCsAroundThisTime", e.what()));
    }
}

}  // namespace vdl
