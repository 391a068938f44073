// Real recorded flights at Zürich, replayed through the feed's validation into the traffic
// manager, the simulator link and the simulator stand-in (its ground at Zürich's elevation),
// as recorded and with the altitude shifted, every other line dropped and the positions
// jittered. Every object the stand-in recorded passes the track checks.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "feed/rttfc.h"
#include "liveries/livery_tables.h"
#include "simulator/stand_in.h"
#include "standins/rttfc_replay.h"
#include "standins/track_checks.h"
#include "support/recorded_traffic.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/movement.h"
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
    std::size_t replay(const std::vector<replay::ReplayLine>& lines) {
        std::size_t refused = 0;
        refusals.clear();
        std::size_t next = 0;
        const double end = lines.empty() ? 0.0 : lines.back().seconds + afterDataSeconds;
        for (uint32_t step = 0;; ++step) {
            const double t = step / 100.0;
            if (t > end || (next == lines.size() && liveAircraft.empty())) break;
            for (; next < lines.size() && lines[next].seconds <= t; ++next) {
                try {
                    queue(gf_parseRttfc(replay::gf_stampLine(lines[next].line, stampBase + t), clock100.load()));
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

}  // namespace
}  // namespace vdl::test
