// Whole flights through the movement code, judged on the flown track and the events sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "traffic/flight_harness.h"
#include "support/traffic_env.h"

namespace vdl::test {
namespace {

constexpr double fieldLat = 52.30;
constexpr double fieldLon = 4.76;
constexpr double fieldElevation = 100.0;

class FlightTrack : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        movementParkAirport = {true, "EHAM", fieldLat, fieldLon, fieldElevation};
        atTenNm = false;
        std::lock_guard lock(simMutex);
        simEventQueue.clear();
    }
    void TearDown() override {
        movementParkAirport = {};
        parkPositions.clear();
        TrafficTest::TearDown();
    }
    FlightHarness h;
};

LatLon lf_along(LatLon from, double bearingDeg, double nm) { return gf_destination(from, degToRad(bearingDeg), nm * feetPerNm); }

// An arrival on runway 27 (threshold at the field's reference point): 3 degree approach from
// 15 nm at 140 kt, touchdown, roll-out, a 45 degree exit at taxi speed, a short taxi, data end.
// The airborne altitudes shifted by `altShiftFt` (a QNH error, another field elevation).
void buildArrival(FlightHarness& h, AircraftCategory category, double altShiftFt = 0.0) {
    const LatLon threshold{fieldLat, fieldLon};
    const double gsKt = 140.0;
    const double stepS = 4.0;
    const double tan3 = std::tan(degToRad(3.0));
    uint32_t due = 0;
    double dist = 15.0;
    bool first = true;
    while (dist > -0.2) {
        const LatLon p = lf_along(threshold, 90.0, dist);
        const double alt = fieldElevation + 50.0 + std::max(0.0, dist) * feetPerNm * tan3 + altShiftFt;
        StreamPos sp = makePoint(p.lat, p.lon, alt, gsKt, 270.0, true, -gsKt * 101.27 * tan3);
        if (first) {
            h.start(sp, harnessIdentity(category), GroundState::airborne);
            first = false;
        } else {
            h.addFeed(sp, due);
        }
        due += static_cast<uint32_t>(stepS * 100);
        dist -= gsKt * stepS / 3600.0;
    }
    LatLon pos = lf_along(threshold, 270.0, 0.25);
    const double rollSpeeds[] = {130, 115, 100, 85, 70, 55, 40, 28, 18, 15};
    for (double s : rollSpeeds) {
        pos = lf_along(pos, 270.0, s * stepS / 3600.0);
        h.addFeed(makePoint(pos.lat, pos.lon, 0, s, 270.0, false), due);
        due += 400;
    }
    for (int i = 0; i < 6; ++i) {
        pos = lf_along(pos, 315.0, 15.0 * stepS / 3600.0);
        h.addFeed(makePoint(pos.lat, pos.lon, 0, 15.0, 315.0, false), due);
        due += 400;
    }
}

void expectTurnRates(const std::vector<Sample>& t, AircraftCategory c) {
    const double base = degToRad(baseTurnRateDegOfCategory[static_cast<size_t>(c)]);
    for (size_t i = 1; i < t.size(); ++i) {
        ASSERT_GE(t[i].heading, 0.0);
        ASSERT_LT(t[i].heading, 2 * pi + 1e-12);
        const double change = std::fabs(gf_angleDiff(t[i - 1].heading, t[i].heading));
        const double limit = (t[i - 1].onGround ? 3.0 : 1.0) * base + 1e-9;
        ASSERT_LE(change, limit) << "heading step at " << t[i].step;
    }
}

