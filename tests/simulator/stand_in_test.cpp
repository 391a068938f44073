#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>
#include <thread>

#include "simulator/stand_in.h"
#include "support/foundation_env.h"
#include "support/simulator_world.h"

namespace vdl {
namespace {

using test::makeWorld;
using test::worldAirportLat;
using test::worldAirportLon;

constexpr uint32_t DEF_LIST = 1;   // ATC id, on ground, ground altitude, height above ground
constexpr uint32_t DEF_POS = 2;    // latitude, longitude, altitude (degrees, feet)
constexpr uint32_t DEF_CG = 3;     // static CG (feet), static pitch (degrees)
constexpr uint32_t DEF_GROUND = 4; // on ground, latitude

constexpr uint32_t EV_NAV = 10;
constexpr uint32_t EV_FREEZE_POS = 11;
constexpr uint32_t EV_FREEZE_ALT = 12;
constexpr uint32_t EV_FREEZE_ATT = 13;
constexpr uint32_t EV_TOGGLE = 14;
constexpr uint32_t SYS_FRAME = 20;
constexpr uint32_t SYS_PAUSE = 21;
constexpr uint32_t SYS_SIM = 22;
constexpr uint32_t SYS_REMOVED = 23;
constexpr uint32_t SYS_FLIGHT = 24;

class StandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = makeWorld();
        ASSERT_EQ(sim_->open("test"), SIM_OK);
        define(DEF_LIST, "ATC ID", "", SimDataType::String32);
        define(DEF_LIST, "SIM ON GROUND", "bool", SimDataType::Int32);
        define(DEF_LIST, "GROUND ALTITUDE", "feet");
        define(DEF_LIST, "PLANE ALT ABOVE GROUND", "feet");
        define(DEF_POS, "PLANE LATITUDE", "degrees");
        define(DEF_POS, "PLANE LONGITUDE", "degrees");
        define(DEF_POS, "PLANE ALTITUDE", "feet");
        define(DEF_CG, "STATIC CG TO GROUND", "feet");
        define(DEF_CG, "STATIC PITCH", "degrees");
        define(DEF_GROUND, "SIM ON GROUND", "bool", SimDataType::Int32);
        define(DEF_GROUND, "PLANE LATITUDE", "degrees");
        sim_->mapClientEventToSimEvent(EV_NAV, "NAV_LIGHTS_SET");
        sim_->mapClientEventToSimEvent(EV_FREEZE_POS, "FREEZE_LATITUDE_LONGITUDE_SET");
        sim_->mapClientEventToSimEvent(EV_FREEZE_ALT, "FREEZE_ALTITUDE_SET");
        sim_->mapClientEventToSimEvent(EV_FREEZE_ATT, "FREEZE_ATTITUDE_SET");
        sim_->mapClientEventToSimEvent(EV_TOGGLE, "ALL_LIGHTS_TOGGLE");
        sim_->subscribeToSystemEvent(SYS_FRAME, "Frame");
        sim_->subscribeToSystemEvent(SYS_REMOVED, "ObjectRemoved");
        sim_->subscribeToSystemEvent(SYS_FLIGHT, "FlightLoaded");
        drain();
    }

    void define(uint32_t def, const char* name, const char* units,
                SimDataType type = SimDataType::Float64) {
        ASSERT_EQ(sim_->addToDataDefinition(def, name, units, type), SIM_OK);
    }

    std::vector<SimRecv> drain() {
        std::vector<SimRecv> all;
        SimRecv m;
        while (sim_->getNextDispatch(m) == SIM_OK) all.push_back(m);
        return all;
    }

    std::vector<SimRecv> stepAndDrain(int frames = 1) {
        sim_->stepFrames(frames);
        return drain();
    }

    static std::vector<SimRecv> only(const std::vector<SimRecv>& all, SimRecvId id) {
        std::vector<SimRecv> r;
        for (const auto& m : all)
            if (m.id == id) r.push_back(m);
        return r;
    }

    // Creates an object and steps until it exists; returns its id.
    uint32_t create(const char* title, const char* tail, double lat, double lon, double alt,
                    bool onGround, uint32_t requestId = 500) {
        SimInitPosition p;
        p.latitude = lat;
        p.longitude = lon;
        p.altitude = alt;
        p.heading = 90.0;
        p.onGround = onGround ? 1 : 0;
        EXPECT_EQ(sim_->aiCreateNonAtcAircraft(title, tail, p, requestId), SIM_OK);
        auto assigned = only(stepAndDrain(), SimRecvId::AssignedObjectId);
        EXPECT_EQ(assigned.size(), 1u);
        return assigned.empty() ? 0 : assigned[0].objectId;
    }

