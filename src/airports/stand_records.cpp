#include "airports/stand_records.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <utility>

#include "foundation/log.h"
#include "refdata/dbase.h"

namespace vdl {

std::vector<ParkPos> parkPositions = [] {
    std::vector<ParkPos> stands;
    stands.reserve(parkPositionsReserve);
    return stands;
}();

namespace {

// A ghost's callsign carries one trailing '_'; options record the real callsign.
std::string_view lf_withoutGhostMark(std::string_view callsign) {
    if (!callsign.empty() && callsign.back() == '_') callsign.remove_suffix(1);
    return callsign;
}

ParkPosOption* lf_optionById(std::vector<ParkPosOption>& options, uint32_t id) {
    if (id == 0) return nullptr;
    for (auto& option : options)
        if (option.id == id) return &option;
    return nullptr;
}

void lf_addOptionCallsign(std::vector<ParkPosOption>& options, uint32_t id, std::string_view callsign) {
    const std::string_view cs = lf_withoutGhostMark(callsign);
    if (cs.empty()) return;
    ParkPosOption* option = lf_optionById(options, id);
    if (option == nullptr) return;
    if (option->callsign1().empty())
        option->setCallsign1(cs);
    else if (cs != option->callsign1() && cs != option->callsign2())
        option->setCallsign2(cs);  // a third callsign replaces the second
}

WeekSlot lf_halfHourBefore(WeekSlot s) {
    if (s.slot > 0) return {s.weekday, s.slot - 1};
    return {s.weekday > 1 ? s.weekday - 1 : 7, 47};
}

}  // namespace

ParkPos::ParkPos(std::string name_, std::vector<ParkPosOption> options_, double lat_, double lon_,
                 double heading_, double radiusMetres, bool cargo_, bool ramp_, bool heli_)
    : options(std::move(options_)),
      name(std::move(name_)),
      lat(lat_),
      lon(lon_),
      heading(heading_),
      radius(radiusMetres * nmPerMetre),
      cargo(cargo_),
      ramp(ramp_),
      heli(heli_) {
    adjacent.reserve(8);
}

void ParkPosOption::updateOption(int32_t slot) {
    try {
        hours.set(static_cast<size_t>(static_cast<int64_t>(slot)));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} \"{}\" \"{}\" bit:{} exception:{}", "updateOption", callsign1(), callsign2(), slot,
                                e.what()));
    }
}

bool ParkPosOption::testRange(int32_t start, int32_t offset, int32_t& overhang) const {
    overhang = -1;
    try {
        // 64 bits: start - offset must not overflow for any caller's values.
        const int64_t low = static_cast<int64_t>(start) - offset;
        for (int64_t bit = start; bit >= std::max<int64_t>(low, 0); --bit)
            if (hours.test(static_cast<size_t>(bit))) return true;
        if (low < 0) overhang = static_cast<int32_t>(std::min<int64_t>(-low, 46));
        return false;
    } catch (const std::exception& e) {
        gf_logString(fmt::format("{}exception {} in testRange, start: {}, offset: {}", "===> ", e.what(), start,
                                 offset));
        overhang = -1;
        return false;
    }
}

int32_t gf_addOption(std::vector<ParkPosOption>& options, const AcIdentity& ac, uint32_t kind, WeekSlot now,
                     std::string_view callsign, std::string_view reg) {
    const std::string_view cs = lf_withoutGhostMark(callsign);

    HalfHourSet hours;
    hours.set(static_cast<size_t>(static_cast<int64_t>(now.slot)));  // out of range throws to the caller

    // The largest id + 1, not the last one's: options numbered by a merge or marked by a search
    // need not be in order, and two options of a stand must never share an id.
    uint32_t largest = 0;
    for (const auto& option : options) largest = std::max(largest, option.id);
    const uint32_t id = largest + 1;

    std::string_view airline = ac.airl;
    std::string_view type = ac.type;
    const auto known = gf_regcodeData(reg);
    if (known) {
        type = known->type;
        airline = known->opr.empty() ? known->airl : known->opr;
    }

    const uint32_t day = static_cast<uint32_t>(now.weekday);
    for (const auto& option : options)
        if (option.reg() == reg && option.day == day && option.hours == hours && option.callsign1() == cs) return 0;

    ParkPosOption added;
    added.setStrings(airline, type, reg, cs, {});
    added.hours = hours;
    added.id = id;
    added.day = day;
    added.fixed = 0;
    added.kind = kind;
    options.push_back(std::move(added));
    return static_cast<int32_t>(id);
}

std::vector<WeekSlot> gf_buildSlotRun(WeekSlot now, int32_t count) {
    std::vector<WeekSlot> run;
    if (count <= 0) return run;
    run.reserve(std::max<size_t>(48, static_cast<size_t>(count)));
    run.push_back(now);
    for (int32_t i = 1; i < count; ++i) run.push_back(lf_halfHourBefore(run.back()));
    return run;
}

void gf_updateOptionRange(std::vector<ParkPosOption>& options, WeekSlot now, std::string_view callsign,
                          int32_t count, uint32_t id) {
    const auto run = gf_buildSlotRun(now, count);
    if (ParkPosOption* option = lf_optionById(options, id))
        for (auto it = run.rbegin(); it != run.rend(); ++it) option->updateOption(it->slot);
    lf_addOptionCallsign(options, id, callsign);
}

void gf_updateOptionRangeOverMidnight(std::vector<ParkPosOption>& options, WeekSlot now, std::string_view callsign,
                                      int32_t count, uint32_t earlierId, uint32_t laterId) {
    const auto run = gf_buildSlotRun(now, count);
    if (run.size() > 1) {
        uint32_t target = earlierId;
        // Oldest first; now itself (run.front()) is left to the caller's gf_addOption.
        for (auto it = run.rbegin(); it + 1 != run.rend(); ++it) {
            ParkPosOption* option = lf_optionById(options, target);
            if (option == nullptr) break;
            option->updateOption(it->slot);
            if (it->slot == 47) target = laterId;
        }
    }
    lf_addOptionCallsign(options, earlierId, callsign);
    lf_addOptionCallsign(options, laterId, callsign);
}

bool gf_matchOption(const ParkPosOption& option, std::string_view callsign, const AcIdentity& ac) {
    if (option.id == 0 || option.dropped || option.kind != optionReal) return false;
    return option.callsign1() == callsign || option.callsign2() == callsign ||
           (option.airline() == ac.airl && option.type() == ac.type);
}

}  // namespace vdl
