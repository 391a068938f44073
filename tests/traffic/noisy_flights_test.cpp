// Flights whose records carry the faults of real feeds (a lone altitude far off, a speed-up on
// final after a slow stretch, an airborne flag that outlives the touchdown, aircraft created in
// the air), made up here and flown from the intake through the simulator link into the
// simulator stand-in; every object passes the track checks and follows its data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/geo.h"
#include "simulator/stand_in.h"
#include "standins/track_checks.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/flight_harness.h"
#include "traffic/world_flights.h"
#include "traffic/movement.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

constexpr uint32_t hexid = 300001;
constexpr const char* callsign = "KLM451";
constexpr double dueDelaySeconds = 30.0;  // a record is due this long after it is queued
constexpr double tan3 = 0.052407779283041196;

struct Rec {
    double t = 0;  // seconds from the first record
    double lat = 0, lon = 0, alt = 0, kt = 0, track = 0, vs = 0;
    bool airborne = true;
    double heading = -1.0;  // true heading, degrees; none when negative
};

class NoisyFlights : public WorldFlightsTest {
protected:
    // Queues each record at its time and runs the traffic step until `afterSeconds` past the last.
    void fly(const std::vector<Rec>& recs, double afterSeconds) {
        simStart = sim->simTime();
        std::deque<Rec> feed(recs.begin(), recs.end());
        const double end = recs.back().t + afterSeconds;
        const uint32_t start = clock100.load();
        for (;;) {
            const double t = static_cast<double>(clock100.load() - start) / 100.0;
            if (t > end) break;
            while (!feed.empty() && feed.front().t <= t) {
                const Rec& p = feed.front();
                TrafficRecord r = record(hexid, callsign, 1'800'000'000.0 + p.t, p.lat, p.lon, p.airborne ? p.alt : 0.0,
                                         p.kt, p.track);
                r.pos.vs = p.vs;
                r.pos.airborne = p.airborne ? 1 : 0;
                if (p.heading >= 0.0) {
                    r.pos.trueHeading = degToRad(p.heading);
                    r.pos.headingValid = 1;
                }
                r.reg = "PH-BXC";
                queue(std::move(r));
                feed.pop_front();
            }
            gf_updateAI();
            sim->step();
            gf_simLinkPoll();
        }
    }

    // The object that flew the aircraft, removed or not.
    StandInObject object() {
        for (const auto& o : sim->aiObjects())
            if (o.tailNumber == callsign) return o;
        ADD_FAILURE() << callsign << " was never created\n" << logText();
        return {};
    }

    tracks::RunVerdict verdict() {
        std::vector<RecordedTrack> all;
        for (const auto& o : sim->aiObjects()) all.push_back(tracks::gf_recordedTrack(o));
        return tracks::gf_checkTracks(all, [](const RecordedTrack&) { return tracks::gf_limitsOfCategory(AircraftCategory::Large); });
    }

    // The data's position at a track time: the records interpolated at their due times.
    static LatLon dataAt(const std::vector<Rec>& recs, double trackTime, double simStart) {
        const double t = trackTime - simStart - dueDelaySeconds;
        if (t <= recs.front().t) return {recs.front().lat, recs.front().lon};
        for (size_t i = 1; i < recs.size(); ++i) {
            if (recs[i].t < t) continue;
            const double u = (t - recs[i - 1].t) / (recs[i].t - recs[i - 1].t);
            return {recs[i - 1].lat + u * (recs[i].lat - recs[i - 1].lat), recs[i - 1].lon + u * (recs[i].lon - recs[i - 1].lon)};
        }
        return {recs.back().lat, recs.back().lon};
    }

    double simStart = 0.0;
};

LatLon lf_threshold27() { return offsetMetres({worldAirportLat, worldAirportLon}, 90.0, 1000.0); }

