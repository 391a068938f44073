#include "shell/run_worker.h"

#include <fmt/format.h>

#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "airports/airport_scan.h"
#include "airports/park_airports.h"
#include "feed/rt_link.h"
#include "feed/udp_reader.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/threads.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "liveries/livery_data.h"
#include "liveries/livery_scan.h"
#include "liveries/livery_tables.h"
#include "refdata/airport_refs.h"
#include "refdata/packages.h"
#include "shell/auto_range.h"
#include "shell/final_exit.h"
#include "shell/main_loop.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_link.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

constexpr auto waitPoll = std::chrono::milliseconds(50);
constexpr auto userDataWait = std::chrono::seconds(5);

std::mutex runConfigMutex;  // guards runConfig
RunConfig runConfig;

std::mutex runWorkerMutex;  // guards runWorker (start, stop and join)
std::jthread runWorker;

// The run is to end: a stop was asked or an exit is under way.
bool lf_ending(const std::stop_token& stop) {
    return stop.stop_requested() || exiting.load();
}

// Sleeps for `time` unless the run ends first; false when it ends.
bool lf_pause(const std::stop_token& stop, std::chrono::milliseconds time) {
    // In slices: an exit under way is no stop request and wakes no sleep.
    const auto until = std::chrono::steady_clock::now() + time;
    while (!lf_ending(stop) && std::chrono::steady_clock::now() < until)
        gf_sleepUntil(stop, std::min(until, std::chrono::steady_clock::now() + waitPoll));
    return !lf_ending(stop);
}

// Waits until `ready` holds; false when the run ends first.
template <typename Ready>
bool lf_waitFor(const std::stop_token& stop, Ready ready) {
    while (!ready()) {
        if (!lf_pause(stop, waitPoll)) return false;
    }
    return !lf_ending(stop);
}

// The livery step: a scan while SCAN_LIVERIES is on, then the catalogue's tables from
// output/LiveriesScanned.xml, once per process unless a reset cleared them or a scan renewed the
// file. A failed scan (43, 48, 53, 54) or a file that is there but unreadable (51, 52, 533) throws.
void lf_liveryStep(const std::stop_token& stop) {
    std::error_code ec;
    if (!std::filesystem::exists(scannedLiveriesPath, ec)) {
        // The scan is due; without it there is nothing to build and no aircraft gets a livery.
        gf_setStatusLine(fmt::format("File {} is gone, rescan liveries", gf_utf8FromPath(scannedLiveriesPath)), true);
        if (!SCAN_LIVERIES.value()) {
            SCAN_LIVERIES.set(true);
            gf_saveBoolParameter(SCAN_LIVERIES);
        }
    }
    gf_scanLiveries(stop);
}

// The airport reference list, once per process: the airport scan and the park airports look
// airports up in it.
void lf_readAirportRefsOnce() {
    {
        std::lock_guard lock(airportRefsMutex);
        if (!airportRefs.empty()) return;
    }
    gf_readAirportRefs();  // logs what it read, or why not
}

// The run worker's start-up, before the run proper; false when the run ended meanwhile.
bool lf_startUpVDRL(const std::stop_token& stop) {
    try {
        gf_log("lf_startUpVDRL: a new run");
        gf_initWorkerSlots();
        gf_checkWorkingFolder();
        if (!gf_loadParameters()) {
            gf_setStatusLine(fmt::format("cannot write \"{}\"", gf_utf8FromPath(gf_parametersPath())), true);
        }
        gf_setLateralRange(LATERAL_RANGE.value());
        gf_autoRangeSwitched(AUTO_RANGE.value());
        gf_setTbInt(LATERAL_RANGE);
        // Without an install path the scans have no Community folder (logged by the call).
        if (gf_deriveCommunityPath())
            gf_log(fmt::format("Community folder: \"{}\"", gf_utf8FromPath(gf_communityPath())));
        // The AI flight plans are written there once aircraft are created (failures are logged).
        gf_createFlightPlanFolder();
        gf_log(fmt::format("RealTraffic {}installed on this PC{}", gf_realTrafficInstalled() ? "" : "not ",
                           EXTERNAL_LINK.value() ? ", its link is held by another program" : ""));
        // A livery reset asked for by the window runs now, between runs; remembered titles go with it.
        if (gf_runPendingLiveryReset()) gf_forgetLiveryTitles();
        lf_liveryStep(stop);
        // The scan recognises airports by their codes in this list: it is read first.
        lf_readAirportRefsOnce();
        if (SCAN_AIRPORTS.value()) gf_scanAddonAirports();
        gf_readMyParkAirports();
        runMaxLive = MAX_LIVE.value();
        return !lf_ending(stop);
    } catch (...) {
        gf_reportException("lf_startUpVDRL", std::current_exception());
        return false;
    }
}

