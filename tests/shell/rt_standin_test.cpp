// The main job's stand-ins: RealTraffic's lines pass the feed's checks and its flights are
// complete; the simulator takes its installed titles from a file and flies the user nearby.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/rttfc.h"
#include "simulator/sim_scenario.h"
#include "standins/rt_standin.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

const rtstandin::Flight& lf_flight(std::string_view callsign) {
    static const auto flights = rtstandin::gf_eddlScenario();
    for (const auto& f : flights)
        if (f.callsign == callsign) return f;
    throw std::runtime_error("no flight " + std::string(callsign));
}

// The first time at which the flight's state answers `test`, sampled every 0.5 s.
template <typename Test>
std::optional<double> lf_firstTime(const rtstandin::Flight& f, double from, double to, Test test) {
    for (double t = from; t <= to; t += 0.5) {
        const auto s = rtstandin::gf_sampleAt(f, t);
        if (s && test(*s)) return t;
    }
    return std::nullopt;
}

TEST(RealTrafficStandIn, EveryLineOfTheScenarioPassesTheFeedsChecks) {
    const auto flights = rtstandin::gf_eddlScenario();
    std::set<uint32_t> hexids;
    int lines = 0;
    for (const auto& f : flights) {
        EXPECT_TRUE(hexids.insert(f.hexid).second) << "hexid twice: " << f.hexid;
        for (double t : {0.0, 30.0, 61.5, 150.0, 400.0}) {
            const auto s = rtstandin::gf_sampleAt(f, t);
            if (!s) continue;
            const std::string line = rtstandin::gf_rttfcLine(f, *s, 1765000000.0 + t, 1017.3);
            try {
                const TrafficRecord r = gf_parseRttfc(line, 0);
                EXPECT_EQ(r.hexid, f.hexid);
                EXPECT_EQ(r.callsign, f.callsign);
                EXPECT_EQ(r.pos.airborne, s->airborne ? 1 : 0) << line;
                ++lines;
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what() << "\n" << line;
            }
        }
    }
    EXPECT_GT(lines, 40);
    EXPECT_EQ(gf_parseQnh(rtstandin::gf_weatherJson(1017.3, false)), 1017);
    EXPECT_EQ(gf_parseQnh(rtstandin::gf_weatherJson(1017.3, true)), 1017);
}

TEST(RealTrafficStandIn, ReadsTheUsersPositionFromTheLinksLine) {
    FeedUserState s;
    s.lat = 51.2797;
    s.lon = 6.7559;
    const auto pos = rtstandin::gf_userPositionOf(gf_userStateLine(s));
    ASSERT_TRUE(pos);
    EXPECT_NEAR(pos->lat, 51.2797, 1e-9);
    EXPECT_NEAR(pos->lon, 6.7559, 1e-9);
    for (const char* bad : {"Qs121=0;0;0;0;0;x;y", "Qs123=1765000000000"})
        EXPECT_FALSE(rtstandin::gf_userPositionOf(bad)) << bad;
}

TEST(RealTrafficStandIn, ArrivalFromFifteenMilesOnAThreeDegreePathEndsOnTheApron) {
    const auto& f = lf_flight("DLH4TC");
    const LatLon threshold = eddl::gf_threshold(true, true);
    const auto first = rtstandin::gf_sampleAt(f, 0.0);
    ASSERT_TRUE(first);
    EXPECT_NEAR(gf_distanceNm(first->pos, threshold), 15.0, 0.1);
    // On a 3-degree path above the threshold crossing height of 50 ft.
    EXPECT_NEAR(first->altFt, eddl::elevationFt + 50.0 + 15.0 * feetPerNm * rtstandin::tanGlide, 1.0);
    EXPECT_NEAR(first->verticalFpm, -750.0, 150.0);

    const auto end = rtstandin::gf_sampleAt(f, 3000.0);
    ASSERT_TRUE(end) << "it stays where it ends";
    EXPECT_DOUBLE_EQ(end->groundSpeedKt, 0.0);
    EXPECT_DOUBLE_EQ(end->altFt, eddl::elevationFt);
}

