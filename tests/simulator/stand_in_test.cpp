// The stand-in simulator stepped by the test, and its track file.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>

#include "foundation/units.h"
#include "simulator/stand_in.h"
#include "simulator/track_file.h"
#include "support/foundation_env.h"
#include "support/simulator_world.h"

namespace vdl {
namespace {

using test::makeWorld;
using test::worldAirportLat;
using test::worldAirportLon;
using test::worldTitleJet;

constexpr uint32_t DEF_LIST = 1;  // ATC id, on ground, ground altitude, height above ground
constexpr uint32_t DEF_POS = 2;   // latitude, longitude, altitude
constexpr uint32_t EV_NAV = 10, EV_FREEZE_POS = 11, EV_FREEZE_ALT = 12, EV_FREEZE_ATT = 13, EV_TOGGLE = 14;
constexpr uint32_t SYS_PAUSE = 21, SYS_REMOVED = 23;

class StandInTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = makeWorld();
        ASSERT_EQ(sim_->open("test"), SIM_OK);
        const std::tuple<uint32_t, const char*, const char*, SimDataType> defs[] = {
            {DEF_LIST, "ATC ID", "", SimDataType::String32},
            {DEF_LIST, "SIM ON GROUND", "bool", SimDataType::Int32},
            {DEF_LIST, "GROUND ALTITUDE", "feet", SimDataType::Float64},
            {DEF_LIST, "PLANE ALT ABOVE GROUND", "feet", SimDataType::Float64},
            {DEF_POS, "PLANE LATITUDE", "degrees", SimDataType::Float64},
            {DEF_POS, "PLANE LONGITUDE", "degrees", SimDataType::Float64},
            {DEF_POS, "PLANE ALTITUDE", "feet", SimDataType::Float64},
        };
        for (const auto& [def, name, units, type] : defs)
            ASSERT_EQ(sim_->addToDataDefinition(def, name, units, type), SIM_OK);
        sim_->mapClientEventToSimEvent(EV_NAV, "NAV_LIGHTS_SET");
        sim_->mapClientEventToSimEvent(EV_FREEZE_POS, "FREEZE_LATITUDE_LONGITUDE_SET");
        sim_->mapClientEventToSimEvent(EV_FREEZE_ALT, "FREEZE_ALTITUDE_SET");
        sim_->mapClientEventToSimEvent(EV_FREEZE_ATT, "FREEZE_ATTITUDE_SET");
        sim_->mapClientEventToSimEvent(EV_TOGGLE, "ALL_LIGHTS_TOGGLE");
        sim_->subscribeToSystemEvent(SYS_REMOVED, "ObjectRemoved");
        drain();
    }

    // Six seconds at 30 frames a second of an object flying north at 60 kt, `eachFrame` after
    // every position set; answers the frame count.
    template <class EachFrame>
    int flyNorthSixSeconds(uint32_t object, EachFrame eachFrame) {
        const int frames = 30 * 6;
        for (int f = 1; f <= frames; ++f) {
            const double block[3] = {worldAirportLat + (1.0 / 600.0) * f / frames, worldAirportLon, 1500.0};
            sim_->setDataOnSimObject(DEF_POS, object, 0, 1, sizeof block, block);
            eachFrame(f);
            sim_->step();
        }
        return frames;
    }

    std::vector<SimRecv> drain() {
        std::vector<SimRecv> all;
        SimRecv m;
        while (sim_->getNextDispatch(m) == SIM_OK) all.push_back(m);
        return all;
    }
    std::vector<SimRecv> step(SimRecvId id, int frames = 1) {
        sim_->stepFrames(frames);
        return only(drain(), id);
    }
    static std::vector<SimRecv> only(const std::vector<SimRecv>& all, SimRecvId id) {
        std::vector<SimRecv> r;
        for (const auto& m : all)
            if (m.id == id) r.push_back(m);
        return r;
    }

    static SimInitPosition onAirportGround() {
        SimInitPosition p;
        p.latitude = worldAirportLat;
        p.longitude = worldAirportLon;
        p.onGround = 1;
        return p;
    }