// The run proper.
void lf_runSession(const std::stop_token& stop) {
    try {
        const RunConfig config = gf_runConfig();
        gf_initTrafficLists();
        gf_reserveLiveryTables();
        tickCount = 0;
        gf_startSimConnectThread();

        gf_setStatusLine("waiting for a flight in the simulator", true);
        if (!lf_waitFor(stop, [] { return simRunning.load() && userOnGround.load().known; })) return;
        gf_clearStatusLine();

        if (gf_realTrafficLinkWanted()) {
            const bool open =
                config.linkPort ? realTrafficLink.start(*config.linkPort) : gf_startRealTrafficLink();
            if (!open)
                throw std::runtime_error(
                    fmt::format("cannot open the RealTraffic link on port {}", PORT_NUMBER.value()));
            gf_setStatusLine(fmt::format("waiting for RealTraffic on port {}", realTrafficLink.port()), true);
            if (!lf_waitFor(stop, [] { return realTrafficLink.connected(); })) return;
            gf_setStatusLine("RealTraffic connected", false);
        }

        if (!gf_startQnhReader(config.qnhPort)) return;  // the reader error ends the run
        if (!lf_pause(stop, config.trafficReaderDelay)) return;
        // The automatic range from the first record on, not LATERAL_RANGE's own value until the
        // first tick: the in-range requests and the reader's callsign collection use it.
        gf_autoRange();
        if (!gf_startTrafficReader(config.trafficPort)) return;

        // The first state RealTraffic gets must be a real position.
        const auto until = std::chrono::steady_clock::now() + userDataWait;
        userAc = gf_getUserAcData();
        while (gf_isNullPosition(userAc.latitude, userAc.longitude) &&
               std::chrono::steady_clock::now() < until) {
            if (!lf_pause(stop, std::chrono::milliseconds(100))) return;
            userAc = gf_getUserAcData();
        }
        if (gf_isNullPosition(userAc.latitude, userAc.longitude)) {
            const UserOnGround u = userOnGround.load();
            userAc.latitude = u.latitude;
            userAc.longitude = u.longitude;
        }
        gf_sendUserAcState();
        gf_log("lf_runSession: the main loop starts");
    } catch (...) {
        gf_reportException("lf_runSession", std::current_exception());
        return;
    }
    gf_mainLoop(stop);
}

void lf_runWorker(std::stop_token stop) {
    if (lf_startUpVDRL(stop)) lf_runSession(stop);
    gf_log("the run worker ends");
}

}  // namespace

void gf_setRunConfig(const RunConfig& config) {
    std::lock_guard lock(runConfigMutex);
    runConfig = config;
}

RunConfig gf_runConfig() {
    std::lock_guard lock(runConfigMutex);
    return runConfig;
}

void gf_startRunWorker() {
    std::lock_guard lock(runWorkerMutex);
    if (runWorker.joinable()) {
        runWorker.request_stop();
        runWorker.join();
    }
    exiting = false;
    runWorker = std::jthread(lf_runWorker);
}

void gf_stopRunWorker() {
    std::lock_guard lock(runWorkerMutex);
    if (!runWorker.joinable()) return;
    runWorker.request_stop();
    if (runWorker.get_id() == std::this_thread::get_id()) return;
    runWorker.join();
}

bool gf_runWorkerRunning() {
    std::lock_guard lock(runWorkerMutex);
    return runWorker.joinable();
}

void gf_checkWorkingFolder() {
    for (const char* folder : {"airports", "input", "output", "TBLO"}) {
        std::error_code ec;
        if (!std::filesystem::is_directory(folder, ec)) {
            throw UserErrorException(
                99, fmt::format("the working folder \"{}\" is not the program's folder: \"{}\" is missing",
                                gf_utf8FromPath(std::filesystem::current_path()), folder));
        }
    }
}

}  // namespace vdl