TEST(RealTrafficStandIn, DepartureFromAGatePushesBackTaxisAndClimbs) {
    const auto& f = lf_flight("EWG7KT");
    const double terminal = degToRad(322.0);
    EXPECT_DOUBLE_EQ(rtstandin::gf_sampleAt(f, 10.0)->groundSpeedKt, 0.0);
    // Pushed back: slowly, away from where the nose points.
    const auto push = rtstandin::gf_sampleAt(f, 35.0);
    ASSERT_TRUE(push);
    EXPECT_NEAR(push->groundSpeedKt, 3.0, 0.5);
    EXPECT_NEAR(std::fabs(gf_angleDiff(terminal, degToRad(push->trackDeg))), pi, 0.05);
    EXPECT_NEAR(std::fabs(gf_angleDiff(terminal, degToRad(push->headingDeg))), 0.0, 0.05);
    // The nose ends turned right and keeps that heading in the line while the engines start.
    const auto turned = rtstandin::gf_sampleAt(f, 70.0);
    ASSERT_TRUE(turned);
    EXPECT_GT(gf_angleDiff(terminal, degToRad(turned->headingDeg)), degToRad(80.0));
    const auto line = rtstandin::gf_rttfcLine(f, *turned, 1765000000.0, 1013.0);
    EXPECT_NE(line.find(fmt::format(",{:.2f},", turned->headingDeg)), std::string::npos) << line;

    const auto liftOff = lf_firstTime(f, 60.0, 2000.0, [](const rtstandin::Sample& s) { return s.airborne; });
    ASSERT_TRUE(liftOff);
    EXPECT_GT(rtstandin::gf_sampleAt(f, *liftOff - 2.0)->groundSpeedKt, 120.0);
    EXPECT_NEAR(rtstandin::gf_sampleAt(f, *liftOff + 30.0)->verticalFpm, 2500.0, 1.0);
    // The program flies records 30 s late and the scenario starts ~10 s after the simulator:
    // both flights end within the simulator's run.
    const double simulatorEnd = SimScenarioConfig{}.endAtSimSeconds;
    EXPECT_LT(lf_flight("DLH4TC").path.back().t + 30.0 + 10.0 + 15.0, simulatorEnd);
    EXPECT_LT(*liftOff + 30.0 + 10.0 + 60.0, simulatorEnd);
}

class SimScenarioTest : public test::ShellTest {};

TEST_F(SimScenarioTest, InstalledTitlesAreExactlyThoseOfTheFile) {
    test::writeWholeFile("titles.txt", "AIG Airbus A320 Lufthansa D-AIZC\r\n\n  FSLTL_B738_RYR-Ryanair_EI-DCL  \n");
    SimScenarioConfig config;
    config.installedTitles = "titles.txt";
    const auto sim = gf_makeScenarioWorld(config);
    EXPECT_TRUE(sim->isInstalled("AIG Airbus A320 Lufthansa D-AIZC"));
    EXPECT_TRUE(sim->isInstalled("FSLTL_B738_RYR-Ryanair_EI-DCL"));
    EXPECT_FALSE(sim->isInstalled("AIG Airbus A320 Lufthansa"));

    config.installedTitles = "no-such-titles.txt";
    EXPECT_FALSE(gf_makeScenarioWorld(config)->isInstalled("AIG Airbus A320 Lufthansa D-AIZC"));
}

TEST(SimScenarioFlight, UserFlightLastsTheRunAndStaysNearTheAirport) {
    const auto flight = gf_scenarioUserFlight();
    ASSERT_FALSE(flight.empty());
    EXPECT_TRUE(std::is_sorted(flight.begin(), flight.end(),
                               [](const UserKeyframe& a, const UserKeyframe& b) { return a.time < b.time; }));
    EXPECT_GE(flight.back().time, SimScenarioConfig{}.endAtSimSeconds);
    const LatLon airport{eddl::latitude, eddl::longitude};
    for (size_t i = 1; i < flight.size(); ++i) {
        const UserKeyframe& a = flight[i - 1];
        const UserKeyframe& b = flight[i];
        // Within a few nm: the airport's traffic stays within the automatic range.
        EXPECT_LT(gf_distanceNm(airport, {b.latitude, b.longitude}), 8.0) << b.time;
        // No jumps: at most 20 % over the speeds of the two key frames.
        const double nm = gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude});
        const double maxKt = std::max(a.groundSpeed, b.groundSpeed) * 1.2 + 1.0;
        EXPECT_LE(nm / ((b.time - a.time) / 3600.0), maxKt) << a.time << " to " << b.time;
    }
}

}  // namespace
}  // namespace vdl
