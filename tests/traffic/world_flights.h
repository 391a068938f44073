// Traffic tests that fly aircraft through the traffic step into the simulator stand-in's world,
// one stand-in frame per traffic step, with the world's airport as the park airport.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "simlink/sim_link.h"
#include "simulator/stand_in.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/movement.h"
#include "traffic/sim_replies.h"

namespace vdl::test {

class WorldFlightsTest : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        sim = makeWorld();
        sim->setFrameRate(100.0);  // one frame per traffic step
        useWorld(sim);
        gf_installTrafficHooks();
        ASSERT_TRUE(gf_simLinkOpen());
        movementParkAirport = {true, "EHAM", worldAirportLat, worldAirportLon, worldAirportElevation};
    }
    void TearDown() override {
        gf_resetSimLink();
        TrafficTest::TearDown();
    }

    std::shared_ptr<SimStandIn> sim;
};

}  // namespace vdl::test
