// The park-airport list: the airports of airports/my_park_airports.txt and airports/my_thirdparty,
// with the user's reserved stand per airport. Its front entry is the candidate in the air and the
// one that is written back.
//
// Locks: parkAirportListMutex guards parkAirports and the list file; the run worker, and the
// simulator link's thread when the user parks, change them. It is taken before parkAirportMutex,
// never while that is held.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vdl {

struct ParkAirport {
    std::string code;           // ICAO code of a reference airport
    std::string reservedStand;  // the stand the user parked on last; may be empty
    double lat = 0.0;
    double lon = 0.0;
    double distance = 0.0;  // nm from the user aircraft
};

extern std::mutex parkAirportListMutex;
extern std::list<ParkAirport> parkAirports;

inline constexpr std::string_view myParkAirportsName = "my_park_airports.txt";
inline constexpr size_t manyParkAirports = 3000;
std::filesystem::path gf_myParkAirportsPath();  // airports/my_park_airports.txt

// Rebuilds the list from the file and from airports/my_thirdparty; false when a listed airport is
// unknown or reading failed. A DESTINATION airport that is listed comes first again.
bool gf_readMyParkAirports();
// Writes the front entry into the file (sorted by bytes, replaced atomically).
void gf_saveParkAirportEntry();
// Puts the airport at the front; a new one is written to the file.
void gf_selectParkAirport(const std::string& code, double lat, double lon);
bool gf_isParkAirportListed(std::string_view code);
std::optional<ParkAirport> gf_frontParkAirport();
size_t gf_parkAirportCount();

// The distance step of the park-airport check: after the user aircraft moved every distance is
// recomputed and, without DESTINATION, the list sorted nearest first; otherwise only the front's.
void gf_updateParkAirportDistances(double lat, double lon);

// The front is `code` (moved there when listed further down, else inserted); a non-empty stand
// becomes its reserved stand. Writes the file when something changed; true then.
bool gf_putParkAirportFirst(const std::string& code, const std::string& stand, double lat, double lon);

// The simulator link's thread: the user aircraft stands still on this stand of the park airport.
void gf_saveUserStand(const std::string& stand);

// Re-reads the list and, with checkStand, takes over a changed reserved stand; the report goes
// into message.
void gf_checkParkAirportsAndStands(bool checkStand, std::string& message);

// The user's reserved stand at the park airport, and whether it is shown; run worker only.
extern std::string reservedStand;
extern bool reservedStandShown;
void gf_showReservedStand();

// MAX_LIVE as the run started; leaving the park airport sets it back.
extern int32_t runMaxLive;

// The list, the reserved stand and the last user position forgotten (part of gf_resetAirports).
void gf_resetParkAirportList();

}  // namespace vdl
