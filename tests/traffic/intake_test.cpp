// Intake of live traffic records: drop rules, stops, identity changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "feed/traffic_reader.h"
#include "foundation/geo.h"
#include "foundation/units.h"
#include "traffic/intake.h"
#include "support/traffic_env.h"

namespace vdl::test {
namespace {

class Intake : public TrafficTest {
protected:
    // Feeds one record through the intake.
    static void feed(TrafficRecord r) {
        queue(std::move(r));
        gf_handleUdpMessages();
    }
};

struct DropCase {
    const char* name;
    double firstSpeed;
    double speed;
    double dt;          // seconds after the first sample
    bool airborne;
    double trackChange;  // degrees
    bool kept;
};

TEST_F(Intake, DropRulesForSecondSample) {
    const DropCase cases[] = {
        {"1.0 s apart", 250, 250, 1.0, true, 30, false},
        {"1.1 s apart", 250, 250, 1.1, true, 30, true},
        {"ground 10 kt same track within 20 m", 10, 10, 1.5, false, 0, false},
        {"ground 0 kt same track within 15 s", 0, 0, 14.0, false, 0, false},
        {"ground 0 kt same track after 15 s", 0, 0, 16.0, false, 0, true},
        {"air 450 kt same track within 450 m", 450, 450, 1.9, true, 0.5, false},
        {"air 450 kt same track after 450 m", 450, 450, 2.0, true, 0.5, true},
        {"jump 4 to 85 kt", 4, 85, 5.0, false, 20, false},
        {"6 to 60 kt", 6, 60, 5.0, false, 20, false},
        {"80 kt to standing", 80, 5, 5.0, false, 20, false},
    };
    uint32_t hexid = 20000;
    for (const DropCase& c : cases) {
        SCOPED_TRACE(c.name);
        const double alt = c.airborne ? 5000.0 : 0.0;
        feed(record(hexid, "KLM100", 1000.0, 52.1, 5.0, alt, c.firstSpeed, 90.0));
        ASSERT_EQ(liveAircraft.size(), 1u);
        // Far enough from the first point not to count as standing still.
        feed(record(hexid, "KLM100", 1000.0 + c.dt, 52.1, 5.002, alt, c.speed, 90.0 + c.trackChange));
        ASSERT_EQ(liveAircraft.size(), 1u);
        EXPECT_EQ(liveAircraft[0].stream.size(), c.kept ? 2u : 1u);
        liveAircraft.clear();
        ++hexid;
    }
}

TEST_F(Intake, LowSamplesNearTheParkAirport) {
    trafficReader.setAirportElevation(100.0);
    feed(record(20001, "KLM101", 1000.0, 52.1, 5.0, 200.0));
    EXPECT_TRUE(liveAircraft.empty()) << "new aircraft from a low sample near the field";
    feed(record(20001, "KLM101", 1002.0, 52.1, 5.01, 300.0));
    ASSERT_EQ(liveAircraft.size(), 1u);
    feed(record(20001, "KLM101", 1004.0, 52.1, 5.02, 180.0, 250.0, 45.0));
    EXPECT_EQ(liveAircraft[0].stream.size(), 1u) << "a waiting aircraft takes no low sample near the field";
    feed(record(20001, "KLM101", 1006.0, 52.1, 5.03, 400.0, 250.0, 60.0));
    EXPECT_EQ(liveAircraft[0].stream.size(), 2u);

    trafficReader.setAirportElevation(std::nullopt);
    feed(record(20002, "KLM102", 1000.0, 52.1, 5.0, 200.0));
    EXPECT_EQ(liveAircraft.size(), 2u) << "without a park airport nothing is near";
}

TEST_F(Intake, RecordsPerStepAreBounded) {
    const size_t queued = maxRecordsPerStep + 3;
    for (uint32_t i = 0; i < queued; ++i)
        queue(record(24000 + i, fmt::format("KLM5{:02}", i), 1000.0, 52.1, 5.0));
    gf_handleUdpMessages();
    const size_t taken = liveAircraft.size();
    EXPECT_GE(taken, 1u);  // fewer than the count when the step's intake time is up
    EXPECT_LE(taken, maxRecordsPerStep);
    EXPECT_EQ(gf_trafficQueueSize(), queued - taken);
}

// A taxiing active aircraft with the given stream.
LiveAc& taxiing(std::vector<StreamPos> points) {
    LiveAc& a = addActiveLiveAc(25000, 11, "KLM600");
    a.stream.assign(points.begin(), points.end());
    a.groundState = GroundState::taxi;
    a.onGround = true;
    a.lastSampleTime = 1000.0;
    a.lat = points.front().lat;
    a.lon = points.front().lon;
    return a;
}

StreamPos groundPoint(double lat, double lon, uint32_t time, double speed, bool stop = false) {
    StreamPos p;
    p.lat = lat;
    p.lon = lon;
    p.time = time;
    p.speed = speed;
    p.stop = stop ? 1 : 0;
    return p;
}

TEST_F(Intake, StopThinning) {
    const uint32_t t = clock100.load() + 1000;
    {
        SCOPED_TRACE("a stream of stops that gets another stop keeps two, the first due at once");
        taxiing({groundPoint(52.1, 5.0, t, 0, true), groundPoint(52.1, 5.0, t + 500, 0, true),
                 groundPoint(52.1, 5.0, t + 900, 0, true)});
        feed(record(25000, "KLM600", 1030.0, 52.1, 5.0, 0.0, 0.0, 90.0));
        ASSERT_EQ(liveAircraft[0].stream.size(), 2u);
        EXPECT_TRUE(liveAircraft[0].stream[0].stop && liveAircraft[0].stream[1].stop);
        EXPECT_EQ(liveAircraft[0].stream[0].time, clock100.load() + 1);
        liveAircraft.clear();
    }
    {
        SCOPED_TRACE("moving on within 15 s of the last moving point removes the short stop");
        taxiing({groundPoint(52.09, 5.0, t - 900, 10), groundPoint(52.1, 5.0, t, 10),
                 groundPoint(52.1, 5.0, t + 1000, 0, true)});
        feed(record(25000, "KLM600", 1030.0, 52.105, 5.0, 0.0, 10.0, 0.0));
        ASSERT_EQ(liveAircraft[0].stream.size(), 3u);
        EXPECT_FALSE(liveAircraft[0].stream[1].stop);
        EXPECT_FALSE(liveAircraft[0].stream[2].stop);
        EXPECT_DOUBLE_EQ(liveAircraft[0].stream[2].lat, 52.105);
        liveAircraft.clear();
    }
    {
        SCOPED_TRACE("rolling at 40 kt, a record that repeats the position but moves is stale: dropped");
        taxiing({groundPoint(52.09, 5.0, t - 900, 40), groundPoint(52.1, 5.0, t, 40)});
        feed(record(25000, "KLM600", 1030.0, 52.1, 5.0, 0.0, 40.0, 0.0));
        ASSERT_EQ(liveAircraft[0].stream.size(), 2u);
        EXPECT_FALSE(liveAircraft[0].stream[1].stop);
        liveAircraft.clear();
    }
    {
        SCOPED_TRACE("the same record saying it stands is a stop");
        taxiing({groundPoint(52.09, 5.0, t - 900, 40), groundPoint(52.1, 5.0, t, 40)});
        feed(record(25000, "KLM600", 1030.0, 52.1, 5.0, 0.0, 0.0, 0.0));
        ASSERT_EQ(liveAircraft[0].stream.size(), 3u);
        EXPECT_TRUE(liveAircraft[0].stream[2].stop);
        liveAircraft.clear();
    }
}

TEST_F(Intake, CallsignChangeRespawnsWithGuidChanges) {
    GUID_CHANGES.set(true);
    LiveAc& a = addActiveLiveAc(26000, 12, "KLM700");
    a.groundState = GroundState::airborne;
    a.lastSampleTime = 1000.0;
    a.heading = 1.0;
    feed(record(26000, "KLM701", 1010.0, 52.35, 4.8));
    const LiveAc& b = liveAircraft[0];
    EXPECT_EQ(b.identity.callsign, "KLM701");
    EXPECT_EQ(b.state, AcState::replacing);
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{12});
    EXPECT_EQ(b.stream.size(), 2u) << "the sample itself is dropped";
    EXPECT_TRUE(b.spawnHeadingSet);
}

TEST_F(Intake, PushbackTurnDirectionNeedsAHeadingOrTrack) {
    struct Case {
        const char* name;
        double track;
        bool headingValid;
        double heading;
        bool known;
        bool right;
    };
    // Nose east; pushed back, the tail moves west and the track points against the nose.
    const Case cases[] = {
        {"track 0 without heading is ignored", 0.0, false, 0.0, false, false},
        {"tail swinging north: the nose turns right", 290.0, false, 0.0, true, true},
        {"a track beyond 180 wraps: the nose turns left to 020", 200.0, false, 0.0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& a = addActiveLiveAc(26300, 16, "KLM730");
        a.groundState = GroundState::pushback;
        a.departureCountdown = 2;
        a.heading = degToRad(90.0);
        a.lastSampleTime = 1000.0;
        a.stream.front() = groundPoint(52.3, 4.76, clock100.load(), 3.0);
        TrafficRecord r = record(26300, "KLM730", 1020.0, 52.31, 4.8, 0.0, 3.0, c.track);
        r.pos.headingValid = c.headingValid ? 1 : 0;
        r.pos.trueHeading = c.heading;
        feed(std::move(r));
        EXPECT_EQ(liveAircraft[0].turnDirKnown, c.known);
        if (c.known) {
            EXPECT_EQ(liveAircraft[0].turnRight, c.right);
        }
        EXPECT_EQ(liveAircraft[0].stream.size(), 1u) << "a pushback appends nothing";
        liveAircraft.clear();
    }
}

TEST_F(Intake, LiftOffAfterTouchdownSetsUpTheGoAround) {
    LiveAc& a = addActiveLiveAc(26400, 17, "KLM740");
    a.groundState = GroundState::taxi;
    a.onGround = true;
    a.landingRoll = true;
    a.approach = true;
    a.landed = true;
    a.lastSampleTime = 1000.0;
    a.stream.back().airborne = 1;
    // The positions show the lift-off: 150 kt along the runway (north) over the 10 s.
    a.touchdownHeading = 0.0;
    a.stream.back().lat = 52.35 - 150.0 * 10.0 / 3600.0 / 60.0;
    a.stream.back().lon = 4.8;
    a.stream.back().time = clock100.load() + 3000 - 1000;
    feed(record(26400, "KLM740", 1010.0, 52.35, 4.8, 300.0, 140.0, 0.0));
    const LiveAc& b = liveAircraft[0];
    EXPECT_TRUE(b.takeoffRoll);
    EXPECT_FALSE(b.approach);
    EXPECT_FALSE(b.landed);
    EXPECT_EQ(b.lateWindow, 5000);
}

TEST_F(Intake, TakeOffRollBeginsOnLiveData) {
    struct Case {
        const char* name;
        double lastSpeed;
        double speed;
        double alt;  // 0: on the ground
        bool landingRoll;
        bool roll;
    };
    const Case cases[] = {
        {"both ground samples at 43 kt or more", 45.0, 50.0, 0.0, false, true},
        {"the last sample slower than 43 kt", 40.0, 50.0, 0.0, false, false},
        {"a landing roll's fast ground samples", 110.0, 80.0, 0.0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& a = taxiing({groundPoint(52.1, 5.0, clock100.load() + 100, c.lastSpeed)});
        a.stream.front().track = 0.0;
        a.landingRoll = c.landingRoll;
        feed(record(25000, "KLM600", 1010.0, 52.11, 5.0, c.alt, c.speed, 0.0));
        EXPECT_EQ(liveAircraft[0].takeoffRoll, c.roll);
        EXPECT_EQ(liveAircraft[0].stream.size(), 2u);
        // The roll's configuration goes out with it, and only with it.
        const std::vector<ClientEventCmd> events = takeQueuedEvents();
        const bool strobes = std::any_of(events.begin(), events.end(), [](const ClientEventCmd& e) {
            return e.eventId == STROBES_SET && e.data == 1;
        });
        EXPECT_EQ(strobes, c.roll);
        liveAircraft.clear();
    }
}

TEST_F(Intake, HoldingAircraftMovingAwayIsRemoved) {
    LiveAc& a = addActiveLiveAc(26500, 18, "KLM750");
    a.groundState = GroundState::taxi;
    a.onGround = true;
    a.holding = true;
    a.lastSampleTime = 1000.0;
    a.stream.front() = groundPoint(52.3, 4.76, clock100.load(), 0.0);
    feed(record(26500, "KLM750", 1010.0, 52.3 + 300.0 / 111132.95, 4.76, 0.0, 10.0, 0.0));
    EXPECT_EQ(liveAircraft[0].state, AcState::removed);
    EXPECT_FALSE(liveAircraft[0].holding);
}

}  // namespace
}  // namespace vdl::test
namespace vdl::test {
namespace {

// A velocity the positions do not show is stale: far faster than the move, or pointing away from
// it. Where only that speed made the line a flight, the aircraft is on the ground, taxiing at
// most; the first line of a new aircraft with the same velocity is read the same way.
TEST_F(Intake, StaleVelocityIsToldFromAFlight) {
    struct Case {
        const char* name;
        double speed, track;  // the velocity both lines carry
        double alt;           // of both lines; above 0 they count as airborne
        bool airborneField;   // the line's own field said airborne
        double seconds;       // between the lines
        double movedMetres, moveBearing;
        bool airborne;        // the second line, as taken
        double maxSpeed;      // of both points
    };
    const Case cases[] = {
        {"fast, standing still, ground field", 468.2, 184.0, 1125.0, false, 2.0, 0.0, 0.0, false, 0.0},
        {"fast, hopping against its track", 468.2, 184.0, 1125.0, false, 2.0, 218.0, 344.0, false, 30.0},
        {"fast, hopping across its track", 250.0, 90.0, 1125.0, false, 2.0, 250.0, 0.0, false, 30.0},
        {"hopping against its track, airborne field", 250.0, 180.0, 3000.0, true, 2.0, 250.0, 0.0, true, 250.0},
        {"a flight moving along its track", 250.0, 10.0, 3000.0, false, 2.0, 257.0, 0.0, true, 250.0},
        {"a flight turning through a 25 s gap", 250.0, 90.0, 3000.0, false, 25.0, 2000.0, 0.0, true, 250.0},
        {"a jittered take-off roll", 120.0, 0.0, 0.0, false, 2.0, 123.0, 9.0, false, 120.0},
    };
    uint32_t hexid = 27000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LatLon from{52.1, 5.0};
        const LatLon to = gf_destination(from, degToRad(c.moveBearing), metresToFeet(c.movedMetres));
        for (const auto& [at, time] : {std::pair{from, 1000.0}, std::pair{to, 1000.0 + c.seconds}}) {
            TrafficRecord r = record(hexid, "SWISS", time, at.lat, at.lon, c.alt, c.speed, c.track);
            r.pos.airborneFlag = c.airborneField ? 1 : 0;
            feed(std::move(r));
        }
        ASSERT_EQ(liveAircraft.size(), 1u);
        const auto& stream = liveAircraft[0].stream;
        EXPECT_EQ(stream.front().airborne != 0, c.airborne) << "the first line";
        EXPECT_EQ(stream.back().airborne != 0, c.airborne);
        for (const StreamPos& p : stream) {
            EXPECT_LE(p.speed, c.maxSpeed + 0.5);
            if (!c.airborne) {
                EXPECT_EQ(p.alt, 0.0);
            }
        }
        liveAircraft.clear();
        ++hexid;
    }
}

}  // namespace
}  // namespace vdl::test
namespace vdl::test {
namespace {

// A ground speed the feed keeps repeating to the digit while the positions taxi is frozen (the
// landing's speed kept to the stand): it and later lines repeating it take the move's speed, at
// taxi speed at most, so no take-off roll is read from it. A roll's changing speeds are kept.
TEST_F(Intake, FrozenGroundSpeedIsReadAsTaxi) {
    struct Line {
        double speed;
        double movedMetres;  // from the line before, along the track, 3 s later
    };
    struct Case {
        const char* name;
        std::vector<Line> lines;
        double lastSpeed;  // of the last point taken
    };
    const double taxiMetres = 35.0;  // in 3 s: 22.7 kt
    const double taxiKt = taxiMetres / 3.0 * secondsPerHour / metresPerNm;
    const Case cases[] = {
        {"a frozen landing speed while taxiing", {{104.1, 0.0}, {104.1, taxiMetres}}, taxiKt},
        {"a noisy hop at the frozen speed", {{104.1, 0.0}, {104.1, taxiMetres}, {104.1, 150.0}}, 30.0},
        {"a decelerating landing roll", {{104.1, 0.0}, {98.0, 150.0}, {90.0, 140.0}}, 90.0},
        {"a steady roll the positions follow", {{100.0, 0.0}, {100.0, 154.0}}, 100.0},
        {"one line slower than its speed", {{104.1, 0.0}, {90.0, taxiMetres}}, 90.0},
    };
    uint32_t hexid = 28000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LatLon at{47.46, 8.55};
        double time = 1000.0;
        for (const Line& l : c.lines) {
            at = gf_destination(at, degToRad(137.73), metresToFeet(l.movedMetres));
            feed(record(hexid, "MSR3208", time, at.lat, at.lon, 0.0, l.speed, 137.73));
            time += 3.0;
        }
        ASSERT_EQ(liveAircraft.size(), 1u);
        EXPECT_NEAR(liveAircraft[0].stream.back().speed, c.lastSpeed, 0.5);
        liveAircraft.clear();
        ++hexid;
    }
}

}  // namespace
}  // namespace vdl::test
