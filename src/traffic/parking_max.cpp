#include "traffic/parking_max.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <unordered_set>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "traffic/parking.h"
#include "traffic/removal.h"
#include "traffic/stand_learning.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

// Halves away from zero, as the window shows it.
int32_t lf_roundedShare(int64_t product, size_t n) {
    return static_cast<int32_t>(std::round(static_cast<double>(product) / static_cast<double>(n)));
}

}  // namespace

int32_t gf_maxParkNumber() {
    const int32_t pct = CUSTOM_PARKING_PERCENTAGE.value() >= 0 ? CUSTOM_PARKING_PERCENTAGE.value()
                                                              : parking_percentage.value();
    const size_t n = parkPositions.size();
    int32_t wanted = 1;
    if (n > 1 && (n > 3 || pct >= 50)) wanted = lf_roundedShare(static_cast<int64_t>(pct) * static_cast<int64_t>(n), 100);
    int32_t shownPct = pct;
    if (CUSTOM_MAX_PARK.value() != CUSTOM_MAX_PARK.defaultValue()) {
        wanted = std::min(CUSTOM_MAX_PARK.value(), wanted);
        shownPct = n == 0 ? 0 : lf_roundedShare(static_cast<int64_t>(wanted) * 100, n);
    }
    const bool changed = wanted != parkingMaximum;
    parkingMaximum = wanted;
    gf_setWindowValue(WindowArea::Counters, "max park", fmt::format("{} ({}%)", wanted, shownPct));
    if (changed) gf_repaintArea(WindowArea::Counters);
    return wanted;
}

int32_t gf_parkedSlots(WeekSlot parked, WeekSlot now) {
    if (parked.weekday < 1 || parked.weekday > 7) return 0;
    return gf_slotsBetween(parked, now);
}

std::vector<std::pair<uint32_t, int64_t>> gf_collectParkedLive() {
    std::vector<std::pair<uint32_t, int64_t>> parked;
    const uint64_t now = gf_steadyTicks();
    for (const LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active || ac.groundState != GroundState::parked) continue;
        const uint64_t ticks = now > ac.parkTicks ? now - ac.parkTicks : 0;
        parked.emplace_back(ac.identity.hexid, static_cast<int64_t>(ticks / steadyTicksPerSecond));
    }
    std::stable_sort(parked.begin(), parked.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return parked;
}

void gf_checkMaxPark(uint8_t extra) {
    try {
        const int64_t live = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAc& ac) {
            return ac.state == AcState::active && ac.groundState == GroundState::parked;
        });
        const int64_t total = live + extra;
        const int64_t max = parkingMaximum;
        if (!INITIAL_LOAD_ONLY.value() && max >= 1 && total > max) {
            const auto parked = gf_collectParkedLive();
            if (!parked.empty()) gf_removeForMaxPark(parked.front().first);
        }
        const int64_t statics = std::count_if(staticAircraft.begin(), staticAircraft.end(), [](const AiAircraft& ac) {
            return ac.state == AcState::active || ac.state == AcState::removed;
        });
        if (statics == 0 || statics + total <= max) return;
        const WeekSlot now = nowSlot.load();
        // The earliest parked is the one that has stood the most slots up to now.
        auto earliest = std::max_element(staticAircraft.begin(), staticAircraft.end(),
                                         [now](const AiAircraft& a, const AiAircraft& b) {
                                             return gf_parkedSlots(a.parkSlot, now) < gf_parkedSlots(b.parkSlot, now);
                                         });
        if (earliest->state == AcState::active) removeAircraftFromSim(*earliest, "over the parking maximum, parked the longest");
    } catch (const std::exception& e) {
        throw std::runtime_error(fmt::format("{}: {}", "gf_checkMaxPark", e.what()));
    }
}

void gf_removeLongestParked(int64_t n) {
    const auto parked = gf_collectParkedLive();
    if (parked.empty() || n <= 0) return;
    std::unordered_set<uint32_t> chosen;
    for (size_t i = 0; i < std::min(static_cast<size_t>(n), parked.size()); ++i) chosen.insert(parked[i].first);
    for (LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active || !chosen.contains(ac.identity.hexid)) continue;
        if (gf_logIsOpen())
            gf_log(fmt::format("live parked {} at {} removed", gf_acInfo(ac.identity), gf_standNameById(ac.standId)));
        removeAircraftFromSim(ac, "over the parking maximum");
    }
}