TEST_F(FlightTrack, ArrivalFliesSmoothlyAndSendsEachPhaseSetOnce) {
    buildArrival(h, AircraftCategory::Large);
    h.run(60000);
    ASSERT_FALSE(h.track.empty());
    expectNoJumps(h.track, [](const Sample& s) { return LatLon{s.lat, s.lon}; });
    expectTurnRates(h.track, AircraftCategory::Large);
    for (const auto& s : h.track) ASSERT_GE(s.alt, fieldElevation) << "below the ground at step " << s.step;

    // Descent, touchdown and roll-out are judged end to end in judged_flights_test.
    ASSERT_EQ(h.touchdownSteps.size(), 1u);
    const uint32_t td = h.touchdownSteps.front();
    EXPECT_TRUE(std::all_of(h.track.begin() + static_cast<std::ptrdiff_t>(td), h.track.end(), [](const Sample& s) { return s.onGround; }));

    // Events in phase order, each set once.
    const auto sets = lightSets(h);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0], maskOf(lightsBelow10000));
    EXPECT_EQ(sets[1], maskOf(lightsRunwayVacated));

    // Gear up while high (its state was unknown), down on the approach, nothing repeated.
    const auto gear = eventValues(h, GEAR_SET);
    ASSERT_FALSE(gear.empty());
    EXPECT_LE(gear.size(), 2u);
    EXPECT_EQ(gear.back(), 1u);
    EXPECT_EQ(std::adjacent_find(gear.begin(), gear.end()), gear.end());
    EXPECT_TRUE(eventValues(h, GEAR_SET, td).empty());

    const auto flapsBefore = eventValues(h, FLAPS_SET, 0, td);
    ASSERT_FALSE(flapsBefore.empty());
    EXPECT_TRUE(std::is_sorted(flapsBefore.begin(), flapsBefore.end())) << "flaps retract on the approach";
    EXPECT_EQ(flapsBefore.back(), flapsValues[3]);
    const auto flapsAfter = eventValues(h, FLAPS_SET, td);
    EXPECT_TRUE(std::is_sorted(flapsAfter.rbegin(), flapsAfter.rend()));
    EXPECT_EQ(flapsAfter.back(), flapsValues[0]);

    EXPECT_TRUE(eventValues(h, SPOILERS_SET, 0, td).empty());
    const auto spoilersAfter = eventValues(h, SPOILERS_SET, td);
    ASSERT_GE(spoilersAfter.size(), 2u);
    EXPECT_EQ(spoilersAfter.front(), 16383u);
    EXPECT_EQ(spoilersAfter.back(), 0u);

    const auto throttle = eventValues(h, THROTTLE_SET);
    EXPECT_TRUE(std::is_sorted(throttle.rbegin(), throttle.rend())) << "throttle rises on the way in";
    EXPECT_EQ(std::adjacent_find(throttle.begin(), throttle.end()), throttle.end()) << "a throttle value sent twice";
}

// Arrivals that land once, never below the field and never climbing on the way down: a
// helicopter without gear, flap or spoiler events; a jet with the park airport 40 nm away at
// 2000 ft, whose elevation must not pull the approach up.
TEST_F(FlightTrack, ArrivalsLandOnceWithoutClimbing) {
    const LatLon far = lf_along({fieldLat, fieldLon}, 0.0, 40.0);
    for (const auto& [category, farPark] : {std::pair{AircraftCategory::Rotorcraft, false}, {AircraftCategory::Large, true}}) {
        SCOPED_TRACE(farPark ? "park airport far away" : "helicopter");
        if (farPark) movementParkAirport = {true, "EDDX", far.lat, far.lon, 2000.0};
        liveAircraft.clear();
        h = FlightHarness{};
        buildArrival(h, category);
        h.run(60000);
        ASSERT_EQ(h.touchdownSteps.size(), 1u) << "never landed";
        for (const auto& s : h.track) ASSERT_GE(s.alt, fieldElevation);
        for (size_t i = 100; i < h.touchdownSteps.front(); i += 100)
            ASSERT_LE(h.track[i].alt, h.track[i - 100].alt + 0.5) << "climbing at step " << i;
        for (const uint32_t id : {GEAR_SET, FLAPS_SET, SPOILERS_SET})
            EXPECT_EQ(h.countEvents(id) == 0, category == AircraftCategory::Rotorcraft) << id;
    }
}

