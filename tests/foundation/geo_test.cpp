#include "foundation/geo.h"

#include <gtest/gtest.h>

#include <cmath>

namespace vdl {
namespace {

constexpr double deg = pi / 180.0;

const LatLon KJFK{40.639801, -73.7789}, EGLL{51.4706, -0.461941}, EDDF{50.033333, 8.570556},
    YSSY{-33.946098, 151.177002}, KLAX{33.942501, -118.407997}, RJTT{35.552299, 139.779999},
    NZAA{-37.008099, 174.792007}, EGKK{51.148102, -0.190278};

struct Pair {
    const char* name;
    LatLon a, b;
    double nm;          // great circle on the sphere of diameter 6875.49 nm
    double bearingDeg;  // initial bearing a -> b
};

const Pair pairs[] = {
    {"KJFK-EGLL", KJFK, EGLL, 2989.153, 51.353},  {"EDDF-YSSY", EDDF, YSSY, 8901.387, 73.792},
    {"KLAX-RJTT", KLAX, RJTT, 4755.106, 305.848}, {"RJTT-KLAX", RJTT, KLAX, 4755.106, 55.744},
    {"EGLL-EGKK", EGLL, EGKK, 21.869, 152.124},   {"NZAA-KLAX", NZAA, KLAX, 5658.472, 49.878},
};

TEST(GeoTest, DistanceAndBearingOfKnownAirportPairs) {
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.name);
        EXPECT_NEAR(gf_distanceNm(p.a, p.b), p.nm, 0.01);
        EXPECT_NEAR(gf_distanceNm(p.b, p.a), p.nm, 0.01);
        EXPECT_NEAR(gf_bearing(p.a, p.b) / deg, p.bearingDeg, 0.01);
    }
}

TEST(GeoTest, DistanceEdges) {
    EXPECT_EQ(gf_distanceNm(EDDF, EDDF), 0.0);
    // Antipodes: half the circumference, not NaN.
    double half = pi * 6875.493541569878 / 2.0;
    EXPECT_NEAR(gf_distanceNm({0, 0}, {0, 180}), half, 1e-6);
    EXPECT_NEAR(gf_distanceNm({45, 10}, {-45, -170}), half, 1e-6);
    EXPECT_NEAR(gf_distanceNm({0, 179.99}, {0, -179.99}), 0.02 * pi * 6875.493541569878 / 360.0, 1e-6);
}

TEST(GeoTest, BearingStaysInZeroToTwoPi) {
    struct Case {
        LatLon a, b;
        double rad;
    };
    const Case cases[] = {
        {{0, 0}, {1, 0}, 0.0},       {{0, 0}, {0, 1}, pi / 2},  {{0, 0}, {-1, 0}, pi},
        {{0, 0}, {0, -1}, 1.5 * pi}, {{10, 10}, {10, 10}, 0.0}, {{0, 179.5}, {0, -179.5}, pi / 2},
    };
    for (const Case& c : cases) {
        double b = gf_bearing(c.a, c.b);
        EXPECT_GE(b, 0.0);
        EXPECT_LT(b, 2 * pi);
        EXPECT_NEAR(b, c.rad, 1e-9) << c.a.lat << "," << c.a.lon << " -> " << c.b.lat << "," << c.b.lon;
    }
    // Just west of north must not come out as 2 pi.
    double b = gf_bearing({0, 0}, {1, -1e-15});
    EXPECT_LT(b, 2 * pi);
}

TEST(GeoTest, DestinationReachesTheOtherAirport) {
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.name);
        LatLon d = gf_destination(p.a, gf_bearing(p.a, p.b), gf_distanceNm(p.a, p.b) * feetPerNm);
        EXPECT_NEAR(d.lat, p.b.lat, 1e-6);
        EXPECT_NEAR(d.lon, p.b.lon, 1e-6);
    }
    // One nautical mile north is one minute of latitude on this sphere's scale.
    LatLon n = gf_destination({50, 8}, 0.0, feetPerNm);
    EXPECT_NEAR(n.lat, 50 + 360.0 / (pi * 6875.493541569878), 1e-9);
    EXPECT_NEAR(n.lon, 8, 1e-12);
    // Across the date line the longitude is wrapped.
    LatLon w = gf_destination({0, 179.99}, pi / 2, 10 * feetPerNm);
    EXPECT_LT(w.lon, -179.8);
    EXPECT_GE(w.lon, -180.0);
}

TEST(GeoTest, DestinationWithoutDistanceIsTheSamePoint) {
    const LatLon points[] = {EDDF, YSSY, KLAX, {0.1, 0.2}, {-89.99, 179.999}};
    for (LatLon p : points) {
        LatLon d = gf_destination(p, 1.234, 0.0);
        EXPECT_EQ(d.lat, p.lat);
        EXPECT_EQ(d.lon, p.lon);
    }
    // A very short move still moves.
    LatLon d = gf_destination(EDDF, 0.0, 0.5);
    EXPECT_GT(d.lat, EDDF.lat);
}

TEST(GeoTest, AngleDiffWrapsIntoMinusPiToPi) {
    struct Case {
        double a, b, diff;
    };
    const Case cases[] = {
        {0, 0, 0},
        {10 * deg, 20 * deg, 10 * deg},
        {20 * deg, 10 * deg, -10 * deg},
        {350 * deg, 10 * deg, 20 * deg},
        {10 * deg, 350 * deg, -20 * deg},
        {0, 1.5 * pi, -0.5 * pi},
        {0, 4 * pi + 0.1, 0.1},
        {-3 * pi, 3 * pi, 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(gf_angleDiff(c.a, c.b), c.diff, 1e-9) << c.a << " " << c.b;
    for (double a = -7; a < 7; a += 0.37)
        for (double b = -7; b < 7; b += 0.41) {
            double d = gf_angleDiff(a, b);
            EXPECT_GE(d, -pi);
            EXPECT_LE(d, pi);
        }
}

}  // namespace
}  // namespace vdl
