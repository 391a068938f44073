#include "shell/main_loop.h"

#include <fmt/format.h>

#include <chrono>
#include <exception>

#include "airports/park_airport_choice.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/traffic_queue.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/threads.h"
#include "foundation/time.h"
#include "foundation/timer.h"
#include "foundation/text.h"
#include "liveries/livery_tables.h"
#include "refdata/airport_refs.h"
#include "shell/auto_range.h"
#include "shell/final_exit.h"
#include "shell/reports.h"
#include "shell/run_requests.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"
#include "traffic/parking.h"
#include "traffic/parking_max.h"
#include "traffic/removal.h"
#include "traffic/sim_replies.h"
#include "traffic/stand_learning.h"
#include "traffic/static_adjust.h"
#include "traffic/static_placing.h"
#include "traffic/static_twins.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "traffic/traffic_step.h"

namespace vdl {

namespace {

constexpr uint64_t stepsPerSecond = 1000 / mainLoopStepMs;

// The window asked for the object id of the CALLSIGN_2_OBJECTID callsign; run worker only.
bool showObjectIdAsked = false;
// "Flush static" was pressed: the next second removes every static aircraft; run worker only.
bool flushStaticAsked = false;

void lf_detail(std::string_view text) {
    if (LOG.value()) gf_log(text);
}


std::string lf_realTrafficState() {
    if (EXTERNAL_LINK.value()) return "link held by another program";
    if (!realTrafficLink.running()) return gf_realTrafficInstalled() ? "link closed" : "not installed";
    if (!realTrafficLink.connected()) return fmt::format("waiting on port {}", realTrafficLink.port());
    const auto version = realTrafficLink.version();
    return fmt::format("connected, version {} level {}", version ? version->text() : "?",
                       realTrafficLink.level());
}

// The counters of the main window.
void lf_refreshCounters() {
    gf_showConnectionStates();
    gf_setWindowValue(WindowArea::Counters, "QNH", fmt::format("{} hPa", qnh.load()));
    gf_setWindowValue(WindowArea::Counters, "traffic records queued", std::to_string(gf_trafficQueueSize()));
    gf_setWindowValue(WindowArea::Counters, "live aircraft", std::to_string(liveAircraft.size()));
    gf_setWindowValue(WindowArea::Counters, "static aircraft", std::to_string(staticAircraft.size()));
    gf_countParkedLiveAc(true);
    gf_countParkedStaticAc(true);
    gf_setWindowValue(WindowArea::Counters, "# liveries", std::to_string(liveryCount.load()));
    gf_setWindowValue(WindowArea::Counters, "lateral range",
                      fmt::format("{} nm{}", LATERAL_RANGE.value(), AUTO_RANGE.value() ? " (auto)" : ""));
    gf_setWindowValue(WindowArea::Statistics, "tick", std::to_string(tickCount.load()));
    gf_repaintArea(WindowArea::Counters);
}

// The DESTINATION box: its airport goes to the front of the park-airport list. An empty box
// leaves the list to the distance sort.
void lf_newDestination() {
    const std::string code = gf_trim(DESTINATION.value());
    if (code.empty()) return;
    const auto ref = gf_findAirportRef(code);
    if (!ref) {
        gf_setStatusLine(fmt::format("airport {} is unknown", code), true);
        return;
    }
    gf_selectParkAirport(ref->code, ref->lat, ref->lon);
}

void lf_showReservedStand() {
    std::string message;
    gf_checkParkAirportsAndStands(true, message);
    gf_setStatusLine(message, false);
}

// Requests of the UI thread, served between two steps.
void lf_serveRunRequests() {
    for (RunRequest request : gf_takeRunRequests()) {
        lf_detail(fmt::format("run request: {}", gf_runRequestName(request)));
        switch (request) {
            case RunRequest::EnforceMaxLive:
                gf_enforceMaxLiveAc();
                break;
            case RunRequest::NewDestination:
                lf_newDestination();
                break;
            case RunRequest::FlushStatic:
                flushStaticAsked = true;
                break;
            case RunRequest::ParkingSetting:
                gf_parkingSettingChanged();
                break;
            case RunRequest::ShowReservedStand:
                lf_showReservedStand();
                break;
            case RunRequest::ShowObjectId:
                showObjectIdAsked = true;
                break;
        }
    }
}

// One hexid of createdFollowUps a second: a static aircraft that duplicates the live one goes.
void lf_followUpCreated() {
    if (createdFollowUps.empty()) return;
    const uint32_t hexid = createdFollowUps.front();
    createdFollowUps.pop_front();
    LiveAc* live = gf_findLiveAcByHexid(hexid);
    if (live == nullptr) return;
    gf_searchForCoupledCsAroundThisTime(nowSlot.load(), *live);
    for (AiAircraft& parked : staticAircraft) {
        if (parked.state != AcState::active || !gf_removeDuplicateLiveAc(*live, parked)) continue;
        lf_detail(fmt::format("{} removed: duplicate of {}", gf_acText(parked.identity),
                              gf_acText(live->identity)));
        removeAircraftFromSim(parked, fmt::format("a duplicate of live {}", gf_acText(live->identity)));
        break;
    }
}

void lf_everySecond(bool simulatorRuns) {
    lf_followUpCreated();
    if (showObjectIdAsked) {
        showObjectIdAsked = false;
        gf_showObjectIdOfCallsign();
    }
    if (flushStaticAsked) {
        flushStaticAsked = false;
        // The plan's open candidates go too, or the next steps would place them again.
        staticCandidates.clear();
        gf_removeAllStaticAc();
    }
    if (simulatorRuns && userOnGround.load().known && userOnGround.load().value == 0) {
        bool removed = false;
        for (LiveAc& ac : liveAircraft) removed = gf_removeIfInUserPath(ac) || removed;
        if (removed) liveAircraft.eraseFlagged();
    }
    gf_removeStaticForCollisionAvoidance();
    if (simulatorRuns) gf_autoRange();
    lf_refreshCounters();
}

void lf_every15Seconds(uint32_t jobs) {
    if (parkingActive.load()) gf_removeAircraftOnReservedStand();
    gf_staticAdjustTurn((jobs & tickJob1200) != 0);
}

void lf_every30Seconds() {
    gf_every30SecondsReports();
}

void lf_takeTick(bool simulatorRuns) {
    const uint32_t count = gf_nextTickCount(tickCount.load());
    tickCount = count;
    gf_refreshNowSlot();
    gf_refreshUserStand();
    lf_everySecond(simulatorRuns);
    const uint32_t jobs = gf_tickJobs(count);
    if (simulatorRuns) {
        if (jobs & tickJob16) gf_checkForParkAirportUpdates(false);
        if (jobs & tickJob61) gf_removeStaticTwinsOfLiveAc();
        if ((jobs & tickJob62) && CALLSIGN_OBJECTIDS.value()) gf_writeCallsign2ObjectId();
    }
    if (jobs & tickJob15) lf_every15Seconds(jobs);
    if (jobs & tickJob30) lf_every30Seconds();
}

}  // namespace

void gf_mainLoopStep(uint64_t step) {
    lf_serveRunRequests();
    const bool simulatorRuns = simRunning.load();
    if (simulatorRuns) {
        gf_updateAI();
    } else {
        gf_SimCommands();
        if (step % stepsPerSecond == 0) {
            // RealTraffic still wants the user's state once a second.
            if (!simQuit.load()) userAc = gf_getUserAcData();
            gf_sendUserAcState();
            lf_refreshCounters();
        }
    }
    if (tickFlag.exchange(false)) lf_takeTick(simulatorRuns);
}

void gf_showConnectionStates() {
    const std::string simulator = simQuit.load()         ? "closed"
                                  : !simConnected.load() ? "not connected"
                                  : simRunning.load()    ? "running"
                                  : simPaused.load()     ? "paused"
                                                         : "no flight running";
    gf_setWindowValue(WindowArea::Counters, "simulator", simulator);
    gf_setWindowValue(WindowArea::Counters, "RealTraffic", lf_realTrafficState());
}

uint32_t gf_nextTickCount(uint32_t count) {
    return (count + 1) % tickCountRestart;
}

uint32_t gf_tickJobs(uint32_t count) {
    uint32_t jobs = 0;
    if (count % 15 == 0) jobs |= tickJob15;
    if (count % 16 == 0 && count % 15 != 0) jobs |= tickJob16;
    if (count % 30 == 0) jobs |= tickJob30;
    if (count % 61 == 0) jobs |= tickJob61;
    if (count % 62 == 0) jobs |= tickJob62;
    if (count % 1200 == 0) jobs |= tickJob1200;
    return jobs;
}

void gf_clearMainLoopState() {
    tickCount = 0;
    mainLoopSteps = 0;
    showObjectIdAsked = false;
    flushStaticAsked = false;
}

void gf_mainLoop(std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    try {
        TimerResolution resolution(1);
        gf_setMainLoopRunning(true);
        gf_checkForParkAirportUpdates(true);
        auto next = Clock::now();
        uint64_t step = 0;
        while (!stop.stop_requested() && !exiting.load()) {
            gf_mainLoopStep(step++);
            ++mainLoopSteps;
            next += std::chrono::milliseconds(mainLoopStepMs);
            const auto now = Clock::now();
            // Far behind (a stopped process, a slow machine): go on from now rather than race.
            if (now - next > std::chrono::seconds(1)) next = now;
            gf_sleepUntil(stop, next);
        }
        gf_setMainLoopRunning(false);
    } catch (...) {
        gf_setMainLoopRunning(false);
        gf_reportException("mainLoop", std::current_exception());
    }
}

}  // namespace vdl
