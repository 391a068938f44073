#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "simlink/link_fixture.h"

namespace vdl {
namespace {

using test::LinkTest;
using test::worldAirportLat;
using test::worldAirportLon;

std::vector<SimCall> callKinds(const std::vector<CallRecord>& calls) {
    std::vector<SimCall> r;
    for (const auto& c : calls) r.push_back(c.call);
    return r;
}

// --- creation and binding ---

TEST_F(LinkTest, CreatedObjectIsReleasedAndFrozenBeforeTheCreatedNotice) {
    connect();
    std::size_t callsAtNotice = 0;
    gf_setSimReplyHook([&](const SimReply& r) {
        if (r.kind == REPLY_LIVE_CREATED) callsAtNotice = sim_->calls().size();
        std::lock_guard lock(collectMutex_);
        replies_.push_back(r);
    });
    gf_queueCreateAc(command(10042, "KLM123", test::worldTitleJet));
    rounds(3);
    // Created in the simulator, but not bound until an in-range reply names it.
    ASSERT_EQ(sim_->liveObjectCount(), 1u);
    EXPECT_TRUE(takeReplies().empty());

    ASSERT_EQ(requestInRange(), SIM_OK);
    rounds(2);
    const auto replies = takeReplies();
    ASSERT_EQ(replies.size(), 1u);  // no low-altitude notice in the reply that binds it
    const SimReply& created = replies[0];
    EXPECT_EQ(created.kind, REPLY_LIVE_CREATED);
    EXPECT_EQ(created.hexid, 10042u);
    EXPECT_EQ(created.objectId, 3u);
    EXPECT_EQ(created.value, 0u);
    EXPECT_DOUBLE_EQ(created.a, test::worldAirportElevation);
    EXPECT_DOUBLE_EQ(created.b, test::worldJetCg);

    const auto calls = sim_->callsFor(created.objectId);
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(callKinds(calls),
              (std::vector<SimCall>{SimCall::AICreateNonATCAircraft, SimCall::AIReleaseControl,
                                    SimCall::TransmitClientEvent, SimCall::TransmitClientEvent,
                                    SimCall::TransmitClientEvent}));
    EXPECT_EQ(calls[0].detail.substr(0, 30), "\"Boeing 737-800 KLM\" tail \"KLM");
    EXPECT_EQ(calls[2].detail, "FREEZE_LATITUDE_LONGITUDE_SET 1 group 301");
    EXPECT_EQ(calls[3].detail, "FREEZE_ALTITUDE_SET 1 group 301");
    EXPECT_EQ(calls[4].detail, "FREEZE_ATTITUDE_SET 1 group 301");
    // All of it was sent before the notice went out.
    const auto all = sim_->calls();
    const auto lastFreeze = std::find_if(all.rbegin(), all.rend(), [&](const CallRecord& c) {
        return c.objectId == created.objectId;
    });
    EXPECT_LE(static_cast<std::size_t>(all.rend() - lastFreeze), callsAtNotice);

    rounds(1);
    const auto o = sim_->object(created.objectId);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->aiReleased);
    EXPECT_TRUE(o->frozen());

    // A later in-range reply does not bind it again.
    requestInRange();
    rounds(2);
    for (const auto& r : takeReplies()) EXPECT_NE(r.kind, REPLY_LIVE_CREATED);
}

TEST_F(LinkTest, StaticHexidGivesTheStaticCreatedNotice) {
    connect();
    gf_queueCreateAc(command(42, "KLM77*", test::worldTitleJet));
    rounds(2);
    requestInRange();
    rounds(2);
    const auto replies = takeReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].kind, REPLY_STATIC_CREATED);
    EXPECT_EQ(replies[0].hexid, 42u);
}

TEST_F(LinkTest, ObjectBindsByItsAtcIdWhenTheCreateAnswerNeverComes) {
    connect();
    sim_->injectFault(SimCall::AICreateNonATCAircraft, FaultKind::Missing);
    const uint32_t id = createBound(10001, "EZY12");
    EXPECT_EQ(id, 3u);
    EXPECT_TRUE(sim_->object(3)->aiReleased);
}

