// Parking on arrival: the stand chosen for data that ends in a stop, and the aircraft cleared
// from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
#include "foundation/geo.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "support/traffic_env.h"
#include "traffic/movement.h"
#include "traffic/parking.h"
#include "traffic/spawn_gate.h"
#include "traffic/stream_extension.h"

namespace vdl::test {
namespace {

constexpr double baseLat = 47.45;
constexpr double baseLon = 8.55;
constexpr double halfSpanNm = metresToNm(18.0);

class Parking : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        gf_resetAirports();
        // The cases hold references into the lists while they add to them.
        parkPositions.reserve(16);
        liveAircraft.reserve(16);
        staticAircraft.reserve(16);
    }
    void TearDown() override {
        gf_resetAirports();
        parkPositions.clear();
        TrafficTest::TearDown();
    }

    // A stand `east` metres east of the base point, its radius in metres.
    static ParkPos& stand(std::string name, double east, double radiusM, bool heli = false) {
        const LatLon at = gf_destination({baseLat, baseLon}, degToRad(90.0), metresToFeet(east));
        ParkPos& p = parkPositions.emplace_back(std::move(name), std::vector<ParkPosOption>{}, at.lat, at.lon,
                                                degToRad(200.0), radiusM, false, false, heli);
        p.id = static_cast<uint32_t>(parkPositions.size());
        return p;
    }

    // A taxiing aircraft whose data ends in a stop at the base point.
    static LiveAc& taxiing(uint32_t hexid, std::string callsign = "SWR12") {
        LiveAc& ac = addActiveLiveAc(hexid, hexid + 100, std::move(callsign));
        ac.identity.category = AircraftCategory::Large;
        ac.identity.halfWingspan = halfSpanNm;
        gf_setCategoryValues(ac.identity);
        ac.groundState = GroundState::taxi;
        ac.onGround = true;
        ac.stream.clear();
        StreamPos p = testPoint(clock100.load(), baseLat + 0.001, baseLon);
        p.airborne = 0;
        p.alt = 1416.0;
        p.speed = 10.0;
        ac.stream.push_back(p);
        p.lat = baseLat;
        p.speed = 0.0;
        p.stop = 1;
        p.time += 3000;
        ac.stream.push_back(p);
        ac.lat = baseLat + 0.001;
        ac.lon = baseLon;
        return ac;
    }

    // An active static aircraft of the newcomers' size whose stand is at the position.
    static AiAircraft& staticAt(uint32_t hexid, LatLon at) {
        AcIdentity id = testIdentity(hexid, fmt::format("KLM{}*", hexid));
        id.halfWingspan = halfSpanNm;
        AiAircraft& s = staticAircraft.emplace_back(std::move(id), 0, at.lat, at.lon, 0.0, false);
        s.state = AcState::active;
        s.objectId = hexid + 100;
        return s;
    }

    static LiveAc& parkedOn(uint32_t hexid, const ParkPos& p, std::string callsign) {
        LiveAc& ac = addActiveLiveAc(hexid, hexid + 100, std::move(callsign));
        ac.groundState = GroundState::parked;
        ac.standId = p.id;
        return ac;
    }
};

TEST_F(Parking, TheArrivalTakesTheNearestFittingStandAndDrivesOntoIt) {
    stand("A1", 40.0, 25.0);
    ParkPos& near = stand("A2", 10.0, 25.0);
    LiveAc& ac = taxiing(1);
    try2Park(ac, true);
    EXPECT_EQ(ac.standId, near.id);
    EXPECT_EQ(ac.groundState, GroundState::toStand);
    EXPECT_DOUBLE_EQ(ac.standLat, near.lat);
    EXPECT_DOUBLE_EQ(ac.standLon, near.lon);
    EXPECT_DOUBLE_EQ(ac.standHeading, near.heading);
    EXPECT_TRUE(near.occupied);
    EXPECT_DOUBLE_EQ(ac.stream.back().lat, near.lat);
    EXPECT_DOUBLE_EQ(ac.stream.back().lon, near.lon);
    EXPECT_EQ(ac.stream.back().speed, 0.0);

    // The given stand is not handed out twice.
    LiveAc& second = taxiing(2, "SWR34");
    try2Park(second, false);
    EXPECT_EQ(second.standId, 0u);
    EXPECT_EQ(second.groundState, GroundState::taxi);
}