// Away from any park airport, an approach whose data ends 300 ft under the simulator's ground
// still flares: a gentle touchdown on the ground, not the data's descent into it.
TEST_F(FlightTrack, ApproachWhoseDataEndsBelowTheGroundFlaresAwayFromTheParkAirport) {
    movementParkAirport = {};
    buildArrival(h, AircraftCategory::Large, -300.0);
    h.run(60000);
    ASSERT_EQ(h.touchdownSteps.size(), 1u) << "never landed";
    const uint32_t td = h.touchdownSteps.front();
    ASSERT_GT(td, 100u);
    const double standing = h.ac().identity.staticCgHeight;
    for (const auto& s : h.track) ASSERT_GE(s.alt, fieldElevation + standing - 3.0) << "under the ground at " << s.step;
    EXPECT_LE(h.track[td - 100].alt - h.track[td].alt, 5.0) << "sink in the last second before touchdown";
    EXPECT_TRUE(std::all_of(h.track.begin() + td, h.track.end(), [](const Sample& s) { return s.onGround; }));
}

// A take-off roll whose points zigzag by 20 m either side of the runway (noisy positions every
// 2 s): the roll runs straight down the runway, the nose on it, instead of weaving after them.
TEST_F(FlightTrack, JitteredTakeOffRollRunsStraight) {
    movementParkAirport = {};
    const LatLon start{fieldLat, fieldLon};
    h.start(makePoint(start.lat, start.lon, 0, 20, 270, false), harnessIdentity(AircraftCategory::Large),
            GroundState::taxi);
    double along = 0.0, speed = 20.0, alt = 0.0;
    uint32_t due = 200;
    for (int i = 1; i <= 40; ++i, due += 200) {
        speed = std::min(170.0, speed + 8.0);
        along += speed * 2.0 / 3600.0;
        const bool airborne = speed >= 150.0;
        if (airborne) alt = std::max(alt, fieldElevation) + 60.0;
        const LatLon onRunway = lf_along(start, 270.0, along);
        const LatLon p = lf_along(onRunway, i % 2 ? 0.0 : 180.0, 20.0 / 1852.0);
        h.addFeed(makePoint(p.lat, p.lon, alt, speed, 270, airborne, airborne ? 1800.0 : 0.0), due);
    }
    h.run(due + 3000);
    size_t fast = 0;
    for (size_t i = 0; i < h.track.size(); ++i) {
        const Sample& s = h.track[i];
        if (!s.onGround || s.speedKt < 60.0) continue;
        ++fast;
        EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(degToRad(270.0), s.heading))), 4.0) << "weaving at step " << i;
    }
    EXPECT_GT(fast, 500u);
}

TEST_F(FlightTrack, TaxiingAircraftHoldsAfterItsDataEndsThenGoes) {
    buildArrival(h, AircraftCategory::Large);
    MAX_HOLDING_MINUTES.set(1);
    h.run(200000);
    ASSERT_TRUE(h.gone());
    EXPECT_TRUE(h.ac().holding);
    // Held still at the last point for a minute (plus the last hold point) before removal.
    size_t stillSince = h.track.size() - 1;
    while (stillSince > 0 && h.track[stillSince - 1].lat == h.track.back().lat &&
           h.track[stillSince - 1].lon == h.track.back().lon)
        --stillSince;
    const double heldSeconds = static_cast<double>(h.track.size() - stillSince) / 100.0;
    EXPECT_GE(heldSeconds, 60.0);
    EXPECT_LE(heldSeconds, 60.0 + 3.0 + 30.0);
}

