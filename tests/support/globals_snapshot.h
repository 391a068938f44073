// The observable globals of every library as text, to compare the state after the resets with
// a fresh process's. runGlobals: what a run changes and a restart puts back; keptGlobals: what
// the program keeps between runs (settings, window, data base, livery tables, hooks, threads).
#pragma once

#include <fmt/format.h>

#include <map>
#include <mutex>
#include <string>

#include "airports/airport_links.h"
#include "airports/airport_scan_log.h"
#include "airports/park_airport_choice.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "airports/stand_records.h"
#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/not_created.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/workers.h"
#include "liveries/livery_data.h"
#include "liveries/livery_regcodes.h"
#include "liveries/livery_tables.h"
#include "liveries/match_reports.h"
#include "liveries/scan_reports.h"
#include "refdata/airport_refs.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "refdata/packages.h"
#include "shell/final_exit.h"
#include "shell/main_loop.h"
#include "shell/run_worker.h"
#include "simlink/sim_link.h"
#include "traffic/movement.h"
#include "traffic/parking.h"
#include "traffic/parking_max.h"
#include "traffic/stand_learning.h"
#include "traffic/static_adjust.h"
#include "traffic/static_placing.h"
#include "traffic/static_plan.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl::test {

using Globals = std::map<std::string, std::string>;

template <typename T>
std::string text(const T& value) {
    return fmt::format("{}", value);
}

inline Globals runGlobals() {
    Globals g;
    g["window.parkingBusy"] = text(parkingBusy.load());
    {
        std::lock_guard lock(trafficMutex);
        g["feed.trafficQueue"] = text(trafficQueue.size());
        g["feed.mainLoopRunning"] = text(mainLoopRunning);
    }
    g["feed.qnh"] = text(qnh.load());
    g["feed.readerError"] = text(readerError.load());
    {
        std::lock_guard lock(simMutex);
        g["simlink.connection"] = text(hSimConnect != nullptr);
        g["simlink.queues"] =
            fmt::format("{} {} {} {} {}", simCreateQueue.size(), simRemovalIds.size(), simEventQueue.size(),
                        positionSendBuffer.size(), positionWriteBuffer.size());
    }
    g["simlink.flags"] =
        fmt::format("{} {} {} {} {} {} {}", simConnected.load(), simStarted.load(), simPaused.load(),
                    simRunning.load(), simQuit.load(), simStopped.load(), tickFlag.load());
    g["simlink.counts"] =
        fmt::format("{} {} {}", simFrameRate.load(), flightsLoaded.load(), gf_failedRequestCount());
    g["simlink.userAc"] =
        fmt::format("{} {} {} {}", userAc.latitude, userAc.longitude, userAc.altitude, userAc.zuluTime);
    const UserOnGround u = userOnGround.load();
    g["simlink.userOnGround"] = fmt::format("{} {} {} {}", u.known, u.value, u.latitude, u.longitude);
    g["simlink.userStand"] = userStand.load();
    {
        std::lock_guard lock(matchReportMutex);
        g["liveries.noMatchKeys"] = text(noMatchKeys.size());
    }
    g["traffic.lists"] = fmt::format(
        "{} {} {} {} {} {} {} {} {} {} {}", liveAircraft.size(), staticAircraft.size(), pendingSpawns.size(),
        liveCreateQueue.size(), staticCreateQueue.size(), removalQueue.size(), createdFollowUps.size(),
        ghostCallsigns.size(), liveryByHexid.size(), standSlotByHexid.size(), staticCandidates.size());
    {
        std::lock_guard lock(replyMutex);
        g["traffic.replies"] = fmt::format("{} {}", simReplies.size(), switchFollowUps.size());
    }
    g["traffic.selected"] = fmt::format("{} {}", selectedObjectId, feedCallsigns.size());
    g["traffic.parkingMaximum"] = text(parkingMaximum);
    g["traffic.steadyTicksOverride"] = text(steadyTicksOverride.load());
    g["traffic.parkingCounters"] = fmt::format("{} {} {} {}", averageParkedHoursLive, averageParkedHoursStatic,
                                               standChangeCount, standRadiusChanges);
    g["traffic.staticParking"] =
        fmt::format("{} {} {} {} {} {} {}", keptStatics.size(), staticRemovals.size(), liveStayers.size(),
                    adjustRequested.load(), realToleranceReached, softToleranceReached, softPositionsUsed);
    return g;
}