    std::shared_ptr<SimStandIn> sim_;
};

TEST_F(StandInTest, CreatedObjectsGetFreshIdsAndUnknownTitlesAreRefused) {
    SimInitPosition p;
    p.latitude = worldAirportLat;
    p.longitude = worldAirportLon;
    p.onGround = 1;
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft(test::worldTitleJet, "KLM123", p, 700), SIM_OK);
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft("Not Installed", "XXX1", p, 701), SIM_OK);
    uint32_t refusedSend = 0;
    sim_->getLastSentPacketId(refusedSend);
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft(test::worldTitleProp, "PHABC", p, 702), SIM_OK);

    const auto msgs = stepAndDrain();
    const auto assigned = only(msgs, SimRecvId::AssignedObjectId);
    const auto refused = only(msgs, SimRecvId::Exception);
    ASSERT_EQ(assigned.size(), 2u);
    EXPECT_EQ(assigned[0].requestId, 700u);
    EXPECT_EQ(assigned[0].objectId, 3u);
    EXPECT_EQ(assigned[1].requestId, 702u);
    EXPECT_EQ(assigned[1].objectId, 4u);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].exception, SimException::CreateObjectFailed);
    EXPECT_EQ(refused[0].sendId, refusedSend);

    // Placed on the ground at the terrain plus the title's static CG height, under AI control.
    auto jet = sim_->object(3);
    ASSERT_TRUE(jet);
    EXPECT_EQ(jet->tailNumber, "KLM123");
    EXPECT_DOUBLE_EQ(jet->altitude, test::worldAirportElevation + test::worldJetCg);
    EXPECT_FALSE(jet->aiReleased);
    EXPECT_FALSE(jet->frozen());

    // A removed id is never given again.
    ASSERT_EQ(sim_->aiRemoveObject(3, 1), SIM_OK);
    const auto removed = only(stepAndDrain(), SimRecvId::EventObjectAddRemove);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].objectId, 3u);
    EXPECT_EQ(removed[0].eventId, SYS_REMOVED);
    EXPECT_EQ(create(test::worldTitleJet, "KLM123", worldAirportLat, worldAirportLon, 0, true), 5u);
    EXPECT_EQ(sim_->liveObjectCount(), 2u);
    EXPECT_EQ(sim_->aiObjects().size(), 3u);
}

TEST_F(StandInTest, InRangeListGivesAtcIdGroundStateAndHeightAboveGround) {
    const uint32_t parked = create(test::worldTitleJet, "KLM1", worldAirportLat, worldAirportLon, 0, true);
    // 0.1 degrees north is 6 nm out, beyond the airport's blend: terrain 500 ft.
    const uint32_t low = create(test::worldTitleJet, "KLM2", worldAirportLat + 0.1, worldAirportLon, 2900, false, 501);
    create(test::worldTitleJet, "FAR1", worldAirportLat + 1.0, worldAirportLon, 3000, false, 502);

    ASSERT_EQ(sim_->requestDataOnSimObjectType(101, DEF_LIST, 20 * 1852, SimObjectType::Aircraft), SIM_OK);
    const auto list = only(stepAndDrain(), SimRecvId::SimObjectDataByType);
    ASSERT_EQ(list.size(), 3u);  // the user, the parked one and the low one
    struct Row {
        std::string atc;
        int32_t onGround;
        double ground;
        double agl;
    };
    std::map<uint32_t, Row> rows;
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].entryNumber, i + 1);
        EXPECT_EQ(list[i].outOf, 3u);
        SimDataReader r(list[i].data);
        Row row{r.text(SimDataType::String32), r.i32(), r.f64(), r.f64()};
        EXPECT_TRUE(r.atEnd());
        rows[list[i].objectId] = row;
    }
    ASSERT_TRUE(rows.count(SimStandIn::userObjectId));
    EXPECT_EQ(rows[SimStandIn::userObjectId].atc, "USER");
    EXPECT_EQ(rows[parked].atc, "KLM1");
    EXPECT_EQ(rows[parked].onGround, 1);
    EXPECT_DOUBLE_EQ(rows[parked].ground, test::worldAirportElevation);
    EXPECT_DOUBLE_EQ(rows[parked].agl, test::worldJetCg);
    EXPECT_EQ(rows[low].onGround, 0);
    EXPECT_DOUBLE_EQ(rows[low].ground, test::worldTerrainElevation);
    EXPECT_DOUBLE_EQ(rows[low].agl, 2400.0);

    // Radius 0: the user alone; beyond the simulator's limit: refused.
    sim_->requestDataOnSimObjectType(101, DEF_LIST, 0, SimObjectType::Aircraft);
    EXPECT_EQ(only(stepAndDrain(), SimRecvId::SimObjectDataByType).size(), 1u);
    sim_->requestDataOnSimObjectType(101, DEF_LIST, SimStandIn::maxRadiusMeters + 1, SimObjectType::Aircraft);
    const auto err = only(stepAndDrain(), SimRecvId::Exception);
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].exception, SimException::OutOfBounds);
}

