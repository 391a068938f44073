// The link against the stepped stand-in, and the flight-plan files.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <map>
#include <pugixml.hpp>

#include "simlink/flight_plan.h"
#include "support/simulator_world.h"

namespace vdl {
namespace {

using test::LinkTest;
using test::worldAirportLat;
using test::worldAirportLon;
using test::worldTitleJet;

// What the link answers a create with, row by row: the created notice once an in-range reply
// names the object (its ATC id, also when the create's answer got lost), with the object released
// and frozen before the notice goes out; or the creation-failed notice with the hexid.
TEST_F(LinkTest, EachCreateEndsInItsNotice) {
    struct Row {
        const char* name;
        uint32_t hexid;
        const char* tail;
        std::string_view title;
        std::optional<FaultKind> fault;
        uint32_t notice;
    };
    const Row rows[] = {
        {"installed title", 10042, "KLM123", worldTitleJet, std::nullopt, REPLY_LIVE_CREATED},
        {"static hexid, answer lost", 42, "KLM77*", worldTitleJet, FaultKind::Missing, REPLY_STATIC_CREATED},
        {"title not installed", 20000, "BAW1", "Airbus A380 Nobody", std::nullopt, REPLY_CREATION_FAILED},
        {"create call fails", 20001, "BAW2", worldTitleJet, FaultKind::Fail, REPLY_CREATION_FAILED},
    };
    connect();
    std::size_t callsAtNotice = 0;
    gf_setSimReplyHook([&](const SimReply& r) {
        if (r.kind != REPLY_IN_RANGE_LOW) callsAtNotice = sim_->calls().size();
        std::lock_guard lock(collectMutex_);
        replies_.push_back(r);
    });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.fault) sim_->injectFault(SimCall::AICreateNonATCAircraft, *row.fault);
        const std::size_t objectsBefore = sim_->aiObjects().size();
        gf_queueCreateAc(test::createCommand(row.hexid, row.tail, row.title));
        rounds(3);
        const bool created = row.notice != REPLY_CREATION_FAILED;
        EXPECT_EQ(sim_->aiObjects().size(), objectsBefore + (created ? 1 : 0));
        if (created) {
            EXPECT_TRUE(takeReplies().empty()) << "not bound before an in-range reply names it";
        }
        ASSERT_EQ(requestInRange(), SIM_OK);
        rounds(2);
        auto replies = takeReplies();
        std::erase_if(replies, [](const SimReply& r) { return r.kind == REPLY_IN_RANGE_LOW; });
        ASSERT_EQ(replies.size(), 1u);
        const SimReply notice = replies[0];
        EXPECT_EQ(notice.kind, row.notice);
        EXPECT_EQ(notice.hexid, row.hexid);
        if (!created) continue;
        EXPECT_EQ(notice.objectId, sim_->aiObjects().back().id);
        EXPECT_DOUBLE_EQ(notice.a, test::worldAirportElevation);
        EXPECT_DOUBLE_EQ(notice.b, test::worldJetCg);
        std::vector<std::string> sent;
        for (const auto& c : sim_->callsFor(notice.objectId))
            sent.push_back(c.call == SimCall::AICreateNonATCAircraft ? "create"
                                                                     : std::string(gf_simCallName(c.call)) + " " + c.detail);
        EXPECT_EQ(sent, (std::vector<std::string>{"create", "AIReleaseControl ",
                                                  "TransmitClientEvent FREEZE_LATITUDE_LONGITUDE_SET 1 group 301",
                                                  "TransmitClientEvent FREEZE_ALTITUDE_SET 1 group 301",
                                                  "TransmitClientEvent FREEZE_ATTITUDE_SET 1 group 301"}));
        const auto all = sim_->calls();
        const auto last = std::find_if(all.rbegin(), all.rend(),
                                       [&](const CallRecord& c) { return c.objectId == notice.objectId; });
        EXPECT_LE(static_cast<std::size_t>(all.rend() - last), callsAtNotice) << "sent before the notice went out";
        rounds(1);
        EXPECT_TRUE(sim_->object(notice.objectId)->aiReleased && sim_->object(notice.objectId)->frozen());
        // The simulator's record knows which aircraft of the feed the object flies.
        const auto events = sim_->object(notice.objectId)->events;
        EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                                [&](const TrackEvent& e) { return e.name == "hexid" && e.data == row.hexid; }));
        requestInRange();  // a later in-range reply does not bind it again
        rounds(2);
        for (const auto& r : takeReplies()) EXPECT_EQ(r.kind, REPLY_IN_RANGE_LOW);
    }
}

