// The traffic step against the simulator stand-in, stepped by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "feed/rt_link.h"
#include "foundation/clock.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

class TrafficStep : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        gf_installTrafficHooks();
        sim = openWorld();
    }

    size_t countCalls(SimCall call, uint32_t requestId) const {
        const auto calls = sim->calls();
        return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const CallRecord& c) {
            return c.call == call && c.requestId == requestId;
        }));
    }

    static std::vector<std::string> takeQueuedCreates() {
        std::lock_guard lock(simMutex);
        std::vector<std::string> tails;
        for (const auto& c : simCreateQueue) tails.push_back(c.tailNumber);
        simCreateQueue.clear();
        return tails;
    }

    static std::vector<uint32_t> takeQueuedRemovals() {
        std::lock_guard lock(simMutex);
        std::vector<uint32_t> ids;
        ids.swap(simRemovalIds);
        return ids;
    }

    static std::vector<PositionUpdate> sendBuffer() {
        std::lock_guard lock(simMutex);
        return positionSendBuffer;
    }

    std::shared_ptr<SimStandIn> sim;
};

TEST_F(TrafficStep, RatesTestTheClockAtTheStartOfTheStep) {
    struct Row {
        uint32_t clock;
        bool removal, create, inRange, userData;
    };
    const Row rows[] = {
        {0, true, true, true, true},     {10, true, false, false, false}, {20, true, false, true, false},
        {50, true, true, false, false},  {7, false, false, false, false}, {4294967200u, true, true, true, true},
        {4294967295u, false, false, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clock);
        takeQueuedCreates();
        takeQueuedRemovals();
        removalQueue.assign({77});
        liveCreateQueue.assign({createCommand(10001, "KLM1")});
        const size_t inRangeBefore = countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE);
        const size_t userBefore = countCalls(SimCall::RequestDataOnSimObject, REQUEST_USER_STATE);
        clock100 = row.clock;

        gf_updateAI();

        EXPECT_EQ(clock100.load(), row.clock + 1);  // wraps after 4294967295
        EXPECT_EQ(takeQueuedRemovals() == std::vector<uint32_t>{77}, row.removal);
        EXPECT_EQ(takeQueuedCreates() == std::vector<std::string>{"KLM1"}, row.create);
        EXPECT_EQ(countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE) - inRangeBefore,
                  row.inRange ? 1u : 0u);
        EXPECT_EQ(countCalls(SimCall::RequestDataOnSimObject, REQUEST_USER_STATE) - userBefore,
                  row.userData ? 1u : 0u);
    }
}

TEST_F(TrafficStep, CreatesLiveFirstEveryHalfSecondAndRemovalsOnePerTenth) {
    liveCreateQueue.assign({createCommand(10001, "L1"), createCommand(10001, "L2"), createCommand(10001, "L3")});
    staticCreateQueue.assign({createCommand(10001, "S1"), createCommand(10001, "S2")});
    removalQueue.assign({11, 12, 13});
    std::vector<std::pair<uint32_t, std::string>> creates;
    std::vector<std::pair<uint32_t, uint32_t>> removals;
    for (clock100 = 1; clock100.load() <= 300;) {
        const uint32_t clock = clock100.load();
        gf_updateAI();
        for (auto& tail : takeQueuedCreates()) creates.emplace_back(clock, tail);
        for (uint32_t id : takeQueuedRemovals()) removals.emplace_back(clock, id);
    }
    EXPECT_EQ(creates, (std::vector<std::pair<uint32_t, std::string>>{
                           {50, "L1"}, {100, "L2"}, {150, "L3"}, {200, "S1"}, {250, "S2"}}));
    EXPECT_EQ(removals, (std::vector<std::pair<uint32_t, uint32_t>>{{10, 11}, {20, 12}, {30, 13}}));
}

// State 2 with an empty stream: removed, and nothing reads the empty stream.
TEST_F(TrafficStep, AnActiveAircraftWithAnEmptyStreamIsRemovedAndNotMoved) {
    addActiveLiveAc(10001, 7, "AAA1").stream.clear();
    clock100 = 1;
    gf_updateAI();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, AcState::removed);
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{7});
    EXPECT_TRUE(sendBuffer().empty());
}

// ---------------------------------------------------------------- failures

TEST_F(TrafficStep, AStepThatThrowsKeepsTheClockAndConsumesWhatItTook) {
    gf_setUserStateSource([]() -> FeedUserState { throw std::runtime_error("no user state"); });
    liveAircraft.emplace_back(testPoint(500), testIdentity(10001, "AAA1"), 0.0).state = AcState::creating;
    pendingSpawns = {10001};
    removalQueue.assign({21});
    liveCreateQueue.assign({createCommand(10001, "L1")});
    clock100 = 0;

    gf_updateAI();
    EXPECT_EQ(clock100.load(), 0u);
    EXPECT_NE(logText().find("gf_updateAI: no user state"), std::string::npos);
    EXPECT_TRUE(removalQueue.empty());
    EXPECT_TRUE(pendingSpawns.empty());
    EXPECT_EQ(takeQueuedRemovals(), std::vector<uint32_t>{21});
    EXPECT_EQ(takeQueuedCreates(), std::vector<std::string>{"L1"});
    ASSERT_EQ(liveCreateQueue.size(), 1u);  // AAA1's command, built before the throw

    // The next step runs normally and hands each thing over only once.
    gf_setUserStateSource({});
    gf_updateAI();
    EXPECT_EQ(clock100.load(), 1u);
    EXPECT_TRUE(takeQueuedRemovals().empty());
    EXPECT_EQ(takeQueuedCreates(), std::vector<std::string>{"AAA1"});
    EXPECT_TRUE(liveCreateQueue.empty());
}

}  // namespace
}  // namespace vdl::test