    // Creates an object and steps until it exists; returns its id.
    uint32_t create(const char* tail, double latOffset = 0, double alt = 0, bool onGround = true,
                    const char* title = worldTitleJet) {
        SimInitPosition p;
        p.latitude = worldAirportLat + latOffset;
        p.longitude = worldAirportLon;
        p.altitude = alt;
        p.onGround = onGround ? 1 : 0;
        EXPECT_EQ(sim_->aiCreateNonAtcAircraft(title, tail, p, 500), SIM_OK);
        auto assigned = step(SimRecvId::AssignedObjectId);
        EXPECT_EQ(assigned.size(), 1u);
        return assigned.empty() ? 0 : assigned[0].objectId;
    }

    std::shared_ptr<SimStandIn> sim_;
};

TEST_F(StandInTest, CreatedObjectsGetFreshIdsAndUnknownTitlesAreRefused) {
    const SimInitPosition p = onAirportGround();
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft(worldTitleJet, "KLM123", p, 700), SIM_OK);
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft("Not Installed", "XXX1", p, 701), SIM_OK);
    uint32_t refusedSend = 0;
    sim_->getLastSentPacketId(refusedSend);
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft(test::worldTitleProp, "PHABC", p, 702), SIM_OK);

    const auto msgs = (sim_->step(), drain());
    const auto assigned = only(msgs, SimRecvId::AssignedObjectId);
    const auto refused = only(msgs, SimRecvId::Exception);
    ASSERT_EQ(assigned.size(), 2u);
    EXPECT_EQ(assigned[0].requestId, 700u);
    EXPECT_EQ(assigned[0].objectId, 3u);
    EXPECT_EQ(assigned[1].objectId, 4u);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].exception, SimException::CreateObjectFailed);
    EXPECT_EQ(refused[0].sendId, refusedSend);

    // On the ground at terrain plus the title's static CG, still under AI control.
    EXPECT_DOUBLE_EQ(sim_->object(3)->altitude, test::worldAirportElevation + test::worldJetCg);
    EXPECT_FALSE(sim_->object(3)->aiReleased || sim_->object(3)->frozen());

    // A removed id is never given again, not even to a new client.
    ASSERT_EQ(sim_->aiRemoveObject(3, 1), SIM_OK);
    const auto removed = step(SimRecvId::EventObjectAddRemove);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].objectId, 3u);
    EXPECT_EQ(removed[0].eventId, SYS_REMOVED);
    EXPECT_EQ(create("KLM123"), 5u);
    sim_->close();
    EXPECT_EQ(sim_->liveObjectCount(), 0u);  // closing takes the client's objects away
    EXPECT_EQ(sim_->aiCreateNonAtcAircraft(worldTitleJet, "C3", p, 1), SIM_FAIL);
    ASSERT_EQ(sim_->open("again"), SIM_OK);
    EXPECT_EQ(sim_->open("twice"), SIM_FAIL);
    drain();
    EXPECT_EQ(create("C4"), 6u);
}

TEST_F(StandInTest, InRangeListGivesAtcIdGroundStateAndHeightAboveGround) {
    const uint32_t parked = create("KLM1");
    // 0.1 degrees north is 6 nm out, beyond the airport's blend: terrain 500 ft.
    const uint32_t low = create("KLM2", 0.1, 2900, false);
    create("FAR1", 1.0, 3000, false);

    ASSERT_EQ(sim_->requestDataOnSimObjectType(101, DEF_LIST, 20 * 1852, SimObjectType::Aircraft), SIM_OK);
    const auto list = step(SimRecvId::SimObjectDataByType);
    ASSERT_EQ(list.size(), 3u);  // the user, the parked one and the low one
    struct Row {
        std::string atc;
        int32_t onGround;
        double ground, agl;
    };
    std::map<uint32_t, Row> rows;
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].entryNumber, i + 1);
        EXPECT_EQ(list[i].outOf, 3u);
        SimDataReader r(list[i].data);
        rows[list[i].objectId] = Row{r.text(SimDataType::String32), r.i32(), r.f64(), r.f64()};
        EXPECT_TRUE(r.atEnd());
    }
    EXPECT_EQ(rows[SimStandIn::userObjectId].atc, "USER");
    EXPECT_EQ(rows[parked].atc, "KLM1");
    EXPECT_EQ(std::tuple(rows[parked].onGround, rows[parked].ground, rows[parked].agl),
              std::tuple(1, test::worldAirportElevation, test::worldJetCg));
    EXPECT_EQ(std::tuple(rows[low].onGround, rows[low].ground, rows[low].agl),
              std::tuple(0, test::worldTerrainElevation, 2400.0));

    // Radius 0: the user alone; beyond the simulator's limit: refused.
    sim_->requestDataOnSimObjectType(101, DEF_LIST, 0, SimObjectType::Aircraft);
    EXPECT_EQ(step(SimRecvId::SimObjectDataByType).size(), 1u);
    sim_->requestDataOnSimObjectType(101, DEF_LIST, SimStandIn::maxRadiusMeters + 1, SimObjectType::Aircraft);
    const auto err = step(SimRecvId::Exception);
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].exception, SimException::OutOfBounds);
}