TEST(StandInTerrain, AirportGroundBlendsIntoTheSurroundings) {
    auto sim = makeWorld();
    const double nmPerDegLat = 60.0;
    struct Case {
        double nm;
        double elevation;
    };
    for (const Case c : {Case{0.0, 100.0}, Case{2.9, 100.0}, Case{4.5, 300.0}, Case{7.0, 500.0}}) {
        SCOPED_TRACE(c.nm);
        EXPECT_NEAR(sim->terrainElevation(worldAirportLat + c.nm / nmPerDegLat, worldAirportLon),
                    c.elevation, 1.0);
    }
}

TEST_F(StandInTest, NoFramesNoTimeAndNoPerSecondDataWhilePaused) {
    sim_->subscribeToSystemEvent(SYS_PAUSE, "Pause");
    drain();
    ASSERT_EQ(sim_->requestDataOnSimObject(104, DEF_GROUND, SIM_OBJECT_ID_USER, SimPeriod::Second), SIM_OK);
    auto first = stepAndDrain();
    EXPECT_EQ(only(first, SimRecvId::SimObjectData).size(), 1u);  // the first answer at once
    EXPECT_EQ(only(first, SimRecvId::EventFrame).size(), 1u);
    EXPECT_FLOAT_EQ(only(first, SimRecvId::EventFrame)[0].frameRate, 30.0f);

    auto second = stepAndDrain(30);
    EXPECT_EQ(only(second, SimRecvId::SimObjectData).size(), 1u);
    EXPECT_EQ(only(second, SimRecvId::EventFrame).size(), 30u);

    sim_->setPaused(true);
    const double pausedAt = sim_->simTime();
    auto paused = stepAndDrain(90);
    EXPECT_TRUE(only(paused, SimRecvId::EventFrame).empty());
    EXPECT_TRUE(only(paused, SimRecvId::SimObjectData).empty());
    ASSERT_EQ(only(paused, SimRecvId::Event).size(), 1u);
    EXPECT_EQ(only(paused, SimRecvId::Event)[0].eventData, 1u);
    EXPECT_DOUBLE_EQ(sim_->simTime(), pausedAt);

    sim_->setPaused(false);
    auto resumed = stepAndDrain(30);
    EXPECT_EQ(only(resumed, SimRecvId::EventFrame).size(), 30u);
    EXPECT_EQ(only(resumed, SimRecvId::SimObjectData).size(), 1u);

    // A stopped flight gives no frames either.
    sim_->stopSim();
    EXPECT_TRUE(only(stepAndDrain(10), SimRecvId::EventFrame).empty());
}

TEST_F(StandInTest, StaticCgAndPitchComePerTitle) {
    const uint32_t jet = create(test::worldTitleJet, "J1", worldAirportLat, worldAirportLon, 0, true);
    const uint32_t prop = create(test::worldTitleProp, "P1", worldAirportLat, worldAirportLon, 0, true, 501);
    sim_->requestDataOnSimObject(102, DEF_CG, jet, SimPeriod::Once);
    sim_->requestDataOnSimObject(102, DEF_CG, prop, SimPeriod::Once);
    const auto data = only(stepAndDrain(), SimRecvId::SimObjectData);
    ASSERT_EQ(data.size(), 2u);
    SimDataReader j(data[0].data), p(data[1].data);
    EXPECT_EQ(data[0].objectId, jet);
    EXPECT_DOUBLE_EQ(j.f64(), test::worldJetCg);
    EXPECT_NEAR(j.f64(), test::worldJetPitch * 180.0 / std::numbers::pi, 1e-12);
    EXPECT_EQ(data[1].objectId, prop);
    EXPECT_DOUBLE_EQ(p.f64(), test::worldPropCg);
    EXPECT_NEAR(p.f64(), test::worldPropPitch * 180.0 / std::numbers::pi, 1e-12);
    // Once means once.
    EXPECT_TRUE(only(stepAndDrain(60), SimRecvId::SimObjectData).empty());
}

