#include "airports/park_airport_choice.h"

#include <fmt/format.h>

#include <mutex>
#include <stdexcept>
#include <string>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_locations.h"
#include "feed/traffic_reader.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "refdata/airport_refs.h"
#include "simlink/sim_link.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

bool loadPending = false;
bool learnSoftAllowed = true;

namespace {

std::mutex hooksMutex;  // guards hooks: set by the shell or a test, called by the run worker
ParkAirportHooks hooks;

// The last on-ground report that found no park airport: the check repeats every 16 s, the log
// says it once.
std::string lastGroundReport;

template <typename Member>
auto lf_hook(Member member) {
    std::lock_guard lock(hooksMutex);
    return hooks.*member;
}

template <typename Member>
void lf_call(Member member) {
    if (auto f = lf_hook(member)) f();
}

bool lf_userOnGround() {
    const UserOnGround u = userOnGround.load();
    return u.known && u.value != 0;
}

void lf_groundReport(const std::string& text) {
    gf_setStatusLine(text, text != lastGroundReport);
    lastGroundReport = text;
}

bool lf_setParkAirport(const std::string& code) {
    const auto ref = gf_findAirportRef(code);
    if (!ref) return false;
    std::string label;
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport = {ref->code, ref->iata, ref->lat, ref->lon, ref->elev};
        label = gf_airportLabel(currentParkAirport.code, currentParkAirport.second);
    }
    gf_log(fmt::format("The park airport is {}", label));
    gf_setWindowValue(WindowArea::Statistics, "park airport", label);
    gf_repaintArea(WindowArea::Statistics);
    lastGroundReport.clear();
    return true;
}

void lf_startStaticParkingPlan(bool announce) {
    lf_call(&ParkAirportHooks::disableParkingControls);
    // The feed's callsigns serve the static plan.
    trafficReader.startCollecting();
    if (announce) gf_setStatusLine("Calculating static parked aircraft ...", false);
}

void lf_chooseParkAirport(double lat, double lon, bool announce) {
    if (lf_userOnGround()) {
        const auto ref = gf_closestAirport(lat, lon);
        if (!ref) {
            lf_groundReport("User aircraft on the ground, no airport in sight");
            return;
        }
        if (!gf_hasApf(ref->code)) {
            lf_groundReport(fmt::format("User aircraft on the ground at {}, no airport file found", ref->code));
            return;
        }
        gf_log(fmt::format("User aircraft on the ground at {}", ref->code));
        if (lf_setParkAirport(ref->code)) {
            loadPending = true;
            lf_startStaticParkingPlan(announce);
        }
        return;
    }
    lastGroundReport.clear();
    DESTINATION.setEnabled(true);
    const auto front = gf_frontParkAirport();
    if (!front || front->distance > AIRPORT_RANGE.value() || userAc.altAboveGround > AIRPORT_HEIGHT.value()) return;
    if (!lf_setParkAirport(front->code)) return;
    gf_setStatusLine(fmt::format("{} in sight at {:.1F} nm", front->code, front->distance), true);
    loadPending = true;
    lf_startStaticParkingPlan(false);
}

// Only in the air: the park airport is left when it is out of sight, or when the front of the
// list is another airport in sight that is no farther.
void lf_checkParkAirportInSight(double lat, double lon) {
    if (lf_userOnGround()) return;
    CurrentParkAirport current;
    {
        std::lock_guard lock(parkAirportMutex);
        current = currentParkAirport;
    }
    const std::string label = gf_airportLabel(current.code, current.second);
    const double distance = gf_distanceNm({lat, lon}, {current.lat, current.lon});
    const bool low = userAc.altAboveGround <= AIRPORT_HEIGHT.value();
    if (distance <= AIRPORT_RANGE.value() && low) {
        const auto front = gf_frontParkAirport();
        if (!front || front->code == current.code) return;
        if (front->distance > AIRPORT_RANGE.value() || front->distance > distance) return;
        gf_log(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                           gf_simTimeOfDay(), front->code, front->distance, label));
        gf_resetParkAirport();
        return;
    }
    gf_log(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_simTimeOfDay(),
                       label, distance));
    gf_resetParkAirport();
}

}  // namespace

void gf_setParkAirportHooks(ParkAirportHooks h) {
    std::lock_guard lock(hooksMutex);
    hooks = std::move(h);
}

void gf_clearParkAirportHooks() {
    gf_setParkAirportHooks({});
}

void gf_removeAircraftOnReservedStandViaHook() {
    lf_call(&ParkAirportHooks::removeAircraftOnReservedStand);
}

void gf_parkAirportChangedViaHook() {
    lf_call(&ParkAirportHooks::parkAirportChanged);
}

void gf_checkForParkAirportUpdates(bool announce) {
    try {
        if (parkingBusy.load()) {
            auto empty = lf_hook(&ParkAirportHooks::staticCandidatesEmpty);
            if (!empty || empty()) {
                lf_call(&ParkAirportHooks::enableParkingControls);
                gf_clearStatusLine();
                lf_call(&ParkAirportHooks::showParkedTimes);
            }
        }
        if (loadPending) {
            gf_clearStatusLine();
            loadPending = false;
            if (gf_readParkedFile().empty()) {
                gf_parkAirportChangedViaHook();
                lf_call(&ParkAirportHooks::planStaticParking);
            }
            DESTINATION.setEnabled(true);
            return;
        }
        const double lat = userAc.latitude;
        const double lon = userAc.longitude;
        if (gf_isNullPosition(lat, lon)) return;
        gf_updateParkAirportDistances(lat, lon);
        if (gf_parkAirportCode().empty())
            lf_chooseParkAirport(lat, lon, announce);
        else
            lf_checkParkAirportInSight(lat, lon);
    } catch (const std::exception& e) {
        throw std::runtime_error(fmt::format("{}: {}", "gf_checkForParkAirportUpdates", e.what()));
    }
}

void gf_resetParkAirport() {
    lf_call(&ParkAirportHooks::clearStaticCandidates);
    lf_call(&ParkAirportHooks::removeAllStaticAc);
    lf_call(&ParkAirportHooks::releaseParkedLiveAc);
    loadPending = false;
    gf_clearParkAirportState();
    if (MAX_LIVE.value() != runMaxLive) {
        MAX_LIVE.set(runMaxLive);
        gf_setTbInt(MAX_LIVE);
        lf_call(&ParkAirportHooks::enforceMaxLiveAc);
    }
}

void gf_resetParkAirportChoice() {
    loadPending = false;
    learnSoftAllowed = true;
    lastGroundReport.clear();
}

}  // namespace vdl
