// An arrival that taxis in on live data parks on its stand, and its stand use is learned and
// saved when the park airport is left.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
#include "foundation/files.h"
#include "foundation/geo.h"
#include "support/traffic_env.h"
#include "traffic/flight_harness.h"
#include "traffic/movement.h"
#include "traffic/parking.h"
#include "standins/track_checks.h"

namespace vdl::test {
namespace {

constexpr double standLat = 47.4560;
constexpr double standLon = 8.5630;
constexpr double terrain = 1416.0;
// Nose-in along the taxi line: the nose follows the path onto the stand.
constexpr double standHeadingDeg = 20.0;

class ArrivalParking : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        gf_resetAirports();
        movementParkAirport = {true, "LSZH", standLat, standLon, terrain};
        {
            std::lock_guard lock(parkAirportMutex);
            currentParkAirport.code = "LSZH";
        }
        standFileInfo = {"Zurich", "stock", 1416};
        parkingActive.store(true);
        ParkPos& stand = parkPositions.emplace_back("E21", std::vector<ParkPosOption>{}, standLat, standLon,
                                                    degToRad(standHeadingDeg), 25.0, false, false, false);
        stand.id = 1;
        h.terrainFt = terrain;
    }
    void TearDown() override {
        movementParkAirport = {};
        parkPositions.clear();
        gf_resetAirports();
        TrafficTest::TearDown();
    }
    FlightHarness h;
};

// The flown track as the simulator stand-in would record it, judged by the track checks.
tracks::RunVerdict judge(const FlightHarness& h) {
    RecordedTrack t;
    t.id = harnessObjectId;
    TrackEvent bound;
    bound.name = "AI released";
    t.events.push_back(bound);
    for (const Sample& s : h.track) {
        TrackPoint p;
        p.time = s.step / 100.0;
        p.latitude = s.lat;
        p.longitude = s.lon;
        p.altitude = s.alt;
        p.heading = s.heading;
        p.groundSpeed = s.speedKt;
        p.onGround = s.onGround;
        p.altAboveGround = s.alt - h.terrainFt;
        t.track.push_back(p);
    }
    return tracks::gf_checkTracks({t}, [](const RecordedTrack&) { return tracks::gf_limitsOfCategory(AircraftCategory::Large); });
}

struct Arrival {
    const char* name;
    double stopBearingDeg;  // where the data stops, seen from the stand
    double stopMetres;
    double taxiTrackDeg;    // the taxi line the data follows to its stop
};

TEST_F(ArrivalParking, TaxiesInParksOnItsStandOnItsHeadingAndTheUseIsSaved) {
    const std::vector<Arrival> arrivals = {
        {"along the stand's axis", 200.0, 6.0, 20.0},
        {"stopping 17 m off the axis, 60 degrees to it", 230.0, 8.0, 80.0},
        {"stopping 18 m beside the stand, square to it", 290.0, 8.0, 110.0},
        // Over the stand and on, nose out: it turns round behind the stand and drives on nose-in.
        {"rolling 9 m past the stand against its heading", 182.0, 9.0, 182.0},
    };
    for (const Arrival& a : arrivals) {
        SCOPED_TRACE(a.name);
        liveAircraft.clear();
        parkPositions.front().options.clear();
        parkPositions.front().realUses.clear();
        parkPositions.front().occupied = 0;
        h = FlightHarness{};
        h.terrainFt = terrain;
        // Taxiing at 12 kt on the taxi line, slowing down and stopping near the stand, as the
        // feed's records show an arrival.
        const LatLon stop = offsetMetres({standLat, standLon}, a.stopBearingDeg, a.stopMetres);
        const double back = a.taxiTrackDeg + 180.0;
        LatLon pos = offsetMetres(stop, back, 10 * 62.0 + 100.0);
        StreamPos first = makePoint(pos.lat, pos.lon, 0, 12, a.taxiTrackDeg, false);
        AcIdentity id = harnessIdentity(AircraftCategory::Large);
        id.callsign = "SWR287";
        id.airl = "SWR";
        id.reg = "HB-JXA";
        h.start(first, id, GroundState::taxi).prevGroundState = GroundState::airborne;
        uint32_t due = 1000;
        for (int i = 0; i < 10; ++i, due += 1000) {
            pos = offsetMetres(pos, a.taxiTrackDeg, 62.0);
            h.addFeed(makePoint(pos.lat, pos.lon, 0, 12, a.taxiTrackDeg, false), due);
        }
        const struct {
            double before;  // metres short of the stop
            double speedKt;
        } slowing[] = {{60.0, 8.0}, {30.0, 4.0}, {10.0, 2.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};
        for (const auto& s : slowing) {
            const LatLon at = offsetMetres(stop, back, s.before);
            h.addFeed(makePoint(at.lat, at.lon, 0, s.speedKt, a.taxiTrackDeg, false), due);
            due += 1000;
        }
        h.run(40000);

        LiveAc& ac = h.ac();
        ASSERT_EQ(ac.state, AcState::active);
        ASSERT_EQ(ac.groundState, GroundState::parked);
        EXPECT_EQ(ac.standId, 1u);
        EXPECT_LE(gf_distanceNm({ac.lat, ac.lon}, {standLat, standLon}), metresToNm(2.0));
        EXPECT_NEAR(radToDeg(std::fabs(gf_angleDiff(ac.heading, degToRad(standHeadingDeg)))), 0.0, 3.0);
        const auto verdict = judge(h);
        EXPECT_TRUE(verdict.passed()) << verdict.failures();

        const ParkPos& stand = parkPositions.front();
        ASSERT_EQ(stand.options.size(), 1u);
        EXPECT_EQ(stand.options[0].kind, optionReal);
        EXPECT_EQ(stand.options[0].reg(), "HB-JXA");
        EXPECT_EQ(stand.options[0].callsign1(), "SWR287");
    }
    EXPECT_GE(updateCount, 1);
    gf_clearParkAirportState();
    const std::string saved = readWholeFile("airports/learned/stock/LSZH.xml");
    EXPECT_NE(saved.find("HB-JXA"), std::string::npos) << saved;
    EXPECT_NE(saved.find("E21"), std::string::npos);
}

}  // namespace
}  // namespace vdl::test
