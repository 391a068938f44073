#include "airports/stand_save.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <system_error>

#include "airports/park_airport_state.h"
#include "airports/stand_file.h"
#include "airports/stand_locations.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/utf8_path.h"
#include "window/main_window.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

constexpr size_t thirdpartyListReserve = 512;

std::string lf_clockTime() { return gf_asctimeUtc(gf_nowUtc()).substr(11, 8); }

// What the base stand file does not hold: learned options, stands made by hand, overrides.
std::vector<ParkPos> lf_learnedStands() {
    std::vector<ParkPos> stands;
    for (const auto& s : parkPositions) {
        if (handmadeLoaded) {
            stands.push_back(s);
            continue;
        }
        const bool learned = std::any_of(s.options.begin(), s.options.end(), [](const ParkPosOption& o) { return o.fixed != 1; });
        if (!learned && !s.manual && !s.radiusChange && !s.cargoChange) continue;
        ParkPos copy = s;
        std::erase_if(copy.options, [](const ParkPosOption& o) { return o.fixed == 1; });
        stands.push_back(std::move(copy));
    }
    return stands;
}

}  // namespace

bool gf_saveLearnedStandFile() {
    AirportRecord record;
    {
        std::lock_guard lock(parkAirportMutex);
        record.icao = currentParkAirport.code;
    }
    record.name = standFileInfo.airportName;
    record.publisher = standFileInfo.publisher;
    record.altitude = standFileInfo.altitude;
    record.stands = lf_learnedStands();
    if (handmadeLoaded) {
        const QualityFactor q = gf_qualityFactor(parkPositions);
        record.qfReal = q.real;
        record.qfSoft = q.soft;
    }
    const fs::path path = gf_learnedApfPathForCode(record.icao, record.publisher);
    const std::string text = gf_utf8FromPath(path);
    bool saved = false;
    try {
        std::error_code ec;
        fs::create_directories(path.parent_path(), ec);
        if (ec) throw fs::filesystem_error("create_directory", path.parent_path(), ec);
        saved = gf_writeApf(record, path, apfLearnedMode);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("gf_saveLearnedStandFile: {}", e.what()));
    }
    if (!saved) {
        gf_setStatusLine(fmt::format("{} saving \"{}\" did not succeed", lf_clockTime(), text), true);
        return false;
    }
    gf_setStatusLine(fmt::format("{}{} \"{}\" saved with {} update{} {}", lf_clockTime(), handmadeLoaded ? " handmade" : "",
                                 text, updateCount, gf_plural(updateCount),
                                 parametersChanged ? "and one or more parameter changes" : ""),
                     true);
    updateCount = 0;
    parametersChanged = false;
    return true;
}

std::vector<std::string> gf_listThirdpartyStandFiles() {
    std::vector<std::string> names;
    names.reserve(thirdpartyListReserve);
    const fs::path folder = gf_myThirdpartyFolder();
    if (!fs::is_directory(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const fs::path& p = entry.path();
        if (!gf_equalsUpper(".XML", gf_utf8FromPath(p.extension()))) continue;
        const std::string stem = gf_utf8FromPath(p.stem());
        if (stem.size() == 4) names.push_back(stem);
    }
    return names;
}

void gf_removeAllFilesInFolder(const fs::path& folder) {
    if (!fs::is_directory(folder)) return;
    std::vector<fs::path> entries;
    for (const auto& e : fs::directory_iterator(folder)) entries.push_back(e.path());
    for (const auto& p : entries) {
        std::error_code ec;
        const bool removed = fs::remove(p, ec);
        // A folder with content stays: an error for one entry must not fail every later start.
        // Windows answers such a folder with "access denied" rather than "not empty".
        std::error_code probe;
        const bool folderWithContent = ec && fs::is_directory(p, probe) && !fs::is_empty(p, probe);
        if (ec == std::errc::directory_not_empty || folderWithContent || (!ec && !removed)) {
            gf_log(fmt::format("{} could not be removed", gf_utf8FromPath(fs::path(p).make_preferred())));
            continue;
        }
        if (ec) throw fs::filesystem_error("remove", p, ec);
    }
}

}  // namespace vdl