// Its drive ended short of the stand: it taxies again, and the stand it was given is free, for
// it when its data comes to rest there again as for any other arrival.
TEST_F(Parking, AnArrivalShortOfItsStandGivesItBack) {
    ParkPos& near = stand("A2", 10.0, 25.0);
    LiveAc& ac = taxiing(1);
    try2Park(ac, true);
    ASSERT_EQ(ac.groundState, GroundState::toStand);
    ac.stream.resize(1);
    arriveAtStand(ac);
    EXPECT_EQ(ac.groundState, GroundState::taxi);
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_FALSE(near.occupied);

    LiveAc& second = taxiing(2, "SWR34");
    try2Park(second, true);
    EXPECT_EQ(second.standId, near.id);
    EXPECT_EQ(second.groundState, GroundState::toStand);
}

TEST_F(Parking, StandChoiceByDistanceSizeAndKind) {
    struct Case {
        const char* name;
        double east;      // metres from where the data stops
        double radiusM;   // the stand's radius
        bool heli;
        bool arrived;
        bool rotorcraft;
        bool taken;
        bool widened;
    };
    const std::vector<Case> cases = {
        {"fits within 20 m", 15.0, 25.0, false, false, false, true, false},
        {"beyond 20 m without the arrived flag", 30.0, 25.0, false, false, false, false, false},
        {"within 55 m once arrived", 50.0, 25.0, false, true, false, true, false},
        {"2 m too small within 20 m is widened", 15.0, 16.0, false, true, false, true, true},
        {"2 m too small beyond 20 m", 30.0, 16.0, false, true, false, false, false},
        {"1.5 m too small is used as it is", 30.0, 16.5, false, true, false, true, false},
        {"an aeroplane never on a helipad", 10.0, 25.0, true, true, false, false, false},
        {"a helicopter never on an aeroplane stand", 10.0, 25.0, false, true, true, false, false},
        {"a helicopter on a helipad", 10.0, 25.0, true, true, true, true, false},
    };
    for (const Case& c : cases) {
        parkPositions.clear();
        liveAircraft.clear();
        ParkPos& p = stand("B1", c.east, c.radiusM, c.heli);
        LiveAc& ac = taxiing(1);
        if (c.rotorcraft) ac.identity.category = AircraftCategory::Rotorcraft;
        try2Park(ac, c.arrived);
        EXPECT_EQ(ac.standId == p.id, c.taken) << c.name;
        EXPECT_EQ(p.radiusChange != 0, c.widened) << c.name;
        if (c.widened) {
            EXPECT_NEAR(p.radius, halfSpanNm - metresToNm(1.0), 1e-9) << c.name;
        }
    }
}

TEST_F(Parking, AHelipadNearerDoesNotHideAnAeroplaneStand) {
    stand("H1", 5.0, 25.0, true);
    ParkPos& gate = stand("G1", 15.0, 25.0);
    LiveAc& ac = taxiing(1);
    try2Park(ac, false);
    EXPECT_EQ(ac.standId, gate.id);
}

TEST_F(Parking, AStandWhoseOptionsKnowTheAircraftIsTheAlternativeWithin85m) {
    ParkPos& p = stand("C1", 70.0, 25.0);
    LiveAc& ac = taxiing(1);
    ASSERT_GT(gf_addOption(p.options, ac.identity, optionReal, WeekSlot{1, 10}, "SWR12", "HB-JXA"), 0);
    try2Park(ac, false);
    EXPECT_EQ(ac.standId, 0u);  // no alternative without the arrived flag
    ac.tryParkLat = 0.0;
    try2Park(ac, true);
    EXPECT_EQ(ac.standId, p.id);
}

TEST_F(Parking, TheUsersStandsAreRefused) {
    ParkPos& p = stand("D1", 10.0, 25.0);
    reservedStand = "D1";
    LiveAc& ac = taxiing(1);
    try2Park(ac, false);
    EXPECT_EQ(ac.standId, 0u);

    reservedStand.clear();
    placeUser(p.lat, p.lon, true);
    gf_refreshUserStand();
    ac.tryParkLat = 0.0;
    try2Park(ac, false);
    EXPECT_EQ(ac.standId, 0u);

    placeUser(userLat, userLon, true);
    gf_refreshUserStand();
    ac.tryParkLat = 0.0;
    try2Park(ac, false);
    EXPECT_EQ(ac.standId, p.id);
}

