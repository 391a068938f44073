#include "airports/airport_scan.h"

#include <fmt/format.h>

#include <string>
#include <system_error>
#include <vector>

#include "airports/airport_links.h"
#include "airports/airport_scan_log.h"
#include "airports/airport_scan_walk.h"
#include "airports/stand_info.h"
#include "airports/stand_locations.h"
#include "airports/stand_save.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "refdata/airport_refs.h"
#include "refdata/packages.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

constexpr size_t folderListReserve = 10;

// Empties the airport names and the scan log on every way out of a scan, so that the next scan
// in this process starts clean also after an exception.
class AirportScanGuard {
  public:
    AirportScanGuard() = default;
    ~AirportScanGuard() {
        gf_clearAirportNames();
        gf_clearAirportsScanLog();
    }
    AirportScanGuard(const AirportScanGuard&) = delete;
    AirportScanGuard& operator=(const AirportScanGuard&) = delete;
};

bool lf_exitUnderWay() { return exiting.load() || userClosed.load(); }

void lf_scanAirportFolder(const fs::path& folder) {
    if (folder.empty()) return;
    const std::string text = gf_utf8FromPath(folder);
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        gf_setStatusLine(text + " does not exist, skipped!", true);
    } else if (!fs::is_directory(folder, ec)) {
        gf_setStatusLine(text + " is not a folder name, skipped!", true);
    } else {
        gf_scanFolderForAirports(folder, gf_toParkingPositions);
    }
}

// Removes a file of the scan's folders; a failure is logged, not raised, so that one stuck file
// does not fail every later start-up while SCAN_AIRPORTS stays on.
void lf_removeFile(const fs::path& file) {
    std::error_code ec;
    fs::remove(file, ec);
    if (ec) gf_logError(fmt::format("\"{}\" could not be removed: {}", gf_utf8FromPath(file), ec.message()));
}

// The scan log to output/info/AirportsScanLog.txt; "written" only once it is.
void lf_writeScanLog() {
    const fs::path path = gf_airportsScanLogPath();
    const std::vector<std::string> lines = gf_takeAirportsScanLog();
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (!ec && gf_writeLines(lines, path))
        gf_log(gf_utf8FromPath(path) + " written");
    else
        gf_logError(fmt::format("{} could not be written", gf_utf8FromPath(path)));
}

// The generated third party stand files that still need offline learning, copied to "TBLO"
// beside the walk's own entries (which are kept). Answers the number copied.
int32_t lf_copyOfflineLearningCandidates(const std::vector<std::string>& codes) {
    int32_t copied = 0;
    for (const std::string& code : codes) {
        const fs::path src = gf_myThirdpartyFolder() / gf_apfXmlPath(code);
        const std::string srcText = gf_utf8FromPath(src);
        std::error_code ec;
        if (code == "KMCI" && gf_readApfPublisher(src) == "TropicalSim") {
            lf_removeFile(src);
            continue;
        }
        if (!gf_isOfflineLearningCandidate(code) || !gf_readApfCreatorCheck(src).empty()) continue;
        const fs::path dest = gf_tbloFolder() / gf_apfXmlPath(code);
        const std::string destText = gf_utf8FromPath(dest);
        if (fs::exists(dest, ec)) {
            gf_log(fmt::format("{} has a TBLO entry of the walk already, not copied", code));
            continue;
        }
        if (!fs::copy_file(src, dest, fs::copy_options::none, ec) || ec) {
            gf_logError(fmt::format("\"{}\" failed to copy \"{}\"", srcText, destText));
            continue;
        }
        gf_log(fmt::format("{} copied to {}", code, destText));
        ++copied;
        if (fs::exists(gf_myThirdpartyFolder() / gf_apfTxtPath(code), ec)) lf_removeFile(src);
    }
    return copied;
}

// The walks and what follows them; true when an airport was linked or generated.
bool lf_scanAirportFolders(const std::vector<fs::path>& folders) {
    std::error_code ec;
    const fs::path logPath = gf_airportsScanLogPath();
    if (fs::exists(logPath, ec) && !fs::remove(logPath, ec))
        gf_log("problems with removing previous files (maybe still open?)");
    tbloCount = 0;
    airportsGenerated = false;
    gf_clearGeneratedStandFiles();
    gf_beginAirportsScanLog();
    // The folder stays: the working-folder check of every start-up needs it.
    const fs::path tblo = gf_tbloFolder();
    fs::create_directories(tblo, ec);
    if (ec) throw fs::filesystem_error("create_directory", tblo, ec);
    gf_removeAllFilesInFolder(tblo);

    for (const fs::path& folder : folders) lf_scanAirportFolder(folder);

    lf_writeScanLog();
    gf_clearStatusLine();
    if (lf_exitUnderWay()) return airportsGenerated.load();

    const std::vector<std::string> codes = gf_listThirdpartyStandFiles();
    if (!codes.empty()) {
        const int32_t copied = lf_copyOfflineLearningCandidates(codes);
        if (copied > 0) {
            tbloCount += copied;
            gf_log("");
        }
    }
    // "Done" only after a check: there was something to check, and a server to check it with.
    const bool checked = !codes.empty() && !gf_stockUrl(codes.front()).empty();
    if (checked && tbloCount.load() == 0)
        gf_log("All your third party airports are done, no off line learning needed.");
    if (airportsGenerated.load()) gf_log("Airports scan successful");
    return airportsGenerated.load();
}

}  // namespace

fs::path gf_airportsScanLogPath() { return fs::path("output") / "info" / "AirportsScanLog.txt"; }

void gf_scanAddonAirports() {
    gf_setStatusLine("Scanning for addon airports ...", false);
    gf_log(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", ""));
    std::vector<fs::path> folders;
    folders.reserve(folderListReserve);
    if (MSFS_2020.value()) {
        if (fs::path official = gf_installPath("Official"); !official.empty()) folders.push_back(std::move(official));
    }
    if (fs::path community = gf_installPath("Community"); !community.empty()) folders.push_back(std::move(community));

    const AirportScanGuard guard;
    gf_readAirportNames();
    if (MSFS_2020.value()) gf_removeAllFilesInFolder(gf_mySimaddonFolder());
    gf_removeAllFilesInFolder(gf_myThirdpartyFolder());
    const bool found = lf_scanAirportFolders(folders);
    gf_setWindowValue(WindowArea::Counters, "TBLO entries", std::to_string(tbloCount.load()));
    gf_repaintArea(WindowArea::Counters);
    if (lf_exitUnderWay()) {
        // An unfinished scan leaves my_thirdparty half filled: the next start scans again.
        gf_log("-------------------------- airports scan cut short by the exit, SCAN_AIRPORTS stays on --\n");
        return;
    }
    if (!found) gf_setStatusLine("Warning: Scan has not found any add-on airports", true);
    SCAN_AIRPORTS.set(false);
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_repaintArea(WindowArea::Options);
    gf_log("-------------------------- airports scan ends    ----------------------------\n");
}

}  // namespace vdl
