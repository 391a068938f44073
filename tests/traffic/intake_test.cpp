// Intake of live traffic records: drop rules, stops, identity changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "feed/traffic_reader.h"
#include "traffic/intake.h"
#include "traffic/live_fixture.h"
#include "traffic/removal.h"
#include "traffic/spawn_gate.h"

namespace vdl::test {
namespace {

class Intake : public LiveTest {
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
        {"same sample time", 250, 250, 0.0, true, 30, false},
        {"1.0 s apart", 250, 250, 1.0, true, 30, false},
        {"1.1 s apart", 250, 250, 1.1, true, 30, true},
        {"ground 10 kt same track within 20 m", 10, 10, 1.5, false, 0, false},
        {"ground 10 kt same track after 5 s", 10, 10, 5.0, false, 0, true},
        {"ground 10 kt turning", 10, 10, 1.5, false, 5, true},
        {"ground 0 kt same track within 15 s", 0, 0, 14.0, false, 0, false},
        {"ground 0 kt same track after 15 s", 0, 0, 16.0, false, 0, true},
        {"air 450 kt same track within 450 m", 450, 450, 1.9, true, 0.5, false},
        {"air 450 kt same track after 450 m", 450, 450, 2.0, true, 0.5, true},
        {"air 450 kt turning", 450, 450, 1.9, true, 2.0, true},
        {"jump 4 to 85 kt", 4, 85, 5.0, false, 20, false},
        {"6 to 59 kt", 6, 59, 5.0, false, 20, true},
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

TEST_F(Intake, TypeAndCategoryChecks) {
    struct Case {
        const char* name;
        std::string type;
        std::string reg;
        bool lightOn;
        bool created;
        std::string typeAfter;
    };
    const Case cases[] = {
        {"known type", "B738", "PH-XYZ", true, true, "B738"},
        {"empty type from the registration", "", "PH-BXA", true, true, "B738"},
        {"unknown type from the registration", "ZZZZ", "PH-BXA", true, true, "B738"},
        {"unknown type and registration", "ZZZZ", "PH-XYZ", true, false, ""},
        {"light aircraft allowed", "C172", "PH-XYZ", true, true, "C172"},
        {"light aircraft switched off", "C172", "PH-XYZ", false, false, ""},
    };
    uint32_t hexid = 21000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LIGHT_AIRCRAFT.set(c.lightOn);
        TrafficRecord r = record(hexid++, "KLM200", 1000.0, 52.1, 5.0, 5000.0, 250.0, 0.0, c.type);
        r.reg = c.reg;
        feed(std::move(r));
        ASSERT_EQ(liveAircraft.size(), c.created ? 1u : 0u);
        if (c.created) {
            EXPECT_EQ(liveAircraft[0].identity.type, c.typeAfter);
            EXPECT_EQ(liveAircraft[0].state, acStateNew);
            EXPECT_EQ(liveAircraft[0].groundState, gsNew);
            EXPECT_EQ(liveAircraft[0].identity.callsignCopy, "KLM200");
            EXPECT_GT(liveAircraft[0].identity.turnRate, 0.0);
        }
        liveAircraft.clear();
    }
}

TEST_F(Intake, SameFlightUnderSecondHexidIsDropped) {
    feed(record(22000, "KLM300", 1000.0, 52.1, 5.0));
    feed(record(22001, "KLM300", 1000.0, 52.1, 5.0));
    EXPECT_EQ(liveAircraft.size(), 1u);
    feed(record(22002, "KLM300", 1000.0, 52.1, 5.0, 5000.0, 250.0, 0.0, "A320"));
    EXPECT_EQ(liveAircraft.size(), 2u) << "another type is another aircraft";
}

TEST_F(Intake, RemovedRecordTakesNoDataUntilErased) {
    LiveAc& a = addActiveLiveAc(23000, 9, "KLM400");
    a.lastSampleTime = 1000.0;
    removeAircraftFromSim(a);
    feed(record(23000, "KLM400", 1010.0, 52.3, 4.8));
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].stream.size(), 1u);
    liveAircraft.clear();
    feed(record(23000, "KLM400", 1020.0, 52.3, 4.8));
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, acStateNew);
}

TEST_F(Intake, AtMostTwoRecordsPerStep) {
    for (uint32_t i = 0; i < 5; ++i) queue(record(24000 + i, fmt::format("KLM5{:02}", i), 1000.0, 52.1, 5.0));
    gf_handleUdpMessages();
    EXPECT_EQ(liveAircraft.size(), 2u);
    EXPECT_EQ(gf_trafficQueueSize(), 3u);
}

