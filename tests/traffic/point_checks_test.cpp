// A new point against the points before it: lone altitudes, speed-ups on final and lift-offs
// after a touchdown, each judged by what the positions and times show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "traffic/point_checks.h"

namespace vdl {
namespace {

constexpr LatLon origin{52.3, 4.76};

// A point `seconds` after the start, `nm` west of the origin (or along `bearingDeg`).
StreamPos lf_point(double seconds, double nm, double altFt, double speedKt, double vsFpm = 0.0, double bearingDeg = 270.0) {
    const LatLon at = gf_destination(origin, degToRad(bearingDeg), nmToFeet(nm));
    StreamPos p;
    p.time = 1000 + static_cast<uint32_t>(seconds * 100.0);
    p.lat = at.lat;
    p.lon = at.lon;
    p.alt = altFt;
    p.airborne = altFt > 0.0 ? 1 : 0;
    p.speed = speedKt;
    p.tas = speedKt;
    p.vs = vsFpm;
    return p;
}

TEST(PointChecks, LoneAltitudeFarFromBothNeighboursIsMended) {
    struct Case {
        std::string name;
        double before, last, next, vs;
        bool mended;
    };
    const std::vector<Case> cases = {
        {"one record far above", 2031.0, 27706.0, 2000.0, -700.0, true},
        {"one record far below", 5000.0, 1000.0, 5000.0, 0.0, true},
        {"a steady climb", 2000.0, 2100.0, 2200.0, 3000.0, false},
        {"a step the next record confirms", 2000.0, 5000.0, 5000.0, 0.0, false},
        {"within what the feed's coarse altitudes allow", 2000.0, 2600.0, 2000.0, 0.0, false},
        {"a spike the record's own rate covers", 2000.0, 2800.0, 2000.0, 12000.0, false},
        {"neighbours that disagree with each other", 2000.0, 27706.0, 9000.0, 0.0, false},
    };
    for (const auto& c : cases) {
        PosStream s;
        s.push_back(lf_point(0, 0.0, c.before, 140, c.vs));
        s.push_back(lf_point(2, 0.08, c.last, 140, c.vs));
        const StreamPos next = lf_point(4, 0.16, c.next, 140, c.vs);
        EXPECT_EQ(gf_mendAltitudeSpike(s, next), c.mended) << c.name;
        if (c.mended) {
            EXPECT_NEAR(s.back().alt, (c.before + c.next) / 2.0, 1.0) << c.name;
            EXPECT_EQ(s.back().lat, lf_point(2, 0.08, 0, 0).lat) << c.name << ": the position stays";
        } else {
            EXPECT_EQ(s.back().alt, c.last) << c.name;
        }
    }
    // A spike needs a neighbour on each side, both in the air.
    PosStream one;
    one.push_back(lf_point(0, 0.0, 27706.0, 140));
    EXPECT_FALSE(gf_mendAltitudeSpike(one, lf_point(2, 0.08, 2000.0, 140)));
    PosStream ground;
    ground.push_back(lf_point(0, 0.0, 0.0, 140));
    ground.push_back(lf_point(2, 0.08, 27706.0, 140));
    EXPECT_FALSE(gf_mendAltitudeSpike(ground, lf_point(4, 0.16, 2000.0, 140)));
}

TEST(PointChecks, SpeedUpOnFinalIsKeptAsFarAsThePositionsConfirmIt) {
    const StreamPos last = lf_point(0, 0.0, 1500, 135.5);
    struct Case {
        std::string name;
        double reportedKt, shownKt, expected;
    };
    const std::vector<Case> cases = {
        {"confirmed", 145.0, 145.0, 145.0},
        {"confirmed within 5 %", 145.0, 139.0, 145.0},
        {"partly confirmed", 160.0, 145.0, 145.0},
        {"not confirmed", 145.0, 120.0, 135.5},
        {"slower than the last point", 130.0, 100.0, 130.0},
        {"slow aircraft take any speed", 38.0, 10.0, 38.0},
    };
    for (const auto& c : cases) {
        const StreamPos p = lf_point(4, c.shownKt * 4.0 / 3600.0, 1400, c.reportedKt);
        EXPECT_NEAR(gf_landingPointSpeed(last, p), c.expected, 0.05) << c.name;
    }
}

TEST(PointChecks, LiftOffAfterTouchdownNeedsRotationSpeedAlongTheRunway) {
    LiveAc a(lf_point(0, 0.0, 0.0, 100), AcIdentity{}, 0.0);
    a.identity.category = AircraftCategory::Large;  // rotates at 140 kt
    a.landingRoll = true;
    a.touchdownHeading = degToRad(270.0);
    const StreamPos last = lf_point(0, 0.0, 0.0, 100);
    const auto after2s = [](double kt, double bearing) { return lf_point(2, kt * 2.0 / 3600.0, 1500, 102, 0, bearing); };
    EXPECT_TRUE(gf_liftOffShown(a, last, after2s(150.0, 270.0)));
    EXPECT_TRUE(gf_liftOffShown(a, last, after2s(150.0, 282.0)));
    EXPECT_FALSE(gf_liftOffShown(a, last, after2s(22.0, 270.0))) << "creeping";
    EXPECT_FALSE(gf_liftOffShown(a, last, after2s(130.0, 270.0))) << "short of the rotation speed";
    EXPECT_FALSE(gf_liftOffShown(a, last, after2s(150.0, 290.0))) << "off the runway's heading";
    // Off the runway the landing heading is gone: the speed alone tells.
    a.landingRoll = false;
    EXPECT_TRUE(gf_liftOffShown(a, last, after2s(150.0, 170.0)));
    EXPECT_FALSE(gf_liftOffShown(a, last, after2s(60.0, 170.0)));
    // A helicopter lifts off at any speed.
    a.identity.category = AircraftCategory::Rotorcraft;
    EXPECT_TRUE(gf_liftOffShown(a, last, after2s(5.0, 170.0)));
}

}  // namespace
}  // namespace vdl