TEST_F(LinkTest, FailedCreationGivesTheCreationFailedNoticeWithItsHexid) {
    struct Case {
        const char* name;
        std::string_view title;
        bool callFails;
    };
    const Case cases[] = {
        {"title not installed", "Airbus A380 Nobody", false},
        {"create call refused", test::worldTitleJet, true},
    };
    connect();
    uint32_t hexid = 20000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.callFails) sim_->injectFault(SimCall::AICreateNonATCAircraft, FaultKind::Fail);
        gf_queueCreateAc(command(hexid, "BAW1", c.title));
        rounds(3);
        const auto replies = takeReplies();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].kind, REPLY_CREATION_FAILED);
        EXPECT_EQ(replies[0].hexid, hexid);
        EXPECT_EQ(replies[0].objectId, 0u);
        // Nothing waits to be bound: a later in-range reply brings no notice.
        requestInRange();
        rounds(2);
        EXPECT_TRUE(takeReplies().empty());
        ++hexid;
    }
    EXPECT_EQ(sim_->liveObjectCount(), 0u);
}

TEST_F(LinkTest, RemovalGivesTheRemovedNotice) {
    connect();
    const uint32_t id = createBound(10077, "DLH4");
    ASSERT_NE(id, 0u);
    {
        std::lock_guard lock(simMutex);
        simRemovalIds.push_back(id);
    }
    rounds(2);
    const auto replies = takeReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].kind, REPLY_REMOVED);
    EXPECT_EQ(replies[0].objectId, id);
    EXPECT_EQ(replies[0].hexid, 10077u);
    EXPECT_TRUE(sim_->object(id)->removed);
    // Gone from the in-range notices too.
    requestInRange();
    rounds(2);
    EXPECT_TRUE(takeReplies().empty());
}

TEST_F(LinkTest, StaticCgRequestGivesItsNotice) {
    connect();
    const uint32_t jet = createBound(10001, "KLM1", test::worldTitleJet);
    const uint32_t prop = createBound(10002, "PHABC", test::worldTitleProp);
    {
        std::lock_guard lock(simMutex);
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(hSimConnect, REQUEST_STATIC_CG, DEF_STATIC_CG, jet,
                                                    SimPeriod::Once), SIM_OK);
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(hSimConnect, REQUEST_STATIC_CG, DEF_STATIC_CG, prop,
                                                    SimPeriod::Once), SIM_OK);
    }
    rounds(2);
    const auto replies = takeReplies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].kind, REPLY_STATIC_CG);
    EXPECT_EQ(replies[0].objectId, jet);
    EXPECT_DOUBLE_EQ(replies[0].a, test::worldJetCg);
    EXPECT_DOUBLE_EQ(replies[0].b, test::worldJetPitch);
    EXPECT_EQ(replies[1].objectId, prop);
    EXPECT_DOUBLE_EQ(replies[1].a, test::worldPropCg);
    EXPECT_DOUBLE_EQ(replies[1].b, test::worldPropPitch);
}

TEST_F(LinkTest, ObjectsBelow2500FtAboveGroundAppearInTheInRangeNotices) {
    struct Case {
        const char* tail;
        double alt;  // ft; the ground is at the airport's 100 ft
        bool onGround;
        bool reported;
    };
    const Case cases[] = {
        {"GND1", 0.0, true, true},
        {"LOW1", 100.0 + 2499.0, false, true},
        {"HIGH1", 100.0 + 2501.0, false, false},
    };
    connect();
    std::map<uint32_t, Case> byId;
    uint32_t hexid = 10100;
    for (const auto& c : cases) {
        const uint32_t id = createBound(hexid++, c.tail, test::worldTitleJet, c.alt, c.onGround);
        ASSERT_NE(id, 0u) << c.tail;
        byId.emplace(id, c);
    }
    requestInRange();
    rounds(2);
    std::map<uint32_t, SimReply> low;
    for (const auto& r : takeReplies()) {
        EXPECT_EQ(r.kind, REPLY_IN_RANGE_LOW);
        low[r.objectId] = r;
    }
    for (const auto& [id, c] : byId) {
        SCOPED_TRACE(c.tail);
        ASSERT_EQ(low.count(id), c.reported ? 1u : 0u);
        if (!c.reported) continue;
        EXPECT_EQ(low[id].hexid, c.onGround ? 1u : 0u);  // SIM ON GROUND
        EXPECT_DOUBLE_EQ(low[id].a, test::worldAirportElevation);
        EXPECT_DOUBLE_EQ(low[id].b, c.onGround ? test::worldJetCg : c.alt - test::worldAirportElevation);
    }
}

