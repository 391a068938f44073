// Stands from the helipad and parking records of one BGL airport record: names from the BGL
// parking names and numbers, stands of one name told apart by size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/bgl_view.h"
#include "airports/stand_records.h"

namespace vdl {

// What one airport record gives for its stand file.
struct BglAirportStands {
    std::string name;             // from airportNames; empty when it has none
    int32_t altitude = 0;         // ft
    std::vector<ParkPos> stands;  // in reading order: helipads and parkings as they came
    int32_t helipadNumber = 1;    // the next helipad's number (helipads taken + 1)
};

// Reads the airport's elevation and its subrecords: every helipad before the first parking
// list, then that list. Unusable entries are left out with scan-log lines naming bglPath. An
// airport whose subrecords or parking entries run past their container gives none, with a
// scan-log line.
std::optional<BglAirportStands> gf_readAirportStands(const BglAirport& airport, const std::string& icao,
                                                     std::string_view bglPath);

// "" for 0 and 11, "r" "p" "np" "ep" "sep" "sp" "swp" "wp" "nwp" "g" for 1 to 10, else the
// character code + 53.
std::string gf_parkingNameText(uint8_t code);

// Stands whose BGL names were equal (marked by the scan, named base and base + "a" to "f"):
// the largest keeps the plain name, the others get "a", "b", ... by decreasing radius.
void gf_renameDuplicateStands(std::vector<ParkPos>& stands);

}  // namespace vdl
