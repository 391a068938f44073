#include "airports/park_airports.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "airports/park_airport_choice.h"
#include "airports/park_airport_state.h"
#include "airports/stand_locations.h"
#include "airports/stand_records.h"
#include "foundation/files.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "refdata/airport_refs.h"
#include "simlink/sim_link.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace fs = std::filesystem;

namespace vdl {

std::mutex parkAirportListMutex;
std::list<ParkAirport> parkAirports;
std::string reservedStand;
bool reservedStandShown = false;
int32_t runMaxLive = -1;

namespace {

using ListLock = std::lock_guard<std::mutex>;

// The user position of the last distance update; none until the first.
std::optional<LatLon> lastUserPosition;

// The file is the user's: a long file of bad lines must not flood the log.
LogLimiter& lf_listLog() {
    static LogLimiter limiter(std::string(myParkAirportsName), 20);
    return limiter;
}

bool lf_isListed(std::string_view code) {
    return std::any_of(parkAirports.begin(), parkAirports.end(), [&](const ParkAirport& p) { return p.code == code; });
}

// One line of the file; false for an unknown airport.
bool lf_processParkAirportLine(const std::string& line) {
    // A line of blanks or a lone "\r" is no entry.
    if (gf_trim(line).empty()) return true;
    const std::vector<std::string> items = gf_splitComma(line);
    if (items.empty()) return true;
    if (items.size() >= 3) {
        lf_listLog().logError(fmt::format("{}:{} wrong syntax, skipped", myParkAirportsName, line));
        return true;
    }
    const auto ref = gf_findAirportRef(items[0]);
    if (!ref) {
        const std::string text = fmt::format("airport {} is unknown", items[0]);
        gf_setStatusLine(text, false);
        lf_listLog().log(text);
        return false;
    }
    if (lf_isListed(items[0])) {
        lf_listLog().logError(fmt::format("{}:{} double, skipped", myParkAirportsName, items[0]));
        return true;
    }
    parkAirports.push_back({items[0], items.size() == 2 ? items[1] : std::string(), ref->lat, ref->lon, 0.0});
    return true;
}

void lf_addThirdpartyParkAirports() {
    const fs::path folder = gf_myThirdpartyFolder();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return;
    int added = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const std::string code = gf_utf8FromPath(entry.path().stem());
        if (lf_isListed(code)) continue;
        const auto ref = gf_findAirportRef(code);
        if (!ref) continue;
        parkAirports.push_back({code, "", ref->lat, ref->lon, 0.0});
        ++added;
    }
    if (added > 0)
        gf_log(fmt::format("{} park airport{} added from my_thirdparty folder(-s) ", added, gf_plural(added)));
}

// The DESTINATION airport, when listed, goes first: a re-read must not lose the user's choice.
void lf_destinationFirst() {
    const std::string code = gf_trim(DESTINATION.value());
    if (code.empty()) return;
    auto it = std::find_if(parkAirports.begin(), parkAirports.end(), [&](const ParkAirport& p) { return p.code == code; });
    if (it != parkAirports.end()) parkAirports.splice(parkAirports.begin(), parkAirports, it);
}

// The file's lines through the encoding reader; none when it cannot be read.
std::optional<std::vector<std::string>> lf_readListFile() {
    const fs::path path = gf_myParkAirportsPath();
    std::error_code ec;
    if (!fs::exists(path, ec)) return std::nullopt;
    std::vector<std::string> lines;
    if (!gf_readFileByEncoding(gf_detectEncoding(path), path, lines)) return std::nullopt;
    return lines;
}

// gf_saveParkAirportEntry with the list lock held.
void lf_saveFrontEntry() {
    if (parkAirports.empty()) return;
    const ParkAirport& front = parkAirports.front();
    std::vector<std::string> lines;
    if (auto read = lf_readListFile()) {
        bool taken = false;
        for (std::string& line : *read) {
            if (gf_trim(line).empty()) continue;  // blank lines carry nothing
            const std::vector<std::string> items = gf_splitComma(line);
            if (!taken && !items.empty() && items[0] == front.code) {
                line = fmt::format("{},{}", front.code, front.reservedStand);
                gf_log(fmt::format("{}:{},{} updated stand", myParkAirportsName, front.code, front.reservedStand));
                taken = true;
            }
            lines.push_back(std::move(line));
        }
        if (!taken) {
            std::string line = front.reservedStand.empty() ? front.code : front.code + "," + front.reservedStand;
            gf_log(fmt::format("{}:{} new entry", myParkAirportsName, line));
            lines.insert(lines.begin(), std::move(line));
        }
    } else {
        std::string line = front.reservedStand.empty() ? front.code : front.code + "," + front.reservedStand;
        gf_log(fmt::format("{} created with {}", myParkAirportsName, line));
        lines.push_back(std::move(line));
    }
    std::sort(lines.begin(), lines.end());
    if (!gf_writeLines(lines, gf_myParkAirportsPath()))
        gf_logError(fmt::format("could not save to \"{}\"", gf_utf8FromPath(gf_myParkAirportsPath())));
}

}  // namespace

fs::path gf_myParkAirportsPath() {
    return gf_airportsFolder() / std::string(myParkAirportsName);
}