// --- the frame handler ---

TEST_F(LinkTest, OneFrameSendsCreatesRemovalsEventsAndPositionsInThatOrder) {
    connect();
    const uint32_t keep = createBound(10001, "KEEP1");
    const uint32_t gone = createBound(10002, "GONE1");
    ASSERT_NE(keep, 0u);
    ASSERT_NE(gone, 0u);
    // Queued in the opposite order.
    PositionUpdate p;
    p.objectId = keep;
    p.latitude = worldAirportLat + 0.001;
    p.longitude = worldAirportLon;
    p.altitude = 120.0;
    p.trueAirspeed = 12.0;
    gf_updateAircraft(p);
    {
        std::lock_guard lock(simMutex);
        gf_swapPositionBuffers();
        gf_pushClientEvent(keep, NAV_LIGHTS_SET, 1);
        simRemovalIds.push_back(gone);
    }
    gf_setCabinLights(keep, 1);
    gf_queueClientEvent(keep, GEAR_SET, 1);
    gf_queueCreateAc(command(10003, "NEW1", test::worldTitleJet));
    EXPECT_TRUE(positionWriteBuffer.empty());

    const std::size_t before = sim_->calls().size();
    rounds(1);
    const auto all = sim_->calls();
    std::vector<std::string> sent;
    for (std::size_t i = before; i < all.size(); ++i)
        sent.push_back(std::string(gf_simCallName(all[i].call)) + " " + all[i].detail);
    const std::vector<std::string> expected{
        "AICreateNonATCAircraft \"Boeing 737-800 KLM\" tail \"NEW1\" 52.308600,4.763900 alt 0 hdg 270.0 ground 1",
        "AIRemoveObject ",
        "TransmitClientEvent NAV_LIGHTS_SET 1 group 301",
        "TransmitClientEvent CABIN_LIGHTS_SET 1 group 301",
        "TransmitClientEvent GEAR_SET 1 group 301",
        "SetDataOnSimObject def 402",
    };
    EXPECT_EQ(sent, expected);
    {
        std::lock_guard lock(simMutex);
        EXPECT_TRUE(simCreateQueue.empty());
        EXPECT_TRUE(simRemovalIds.empty());
        EXPECT_TRUE(simEventQueue.empty());
        EXPECT_TRUE(positionSendBuffer.empty());
    }
    rounds(1);
    const auto o = sim_->object(keep);
    EXPECT_NEAR(o->latitude, worldAirportLat + 0.001, 1e-12);
    EXPECT_DOUBLE_EQ(o->altitude, 120.0);
    EXPECT_NEAR(o->trueAirspeed, 12.0, 1e-9);
    EXPECT_TRUE(o->lights.nav);
    EXPECT_TRUE(o->lights.cabin);
    EXPECT_TRUE(o->gearDown);
}

TEST_F(LinkTest, NothingIsSentWhilePaused) {
    connect();
    sim_->setPaused(true);
    rounds(1);
    EXPECT_TRUE(simPaused);
    EXPECT_FALSE(simRunning);
    gf_queueCreateAc(command(10001, "WAIT1", test::worldTitleJet));
    const std::size_t before = sim_->calls().size();
    rounds(60);
    EXPECT_EQ(sim_->calls().size(), before);
    {
        std::lock_guard lock(simMutex);
        EXPECT_EQ(simCreateQueue.size(), 1u);
    }
    sim_->setPaused(false);
    rounds(2);
    EXPECT_TRUE(simRunning);
    EXPECT_EQ(sim_->liveObjectCount(), 1u);
}

