// A small stand-in world for the tests of the simulator, the link, the traffic manager and the
// shell: one airport with flat ground, a user aircraft parked on it, a few installed titles;
// and the link's tests against it, stepped by the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/log.h"
#include "simlink/sim_layer.h"
#include "simlink/sim_link.h"
#include "simulator/stand_in.h"
#include "support/foundation_env.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "window/reset.h"

namespace vdl::test {

inline constexpr double worldAirportLat = 52.3086;
inline constexpr double worldAirportLon = 4.7639;
inline constexpr double worldAirportElevation = 100.0;  // ft
inline constexpr double worldTerrainElevation = 500.0;  // ft, away from the airport
inline constexpr double worldAirportRadiusNm = 3.0;

inline constexpr const char* worldTitleJet = "Boeing 737-800 KLM";
inline constexpr double worldJetCg = 9.5;
inline constexpr double worldJetPitch = 0.02;
inline constexpr const char* worldTitleProp = "Cessna 172 PVT";
inline constexpr double worldPropCg = 4.0;
inline constexpr double worldPropPitch = -0.01;

// Stepped stand-in at 30 frames per second, flight running, not yet connected.
inline std::shared_ptr<SimStandIn> makeWorld(bool startSim = true) {
    auto sim = std::make_shared<SimStandIn>();
    sim->setFrameRate(30.0);
    sim->setTerrainElevation(worldTerrainElevation);
    sim->addAirport(worldAirportLat, worldAirportLon, worldAirportRadiusNm, worldAirportElevation);
    sim->installTitle(worldTitleJet, {worldJetCg, worldJetPitch});
    sim->installTitle(worldTitleProp, {worldPropCg, worldPropPitch});
    UserKeyframe user;
    user.latitude = worldAirportLat;
    user.longitude = worldAirportLon;
    user.altitude = worldAirportElevation + 5.0;
    user.onGround = true;
    sim->setUserScript({user});
    if (startSim) sim->startSim();
    return sim;
}

// Makes SimConnect_Open connect to this stand-in.
inline void useWorld(const std::shared_ptr<SimStandIn>& sim) {
    gf_setSimBackendProvider([sim] { return std::static_pointer_cast<SimBackend>(sim); });
}

// A create command at the world's airport; the command keeps views of the texts passed.
inline CreateAcCmd createCommand(uint32_t hexid, std::string tail, std::string_view title = worldTitleJet,
                                 double alt = 0.0, bool onGround = true) {
    CreateAcCmd c;
    c.initPosition = {worldAirportLat, worldAirportLon, alt, 0.0, 0.0, 270.0, onGround ? 1u : 0u, 0};
    c.tailNumber = std::move(tail);
    c.title = title;
    c.hexid = hexid;
    return c;
}

// One simulator frame, then one dispatch round of the link: what the link's thread does.
inline void frames(SimStandIn& sim, int n = 1) {
    for (int i = 0; i < n; ++i) {
        sim.step();
        gf_simLinkPoll();
    }
}

// Connects the link to a stepped world and lets it see the first frame.
inline std::shared_ptr<SimStandIn> openWorld() {
    auto sim = makeWorld();
    useWorld(sim);
    EXPECT_TRUE(gf_simLinkOpen());
    frames(*sim);
    return sim;
}

// The link against a stepped world: a fresh working folder with Log.txt, clean globals, the
// link's notices and run ends collected.
class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetWindow();
        gf_resetSimLink();
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
        gf_setFinalExitHook([this](ExitReason reason, int delay) {
            std::lock_guard lock(collectMutex_);
            exits_.push_back({reason, delay});
        });
        gf_setSimReplyHook([this](const SimReply& reply) {
            std::lock_guard lock(collectMutex_);
            replies_.push_back(reply);
        });
        sim_ = makeWorld();
        useWorld(sim_);
    }
    void TearDown() override {
        gf_resetSimLink();
        gf_resetWindow();
    }

    void connect() {
        ASSERT_TRUE(gf_simLinkOpen());
        rounds(2);
    }
    void rounds(int n = 1) { frames(*sim_, n); }
    // What the traffic step does every 0.2 s.
    SimResult requestInRange() {
        std::lock_guard lock(simMutex);
        return SimConnect_RequestDataOnSimObjectType(hSimConnect, REQUEST_IN_RANGE, DEF_IN_RANGE, 40 * 1852,
                                                     SimObjectType::Aircraft);
    }

    // Creates and binds an object; answers its id (0 when no created notice came).
    uint32_t createBound(uint32_t hexid, std::string tail, std::string_view title = worldTitleJet,
                         double alt = 0.0, bool onGround = true) {
        gf_queueCreateAc(createCommand(hexid, std::move(tail), title, alt, onGround));
        rounds(2);
        requestInRange();
        rounds(2);
        for (const auto& r : takeReplies())
            if ((r.kind == REPLY_LIVE_CREATED || r.kind == REPLY_STATIC_CREATED) && r.hexid == hexid)
                return r.objectId;
        return 0;
    }

    std::vector<SimReply> takeReplies() {
        std::lock_guard lock(collectMutex_);
        return std::exchange(replies_, {});
    }
    std::vector<std::pair<ExitReason, int>> exits() {
        std::lock_guard lock(collectMutex_);
        return exits_;
    }

    TempWorkDir work_;
    std::shared_ptr<SimStandIn> sim_;
    std::mutex collectMutex_;
    std::vector<SimReply> replies_;
    std::vector<std::pair<ExitReason, int>> exits_;
};

}  // namespace vdl::test