TEST_F(StandInTest, FaultsFailDelayOrSwallowAnAnswer) {
    struct Case {
        const char* name;
        FaultKind kind;
        uint32_t delay;
        SimResult result;
        int framesUntilAnswer;  // -1: never
        bool objectMade;
    };
    const Case cases[] = {
        {"fail", FaultKind::Fail, 0, SIM_FAIL, -1, false},
        {"late", FaultKind::Late, 5, SIM_OK, 6, true},
        {"missing", FaultKind::Missing, 0, SIM_OK, -1, true},
    };
    uint32_t request = 900;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = sim_->liveObjectCount();
        sim_->injectFault(SimCall::AICreateNonATCAircraft, c.kind, 1, c.delay, request);
        SimInitPosition p;
        p.latitude = worldAirportLat;
        p.longitude = worldAirportLon;
        EXPECT_EQ(sim_->aiCreateNonAtcAircraft(test::worldTitleJet, c.name, p, request), c.result);
        int answeredAt = -1;
        for (int f = 1; f <= 10 && answeredAt < 0; ++f)
            if (!only(stepAndDrain(), SimRecvId::AssignedObjectId).empty()) answeredAt = f;
        EXPECT_EQ(answeredAt, c.framesUntilAnswer);
        EXPECT_EQ(sim_->liveObjectCount(), before + (c.objectMade ? 1 : 0));
        EXPECT_EQ(sim_->calls().back().failed, c.kind == FaultKind::Fail);
        ++request;
    }
    // The fault was used up: the next create is answered normally.
    EXPECT_NE(create(test::worldTitleJet, "OK1", worldAirportLat, worldAirportLon, 0, true, 900), 0u);
}

TEST_F(StandInTest, RecordsEveryCallAndTheTrackOfEachObject) {
    const uint32_t id = create(test::worldTitleJet, "KLM9", worldAirportLat, worldAirportLon, 0, true);
    sim_->aiReleaseControl(id, 1);
    for (uint32_t ev : {EV_FREEZE_POS, EV_FREEZE_ALT, EV_FREEZE_ATT}) sim_->transmitClientEvent(id, ev, 1, 301, 0);
    sim_->transmitClientEvent(id, EV_NAV, 1, 301, 0);
    sim_->stepFrames(1);
    // One degree of latitude per hour is 60 kt: move 1/60 degree over one minute of frames.
    const int frames = 30 * 60;
    for (int f = 1; f <= frames; ++f) {
        const double block[3] = {worldAirportLat + (1.0 / 60.0) * f / frames, worldAirportLon, 1500.0};
        sim_->setDataOnSimObject(DEF_POS, id, 0, 1, sizeof block, block);
        sim_->step();
    }
    sim_->transmitClientEvent(id, EV_TOGGLE, 0, 301, 0);
    sim_->aiRemoveObject(id, 2);
    sim_->stepFrames(1);

    const auto o = sim_->object(id);
    ASSERT_TRUE(o);
    EXPECT_TRUE(o->aiReleased);
    EXPECT_TRUE(o->frozen());
    EXPECT_TRUE(o->removed);
    EXPECT_FALSE(o->lights.nav);  // on, then toggled
    EXPECT_TRUE(o->lights.beacon);
    ASSERT_EQ(o->track.size(), static_cast<std::size_t>(frames) + 1);
    EXPECT_NEAR(o->track.back().groundSpeed, 60.0, 0.5);
    EXPECT_FALSE(o->track.back().onGround);
    EXPECT_DOUBLE_EQ(o->track.back().altitude, 1500.0);
    EXPECT_TRUE(o->track.front().onGround);
    EXPECT_NEAR(o->track.back().time - o->track[1].time, (frames - 1) / 30.0, 1e-6);

    std::vector<std::string> names;
    for (const auto& e : o->events) names.push_back(e.name);
    const std::vector<std::string> expectedEvents{
        "created", "AI released", "FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET",
        "FREEZE_ATTITUDE_SET", "NAV_LIGHTS_SET", "ALL_LIGHTS_TOGGLE", "removed"};
    EXPECT_EQ(names, expectedEvents);

    const auto calls = sim_->callsFor(id);
    ASSERT_EQ(calls.size(), 6u + frames + 2);
    EXPECT_EQ(calls[0].call, SimCall::AICreateNonATCAircraft);
    EXPECT_EQ(calls[1].call, SimCall::AIReleaseControl);
    EXPECT_EQ(calls[2].detail, "FREEZE_LATITUDE_LONGITUDE_SET 1 group 301");
    EXPECT_EQ(calls[6].call, SimCall::SetDataOnSimObject);
    EXPECT_EQ(calls.back().call, SimCall::AIRemoveObject);
}

