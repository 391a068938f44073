// Departures from a stand: pushback or pull-out, taxi, take-off roll, rotation and climb-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "traffic/flight_harness.h"
#include "traffic/ground_movement.h"
#include "traffic/traffic_fixture.h"

namespace vdl::test {
namespace {

constexpr double standLat = 52.30;
constexpr double standLon = 4.76;
constexpr double terrain = 100.0;

LatLon lf_along(LatLon from, double bearingDeg, double metres) { return offsetMetres(from, bearingDeg, metres); }

class Departure : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        movementParkAirport = {true, "EHAM", standLat, standLon, terrain};
        parkPositions.clear();
        ParkPos& stand = parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, standLat, standLon, 0.0, 20.0,
                                                    false, false, false);
        stand.id = 1;
        std::lock_guard lock(simMutex);
        simEventQueue.clear();
    }
    void TearDown() override {
        STRAIGHT_PBS_ONLY.set(false);
        movementParkAirport = {};
        parkPositions.clear();
        TrafficTest::TearDown();
    }

    // The feed's intake for a departing aircraft, in the parts that matter here: a parked
    // aircraft that moves asks to depart; a pushback learns its turn from the heading; a
    // pull-out waits until the data has left the stand.
    void useDepartureIntake() {
        h.intake = [](LiveAc& a, StreamPos& p) {
            const uint32_t clock = clock100.load();
            switch (a.groundState) {
                case gsParked:
                    if (gf_distanceNm({a.standLat, a.standLon}, {p.lat, p.lon}) * 1852.0 < 3.0) return;
                    a.atStand = 1;
                    if (a.extensionCount >= 1) {
                        a.stream.front().time = clock + 1;
                        a.extensionCount = 0;
                    }
                    p.stop = 0;
                    p.time = std::max<uint32_t>(p.time, a.stream.back().time + 1);
                    a.stream.push_back(p);
                    return;
                case gsPushback:
                    if (!STRAIGHT_PBS_ONLY.value() && a.departureCountdown == 2 && p.headingValid) {
                        a.turnRight = gf_angleDiff(a.heading, p.trueHeading) > 0.0;
                        a.turnDirKnown = 1;
                    }
                    return;
                case gsPullOut: {
                    const double d = gf_distanceNm({a.lat, a.lon}, {p.lat, p.lon});
                    const double hs = a.identity.halfWingspan;
                    if (!(d > 2.75 * hs && d > a.pullOutDistance) && !(d > 6 * hs)) {
                        if (!a.holding) a.holdStart = clock;
                        a.holding = 1;
                        a.pullOutDistance = d;
                        return;
                    }
                    if (a.extensionCount >= 1) a.stream.front().time = clock + 1;
                    a.extensionCount = 0;
                    a.lateWindow = 3000;
                    a.earlyWindow = 3000;
                    a.turnDirKnown = 0;
                    a.departureCountdown = 0;
                    gf_setGroundState(a, gsTaxi);
                    a.standLat = a.standLon = a.standHeading = 0.0;
                    a.standId = 0;
                    a.holding = 0;
                    p.stop = 0;
                    p.time = std::max<uint32_t>(p.time, a.stream.back().time + 1);
                    a.stream.push_back(p);
                    return;
                }
                default: FlightHarness::defaultIntake(a, p); return;
            }
        };
    }

    // Parked on A1 (nose north), pushback records turning the nose to `pushHeadingDeg`, then the
    // taxi east and south to runway 27, the take-off roll and a climb at 2000 ft/min.
    void buildDeparture(double pushHeadingDeg, AircraftCategory category = AircraftCategory::Large) {
        useDepartureIntake();
        StreamPos parked = makePoint(standLat, standLon, 0, 0, 0, false);
        parked.stop = 1;
        parked.bankValid = 1;
        LiveAc& a = h.start(parked, harnessIdentity(category), gsParked);
        a.standId = 1;
        a.standLat = standLat;
        a.standLon = standLon;
        a.standHeading = 0.0;
        uint32_t due = 6000;
        LatLon pos = lf_along({standLat, standLon}, 180.0, 6.0);
        for (int i = 0; i < 6; ++i) {
            StreamPos p = makePoint(pos.lat, pos.lon, 0, 3, 0, false);
            p.trueHeading = pushHeadingDeg * degToRad;
            p.headingValid = 1;
            h.addFeed(p, due);
            pos = lf_along(pos, 180.0, 6.0);
            due += 400;
        }
        // Taxi: from 150 m east of the stand's pushback area east, a right corner south, a right
        // corner onto the runway heading west.
        due = 12000;
        pos = lf_along(lf_along({standLat, standLon}, 180.0, 55.0), 90.0, 150.0);
        auto leg = [&](double bearing, double metres, double kt) {
            const double perPoint = kt * 0.5144 * 4.0;
            for (double done = 0.0; done < metres; done += perPoint) {
                pos = lf_along(pos, bearing, perPoint);
                h.addFeed(makePoint(pos.lat, pos.lon, 0, kt, bearing, false), due);
                due += 400;
            }
        };
        h.addFeed(makePoint(pos.lat, pos.lon, 0, 12, 90, false), due);
        due += 400;
        leg(90.0, 250.0, 14.0);
        leg(180.0, 600.0, 14.0);
        leg(270.0, 60.0, 8.0);
        runwayHeadingDeg = 270.0;
        // Take-off roll, 3 s apart.
        const double rollKt[] = {20, 45, 70, 95, 115, 135, 150};
        for (double kt : rollKt) {
            pos = lf_along(pos, 270.0, kt * 0.5144 * 3.0);
            h.addFeed(makePoint(pos.lat, pos.lon, 0, kt, 270, false), due);
            due += 300;
        }
        double alt = terrain + 40.0;
        for (int i = 0; i < 40; ++i) {
            pos = lf_along(pos, 270.0, 165.0 * 0.5144 * 4.0);
            alt += 2000.0 / 15.0;
            h.addFeed(makePoint(pos.lat, pos.lon, alt, 165, 270, true, 2000.0), due);
            due += 400;
        }
    }

    // Samples from the first to the last step in the ground state.
    std::vector<Sample> inState(uint32_t gs) const {
        std::vector<Sample> v;
        for (const auto& s : h.track)
            if (s.groundState == gs) v.push_back(s);
        return v;
    }

    double runwayHeadingDeg = 270.0;
    FlightHarness h;
};

