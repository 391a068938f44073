// The program's simulator on this platform: the stand-in's installed titles, its tracks at the
// end, the user's flight, and a catalogue of the main job that covers the scenario's airliners.
#include "shell/sim_scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "../../tools/livery_samples.h"
#include "../../tools/rt_standin.h"
#include "foundation/files.h"
#include "simulator/track_file.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

class SimScenarioTest : public test::ShellTest {};

TEST_F(SimScenarioTest, InstalledTitlesAreExactlyThoseOfTheFile) {
    test::writeWholeFile("titles.txt", "AIG Airbus A320 Lufthansa D-AIZC\r\n\n  FSLTL_B738_RYR-Ryanair_EI-DCL  \n");
    SimScenarioConfig config;
    config.installedTitles = "titles.txt";
    const auto sim = gf_makeScenarioWorld(config);
    EXPECT_TRUE(sim->isInstalled("AIG Airbus A320 Lufthansa D-AIZC"));
    EXPECT_TRUE(sim->isInstalled("FSLTL_B738_RYR-Ryanair_EI-DCL"));
    EXPECT_FALSE(sim->isInstalled(""));
    EXPECT_FALSE(sim->isInstalled("AIG Airbus A320 Lufthansa"));

    for (const char* path : {"", "no-such-titles.txt"}) {
        SCOPED_TRACE(path);
        config.installedTitles = path;
        EXPECT_FALSE(gf_makeScenarioWorld(config)->isInstalled("AIG Airbus A320 Lufthansa D-AIZC"));
    }
    EXPECT_FALSE(gf_readInstalledTitles("no-such-titles.txt"));
}

TEST_F(SimScenarioTest, TracksAreWrittenOnceWhenTheSimulatorStops) {
    SimScenarioConfig config;
    config.startAfterSeconds = 100.0;  // the flight never starts
    config.tracksFile = "output/tracks.json";
    std::filesystem::create_directories("output");
    SimulatorScenario scenario(config);
    scenario.start();
    scenario.stop();
    ASSERT_TRUE(std::filesystem::exists(config.tracksFile));
    EXPECT_TRUE(gf_readTrackFile(config.tracksFile).empty());
    std::filesystem::remove(config.tracksFile);
    scenario.stop();
    EXPECT_FALSE(std::filesystem::exists(config.tracksFile)) << "a second stop writes nothing";
}

TEST(SimScenarioFlight, UserFlightLastsTheRunAndStaysNearTheAirport) {
    const auto flight = gf_scenarioUserFlight();
    ASSERT_FALSE(flight.empty());
    EXPECT_TRUE(std::is_sorted(flight.begin(), flight.end(),
                               [](const UserKeyframe& a, const UserKeyframe& b) { return a.time < b.time; }));
    EXPECT_GE(flight.back().time, SimScenarioConfig{}.endAtSimSeconds);
    const LatLon airport{eddl::latitude, eddl::longitude};
    for (size_t i = 1; i < flight.size(); ++i) {
        const UserKeyframe& a = flight[i - 1];
        const UserKeyframe& b = flight[i];
        // Within a few nm: the airport's traffic stays within the automatic range.
        EXPECT_LT(gf_distanceNm(airport, {b.latitude, b.longitude}), 8.0) << b.time;
        // No jumps: at most 20 % over the speeds of the two key frames.
        const double nm = gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude});
        const double maxKt = std::max(a.groundSpeed, b.groundSpeed) * 1.2 + 1.0;
        EXPECT_LE(nm / ((b.time - a.time) / 3600.0), maxKt) << a.time << " to " << b.time;
    }
}

// The main job's catalogue (scripts/run.sh: 3000 liveries, seed 2026) has the type of every
// airliner of the scenario in its airline's colours.
TEST(MainJobCatalogue, CoversTheScenarioAirlinersInTheirAirlinesColours) {
    samples::SampleMaker maker(2026);
    samples::SampleOptions options;
    options.count = 3000;
    std::set<std::pair<std::string, std::string>> painted;
    for (const auto& l : maker.liveries(options)) painted.insert({l.airl, l.type});
    int airliners = 0;
    for (const auto& f : rtstandin::gf_eddlScenario()) {
        if (f.category != "A3" && f.category != "A5") continue;
        ++airliners;
        const std::string airline = f.callsign.substr(0, 3);
        EXPECT_TRUE(painted.contains({airline, f.type})) << f.callsign << " " << f.type;
    }
    EXPECT_GE(airliners, 10);
}

}  // namespace
}  // namespace vdl