TEST_F(StandInTest, BadRequestsComeBackAsExceptions) {
    struct Case {
        const char* name;
        std::function<SimResult()> call;
        SimException expected;
    };
    const uint32_t id = create(test::worldTitleJet, "E1", worldAirportLat, worldAirportLon, 0, true);
    const double three[3] = {1, 2, 3};
    const Case cases[] = {
        {"unknown variable", [&] { return sim_->addToDataDefinition(9, "NO SUCH VAR", "feet", SimDataType::Float64); },
         SimException::NameUnrecognized},
        {"unknown unit", [&] { return sim_->addToDataDefinition(9, "PLANE ALTITUDE", "furlongs", SimDataType::Float64); },
         SimException::UnrecognizedUnits},
        {"read-only variable", [&] {
             define(5, "GROUND ALTITUDE", "feet");
             return sim_->setDataOnSimObject(5, id, 0, 1, sizeof(double), three);
         },
         SimException::Error},
        {"block of the wrong size", [&] { return sim_->setDataOnSimObject(DEF_POS, id, 0, 1, 16, three); },
         SimException::OutOfBounds},
        {"unknown object", [&] { return sim_->setDataOnSimObject(DEF_POS, 77, 0, 1, sizeof three, three); },
         SimException::UnrecognizedId},
        {"unmapped event", [&] { return sim_->transmitClientEvent(id, 99, 1, 301, 0); },
         SimException::UnrecognizedId},
        {"remove the user", [&] { return sim_->aiRemoveObject(SIM_OBJECT_ID_USER, 1); },
         SimException::UnrecognizedId},
        {"missing plan file", [&] { return sim_->aiSetAircraftFlightPlan(id, "/nonexistent/1.pln", 110); },
         SimException::LoadFlightplanFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), SIM_OK);  // accepted; the error comes as a message
        uint32_t sendId = 0;
        sim_->getLastSentPacketId(sendId);
        const auto errors = only(stepAndDrain(), SimRecvId::Exception);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].exception, c.expected);
        EXPECT_EQ(errors[0].sendId, sendId);
    }
}

TEST_F(StandInTest, FlightPlanIsTakenFromAnExistingFile) {
    test::TempWorkDir work;
    const uint32_t id = create(test::worldTitleJet, "F1", worldAirportLat, worldAirportLon, 0, true);
    { std::ofstream("7.pln") << "<SimBase.Document/>"; }
    const auto path = (work.path() / "7.pln").string();
    sim_->aiSetAircraftFlightPlan(id, path, 110);
    EXPECT_TRUE(only(stepAndDrain(), SimRecvId::Exception).empty());
    EXPECT_EQ(sim_->object(id)->flightPlan, path);
}

TEST_F(StandInTest, ClosingTakesTheClientsObjectsAwayAndCallsThenFail) {
    create(test::worldTitleJet, "C1", worldAirportLat, worldAirportLon, 0, true);
    create(test::worldTitleJet, "C2", worldAirportLat, worldAirportLon, 0, true, 501);
    sim_->close();
    EXPECT_EQ(sim_->liveObjectCount(), 0u);
    SimInitPosition p;
    EXPECT_EQ(sim_->aiCreateNonAtcAircraft(test::worldTitleJet, "C3", p, 1), SIM_FAIL);
    // A new client continues the ids.
    ASSERT_EQ(sim_->open("again"), SIM_OK);
    EXPECT_EQ(sim_->open("twice"), SIM_FAIL);
    drain();
    EXPECT_EQ(create(test::worldTitleJet, "C4", worldAirportLat, worldAirportLon, 0, true), 5u);
}