TEST_F(StandInTest, NoFramesNoTimeAndNoPerSecondDataWhilePaused) {
    sim_->subscribeToSystemEvent(SYS_PAUSE, "Pause");
    sim_->subscribeToSystemEvent(20, "Frame");
    drain();
    ASSERT_EQ(sim_->requestDataOnSimObject(104, DEF_POS, SIM_OBJECT_ID_USER, SimPeriod::Second), SIM_OK);
    auto counts = [&](int frames) {
        sim_->stepFrames(frames);
        const auto all = drain();
        return std::pair{only(all, SimRecvId::EventFrame).size(), only(all, SimRecvId::SimObjectData).size()};
    };
    EXPECT_EQ(counts(1), (std::pair<std::size_t, std::size_t>{1, 1}));  // the first answer at once
    EXPECT_EQ(counts(30), (std::pair<std::size_t, std::size_t>{30, 1}));

    sim_->setPaused(true);
    const double pausedAt = sim_->simTime();
    EXPECT_EQ(counts(90), (std::pair<std::size_t, std::size_t>{0, 0}));
    EXPECT_DOUBLE_EQ(sim_->simTime(), pausedAt);

    sim_->setPaused(false);
    EXPECT_EQ(counts(30), (std::pair<std::size_t, std::size_t>{30, 1}));
    sim_->stopSim();  // a stopped flight gives no frames either
    EXPECT_EQ(counts(10).first, 0u);
}

TEST_F(StandInTest, FaultsFailDelayOrSwallowAnAnswer) {
    struct Case {
        FaultKind kind;
        uint32_t delay;
        SimResult result;
        int framesUntilAnswer;  // -1: never
        bool objectMade;
    };
    const Case cases[] = {
        {FaultKind::Fail, 0, SIM_FAIL, -1, false},
        {FaultKind::Late, 5, SIM_OK, 6, true},
        {FaultKind::Missing, 0, SIM_OK, -1, true},
    };
    uint32_t request = 900;
    for (const auto& c : cases) {
        SCOPED_TRACE(request);
        const std::size_t before = sim_->liveObjectCount();
        sim_->injectFault(SimCall::AICreateNonATCAircraft, c.kind, 1, c.delay, request);
        SimInitPosition p;
        p.latitude = worldAirportLat;
        p.longitude = worldAirportLon;
        EXPECT_EQ(sim_->aiCreateNonAtcAircraft(worldTitleJet, "F", p, request), c.result);
        int answeredAt = -1;
        for (int f = 1; f <= 10 && answeredAt < 0; ++f)
            if (!step(SimRecvId::AssignedObjectId).empty()) answeredAt = f;
        EXPECT_EQ(answeredAt, c.framesUntilAnswer);
        EXPECT_EQ(sim_->liveObjectCount(), before + (c.objectMade ? 1 : 0));
        EXPECT_EQ(sim_->calls().back().failed, c.kind == FaultKind::Fail);
        ++request;
    }
    EXPECT_NE(create("OK1"), 0u);  // the faults were used up
}

