// The airport reference list (input/airports_msfs.xml) and the airport names
// (input/airports_msfs_names.xml).
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vdl {

struct AirportRef {
    std::string code;  // ICAO
    std::string iata;  // may be empty
    double lat = 0.0;
    double lon = 0.0;
    double elev = 0.0;  // ft; 0 when the source has none
};

// Sorted ascending by code, codes unique. Filled by gf_readAirportRefs at start-up under
// airportRefsMutex; readers that walk it directly do so only after that, as the scans do.
inline std::mutex airportRefsMutex;
inline std::vector<AirportRef> airportRefs;

// Loads the list (root "Airports", elements "airport" with "ICAO", "IATA", "lat", "lon",
// "elev"). Entries without a 4-character code or with a position off the globe are skipped and
// logged; of repeated codes the first is kept. False when the file does not load or holds no
// airport; the list loaded before then stays.
bool gf_readAirportRefs(const std::filesystem::path& file = "input/airports_msfs.xml");
// Empties the list and the airport names (part of gf_resetRefdata).
void gf_clearAirportRefs();

// Exact code, case as given.
std::optional<AirportRef> gf_findAirportRef(std::string_view code);

// ICAO code -> name; filled at the start of the airport scan and emptied at its end, only read
// by the scan workers in between.
inline std::mutex airportNamesMutex;
inline std::unordered_map<std::string, std::string> airportNames;

// Loads input/airports_msfs_names.xml (root "AirportNames", elements "airport" with "ICAO" and
// "name") into airportNames; true when the map is not empty.
bool gf_readAirportNames(const std::filesystem::path& file = "input/airports_msfs_names.xml");
void gf_clearAirportNames();

// The reference airport closest to the position within reachNm. When a second airport is also
// within reach, the closest-stand hook decides: the airport whose nearest stand is closer wins
// (an airport without stand file counts 100 nm). None when no airport is within reach.
inline constexpr double closestAirportReachNm = 5.0;
std::optional<AirportRef> gf_closestAirport(double lat, double lon, double reachNm = closestAirportReachNm);

}  // namespace vdl
