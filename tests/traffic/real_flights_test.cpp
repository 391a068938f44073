// Real recorded flights at Zürich, replayed through the feed's validation into the traffic
// manager, the simulator link and the simulator stand-in (its ground at Zürich's elevation),
// as recorded and with the altitude shifted, every other line dropped and the positions
// jittered. Every object the stand-in recorded passes the track checks.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cstddef>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "airports/stand_load.h"
#include "feed/rttfc.h"
#include "foundation/geo.h"
#include "liveries/livery_tables.h"
#include "refdata/dbase.h"
#include "simulator/stand_in.h"
#include "standins/rttfc_replay.h"
#include "standins/track_checks.h"
#include "support/recorded_traffic.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/movement.h"
#include "traffic/park_airport_leave.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

constexpr double zurichLat = 47.4581;
constexpr double zurichLon = 8.5481;
constexpr double zurichElevation = 1416.0;
constexpr const char* replayType = "A320";
constexpr const char* replayTitle = "Airbus A320 ZZZ";
constexpr double replayCg = 9.5;
constexpr double stampBase = 1'800'000'000.0;
// After the data ends: a taxiing aircraft holds, an airborne one flies on a little.
constexpr double afterDataSeconds = 400.0;

struct ReplayCase {
    std::string flight;
    std::string variantName;
    replay::Variant variant;
};

std::vector<ReplayCase> replayCases() {
    const std::vector<std::string> flights = {"ACA879", "AEE5ZH", "CAI3208", "EDW229", "ENT57BW",
                                              "SWISS",  "SWR137H", "SWR5220", "SWR75C", "VJT796"};
    std::vector<ReplayCase> cases;
    for (const auto& f : flights) {
        replay::Variant lower, higher, thinned, jittered;
        lower.altShiftFt = -300.0;
        higher.altShiftFt = 300.0;
        thinned.dropEveryOther = true;
        jittered.jitterMetres = 20.0;
        jittered.seed = 7;
        auto add = [&](const char* name, const replay::Variant& variant) {
            ReplayCase c;
            c.flight = f;
            c.variantName = name;
            c.variant = variant;
            cases.push_back(std::move(c));
        };
        add("asRecorded", {});
        // SWR5220 flies for almost four hours between leaving Zürich and coming back: each of its variants
        // would cost as much as the others together and shift, drop or jitter nothing they don't.
        if (f == "SWR5220") continue;
        add("300ftLower", lower);
        add("300ftHigher", higher);
        add("everyOtherLine", thinned);
        add("jittered20m", jittered);
    }
    return cases;
}

// The line's airborne field (the seventh) says 0.
bool groundLine(const std::string& line) {
    std::size_t at = 0;
    for (int i = 0; i < 6 && at != std::string::npos; ++i) at = line.find(',', at + 1);
    return at != std::string::npos && line.compare(at, 3, ",0,") == 0;
}

void PrintTo(const ReplayCase& c, std::ostream* os) { *os << c.flight << " " << c.variantName; }

class RealFlights : public TrafficTest, public ::testing::WithParamInterface<ReplayCase> {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        auto catalogue = trafficCatalogue();
        catalogue.push_back({"ZZZ", replayType, replayTitle, "", 1, false});
        gf_resetLiveries();  // the catalogue again, with the replay's title
        buildFrom(catalogue);
        sim = std::make_shared<SimStandIn>();
        sim->setFrameRate(100.0);  // one frame per traffic step
        sim->setTerrainElevation(zurichElevation);
        sim->addAirport(zurichLat, zurichLon, 3.0, zurichElevation);
        sim->installTitle(replayTitle, {replayCg, 0.02});
        RecordLimits limits;
        limits.maxTrackPoints = 4'000'000;
        sim->setRecordLimits(limits);
        UserKeyframe user;
        user.latitude = zurichLat;
        user.longitude = zurichLon;
        user.altitude = zurichElevation + 5.0;
        user.onGround = true;
        sim->setUserScript({user});
        sim->startSim();
        useWorld(sim);
        gf_installTrafficHooks();
        ASSERT_TRUE(gf_simLinkOpen());
        placeUser(zurichLat, zurichLon, true, 0.0, zurichElevation + 5.0);
    }
    void TearDown() override {
        gf_resetSimLink();
        TrafficTest::TearDown();
    }

    // Each line goes to the feed's validation when its time comes, stamped with the test's own
    // clock; the traffic step, the stand-in's frame and the link's dispatch follow every 10 ms.
    // `adjust` may fill in what the recording lacks.
    std::size_t replay(const std::vector<replay::ReplayLine>& lines,
                       const std::function<void(TrafficRecord&)>& adjust = {}) {
        std::size_t refused = 0;
        refusals.clear();
        std::size_t next = 0;
        const double end = lines.empty() ? 0.0 : lines.back().seconds + afterDataSeconds;
        for (uint32_t step = 0;; ++step) {
            const double t = step / 100.0;
            if (t > end || (next == lines.size() && liveAircraft.empty())) break;
            for (; next < lines.size() && lines[next].seconds <= t; ++next) {
                try {
                    TrafficRecord r = gf_parseRttfc(replay::gf_stampLine(lines[next].line, stampBase + t), clock100.load());
                    if (adjust) adjust(r);
                    queue(std::move(r));
                } catch (const std::exception& e) {
                    // In the air speed and track are required; a ground line is always taken.
                    if (!groundLine(lines[next].line)) continue;
                    if (refused++ < 3) refusals += std::string(e.what()) + ": " + lines[next].line + "\n";
                }
            }
            gf_updateAI();
            sim->step();
            gf_simLinkPoll();
        }
        return refused;
    }

    std::shared_ptr<SimStandIn> sim;
    std::string refusals;
};

