#include "airports/park_airport_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

#include "airports/park_airport_choice.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "airports/stand_load.h"
#include "airports/stand_save.h"
#include "airports/stand_xml.h"
#include "feed/traffic_reader.h"
#include "foundation/errors.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "simlink/sim_link.h"
#include "window/main_window.h"

namespace vdl {

std::mutex parkAirportMutex;
CurrentParkAirport currentParkAirport;
StandFileInfo standFileInfo;
QualityFactor standFileQuality;
int32_t rtTrafficWeek = 0;
std::atomic<bool> parkingActive{false};
bool parametersChanged = false;
int32_t updateCount = 0;

namespace {

constexpr double standNameReachNm = 0.029697624190064796;  // 55 m

// The last position gf_standNameAtPosition was asked for, and its answer.
struct StandNameAnswer {
    double lat = 0.0;
    double lon = 0.0;
    std::string name;
};
std::optional<StandNameAnswer> lastStandName;

std::mutex userStandMutex;  // guards userStandName
std::string userStandName;

bool lf_userKnownOnGround() {
    const UserOnGround u = userOnGround.load();
    return u.known && u.value != 0;
}

// Step 4 of the load: an airport that has learned much from live traffic learns no soft options.
void lf_learnSoftRule() {
    if (standFileQuality.real >= 45 && parkPositions.size() >= 20) {
        learnSoftAllowed = false;
        if (LEARN_SOFT.value()) {
            LEARN_SOFT.set(false);
            parametersChanged = true;
        }
        LEARN_SOFT.setEnabled(false);
    } else {
        learnSoftAllowed = true;
        LEARN_SOFT.setEnabled(true);
    }
    gf_repaintArea(WindowArea::Options);
}

// Steps 5 and 6: the user's stand into the list, and the reserved stand of this airport.
void lf_takeUserStand(const CurrentParkAirport& airport) {
    if (userOnGround.load().known) {
        const std::string stand = gf_standNameAtPosition(userAc.latitude, userAc.longitude);
        gf_putParkAirportFirst(airport.code, stand, airport.lat, airport.lon);
    }
    const auto front = gf_frontParkAirport();
    const bool found =
        front && front->code == airport.code && !front->reservedStand.empty() &&
        std::any_of(parkPositions.begin(), parkPositions.end(), [&](const ParkPos& p) { return p.name == front->reservedStand; });
    // A stand name of another airport must not reserve a stand of this one.
    reservedStand = found ? front->reservedStand : std::string();
    reservedStandShown = found;
    gf_showReservedStand();
}

void lf_clearStatistics() {
    for (const char* name : {"publisher", "handmade", "stands", "quality"})
        gf_setWindowValue(WindowArea::Statistics, name, "");
    gf_setWindowValue(WindowArea::Statistics, "Flush static", "disabled");
    gf_repaintArea(WindowArea::Statistics);
}

}  // namespace

std::string gf_parkAirportCode() {
    std::lock_guard lock(parkAirportMutex);
    return currentParkAirport.code;
}

std::string gf_readParkedFile() {
    gf_keepOptionStorage(parkPositions);
    gf_forgetStandNameAnswer();
    CurrentParkAirport airport;
    {
        std::lock_guard lock(parkAirportMutex);
        airport = currentParkAirport;
    }
    const std::string& code = airport.code;
    std::string error;
    const std::string reference = gf_findApf(code);
    if (reference.empty()) {
        error = fmt::format("{} {} not found", "lf_readParkedFile", code);
    } else if (reference.size() >= 7 && reference.find("unknown") != std::string::npos) {
        error = fmt::format("{} {} has publisher:{}, {}", "lf_readParkedFile", code, "unknown", reference);
    } else {
        standFileInfo = {};
        try {
            error = gf_readApf(reference, standFileInfo, standFileQuality, parkPositions);
        } catch (const UserErrorException& e) {
            // A stand file that fails its checks ends this load, not the run.
            error = e.what();
        }
    }
    gf_forgetStandNameAnswer();
    if (error.empty()) {
        lf_learnSoftRule();
        parkPositions.shrink_to_fit();
        lf_takeUserStand(airport);
    }
    gf_setWindowValue(WindowArea::Statistics, "airport", error.empty() ? standFileInfo.airportName : "");
    updateCount = 0;
    if (!error.empty()) {
        gf_setStatusLine(error, true);
        gf_clearParkAirportState();
    }
    return error;
}

void gf_clearParkAirportState() {
    if (parkingActive.load() && (parametersChanged || updateCount >= 1)) {
        gf_saveLearnedStandFile();
        updateCount = 0;
    }
    parkingActive.store(false);
    parking_percentage.setEnabled(false);
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport = {};
    }
    gf_keepOptionStorage(parkPositions);
    gf_forgetStandNameAnswer();
    handmadeLoaded = false;
    // No park airport: its elevation counts as none for the feed and the movement.
    trafficReader.setAirportElevation(std::nullopt);
    gf_setWindowValue(WindowArea::Statistics, "airport", "");
    gf_setWindowValue(WindowArea::Statistics, "park airport", "");
    lf_clearStatistics();
    gf_parkAirportChangedViaHook();
}

void gf_resetParkAirportState() {
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport = {};
    }
    standFileInfo = {};
    standFileQuality = {};
    rtTrafficWeek = 0;
    parkingActive.store(false);
    parametersChanged = false;
    updateCount = 0;
    handmadeLoaded = false;
    gf_clearStockProbeCache();
    lastStandName.reset();
    std::lock_guard lock(userStandMutex);
    userStandName.clear();
}

void gf_forgetStandNameAnswer() {
    lastStandName.reset();
}

std::string gf_standNameAtPosition(double lat, double lon) {
    if (parkPositions.empty() || !lf_userKnownOnGround()) return {};
    if (lastStandName && lastStandName->lat == lat && lastStandName->lon == lon) return lastStandName->name;
    const ParkPos* nearest = nullptr;
    double best = standNameReachNm;
    for (const ParkPos& p : parkPositions) {
        const double d = gf_distanceNm({lat, lon}, {p.lat, p.lon});
        if (d < best || (nearest == nullptr && d <= best)) {
            best = d;
            nearest = &p;
        }
    }
    lastStandName = StandNameAnswer{lat, lon, nearest != nullptr ? nearest->name : std::string()};
    return lastStandName->name;
}

void gf_refreshUserStand() {
    std::string stand = gf_standNameAtPosition(userAc.latitude, userAc.longitude);
    std::lock_guard lock(userStandMutex);
    userStandName = std::move(stand);
}

std::string gf_userStandName() {
    std::lock_guard lock(userStandMutex);
    return userStandName;
}

}  // namespace vdl
