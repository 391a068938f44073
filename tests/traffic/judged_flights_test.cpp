// Whole flights from traffic records through the intake, spawning, movement and the simulator
// link into the simulator stand-in, judged on the track the stand-in recorded for the object.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
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

constexpr uint32_t hexArrival = 200001;
constexpr uint32_t hexDeparture = 200002;

struct Leg {
    double lat, lon, alt, kt, trackDeg, vsFpm;
};

class JudgedFlights : public WorldFlightsTest {
protected:
    // Records every 4 s; each goes to the feed 30 s before it is due, as RealTraffic's do.
    void plan(uint32_t hexid, const std::string& callsign, const std::vector<Leg>& points) {
        for (size_t i = 0; i < points.size(); ++i) feed.push_back({hexid, callsign, 4.0 * static_cast<double>(i), points[i]});
    }

    void run(uint32_t steps) {
        const uint32_t start = clock100.load();
        for (uint32_t s = 0; s < steps; ++s) {
            const double t = static_cast<double>(clock100.load() - start) / 100.0;
            while (!feed.empty() && feed.front().t <= t) {
                const Planned& p = feed.front();
                TrafficRecord r = record(p.hexid, p.callsign, 1'800'000'000.0 + p.t, p.leg.lat, p.leg.lon, p.leg.alt,
                                         p.leg.kt, p.leg.trackDeg);
                r.pos.vs = p.leg.vsFpm;
                r.reg = p.hexid == hexArrival ? "PH-BXA" : "PH-BXB";
                queue(std::move(r));
                feed.pop_front();
            }
            gf_updateAI();
            sim->step();
            gf_simLinkPoll();
        }
    }

    StandInObject object(const std::string& tail) {
        const auto o = sim->objectByTail(tail);
        EXPECT_TRUE(o.has_value()) << tail << " was never created";
        return o.value_or(StandInObject{});
    }

    struct Planned {
        uint32_t hexid;
        std::string callsign;
        double t;
        Leg leg;
    };
    std::deque<Planned> feed;
};

// Runway 27 with its threshold 1 km east of the airport's reference point.
LatLon lf_runway27Threshold() { return offsetMetres({worldAirportLat, worldAirportLon}, 90.0, 1000.0); }

// A 3-degree final at 140 kt from fromNm onto runway 27, then the roll-out down to 15 kt;
// answers where the roll-out ends.
LatLon lf_landOnRunway27(double fromNm, std::vector<Leg>& pts) {
    const LatLon threshold = lf_runway27Threshold();
    const double tan3 = std::tan(degToRad(3.0));
    for (double nm = fromNm; nm > -0.15; nm -= 140.0 * 4.0 / 3600.0) {
        const LatLon p = offsetMetres(threshold, 90.0, nm * 1852.0);
        pts.push_back({p.lat, p.lon, worldAirportElevation + 50.0 + std::max(0.0, nm) * feetPerNm * tan3, 140.0, 270.0,
                       -140.0 * 101.27 * tan3});
    }
    LatLon pos = offsetMetres(threshold, 270.0, 450.0);
    for (double kt : {125.0, 105.0, 85.0, 65.0, 45.0, 30.0, 20.0, 15.0}) {
        pos = offsetMetres(pos, 270.0, kt * 0.5144 * 4.0);
        pts.push_back({pos.lat, pos.lon, 0.0, kt, 270.0, 0.0});
    }
    return pos;
}

// Time of the first event of that name and value, or -1.
double eventAt(const StandInObject& o, const std::string& name, uint32_t data) {
    auto e = std::find_if(o.events.begin(), o.events.end(), [&](const TrackEvent& ev) { return ev.name == name && ev.data == data; });
    return e == o.events.end() ? -1.0 : e->time;
}

