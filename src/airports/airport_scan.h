// The add-on airport scan at start-up: the simulator's package folders walked for BGL airport
// files, the scan log written, "TBLO" refilled and SCAN_AIRPORTS switched off.
#pragma once

#include <filesystem>

namespace vdl {

// output/info/AirportsScanLog.txt
std::filesystem::path gf_airportsScanLogPath();

// The whole scan (Official under MSFS 2020, then Community); called by the run worker while
// SCAN_AIRPORTS is on. File-system errors outside the walks are raised; the airport names and
// the scan log are emptied on every way out. A scan cut short by an exit leaves SCAN_AIRPORTS on.
void gf_scanAddonAirports();

}  // namespace vdl
