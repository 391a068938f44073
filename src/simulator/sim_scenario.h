#pragma once
// The simulator this program runs against on this platform: the in-process stand-in with a
// world around Düsseldorf (EDDL) and a scripted user flight. The flight ends with the
// simulator closing, which ends the program's run ("SIM WAS CLOSED").
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "foundation/geo.h"
#include "simulator/stand_in.h"

namespace vdl {

// EDDL as the scenario draws it: the reference point and elevation are the published ones;
// runway and stand positions are close to the real layout.
namespace eddl {
inline constexpr const char* icao = "EDDL";
inline constexpr double latitude = 51.2894;
inline constexpr double longitude = 6.7668;
inline constexpr double elevationFt = 147.0;
inline constexpr double runwayHeadingDeg = 52.7;      // true, 05R/05L; 23L/23R is the reverse
inline constexpr double southRunwayLengthM = 3000.0;  // 05R/23L
inline constexpr double northRunwayLengthM = 2700.0;  // 05L/23R
inline constexpr LatLon southRunwayCentre{51.2822, 6.7505};
// 05L/23R lies this far north-west of 05R/23L and this far north-east along it.
inline constexpr double northRunwayOffsetM = 500.0;
inline constexpr double northRunwayShiftM = 400.0;
inline constexpr double taxiwayOffsetM = 180.0;  // the parallel taxiway, south-east of 05R/23L

// A point `alongM` from the runway's centre toward 05's heading (north-east) and `rightM`
// to the right of that heading (south-east).
LatLon gf_runwayPoint(bool northRunway, double alongM, double rightM);
// Threshold of 23L/23R (north-east end) or 05R/05L (south-west end).
LatLon gf_threshold(bool northRunway, bool runway23);
}  // namespace eddl

struct SimScenarioConfig {
    double startAfterSeconds = 1.0;  // wall time until the flight is loaded and running
    // The flight also waits for a program to connect: a short flight of a test then cannot pass
    // while the program's start-up is still scanning on a loaded machine.
    bool flightAfterConnect = false;
    // Simulation time at which the simulator closes: long enough for the arrival from 15 nm
    // and the departure from a gate to end.
    double endAtSimSeconds = 600.0;
    double frameRate = 30.0;
    // The titles the simulator has installed, one a line; none without a file.
    std::filesystem::path installedTitles;
    // Where the objects' tracks are written as the world runs, finished when the simulator
    // stops; nothing when empty.
    std::filesystem::path tracksFile;
    // At most one point per object this often in the tracks file (simulation seconds; 0 every point).
    double trackPointSeconds = 0.0;
    // The user's flight elsewhere; empty: the EDDL flight of gf_scenarioUserFlight.
    std::vector<UserKeyframe> userFlight;
    // The ground of further airports of the world, beside EDDL's.
    struct Field {
        double latitude = 0.0;
        double longitude = 0.0;
        double elevationFt = 0.0;
    };
    std::vector<Field> moreAirports;
};

// The environment variable naming the file of the simulator's installed titles, one a line.
inline constexpr const char* installedTitlesVariable = "VDL_SIM_TITLES";
// The environment variable giving the simulation time (s) at which the simulator closes.
inline constexpr const char* simSecondsVariable = "VDL_SIM_SECONDS";
// The least simulation time (s) between two points of one object in the tracks file (a soak's);
// every point without it.
inline constexpr const char* trackPointSecondsVariable = "VDL_SIM_TRACK_SECONDS";

// Takes the installed titles, the end time and the track-point interval from the environment into the configuration;
// answers what it ignored (a number of seconds that is none), empty when nothing.
std::string gf_applyScenarioEnvironment(SimScenarioConfig& config);

// The user's flight: parked at a stand, taxi to an intersection of 23L, take-off and climb,
// then a wide circle round the airport at 5000 ft until at least 900 s.
std::vector<UserKeyframe> gf_scenarioUserFlight();
// The titles of a file, one a line, blank lines and surrounding blanks left out; none when the
// file cannot be read.
std::optional<std::vector<std::string>> gf_readInstalledTitles(const std::filesystem::path& path);
// The stand-in with EDDL's ground, the installed titles and the user's flight, not yet running.
std::shared_ptr<SimStandIn> gf_makeScenarioWorld(const SimScenarioConfig& config);

// Runs the world on its own frame thread and plays the simulator's part: the flight starts
// after startAfterSeconds (and a connection, with flightAfterConnect) and the simulator closes
// at endAtSimSeconds.
class SimulatorScenario {
  public:
    explicit SimulatorScenario(SimScenarioConfig config = {});
    ~SimulatorScenario();
    SimulatorScenario(const SimulatorScenario&) = delete;
    SimulatorScenario& operator=(const SimulatorScenario&) = delete;

    // Builds the world, starts it and makes SimConnect_Open reach it.
    void start();
    // Stops the frames and the script; SimConnect_Open finds no simulator afterwards. The first
    // stop after a start finishes the track file when the configuration names one.
    void stop();
    std::shared_ptr<SimStandIn> standIn() const { return sim_; }
    // Simulation seconds until the simulator closes; none before the first start.
    std::optional<double> secondsLeft() const;

  private:
    void drive(std::stop_token stop);

    SimScenarioConfig config_;
    std::shared_ptr<SimStandIn> sim_;
    bool tracksDue_ = false;
    std::jthread driver_;
};

}  // namespace vdl