TEST_F(JudgedFlights, ArrivalFromFifteenMilesLandsRollsOutAndVacates) {
    const LatLon threshold = lf_runway27Threshold();
    std::vector<Leg> pts;
    LatLon pos = lf_landOnRunway27(15.0, pts);
    for (int i = 0; i < 5; ++i) {
        pos = offsetMetres(pos, 315.0, 15.0 * 0.5144 * 4.0);
        pts.push_back({pos.lat, pos.lon, 0.0, 15.0, 315.0, 0.0});
    }
    plan(hexArrival, "KLM123", pts);
    run(static_cast<uint32_t>(pts.size() * 400 + 6000));

    const StandInObject o = object("KLM123");
    ASSERT_GT(o.track.size(), 1000u);
    expectNoJumps(o.track, [](const TrackPoint& p) { return LatLon{p.latitude, p.longitude}; }, 2);
    for (const TrackPoint& p : o.track) ASSERT_GE(p.altAboveGround, 0.0) << "below the ground at " << p.time << " s";
    auto td = std::find_if(o.track.begin(), o.track.end(), [](const TrackPoint& p) { return p.onGround; });
    ASSERT_NE(td, o.track.end()) << "never touched down";
    EXPECT_FALSE(o.track.front().onGround);
    // Touched down on the runway, past the threshold.
    double east = 0, north = 0;
    gf_toLocalMetres(threshold.lat, threshold.lon, td->latitude, td->longitude, east, north);
    EXPECT_LT(east, 0.0);
    EXPECT_GT(east, -1500.0);
    EXPECT_LT(std::fabs(north), 5.0);
    // Stays on the ground after touchdown.
    EXPECT_TRUE(std::all_of(td, o.track.end(), [](const TrackPoint& p) { return p.onGround; }));
    // Steady descent over the last 5 nm: every 10 s lower by 60 to 220 ft.
    double lastAlt = -1, lastT = -1;
    for (auto it = o.track.begin(); it != td; ++it) {
        if (gf_distanceNm({it->latitude, it->longitude}, threshold) > 5.0) continue;
        if (lastT < 0) {
            lastAlt = it->altitude;
            lastT = it->time;
        } else if (it->time - lastT >= 10.0 && it->altAboveGround > 150.0) {
            EXPECT_GT(lastAlt - it->altitude, 60.0) << "at " << it->time << " s";
            EXPECT_LT(lastAlt - it->altitude, 220.0) << "at " << it->time << " s";
            lastAlt = it->altitude;
            lastT = it->time;
        }
    }
    // Slow before the runway exit.
    auto exit = std::find_if(td, o.track.end(), [](const TrackPoint& p) {
        return std::fabs(gf_angleDiff(degToRad(270.0), p.heading)) >= degToRad(15.0);
    });
    ASSERT_NE(exit, o.track.end()) << "never left the runway";
    const auto before = std::prev(exit, std::min<std::ptrdiff_t>(100, std::distance(td, exit)));
    const double metres = gf_distanceNm({before->latitude, before->longitude}, {exit->latitude, exit->longitude}) * 1852.0;
    EXPECT_LT(metres / (exit->time - before->time) / 0.5144, 30.0);
    // Gear down before the touchdown, spoilers after it.
    const double gearDown = eventAt(o, "GEAR_SET", 1);
    ASSERT_GE(gearDown, 0.0);
    EXPECT_LT(gearDown, td->time);
    EXPECT_GE(eventAt(o, "SPOILERS_SET", 16383), td->time);
}