// A created object beyond the in-range radius is never bound, so the program could neither move
// nor remove it: after 100 in-range lists without it the link removes it itself.
TEST_F(LinkTest, ACreatedObjectThatStaysOutOfRangeIsRemoved) {
    connect();
    const uint32_t near = createBound(10076, "NEAR1");  // bound, and in each list after the user
    ASSERT_NE(near, 0u);
    CreateAcCmd far = test::createCommand(10077, "FAR1", worldTitleJet, 30000.0, false);
    far.initPosition.latitude += 1.0;  // 60 nm north: beyond the 40 nm of the in-range request
    gf_queueCreateAc(far);
    rounds(2);
    const auto objects = sim_->aiObjects();
    ASSERT_EQ(objects.size(), 2u);
    const uint32_t id = objects[1].id;
    for (int list = 1; list < 100; ++list) {
        requestInRange();
        rounds(1);
    }
    EXPECT_FALSE(sim_->object(id)->removed) << "one list short";
    requestInRange();
    rounds(2);
    EXPECT_TRUE(sim_->object(id)->removed);
    EXPECT_FALSE(sim_->object(near)->removed);
    EXPECT_TRUE(sim_->strayCalls().empty());
    for (const auto& r : takeReplies()) EXPECT_NE(r.kind, REPLY_LIVE_CREATED);
}

TEST_F(LinkTest, AtTheEndOfARunUnboundObjectsGoWithTheBoundOnes) {
    connect();
    const uint32_t bound = createBound(10080, "BOUND1");
    ASSERT_NE(bound, 0u);
    // One created with its id known, one whose id has not come yet; neither ever bound.
    gf_queueCreateAc(test::createCommand(10081, "KNOWN1"));
    rounds(2);
    gf_queueCreateAc(test::createCommand(10082, "LATE1"));
    // Until the create has gone out; its answer comes with a later dispatch.
    const auto sent = [&] {
        for (const auto& c : sim_->calls())
            if (c.call == SimCall::AICreateNonATCAircraft && c.detail.find("LATE1") != std::string::npos) return true;
        return false;
    };
    for (int i = 0; i < 5 && !sent(); ++i) rounds(1);
    ASSERT_TRUE(sent());
    {
        SimLock lock(simMutex);
        gf_removeUnboundCreates(lock);
    }
    rounds(3);
    const auto objects = sim_->aiObjects();
    for (const char* tail : {"KNOWN1", "LATE1"}) {
        const auto o = std::find_if(objects.begin(), objects.end(), [&](const StandInObject& x) { return x.tailNumber == tail; });
        ASSERT_NE(o, objects.end()) << tail << " was never created";
        EXPECT_TRUE(o->removed) << tail;
    }
    EXPECT_FALSE(sim_->object(bound)->removed) << "bound objects go through the traffic manager";
    EXPECT_TRUE(sim_->strayCalls().empty());
}

TEST_F(LinkTest, RemovalAndStaticCgGiveTheirNotices) {
    connect();
    const uint32_t id = createBound(10002, "PHABC", test::worldTitleProp);
    ASSERT_NE(id, 0u);
    {
        std::lock_guard lock(simMutex);
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(hSimConnect, REQUEST_STATIC_CG, DEF_STATIC_CG, id,
                                                    SimPeriod::Once), SIM_OK);
    }
    rounds(2);
    {
        std::lock_guard lock(simMutex);
        simRemovalIds.push_back(id);
    }
    rounds(2);
    const auto replies = takeReplies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].kind, REPLY_STATIC_CG);
    EXPECT_DOUBLE_EQ(replies[0].a, test::worldPropCg);
    EXPECT_DOUBLE_EQ(replies[0].b, test::worldPropPitch);
    EXPECT_EQ(replies[1].kind, REPLY_REMOVED);
    EXPECT_EQ(replies[1].objectId, id);
    EXPECT_EQ(replies[1].hexid, 10002u);
    requestInRange();  // gone from the in-range notices too
    rounds(2);
    EXPECT_TRUE(takeReplies().empty());
}

