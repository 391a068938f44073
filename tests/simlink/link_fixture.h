// The link against a stepped stand-in: a fresh working folder with Log.txt, clean
// globals, notices and run ends collected.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "foundation/log.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "window/reset.h"
#include "simlink/sim_link.h"
#include "support/foundation_env.h"
#include "support/simulator_world.h"

namespace vdl::test {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        work_ = std::make_unique<TempWorkDir>();
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
        sim_.reset();
        work_.reset();
    }

    void connect() {
        ASSERT_TRUE(gf_simLinkOpen());
        rounds(2);
    }    // One simulator frame, then one dispatch round of the link.
    void rounds(int n = 1) {
        for (int i = 0; i < n; ++i) {
            sim_->step();
            gf_simLinkPoll();
        }
    }
    // What the traffic step does every 0.2 s.
    SimResult requestInRange() {
        std::lock_guard lock(simMutex);
        return SimConnect_RequestDataOnSimObjectType(hSimConnect, REQUEST_IN_RANGE, DEF_IN_RANGE, 40 * 1852,
                                                     SimObjectType::Aircraft);
    }

    static CreateAcCmd command(uint32_t hexid, std::string tail, std::string_view title = worldTitleJet,
                               double alt = 0.0, bool onGround = true) {
        CreateAcCmd c;
        c.initPosition = {worldAirportLat, worldAirportLon, alt, 0.0, 0.0, 270.0, onGround ? 1u : 0u, 0};
        c.tailNumber = std::move(tail);
        c.title = title;
        c.hexid = hexid;
        return c;
    }

    // Creates and binds an object; returns its id (0 when no created notice came).
    uint32_t createBound(uint32_t hexid, std::string tail, std::string_view title = worldTitleJet,
                         double alt = 0.0, bool onGround = true) {
        gf_queueCreateAc(command(hexid, std::move(tail), title, alt, onGround));
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

    std::unique_ptr<TempWorkDir> work_;
    std::shared_ptr<SimStandIn> sim_;
    std::mutex collectMutex_;
    std::vector<SimReply> replies_;
    std::vector<std::pair<ExitReason, int>> exits_;
};

}  // namespace vdl::test
