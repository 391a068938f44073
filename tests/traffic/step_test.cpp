// The traffic step against the simulator stand-in, stepped by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "feed/rt_link.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
#include "simulator/stand_in.h"
#include "traffic/removal.h"
#include "traffic/traffic_fixture.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

constexpr const char* testTitle = "Boeing 737-800 KLM";

class TrafficStep : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        sim = std::make_shared<SimStandIn>();
        sim->installTitle(testTitle);
        UserKeyframe user;
        user.latitude = 52.30;
        user.longitude = 4.70;
        user.onGround = true;
        sim->setUserScript({user});
        sim->startSim();
        gf_setSimBackendProvider([s = sim] { return s; });
        gf_installTrafficHooks();
        ASSERT_TRUE(gf_simLinkOpen());
        frame();
    }

    void TearDown() override {
        gf_resetSimLinkForTests();
        sim->stopFrameThread();
        TrafficTest::TearDown();
    }

    // One simulator frame and the link's dispatch round that follows it.
    void frame() {
        sim->step();
        gf_simLinkPoll();
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

    static CreateAcCmd command(std::string tail) {
        CreateAcCmd c;
        c.tailNumber = std::move(tail);
        c.title = testTitle;
        c.hexid = 10001;
        return c;
    }

    std::shared_ptr<SimStandIn> sim;
};

// ---------------------------------------------------------------- rates

struct RateRow {
    uint32_t clock;
    bool removal, create, inRange, userData;
};

TEST_F(TrafficStep, RatesTestTheClockAtTheStartOfTheStep) {
    const RateRow rows[] = {
        {0, true, true, true, true},       {10, true, false, false, false},
        {20, true, false, true, false},    {50, true, true, false, false},
        {60, true, false, true, false},    {100, true, true, true, true},
        {7, false, false, false, false},   {4294967200u, true, true, true, true},
        {4294967295u, false, false, false, false},
    };
    int userStateSent = 0;
    gf_setUserStateSource([&] {
        ++userStateSent;
        return FeedUserState{};
    });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.clock);
        takeQueuedCreates();
        takeQueuedRemovals();
        removalQueue.assign({77});
        liveCreateQueue.assign({command("KLM1")});
        const size_t inRangeBefore = countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE);
        const size_t userBefore = countCalls(SimCall::RequestDataOnSimObject, REQUEST_USER_STATE);
        const int sentBefore = userStateSent;
        clock100 = row.clock;

        gf_updateAI();

        EXPECT_EQ(clock100.load(), row.clock + 1);  // wraps after 4294967295
        EXPECT_EQ(takeQueuedRemovals() == std::vector<uint32_t>{77}, row.removal);
        EXPECT_EQ(removalQueue.empty(), row.removal);
        EXPECT_EQ(takeQueuedCreates() == std::vector<std::string>{"KLM1"}, row.create);
        EXPECT_EQ(liveCreateQueue.empty(), row.create);
        EXPECT_EQ(countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE) - inRangeBefore,
                  row.inRange ? 1u : 0u);
        EXPECT_EQ(countCalls(SimCall::RequestDataOnSimObject, REQUEST_USER_STATE) - userBefore,
                  row.userData ? 1u : 0u);
        EXPECT_EQ(userStateSent - sentBefore, row.userData ? 1 : 0);
    }
}

TEST_F(TrafficStep, LiveCreatesGoBeforeStaticOnesOnePerHalfSecond) {
    liveCreateQueue.assign({command("L1"), command("L2"), command("L3")});
    staticCreateQueue.assign({command("S1"), command("S2")});
    std::vector<std::pair<uint32_t, std::string>> handedOver;
    clock100 = 1;
    while (clock100.load() <= 300) {
        const uint32_t clock = clock100.load();
        gf_updateAI();
        for (auto& tail : takeQueuedCreates()) handedOver.emplace_back(clock, tail);
    }
    const std::vector<std::pair<uint32_t, std::string>> expected = {
        {50, "L1"}, {100, "L2"}, {150, "L3"}, {200, "S1"}, {250, "S2"}};
    EXPECT_EQ(handedOver, expected);
}