TEST_F(LinkTest, SimulatorStateReachesTheFlags) {
    sim_ = test::makeWorld(false);
    test::useWorld(sim_);
    connect();
    EXPECT_TRUE(simConnected);
    EXPECT_FALSE(simStarted);
    EXPECT_FALSE(simRunning);
    sim_->startSim();
    rounds(1);
    EXPECT_TRUE(simRunning);
    EXPECT_FLOAT_EQ(simFrameRate.load(), 30.0f);
    sim_->setFrameRate(45.0);
    rounds(1);
    EXPECT_FLOAT_EQ(simFrameRate.load(), 45.0f);
    sim_->loadFlight("LFPG.FLT");
    rounds(1);
    EXPECT_EQ(flightsLoaded.load(), 1u);
    EXPECT_TRUE(exits().empty());

    sim_->quit();
    rounds(1);
    EXPECT_TRUE(simQuit);
    EXPECT_FALSE(simRunning);
    const auto ends = exits();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].reason, ExitReason::SimWasClosed);
}

// --- requests and their failures ---

TEST_F(LinkTest, ThirdFailedRequestStopsRequestsAndEndsTheRunWithSimconnectError) {
    connect();
    sim_->injectFault(SimCall::RequestDataOnSimObjectType, FaultKind::Fail, 3);
    auto trafficStepRequest = [&] {
        std::lock_guard lock(simMutex);
        if (SimConnect_RequestDataOnSimObjectType(hSimConnect, REQUEST_IN_RANGE, DEF_IN_RANGE, 1852,
                                                  SimObjectType::Aircraft) < 0) {
            gf_logError("SimConnect request ac within range fails");
            gf_simConnectRequestFailed();
        }
    };
    trafficStepRequest();
    trafficStepRequest();
    EXPECT_EQ(gf_failedRequestCount(), 2);
    EXPECT_FALSE(simStopped);
    EXPECT_TRUE(exits().empty());

    trafficStepRequest();
    EXPECT_TRUE(simStopped);
    const auto ends = exits();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].reason, ExitReason::SimConnectError);
    EXPECT_EQ(ends[0].delay, 10);
    EXPECT_EQ(mainWindow.statusLine(), "SimConnect request error 3, see Log.txt");
    EXPECT_NE(logText().find("SimConnect request error 3, see Log.txt"), std::string::npos);

    // While stopped, the user data is not asked for any more.
    const std::size_t before = sim_->calls().size();
    gf_getUserAcData();
    EXPECT_EQ(sim_->calls().size(), before);
}

TEST_F(LinkTest, UserDataRequestFailuresCountToo) {
    connect();
    sim_->injectFault(SimCall::RequestDataOnSimObject, FaultKind::Fail, 3, 0, REQUEST_USER_STATE);
    for (int i = 0; i < 3; ++i) gf_getUserAcData();
    EXPECT_TRUE(simStopped);
    ASSERT_EQ(exits().size(), 1u);
    EXPECT_NE(logText().find("===> SimConnect request user aircraft data fails"), std::string::npos);
}

// --- the user aircraft ---

TEST_F(LinkTest, UserAircraftStateComesFromTheLastAnswer) {
    sim_->setUtcStart(1790000000);  // 2026-09-21 14:13:20 UTC
    connect();
    const UserAcState first = gf_getUserAcData();  // asks; nothing received yet
    EXPECT_EQ(first.latitude, 0.0);
    rounds(2);
    const UserAcState u = gf_getUserAcData();
    EXPECT_DOUBLE_EQ(u.latitude, worldAirportLat);
    EXPECT_DOUBLE_EQ(u.longitude, worldAirportLon);
    EXPECT_DOUBLE_EQ(u.altitude, test::worldAirportElevation + 5.0);
    EXPECT_NEAR(u.altAboveGround, 5.0, 1e-9);
    EXPECT_EQ(u.zuluYear, 2026);
    EXPECT_EQ(u.zuluMonthOfYear, 9);
    EXPECT_EQ(u.zuluDayOfMonth, 21);
    EXPECT_NEAR(u.zuluTime, 14 * 3600 + 13 * 60 + 20, 1.0);
}