// A 3-degree final onto runway 27 every 2 s, `ktAt(seconds to go)` giving the speed, from
// `seconds` before the threshold; then a roll-out every 2 s down to 20 kt. The positions follow
// the speeds exactly.
std::vector<Rec> lf_final(double seconds, const std::function<double(double)>& ktAt) {
    std::vector<Rec> recs;
    std::vector<double> nmAt{0.0};  // to the threshold, every 2 s back from it
    for (double s = 0.0; s < seconds; s += 2.0) nmAt.push_back(nmAt.back() + ktAt(s) * 2.0 / 3600.0);
    const LatLon threshold = lf_threshold27();
    double t = 0.0;
    for (size_t i = nmAt.size(); i-- > 0; t += 2.0) {
        const double togo = nmAt[i];
        const LatLon p = offsetMetres(threshold, 90.0, togo * metresPerNm);
        recs.push_back({t, p.lat, p.lon, worldAirportElevation + 10.0 + togo * feetPerNm * tan3, ktAt(2.0 * static_cast<double>(i)),
                        270.0, -ktAt(2.0 * static_cast<double>(i)) * 101.27 * tan3});
    }
    LatLon pos = offsetMetres(threshold, 270.0, 300.0);
    for (double kt = 130.0; kt >= 20.0; kt -= 10.0, t += 2.0) {
        pos = offsetMetres(pos, 270.0, ktToMps(kt) * 2.0);
        recs.push_back({t, pos.lat, pos.lon, 0.0, kt, 270.0, 0.0, false});
    }
    return recs;
}

// Index of the first point on the ground after one in the air; the track's size when none.
size_t lf_touchdown(const StandInObject& o) {
    for (size_t i = 1; i < o.track.size(); ++i)
        if (o.track[i].onGround && !o.track[i - 1].onGround) return i;
    return o.track.size();
}