TEST_F(JudgedFlights, DepartureTaxisTakesOffAndClimbs) {
    // Runway 27 one kilometre south of the field; the taxi comes from the east side.
    const LatLon lineUp = offsetMetres(offsetMetres({worldAirportLat, worldAirportLon}, 180.0, 1000.0), 90.0, 800.0);
    std::vector<Leg> pts;
    LatLon pos = offsetMetres(lineUp, 0.0, 300.0);
    pts.push_back({pos.lat, pos.lon, 0.0, 12.0, 180.0, 0.0});
    for (int i = 0; i < 9; ++i) {
        pos = offsetMetres(pos, 180.0, 300.0 / 9.0);
        pts.push_back({pos.lat, pos.lon, 0.0, 14.0, 180.0, 0.0});
    }
    for (double kt : {15.0, 35.0, 60.0, 85.0, 110.0, 130.0, 150.0}) {
        pos = offsetMetres(pos, 270.0, kt * 0.5144 * 4.0);
        pts.push_back({pos.lat, pos.lon, 0.0, kt, 270.0, 0.0});
    }
    double alt = worldAirportElevation + 60.0;
    for (int i = 0; i < 20; ++i) {
        pos = offsetMetres(pos, 270.0, 165.0 * 0.5144 * 4.0);
        alt += 2000.0 / 15.0;
        pts.push_back({pos.lat, pos.lon, alt, 165.0, 270.0, 2000.0});
    }
    plan(hexDeparture, "KLM124", pts);
    run(static_cast<uint32_t>(pts.size() * 400 + 3000));

    const StandInObject o = object("KLM124");
    ASSERT_GT(o.track.size(), 1000u);
    expectNoJumps(o.track, [](const TrackPoint& p) { return LatLon{p.latitude, p.longitude}; }, 2);
    // A ground record carries no altitude: the object is created on the simulator's ground and
    // stands on it from its first frame on.
    for (const TrackPoint& p : o.track) ASSERT_GE(p.altAboveGround, 0.0) << "below the ground at " << p.time << " s";
    EXPECT_TRUE(o.track.front().onGround);
    auto lift = std::find_if(o.track.begin(), o.track.end(), [](const TrackPoint& p) { return !p.onGround; });
    ASSERT_NE(lift, o.track.end()) << "never lifted off";
    // Nose up at lift-off, and climbing afterwards.
    EXPECT_LT(lift->pitch, degToRad(-3.0));
    EXPECT_GT(o.track.back().altitude, lift->altitude + 500.0);
    // The take-off roll set comes before the lift-off, gear up after it.
    const double strobes = eventAt(o, "STROBES_SET", 1);
    ASSERT_GE(strobes, 0.0);
    EXPECT_LT(strobes, lift->time);
    const double gearUp = eventAt(o, "GEAR_SET", 0);
    ASSERT_GE(gearUp, 0.0);
    EXPECT_GT(gearUp, lift->time);
}

TEST_F(JudgedFlights, ArrivalTaxisInParksOnItsStandAndItsUseIsSaved) {
    gf_resetAirports();
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport.code = "EHAM";
    }
    standFileInfo = {"Schiphol", "stock", static_cast<int32_t>(worldAirportElevation)};
    parkingActive.store(true);
    // Final approach from 3 nm onto runway 27, roll-out, then a taxi to the north-west that comes
    // to rest 12 m short of a stand whose axis points north.
    std::vector<Leg> pts;
    LatLon pos = lf_landOnRunway27(3.0, pts);
    for (double kt : {15.0, 15.0, 15.0, 15.0, 12.0, 8.0, 4.0, 0.0}) {
        if (kt > 0.0) pos = offsetMetres(pos, 315.0, kt * 0.5144 * 4.0);
        pts.push_back({pos.lat, pos.lon, 0.0, kt, 315.0, 0.0});
    }
    // Standing still for a minute, the feed repeats the position; the intake keeps one such
    // record in 15 s.
    for (int i = 0; i < 15; ++i) pts.push_back(pts.back());
    const LatLon standPos = offsetMetres(pos, 340.0, 12.0);
    ParkPos& stand = parkPositions.emplace_back("H7", std::vector<ParkPosOption>{}, standPos.lat, standPos.lon, 0.0,
                                                25.0, false, false, false);
    stand.id = 1;
    plan(hexArrival, "KLM123", pts);
    run(static_cast<uint32_t>(pts.size() * 400 + 6000));

    const StandInObject o = object("KLM123");
    const auto verdict = tracks::gf_checkTracks(
        {tracks::gf_recordedTrack(o)}, [](const RecordedTrack&) { return tracks::gf_limitsOfCategory(AircraftCategory::Large); });
    EXPECT_TRUE(verdict.passed()) << verdict.failures() << verdict.report();
    ASSERT_FALSE(o.track.empty());
    const TrackPoint& last = o.track.back();
    EXPECT_LE(gf_distanceNm({last.latitude, last.longitude}, standPos), metresToNm(2.0));
    EXPECT_LE(radToDeg(std::fabs(gf_angleDiff(last.heading, 0.0))), 3.0);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft.front().groundState, GroundState::parked);
    ASSERT_EQ(stand.options.size(), 1u);
    EXPECT_EQ(stand.options.front().kind, optionReal);
    EXPECT_GE(updateCount, 1);
    // Leaving the airport saves what was learned.
    gf_clearParkAirportState();
    const std::string saved = readWholeFile("airports/learned/stock/EHAM.xml");
    EXPECT_NE(saved.find("PH-BXA"), std::string::npos) << saved;
    gf_resetAirports();
}

}  // namespace
}  // namespace vdl::test