TEST_F(TrafficStep, RemovalsInRangeRequestsAndUserDataKeepTheirRates) {
    removalQueue.assign({11, 12, 13});
    std::vector<std::pair<uint32_t, uint32_t>> removals;
    std::vector<uint32_t> inRangeAt, userDataAt;
    clock100 = 1;
    while (clock100.load() <= 400) {
        const uint32_t clock = clock100.load();
        const size_t inRange = countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE);
        const size_t user = countCalls(SimCall::RequestDataOnSimObject, REQUEST_USER_STATE);
        gf_updateAI();
        for (uint32_t id : takeQueuedRemovals()) removals.emplace_back(clock, id);
        if (countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE) != inRange) inRangeAt.push_back(clock);
        if (countCalls(SimCall::RequestDataOnSimObject, REQUEST_USER_STATE) != user) userDataAt.push_back(clock);
    }
    EXPECT_EQ(removals, (std::vector<std::pair<uint32_t, uint32_t>>{{10, 11}, {20, 12}, {30, 13}}));
    ASSERT_EQ(inRangeAt.size(), 20u);
    for (size_t i = 0; i < inRangeAt.size(); ++i) EXPECT_EQ(inRangeAt[i], 20 * (i + 1));
    EXPECT_EQ(userDataAt, (std::vector<uint32_t>{100, 200, 300, 400}));
}

TEST_F(TrafficStep, InRangeRequestUsesTheRangeAndStopsWithTheLink) {
    clock100 = 20;
    gf_updateAI();
    const auto calls = sim->calls();
    const auto it = std::find_if(calls.rbegin(), calls.rend(),
                                 [](const CallRecord& c) { return c.call == SimCall::RequestDataOnSimObjectType; });
    ASSERT_NE(it, calls.rend());
    EXPECT_EQ(it->detail, fmt::format("def {} radius {} type {}", static_cast<uint32_t>(DEF_IN_RANGE), 40 * 1852,
                                      static_cast<uint32_t>(SimObjectType::Aircraft)));

    simStopped = true;
    const size_t before = countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE);
    clock100 = 40;
    gf_updateAI();
    EXPECT_EQ(countCalls(SimCall::RequestDataOnSimObjectType, REQUEST_IN_RANGE), before);
    EXPECT_EQ(clock100.load(), 41u);
}

TEST_F(TrafficStep, AFailedInRangeRequestIsLoggedAndCounted) {
    sim->injectFault(SimCall::RequestDataOnSimObjectType, FaultKind::Fail, 1);
    clock100 = 0;
    gf_updateAI();
    EXPECT_EQ(gf_failedRequestCount(), 1);
    EXPECT_NE(logText().find("===> SimConnect request ac within range fails"), std::string::npos);
    EXPECT_EQ(clock100.load(), 1u);
}

TEST_F(TrafficStep, UserDataComesFromTheLinkOncePerSecond) {
    clock100 = 0;
    gf_updateAI();  // asks for the user aircraft
    frame();        // the answer arrives
    EXPECT_EQ(userAc.latitude, 0.0);
    clock100 = 100;
    gf_updateAI();
    EXPECT_NEAR(userAc.latitude, 52.30, 1e-9);
    EXPECT_NEAR(userAc.longitude, 4.70, 1e-9);
}

// ---------------------------------------------------------------- create commands

