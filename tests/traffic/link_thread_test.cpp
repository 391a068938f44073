// The traffic step with the link's own thread and the stand-in's frame thread, as in the
// program: the lock protocol between the run worker and the link's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/clock.h"
#include "simulator/stand_in.h"
#include "traffic/removal.h"
#include "traffic/traffic_fixture.h"
#include "traffic/traffic_services.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

class TrafficLinkThread : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        sim = useStandIn();
        sim->setFrameRate(60.0);
        gf_installTrafficHooks();
        sim->startFrameThread();
        gf_startSimConnectThread();
    }

    void TearDown() override {
        gf_resetSimLink();
        sim->stopFrameThread();
        TrafficTest::TearDown();
    }

    std::shared_ptr<SimStandIn> sim;
};

TEST_F(TrafficLinkThread, ALiveAircraftFromCreateToRemoval) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!simConnected.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(simConnected.load());

    liveAircraft.reserve(4);
    LiveAc& ac = liveAircraft.emplace_back(testPoint(100000000, 52.31, 4.71), testIdentity(10001, "KLM1234"), 0.0);
    ac.state = AcState::creating;
    ac.lat = 52.31;
    ac.lon = 4.71;
    ac.alt = 3000.0;
    pendingSpawns.push_back(10001);
    clock100 = 1;

    // The step takes the link's notices itself (replyMutex, then simMutex): the created notice
    // binds the object, the removed one erases the record.
    uint32_t objectId = 0;
    int movedSteps = 0;
    bool removed = false;
    while (!removed && std::chrono::steady_clock::now() < deadline) {
        gf_updateAI();
        LiveAc* live = gf_findLiveAcByHexid(10001);
        if (live == nullptr) {
            removed = objectId != 0;
        } else {
            objectId = live->objectId;
            if (live->state == AcState::active) {
                live->lat += 0.0001;  // something to see in the track
                if (++movedSteps == 40) removeAircraftFromSim(*live);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(removed);
    ASSERT_GE(objectId, 3u);

    gf_resetSimLink();  // the link's thread has ended: the world is still
    const auto object = sim->object(objectId);
    ASSERT_TRUE(object.has_value());
    EXPECT_EQ(object->tailNumber, "KLM1234");
    EXPECT_TRUE(object->aiReleased);
    EXPECT_TRUE(object->frozen());
    EXPECT_TRUE(object->removed);
    EXPECT_GT(object->track.size(), 2u);
    EXPECT_GT(object->track.back().latitude, 52.31);

    // Released and frozen before the first position, removed after the last one.
    const auto calls = sim->callsFor(objectId);
    auto index = [&](SimCall call) {
        return std::find_if(calls.begin(), calls.end(), [&](const CallRecord& c) { return c.call == call; }) -
               calls.begin();
    };
    const auto lastSet = std::find_if(calls.rbegin(), calls.rend(), [](const CallRecord& c) {
                             return c.call == SimCall::SetDataOnSimObject;
                         }).base() - calls.begin() - 1;
    EXPECT_LT(index(SimCall::AICreateNonATCAircraft), index(SimCall::AIReleaseControl));
    EXPECT_LT(index(SimCall::AIReleaseControl), index(SimCall::SetDataOnSimObject));
    EXPECT_LT(lastSet, index(SimCall::AIRemoveObject));
    EXPECT_EQ(index(SimCall::AIRemoveObject), static_cast<std::ptrdiff_t>(calls.size()) - 1);
}

}  // namespace
}  // namespace vdl::test