double headingAfterPushbackDeg(const std::vector<Sample>& track) {
    for (size_t i = 1; i < track.size(); ++i)
        if (track[i - 1].groundState == gsPushback && track[i].groundState != gsPushback)
            return track[i].heading * radToDeg;
    return -1.0;
}

// Backwards: while the pushback moves, the direction of travel is opposite the nose.
void expectMovesBackwards(const std::vector<Sample>& push) {
    size_t checked = 0;
    for (size_t i = 20; i + 20 < push.size(); i += 20) {
        const double moved = gf_distanceNm({push[i - 20].lat, push[i - 20].lon}, {push[i + 20].lat, push[i + 20].lon});
        if (moved * 1852.0 < 0.3) continue;
        const double course = gf_bearing({push[i - 20].lat, push[i - 20].lon}, {push[i + 20].lat, push[i + 20].lon});
        EXPECT_LT(std::fabs(gf_angleDiff(course, push[i].heading + pi)) * radToDeg, 35.0) << "at step " << push[i].step;
        ++checked;
    }
    EXPECT_GT(checked, 20u);
}

// Straight first: over the first part of the pushback the aircraft keeps the stand's heading
// and moves along its axis.
void expectStraightFirst(const std::vector<Sample>& push) {
    for (size_t i = 0; i < push.size() / 3; ++i) {
        double east = 0, north = 0;
        localMetres(standLat, standLon, push[i].lat, push[i].lon, east, north);
        EXPECT_LT(std::fabs(east), 0.5);
        EXPECT_LE(north, 0.01);
        EXPECT_NEAR(push[i].heading, 0.0, 1e-9);
    }
}

struct PushCase {
    const char* name;
    double recordHeadingDeg;
    bool straightOnly;
    double expectedHeadingDeg;
};

class Pushback : public Departure, public ::testing::WithParamInterface<PushCase> {};

