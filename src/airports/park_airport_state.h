// The park airport's run-wide state: the airport, its loaded stand file's facts, and the flags
// and counters that decide when its learned stand use is saved. Owned by the run worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "airports/stand_locations.h"

namespace vdl {

// The airport at which parking takes place; empty code when there is none. The run worker
// writes it under parkAirportMutex; other threads read it under the same mutex.
struct CurrentParkAirport {
    std::string code;
    std::string second;  // the second text of its reference entry
    double lat = 0.0;
    double lon = 0.0;
    double elevation = 0.0;  // ft
};
extern std::mutex parkAirportMutex;
extern CurrentParkAirport currentParkAirport;
// A copy of the code, taken under parkAirportMutex.
std::string gf_parkAirportCode();

// The loaded stand file's airport name, publisher and altitude (ft).
struct StandFileInfo {
    std::string airportName;
    std::string publisher;
    int32_t altitude = 0;
};
extern StandFileInfo standFileInfo;
extern QualityFactor standFileQuality;
extern int32_t rtTrafficWeek;  // "RT_traffic_week", 0 when absent

// The stands are loaded and live aircraft may park.
extern std::atomic<bool> parkingActive;
// Per-airport parking parameters were changed while parking was active.
extern bool parametersChanged;
// Learned stand changes (options, slots, cargo, radius) since the stand file was loaded or saved.
extern int32_t updateCount;

// Loads the stands of currentParkAirport into parkPositions; the answer is the error text, empty
// on success. A stand file that fails its checks (codes 65, 94) ends the load with its message.
std::string gf_readParkedFile();

// Forgets the park airport: saves the learned stand file when parking was active and something
// changed, then clears the state above, the stands and handmadeLoaded.
void gf_clearParkAirportState();

// Back to no park airport without saving (the library's reset).
void gf_resetParkAirportState();

// The name of the nearest stand within 55 m of the position; empty without stands or while the
// user aircraft is not on the ground. The last position asked and its answer are kept until the
// stands are loaded or cleared.
std::string gf_standNameAtPosition(double lat, double lon);
// Forgets the kept answer (the stands change).
void gf_forgetStandNameAnswer();

// The user's stand, computed by the run worker once per tick from userAc; the simulator link's
// thread reads it and never walks the stands itself.
void gf_refreshUserStand();
std::string gf_userStandName();

}  // namespace vdl
