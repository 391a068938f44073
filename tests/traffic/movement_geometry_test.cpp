// The curve geometry, leg durations, time windows and the point-change edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "feed/qnh.h"
#include "traffic/flight_harness.h"
#include "support/traffic_env.h"

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
    EXPECT_NEAR(std::fabs(gf_angleDiff(degToRad(c.bearingDeg), bearing)), 0.0, 1e-6);
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
    ::testing::Values(BezierCase{"end", corner, 1.0, 100.0, 100.0, 90.0}, BezierCase{"middle", corner, 0.5, 25.0, 75.0, 45.0},
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

TEST(BezierGeometry, FailsWithoutControlPointOrOutsideTheParameterRange) {
    LatLon p;
    double b = 0;
    BezierCurve none = corner;
    none.p1East = nan;
    EXPECT_FALSE(bezierPoint(none, 0.5, p, b));
    EXPECT_FALSE(bezierPoint(corner, 1.0001, p, b));
    EXPECT_FALSE(bezierPoint(corner, -0.0001, p, b));
    EXPECT_FALSE(bezierPoint(corner, nan, p, b));
}

TEST(BezierGeometry, LocalMetresAcrossTheDateLineTakeTheShortWay) {
    double east = 0, north = 0;
    gf_toLocalMetres(0.0, 179.999, 0.0, -179.999, east, north);
    EXPECT_NEAR(east, 0.002 * metresPerDegreeLat, 1e-6);
    gf_toLocalMetres(0.0, -179.999, 0.0, 179.999, east, north);
    EXPECT_NEAR(east, -0.002 * metresPerDegreeLat, 1e-6);
}

// No NaN or infinity reaches the integer conversion: the fallback comes back instead.
TEST(LegUnits, DurationOrFallback) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Row {
        double nm, kt;
        int32_t fallback, expected;
    };
    const Row rows[] = {{1.0, 60.0, 0, 6000}, {0.0001, 300.0, 0, 25}, {1.0, 0.0, 700, 700}, {1.0, nan, 700, 700},
                        {1.0, -5.0, 10, 25},  {inf, 100.0, 400, 400}, {100.0, 1e-300, 500, 500}};
    for (const Row& r : rows) EXPECT_EQ(gf_legUnits(r.nm, r.kt, r.fallback), r.expected) << r.nm << " nm " << r.kt << " kt";
}

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
                                           WindowCase{"wideLate", 3000, 9000, 3000, 5000, 0, 8000},
                                           WindowCase{"pastPoint", -500, 100, 1000, 1000, 0, 100},
                                           WindowCase{"extensionIgnoresWindows", 3000, 9000, 1000, 1000, 3, 9000}),
                         [](const auto& info) { return std::string(info.param.name); });

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

TEST(BankRate, CoordinatedWithTurnRateAndSpeedWithinTheCategory) {
    StreamPos p = makePoint(52.3, 4.76, 2000, 150, 90, true);
    LiveAc heavy(p, harnessIdentity(AircraftCategory::Heavy), 1.0);
    heavy.targetTas = 150.0;
    // 3 deg/s at 150 kt needs 22 deg: the heavy's 20 at the most, reached at its roll rate.
    setBankRate(heavy, degToRad(30.0), 1000.0);
    EXPECT_DOUBLE_EQ(heavy.bankRate, degToRad(-0.015));
    heavy.bank = degToRad(-19.99);
    setBankRate(heavy, degToRad(30.0), 1000.0);
    EXPECT_NEAR(heavy.bankRate, degToRad(-0.01) / 1000.0, 1e-12);
    // A gentle left turn: the coordinated bank, whatever the leg's length.
    LiveAc large(p, harnessIdentity(AircraftCategory::Large), 1.0);
    large.targetTas = 150.0;
    const double needed = std::atan(degToRad(1.5) * ktToMps(150.0) / standardGravity);
    setBankRate(large, degToRad(-1.5) * 1000.0, 100000.0);
    EXPECT_NEAR(large.bankRate * 100000.0, needed, 1e-9);
    // 4.4 deg/s at 150 kt: the large's full 30 deg, not the 4.9 deg the turn angle gave.
    setBankRate(large, degToRad(4.4) * 1000.0, 100000.0);
    EXPECT_NEAR(large.bankRate * 100000.0, degToRad(-30.0), 1e-9);
    heavy.bank = 0.0;
    setBankRate(heavy, nan, 100.0);
    EXPECT_DOUBLE_EQ(heavy.bankRate, 0.0);
}

// A turn held at the category's bank limit: the bank rolled in step by step ends a few ulps off
// the limit, and there it must settle on the limit itself, neither stay short nor beyond it.
TEST(BankRate, SettlesExactlyOnTheLimitAfterTheRollIn) {
    StreamPos p = makePoint(52.3, 4.76, 2000, 190, 90, true);
    LiveAc heavy(p, harnessIdentity(AircraftCategory::Heavy), 1.0);
    heavy.targetTas = 190.0;
    const double limit = degToRad(20.0);  // a left turn of 3.4 deg/s at 190 kt needs 30
    const double leftTurn = degToRad(-3.4) * 2.0;
    // The roll-in as the traffic step flies it: 200-step legs, the bank summed each step.
    heavy.bank = 0.0;
    for (int leg = 0; leg < 10; ++leg) {
        setBankRate(heavy, leftTurn, 200.0);
        for (int i = 0; i < 200; ++i) heavy.bank += heavy.bankRate;
    }
    setBankRate(heavy, leftTurn, 200.0);
    EXPECT_EQ(heavy.bank, limit);
    EXPECT_EQ(heavy.bankRate, 0.0);
    struct Case {
        double bank;
        double turn;
        double bankAfter;
        bool rolls;
    };
    const Case cases[] = {
        {std::nextafter(limit, 0.0), leftTurn, limit, false},
        {std::nextafter(limit, 1.0), leftTurn, limit, false},
        {-std::nextafter(limit, 0.0), -leftTurn, -limit, false},
        {limit - 1e-6, leftTurn, limit - 1e-6, true},  // still short: rolls on at a rate
        {1e-12, 0.0, 0.0, false},                      // wings level
    };
    for (const Case& c : cases) {
        heavy.bank = c.bank;
        setBankRate(heavy, c.turn, 200.0);
        EXPECT_EQ(heavy.bank, c.bankAfter) << c.bank;
        EXPECT_EQ(heavy.bankRate != 0.0, c.rolls) << c.bank;
    }
}

}  // namespace
}  // namespace vdl::test

namespace vdl::test {
namespace {

// Ground points ahead of an aircraft that still counts as airborne, its data climbing (a
// landing or taxi the simulator has not yet reported on the ground): it comes down, it never
// climbs over points that say it is on the ground.
TEST(AirRates, GroundPointsAheadNeverMakeAClimb) {
    clock100 = 100000;
    StreamPos p = makePoint(52.3, 4.76, 0, 4, 90, false, 1500);
    LiveAc ac(p, harnessIdentity(AircraftCategory::Large), 1.0);
    ac.onGround = false;
    ac.alt = 130.0;
    ac.aglFt = 25.0;
    ac.stream.clear();
    for (int i = 0; i < 4; ++i) {
        StreamPos q = makePoint(52.3, 4.76 + 0.0002 * i, 0, 4, 90, false, 1500);
        q.time = 100000 + 200 * static_cast<uint32_t>(i);
        ac.stream.push_back(q);
    }
    setAirRates(ac);
    EXPECT_LT(ac.altRate, 0.0);
    EXPECT_LE(ac.stream[1].vs, 0.0);
}

}  // namespace
}  // namespace vdl::test
