// The track checks on hand-made tracks: a sound taxi and a sound turn pass; each fault breaks
// exactly its own check.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "standins/track_checks.h"

namespace vdl::tracks {
namespace {

constexpr double stepS = 0.01;
constexpr double groundAgl = 10.0;

// A track at 100 points a second: `seconds` long, moving at `kt` on `courseDeg`, turning at
// `turnDegPerS`; the heading follows the path.
RecordedTrack makeTrack(double seconds, double kt, double courseDeg, bool onGround, double turnDegPerS = 0.0,
                        double altFt = 1000.0) {
    RecordedTrack r;
    r.id = 3;
    r.title = "Airbus A320";
    r.tailNumber = "SWR12";
    r.events.push_back({0.5, "AI released", 0});
    LatLon pos{47.45, 8.55};
    double course = degToRad(courseDeg);
    for (double t = 0.0; t < seconds; t += stepS) {
        TrackPoint p;
        p.time = t;
        p.latitude = pos.lat;
        p.longitude = pos.lon;
        p.heading = course;
        p.onGround = onGround;
        p.altAboveGround = onGround ? groundAgl : altFt;
        p.altitude = 1400.0 + p.altAboveGround;
        p.trueAirspeed = kt;
        const double omega = degToRad(turnDegPerS);
        if (!onGround) p.bank = -std::min(std::atan(omega * ktToMps(kt) / standardGravity), degToRad(30.0));
        r.track.push_back(p);
        pos = gf_destination(pos, course, metresToFeet(ktToMps(kt) * stepS));
        course = std::fmod(course + omega * stepS + 2 * pi, 2 * pi);
    }
    return r;
}

const ObjectLimits large = gf_limitsOfCategory(AircraftCategory::Large);

RunVerdict check(const std::vector<RecordedTrack>& tracks) {
    CheckSettings settings;
    settings.judgeGroundSpeedChange = true;
    return gf_checkTracks(tracks, [](const RecordedTrack&) { return large; }, settings);
}

std::vector<Check> failedChecks(const RunVerdict& v) {
    std::vector<Check> out;
    for (const auto& o : v.objects)
        for (std::size_t c = 0; c < checkCount; ++c)
            if (o.results[c].failed()) out.push_back(static_cast<Check>(c));
    return out;
}

TEST(TrackChecks, SoundTaxiAndTurnPass) {
    auto turn = makeTrack(60, 180, 0, false, 3.0);
    turn.tailNumber = "SWR13";
    const auto v = check({makeTrack(30, 15, 90, true, 10.0), turn});
    EXPECT_TRUE(v.passed()) << v.failures();
    EXPECT_NEAR(v.objects[1][Check::airTurn].worst, 3.0, 0.1);
    EXPECT_NE(v.report().find("passed"), std::string::npos);
}

struct FaultCase {
    std::string name;
    std::function<std::vector<RecordedTrack>()> make;
    std::vector<Check> expected;
};

std::vector<FaultCase> faultCases() {
    return {
        {"jump", [] {
             auto r = makeTrack(20, 15, 90, true);
             for (std::size_t i = 1000; i < r.track.size(); ++i) r.track[i].longitude += 0.01;
             return std::vector{r};
         }, {Check::jump, Check::groundAccel, Check::groundBrake}},
        {"air turn over the category's rate", [] { return std::vector{makeTrack(20, 250, 0, false, 9.0, 5000)}; },
         {Check::airTurn}},
        {"ground spin", [] { return std::vector{makeTrack(20, 2, 0, true, 40.0)}; }, {Check::groundTurn}},
        {"turn without bank", [] {
             auto r = makeTrack(60, 180, 0, false, 3.0);
             for (auto& p : r.track) p.bank = 0.0;
             return std::vector{r};
         }, {Check::bank}},
        {"under the ground", [] {
             auto r = makeTrack(20, 15, 90, true);
             for (std::size_t i = 500; i < r.track.size(); ++i) r.track[i].altAboveGround = -147.0;
             return std::vector{r};
         }, {Check::belowGround}},
        {"climb on the ground", [] {
             auto r = makeTrack(20, 15, 90, true);
             for (std::size_t i = 800; i < r.track.size(); ++i) r.track[i].altAboveGround += 50.0;
             return std::vector{r};
         }, {Check::groundClimb}},
        {"lift-off at taxi speed", [] {
             auto r = makeTrack(20, 40, 90, true);
             for (std::size_t i = 1500; i < r.track.size(); ++i) r.track[i].onGround = false;
             return std::vector{r};
         }, {Check::liftOff}},
        {"slow climb near the ground", [] {
             auto r = makeTrack(30, 30, 90, false, 0.0, 200);
             for (std::size_t i = 0; i < r.track.size(); ++i) {
                 r.track[i].altAboveGround += 25.0 * r.track[i].time;
                 r.track[i].altitude += 25.0 * r.track[i].time;
             }
             return std::vector{r};
         }, {Check::slowClimb, Check::airSlow}},
        {"dropped onto the ground", [] {
             auto r = makeTrack(20, 150, 90, false, 0.0, 1155);
             for (std::size_t i = 1000; i < r.track.size(); ++i) {
                 r.track[i].onGround = true;
                 r.track[i].altAboveGround = groundAgl;
             }
             return std::vector{r};
         }, {Check::touchdown}},
        {"sliding sideways", [] {
             auto r = makeTrack(20, 17.5, 97, true);
             for (auto& p : r.track) p.heading = degToRad(13.0);
             return std::vector{r};
         }, {Check::nose}},
        {"never bound", [] {
             auto r = makeTrack(20, 15, 90, true);
             r.events.clear();
             return std::vector{r};
         }, {Check::bound}},
        {"climbing past the category's best", [] {
             auto r = makeTrack(20, 250, 90, false, 0.0, 3000);
             for (auto& p : r.track) p.altitude += 80.0 * p.time;  // 4800 ft/min
             return std::vector{r};
         }, {Check::airClimb}},
        {"diving", [] {
             auto r = makeTrack(20, 250, 90, false, 0.0, 8000);
             for (auto& p : r.track) p.altitude -= 250.0 * p.time;  // 15,000 ft/min
             return std::vector{r};
         }, {Check::airDescent}},
        {"one record far above its neighbours", [] {
             auto r = makeTrack(20, 140, 90, false, 0.0, 2000);
             for (auto& p : r.track) p.altitude += 24000.0 * std::max(0.0, 1.0 - std::fabs(p.time - 10.0) / 3.0);
             return std::vector{r};
         }, {Check::airClimb, Check::airDescent}},
        {"sinking while rolling", [] {
             auto r = makeTrack(20, 15, 90, true);
             for (std::size_t i = 300; i < r.track.size(); ++i) r.track[i].verticalSpeed = -2.5;
             return std::vector{r};
         }, {Check::groundVs}},
        {"instant start on the ground", [] {
             auto r = makeTrack(10, 25.8, 90, true);
             for (std::size_t i = 0; i < 300; ++i) {
                 r.track[i].latitude = r.track[300].latitude;
                 r.track[i].longitude = r.track[300].longitude;
                 r.track[i].trueAirspeed = 0.0;
             }
             return std::vector{r};
         }, {Check::groundAccel}},
        {"hanging in the air after the binding", [] {
             auto r = makeTrack(20, 140, 90, false, 0.0, 3000);
             for (std::size_t i = 0; i < 260; ++i) {
                 r.track[i].latitude = r.track[260].latitude;
                 r.track[i].longitude = r.track[260].longitude;
             }
             return std::vector{r};
         }, {Check::airStill}},
        {"crawling in the air", [] { return std::vector{makeTrack(20, 40, 90, false, 0.0, 1500)}; }, {Check::airSlow}},
    };
}

TEST(TrackChecks, EachFaultBreaksItsOwnCheck) {
    for (const auto& c : faultCases()) {
        const auto v = check(c.make());
        EXPECT_EQ(failedChecks(v), c.expected) << c.name << "\n" << v.report();
    }
}

TEST(TrackChecks, PushbackTailFirstPassesButForwardTailFirstFails) {
    auto push = makeTrack(20, 3.5, 180, true);
    for (auto& p : push.track) {
        p.heading = 0.0;
        p.trueAirspeed = -3.5;
    }
    EXPECT_TRUE(check({push}).passed()) << check({push}).failures();
    for (auto& p : push.track) p.trueAirspeed = 3.5;
    EXPECT_EQ(failedChecks(check({push})), std::vector{Check::nose});
}

TEST(TrackChecks, TheSameAircraftTwiceAtOnceFailsBothButOneAfterTheOtherPasses) {
    auto a = makeTrack(20, 15, 90, true);
    auto b = makeTrack(20, 15, 90, true);
    b.id = 4;
    a.removed = true;
    a.removedAt = 12.0;
    b.createdAt = 10.0;
    for (auto& p : b.track) p.time += 10.0;
    b.events.front().time += 10.0;
    const auto v = check({a, b});
    EXPECT_NEAR(v.objects[0][Check::twice].worst, 2.0, 1e-9);
    EXPECT_NEAR(v.objects[1][Check::twice].worst, 2.0, 1e-9);
    a.removedAt = 10.0;
    EXPECT_TRUE(check({a, b}).passed()) << check({a, b}).failures();
}

// The aircraft is the one the simulator recorded (its "hexid" event): two callsigns of one
// aircraft are the same aircraft, and one callsign on two aircraft is not. Files without the
// event fall back to the tail number.
TEST(TrackChecks, FlownTwiceGoesByTheRecordedHexid) {
    struct Case {
        const char* name;
        const char* tailA;
        const char* tailB;
        uint32_t hexidA, hexidB;  // 0: no hexid event
        bool twice;
    };
    const Case cases[] = {
        {"one aircraft under a new callsign", "SWR12", "SWR12X", 4921317, 4921317, true},
        {"two aircraft under one callsign", "SWISS", "SWISS", 4921317, 4921318, false},
        {"no hexid, same tail", "SWR12", "SWR12", 0, 0, true},
        {"no hexid, other tails", "SWR12", "SWR13", 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto a = makeTrack(20, 15, 90, true);
        auto b = makeTrack(20, 15, 90, true);
        b.id = 4;
        a.tailNumber = c.tailA;
        b.tailNumber = c.tailB;
        if (c.hexidA) a.events.push_back({0.5, "hexid", c.hexidA});
        if (c.hexidB) b.events.push_back({0.5, "hexid", c.hexidB});
        const auto v = check({a, b});
        EXPECT_EQ(v.objects[0][Check::twice].failed(), c.twice);
        EXPECT_EQ(v.objects[1][Check::twice].failed(), c.twice);
    }
}

}  // namespace
}  // namespace vdl::tracks
