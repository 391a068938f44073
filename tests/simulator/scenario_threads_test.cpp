// The scenario's flight and a program that connects late: with flightAfterConnect the flight
// waits for it; without, a short flight can start and end before any program is there.
#include "simulator/sim_scenario.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "simulator/stand_in.h"
#include "support/wait.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

SimScenarioConfig lf_shortFlight(bool afterConnect) {
    SimScenarioConfig config;
    config.startAfterSeconds = 0.0;
    config.endAtSimSeconds = 0.2;
    config.flightAfterConnect = afterConnect;
    return config;
}

TEST(ScenarioFlight, AFlightAfterConnectWaitsForALateProgramThenRunsToItsEnd) {
    SimulatorScenario scenario(lf_shortFlight(true));
    scenario.start();
    const auto sim = scenario.standIn();
    std::this_thread::sleep_for(500ms);  // more than the flight lasts
    EXPECT_EQ(sim->simTime(), 0.0);
    ASSERT_GE(sim->open("a late program"), 0) << "the simulator must still be there";
    EXPECT_TRUE(test::eventually([&] { return scenario.secondsLeft() == 0.0; }));
    sim->close();
    EXPECT_TRUE(test::eventually([&] { return sim->open("after the end") < 0; })) << "it has quit";
    scenario.stop();
}

TEST(ScenarioFlight, WithoutItAShortFlightEndsBeforeALateProgram) {
    SimulatorScenario scenario(lf_shortFlight(false));
    scenario.start();
    const auto sim = scenario.standIn();
    EXPECT_TRUE(test::eventually([&] { return scenario.secondsLeft() == 0.0; }));
    EXPECT_TRUE(test::eventually([&] { return sim->open("a late program") < 0; }));
    scenario.stop();
}

}  // namespace
}  // namespace vdl