TEST_F(LinkTest, ObjectsBelow2500FtAboveGroundAppearInTheInRangeNotices) {
    struct Case {
        double alt;  // ft; the ground is at the airport's 100 ft
        bool onGround, reported;
    };
    connect();
    std::map<uint32_t, Case> byId;
    uint32_t hexid = 10100;
    for (const Case c : {Case{0.0, true, true}, Case{100.0 + 2499.0, false, true}, Case{100.0 + 2501.0, false, false}}) {
        const uint32_t id = createBound(hexid, "T" + std::to_string(hexid), test::worldTitleJet, c.alt, c.onGround);
        ++hexid;
        ASSERT_NE(id, 0u) << c.alt;
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
        SCOPED_TRACE(c.alt);
        ASSERT_EQ(low.count(id), c.reported ? 1u : 0u);
        if (!c.reported) continue;
        EXPECT_EQ(low[id].hexid, c.onGround ? 1u : 0u);  // SIM ON GROUND
        EXPECT_DOUBLE_EQ(low[id].a, test::worldAirportElevation);
        EXPECT_DOUBLE_EQ(low[id].b, c.onGround ? test::worldJetCg : c.alt - test::worldAirportElevation);
    }
}

TEST_F(LinkTest, OneFrameSendsCreatesRemovalsEventsAndPositionsInThatOrder) {
    connect();
    const uint32_t keep = createBound(10001, "KEEP1"), gone = createBound(10002, "GONE1");
    // Queued in the opposite order.
    PositionUpdate p;
    p.objectId = keep;
    p.latitude = worldAirportLat + 0.001;
    p.longitude = worldAirportLon;
    p.altitude = 120.0;
    gf_updateAircraft(p);
    {
        SimLock lock(simMutex);
        gf_swapPositionBuffers(lock);
        gf_pushClientEvent(lock, keep, NAV_LIGHTS_SET, 1);
        simRemovalIds.push_back(gone);
    }
    gf_setCabinLights(keep, 1);
    gf_queueClientEvent(keep, GEAR_SET, 1);
    gf_queueCreateAc(test::createCommand(10003, "NEW1"));

    const std::size_t before = sim_->calls().size();
    rounds(1);
    const auto all = sim_->calls();
    std::vector<std::string> sent;
    for (std::size_t i = before; i < all.size(); ++i)
        sent.push_back(std::string(gf_simCallName(all[i].call)) + " " + all[i].detail);
    EXPECT_EQ(sent, (std::vector<std::string>{
                        "AICreateNonATCAircraft \"Boeing 737-800 KLM\" tail \"NEW1\" 52.308600,4.763900 alt 0 "
                        "hdg 270.0 ground 1",
                        "AIRemoveObject ", "TransmitClientEvent NAV_LIGHTS_SET 1 group 301",
                        "TransmitClientEvent CABIN_LIGHTS_SET 1 group 301",
                        "TransmitClientEvent GEAR_SET 1 group 301", "SetDataOnSimObject def 402"}));
    {
        std::lock_guard lock(simMutex);
        EXPECT_TRUE(simCreateQueue.empty() && simRemovalIds.empty() && simEventQueue.empty() &&
                    positionSendBuffer.empty());
    }
}