TEST_P(Pushback, MovesBackwardsThenTurnsToTheChosenSide) {
    const PushCase c = GetParam();
    STRAIGHT_PBS_ONLY.set(c.straightOnly);
    buildDeparture(c.recordHeadingDeg);
    h.run(12000);
    h.saveTrackIfAsked(std::string("pushback_") + c.name);
    const auto push = inState(gsPushback);
    ASSERT_GT(push.size(), 1000u);
    expectMovesBackwards(push);
    expectStraightFirst(push);
    const double after = headingAfterPushbackDeg(h.track);
    ASSERT_GE(after, 0.0);
    EXPECT_LT(std::fabs(gf_angleDiff(c.expectedHeadingDeg * degToRad, after * degToRad)) * radToDeg, 6.0);
    // Done 2.5 stand radii (50 m) behind the stand, half a wingspan to the side after a turn.
    double east = 0, north = 0;
    localMetres(standLat, standLon, push.back().lat, push.back().lon, east, north);
    EXPECT_NEAR(north, -50.0, 3.0);
    EXPECT_NEAR(std::fabs(east), c.straightOnly ? 0.0 : 17.9, 3.0);
    for (size_t i = 1; i < push.size(); ++i) {
        const double step = std::fabs(gf_angleDiff(push[i - 1].heading, push[i].heading));
        ASSERT_LE(step, 3.0 * baseTurnRateDegOfCategory[2] * degToRad + 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, Pushback,
                         ::testing::Values(PushCase{"right", 20.0, false, 90.0}, PushCase{"left", 340.0, false, 270.0},
                                           PushCase{"straightOnly", 20.0, true, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Departure, PullsOutForwardsWhenTheDataLeavesAhead) {
    useDepartureIntake();
    StreamPos parked = makePoint(standLat, standLon, 0, 0, 0, false);
    parked.stop = 1;
    LiveAc& a = h.start(parked, harnessIdentity(AircraftCategory::Large), gsParked);
    a.standId = 1;
    a.standLat = standLat;
    a.standLon = standLon;
    const LatLon ahead = lf_along({standLat, standLon}, 10.0, 30.0);
    h.addFeed(makePoint(ahead.lat, ahead.lon, 0, 5, 10, false), 4000);
    h.run(6000);
    EXPECT_TRUE(inState(gsPushback).empty());
    // One wingspan straight ahead of the stand.
    double east = 0, north = 0;
    localMetres(standLat, standLon, h.track.back().lat, h.track.back().lon, east, north);
    EXPECT_NEAR(north, 35.8, 2.0) << "moved forwards out of the stand";
    EXPECT_NEAR(east, 0.0, 1.0);
    for (size_t i = 20; i + 20 < h.track.size(); i += 20) {
        const auto& p = h.track[i - 20];
        const auto& q = h.track[i + 20];
        if (gf_distanceNm({p.lat, p.lon}, {q.lat, q.lon}) * 1852.0 < 0.3) continue;
        const double course = gf_bearing({p.lat, p.lon}, {q.lat, q.lon});
        EXPECT_LT(std::fabs(gf_angleDiff(course, h.track[i].heading)) * radToDeg, 45.0);
    }
}

TEST_F(Departure, DriveToTheStandComesToRestOnItAndParks) {
    // Taxiing 80 m south-east of stand A1 when the parking sends it onto the stand.
    const LatLon from = lf_along(lf_along({standLat, standLon}, 180.0, 60.0), 90.0, 50.0);
    StreamPos p = makePoint(from.lat, from.lon, 0, 8, 0, false);
    p.stop = 1;
    LiveAc& a = h.start(p, harnessIdentity(AircraftCategory::Large), gsToStand);
    a.standId = 1;
    a.standLat = standLat;
    a.standLon = standLon;
    a.standHeading = 0.0;
    drive2Stand(a, standLat, standLon, 0.0);
    ASSERT_EQ(a.stream.size(), 3u);
    EXPECT_EQ(gf_unitsFrom(a.stream[1].time, a.stream[2].time), 50) << "the last point rests 0.5 s after the stand point";
    EXPECT_TRUE(a.stream[2].stop);
    h.run(20000);
    ASSERT_FALSE(h.gone());
    EXPECT_EQ(h.ac().groundState, gsParked);
    EXPECT_LT(gf_distanceNm({h.ac().lat, h.ac().lon}, {standLat, standLon}) * 1852.0, 2.0);
    EXPECT_EQ(h.countEvents(ENGINE_AUTO_SHUTDOWN), 1u);
    // Driven, not slid: the speed on the way never exceeds the stand taxi speed by much.
    for (const auto& s : h.track) ASSERT_LT(s.speedKt, 2.0 * standTaxiSpeedOfCategory[2]) << s.step;
}

TEST_F(Departure, TaxisTakesOffRotatesAndClimbsOutToGearUp) {
    buildDeparture(20.0);
    h.run(60000);
    h.saveTrackIfAsked("departure");
    ASSERT_FALSE(h.track.empty());
    for (const auto& s : h.track) ASSERT_GE(s.alt, terrain) << "below the ground at " << s.step;
    // Heading steps stay within the turn rate, on the ground and in the air.
    const double base = baseTurnRateDegOfCategory[2] * degToRad;
    for (size_t i = 1; i < h.track.size(); ++i) {
        const double limit = (h.track[i - 1].onGround ? 3.0 : 1.0) * base + 1e-9;
        ASSERT_LE(std::fabs(gf_angleDiff(h.track[i - 1].heading, h.track[i].heading)), limit) << h.track[i].step;
    }
    const auto climb = inState(gsClimbOut);
    ASSERT_FALSE(climb.empty()) << "never rotated";
    // Rotation: the nose comes up before the wheels leave, and stays up.
    EXPECT_LT(climb.back().pitch, -5.0 * degToRad);
    // Airborne afterwards and climbing.
    ASSERT_FALSE(inState(gsAirborne).empty()) << "climb-out never ended";
    const auto air = inState(gsAirborne);
    EXPECT_GT(air.back().alt, air.front().alt + 500.0);
    for (size_t i = 100; i < air.size(); i += 100) EXPECT_GE(air[i].alt, air[i - 100].alt - 1.0);

    // Gear up during the climb-out, after the rotation.
    bool gearUp = false;
    for (const auto& e : h.events) {
        if (e.eventId == GEAR_SET && e.data == 0) {
            EXPECT_GE(e.step, climb.front().step);
            gearUp = true;
        }
    }
    EXPECT_TRUE(gearUp);

    // Lights: taxi-out at pushback, the take-off roll, then below 10000 ft, each once.
    std::vector<uint32_t> sets;
    const auto& e = h.events;
    for (size_t i = 0; i + 6 < e.size(); ++i) {
        if (e[i].eventId != NAV_LIGHTS_SET || e[i + 6].eventId != CABIN_LIGHTS_SET) continue;
        uint32_t m = 0;
        for (size_t k = 0; k < 7; ++k) m |= (e[i + k].data ? 1u : 0u) << k;
        sets.push_back(m);
        i += 6;
    }
    auto mask = [](const LightSet& s) {
        return uint32_t(s.nav | s.beacon << 1 | s.landing << 2 | s.taxi << 3 | s.strobes << 4 | s.logo << 5 | s.cabin << 6);
    };
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0], mask(lightsTaxiOut));
    EXPECT_EQ(sets[1], mask(lightsTakeoffRoll));
    EXPECT_EQ(sets[2], mask(lightsBelow10000));
    // Throttle: idle for the taxi, up through the roll to full; never the same value twice in a row.
    std::vector<uint32_t> throttle;
    for (const auto& ev : h.events)
        if (ev.eventId == THROTTLE_SET) throttle.push_back(ev.data);
    EXPECT_EQ(std::adjacent_find(throttle.begin(), throttle.end()), throttle.end());
    ASSERT_FALSE(throttle.empty());
    EXPECT_NE(std::find(throttle.begin(), throttle.end(), throttleValues[4]), throttle.end());
}

TEST_F(Departure, ALandingRollIsNotTakenForATakeoffRoll) {
    StreamPos p = makePoint(standLat, standLon, 0, 120, 270, false);
    LiveAc& a = h.start(p, harnessIdentity(AircraftCategory::Large), gsTaxi);
    a.landingRoll = 1;
    gf_takeoffHandling(a);
    EXPECT_FALSE(a.takeoffRoll);
    std::lock_guard lock(simMutex);
    EXPECT_TRUE(simEventQueue.empty());
}

TEST_F(Departure, TowedAircraftTakingOffIsLoggedAndStillTakesOff) {
    StreamPos p = makePoint(standLat, standLon, 0, 50, 270, false);
    LiveAc& a = h.start(p, harnessIdentity(AircraftCategory::Large), gsTaxi);
    a.towed = 1;
    gf_takeoffHandling(a);
    EXPECT_TRUE(a.takeoffRoll);
    EXPECT_NE(logText().find("towed aircraft takes-off?"), std::string::npos);
}

TEST_F(Departure, HelicopterGetsNoGearFlapsOrSpoilerEvents) {
    buildDeparture(20.0, AircraftCategory::Rotorcraft);
    h.run(60000);
    ASSERT_FALSE(inState(gsClimbOut).empty()) << "never lifted off";
    EXPECT_EQ(h.countEvents(GEAR_SET), 0u);
    EXPECT_EQ(h.countEvents(FLAPS_SET), 0u);
    EXPECT_EQ(h.countEvents(SPOILERS_SET), 0u);
    EXPECT_GT(h.countEvents(THROTTLE_SET), 0u);
}

}  // namespace
}  // namespace vdl::test
