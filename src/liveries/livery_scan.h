// The livery scan of a start-up: the folders to scan, the parallel scan of each, and the
// catalogue output/LiveriesScanned.xml built from what was found.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string_view>

namespace vdl {

// The livery step of every start-up. While SCAN_LIVERIES is on it scans, saves the catalogue and
// the reports, switches SCAN_LIVERIES off; then (and when it was off) it builds the tables from
// the catalogue. Throws vdl::UserErrorException 48 (manual mode without folder), 43 / 53 (no
// livery found, automatic / manual) and 54 (the catalogue could not be written); SCAN_LIVERIES
// then stays on. A scan stopped by an exit or the stop request keeps the old catalogue, leaves
// SCAN_LIVERIES on and builds nothing.
void gf_scanLiveries(const std::stop_token& stop = {});

// Scans one folder tree on worker threads (at most hwThreads at a time) and appends the records
// to `liveries` in the order of the files found. Every worker has ended when it returns. Links
// to folders are not followed, except, with `enterLinkedPackages`, those at the folder's top
// level (packages linked into the Community folder), each after the folder itself.
void gf_scanLiveryFolder(int32_t folderNo, const std::filesystem::path& folder, const std::stop_token& stop = {},
                         bool enterLinkedPackages = false);

// An exit or a new run is under way, or the caller asked to stop: no further worker starts.
bool gf_liveryScanStopping(const std::stop_token& stop);

// Other vendors' airport and scenery packages: folders below the scanned one whose path holds
// one of these are not entered.
inline constexpr std::array<std::string_view, 9> liveryScanSkipWords = {
    "airport", "lvfr", "mkstudios", "simwings", "fsdreamteam", "navigraph", "flytampa", "inibuilds", "_CVT_"};

}  // namespace vdl