TEST_F(TrafficStep, PendingHexidsAreServedLastFirstOnePerStep) {
    liveAircraft.emplace_back(testPoint(500), testIdentity(10001, "AAA1"), 0.0);
    liveAircraft.emplace_back(testPoint(500), testIdentity(10002, "BBB2"), 0.0);
    LiveAc& a = liveAircraft[0];
    LiveAc& b = liveAircraft[1];
    a.state = b.state = acStateCreating;
    b.lat = 52.5;
    b.lon = 4.9;
    b.alt = 2500.0;
    b.pitch = -0.05;
    b.bank = 0.1;
    b.heading = 1.0;
    pendingSpawns = {10001, 10002};
    clock100 = 1;

    gf_updateAI();
    ASSERT_EQ(liveCreateQueue.size(), 1u);
    const CreateAcCmd& cmd = liveCreateQueue.front();
    EXPECT_EQ(cmd.tailNumber, "BBB2");
    EXPECT_EQ(cmd.hexid, 10002u);
    EXPECT_EQ(cmd.title, testTitle);
    EXPECT_EQ(cmd.initPosition.latitude, 52.5);
    EXPECT_EQ(cmd.initPosition.longitude, 4.9);
    EXPECT_EQ(cmd.initPosition.altitude, 2500.0);
    EXPECT_DOUBLE_EQ(cmd.initPosition.pitch, -0.05 * 57.29577951308232);
    EXPECT_DOUBLE_EQ(cmd.initPosition.bank, 0.1 * 57.29577951308232);
    EXPECT_DOUBLE_EQ(cmd.initPosition.heading, 57.29577951308232);
    EXPECT_EQ(cmd.initPosition.onGround, 0u);
    EXPECT_EQ(cmd.initPosition.airspeed, 0u);
    EXPECT_EQ(pendingSpawns, std::vector<uint32_t>{10001});

    gf_updateAI();
    ASSERT_EQ(liveCreateQueue.size(), 2u);
    EXPECT_EQ(liveCreateQueue.back().tailNumber, "AAA1");
    EXPECT_TRUE(pendingSpawns.empty());
}

TEST_F(TrafficStep, APendingHexidWithoutItsAircraftOrCallsignQueuesNothing) {
    liveAircraft.emplace_back(testPoint(500), testIdentity(10003, ""), 0.0).state = acStateCreating;
    pendingSpawns = {10003, 10002};  // 10002 has gone meanwhile
    clock100 = 1;
    gf_updateAI();
    EXPECT_TRUE(pendingSpawns == std::vector<uint32_t>{10003});
    EXPECT_TRUE(liveCreateQueue.empty());
    gf_updateAI();
    EXPECT_TRUE(pendingSpawns.empty());
    EXPECT_TRUE(liveCreateQueue.empty());
    EXPECT_NE(logText().find("===> operator () "), std::string::npos);
    EXPECT_NE(logText().find(" objectid = 0?"), std::string::npos);
}

// ---------------------------------------------------------------- live aircraft

TEST_F(TrafficStep, ActiveAircraftSendTheirPositionEveryStep) {
    LiveAc& a = addActiveLiveAc(10001, 3, "AAA1");
    a.pitch = -0.02;
    a.bank = 0.1;
    a.heading = 2.0;
    a.vsFps = 4.0;
    a.tas = 180.0;
    clock100 = 1;  // the point is due much later
    gf_updateAI();
    const auto sent = sendBuffer();
    ASSERT_EQ(sent.size(), 1u);
    const PositionUpdate& p = sent[0];
    EXPECT_EQ(p.objectId, 3u);
    EXPECT_EQ(p.latitude, a.lat);
    EXPECT_EQ(p.longitude, a.lon);
    EXPECT_EQ(p.pitch, -0.02);
    EXPECT_EQ(p.bank, 0.1);
    EXPECT_EQ(p.heading, 2.0);
    EXPECT_EQ(p.altitude, a.alt);
    EXPECT_EQ(p.verticalSpeed, 4.0);
    EXPECT_EQ(p.trueAirspeed, 180.0);
    EXPECT_TRUE(positionWriteBuffer.empty());
}

struct DueRow {
    const char* what;
    uint32_t clock;
    uint32_t pointTime;
    uint8_t stop;
    double vsFps, tas;
};

