// The in-memory livery catalogue and the matching tables built from it.
//
// Every title string lies in one block of the build (the title store); airlineModels and all other
// tables hold views into it. The store is never changed while views exist, so the views stay
// valid until gf_clearLiveryTables, which runs only between runs (gf_requestLiveryReset /
// gf_runPendingLiveryReset). The tables belong to the run worker and take no lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/text_keys.h"
#include "liveries/flat_text_map.h"

namespace vdl {

using TitleView = std::string_view;

struct CatalogueTitle {
    TitleView title;
    bool cargo = false;
};

using ModelViews = TextMap<std::vector<TitleView>>;

inline constexpr size_t paxTable = 0;
inline constexpr size_t cargoTable = 1;

// airline -> model -> titles in ascending byte order (equal titles in file order).
inline TextMap<TextMap<std::vector<CatalogueTitle>>> airlineModels;
// [pax, cargo]: airline -> model -> titles (steps 2 to 4).
inline std::array<TextMap<ModelViews>, 2> airlineModelTitles;
// [pax, cargo]: model -> titles of every airline (steps 5 and 6).
inline std::array<ModelViews, 2> genericTitles;
// registration -> title (step 1).
inline FlatTextMap<std::string, TitleView> regcodeTitles;
// Titles painted for particular registrations, avoided by random picks (gf_addSpecialTitle).
inline std::vector<TitleView> specialTitles;

// Models with at least one installed title, for the random fallback of gf_similarModels.
inline constexpr size_t categoryLight = 0;
inline constexpr size_t categoryBuzjets = 1;
inline constexpr size_t categoryRotorcraft = 2;
inline std::array<std::vector<std::string>, 3> categoryModels;

inline std::atomic<uint64_t> liveryCount{0};  // "# liveries: {}" of the window
inline bool liveriesProcessed = false;

// Builds the tables from output/LiveriesScanned.xml at the end of the livery step of a start-up.
// Skipped while the tables are built, unless `rescanned` (a scan just wrote a new file), which
// always rebuilds. Throws vdl::UserErrorException 51, 52, 533; then the tables stay empty.
void gf_processScannedLiveries(bool rescanned = false);

// Reserves the tables' capacities once per process; never touches a title string.
void gf_reserveLiveryTables();

// Empties every table (the title store last) and clears liveriesProcessed. Refused titles stay.
// Only between runs: call it through gf_runPendingLiveryReset.
void gf_clearLiveryTables();

// The window's "new scan" and simulator-switch commands: a reset is due before the next start-up.
void gf_requestLiveryReset();
// The run worker, at the start of each run before the livery step: runs a due reset (and empties
// noMatchKeys); true when it ran, so that the caller drops remembered titles too.
bool gf_runPendingLiveryReset();
bool gf_liveryResetDue();
// Changes with every table build and reset; a remembered title is valid only while it is the same.
uint64_t gf_liveryTablesGeneration();

bool gf_airlineHasModel(std::string_view airline, std::string_view model);
bool gf_hasGenericLivery(std::string_view model);
// The first three characters of every airline key, in map order.
std::vector<std::string> gf_liveryAirlines();

// The stored title with the same bytes; empty when none or `title` is empty.
TitleView gf_findCatalogueTitle(std::string_view title);

// Appends to specialTitles and its hash index.
void gf_addSpecialTitle(TitleView title);
bool gf_isSpecialTitle(TitleView title);
bool gf_haveSpecialTitles();
// The titles of a table list that are not special, in list order. Cached per list until the
// tables or the special titles change, so a pick among special titles costs no scan.
const std::vector<TitleView>& gf_plainCandidates(const std::vector<TitleView>& list);

// Total number of stored titles.
size_t gf_catalogueTitleCount();

// The liveries library's one reset: the tables, the catalogue list, the livery count, a due
// reset, the reserved flag, the registration messages, the scan's reports and title sets
// (gf_resetScanReports), and the match reports (refused titles, no-match keys, step counts)
// forgotten. As a fresh process has it
// (the tables' generation goes on counting: remembered titles of before stay invalid); tests
// call it.
void gf_resetLiveries();

// Between two runs (before a restart): the no-match keys go. The tables stay; they are rebuilt
// only when a livery reset was asked for (gf_runPendingLiveryReset).
void gf_resetLiveriesBetweenRuns();

}  // namespace vdl