TEST_F(FlightTrack, HoldingAircraftGoesAtOnceWhenATaxiingNeighbourComesClose) {
    buildArrival(h, AircraftCategory::Large);
    MAX_HOLDING_MINUTES.set(60);
    h.run(50000);  // long enough to be holding
    ASSERT_FALSE(h.gone());
    ASSERT_TRUE(h.ac().holding);
    const LatLon held{h.ac().lat, h.ac().lon};
    const double sumOfHalfSpans = h.ac().identity.halfWingspan * 2.0;
    LiveAc& other = liveAircraft.emplace_back(makePoint(held.lat, held.lon, 0, 0, 0, false),
                                              harnessIdentity(AircraftCategory::Large), 1.0);
    other.state = AcState::active;
    other.onGround = true;
    other.groundState = GroundState::taxi;
    other.objectId = 99;
    for (const auto& [factor, goes] : {std::pair{1.3, false}, std::pair{1.1, true}}) {
        SCOPED_TRACE(factor);
        const LatLon near = lf_along(held, 0.0, factor * sumOfHalfSpans);
        liveAircraft[1].lat = near.lat;
        liveAircraft[1].lon = near.lon;
        h.acIndex = 0;
        const uint32_t before = h.step;
        h.run(goes ? 1000 : 2000);
        EXPECT_EQ(h.gone(), goes);
        if (goes) {
            EXPECT_LE(h.step - before, 301u) << "removed at the next stream end";
        }
    }
}

// Airborne with the data ending at a distance from the user aircraft.
class AirExtension : public FlightTrack {
protected:
    // Flies east at 200 kt; answers how many seconds it flew on after its last point.
    double flyOnAfterDataEnd(double userDistanceNm) {
        const LatLon start{fieldLat, fieldLon};
        // The user lies ahead, so that the distance at the data end is the one given.
        const LatLon user = lf_along(start, 90.0, userDistanceNm + 200.0 * 4 / 3600.0);
        userAc.latitude = user.lat;
        userAc.longitude = user.lon;
        StreamPos p = makePoint(start.lat, start.lon, 6000, 200, 90, true);
        h.start(p, harnessIdentity(AircraftCategory::Large), GroundState::airborne);
        h.ac().aglFt = 2500;
        const LatLon next = lf_along(start, 90.0, 200.0 * 4 / 3600.0);
        h.addFeed(makePoint(next.lat, next.lon, 6000, 200, 90, true), 400);
        h.run(100000);
        EXPECT_TRUE(h.gone());
        return (static_cast<double>(h.step) - 400.0) / 100.0;
    }
};

TEST_F(AirExtension, ExtrapolatesInsideRangeLessHalfAMileOnly) {
    gf_setLateralRange(40);
    EXPECT_NEAR(flyOnAfterDataEnd(39.4), 64.0, 3.0);
    double slower = 0.0;
    for (size_t i = h.track.size() - 200; i < h.track.size() - 100; ++i) slower += h.track[i].speedKt / 100.0;
    EXPECT_LT(slower, 200.0 * 0.95 * 0.95);

    liveAircraft.clear();
    h = FlightHarness{};
    EXPECT_NEAR(flyOnAfterDataEnd(39.6), 0.0, 0.1);
}