TEST_F(TrafficStep, ADuePointTakesTheLegsTargetsForTheSimulator) {
    const DueRow rows[] = {
        {"not yet due", 100, 101, 0, 1.5, 99.0},
        {"due", 101, 101, 0, 10.0, 140.0},
        {"past", 500, 101, 0, 10.0, 140.0},
        {"due at a stop", 101, 101, 1, 10.0, 0.0},
        {"due across the wrap", 5, 0xFFFFFFF0u, 0, 10.0, 140.0},
        {"not due across the wrap", 0xFFFFFFF0u, 5, 0, 1.5, 99.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        liveAircraft.clear();
        LiveAc& a = addActiveLiveAc(10001, 3);
        a.stream.front().time = row.pointTime;
        // The leg that starts at the due point: climbing at 600 ft/min and 140 kt, or on the
        // ground towards a stop at the same place.
        StreamPos next = a.stream.front();
        next.time = row.pointTime + 2000;
        next.vs = 600.0;
        next.tas = 140.0;
        next.speed = 140.0;
        next.stop = row.stop;
        if (row.stop) {
            a.onGround = 1;
            a.groundState = gsTaxi;
            a.stream.front().airborne = next.airborne = 0;
        } else {
            next.lat += 0.01;
        }
        a.stream.push_back(next);
        a.vsFps = 1.5;
        a.tas = 99.0;
        a.targetVs = 600.0;
        a.targetTas = 140.0;
        clock100 = row.clock;
        gf_updateAI();
        ASSERT_EQ(liveAircraft.size(), 1u);
        EXPECT_EQ(liveAircraft[0].vsFps, row.vsFps);
        EXPECT_EQ(liveAircraft[0].tas, row.tas);
    }
}

TEST_F(TrafficStep, AnActiveAircraftWithAnEmptyStreamIsRemovedAndNotMoved) {
    LiveAc& a = addActiveLiveAc(10001, 7, "AAA1");
    a.stream.clear();
    clock100 = 1;
    gf_updateAI();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, acStateRemoved);
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{7});
    EXPECT_TRUE(sendBuffer().empty());
    EXPECT_NE(logText().find("===> updateLiveAc stream empty ? AAA1"), std::string::npos);
    EXPECT_NE(logText().find("hexid:10001, objectid:7, alt:3000 ft, lalo:52.300000,4.760000, TAS:0"),
              std::string::npos);

    // Removed: no more positions, and the object id goes to the link at the next multiple of 10.
    while (clock100.load() <= 10) gf_updateAI();
    EXPECT_EQ(takeQueuedRemovals(), std::vector<uint32_t>{7});
    EXPECT_TRUE(sendBuffer().empty());
}

TEST_F(TrafficStep, AnActiveAircraftWithoutObjectIsLoggedAndErasedInTheSameStep) {
    addActiveLiveAc(10001, 3, "AAA1");
    addActiveLiveAc(10002, 0, "BBB2");
    addActiveLiveAc(10003, 5, "CCC3");
    clock100 = 1;
    gf_updateAI();
    ASSERT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(liveAircraft[0].identity.callsign, "AAA1");
    EXPECT_EQ(liveAircraft[1].identity.callsign, "CCC3");
    EXPECT_TRUE(removalQueue.empty());
    const auto sent = sendBuffer();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].objectId, 3u);
    EXPECT_EQ(sent[1].objectId, 5u);
    EXPECT_NE(logText().find("===> updateLiveAc objectid=0? hexid: 10002,cs:BBB2, reg:PH-BXA, aimo:KLM B738 sz:1"),
              std::string::npos);
    EXPECT_NE(logText().find("removeAircraftFromSim removing act BBB2"), std::string::npos);
}

TEST_F(TrafficStep, RemovingAircraftByState) {
    // A new aircraft has no object: only flagged. An active one goes to the removal queue, once.
    // A pending creation keeps its record: its created notice is still to come.
    LiveAc fresh(testPoint(1), testIdentity(10001, "A"), 0.0);
    removeAircraftFromSim(fresh);
    EXPECT_EQ(fresh.erase, 1);
    EXPECT_EQ(fresh.state, acStateNew);

    LiveAc active(testPoint(1), testIdentity(10002, "B"), 0.0);
    active.state = acStateActive;
    active.objectId = 9;
    removeAircraftFromSim(active);
    EXPECT_EQ(active.state, acStateRemoved);
    EXPECT_EQ(active.erase, 0);
    removeAircraftFromSim(active);  // removed once only

    LiveAc pending(testPoint(1), testIdentity(10003, "C"), 0.0);
    pending.state = acStateCreating;
    removeAircraftFromSim(pending);
    EXPECT_EQ(pending.state, acStateRemoved);
    EXPECT_EQ(pending.erase, 0);

    EXPECT_EQ(removalQueue, std::deque<uint32_t>{9});
}

