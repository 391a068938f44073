#include "airports/park_airport_state.h"

#include <fmt/format.h>

#include "airports/stand_file.h"
#include "airports/stand_load.h"
#include "airports/stand_save.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
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
    parkPositions.clear();
    const std::string code = gf_parkAirportCode();
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
    // TODO: the LEARN_SOFT rule of the quality factor, the user's stand in the park-airport list
    // and the reserved stand, once the park-airport list exists.
    parkPositions.shrink_to_fit();
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
    // TODO: the static candidate list and the per-stand texts of the window, once they exist.
    parkPositions.clear();
    handmadeLoaded = false;
    gf_setWindowValue(WindowArea::Statistics, "airport", "");
    lf_clearStatistics();
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
}

}  // namespace vdl