// A taxiing active aircraft with the given stream.
LiveAc& taxiing(std::vector<StreamPos> points) {
    LiveAc& a = addActiveLiveAc(25000, 11, "KLM600");
    a.stream.assign(points.begin(), points.end());
    a.groundState = gsTaxi;
    a.onGround = 1;
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
        SCOPED_TRACE("a long stop far from the next point stays");
        taxiing({groundPoint(52.09, 5.0, t - 900, 10), groundPoint(52.1, 5.0, t, 10),
                 groundPoint(52.1, 5.0, t + 2000, 0, true)});
        feed(record(25000, "KLM600", 1030.0, 52.105, 5.0, 0.0, 10.0, 0.0));
        ASSERT_EQ(liveAircraft[0].stream.size(), 4u);
        EXPECT_TRUE(liveAircraft[0].stream[2].stop);
        liveAircraft.clear();
    }
    {
        SCOPED_TRACE("a new point within 22 m of the last moving point removes the stop");
        taxiing({groundPoint(52.09, 5.0, t - 900, 10), groundPoint(52.1, 5.0, t, 10),
                 groundPoint(52.1, 5.0, t + 2000, 0, true)});
        feed(record(25000, "KLM600", 1030.0, 52.10018, 5.0, 0.0, 3.0, 0.0));
        ASSERT_EQ(liveAircraft[0].stream.size(), 3u);
        liveAircraft.clear();
    }
}

TEST_F(Intake, PointTimesStrictlyIncrease) {
    const uint32_t t = clock100.load() + 5000;
    taxiing({groundPoint(52.1, 5.0, t, 20)});
    TrafficRecord r = record(25000, "KLM600", 1030.0, 52.11, 5.0, 0.0, 20.0, 0.0);
    r.pos.time = t - 10;
    feed(std::move(r));
    ASSERT_EQ(liveAircraft[0].stream.size(), 2u);
    EXPECT_EQ(liveAircraft[0].stream[1].time, t + 1);
}

TEST_F(Intake, CallsignChangeRespawnsWithGuidChanges) {
    for (bool guid : {true, false}) {
        SCOPED_TRACE(guid ? "GUID_CHANGES on" : "GUID_CHANGES off");
        GUID_CHANGES.set(guid);
        LiveAc& a = addActiveLiveAc(26000, 12, "KLM700");
        a.groundState = gsAirborne;
        a.lastSampleTime = 1000.0;
        a.heading = 1.0;
        feed(record(26000, "KLM701", 1010.0, 52.35, 4.8));
        LiveAc& b = liveAircraft[0];
        EXPECT_EQ(b.identity.callsign, "KLM701");
        EXPECT_EQ(b.identity.callsignCopy, "KLM701");
        if (guid) {
            EXPECT_EQ(b.state, acStateReplacing);
            ASSERT_EQ(removalQueue.size(), 1u);
            EXPECT_EQ(removalQueue.front(), 12u);
            EXPECT_EQ(b.stream.front().time, clock100.load() + 1);
            EXPECT_EQ(b.stream.size(), 2u) << "the sample itself is dropped";
            EXPECT_TRUE(b.spawnHeadingSet);
            EXPECT_DOUBLE_EQ(b.spawnHeading, 1.0);
        } else {
            EXPECT_EQ(b.state, acStateActive);
            EXPECT_TRUE(removalQueue.empty());
            EXPECT_EQ(b.stream.size(), 2u);
        }
        liveAircraft.clear();
        removalQueue.clear();
    }
}

TEST_F(Intake, RespawnedRecordComesBackThroughTheGate) {
    LiveAc& a = addActiveLiveAc(26100, 13, "KLM710");
    a.groundState = gsAirborne;
    a.lastSampleTime = 1000.0;
    a.throttleStep = 2;
    a.flapsStep = 1;
    feed(record(26100, "KLM711", 1010.0, 52.35, 4.8));
    ASSERT_EQ(liveAircraft[0].state, acStateReplacing);
    gf_pushSimReply({13, 26100, 0, REPLY_REMOVED, 0.0, 0.0});
    gf_SimCommands();
    LiveAc& b = liveAircraft[0];
    EXPECT_EQ(b.state, acStateNew);
    EXPECT_EQ(b.objectId, 0u);
    EXPECT_EQ(b.throttleStep, throttleStepNone);
    EXPECT_EQ(b.flapsStep, flapsStepNone);
    placeUser(10.0, 10.0, true);
    updateBufferAc(b);
    EXPECT_EQ(b.state, acStateCreating);
    EXPECT_EQ(b.identity.title, std::string_view(titleKlm)) << "the livery stays";
    EXPECT_EQ(pendingSpawns.back(), 26100u);
}