namespace {

constexpr int64_t maxUnconfirmedMinutes = 90;
constexpr int64_t maxUnconfirmedMinutesHeavy = 180;

double lf_averageHours(int64_t slots, size_t count) {
    return count == 0 ? 0.0 : static_cast<double>(slots) / (2.0 * static_cast<double>(count)) + 0.5;
}

// The count with its average in hours; the count alone while the average is not shown (-1.0).
void lf_showAverage(double& stored, double hours, const char* name, size_t count) {
    const bool changed = stored != hours;
    stored = hours;
    gf_setWindowValue(WindowArea::Counters, name,
                      hours < 0.0 ? std::to_string(count) : fmt::format("{} ({:.1f} h)", count, hours));
    if (changed) gf_repaintArea(WindowArea::Counters);
}

// While a plan or adjustment is computed and placed, the averages are not shown; the park-airport
// check shows them again when it is done.
double lf_shownHours(int64_t slots, size_t count) {
    return parkingBusy.load() ? -1.0 : lf_averageHours(slots, count);
}

}  // namespace

size_t gf_countParkedLiveAc(bool show) {
    const WeekSlot now = nowSlot.load();
    size_t count = 0;
    int64_t slots = 0;
    for (const LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active || ac.groundState != GroundState::parked) continue;
        ++count;
        slots += gf_parkedSlots(ac.parkSlot, now);
    }
    if (show) lf_showAverage(averageParkedHoursLive, lf_shownHours(slots, count), "parked live", count);
    return count;
}

size_t gf_countParkedStaticAc(bool show) {
    const WeekSlot now = nowSlot.load();
    size_t count = 0;
    int64_t slots = 0;
    for (const AiAircraft& ac : staticAircraft) {
        if (ac.state != AcState::active) continue;
        ++count;
        slots += gf_parkedSlots(ac.parkSlot, now);
    }
    if (show && !WEEK.value())
        lf_showAverage(averageParkedHoursStatic, lf_shownHours(slots, count), "parked static", count);
    return count;
}

void gf_hideParkedAverages() {
    lf_showAverage(averageParkedHoursLive, -1.0, "parked live", gf_countParkedLiveAc(false));
    if (!WEEK.value()) lf_showAverage(averageParkedHoursStatic, -1.0, "parked static", gf_countParkedStaticAc(false));
}

void gf_forgetParkingCounters() {
    averageParkedHoursLive = -1.0;
    averageParkedHoursStatic = -1.0;
    standChangeCount = 0;
    standRadiusChanges = 0;
}

void gf_showForgottenParkingCounters() {
    gf_hideParkedAverages();
    gf_setWindowValue(WindowArea::Statistics, "stand changes", std::to_string(standChangeCount));
    gf_setWindowValue(WindowArea::Statistics, "stand radius changes", std::to_string(standRadiusChanges));
    gf_repaintArea(WindowArea::Counters);
    gf_repaintArea(WindowArea::Statistics);
}

std::vector<ParkedLiveAc> collectParkedLiveAc() {
    std::vector<ParkedLiveAc> parked;
    const uint64_t now = gf_steadyTicks();
    for (LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active || ac.groundState != GroundState::parked) continue;
        int64_t minutes = 0;
        if (!ac.standChecked) {
            const uint64_t ticks = now > ac.parkTicks ? now - ac.parkTicks : 0;
            minutes = static_cast<int64_t>(ticks / steadyTicksPerSecond / 60);
            const int64_t limit = ac.identity.category == AircraftCategory::Heavy ? maxUnconfirmedMinutesHeavy
                                                                                 : maxUnconfirmedMinutes;
            if (!INITIAL_LOAD_ONLY.value() && minutes > limit) {
                if (LOG.value())
                    gf_log(fmt::format("{:8}: {:8} parked {} minutes, removed", gf_standNameById(ac.standId),
                                       ac.identity.callsign, minutes));
                removeAircraftFromSim(ac, fmt::format("parked {} minutes unconfirmed", minutes));
                continue;
            }
        }
        parked.push_back({ac.identity.hexid, ac.standId, ac.identity.callsign, minutes});
    }
    std::stable_sort(parked.begin(), parked.end(),
                     [](const ParkedLiveAc& a, const ParkedLiveAc& b) { return a.minutes < b.minutes; });
    return parked;
}

}  // namespace vdl
