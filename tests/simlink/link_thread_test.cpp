// The link's own thread against the stand-in on its frame thread, with the test thread
// acting as the run worker. Also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "simlink/link_fixture.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;
using test::LinkTest;

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class LinkThreadTest : public LinkTest {
protected:
    void TearDown() override {
        gf_stopSimConnectThread();
        sim_->stopFrameThread();
        LinkTest::TearDown();
    }
};

TEST_F(LinkThreadTest, DrivesAnObjectFromCreateToRemovalThroughTheLinkThread) {
    // The run worker's side: notices under its own reply lock, which it holds while it
    // takes simMutex, as the traffic manager does.
    std::mutex replyMutex;
    std::vector<SimReply> simReplies;
    // Stops the link's thread before the locals above go, also when an assertion returns early.
    struct StopLink {
        ~StopLink() { gf_stopSimConnectThread(); }
    } stopLink;
    gf_setSimReplyHook([&](const SimReply& r) {
        std::lock_guard lock(replyMutex);
        simReplies.push_back(r);
    });
    sim_->setFrameRate(60.0);
    sim_->startFrameThread();
    gf_startSimConnectThread();
    ASSERT_TRUE(waitFor([] { return simRunning.load(); }));

    gf_queueCreateAc(command(10555, "KLM555", test::worldTitleJet));
    uint32_t objectId = 0;
    bool removalSent = false;
    bool removed = false;
    int moves = 0;
    int sinceLastMove = 0;
    constexpr int totalMoves = 100;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (uint32_t step = 0; !removed && std::chrono::steady_clock::now() < deadline; ++step) {
        {
            std::lock_guard lock(replyMutex);
            for (const auto& n : simReplies) {
                if (n.kind == REPLY_LIVE_CREATED && n.hexid == 10555) {
                    objectId = n.objectId;
                    std::lock_guard sim(simMutex);
                    gf_pushClientEvent(objectId, NAV_LIGHTS_SET, 1);
                    gf_pushClientEvent(objectId, BEACON_LIGHTS_SET, 1);
                }
                if (n.kind == REPLY_REMOVED && n.objectId == objectId && objectId != 0) removed = true;
            }
            simReplies.clear();
        }
        // Moves, then holds the last position a while (each step's positions replace the
        // unsent ones), then stops sending and asks for the removal.
        if (objectId != 0 && moves < totalMoves + 20) {
            PositionUpdate p;
            p.objectId = objectId;
            p.latitude = test::worldAirportLat + 0.00002 * std::min(moves, totalMoves - 1);
            p.longitude = test::worldAirportLon;
            p.altitude = test::worldAirportElevation + test::worldJetCg;
            p.trueAirspeed = 7.0;
            gf_updateAircraft(p);
            ++moves;
        }
        if (simMutex.try_lock()) {
            gf_swapPositionBuffers();
            simMutex.unlock();
        } else if (simFrameRate <= 50.0f) {
            positionWriteBuffer.clear();
        } else {
            std::lock_guard lock(simMutex);
            gf_swapPositionBuffers();
        }
        if (objectId != 0 && ++sinceLastMove > 5 && moves == totalMoves + 20 && !removalSent) {
            std::lock_guard lock(simMutex);
            simRemovalIds.push_back(objectId);
            removalSent = true;
        }
        if (moves < totalMoves + 20) sinceLastMove = 0;
        if (step % 20 == 0 && !simStopped) requestInRange();
        std::this_thread::sleep_for(10ms);
    }
    gf_stopSimConnectThread();
    sim_->stopFrameThread();
    ASSERT_NE(objectId, 0u);
    ASSERT_TRUE(removed);

    const auto o = sim_->object(objectId);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->removed);
    EXPECT_TRUE(o->aiReleased);
    EXPECT_TRUE(o->frozen());
    EXPECT_TRUE(o->lights.nav);
    EXPECT_TRUE(o->lights.beacon);
    ASSERT_GE(o->track.size(), 10u);
    for (std::size_t i = 1; i < o->track.size(); ++i) {
        EXPECT_GE(o->track[i].latitude, o->track[i - 1].latitude);
        EXPECT_TRUE(o->track[i].onGround);
    }
    EXPECT_NEAR(o->track.back().latitude, test::worldAirportLat + 0.00002 * (totalMoves - 1), 1e-9);

    // Everything the object received, in order.
    const auto calls = sim_->callsFor(objectId);
    ASSERT_GE(calls.size(), 8u);
    EXPECT_EQ(calls[0].call, SimCall::AICreateNonATCAircraft);
    EXPECT_EQ(calls[1].call, SimCall::AIReleaseControl);
    for (int i = 2; i < 5; ++i) EXPECT_EQ(calls[static_cast<std::size_t>(i)].detail.substr(0, 7), "FREEZE_");
    EXPECT_EQ(calls.back().call, SimCall::AIRemoveObject);
    for (std::size_t i = 5; i + 1 < calls.size(); ++i)
        EXPECT_TRUE(calls[i].call == SimCall::SetDataOnSimObject || calls[i].call == SimCall::TransmitClientEvent);
    EXPECT_FALSE(sim_->clientOpen());  // the thread closed the connection when it ended
}

TEST_F(LinkThreadTest, WaitsForTheSimulatorAndStopsPromptly) {
    gf_setSimBackendProvider({});
    sim_->startFrameThread();
    gf_startSimConnectThread();
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(simConnected);
    EXPECT_TRUE(gf_simConnectThreadRunning());

    test::useWorld(sim_);
    ASSERT_TRUE(waitFor([] { return simConnected.load(); }, 3000ms));
    ASSERT_TRUE(waitFor([] { return tickFlag.load(); }, 3000ms));
    EXPECT_TRUE(sim_->clientOpen());

    const auto before = std::chrono::steady_clock::now();
    gf_stopSimConnectThread();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 900ms);
    EXPECT_FALSE(gf_simConnectThreadRunning());
    EXPECT_FALSE(simConnected);
    EXPECT_FALSE(sim_->clientOpen());
}

TEST_F(LinkThreadTest, SimulatorQuitEndsTheRun) {
    sim_->startFrameThread();
    gf_startSimConnectThread();
    ASSERT_TRUE(waitFor([] { return simRunning.load(); }));
    sim_->quit();
    ASSERT_TRUE(waitFor([&] { return !exits().empty(); }));
    EXPECT_EQ(exits()[0].reason, ExitReason::SimWasClosed);
    EXPECT_TRUE(simQuit);
    EXPECT_FALSE(simRunning);
}

}  // namespace
}  // namespace vdl