TEST_F(NoisyFlights, LoneAltitudeFarAboveItsNeighboursIsNotFlown) {
    auto recs = lf_final(160.0, [](double) { return 140.0; });
    // Mid-final, at about 2000 ft, one record says 27,706 ft.
    recs[20].alt = 27706.0;
    fly(recs, 60.0);
    const StandInObject o = object();
    ASSERT_GT(o.track.size(), 1000u);
    double highest = 0.0;
    for (const TrackPoint& p : o.track) highest = std::max(highest, p.altitude);
    EXPECT_LT(highest, recs.front().alt + 100.0);
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

// Slowed to 135.5 kt, then 145 kt for the last 100 s: the object keeps up with its data and
// touches down near where the data does.
TEST_F(NoisyFlights, SpeedUpOnFinalIsFollowed) {
    const auto recs = lf_final(240.0, [](double togo) { return togo <= 100.0 ? 145.0 : (togo <= 160.0 ? 135.5 : 150.0); });
    fly(recs, 60.0);
    const StandInObject o = object();
    ASSERT_GT(o.track.size(), 1000u);
    const size_t tdAt = lf_touchdown(o);
    ASSERT_LT(tdAt, o.track.size()) << "never touched down";
    const TrackPoint* td = &o.track[tdAt];
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = 0; i < tdAt; ++i) {
        const TrackPoint& p = o.track[i];
        if (p.time < o.track.front().time + 5.0) continue;
        sum += nmToMetres(gf_distanceNm({p.latitude, p.longitude}, dataAt(recs, p.time, simStart)));
        ++n;
    }
    ASSERT_GT(n, 0u);
    EXPECT_LT(sum / static_cast<double>(n), 50.0) << "mean distance to the data";
    // The data touches down at its first ground record.
    const auto ground = std::find_if(recs.begin(), recs.end(), [](const Rec& r) { return !r.airborne; });
    const auto lastAir = std::prev(ground);
    const LatLon dataTouchdown{(lastAir->lat + ground->lat) / 2, (lastAir->lon + ground->lon) / 2};
    EXPECT_LT(nmToMetres(gf_distanceNm({td->latitude, td->longitude}, dataTouchdown)), 300.0);
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

// After the touchdown the feed goes on saying airborne at 102 kt while the positions creep down
// the runway at 22 kt and turn off: no take-off, no lift-off, no turn on the spot.
TEST_F(NoisyFlights, StaleAirborneFlagAfterTouchdownStartsNoTakeOff) {
    auto recs = lf_final(120.0, [](double) { return 140.0; });
    while (!recs.back().airborne && recs.back().kt < 60.0) recs.pop_back();
    double t = recs.back().t;
    LatLon pos{recs.back().lat, recs.back().lon};
    for (int i = 0; i < 40; ++i) {
        t += 2.0;
        const double track = i < 25 ? 270.0 : 315.0;
        pos = offsetMetres(pos, track, ktToMps(22.0) * 2.0);
        recs.push_back({t, pos.lat, pos.lon, worldAirportElevation + 20.0, 102.0, track, 0.0, true});
    }
    fly(recs, 30.0);
    const StandInObject o = object();
    const size_t tdAt = lf_touchdown(o);
    ASSERT_LT(tdAt, o.track.size()) << "never touched down";
    const TrackPoint* td = &o.track[tdAt];
    for (size_t i = tdAt; i < o.track.size(); ++i)
        ASSERT_TRUE(o.track[i].onGround) << "lifted off again at " << o.track[i].time << " s";
    // No take-off settings after the touchdown: no throttle up, no take-off light set (strobes).
    for (const TrackEvent& e : o.events) {
        if (e.time <= td->time) continue;
        EXPECT_FALSE(e.name == "STROBES_SET" && e.data == 1) << "take-off lights at " << e.time << " s";
        EXPECT_FALSE(e.name == "THROTTLE_SET" && e.data >= 11468) << "take-off thrust at " << e.time << " s";
    }
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

// Created in the air at 5000 ft: moving from the binding on, its lights still 2 s after it.
TEST_F(NoisyFlights, AircraftCreatedInTheAirFliesFromItsBinding) {
    std::vector<Rec> recs;
    LatLon pos = offsetMetres({worldAirportLat, worldAirportLon}, 90.0, 15000.0);
    for (double t = 0.0; t <= 60.0; t += 2.0) {
        recs.push_back({t, pos.lat, pos.lon, 5000.0, 250.0, 270.0, 0.0});
        pos = offsetMetres(pos, 270.0, ktToMps(250.0) * 2.0);
    }
    fly(recs, 20.0);
    const StandInObject o = object();
    ASSERT_GT(o.track.size(), 1000u);
    const auto bound = std::find_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return e.name == "AI released"; });
    ASSERT_NE(bound, o.events.end());
    const auto nav = std::find_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return e.name == "NAV_LIGHTS_SET"; });
    ASSERT_NE(nav, o.events.end());
    EXPECT_GE(nav->time - bound->time, 1.9);
    // A second after the binding it is well on its way.
    const auto later = std::find_if(o.track.begin(), o.track.end(), [&](const TrackPoint& p) { return p.time >= bound->time + 1.0; });
    ASSERT_NE(later, o.track.end());
    EXPECT_GT(nmToMetres(gf_distanceNm({o.track.front().latitude, o.track.front().longitude}, {later->latitude, later->longitude})), 60.0);
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

// Created while it is pushed back, where no stand is known: nose east, moving west at 4 kt for
// 48 s, then it stands, and taxis off forwards to the north-east. The pushback is flown tail first from the start,
// the nose where the records say it points, not turned round on the spot.
TEST_F(NoisyFlights, PushbackUnderWayAtCreationIsFlownTailFirst) {
    std::vector<Rec> recs;
    LatLon pos = offsetMetres({worldAirportLat, worldAirportLon}, 0.0, 600.0);
    double t = 0.0;
    for (int i = 0; i <= 8; ++i, t += 6.0) {
        recs.push_back({t, pos.lat, pos.lon, 0.0, 4.0, 270.0, 0.0, false, 90.0});
        pos = offsetMetres(pos, 270.0, ktToMps(4.0) * 6.0);
    }
    for (int i = 0; i < 3; ++i, t += 6.0) recs.push_back({t, pos.lat, pos.lon, 0.0, 0.0, 270.0, 0.0, false, 90.0});
    for (int i = 0; i < 8; ++i, t += 6.0) {
        pos = offsetMetres(pos, 60.0, ktToMps(12.0) * 6.0);
        recs.push_back({t, pos.lat, pos.lon, 0.0, 12.0, 60.0, 0.0, false, 60.0});
    }
    fly(recs, 30.0);
    const StandInObject o = object();
    ASSERT_GT(o.track.size(), 1000u);
    EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(o.track.front().heading, degToRad(90.0)))), 5.0);
    // While the records push it west it goes tail first with its nose east.
    size_t backwards = 0;
    for (const TrackPoint& p : o.track) {
        if (p.time > o.track.front().time + 40.0) break;
        if (p.groundSpeed < 1.0) continue;
        ++backwards;
        EXPECT_LT(p.trueAirspeed, 0.0) << "nose first at " << p.time << " s";
        EXPECT_LT(radToDeg(std::fabs(gf_angleDiff(p.heading, degToRad(90.0)))), 20.0) << "turned at " << p.time << " s";
    }
    EXPECT_GT(backwards, 1000u);
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

