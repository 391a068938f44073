// Departures from a stand: pushback, taxi, take-off roll, rotation and climb-out.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "traffic/flight_harness.h"
#include "support/traffic_env.h"

namespace vdl::test {
namespace {

constexpr double ehamStandLat = 52.30;
constexpr double ehamStandLon = 4.76;
constexpr double ehamTerrain = 100.0;

LatLon lf_alongMetres(LatLon from, double bearingDeg, double metres) { return offsetMetres(from, bearingDeg, metres); }

class Departure : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        movementParkAirport = {true, "EHAM", ehamStandLat, ehamStandLon, ehamTerrain};
        parkPositions.clear();
        ParkPos& stand = parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, ehamStandLat, ehamStandLon, 0.0, 20.0,
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

    // Parked on A1 (nose north), pushback records turning the nose to `pushHeadingDeg`, then the
    // taxi east and south to runway 27, the take-off roll and a climb at 2000 ft/min.
    void buildDeparture(double pushHeadingDeg, AircraftCategory category = AircraftCategory::Large) {
        StreamPos parked = makePoint(ehamStandLat, ehamStandLon, 0, 0, 0, false);
        parked.stop = 1;
        parked.bankValid = 1;
        LiveAc& a = h.start(parked, harnessIdentity(category), GroundState::parked);
        a.standId = 1;
        a.standLat = ehamStandLat;
        a.standLon = ehamStandLon;
        a.standHeading = 0.0;
        uint32_t due = 6000;
        LatLon pos = lf_alongMetres({ehamStandLat, ehamStandLon}, 180.0, 6.0);
        for (int i = 0; i < 6; ++i) {
            StreamPos p = makePoint(pos.lat, pos.lon, 0, 3, 0, false);
            p.trueHeading = degToRad(pushHeadingDeg);
            p.headingValid = 1;
            h.addFeed(p, due);
            pos = lf_alongMetres(pos, 180.0, 6.0);
            due += 400;
        }
        // Taxi: from 150 m east of the stand's pushback area east, a right corner south, a right
        // corner onto the runway heading west.
        due = 12000;
        pos = lf_alongMetres(lf_alongMetres({ehamStandLat, ehamStandLon}, 180.0, 55.0), 90.0, 150.0);
        auto leg = [&](double bearing, double metres, double kt) {
            const double perPoint = kt * 0.5144 * 4.0;
            for (double done = 0.0; done < metres; done += perPoint) {
                pos = lf_alongMetres(pos, bearing, perPoint);
                h.addFeed(makePoint(pos.lat, pos.lon, 0, kt, bearing, false), due);
                due += 400;
            }
        };
        h.addFeed(makePoint(pos.lat, pos.lon, 0, 12, 90, false), due);
        due += 400;
        leg(90.0, 250.0, 14.0);
        leg(180.0, 600.0, 14.0);
        leg(270.0, 60.0, 8.0);
        // Take-off roll, 3 s apart.
        const double rollKt[] = {20, 45, 70, 95, 115, 135, 150};
        for (double kt : rollKt) {
            pos = lf_alongMetres(pos, 270.0, kt * 0.5144 * 3.0);
            h.addFeed(makePoint(pos.lat, pos.lon, 0, kt, 270, false), due);
            due += 300;
        }
        double alt = ehamTerrain + 40.0;
        for (int i = 0; i < 40; ++i) {
            pos = lf_alongMetres(pos, 270.0, 165.0 * 0.5144 * 4.0);
            alt += 2000.0 / 15.0;
            h.addFeed(makePoint(pos.lat, pos.lon, alt, 165, 270, true, 2000.0), due);
            due += 400;
        }
    }

    // Samples from the first to the last step in the ground state.
    std::vector<Sample> inState(GroundState gs) const {
        std::vector<Sample> v;
        for (const auto& s : h.track)
            if (s.groundState == gs) v.push_back(s);
        return v;
    }

    FlightHarness h;
};

double headingAfterPushbackDeg(const std::vector<Sample>& track) {
    for (size_t i = 1; i < track.size(); ++i)
        if (track[i - 1].groundState == GroundState::pushback && track[i].groundState != GroundState::pushback)
            return radToDeg(track[i].heading);
    return -1.0;
}

// Backwards: while the pushback moves, the direction of travel is opposite the nose.
void expectMovesBackwards(const std::vector<Sample>& push) {
    size_t checked = 0;
    for (size_t i = 20; i + 20 < push.size(); i += 20) {
        const double moved = gf_distanceNm({push[i - 20].lat, push[i - 20].lon}, {push[i + 20].lat, push[i + 20].lon});
        if (moved * 1852.0 < 0.3) continue;
        const double course = gf_bearing({push[i - 20].lat, push[i - 20].lon}, {push[i + 20].lat, push[i + 20].lon});
        EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(course, push[i].heading + pi))), 35.0) << "at step " << push[i].step;
        ++checked;
    }
    EXPECT_GT(checked, 20u);
}

// Straight first: over the first part of the pushback the aircraft keeps the stand's heading
// and moves along its axis.
void expectStraightFirst(const std::vector<Sample>& push) {
    for (size_t i = 0; i < push.size() / 3; ++i) {
        double east = 0, north = 0;
        gf_toLocalMetres(ehamStandLat, ehamStandLon, push[i].lat, push[i].lon, east, north);
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
    const auto push = inState(GroundState::pushback);
    ASSERT_GT(push.size(), 1000u);
    expectMovesBackwards(push);
    expectStraightFirst(push);
    const double after = headingAfterPushbackDeg(h.track);
    ASSERT_GE(after, 0.0);
    EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(degToRad(c.expectedHeadingDeg), degToRad(after)))), 6.0);
    // Done 2.5 stand radii (50 m) behind the stand, half a wingspan to the side after a turn.
    double east = 0, north = 0;
    gf_toLocalMetres(ehamStandLat, ehamStandLon, push.back().lat, push.back().lon, east, north);
    EXPECT_NEAR(north, -50.0, 3.0);
    EXPECT_NEAR(std::fabs(east), c.straightOnly ? 0.0 : 17.9, 3.0);
    for (size_t i = 1; i < push.size(); ++i) {
        const double step = std::fabs(gf_angleDiff(push[i - 1].heading, push[i].heading));
        ASSERT_LE(step, 3.0 * degToRad(baseTurnRateDegOfCategory[2]) + 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Sides, Pushback,
                         ::testing::Values(PushCase{"right", 20.0, false, 90.0}, PushCase{"left", 340.0, false, 270.0},
                                           PushCase{"straightOnly", 20.0, true, 0.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Departure, TaxiOutTakeOffAndClimbOutSendEachSetOnceAndReachGearUp) {
    buildDeparture(20.0);
    h.run(60000);
    const auto climb = inState(GroundState::climbOut);
    ASSERT_FALSE(climb.empty()) << "never rotated";
    ASSERT_FALSE(inState(GroundState::airborne).empty()) << "climb-out never ended";
    const auto gear = eventValues(h, GEAR_SET, climb.front().step);
    EXPECT_EQ(gear, std::vector<uint32_t>{0}) << "gear up once, during the climb-out";
    const auto sets = lightSets(h);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0], maskOf(lightsTaxiOut));
    EXPECT_EQ(sets[1], maskOf(lightsTakeoffRoll));
    EXPECT_EQ(sets[2], maskOf(lightsBelow10000));
}

}  // namespace
}  // namespace vdl::test
