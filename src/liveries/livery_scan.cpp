// The livery step of a start-up: which folders are scanned, in which order, and what is kept.
#include "liveries/livery_scan.h"

#include <fmt/format.h>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "liveries/scan_reports.h"
#include "refdata/packages.h"
#include "window/main_window.h"

namespace vdl {

namespace {

namespace fs = std::filesystem;

using FolderList = std::vector<std::string>;

enum class ScanResult { Saved, NothingFound, NotSaved, Interrupted };

struct ScanCounters {
    int32_t folderNo = 0;
    size_t total = 0;
    size_t seen = 0;
};

// Empties the reports, the scanned and the don't-use titles whichever way the scan ends, so
// that the next scan of this process starts clean.
class ScanCleanup {
  public:
    ScanCleanup() = default;
    ScanCleanup(const ScanCleanup&) = delete;
    ScanCleanup& operator=(const ScanCleanup&) = delete;
    ~ScanCleanup() {
        gf_resetScanReports();
        gf_clearStatusLine();
    }
};

// Appends the first Community entry whose path holds one of the names and not "_CVT_".
void lf_findPackage(const fs::path& community, FolderList& folders, std::initializer_list<std::string_view> names,
                    std::string_view kind) {
    for (const auto& entry : fs::directory_iterator(community)) {
        const std::string path = gf_utf8FromPath(entry.path());
        if (path.find("_CVT_") != std::string::npos) continue;
        for (const auto name : names) {
            if (path.find(name) == std::string::npos) continue;
            gf_log(fmt::format("Automatic {} scan found folder: \"{}\"", kind, path));
            folders.push_back(path);
            return;
        }
    }
}

void lf_findAigFolder(const fs::path& community, FolderList& folders) {
    lf_findPackage(community, folders, {"aig-aitraffic-oci"}, "AIG");
}
void lf_findFsltlFolder(const fs::path& community, FolderList& folders) {
    lf_findPackage(community, folders, {"fsltl-traffic-base"}, "FSLTL");
}
void lf_findJfFolder(const fs::path& community, FolderList& folders) {
    lf_findPackage(community, folders, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF");
}
void lf_findUserTrafficFolder(const fs::path& community, FolderList& folders) {
    lf_findPackage(community, folders, {"user-aitraffic"}, "user-aitraffic");
}

FolderList lf_automaticFolders() {
    FolderList folders;
    folders.reserve(10);
    const fs::path community = gf_communityPath();
    if (community.empty()) return folders;
    std::error_code ec;
    if (!fs::is_directory(community, ec)) {
        gf_logError(fmt::format("Community folder \"{}\" not found", gf_utf8FromPath(community)));
        return folders;
    }
    using Detector = void (*)(const fs::path&, FolderList&);
    constexpr Detector aig = lf_findAigFolder, fsltl = lf_findFsltlFolder, jf = lf_findJfFolder;
    static constexpr Detector orders[6][3] = {{aig, fsltl, jf}, {aig, jf, fsltl}, {fsltl, aig, jf},
                                              {fsltl, jf, aig}, {jf, aig, fsltl}, {jf, fsltl, aig}};
    const int32_t order = AI_PACKAGE_ORDER.value();
    if (order >= 1 && order <= 6)
        for (const Detector detector : orders[order - 1]) detector(community, folders);
    lf_findUserTrafficFolder(community, folders);
    return folders;
}

FolderList lf_manualFolders() {
    FolderList folders;
    folders.reserve(10);
    for (const StringParameter* option : lfolders)
        if (!option->value().empty()) folders.push_back(option->value());
    return folders;
}

// A listed folder is a Community folder or like one: packages linked into it are searched too.
void lf_scanListedFolder(ScanCounters& counters, const std::string& folder, bool enterLinkedPackages,
                         const std::stop_token& stop) {
    if (folder.empty()) return;
    const fs::path path = gf_pathFromUtf8(folder);
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        gf_log(folder + " does not exist, skipped!");
        return;
    }
    if (!fs::is_directory(path, ec)) {
        gf_log(folder + " is not a folder name, skipped!");
        return;
    }
    const std::string place = "found in " + folder;
    if (counters.folderNo < 10) ++counters.folderNo;
    if (gf_liveryScanStopping(stop)) return;
    gf_scanLiveryFolder(counters.folderNo, path, stop, enterLinkedPackages);
    const size_t n = liveries.size();
    if (n > 0) {
        const size_t found = n - counters.seen;
        gf_log(fmt::format("{} liverie{} {}", found, gf_plural(found), place));
        counters.total += found;
        counters.seen = n;
    } else {
        gf_log("No liveries " + place);
    }
}

// Keeps, for each airline and model, only the liveries of the first folder that has them.
void lf_prioritize() {
    std::unordered_map<std::string, int32_t> firstFolder;
    for (const auto& liv : liveries) {
        auto [it, inserted] = firstFolder.try_emplace(liv.airl + '\n' + liv.type, liv.folderNo);
        if (!inserted && liv.folderNo < it->second) it->second = liv.folderNo;
    }
    liveries.remove_if([&](const LiveryData& liv) { return liv.folderNo > firstFolder[liv.airl + '\n' + liv.type]; });
}

ScanResult lf_scanAndSaveLiveries(const FolderList& folders, bool automatic, const std::stop_token& stop) {
    const ScanCleanup cleanup;
    liveries.clear();
    gf_removeOldScanReports();
    gf_fetchAigRegcodes();
    ScanCounters counters;
    // The automatic scan's folders are packages, each walked as a root already.
    for (const auto& folder : folders) lf_scanListedFolder(counters, folder, !automatic, stop);
    if (gf_liveryScanStopping(stop)) {
        liveries.clear();
        return ScanResult::Interrupted;
    }
    if (liveries.empty()) {
        liveryCount.store(0);
        gf_setWindowValue(WindowArea::Counters, "# liveries", "0");
        gf_repaintArea(WindowArea::Counters);
        gf_writeScanReports();  // they tell why nothing was found
        return ScanResult::NothingFound;
    }
    if (folders.size() > 1) gf_log(fmt::format("{} in total", counters.total));
    for (auto& liv : liveries) gf_correctLiveryFromDbase(liv);
    if (LIG_PRIORITIZE.value()) lf_prioritize();
    liveries.sort([](const LiveryData& a, const LiveryData& b) {
        if (a.airl != b.airl) return a.airl < b.airl;
        if (a.type != b.type) return a.type < b.type;
        return a.title < b.title;
    });
    liveries.unique();
    const bool saved = gf_saveScannedLiveries();
    liveries.clear();
    gf_writeScanReports();
    return saved ? ScanResult::Saved : ScanResult::NotSaved;
}

}  // namespace

void gf_scanLiveries(const std::stop_token& stop) {
    if (!SCAN_LIVERIES.value()) {
        gf_processScannedLiveries();
        return;
    }
    const bool automatic = LIG_AUTOMATIC.value();
    gf_setStatusLine(
        fmt::format("Scanning {} for liveries ...", LIG_PRIORITIZE.value() && !automatic ? "prioritized " : ""),
        false);
    gf_log(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                       automatic ? "automatic" : "manual"));
    const FolderList folders = automatic ? lf_automaticFolders() : lf_manualFolders();
    if (!automatic && folders.empty())
        throw UserErrorException(
            48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");

    switch (lf_scanAndSaveLiveries(folders, automatic, stop)) {
        case ScanResult::Interrupted:
            gf_log("liveries scan stopped: the run ends; the next start-up scans again");
            return;
        case ScanResult::NothingFound:
            if (automatic)
                throw UserErrorException(43, "Automatic scan has not found any liveries, switch off automatic and "
                                             "set lfolder parameter(-s), Manual 5.1");
            throw UserErrorException(53, "no liveries found");
        case ScanResult::NotSaved:
            throw UserErrorException(54, fmt::format("scanned liveries could not be written to {}, the next "
                                                     "start-up scans again",
                                                     gf_utf8FromPath(scannedLiveriesPath)));
        case ScanResult::Saved:
            break;
    }
    // A simulator switch during the scan turned SCAN_LIVERIES on again for the new run: keep it.
    if (gf_liveryScanStopping(stop)) return;
    SCAN_LIVERIES.set(false);
    gf_saveBoolParameter(SCAN_LIVERIES);
    gf_repaintArea(WindowArea::Options);
    gf_log("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    gf_processScannedLiveries(true);
}

}  // namespace vdl
