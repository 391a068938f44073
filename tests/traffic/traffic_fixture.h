// Common set-up of the traffic tests: a fresh working folder with Log.txt and clean globals.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "feed/reset.h"
#include "foundation/log.h"
#include "refdata/identity.h"
#include "window/main_window.h"
#include "window/reset.h"
#include "simlink/sim_link.h"
#include "simulator/stand_in.h"
#include "support/foundation_env.h"
#include "traffic/records.h"
#include "traffic/traffic_lists.h"

namespace vdl::test {

class TrafficTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = std::make_unique<TempWorkDir>();
        gf_resetWindow();
        gf_resetFeed();
        gf_resetSimLink();
        gf_resetTraffic();
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
    }

    void TearDown() override {
        gf_resetSimLink();
        gf_resetTraffic();
        gf_resetFeed();
        gf_resetWindow();
        work_.reset();
    }

    std::string logText() const { return readWholeFile(work_->path() / "Log.txt"); }

    std::unique_ptr<TempWorkDir> work_;
};

inline AcIdentity testIdentity(uint32_t hexid, std::string callsign) {
    AcIdentity id;
    id.airl = "KLM";
    id.type = "B738";
    id.callsign = std::move(callsign);
    id.reg = "PH-BXA";
    id.hexid = hexid;
    id.title = "Boeing 737-800 KLM";
    return id;
}

inline StreamPos testPoint(uint32_t time, double lat = 52.3, double lon = 4.76) {
    StreamPos p;
    p.lat = lat;
    p.lon = lon;
    p.time = time;
    p.speed = 150.0;
    p.alt = 3000.0;
    p.airborne = 1;
    return p;
}

// A live aircraft as the spawn and the replies leave it: active with an object in the simulator.
inline LiveAc& addActiveLiveAc(uint32_t hexid, uint32_t objectId, std::string callsign = "KLM1234") {
    LiveAc& ac = liveAircraft.emplace_back(testPoint(1000000), testIdentity(hexid, std::move(callsign)), 1.0);
    ac.state = AcState::active;
    ac.objectId = objectId;
    ac.lat = 52.3;
    ac.lon = 4.76;
    ac.alt = 3000.0;
    return ac;
}

// A stand-in with the test livery installed and the user standing west of the aircraft, made
// the link's simulator.
inline std::shared_ptr<SimStandIn> useStandIn(const char* title = "Boeing 737-800 KLM") {
    auto sim = std::make_shared<SimStandIn>();
    sim->installTitle(title);
    UserKeyframe user;
    user.latitude = 52.30;
    user.longitude = 4.70;
    user.onGround = true;
    sim->setUserScript({user});
    sim->startSim();
    gf_setSimBackendProvider([sim] { return sim; });
    return sim;
}

}  // namespace vdl::test