TEST_P(RealFlights, PassTheTrackChecks) {
    const ReplayCase& c = GetParam();
    VDL_RECORDED_TRAFFIC(path, "realtraffic/lszh/" + c.flight + ".rttfc");
    replay::Variant v = c.variant;
    v.fillType = replayType;  // the recordings carry no type
    const auto lines = replay::gf_applyVariant(replay::gf_readReplayFile(path), v);
    ASSERT_GT(lines.size(), 50u);
    const std::size_t refused = replay(lines);
    EXPECT_EQ(refused, 0u) << "ground lines refused by the feed's validation:\n" << refusals;

    std::vector<RecordedTrack> tracks;
    for (const auto& o : sim->aiObjects()) tracks.push_back(tracks::gf_recordedTrack(o));
    ASSERT_FALSE(tracks.empty()) << c.flight << " was never created\n" << logText();
    const auto verdict = tracks::gf_checkTracks(
        tracks, [](const RecordedTrack&) { return tracks::gf_limitsOfCategory(AircraftCategory::Large); });
    EXPECT_TRUE(verdict.passed()) << verdict.failures() << verdict.report();
}

INSTANTIATE_TEST_SUITE_P(Zurich, RealFlights, ::testing::ValuesIn(replayCases()),
                         [](const ::testing::TestParamInfo<ReplayCase>& info) {
                             return info.param.flight + "_" + info.param.variantName;
                         });

// The same flights with Zürich as the park airport and its shipped stand file: an arrival whose
// data comes to rest at a stand parks on it, departures standing at a stand are created on it and
// leave it; every stand use is learned. The recordings carry neither type nor registration, which
// stand learning needs: each flight gets a type and registration of its airline's fleet from the
// table below. That table is this test's assumption, not recorded data.
struct ParkingFlight {
    const char* flight;
    const char* type;
    const char* title;
    const char* reg;
    const char* stand;  // where it parks, or stands when it is created
    bool arrival;
    bool parks;                // it parks on the stand, or is created on it, at some time
    const char* endsOffStand;  // why its data does not end with it parked there: it then holds where the data ends
};

// CAI3208's records keep the landing's ground speed (104 kt) all the way to its stand. VJT796
// and EDW229 touch down before they are created: neither landed in the simulator.
constexpr ParkingFlight parkingFlights[] = {
    {"CAI3208", "B738", "Boeing 737-800 ZZZ", "TC-TJO", "Z3", true, true, ""},
    {"ACA879", "B77W", "Boeing 777-300ER ZZZ", "C-FITL", "Z1", false, true, ""},
    {"SWR137H", "A320", replayTitle, "HB-JLT", "Z5", false, true, ""},
    {"VJT796", "CL35", "Bombardier Challenger 350 ZZZ", "9H-VCA", "Z9", true, true,
     "it parks on Z9, then its data moves it about 50 m off and back: not landed here, it is not towed but "
     "leaves the stand as a departure, and an aircraft that has left a stand is not sent onto one again"},
    {"EDW229", "A320", replayTitle, "HB-IHX", "Z14", true, false,
     "its data ends while it still taxies, over 50 m before Z14: not landed here, it looks for a stand "
     "within 20 m of the data's end only"},
};