// The program's way: the file has every point and event as they came, the objects and the call
// log stay small however long the run.
TEST_F(StandInTest, StreamedTracksReachTheFileWhileTheObjectsKeepOnlyTheLatestPoint) {
    test::TempWorkDir dir;
    const auto path = dir.path() / "tracks.json";
    RecordLimits limits;
    limits.maxCalls = 100;
    sim_->setRecordLimits(limits);
    ASSERT_TRUE(sim_->streamTracksTo(path));
    const uint32_t moving = create("KLM7");
    const uint32_t parked = create("KLM8");
    const int frames = flyNorthSixSeconds(moving, [](int) {});
    sim_->transmitClientEvent(moving, EV_NAV, 1, 301, 0);
    sim_->aiRemoveObject(parked, 1);
    sim_->stepFrames(1);

    const auto o = sim_->object(moving);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->track.size(), 1u);
    EXPECT_TRUE(o->events.empty());
    EXPECT_TRUE(o->lights.nav);
    EXPECT_EQ(sim_->calls().size(), 100u);
    EXPECT_THROW(gf_readTrackFile(path), std::runtime_error) << "not finished yet";

    EXPECT_EQ(sim_->finishTracks(), std::optional<std::size_t>(2));
    const auto read = gf_readTrackFile(path);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(std::tuple(read[0].id, read[0].tailNumber, read[0].removed),
              std::tuple(moving, std::string("KLM7"), false));
    ASSERT_EQ(read[0].track.size(), static_cast<std::size_t>(frames) + 1);
    EXPECT_NEAR(read[0].track.back().groundSpeed, 60.0, 0.5);
    EXPECT_DOUBLE_EQ(read[0].track.back().latitude, o->track.back().latitude);
    ASSERT_EQ(read[0].events.size(), 2u);
    EXPECT_EQ(read[0].events[1].name, "NAV_LIGHTS_SET");
    EXPECT_TRUE(read[1].removed);
    ASSERT_EQ(read[1].events.size(), 2u);
    EXPECT_EQ(read[1].events[1].name, "removed");

    // Afterwards the objects keep their records again; the toggle flips every light.
    sim_->transmitClientEvent(moving, EV_TOGGLE, 0, 301, 0);
    sim_->stepFrames(1);
    EXPECT_EQ(sim_->object(moving)->events.size(), 1u);
    EXPECT_FALSE(sim_->object(moving)->lights.nav);
    EXPECT_TRUE(sim_->object(moving)->lights.beacon);
}

// A soak's file: one point a second per object, every event and removal still there.
TEST_F(StandInTest, ThinnedTracksKeepEveryEventAndRemoval) {
    test::TempWorkDir dir;
    const auto path = dir.path() / "tracks.json";
    RecordLimits limits;
    limits.streamedPointSeconds = 1.0;
    sim_->setRecordLimits(limits);
    ASSERT_TRUE(sim_->streamTracksTo(path));
    const uint32_t moving = create("KLM7");
    const uint32_t parked = create("KLM8");
    flyNorthSixSeconds(moving, [&](int f) {
        if (f % 45 == 0) sim_->transmitClientEvent(moving, EV_NAV, f / 45 % 2, 301, 0);
    });
    sim_->aiRemoveObject(parked, 1);
    sim_->stepFrames(1);
    ASSERT_EQ(sim_->finishTracks(), std::optional<std::size_t>(2));
    const auto read = gf_readTrackFile(path);
    ASSERT_EQ(read.size(), 2u);
    const auto& track = read[0].track;
    ASSERT_GE(track.size(), 6u);
    EXPECT_LE(track.size(), 8u);
    for (std::size_t i = 1; i < track.size(); ++i) EXPECT_GE(track[i].time - track[i - 1].time, 1.0 - 1e-9);
    EXPECT_NEAR(track.back().groundSpeed, 60.0, 0.5);  // of the last frame, not of the thinned gap
    EXPECT_EQ(read[0].events.size(), 5u);  // created, and four light sets
    EXPECT_TRUE(read[1].removed);
    EXPECT_EQ(read[1].events.back().name, "removed");
}

