// The RealTraffic stand-in's scenario against the feed's own readers.
#include "../../tools/rt_standin.h"

#include <gtest/gtest.h>

#include <set>

#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/rttfc.h"

namespace vdl {
namespace {

const rtstandin::Flight& lf_flightOf(const std::vector<rtstandin::Flight>& flights,
                                     std::string_view callsign) {
    for (const auto& f : flights)
        if (f.callsign == callsign) return f;
    throw std::runtime_error("no flight " + std::string(callsign));
}

TEST(RealTrafficStandIn, EveryLineOfTheScenarioPassesTheFeedsChecks) {
    const auto flights = rtstandin::gf_eddlScenario();
    std::set<uint32_t> hexids;
    for (const auto& f : flights) EXPECT_TRUE(hexids.insert(f.hexid).second) << "hexid twice: " << f.hexid;
    int lines = 0;
    for (double t : {0.0, 5.0, 30.0, 61.5, 90.0, 150.0, 400.0}) {
        for (const auto& f : flights) {
            const auto s = rtstandin::gf_sampleAt(f, t);
            if (!s) continue;
            const std::string line = rtstandin::gf_rttfcLine(f, *s, 1765000000.0 + t, 1017.3);
            try {
                const TrafficRecord r = gf_parseRttfc(line, 0);
                EXPECT_EQ(r.hexid, f.hexid);
                EXPECT_EQ(r.callsign, f.callsign);
                EXPECT_EQ(r.type, f.type);
                EXPECT_EQ(r.pos.airborne, s->airborne ? 1 : 0) << line;
                ++lines;
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what() << "\n" << line;
            }
        }
    }
    EXPECT_GT(lines, 50);
}

TEST(RealTrafficStandIn, ArrivalsFlyAThreeDegreeApproachAndLand) {
    const auto flights = rtstandin::gf_eddlScenario();
    const auto& arrival = lf_flightOf(flights, "AFR18TC");
    const auto first = rtstandin::gf_sampleAt(arrival, 1.0);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->airborne);
    EXPECT_NEAR(first->groundSpeedKt, 135.0, 1.0);
    // 3 degrees at 135 kt: 135 x 6076 / 60 x tan 3 = 716 ft/min.
    EXPECT_NEAR(first->verticalFpm, -716.0, 20.0);
    EXPECT_NEAR(first->trackDeg, eddl::runwayHeadingDeg + 180.0, 1.0);
    const auto later = rtstandin::gf_sampleAt(arrival, 200.0);
    ASSERT_TRUE(later) << "it stays where it ends";
    EXPECT_FALSE(later->airborne);
    EXPECT_DOUBLE_EQ(later->altFt, eddl::elevationFt);
    EXPECT_DOUBLE_EQ(later->groundSpeedKt, 0.0);

    const auto& departure = lf_flightOf(flights, "DLH9UE");
    EXPECT_FALSE(rtstandin::gf_sampleAt(departure, 1.0)) << "not in the feed before it lines up";
    const auto climbing = rtstandin::gf_sampleAt(departure, 60.0);
    ASSERT_TRUE(climbing);
    EXPECT_TRUE(climbing->airborne);
    EXPECT_NEAR(climbing->verticalFpm, 2500.0, 1.0);
}

TEST(RealTrafficStandIn, ReadsTheUsersPositionFromTheLinksLine) {
    FeedUserState s;
    s.lat = 51.2797;
    s.lon = 6.7559;
    s.altitude = 147.0;
    const auto pos = rtstandin::gf_userPositionOf(gf_userStateLine(s));
    ASSERT_TRUE(pos);
    EXPECT_NEAR(pos->lat, 51.2797, 1e-9);
    EXPECT_NEAR(pos->lon, 6.7559, 1e-9);
    EXPECT_FALSE(rtstandin::gf_userPositionOf("Qs121=1;2;3"));
    EXPECT_FALSE(rtstandin::gf_userPositionOf("Qs121=0;0;0;0;0;x;y"));
    EXPECT_FALSE(rtstandin::gf_userPositionOf("Qs123=1765000000000"));
}

TEST(RealTrafficStandIn, WeatherQnhAsNumberAndAsText) {
    EXPECT_EQ(gf_parseQnh(rtstandin::gf_weatherJson(1017.3, false)), 1017);
    EXPECT_EQ(gf_parseQnh(rtstandin::gf_weatherJson(1017.3, true)), 1017);
}

}  // namespace
}  // namespace vdl