TEST_F(LinkTest, NothingIsSentWhilePaused) {
    connect();
    sim_->setPaused(true);
    rounds(1);
    EXPECT_TRUE(simPaused && !simRunning);
    gf_queueCreateAc(test::createCommand(10001, "WAIT1"));
    const std::size_t before = sim_->calls().size();
    rounds(60);
    EXPECT_EQ(sim_->calls().size(), before);
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
    EXPECT_FALSE(simRunning);
    sim_->startSim();
    sim_->setFrameRate(45.0);
    sim_->loadFlight("LFPG.FLT");
    rounds(1);
    EXPECT_TRUE(simRunning);
    EXPECT_FLOAT_EQ(simFrameRate.load(), 45.0f);
    EXPECT_EQ(flightsLoaded.load(), 1u);
    EXPECT_TRUE(exits().empty());

    sim_->quit();
    rounds(1);
    EXPECT_TRUE(simQuit && !simRunning);
    ASSERT_EQ(exits().size(), 1u);
    EXPECT_EQ(exits()[0].first, ExitReason::SimWasClosed);
}

// The simulator's last frame comes before its Quit: what the link sends for that frame fails
// because the simulator is gone, which is its close and no error. A call that fails while the
// simulator stays is one.
TEST_F(LinkTest, CallsThatFailAsTheSimulatorClosesAreNoErrors) {
    connect();
    const uint32_t id = createBound(10042, "KLM123");
    ASSERT_NE(id, 0u);
    const auto sendPosition = [&] {
        PositionUpdate p;
        p.objectId = id;
        p.latitude = worldAirportLat;
        p.longitude = worldAirportLon;
        gf_updateAircraft(p);
        SimLock lock(simMutex);
        gf_swapPositionBuffers(lock);
    };
    const std::string failure = fmt::format("SimConnect SetDataOnSimObject fails for object {}", id);

    sim_->injectFault(SimCall::SetDataOnSimObject, FaultKind::Fail);
    sendPosition();
    rounds(1);
    const std::string before = test::readWholeFile("Log.txt");
    EXPECT_NE(before.find(failure), std::string::npos) << before;

    sendPosition();
    gf_queueClientEvent(id, GEAR_SET, 1);
    sim_->step();  // a frame: the link is to send
    sim_->quit();  // and the simulator closes before it does
    gf_simLinkPoll();
    const std::string after = test::readWholeFile("Log.txt").substr(before.size());
    EXPECT_EQ(after.find("fails for object"), std::string::npos) << after;
    EXPECT_NE(after.find("2 SimConnect calls failed as the simulator closed"), std::string::npos) << after;
    EXPECT_TRUE(simQuit);
}

TEST_F(LinkTest, UserDataAndTheOnGroundReplyWhichIgnoresTheNullPosition) {
    sim_->setUtcStart(1790000000);  // 2026-09-21 14:13:20 UTC
    connect();
    EXPECT_EQ(gf_getUserAcData().latitude, 0.0);  // asks; nothing received yet
    rounds(2);
    const UserAcState u = gf_getUserAcData();
    EXPECT_NEAR(u.altAboveGround, 5.0, 1e-9);
    EXPECT_EQ(u.zuluYear * 10000 + u.zuluMonthOfYear * 100 + u.zuluDayOfMonth, 20260921);
    EXPECT_NEAR(u.zuluTime, 14 * 3600 + 13 * 60 + 20, 1.0);
    EXPECT_TRUE(tickFlag.exchange(false));
    EXPECT_DOUBLE_EQ(userOnGround.load().latitude, worldAirportLat);

    // The simulator's null position (no flight loaded yet) is not taken; just outside it is.
    UserKeyframe nowhere;
    nowhere.latitude = 0.0005;
    nowhere.onGround = false;
    for (const auto& [lon, taken] : {std::pair{0.04, false}, {0.051, true}}) {
        nowhere.longitude = lon;
        sim_->setUserScript({nowhere});
        rounds(31);
        EXPECT_TRUE(tickFlag.exchange(false));
        const UserOnGround g = userOnGround.load();
        EXPECT_EQ(g.value, taken ? 0u : 1u) << lon;
        EXPECT_DOUBLE_EQ(g.longitude, taken ? lon : worldAirportLon);
    }
    sim_->setPaused(true);  // no tick while paused
    rounds(90);
    EXPECT_FALSE(tickFlag);

    for (const auto& [lat, lon, null] : {std::tuple{0.0, 0.0, true}, {0.0009, 0.05, true}, {0.001, 0.0, false},
                                        {0.0, 0.0501, false}, {-0.0001, 0.0, false}, {0.0, -0.01, false}})
        EXPECT_EQ(gf_isNullPosition(lat, lon), null) << lat << "," << lon;
}