inline Globals keptGlobals() {
    Globals g;
    g["foundation.log"] = text(gf_logIsOpen());
    g["foundation.clocks"] = fmt::format("{} {} {} {}", clock100.load(), liveDataUtc.load(),
                                         nowSlot.load().weekday, nowSlot.load().slot);
    g["foundation.workers"] = fmt::format("{} {}", hwThreads.load(), runningWorkers.load());
    g["foundation.notCreated"] = text(gf_notCreatedTitles().size());
    g["foundation.range"] = fmt::format("{} {} {} {}", lateralRangeNm.load(), lateralRangeMeters.load(),
                                        savedLateralRange.load(), atTenNm.load());
    for (const Parameter* p : gf_parameters())
        g["foundation." + p->name()] =
            p->text() + (p->control() != nullptr && !p->control()->enabled() ? " (disabled)" : "");
    g["window.flags"] = fmt::format("{} {}", exiting.load(), userClosed.load());
    g["window.errorLine"] = mainWindow.errorLine();
    for (const auto& line : mainWindow.lines()) g["window.lines"] += line + "\n";
    g["refdata.dbase"] = text(gf_dbaseLoaded());
    {
        std::lock_guard lock(airportRefsMutex);
        g["refdata.airportRefs"] = text(airportRefs.size());
    }
    {
        std::lock_guard lock(airportNamesMutex);
        g["refdata.airportNames"] = text(airportNames.size());
    }
    g["refdata.community"] = gf_communityPath().string();
    g["refdata.server"] = fmt::format("{} {} {}", gf_serverBase(), gf_downloadTimeouts().connect.count(),
                                      gf_downloadTimeouts().transfer.count());
    g["refdata.hooks"] = text(static_cast<bool>(gf_closestStandHook()));
    g["feed.link"] = fmt::format("{} {} {}", realTrafficLink.running(),
                                 realTrafficLink.version() ? realTrafficLink.version()->text() : "-",
                                 realTrafficLink.level());
    g["feed.readers"] =
        fmt::format("{} {} {} {} {} {}", qnhReader.running(), trafficReader.running(),
                    trafficReader.collecting(), trafficReader.callsigns().size(),
                    trafficReader.ownPosition().has_value(), trafficReader.airportElevation().has_value());
    g["simlink.thread"] = text(gf_simConnectThreadRunning());
    g["airports.stands"] = text(parkPositions.size());
    g["airports.parkAirport"] =
        fmt::format("{} {} {} {} {} {} {} {}", gf_parkAirportCode(), parkingActive.load(), parametersChanged, updateCount,
                    handmadeLoaded, rtTrafficWeek, standFileInfo.publisher, standFileQuality.real);
    {
        std::lock_guard lock(scanLogMutex);
        g["airports.scanLog"] = text(airportsScanLog.size());
    }
    g["airports.parkAirportList"] =
        fmt::format("{} {} {} {} {} {} {}", gf_parkAirportCount(), reservedStand, reservedStandShown, runMaxLive,
                    loadPending, learnSoftAllowed, gf_userStandName());
    g["airports.scan"] = fmt::format("{} {}", airportsGenerated.load(), tbloCount.load());
    // Static hexids run on for the whole process.
    g["traffic.staticHexid"] = text(staticHexidCounter);
    g["liveries.tables"] = fmt::format("{} {} {} {} {}", gf_catalogueTitleCount(), liveryCount.load(),
                                       liveriesProcessed, liveries.size(), gf_liveryResetDue());
    g["liveries.lists"] = fmt::format("{} {} {} {}", specialTitles.size(), regcodeMessages.size(),
                                      dontUseTitles.size(), gf_uncreatableCount());
    {
        g["liveries.scan"] = fmt::format("{} {} {} {} {} {} {} {}", invalidAirlineCodes.size(), invalidModelCodes.size(),
                                         modelFixes.size(), invalidCfgFiles.size(), incompleteSections.size(),
                                         emptyCfgFiles.size(), dbaseCorrections.size(), scannedTitles.size());
    }
    for (size_t i = 0; i < stepCounts.size(); ++i) g["liveries.steps"] += text(stepCounts[i].load()) + " ";
    g["traffic.parkAirport"] = text(movementParkAirport.loaded);
    g["shell.counts"] = fmt::format("{} {}", tickCount.load(), mainLoopSteps.load());
    const RunConfig config = gf_runConfig();
    g["shell.runConfig"] = fmt::format("{} {} {} {}", config.trafficPort, config.qnhPort,
                                       config.linkPort.value_or(0), config.trafficReaderDelay.count());
    g["shell.threads"] = fmt::format("{} {}", gf_runWorkerRunning(), gf_exitThreadRunning());
    return g;
}

inline Globals allGlobals() {
    Globals g = runGlobals();
    g.merge(keptGlobals());
    return g;
}

// The entries whose values differ, one "name: now (expected)" a line, for the failure message.
inline std::string globalsDiff(const Globals& now, const Globals& expected) {
    std::string out;
    for (const auto& [name, value] : expected) {
        auto it = now.find(name);
        const std::string got = it == now.end() ? "<missing>" : it->second;
        if (got != value) out += fmt::format("{}: {} ({})\n", name, got, value);
    }
    return out;
}

}  // namespace vdl::test