TEST_F(StandInTest, SimulatorStateEventsAndQuit) {
    // A subscriber is told the state at once.
    sim_->subscribeToSystemEvent(SYS_SIM, "Sim");
    auto now = only(drain(), SimRecvId::Event);
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0].eventId, SYS_SIM);
    EXPECT_EQ(now[0].eventData, 1u);
    sim_->stopSim();
    sim_->startSim();
    auto changes = only(drain(), SimRecvId::Event);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].eventData, 0u);
    EXPECT_EQ(changes[1].eventData, 1u);
    sim_->loadFlight("flight.FLT");
    auto loaded = only(drain(), SimRecvId::EventFilename);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].fileName, "flight.FLT");

    sim_->quit();
    EXPECT_EQ(only(drain(), SimRecvId::Quit).size(), 1u);
    SimInitPosition p;
    EXPECT_EQ(sim_->aiCreateNonAtcAircraft(test::worldTitleJet, "Q1", p, 1), SIM_FAIL);
    sim_->close();
    EXPECT_EQ(sim_->open("after quit"), SIM_FAIL);
}

TEST(StandInUser, ScriptedUserAircraftIsInterpolated) {
    auto sim = makeWorld();
    UserKeyframe a;
    a.time = 0;
    a.latitude = 50.0;
    a.altitude = 1000;
    a.heading = 350.0 * std::numbers::pi / 180.0;
    a.groundSpeed = 100;
    a.onGround = false;
    UserKeyframe b = a;
    b.time = 10;
    b.latitude = 51.0;
    b.altitude = 2000;
    b.heading = 10.0 * std::numbers::pi / 180.0;
    b.groundSpeed = 200;
    sim->setUserScript({b, a});  // order does not matter
    sim->stepSeconds(5.0);
    const auto u = sim->userAircraft();
    EXPECT_NEAR(u.latitude, 50.5, 1e-9);
    EXPECT_NEAR(u.altitude, 1500.0, 1e-6);
    EXPECT_NEAR(u.groundSpeed, 150.0, 1e-6);
    EXPECT_NEAR(std::remainder(u.heading, 2 * std::numbers::pi), 0.0, 1e-9);  // across north
    sim->stepSeconds(20.0);
    EXPECT_NEAR(sim->userAircraft().latitude, 51.0, 1e-12);
}

TEST(StandInThread, FrameThreadRunsFramesUntilStopped) {
    auto sim = makeWorld();
    sim->setFrameRate(200.0);
    sim->startFrameThread();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (sim->frameCount() < 20 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    sim->stopFrameThread();
    const uint64_t frames = sim->frameCount();
    EXPECT_GE(frames, 20u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(sim->frameCount(), frames);
    EXPECT_GT(sim->simTime(), 0.0);
}

}  // namespace
}  // namespace vdl

namespace vdl {
namespace {

TEST(StandInLimits, LongRunsForgetTheOldestRecords) {
    auto sim = makeWorld();
    sim->setRecordLimits({5, 3, 1});
    ASSERT_EQ(sim->open("limits"), SIM_OK);
    sim->addToDataDefinition(1, "PLANE ALTITUDE", "feet", SimDataType::Float64);
    SimInitPosition p;
    p.latitude = worldAirportLat;
    p.longitude = worldAirportLon;
    for (uint32_t r = 0; r < 3; ++r) sim->aiCreateNonAtcAircraft(test::worldTitleJet, "L", p, r);
    sim->step();
    for (int i = 0; i < 10; ++i) {
        const double alt = 1000.0 + i;
        sim->setDataOnSimObject(1, 3, 0, 1, sizeof alt, &alt);
        sim->step();
    }
    const auto o = sim->object(3);
    ASSERT_TRUE(o);
    ASSERT_EQ(o->track.size(), 3u);
    EXPECT_DOUBLE_EQ(o->track.back().altitude, 1009.0);
    EXPECT_DOUBLE_EQ(o->track.front().altitude, 1007.0);
    EXPECT_EQ(sim->calls().size(), 5u);

    sim->aiRemoveObject(4, 1);
    sim->aiRemoveObject(5, 1);
    sim->step();
    // Only the last removed object is kept; ids still are not given again.
    std::vector<uint32_t> ids;
    for (const auto& a : sim->aiObjects()) ids.push_back(a.id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{3, 5}));
    sim->aiCreateNonAtcAircraft(test::worldTitleJet, "L", p, 9);
    sim->step();
    EXPECT_TRUE(sim->object(6).has_value());
}

}  // namespace
}  // namespace vdl