TEST_F(LinkTest, UserStandIsNamedAndSavedOnceWhileStandingStill) {
    std::vector<std::string> saved;
    gf_setStandNameHook([](double, double) { return std::string("B12"); });
    gf_setSaveUserStandHook([&](const std::string& stand) { saved.push_back(stand); });
    connect();
    rounds(90);  // three more seconds at the same stand
    EXPECT_EQ(userStand.load(), "B12");
    EXPECT_EQ(saved, std::vector<std::string>{"B12"});

    UserKeyframe rolling;  // named but not stored
    rolling.latitude = worldAirportLat;
    rolling.groundSpeed = 5.0;
    rolling.onGround = true;
    sim_->setUserScript({rolling});
    gf_setStandNameHook([](double, double) { return std::string("C3"); });
    rounds(31);
    EXPECT_EQ(userStand.load(), "C3");
    EXPECT_EQ(saved.size(), 1u);
}

TEST(FlightPlan, WritesAnAceXmlPlanWithOriginAndDestination) {
    test::TempWorkDir work;
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_TRUE(gf_createFlightPlanFolder());  // already there
    EXPECT_EQ(gf_flightPlanFolder(), work.path() / "config" / "Vandrel" / "orig_dest");
    const auto path = gf_flightPlanFolder() / gf_flightPlanFileName(4294967295u);
    EXPECT_EQ(path.filename(), "4294967295.pln");
    FlightPlanData plan;
    plan.departure = {"EHAM", true, 52.308601, 4.763889, -11.0};
    plan.destination = {"EGLL", true, 51.4706, -0.461941, 83.0};
    plan.cruisingAltitude = 24000.0;
    ASSERT_TRUE(gf_writeFlightPlan(path, plan));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str()));
    const auto fp = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    EXPECT_STREQ(fp.child_value("Title"), "EHAM to EGLL");
    EXPECT_STREQ(fp.child_value("CruisingAlt"), "24000");
    // Seconds rounding, hemisphere letters and the signed, padded altitude.
    EXPECT_STREQ(fp.child_value("DepartureLLA"), "N52\u00b0 18' 30.96\",E4\u00b0 45' 50.00\",-000011.00");
    EXPECT_STREQ(fp.child_value("DestinationLLA"), "N51\u00b0 28' 14.16\",W0\u00b0 27' 42.99\",+000083.00");
    std::vector<std::string> waypoints;
    for (auto wp : fp.children("ATCWaypoint")) waypoints.push_back(wp.child("ICAO").child_value("ICAOIdent"));
    EXPECT_EQ(waypoints, (std::vector<std::string>{"EHAM", "EGLL"}));

    // Refused: a missing or unsafe code, a missing folder.
    for (const auto& [dep, dest, file] : {std::tuple<std::string, std::string, std::string>{"", "EGLL", "a.pln"},
                                          {"EHAM", "", "b.pln"}, {"EH<M", "EGLL", "c.pln"},
                                          {"EHAM", "EGLL", "missing/d.pln"}}) {
        plan.departure.code = dep;
        plan.destination.code = dest;
        EXPECT_FALSE(gf_writeFlightPlan(file, plan)) << file;
        EXPECT_FALSE(std::filesystem::exists(file));
    }
    // Without known positions the plan still names both airports.
    FlightPlanData bare;
    bare.departure.code = "EHAM";
    bare.destination.code = "LFPG";
    ASSERT_TRUE(gf_writeFlightPlan("e.pln", bare));
    ASSERT_TRUE(doc.load_file("e.pln"));
    EXPECT_STREQ(doc.child("SimBase.Document").child("FlightPlan.FlightPlan").child_value("DestinationID"), "LFPG");
    EXPECT_FALSE(doc.child("SimBase.Document").child("FlightPlan.FlightPlan").child("DepartureLLA"));
}

}  // namespace
}  // namespace vdl