TEST_F(TrafficStep, RemovingAParkedAircraftFreesItsStand) {
    gf_resetAirportsForTests();
    for (const char* name : {"A1", "A2"}) {
        parkPositions.emplace_back(name, std::vector<ParkPosOption>{}, 52.3, 4.7, 0.0, 30.0, false, false, false);
        parkPositions.back().id = static_cast<uint32_t>(parkPositions.size());
        parkPositions.back().occupied = 1;
    }
    AiAircraft parked(testIdentity(12, "KLM12*"), 2, 52.3, 4.7, 0.0, 0);
    parked.state = acStateActive;
    parked.objectId = 40;
    removeAircraftFromSim(parked);
    EXPECT_EQ(parkPositions[0].occupied, 1);
    EXPECT_EQ(parkPositions[1].occupied, 0);
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{40});
    gf_resetAirportsForTests();
}

// ---------------------------------------------------------------- failures

TEST_F(TrafficStep, AStepThatThrowsKeepsTheClockAndConsumesWhatItTook) {
    gf_setUserStateSource([]() -> FeedUserState { throw std::runtime_error("no user state"); });
    liveAircraft.emplace_back(testPoint(500), testIdentity(10001, "AAA1"), 0.0).state = acStateCreating;
    pendingSpawns = {10001};
    removalQueue.assign({21});
    liveCreateQueue.assign({command("L1")});
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

TEST_F(TrafficStep, AUserErrorGoesOnToTheRunWorker) {
    gf_setUserStateSource([]() -> FeedUserState { throw UserErrorException(81, "too many refused liveries"); });
    clock100 = 100;
    try {
        gf_updateAI();
        FAIL() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.code(), 81);
    }
    EXPECT_EQ(clock100.load(), 100u);
}

// ---------------------------------------------------------------- position hand-over

struct SwapRow {
    float frameRate;
    bool waits;
};

// Another thread holds simMutex (the link's frame handler). At 50 fps or less the step drops
// its positions and goes on; above, it waits and then hands them over.
TEST_F(TrafficStep, BusyLinkAtLowFrameRatesCostsTheStepsPositions) {
    const SwapRow rows[] = {{30.0f, false}, {50.0f, false}, {60.0f, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.frameRate);
        liveAircraft.clear();
        addActiveLiveAc(10001, 3);
        {
            std::lock_guard lock(simMutex);
            positionSendBuffer.assign({PositionUpdate{.objectId = 99}});
        }
        simFrameRate = row.frameRate;
        clock100 = 1;

        std::atomic<bool> held{false}, release{false}, stepDone{false};
        std::thread holder([&] {
            std::lock_guard lock(simMutex);
            held = true;
            while (!release.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        while (!held.load()) std::this_thread::yield();
        std::thread stepper([&] {
            gf_updateAI();
            stepDone = true;
        });

        if (row.waits) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            EXPECT_FALSE(stepDone.load());
            release = true;
        } else {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!stepDone.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            EXPECT_TRUE(stepDone.load());
            release = true;
        }
        stepper.join();
        holder.join();

        EXPECT_EQ(clock100.load(), 2u);
        EXPECT_TRUE(positionWriteBuffer.empty());
        const auto sent = sendBuffer();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].objectId, row.waits ? 3u : 99u);
    }
}

TEST_F(TrafficStep, AFreeLinkGetsThisStepsPositionsAndDropsUnsentOnes) {
    addActiveLiveAc(10001, 3);
    addActiveLiveAc(10002, 4, "BBB2");
    {
        std::lock_guard lock(simMutex);
        positionSendBuffer.assign({PositionUpdate{.objectId = 99}});
    }
    simFrameRate = 30.0f;
    clock100 = 1;
    gf_updateAI();
    const auto sent = sendBuffer();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].objectId, 3u);
    EXPECT_EQ(sent[1].objectId, 4u);
    EXPECT_TRUE(positionWriteBuffer.empty());
}

}  // namespace
}  // namespace vdl::test
