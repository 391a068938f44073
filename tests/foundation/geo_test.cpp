#include "foundation/geo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace vdl {
namespace {

constexpr double deg = pi / 180.0;
constexpr double diameterNm = 6875.493541569878;

const LatLon KJFK{40.639801, -73.7789}, EGLL{51.4706, -0.461941}, EDDF{50.033333, 8.570556},
    YSSY{-33.946098, 151.177002}, KLAX{33.942501, -118.407997}, RJTT{35.552299, 139.779999},
    NZAA{-37.008099, 174.792007}, EGKK{51.148102, -0.190278};

TEST(GeoTest, KnownAirportPairsAndTheWayBack) {
    const struct {
        const char* name;
        LatLon a, b;
        double nm, bearingDeg;  // great circle; initial bearing a -> b
    } pairs[] = {
        {"KJFK-EGLL", KJFK, EGLL, 2989.153, 51.353},  {"EDDF-YSSY", EDDF, YSSY, 8901.387, 73.792},
        {"KLAX-RJTT", KLAX, RJTT, 4755.106, 305.848}, {"RJTT-KLAX", RJTT, KLAX, 4755.106, 55.744},
        {"EGLL-EGKK", EGLL, EGKK, 21.869, 152.124},   {"NZAA-KLAX", NZAA, KLAX, 5658.472, 49.878},
    };
    for (const auto& p : pairs) {
        SCOPED_TRACE(p.name);
        EXPECT_NEAR(gf_distanceNm(p.a, p.b), p.nm, 0.01);
        EXPECT_NEAR(gf_bearing(p.a, p.b) / deg, p.bearingDeg, 0.01);
        LatLon d = gf_destination(p.a, gf_bearing(p.a, p.b), gf_distanceNm(p.a, p.b) * feetPerNm);
        EXPECT_NEAR(d.lat, p.b.lat, 1e-6);
        EXPECT_NEAR(d.lon, p.b.lon, 1e-6);
    }
}

TEST(GeoTest, EdgesAntipodesDateLineAndNorth) {
    EXPECT_EQ(gf_distanceNm(EDDF, EDDF), 0.0);
    EXPECT_NEAR(gf_distanceNm({45, 10}, {-45, -170}), pi * diameterNm / 2.0, 1e-6);  // not NaN
    EXPECT_NEAR(gf_distanceNm({0, 179.99}, {0, -179.99}), 0.02 * pi * diameterNm / 360.0, 1e-6);
    EXPECT_NEAR(gf_bearing({0, 179.5}, {0, -179.5}), pi / 2, 1e-9);
    EXPECT_LT(gf_bearing({0, 0}, {1, -1e-15}), 2 * pi);  // just west of north is not 2 pi
    LatLon w = gf_destination({0, 179.99}, pi / 2, 10 * feetPerNm);
    EXPECT_LT(w.lon, -179.8);  // wrapped across the date line
    EXPECT_GE(w.lon, -180.0);
    LatLon same = gf_destination(YSSY, 1.234, 0.0);
    EXPECT_EQ(same.lat, YSSY.lat);
    EXPECT_EQ(same.lon, YSSY.lon);
}

TEST(GeoTest, AngleDiffWrapsIntoMinusPiToPi) {
    const struct {
        double a, b, diff;
    } cases[] = {
        {20 * deg, 10 * deg, -10 * deg},
        {350 * deg, 10 * deg, 20 * deg},
        {10 * deg, 350 * deg, -20 * deg},
        {0, 4 * pi + 0.1, 0.1},
        {-3 * pi, 3 * pi, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(gf_angleDiff(c.a, c.b), c.diff, 1e-9) << c.a << " " << c.b;
    for (double a = -7; a < 7; a += 0.37)
        for (double b = -7; b < 7; b += 0.41) {
            double d = gf_angleDiff(a, b);
            EXPECT_TRUE(d >= -pi && d <= pi) << a << " " << b;
        }
}

// The quick paths give exactly what std::remainder gives, at the turn boundaries as well.
TEST(GeoTest, AngleDiffIsExactlyTheRemainderOfAFullTurn) {
    const double edges[] = {0.0, -0.0, pi, -pi, 3 * pi, -3 * pi, std::nextafter(pi, 0.0), std::nextafter(pi, 4.0),
                            std::nextafter(3 * pi, 0.0), std::nextafter(3 * pi, 10.0), 4 * pi, -4 * pi, 1e300,
                            std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    auto same = [](double x, double y) { return (std::isnan(x) && std::isnan(y)) || std::memcmp(&x, &y, sizeof x) == 0; };
    for (double e : edges) {
        EXPECT_TRUE(same(gf_angleDiff(0.0, e), std::remainder(e, 2 * pi))) << e;
        EXPECT_TRUE(same(gf_angleDiff(e, 0.0), std::remainder(0.0 - e, 2 * pi))) << e;
    }
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> angle(-5 * pi, 5 * pi);
    for (int i = 0; i < 200000; ++i) {
        const double a = angle(rng), b = angle(rng);
        ASSERT_TRUE(same(gf_angleDiff(a, b), std::remainder(b - a, 2 * pi))) << a << " " << b;
    }
}

}  // namespace
}  // namespace vdl