bool gf_readMyParkAirports() {
    ListLock lock(parkAirportListMutex);
    bool result = true;
    try {
        parkAirports.clear();
        lastUserPosition.reset();  // the distances are measured afresh
        if (auto lines = lf_readListFile()) {
            for (const std::string& line : *lines)
                if (!lf_processParkAirportLine(line)) result = false;
        } else {
            gf_log(fmt::format("{} not found", gf_utf8FromPath(gf_myParkAirportsPath())));
        }
        const size_t n = parkAirports.size();
        if (n > 0) {
            gf_log(fmt::format("{} park airport{} read from \"{}\"", n, gf_plural(n), myParkAirportsName));
            if (n > manyParkAirports)
                gf_setStatusLine(fmt::format("Warning: There are a lot of airports ({}) in {}, that will cost VDRL "
                                             "much cpu time, and may give stutters",
                                             n, myParkAirportsName),
                                 true);
        }
        lf_addThirdpartyParkAirports();
        lf_destinationFirst();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
        return false;
    }
    return result;
}

void gf_saveParkAirportEntry() {
    ListLock lock(parkAirportListMutex);
    lf_saveFrontEntry();
}

void gf_selectParkAirport(const std::string& code, double lat, double lon) {
    ListLock lock(parkAirportListMutex);
    auto it = std::find_if(parkAirports.begin(), parkAirports.end(), [&](const ParkAirport& p) { return p.code == code; });
    if (it != parkAirports.end()) {
        parkAirports.splice(parkAirports.begin(), parkAirports, it);
        return;
    }
    parkAirports.push_front({code, "", lat, lon, 0.0});
    lf_saveFrontEntry();
}

bool gf_isParkAirportListed(std::string_view code) {
    ListLock lock(parkAirportListMutex);
    return lf_isListed(code);
}

std::optional<ParkAirport> gf_frontParkAirport() {
    ListLock lock(parkAirportListMutex);
    if (parkAirports.empty()) return std::nullopt;
    return parkAirports.front();
}

size_t gf_parkAirportCount() {
    ListLock lock(parkAirportListMutex);
    return parkAirports.size();
}

void gf_updateParkAirportDistances(double lat, double lon) {
    ListLock lock(parkAirportListMutex);
    if (parkAirports.empty()) return;
    const LatLon user{lat, lon};
    if (lastUserPosition && lastUserPosition->lat == lat && lastUserPosition->lon == lon) {
        ParkAirport& front = parkAirports.front();
        front.distance = gf_distanceNm(user, {front.lat, front.lon});
        return;
    }
    lastUserPosition = user;
    for (ParkAirport& p : parkAirports) p.distance = gf_distanceNm(user, {p.lat, p.lon});
    // The DESTINATION airport stays first.
    if (gf_trim(DESTINATION.value()).empty())
        parkAirports.sort([](const ParkAirport& a, const ParkAirport& b) { return a.distance < b.distance; });
}

bool gf_putParkAirportFirst(const std::string& code, const std::string& stand, double lat, double lon) {
    ListLock lock(parkAirportListMutex);
    auto it = std::find_if(parkAirports.begin(), parkAirports.end(), [&](const ParkAirport& p) { return p.code == code; });
    bool changed = false;
    if (it == parkAirports.end()) {
        parkAirports.push_front({code, stand, lat, lon, 0.0});
        changed = true;
    } else {
        if (it != parkAirports.begin()) {
            parkAirports.splice(parkAirports.begin(), parkAirports, it);
            changed = true;
        }
        ParkAirport& front = parkAirports.front();
        if (!stand.empty() && stand != front.reservedStand) {
            front.reservedStand = stand;
            changed = true;
        }
    }
    if (changed) lf_saveFrontEntry();
    return changed;
}

void gf_saveUserStand(const std::string& stand) {
    ListLock lock(parkAirportListMutex);
    const std::string code = gf_parkAirportCode();
    if (stand.empty() || code.empty() || parkAirports.empty()) return;
    ParkAirport& front = parkAirports.front();
    // A stand of the park airport belongs to its own entry only.
    if (front.code != code || front.reservedStand == stand) return;
    front.reservedStand = stand;
    lf_saveFrontEntry();
}

void gf_showReservedStand() {
    gf_setWindowValue(WindowArea::Statistics, "reserved stand", reservedStandShown ? reservedStand : "");
    gf_repaintArea(WindowArea::Statistics);
}

void gf_checkParkAirportsAndStands(bool checkStand, std::string& message) {
    if (!gf_readMyParkAirports()) return;
    const std::optional<ParkAirport> front = gf_frontParkAirport();
    const std::string code = gf_parkAirportCode();
    if (checkStand && userOnGround.load().known && !parkingBusy.load() && front && !code.empty() &&
        front->code == code && gf_userStandName().empty() && !front->reservedStand.empty() &&
        front->reservedStand != reservedStand) {
        message = fmt::format("reserved stand changed from \"{}\" to \"{}\"", reservedStand, front->reservedStand);
        auto byName = [](const std::string& name) {
            return std::find_if(parkPositions.begin(), parkPositions.end(),
                                [&](const ParkPos& p) { return p.name == name; });
        };
        if (!reservedStand.empty())
            if (auto old = byName(reservedStand); old != parkPositions.end()) old->reserved = 0;
        reservedStand = front->reservedStand;
        reservedStandShown = true;
        gf_removeAircraftOnReservedStandViaHook();
        if (auto now = byName(reservedStand); now != parkPositions.end()) now->reserved = 1;
        gf_showReservedStand();
    }
    if (message.empty()) message = "park airports and stands are okay";
}

void gf_resetParkAirportList() {
    ListLock lock(parkAirportListMutex);
    parkAirports.clear();
    lastUserPosition.reset();
    reservedStand.clear();
    reservedStandShown = false;
    runMaxLive = -1;
}

}  // namespace vdl