// Standing 20 s, then taxiing east at 25.8 kt (the records jump from 0 to it), then standing
// again on a record that stops it dead: the object rolls off and brakes at its category's rates
// (the track checks judge both), yet reaches the data's speed and stands where the data stands.
TEST_F(NoisyFlights, StandingAircraftRollsOffAndStopsAtItsCategorysRates) {
    std::vector<Rec> recs;
    LatLon pos = offsetMetres({worldAirportLat, worldAirportLon}, 0.0, 400.0);
    double t = 0.0;
    for (; t < 20.0; t += 2.0) recs.push_back({t, pos.lat, pos.lon, 0.0, 0.0, 90.0, 0.0, false, 90.0});
    for (int i = 0; i < 30; ++i, t += 2.0) {
        pos = offsetMetres(pos, 90.0, ktToMps(25.8) * 2.0);
        recs.push_back({t, pos.lat, pos.lon, 0.0, 25.8, 90.0, 0.0, false, 90.0});
    }
    for (int i = 0; i < 10; ++i, t += 2.0) recs.push_back({t, pos.lat, pos.lon, 0.0, 0.0, 90.0, 0.0, false, 90.0});
    fly(recs, dueDelaySeconds + 10.0);
    const StandInObject o = object();
    ASSERT_GT(o.track.size(), 1000u);
    double fastest = 0.0;
    for (const TrackPoint& p : o.track) fastest = std::max(fastest, p.groundSpeed);
    EXPECT_GT(fastest, 24.0) << "never reached the data's speed";
    // It stands where the data ends, not short of it and not far beyond.
    const TrackPoint& last = o.track.back();
    EXPECT_LT(nmToMetres(gf_distanceNm({last.latitude, last.longitude}, pos)), 30.0);
    EXPECT_LT(last.groundSpeed, 0.1);
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

// Level at 1,600 ft at a steady reported 195 kt, the positions jittering by up to 300 m either
// way every 2 s (they show 40 to 700 kt): the object flies on at its speed, never crawls, and
// keeps up with its data.
TEST_F(NoisyFlights, JitteringPositionsDoNotSlowASteadyFlight) {
    std::vector<Rec> recs;
    std::mt19937 random(11);
    const auto jitter = [&] { return static_cast<double>(random() % 601) - 300.0; };
    const LatLon start = offsetMetres({worldAirportLat, worldAirportLon}, 90.0, 30000.0);
    for (double t = 0.0; t <= 120.0; t += 2.0) {
        const LatLon exact = offsetMetres(start, 270.0, ktToMps(195.0) * t);
        const LatLon p = offsetMetres(offsetMetres(exact, 0.0, jitter()), 90.0, jitter());
        recs.push_back({t, p.lat, p.lon, 1600.0, 195.0, 270.0, 0.0});
    }
    fly(recs, 0.0);
    const StandInObject o = object();
    ASSERT_GT(o.track.size(), 1000u);
    const TrackPoint& last = o.track.back();
    const LatLon exactEnd = offsetMetres(start, 270.0, ktToMps(195.0) * (last.time - simStart - dueDelaySeconds));
    EXPECT_LT(nmToMetres(gf_distanceNm({last.latitude, last.longitude}, exactEnd)), 1500.0);
    const auto v = verdict();
    EXPECT_TRUE(v.passed()) << v.failures() << v.report();
}

}  // namespace
}  // namespace vdl::test
