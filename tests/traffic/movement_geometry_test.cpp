// The curve geometry, leg durations, time windows and the point-change edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "airports/stand_records.h"
#include "feed/qnh.h"
#include "foundation/parameters.h"
#include "traffic/flight_harness.h"
#include "traffic/ground_movement.h"
#include "traffic/traffic_fixture.h"

namespace vdl::test {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct BezierCase {
    const char* name;
    BezierCurve curve;
    double t;
    double eastM, northM;  // expected local position from the reference
    double bearingDeg;     // expected tangent
};

class Bezier : public ::testing::TestWithParam<BezierCase> {};

TEST_P(Bezier, PointAndTangent) {
    const BezierCase& c = GetParam();
    LatLon p;
    double bearing = -1.0;
    ASSERT_TRUE(bezierPoint(c.curve, c.t, p, bearing));
    double east = 0, north = 0;
    gf_toLocalMetres(c.curve.refLat, c.curve.refLon, p.lat, p.lon, east, north);
    EXPECT_NEAR(east, c.eastM, 0.01);
    EXPECT_NEAR(north, c.northM, 0.01);
    EXPECT_NEAR(std::fabs(gf_angleDiff(c.bearingDeg * degToRad, bearing)), 0.0, 1e-6);
    EXPECT_GE(bearing, 0.0);
    EXPECT_LT(bearing, 2 * pi);
    EXPECT_GE(p.lon, -180.0);
    EXPECT_LE(p.lon, 180.0);
}

// A right-angle corner: from (0,0) via (0,100) north to (100,100) east.
constexpr BezierCurve corner{52.0, 4.0, 0.0, 1.0, 0.0, 100.0, 100.0, 100.0};
// The same corner far north, where a degree of longitude is half as long.
constexpr BezierCurve cornerAt60{60.0, 10.0, 0.0, 1.0, 0.0, 100.0, 100.0, 100.0};
// Across the date line: starts at 179.9995 E and ends west of it.
constexpr BezierCurve dateLine{0.0, 179.9995, 0.0, 1.0, 100.0, 0.0, 200.0, 0.0};
// Parameter bounds other than 0..1.
constexpr BezierCurve shifted{52.0, 4.0, 2.0, 4.0, 0.0, 100.0, 100.0, 100.0};

INSTANTIATE_TEST_SUITE_P(
    Table, Bezier,
    ::testing::Values(BezierCase{"start", corner, 0.0, 0.0, 0.0, 0.0}, BezierCase{"end", corner, 1.0, 100.0, 100.0, 90.0},
                      BezierCase{"middle", corner, 0.5, 25.0, 75.0, 45.0},
                      BezierCase{"north60", cornerAt60, 1.0, 100.0, 100.0, 90.0},
                      BezierCase{"dateLineMiddle", dateLine, 0.5, 100.0, 0.0, 90.0},
                      BezierCase{"dateLineEnd", dateLine, 1.0, 200.0, 0.0, 90.0},
                      BezierCase{"shiftedMiddle", shifted, 3.0, 25.0, 75.0, 45.0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BezierGeometry, LongitudeUsesTheCosineOfTheLatitudeInRadians) {
    LatLon p;
    double b = 0;
    ASSERT_TRUE(bezierPoint(cornerAt60, 1.0, p, b));
    // 100 m east at 60 deg north is twice the longitude of 100 m at the equator.
    EXPECT_NEAR(p.lon - 10.0, 100.0 / (0.5 * metresPerDegreeLat), 1e-9);
    EXPECT_NEAR(p.lat - 60.0, 100.0 / metresPerDegreeLat, 1e-12);
}

TEST(BezierGeometry, EndsWestOfTheDateLine) {
    LatLon p;
    double b = 0;
    ASSERT_TRUE(bezierPoint(dateLine, 1.0, p, b));
    EXPECT_LT(p.lon, -179.99);
}

TEST(BezierGeometry, FailsWithoutControlPointOrOutsideTheParameterRange) {
    LatLon p;
    double b = 0;
    BezierCurve none = corner;
    none.p1East = nan;
    EXPECT_FALSE(bezierPoint(none, 0.5, p, b));
    none = corner;
    none.p1North = nan;
    EXPECT_FALSE(bezierPoint(none, 0.5, p, b));
    EXPECT_FALSE(bezierPoint(corner, 1.0001, p, b));
    EXPECT_FALSE(bezierPoint(corner, -0.0001, p, b));
    EXPECT_FALSE(bezierPoint(corner, nan, p, b));
    EXPECT_FALSE(bezierPoint(shifted, 1.0, p, b));
}

TEST(BezierGeometry, LocalMetresAcrossTheDateLineTakeTheShortWay) {
    double east = 0, north = 0;
    gf_toLocalMetres(0.0, 179.999, 0.0, -179.999, east, north);
    EXPECT_NEAR(east, 0.002 * metresPerDegreeLat, 1e-6);
    gf_toLocalMetres(0.0, -179.999, 0.0, 179.999, east, north);
    EXPECT_NEAR(east, -0.002 * metresPerDegreeLat, 1e-6);
}

struct LegCase {
    const char* name;
    double nm, kt;
    int32_t fallback;
    int32_t expected;
};

class LegUnits : public ::testing::TestWithParam<LegCase> {};

TEST_P(LegUnits, DurationOrFallback) {
    const LegCase& c = GetParam();
    EXPECT_EQ(gf_legUnits(c.nm, c.kt, c.fallback), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, LegUnits,
                         ::testing::Values(LegCase{"oneMileAt60", 1.0, 60.0, 0, 6000}, LegCase{"short", 0.0001, 300.0, 0, 25},
                                           LegCase{"zeroSpeed", 1.0, 0.0, 700, 700}, LegCase{"nanSpeed", 1.0, nan, 700, 700},
                                           LegCase{"negativeSpeed", 1.0, -5.0, 10, 25},
                                           LegCase{"nanDistance", nan, 100.0, 400, 400},
                                           LegCase{"infiniteDistance", std::numeric_limits<double>::infinity(), 100.0, 400, 400},
                                           LegCase{"tinySpeed", 100.0, 1e-300, 500, 500}),
                         [](const auto& info) { return std::string(info.param.name); });

struct WindowCase {
    const char* name;
    int32_t given;     // second point's time from the clock
    int32_t units;     // duration asked for
    int32_t early, late;
    int32_t extension;
    int32_t expected;  // resulting time from the clock
};

class Windows : public TrafficTest, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(Windows, ScheduleWithinTheWindows) {
    const WindowCase& c = GetParam();
    clock100.store(0xFFFFFF00u);  // near the wrap of the clock
    const uint32_t clock = clock100.load();
    LiveAc& a = addActiveLiveAc(40002, 5);
    a.stream.front().time = clock;
    StreamPos p1 = a.stream.front();
    p1.time = clock + static_cast<uint32_t>(c.given);
    a.stream.push_back(p1);
    a.earlyWindow = c.early;
    a.lateWindow = c.late;
    a.extensionCount = c.extension;
    scheduleNextPoint(a, c.units);
    EXPECT_EQ(gf_unitsFrom(clock, a.stream[1].time), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, Windows,
                         ::testing::Values(WindowCase{"inside", 3000, 2500, 1000, 1000, 0, 2500},
                                           WindowCase{"cappedLate", 3000, 9000, 1000, 1000, 0, 4000},
                                           WindowCase{"raisedEarly", 3000, 100, 1000, 1000, 0, 2000},
                                           WindowCase{"wideLate", 3000, 9000, 3000, 5000, 0, 8000},
                                           WindowCase{"pastPoint", -500, 100, 1000, 1000, 0, 100},
                                           WindowCase{"neverBeforeTheClock", -5000, 10, 1000, 1000, 0, 0},
                                           WindowCase{"extensionIgnoresWindows", 3000, 9000, 1000, 1000, 3, 9000}),
                         [](const auto& info) { return std::string(info.param.name); });

class PointChange : public TrafficTest {
protected:
    void TearDown() override {
        parkPositions.clear();
        TrafficTest::TearDown();
    }
    FlightHarness h;
};

TEST_F(PointChange, SecondPointOnTheFirstIsAStopAndWindowsShrink) {
    StreamPos p = makePoint(52.3, 4.76, 0, 0, 90, false);
    LiveAc& a = h.start(p, harnessIdentity(AircraftCategory::Large), gsTaxi);
    a.earlyWindow = 3000;
    a.lateWindow = 1500;
    StreamPos same = p;
    same.time = harnessClockStart + 200;
    a.stream.push_back(same);
    nextPosMain(a);
    ASSERT_EQ(a.stream.size(), 1u);
    EXPECT_TRUE(a.stream.front().stop);
    EXPECT_EQ(a.earlyWindow, 2900);
    EXPECT_EQ(a.lateWindow, 1400);
    EXPECT_EQ(a.latRate, 0.0);
    EXPECT_EQ(a.lonRate, 0.0);
}

TEST_F(PointChange, APastPointStillTakesAQuarterSecond) {
    StreamPos p = makePoint(52.3, 4.76, 5000, 200, 90, true);
    LiveAc& a = h.start(p, harnessIdentity(AircraftCategory::Large), gsAirborne);
    const LatLon to = gf_destination({52.3, 4.76}, pi / 2, 200.0);
    StreamPos q = makePoint(to.lat, to.lon, 5000, 200, 90, true);
    q.time = harnessClockStart - 1000;
    a.stream.push_back(q);
    a.extensionCount = 1;  // no windows: the duration decides
    nextPosMain(a);
    ASSERT_EQ(a.stream.size(), 1u);
    EXPECT_GE(gf_unitsFrom(clock100.load(), a.stream.front().time), 0);
    EXPECT_NEAR(a.latRate * 25.0 + a.lat, to.lat, 1e-3);
    const double perStep = gf_distanceNm({a.lat, a.lon}, {a.lat + a.latRate, a.lon + a.lonRate});
    EXPECT_LE(perStep, gf_distanceNm({a.lat, a.lon}, to) / 25.0 + 1e-12);
}

TEST_F(PointChange, AirborneAeroplaneNeverStopsButAHelicopterHovers) {
    for (AircraftCategory c : {AircraftCategory::Large, AircraftCategory::Rotorcraft}) {
        liveAircraft.clear();
        FlightHarness f;
        StreamPos p = makePoint(52.3, 4.76, 3000, 0, 90, true);
        LiveAc& a = f.start(p, harnessIdentity(c), gsAirborne);
        StreamPos hover = p;
        hover.stop = 1;
        hover.time = harnessClockStart + 500;
        a.stream.push_back(hover);
        const LatLon to = gf_destination({52.3, 4.76}, pi / 2, 600.0);
        StreamPos q = makePoint(to.lat, to.lon, 3000, 60, 90, true);
        q.time = harnessClockStart + 1000;
        a.stream.push_back(q);
        nextPosMain(a);
        if (c == AircraftCategory::Rotorcraft) {
            EXPECT_TRUE(a.stream.front().stop) << "a helicopter keeps its hover point";
        } else {
            EXPECT_FALSE(a.stream.front().stop) << "an aeroplane's stop point in the air is dropped";
        }
    }
}

TEST_F(PointChange, ParkedAircraftGetsAStopSevenDaysAhead) {
    ParkPos& stand = parkPositions.emplace_back("B2", std::vector<ParkPosOption>{}, 52.3, 4.76, 0.0, 20.0, false, false, false);
    stand.id = 3;
    stand.occupied = 1;
    StreamPos p = makePoint(52.3, 4.76, 0, 0, 0, false);
    p.stop = 1;
    LiveAc& a = h.start(p, harnessIdentity(AircraftCategory::Large), gsParked);
    a.standId = 3;
    a.standChecked = 1;
    nextPosMain(a);
    ASSERT_EQ(a.state, acStateActive);
    ASSERT_EQ(a.stream.size(), 1u);
    EXPECT_TRUE(a.stream.front().stop);
    EXPECT_EQ(gf_unitsFrom(clock100.load(), a.stream.front().time), 60480000);
    // The stand waits to be confirmed by the next sighting.
    EXPECT_FALSE(parkPositions.front().occupied);
    EXPECT_FALSE(a.standChecked);
}

TEST_F(PointChange, LongSlowCornerGetsAMidpointAndTheCurveAtTheNextPoint) {
    // 80 m legs at 10 kt (16 s each) with a 90 degree corner.
    const LatLon a0{52.3, 4.76};
    const LatLon c = offsetMetres(a0, 0.0, 80.0);
    const LatLon e = offsetMetres(c, 90.0, 80.0);
    StreamPos p0 = makePoint(a0.lat, a0.lon, 0, 10, 0, false);
    LiveAc& a = h.start(p0, harnessIdentity(AircraftCategory::Large), gsTaxi);
    StreamPos p1 = makePoint(c.lat, c.lon, 0, 10, 0, false);
    p1.time = harnessClockStart + 1555;
    StreamPos p2 = makePoint(e.lat, e.lon, 0, 10, 90, false);
    p2.time = harnessClockStart + 3110;
    a.stream.push_back(p1);
    a.stream.push_back(p2);
    nextPosMain(a);
    EXPECT_FALSE(gf_curveSet(a));
    ASSERT_EQ(a.stream.size(), 3u);  // midpoint, corner, end
    EXPECT_NEAR(gf_distanceNm({a.stream[0].lat, a.stream[0].lon}, a0) * 1852.0, 40.0, 0.5);
    // Fly to the midpoint; the next point change builds the curve.
    h.run(static_cast<uint32_t>(gf_unitsFrom(clock100.load(), a.stream.front().time)) + 1);
    EXPECT_TRUE(gf_curveSet(h.ac()));
}

TEST_F(PointChange, AReversalIsNotCurved) {
    const LatLon a0{52.3, 4.76};
    const LatLon c = offsetMetres(a0, 0.0, 30.0);
    const LatLon e = offsetMetres(c, 185.0, 30.0);
    StreamPos p0 = makePoint(a0.lat, a0.lon, 0, 10, 0, false);
    LiveAc& a = h.start(p0, harnessIdentity(AircraftCategory::Large), gsTaxi);
    StreamPos p1 = makePoint(c.lat, c.lon, 0, 10, 0, false);
    p1.time = harnessClockStart + 600;
    StreamPos p2 = makePoint(e.lat, e.lon, 0, 10, 185, false);
    p2.time = harnessClockStart + 1200;
    a.stream.push_back(p1);
    a.stream.push_back(p2);
    nextPosMain(a);
    EXPECT_FALSE(gf_curveSet(a));
}

TEST_F(PointChange, NanSpeedsDoNotReachTheSchedule) {
    StreamPos p0 = makePoint(52.3, 4.76, 0, nan, 0, false);
    LiveAc& a = h.start(p0, harnessIdentity(AircraftCategory::Large), gsTaxi);
    const LatLon c = offsetMetres({52.3, 4.76}, 0.0, 50.0);
    StreamPos p1 = makePoint(c.lat, c.lon, 0, nan, 0, false);
    p1.time = harnessClockStart + 700;
    a.stream.push_back(p1);
    nextPosMain(a);
    ASSERT_EQ(a.stream.size(), 1u);
    const int32_t due = gf_unitsFrom(clock100.load(), a.stream.front().time);
    EXPECT_GE(due, 25);
    EXPECT_LE(due, 700 + a.lateWindow);
    EXPECT_TRUE(std::isfinite(a.latRate));
    EXPECT_TRUE(std::isfinite(a.identity.turnRate));
}

TEST(DescentRate, QnhAboveStandardSteepensTheDescent) {
    StreamPos p = makePoint(52.3, 4.76, 2000, 150, 90, true, -700.0);
    LiveAc a(p, harnessIdentity(AircraftCategory::Large), 1.0);
    a.stream.push_back(p);
    a.aglFt = 1500;
    qnh = 1013;
    EXPECT_DOUBLE_EQ(descentRate(a), -700.0);
    qnh = 1023;
    EXPECT_DOUBLE_EQ(descentRate(a), -760.0);
    qnh = 990;
    a.stream[0].vs = a.stream[1].vs = -200.0;
    EXPECT_DOUBLE_EQ(descentRate(a), -601.0);
    a.aglFt = 80;
    EXPECT_DOUBLE_EQ(descentRate(a), -600.0);
    qnh = 1013;
}

TEST(BankRate, LimitedByTheCategory) {
    StreamPos p = makePoint(52.3, 4.76, 2000, 150, 90, true);
    LiveAc heavy(p, harnessIdentity(AircraftCategory::Heavy), 1.0);
    setBankRate(heavy, 90.0 * degToRad, 10.0);
    EXPECT_DOUBLE_EQ(heavy.bankRate, -0.015 * degToRad);  // towards -20 deg, at the most rate
    setBankRate(heavy, -1.0 * degToRad, 1e6);
    EXPECT_NEAR(heavy.bankRate, 1.0 * degToRad / 1e6, 1e-15);
    setBankRate(heavy, nan, 100.0);
    EXPECT_DOUBLE_EQ(heavy.bankRate, 0.0);
}

}  // namespace
}  // namespace vdl::test
