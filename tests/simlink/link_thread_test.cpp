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

bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
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

// Also the lock-order check: the run worker holds its reply lock while it takes simMutex,
// and the link's thread pushes notices under that reply lock; TSan reports an inversion.
TEST_F(LinkThreadTest, DrivesAnObjectFromCreateToRemovalThroughTheLinkThread) {
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

    gf_queueCreateAc(command(10555, "KLM555"));
    uint32_t objectId = 0;
    bool removalSent = false, removed = false;
    constexpr int totalMoves = 100;
    int moves = 0;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (uint32_t step = 0; !removed && std::chrono::steady_clock::now() < deadline; ++step) {
        {
            std::lock_guard lock(replyMutex);
            for (const auto& n : simReplies) {
                if (n.kind == REPLY_LIVE_CREATED && n.hexid == 10555) {
                    objectId = n.objectId;
                    SimLock sim(simMutex);
                    gf_pushClientEvent(sim, objectId, NAV_LIGHTS_SET, 1);
                }
                if (n.kind == REPLY_REMOVED && objectId != 0 && n.objectId == objectId) removed = true;
            }
            simReplies.clear();
        }
        // Moves, then holds the last position a while, then asks for the removal.
        if (objectId != 0 && moves < totalMoves + 20) {
            PositionUpdate p;
            p.objectId = objectId;
            p.latitude = test::worldAirportLat + 0.00002 * std::min(moves, totalMoves - 1);
            p.longitude = test::worldAirportLon;
            p.altitude = test::worldAirportElevation + test::worldJetCg;
            gf_updateAircraft(p);
            ++moves;
        }
        // The traffic step's swap rule: skip a busy frame only below 50 fps.
        if (SimLock lock(simMutex, std::try_to_lock); lock.owns_lock()) {
            gf_swapPositionBuffers(lock);
        } else if (simFrameRate <= 50.0f) {
            positionWriteBuffer.clear();
        } else {
            lock.lock();
            gf_swapPositionBuffers(lock);
        }
        if (moves == totalMoves + 20 && !removalSent) {
            std::this_thread::sleep_for(60ms);  // let the last positions go out
            std::lock_guard lock(simMutex);
            simRemovalIds.push_back(objectId);
            removalSent = true;
        }
        if (step % 20 == 0) requestInRange();
        std::this_thread::sleep_for(10ms);
    }
    gf_stopSimConnectThread();
    sim_->stopFrameThread();
    ASSERT_NE(objectId, 0u);
    ASSERT_TRUE(removed);

    const auto o = sim_->object(objectId);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->removed && o->aiReleased && o->frozen() && o->lights.nav);
    ASSERT_GE(o->track.size(), 10u);
    for (std::size_t i = 1; i < o->track.size(); ++i) EXPECT_GE(o->track[i].latitude, o->track[i - 1].latitude);
    EXPECT_NEAR(o->track.back().latitude, test::worldAirportLat + 0.00002 * (totalMoves - 1), 1e-9);
    // Everything the object received, in order: create, release, three freezes, then moves and
    // events, then the removal.
    std::string kinds;
    for (const auto& c : sim_->callsFor(objectId))
        kinds += c.call == SimCall::SetDataOnSimObject || c.call == SimCall::TransmitClientEvent ? 'm' : 'o';
    const auto calls = sim_->callsFor(objectId);
    ASSERT_GE(calls.size(), 8u);
    EXPECT_EQ(calls[1].call, SimCall::AIReleaseControl);
    EXPECT_EQ(calls[4].detail.substr(0, 7), "FREEZE_");
    EXPECT_EQ(kinds.find('o', 2), kinds.size() - 1);
    EXPECT_EQ(calls.back().call, SimCall::AIRemoveObject);
    EXPECT_FALSE(sim_->clientOpen());  // the thread closed the connection when it ended
}

}  // namespace
}  // namespace vdl