TEST_F(Parking, TheOccupantAndTouchingNeighboursMakeWay) {
    ParkPos& p = stand("E1", 10.0, 25.0);
    ParkPos& close = stand("E2", 40.0, 25.0);
    ParkPos& far = stand("E3", 200.0, 25.0);
    p.adjacent = {close.id, far.id};
    LiveAc& occupant = parkedOn(10, p, "KLM10");
    LiveAc& neighbour = parkedOn(11, close, "KLM11");
    LiveAc& distant = parkedOn(12, far, "KLM12");
    AiAircraft& stat = staticAircraft.emplace_back(testIdentity(20, "KLM20*"), close.id, close.lat, close.lon, 0.0, false);
    stat.state = AcState::active;
    stat.objectId = 120;
    LiveAc& ac = taxiing(1);
    try2Park(ac, false);
    EXPECT_EQ(ac.standId, p.id);
    EXPECT_EQ(occupant.state, AcState::removed);
    EXPECT_EQ(neighbour.state, AcState::removed);
    EXPECT_EQ(distant.state, AcState::active);
    EXPECT_EQ(staticAircraft.front().state, AcState::removed);
}

TEST_F(Parking, APendingStaticOnTheStandIsCancelledOrRemovedWhenCreated) {
    for (bool queued : {true, false}) {
        parkPositions.clear();
        liveAircraft.clear();
        staticAircraft.clear();
        staticCreateQueue.clear();
        ParkPos& p = stand("F1", 10.0, 25.0);
        AiAircraft& stat = staticAircraft.emplace_back(testIdentity(20, "KLM20*"), p.id, p.lat, p.lon, 0.0, false);
        stat.state = AcState::creating;
        if (queued) {
            CreateAcCmd cmd;
            cmd.tailNumber = "KLM20*";
            cmd.hexid = 20;
            staticCreateQueue.push_back(cmd);
        }
        LiveAc& ac = taxiing(1);
        try2Park(ac, false);
        EXPECT_EQ(ac.standId, p.id);
        if (queued) {
            EXPECT_TRUE(staticAircraft.empty());
            EXPECT_TRUE(staticCreateQueue.empty());
        } else {
            ASSERT_EQ(staticAircraft.size(), 1u);
            EXPECT_TRUE(staticAircraft.front().removeWhenCreated);
        }
    }
}

// The same for a static waiting for creation on a neighbouring stand the arrival's wings reach; one
// on a neighbour out of reach is created as planned.
TEST_F(Parking, APendingStaticOnATouchingStandIsCancelledOrRemovedWhenCreated) {
    for (bool queued : {true, false}) {
        SCOPED_TRACE(queued ? "still queued" : "sent to the simulator");
        parkPositions.clear();
        liveAircraft.clear();
        staticAircraft.clear();
        staticCreateQueue.clear();
        ParkPos& p = stand("G1", 10.0, 25.0);
        ParkPos& close = stand("G2", 40.0, 25.0);
        ParkPos& far = stand("G3", 200.0, 25.0);
        p.adjacent = {close.id, far.id};
        for (const ParkPos* at : {&close, &far}) {
            const uint32_t hexid = at->id * 10;
            AcIdentity id = testIdentity(hexid, fmt::format("KLM{}*", hexid));
            id.halfWingspan = halfSpanNm;
            AiAircraft& stat = staticAircraft.emplace_back(std::move(id), at->id, at->lat, at->lon, 0.0, false);
            stat.state = AcState::creating;
            if (queued) {
                CreateAcCmd cmd;
                cmd.tailNumber = stat.identity.callsign;
                cmd.hexid = hexid;
                staticCreateQueue.push_back(cmd);
            }
        }
        LiveAc& ac = taxiing(1);
        try2Park(ac, false);
        EXPECT_EQ(ac.standId, p.id);
        const AiAircraft* touching = gf_findStaticAcByHexid(close.id * 10);
        const AiAircraft* apart = gf_findStaticAcByHexid(far.id * 10);
        ASSERT_NE(apart, nullptr);
        EXPECT_EQ(apart->state, AcState::creating);
        EXPECT_FALSE(apart->removeWhenCreated);
        if (queued) {
            EXPECT_EQ(touching, nullptr);
            ASSERT_EQ(staticCreateQueue.size(), 1u);
            EXPECT_EQ(staticCreateQueue.front().hexid, far.id * 10);
        } else {
            ASSERT_NE(touching, nullptr);
            EXPECT_TRUE(touching->removeWhenCreated);
        }
    }
}

TEST_F(Parking, AnEmptyReservedStandNameReservesNothing) {
    ParkPos& unnamed = stand("", 10.0, 25.0);
    LiveAc& occupant = parkedOn(10, unnamed, "KLM10");
    reservedStand.clear();
    gf_removeAircraftOnReservedStand();
    EXPECT_EQ(occupant.state, AcState::active);
    ParkPos& named = stand("R1", 50.0, 25.0);
    LiveAc& onReserved = parkedOn(11, named, "KLM11");
    reservedStand = "R1";
    gf_removeAircraftOnReservedStand();
    EXPECT_EQ(onReserved.state, AcState::removed);
}