TEST_F(LinkTest, OnGroundReplyTicksAndIgnoresTheNullPosition) {
    connect();
    EXPECT_TRUE(tickFlag.exchange(false));
    UserOnGround u = userOnGround.load();
    EXPECT_TRUE(u.known);
    EXPECT_EQ(u.value, 1u);
    EXPECT_DOUBLE_EQ(u.latitude, worldAirportLat);

    // The simulator's null position (no flight loaded yet) is not taken.
    UserKeyframe nowhere;
    nowhere.latitude = 0.0005;
    nowhere.longitude = 0.04;
    nowhere.onGround = false;
    sim_->setUserScript({nowhere});
    rounds(31);
    EXPECT_TRUE(tickFlag.exchange(false));
    u = userOnGround.load();
    EXPECT_EQ(u.value, 1u);
    EXPECT_DOUBLE_EQ(u.latitude, worldAirportLat);

    // Just outside the null box is a real position.
    nowhere.longitude = 0.051;
    sim_->setUserScript({nowhere});
    rounds(31);
    u = userOnGround.load();
    EXPECT_EQ(u.value, 0u);
    EXPECT_DOUBLE_EQ(u.longitude, 0.051);

    // No tick while paused.
    tickFlag = false;
    sim_->setPaused(true);
    rounds(90);
    EXPECT_FALSE(tickFlag);
}

TEST(NullPosition, BoxOfTheSimulatorsNullPosition) {
    struct Case {
        double lat, lon;
        bool null;
    };
    for (const Case c : {Case{0.0, 0.0, true}, Case{0.0009, 0.05, true}, Case{0.001, 0.0, false},
                         Case{0.0, 0.0501, false}, Case{-0.0001, 0.0, false}, Case{0.0, -0.01, false}}) {
        SCOPED_TRACE(testing::Message() << c.lat << "," << c.lon);
        EXPECT_EQ(gf_isNullPosition(c.lat, c.lon), c.null);
    }
}

TEST_F(LinkTest, UserStandIsNamedAndSavedOnceWhileStandingStill) {
    std::vector<std::string> saved;
    gf_setStandNameHook([](double lat, double) { return lat > 52.0 ? std::string("B12") : std::string(); });
    gf_setSaveUserStandHook([&](const std::string& stand) { saved.push_back(stand); });
    connect();
    rounds(90);  // three more seconds at the same stand
    EXPECT_EQ(userStand.load(), "B12");
    EXPECT_EQ(saved, std::vector<std::string>{"B12"});

    // Rolling: the stand is still named but not stored.
    UserKeyframe rolling;
    rolling.latitude = worldAirportLat;
    rolling.longitude = worldAirportLon;
    rolling.groundSpeed = 5.0;
    rolling.onGround = true;
    sim_->setUserScript({rolling});
    gf_setStandNameHook([](double, double) { return std::string("C3"); });
    rounds(31);
    EXPECT_EQ(userStand.load(), "C3");
    EXPECT_EQ(saved.size(), 1u);

    // Airborne: no stand.
    rolling.onGround = false;
    rolling.altitude = 3000.0;
    sim_->setUserScript({rolling});
    rounds(31);
    EXPECT_EQ(userStand.load(), "");
}

TEST_F(LinkTest, ResetEmptiesTheQueuesAndForgetsPendingObjects) {
    connect();
    gf_queueCreateAc(command(10001, "P1", test::worldTitleJet));
    gf_queueClientEvent(3, GEAR_SET, 1);
    gf_updateAircraft(PositionUpdate{});
    rounds(1);  // sent: the create now waits to be bound
    gf_queueCreateAc(command(10002, "P2", test::worldTitleJet));
    gf_simConnectRequestFailed();
    gf_resetSimLink();
    EXPECT_EQ(gf_failedRequestCount(), 0);
    EXPECT_TRUE(positionWriteBuffer.empty());
    rounds(2);
    requestInRange();
    rounds(2);
    EXPECT_TRUE(takeReplies().empty());
    EXPECT_EQ(sim_->liveObjectCount(), 1u);  // P2 was never sent
}

}  // namespace
}  // namespace vdl