// A soak counts the calls that reach objects the world does not know or has removed; calls on
// live objects and the user aircraft are not such calls.
TEST_F(StandInTest, CallsOnRemovedOrUnknownObjectsAreRecordedAsStrays) {
    test::TempWorkDir dir;
    const auto path = dir.path() / "tracks.json";
    ASSERT_TRUE(sim_->streamTracksTo(path));
    const uint32_t gone = create("KLM9");
    const uint32_t kept = create("KLM10");
    sim_->aiRemoveObject(gone, 1);
    sim_->stepFrames(1);
    const double block[3] = {worldAirportLat, worldAirportLon, 1500.0};
    sim_->setDataOnSimObject(DEF_POS, gone, 0, 1, sizeof block, block);
    sim_->transmitClientEvent(gone, EV_NAV, 1, 301, 0);
    sim_->aiRemoveObject(gone, 2);
    sim_->requestDataOnSimObject(600, DEF_LIST, gone, SimPeriod::Once);
    sim_->transmitClientEvent(9999, EV_NAV, 1, 301, 0);
    sim_->setDataOnSimObject(DEF_POS, kept, 0, 1, sizeof block, block);
    sim_->setDataOnSimObject(DEF_POS, SIM_OBJECT_ID_USER, 0, 1, sizeof block, block);
    sim_->transmitClientEvent(SIM_OBJECT_ID_USER, EV_NAV, 1, 301, 0);
    sim_->stepFrames(1);

    const std::vector<std::pair<uint32_t, std::string>> expected = {{gone, "SetDataOnSimObject"},
                                                                    {gone, "TransmitClientEvent"},
                                                                    {gone, "AIRemoveObject"},
                                                                    {gone, "RequestDataOnSimObject"},
                                                                    {9999, "TransmitClientEvent"}};
    const auto strays = sim_->strayCalls();
    ASSERT_EQ(strays.size(), expected.size());
    for (std::size_t i = 0; i < strays.size(); ++i)
        EXPECT_EQ(std::pair(strays[i].objectId, strays[i].call), expected[i]) << i;
    ASSERT_TRUE(sim_->finishTracks());
    const auto contents = gf_readTrackContents(path);
    ASSERT_EQ(contents.strays.size(), expected.size());
    EXPECT_EQ(std::pair(contents.strays[4].objectId, contents.strays[4].call), expected[4]);
    EXPECT_GT(contents.strays[0].time, 0.0);
    ASSERT_EQ(contents.tracks.size(), 2u);
    EXPECT_TRUE(contents.tracks[0].removed);
    EXPECT_FALSE(contents.tracks[1].track.empty());
    const auto withoutPoints = gf_readTrackContents(path, false);
    EXPECT_TRUE(withoutPoints.tracks[1].track.empty());
    EXPECT_EQ(withoutPoints.tracks[1].events.size(), contents.tracks[1].events.size());
    EXPECT_EQ(withoutPoints.strays.size(), expected.size());
}

// What the simulator received before it quits is answered ahead of the Quit; its objects go
// with it, and nothing is accepted afterwards.
TEST_F(StandInTest, QuitAnswersWhatCameBeforeAndTakesTheObjects) {
    const uint32_t first = create("KLM1");
    const SimInitPosition p = onAirportGround();
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft(worldTitleJet, "KLM2", p, 501), SIM_OK);
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft("Airbus A380 Nobody", "BAW1", p, 502), SIM_OK);
    sim_->injectFault(SimCall::AICreateNonATCAircraft, FaultKind::Late, 1, 20);
    ASSERT_EQ(sim_->aiCreateNonAtcAircraft(worldTitleJet, "KLM3", p, 503), SIM_OK);
    sim_->quit();

    std::vector<SimRecvId> kinds;
    std::vector<uint32_t> requests;
    for (const auto& m : drain()) {
        kinds.push_back(m.id);
        if (m.id == SimRecvId::AssignedObjectId) requests.push_back(m.requestId);
    }
    EXPECT_EQ(kinds, (std::vector{SimRecvId::AssignedObjectId, SimRecvId::Exception, SimRecvId::AssignedObjectId,
                                  SimRecvId::Quit}));
    EXPECT_EQ(requests, (std::vector<uint32_t>{501, 503}));
    const auto objects = sim_->aiObjects();
    ASSERT_EQ(objects.size(), 3u);
    for (const auto& o : objects) {
        EXPECT_TRUE(o.removed) << o.tailNumber;
        EXPECT_EQ(o.events.back().name, "removed at quit") << o.tailNumber;
    }
    EXPECT_EQ(sim_->aiCreateNonAtcAircraft(worldTitleJet, "KLM4", p, 504), SIM_FAIL);
    EXPECT_EQ(sim_->aiRemoveObject(first, 505), SIM_FAIL);
    sim_->close();
    EXPECT_EQ(sim_->object(first)->events.back().name, "removed at quit") << "not removed twice";
}