TEST_F(Parking, ATaxiingAircraftRemovesTheStaticItsWingsWouldTouch) {
    struct Case {
        const char* name;
        GroundState state;
        bool landingRoll;
        bool option;
        double staticEastM;  // the static's stand from the live aircraft
        bool removed;
    };
    const std::vector<Case> cases = {
        {"taxiing past a static 30 m away", GroundState::taxi, false, true, 30.0, true},
        {"driving to its stand", GroundState::toStand, false, true, 30.0, true},
        {"a static 45 m away is clear", GroundState::taxi, false, true, 45.0, false},
        {"in the landing roll", GroundState::taxi, true, true, 30.0, false},
        {"parked", GroundState::parked, false, true, 30.0, false},
        {"COLLISION_LIVE_PARKED_GND off", GroundState::taxi, false, false, 30.0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        liveAircraft.clear();
        staticAircraft.clear();
        COLLISION_LIVE_PARKED_GND.set(c.option);
        LiveAc& live = taxiing(1);
        live.lat = baseLat;
        live.lon = baseLon;
        live.groundState = c.state;
        live.landingRoll = c.landingRoll;
        // Two half wingspans of 18 m with a tenth to spare reach 39.6 m.
        AiAircraft& stat =
            staticAt(20, gf_destination({baseLat, baseLon}, degToRad(90.0), metresToFeet(c.staticEastM)));
        gf_removeStaticForCollisionAvoidance();
        EXPECT_EQ(stat.state == AcState::removed, c.removed);
    }
    // Standing still, the aircraft does not look around again.
    liveAircraft.clear();
    staticAircraft.clear();
    COLLISION_LIVE_PARKED_GND.set(true);
    LiveAc& live = taxiing(1);
    staticAt(22, {baseLat + 0.1, baseLon});
    gf_removeStaticForCollisionAvoidance();
    AiAircraft& later = staticAt(21, {live.lat, live.lon});
    gf_removeStaticForCollisionAvoidance();
    EXPECT_EQ(later.state, AcState::active);
    live.lat += 0.00001;
    gf_removeStaticForCollisionAvoidance();
    EXPECT_EQ(later.state, AcState::removed);
    COLLISION_LIVE_PARKED_GND.set(false);
}

// A new aircraft standing still at the park airport is placed on its stand as it spawns.
class ParkedSpawn : public Parking {
  protected:
    void SetUp() override {
        Parking::SetUp();
        movementParkAirport = {true, "LSZH", baseLat, baseLon, 1416.0};
        nowSlot = WeekSlot{3, 20};
    }
    void TearDown() override {
        nowSlot = WeekSlot{};
        reservedStand.clear();
        Parking::TearDown();
    }

    // A new aircraft at the base point: two stops, or creeping at `speed` to `creepM` metres north.
    static LiveAc& fresh(uint32_t hexid, std::string callsign, bool stop = true, double speed = 0.0,
                         double creepM = 0.0) {
        StreamPos p = testPoint(clock100.load(), baseLat, baseLon);
        p.airborne = 0;
        p.alt = 1416.0;
        p.speed = speed;
        p.stop = stop ? 1 : 0;
        p.track = 90.0;
        LiveAc& ac = liveAircraft.emplace_back(p, testIdentity(hexid, std::move(callsign)), 1.0);
        ac.identity.halfWingspan = halfSpanNm;
        gf_setCategoryValues(ac.identity);
        const LatLon end = gf_destination({baseLat, baseLon}, 0.0, metresToFeet(creepM));
        p.lat = end.lat;
        p.lon = end.lon;
        p.time += 1000;
        ac.stream.push_back(p);
        return ac;
    }
};

TEST_F(ParkedSpawn, AStandingAircraftSpawnsOnTheNearestFreeStand) {
    ParkPos& p = stand("P1", 40.0, 25.0);
    p.heading = degToRad(135.0);
    LiveAc& ac = fresh(1, "SWR12");
    spawnLiveAc(ac);
    ASSERT_EQ(ac.state, AcState::creating);
    EXPECT_EQ(ac.groundState, GroundState::parked);
    EXPECT_EQ(ac.standId, p.id);
    EXPECT_TRUE(p.occupied);
    ASSERT_EQ(ac.stream.size(), 1u);
    EXPECT_DOUBLE_EQ(ac.lat, p.lat);
    EXPECT_DOUBLE_EQ(ac.lon, p.lon);
    EXPECT_NEAR(ac.heading, p.heading, 1e-12);
    EXPECT_EQ(ac.stream.front().speed, 0.0);
    // Its stand use is learned for the half hour, and the stand-slot list notes it.
    ASSERT_EQ(p.options.size(), 1u);
    EXPECT_TRUE(p.options.front().hours.test(20));
    ASSERT_EQ(standSlotByHexid.size(), 1u);
    EXPECT_EQ(standSlotByHexid.front().second, 20u);
}

TEST_F(ParkedSpawn, WhereTheDataDoesNotStandNearAFreeStand) {
    struct Case {
        const char* name;
        bool stop;
        double speed;
        double creepM;
        double standEastM;
        bool reserved;
        GroundState expected;
        size_t points;  // left in the stream
    };
    const std::vector<Case> cases = {
        {"creeping, the data's end near the stand", false, 3.0, 20.0, 30.0, false, GroundState::parked, 1},
        {"creeping beyond 35 m", false, 3.0, 50.0, 30.0, false, GroundState::taxi, 2},
        {"moving faster than 5 kt", false, 8.0, 20.0, 30.0, false, GroundState::taxi, 2},
        {"standing, no stand within 55 m: waits", true, 0.0, 0.0, 80.0, false, GroundState::fresh, 1},
        {"the reserved stand is refused: taxis", true, 0.0, 0.0, 30.0, true, GroundState::taxi, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parkPositions.clear();
        liveAircraft.clear();
        pendingSpawns.clear();
        stand("Q1", c.standEastM, 25.0);
        reservedStand = c.reserved ? "Q1" : "";
        LiveAc& ac = fresh(1, "SWR12", c.stop, c.speed, c.creepM);
        spawnLiveAc(ac);
        EXPECT_EQ(ac.groundState, c.expected);
        EXPECT_EQ(ac.stream.size(), c.points);
        EXPECT_EQ(ac.state, c.expected == GroundState::fresh ? AcState::fresh : AcState::creating);
    }
    // Beyond 5 nm of the park airport no stand is tried.
    parkPositions.clear();
    liveAircraft.clear();
    stand("Q2", 30.0, 25.0);
    movementParkAirport.lat += 0.1;
    LiveAc& far = fresh(2, "SWR34");
    spawnLiveAc(far);
    EXPECT_EQ(far.groundState, GroundState::taxi);
}

TEST_F(ParkedSpawn, StandClaims) {
    struct Case {
        const char* name;
        const char* occupant;
        const char* newcomer;
        bool occupantChecked;
        bool newcomerParks;
        bool occupantRemoved;
    };
    const std::vector<Case> cases = {
        {"the same callsign: the old one goes", "SWR12", "SWR12", true, true, true},
        {"a ghost makes way", "SWR12_", "SWR12", true, true, true},
        {"a ghost does not displace a real one", "SWR12", "SWR12_", false, false, false},
        {"an occupant the data confirms stays", "KLM10", "SWR12", true, false, false},
        {"an unconfirmed occupant goes", "KLM10", "SWR12", false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        parkPositions.clear();
        liveAircraft.clear();
        ParkPos& p = stand("R1", 30.0, 25.0);
        LiveAc& occupant = parkedOn(10, p, c.occupant);
        occupant.standChecked = c.occupantChecked;
        LiveAc& ac = fresh(1, c.newcomer);
        spawnLiveAc(ac);
        EXPECT_EQ(ac.groundState == GroundState::parked, c.newcomerParks);
        EXPECT_EQ(ac.erase, !c.newcomerParks);
        EXPECT_EQ(occupant.state == AcState::removed, c.occupantRemoved);
    }
}

TEST_F(ParkedSpawn, ATouchingNeighbourDropsTheNewcomerAStaticMakesWay) {
    ParkPos& p = stand("S1", 30.0, 25.0);
    ParkPos& close = stand("S2", 60.0, 25.0);
    p.adjacent = {close.id};
    parkedOn(10, close, "KLM10");
    LiveAc& dropped = fresh(1, "SWR12");
    spawnLiveAc(dropped);
    EXPECT_TRUE(dropped.erase);
    EXPECT_FALSE(p.occupied);

    liveAircraft.clear();
    AiAircraft& stat = staticAircraft.emplace_back(testIdentity(20, "KLM20*"), p.id, p.lat, p.lon, 0.0, false);
    stat.state = AcState::active;
    stat.objectId = 120;
    LiveAc& ac = fresh(2, "SWR34");
    spawnLiveAc(ac);
    EXPECT_EQ(ac.groundState, GroundState::parked);
    EXPECT_EQ(staticAircraft.front().state, AcState::removed);
}

}  // namespace
}  // namespace vdl::test