class ZurichParking : public RealFlights {
  protected:
    void SetUp() override {
        RealFlights::SetUp();
        auto catalogue = trafficCatalogue();
        for (const ParkingFlight& f : parkingFlights) {
            catalogue.push_back({"ZZZ", f.type, f.title, "", 1, false});
            sim->installTitle(f.title, {replayCg, 0.02});
        }
        gf_resetLiveries();
        buildFrom(catalogue);
        gf_resetAirports();
        // The shipped stand file, where the program keeps it.
        std::filesystem::create_directories("airports/stock");
        std::filesystem::copy_file(std::filesystem::path(VDL_SOURCE_DIR) / "data/airports/stock/LSZH.xml",
                                   "airports/stock/LSZH.xml", std::filesystem::copy_options::overwrite_existing);
        {
            std::lock_guard lock(parkAirportMutex);
            currentParkAirport = {"LSZH", "ZRH", zurichLat, zurichLon, zurichElevation};
        }
        ASSERT_EQ(gf_readApf("airports/stock/LSZH.xml", standFileInfo, standFileQuality, parkPositions), "");
        parkingActive.store(true);
        gf_syncMovementParkAirport();
        gf_setMainLoopRunning(true);
    }
    void TearDown() override {
        gf_setMainLoopRunning(false);
        parkPositions.clear();
        gf_resetAirports();
        RealFlights::TearDown();
    }
};

TEST_P(ZurichParking, ParksOnTheStandAndLearnsItsUse) {
    const ReplayCase& c = GetParam();
    VDL_RECORDED_TRAFFIC(path, "realtraffic/lszh/" + c.flight + ".rttfc");
    const ParkingFlight* f = nullptr;
    for (const ParkingFlight& p : parkingFlights)
        if (c.flight == p.flight) f = &p;
    ASSERT_NE(f, nullptr);
    const auto lines = replay::gf_applyVariant(replay::gf_readReplayFile(path), c.variant);
    const auto stand = gf_findStandByName(f->stand);
    ASSERT_NE(stand, parkPositions.end());
    // Where and how it stood on the stand when first seen parked there (metres, degrees off).
    std::optional<std::pair<double, double>> parked;
    auto checkParked = [&] {
        for (const LiveAc& ac : liveAircraft)
            if (!parked && ac.groundState == GroundState::parked && ac.standId == stand->id)
                parked = {gf_distanceNm({ac.lat, ac.lon}, {stand->lat, stand->lon}) / nmPerMetre,
                          radToDeg(std::fabs(gf_angleDiff(ac.heading, stand->heading)))};
    };
    replay(lines, [&](TrafficRecord& r) {
        r.type = f->type;
        r.reg = f->reg;
        checkParked();
    });
    checkParked();
    EXPECT_EQ(parked.has_value(), f->parks) << c.flight << " on " << f->stand << "\n" << logText();

    std::vector<RecordedTrack> tracks;
    for (const auto& o : sim->aiObjects()) tracks.push_back(tracks::gf_recordedTrack(o));
    ASSERT_FALSE(tracks.empty()) << c.flight << " was never created\n" << logText();
    // Judged by the class of the type the flight is given here, as the program flies it.
    const auto verdict = tracks::gf_checkTracks(
        tracks, [&](const RecordedTrack&) { return tracks::gf_limitsOfCategory(gf_modelCategory(f->type)); });
    EXPECT_TRUE(verdict.passed()) << verdict.failures() << verdict.report();

    if (f->arrival) {
        if (parked) {
            EXPECT_LE(parked->first, 2.0);
            EXPECT_LE(parked->second, 3.0);
        }
        ASSERT_EQ(liveAircraft.size(), 1u);
        const LiveAc& ac = liveAircraft.front();
        const double metres = gf_distanceNm({ac.lat, ac.lon}, {stand->lat, stand->lon}) / nmPerMetre;
        if (*f->endsOffStand == '\0') {
            EXPECT_EQ(ac.groundState, GroundState::parked);
            EXPECT_LE(metres, 2.0);
            EXPECT_LE(radToDeg(std::fabs(gf_angleDiff(ac.heading, stand->heading))), 3.0);
        } else {
            // It holds where its data ended, and the stand is free for others.
            std::cout << c.flight << " holds " << fmt::format("{:.1f}", metres) << " m from " << f->stand << ": "
                      << f->endsOffStand << "\n";
            EXPECT_EQ(ac.groundState, GroundState::taxi);
            EXPECT_TRUE(ac.holding);
            EXPECT_GT(metres, 2.0);
            EXPECT_EQ(stand->occupied, 0);
        }
    }
    const bool learned = std::any_of(stand->options.begin(), stand->options.end(), [&](const ParkPosOption& o) {
        return o.kind == optionReal && o.reg() == f->reg;
    });
    EXPECT_EQ(learned, f->parks) << "real option of " << f->reg << " on " << f->stand;
    if (f->parks) {
        EXPECT_GE(updateCount, 1);
    }
}

std::vector<ReplayCase> parkingCases() {
    std::vector<ReplayCase> cases;
    for (const ParkingFlight& f : parkingFlights) {
        ReplayCase c;
        c.flight = f.flight;
        c.variantName = "asRecorded";
        cases.push_back(std::move(c));
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Zurich, ZurichParking, ::testing::ValuesIn(parkingCases()),
                         [](const ::testing::TestParamInfo<ReplayCase>& info) { return info.param.flight; });

}  // namespace
}  // namespace vdl::test