TEST_F(StandInTest, BadRequestsComeBackAsExceptions) {
    const uint32_t id = create("E1");
    const double three[3] = {1, 2, 3};
    ASSERT_EQ(sim_->addToDataDefinition(5, "GROUND ALTITUDE", "feet", SimDataType::Float64), SIM_OK);
    const std::pair<std::function<SimResult()>, SimException> cases[] = {
        {[&] { return sim_->addToDataDefinition(9, "NO SUCH VAR", "feet", SimDataType::Float64); },
         SimException::NameUnrecognized},
        {[&] { return sim_->setDataOnSimObject(5, id, 0, 1, sizeof(double), three); }, SimException::Error},
        {[&] { return sim_->setDataOnSimObject(DEF_POS, id, 0, 1, 16, three); }, SimException::OutOfBounds},
        {[&] { return sim_->aiRemoveObject(SIM_OBJECT_ID_USER, 1); }, SimException::UnrecognizedId},
        {[&] { return sim_->aiSetAircraftFlightPlan(id, "/nonexistent/1.pln", 110); },
         SimException::LoadFlightplanFailed},
    };
    int i = 0;
    for (const auto& [call, expected] : cases) {
        SCOPED_TRACE(i++);
        EXPECT_EQ(call(), SIM_OK);  // accepted; the error comes as a message
        uint32_t sendId = 0;
        sim_->getLastSentPacketId(sendId);
        const auto errors = step(SimRecvId::Exception);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].exception, expected);
        EXPECT_EQ(errors[0].sendId, sendId);
    }
}

TEST(StandInUser, ScriptedUserAircraftIsInterpolatedAcrossNorth) {
    auto sim = makeWorld();
    UserKeyframe a, b;
    a.latitude = 50.0;
    a.heading = degToRad(350.0);
    b.time = 10;
    b.latitude = 51.0;
    b.heading = degToRad(10.0);
    sim->setUserScript({b, a});  // order does not matter
    sim->stepSeconds(5.0);
    EXPECT_NEAR(sim->userAircraft().latitude, 50.5, 1e-9);
    EXPECT_NEAR(std::remainder(sim->userAircraft().heading, 2 * pi), 0.0, 1e-9);
    sim->stepSeconds(20.0);
    EXPECT_NEAR(sim->userAircraft().latitude, 51.0, 1e-12);  // held after the last frame
}

// The track file: what the stand-in recorded comes back unchanged; broken files are refused.
TEST(TrackFile, RoundTripKeepsTheFieldsAndBrokenFilesAreRefused) {
    test::TempWorkDir dir;
    StandInObject o;
    o.id = 4;
    o.title = "Airbus A320 \xff";  // a byte that is not UTF-8
    o.removed = true;
    o.removedAt = 99.0;
    for (int i = 0; i < 2; ++i) {
        TrackPoint p;
        p.longitude = -179.9999 + i * 0.0001;
        p.verticalSpeed = -12.5;
        p.onGround = i == 1;
        o.track.push_back(p);
    }
    o.events.push_back({2.0, "GEAR_SET", 1});
    ASSERT_TRUE(gf_writeTrackFile(std::vector<StandInObject>{o}, dir.path() / "t.json"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "t.json.tmp"));
    EXPECT_FALSE(gf_writeTrackFile(std::vector<StandInObject>{o}, dir.path() / "no" / "t.json"));
    const auto read = gf_readTrackFile(dir.path() / "t.json");
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].id, 4u);
    EXPECT_TRUE(read[0].removed);
    EXPECT_DOUBLE_EQ(read[0].removedAt, 99.0);
    ASSERT_EQ(read[0].track.size(), 2u);
    EXPECT_DOUBLE_EQ(read[0].track[1].longitude, o.track[1].longitude);
    EXPECT_DOUBLE_EQ(read[0].track[1].verticalSpeed, -12.5);
    EXPECT_TRUE(read[0].track[1].onGround);
    ASSERT_EQ(read[0].events.size(), 1u);
    EXPECT_EQ(read[0].events[0].name, "GEAR_SET");

    EXPECT_THROW(gf_readTrackFile(dir.path() / "missing.json"), std::runtime_error);
    const std::string header = R"({"format":"vandrel-tracks","version":2})"
                               "\n";
    const std::string object = R"(["object",3,"A320","D-AIZC",0])"
                               "\n";
    for (const std::string& text : {std::string(R"({"format":"something else","version":2})"),
                                    std::string(R"({"format":"vandrel-tracks","version":1,"objects":[]})"),
                                    header + object + R"(["point",3,1,2)",
                                    header + object +
                                        R"(["point",3,1,2,3])"
                                        "\n"
                                        R"(["end",1])",
                                    header + R"(["event",3,1,"GEAR_SET",1])"
                                             "\n"
                                             R"(["end",0])",
                                    header + object}) {
        test::writeWholeFile(dir.path() / "bad.json", text);
        EXPECT_THROW(gf_readTrackFile(dir.path() / "bad.json"), std::runtime_error) << text;
    }
}

}  // namespace
}  // namespace vdl