TEST_F(Intake, GhostCallsignOfPresentAircraftDropsTheSample) {
    addActiveLiveAc(26200, 14, "ABC123");
    LiveAc& a = addActiveLiveAc(26201, 15, "XYZ999");
    a.groundState = gsAirborne;
    a.lastSampleTime = 1000.0;
    feed(record(26201, "ABC123_", 1010.0, 52.35, 4.8));
    EXPECT_EQ(liveAircraft[1].state, acStateActive);
    EXPECT_EQ(liveAircraft[1].stream.size(), 1u);
    EXPECT_TRUE(removalQueue.empty());
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
        {"tail swinging south: the nose turns left", 250.0, false, 0.0, true, false},
        {"a track beyond 180 wraps: the nose turns left to 020", 200.0, false, 0.0, true, false},
        {"true heading wins", 290.0, true, 1.2, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& a = addActiveLiveAc(26300, 16, "KLM730");
        a.groundState = gsPushback;
        a.departureCountdown = 2;
        a.heading = 90.0 * 0.017453292519943295;
        a.lastSampleTime = 1000.0;
        a.stream.front() = groundPoint(52.3, 4.76, clock100.load(), 3.0);
        TrafficRecord r = record(26300, "KLM730", 1020.0, 52.31, 4.8, 0.0, 3.0, c.track);
        r.pos.headingValid = c.headingValid ? 1 : 0;
        r.pos.trueHeading = c.heading;
        feed(std::move(r));
        EXPECT_EQ(liveAircraft[0].turnDirKnown != 0, c.known);
        if (c.known) {
            EXPECT_EQ(liveAircraft[0].turnRight != 0, c.right);
        }
        EXPECT_EQ(liveAircraft[0].stream.size(), 1u) << "a pushback appends nothing";
        liveAircraft.clear();
    }
}

TEST_F(Intake, LiftOffAfterTouchdownSetsUpTheGoAround) {
    LiveAc& a = addActiveLiveAc(26400, 17, "KLM740");
    a.groundState = gsTaxi;
    a.onGround = 1;
    a.landingRoll = 1;
    a.approach = 1;
    a.landed = 1;
    a.lastSampleTime = 1000.0;
    a.stream.back().airborne = 1;
    feed(record(26400, "KLM740", 1010.0, 52.35, 4.8, 300.0, 140.0, 0.0));
    const LiveAc& b = liveAircraft[0];
    EXPECT_TRUE(b.takeoffRoll);
    EXPECT_FALSE(b.approach);
    EXPECT_FALSE(b.landed);
    EXPECT_EQ(b.lateWindow, 5000);
    EXPECT_EQ(b.throttleStep, 3u);
    EXPECT_EQ(b.flapsStep, 1u);
    std::vector<uint32_t> ids;
    for (const ClientEventCmd& e : takeQueuedEvents()) ids.push_back(e.eventId);
    const std::vector<uint32_t> expected = {THROTTLE_SET,    SPOILERS_SET,      FLAPS_SET,       NAV_LIGHTS_SET,
                                            BEACON_LIGHTS_SET, LANDING_LIGHTS_SET, TAXI_LIGHTS_SET, STROBES_SET,
                                            LOGO_LIGHTS_SET, CABIN_LIGHTS_SET};
    EXPECT_EQ(ids, expected);
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
        {"exactly 43 kt twice", 43.0, 43.0, 0.0, false, true},
        {"the last sample slower than 43 kt", 40.0, 50.0, 0.0, false, false},
        {"an airborne sample while taxiing", 45.0, 140.0, 300.0, false, true},
        {"a landing roll's fast ground samples", 110.0, 80.0, 0.0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& a = taxiing({groundPoint(52.1, 5.0, clock100.load() + 100, c.lastSpeed)});
        a.stream.front().track = 0.0;
        a.landingRoll = c.landingRoll ? 1 : 0;
        feed(record(25000, "KLM600", 1010.0, 52.11, 5.0, c.alt, c.speed, 0.0));
        EXPECT_EQ(liveAircraft[0].takeoffRoll != 0, c.roll);
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
    a.groundState = gsTaxi;
    a.onGround = 1;
    a.holding = 1;
    a.lastSampleTime = 1000.0;
    a.stream.front() = groundPoint(52.3, 4.76, clock100.load(), 0.0);
    feed(record(26500, "KLM750", 1010.0, 52.3 + 300.0 / 111132.95, 4.76, 0.0, 10.0, 0.0));
    EXPECT_EQ(liveAircraft[0].state, acStateRemoved);
    EXPECT_FALSE(liveAircraft[0].holding);
}

}  // namespace
}  // namespace vdl::test