TEST_F(FlightTrack, TaxiCornerIsFlownAsACurveAndHeadingWrapsThroughNorth) {
    // Taxi north-west on 340, a 40 degree corner to 020 at 12 kt.
    const LatLon corner{fieldLat, fieldLon};
    std::vector<LatLon> pts;
    for (int i = 5; i >= 1; --i) pts.push_back(lf_along(corner, 160.0, 12.0 * 4 * i / 3600.0));
    pts.push_back(corner);
    for (int i = 1; i <= 5; ++i) pts.push_back(lf_along(corner, 20.0, 12.0 * 4 * i / 3600.0));
    StreamPos first = makePoint(pts[0].lat, pts[0].lon, 0, 12, 340, false);
    h.start(first, harnessIdentity(AircraftCategory::Large), GroundState::taxi);
    for (size_t i = 1; i < pts.size(); ++i) {
        const double trk = i < 6 ? 340.0 : 20.0;
        h.addFeed(makePoint(pts[i].lat, pts[i].lon, 0, 12, trk, false), static_cast<uint32_t>(i * 400));
    }
    h.run(static_cast<uint32_t>(pts.size() * 400));
    expectNoJumps(h.track, [](const Sample& s) { return LatLon{s.lat, s.lon}; });
    expectTurnRates(h.track, AircraftCategory::Large);
    // The path cuts the corner (a curve), and the heading changes over many steps, not at once.
    double closest = 1e9;
    size_t turning = 0;
    for (size_t i = 1; i < h.track.size(); ++i) {
        closest = std::min(closest, gf_distanceNm({h.track[i].lat, h.track[i].lon}, corner) * 1852.0);
        if (std::fabs(gf_angleDiff(h.track[i - 1].heading, h.track[i].heading)) > 1e-6) ++turning;
    }
    EXPECT_GT(closest, 3.0);
    EXPECT_GT(turning, 300u);
    EXPECT_NEAR(radToDeg(std::fabs(gf_angleDiff(degToRad(20.0), h.track.back().heading))), 0.0, 3.0);
    // Never more than a few degrees between the heading and the direction of travel.
    for (size_t i = 50; i + 50 < h.track.size(); i += 10) {
        const double course = gf_bearing({h.track[i - 10].lat, h.track[i - 10].lon}, {h.track[i + 10].lat, h.track[i + 10].lon});
        if (h.track[i].speedKt < 1.0) continue;
        EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(course, h.track[i].heading))), 8.0) << "sliding at step " << i;
    }
}

}  // namespace
}  // namespace vdl::test
namespace vdl::test {
namespace {

// Tail first in the data (a pushback away from a stand of no park airport): flown backwards with
// the nose where it was, not turned round on the spot; then forwards the nose follows the path.
TEST_F(FlightTrack, TailFirstMoveInTheDataIsFlownAsAPushback) {
    const LatLon stand{fieldLat, fieldLon};
    StreamPos first = makePoint(stand.lat, stand.lon, 0, 0, 25, false);
    h.start(first, harnessIdentity(AircraftCategory::Large), GroundState::taxi);
    uint32_t due = 400;
    LatLon pos = stand;
    for (int i = 1; i <= 12; ++i, due += 400) {  // 48 s at 1.6 kt towards 205
        pos = lf_along(pos, 205.0, 1.6 * 4 / 3600.0);
        h.addFeed(makePoint(pos.lat, pos.lon, 0, 1.6, 205, false), due);
    }
    const size_t pushEnd = due - 400;  // the last tail-first point
    for (int i = 1; i <= 10; ++i, due += 400) {  // then forwards on 115 at 8 kt
        pos = lf_along(pos, 115.0, 8.0 * 4 / 3600.0);
        h.addFeed(makePoint(pos.lat, pos.lon, 0, 8.0, 115, false), due);
    }
    h.run(due + 1000);
    ASSERT_GT(h.track.size(), pushEnd);
    double movedBack = 0.0;
    for (size_t i = 1; i < pushEnd; ++i) {
        EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(degToRad(25.0), h.track[i].heading))), 10.0) << "turned at step " << i;
        movedBack = std::max(movedBack, gf_distanceNm(stand, {h.track[i].lat, h.track[i].lon}) * 1852.0);
    }
    EXPECT_GT(movedBack, 15.0);
    EXPECT_NEAR(radToDeg(std::fabs(gf_angleDiff(degToRad(115.0), h.track.back().heading))), 0.0, 10.0);
    // The push lags its data: it ends tail first, then the aircraft turns and goes forwards.
    for (size_t i = pushEnd + 2000; i + 50 < h.track.size(); i += 10) {
        if (h.track[i].speedKt < 3.0) continue;
        const double course = gf_bearing({h.track[i - 10].lat, h.track[i - 10].lon}, {h.track[i + 10].lat, h.track[i + 10].lon});
        EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(course, h.track[i].heading))), 20.0) << "sliding at step " << i;
    }
}

}  // namespace
}  // namespace vdl::test
