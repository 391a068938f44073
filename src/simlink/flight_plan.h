#pragma once
// AI flight plan files: AceXML .pln files with origin and destination, in the folder
// "orig_dest" of the program's folder.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vdl {

struct FlightPlanAirport {
    std::string code;  // ICAO code
    bool positionKnown = false;
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double elevation = 0.0;  // ft
};

// What a plan file says of one aircraft.
struct FlightPlanData {
    FlightPlanAirport departure;
    FlightPlanAirport destination;
    double cruisingAltitude = 0.0;  // ft
};

// AppData/Vandrel/orig_dest
std::filesystem::path gf_flightPlanFolder();
// Makes the folder when missing; false (logged) when that fails.
bool gf_createFlightPlanFolder();
// "{}.pln" of the object id.
std::string gf_flightPlanFileName(uint32_t objectId);
// Writes the plan; false when a code is empty or not letters and digits, or the file
// cannot be written.
bool gf_writeFlightPlan(const std::filesystem::path& path, const FlightPlanData& plan);

}  // namespace vdl
