// The replayer's reading of recorded files and its variants: what a replayed line carries is
// what the feed's validation then sees.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "feed/rttfc.h"
#include "foundation/geo.h"
#include "standins/rttfc_replay.h"
#include "support/foundation_env.h"

namespace vdl::test {
namespace {

// Made-up lines in the recordings' shape: an airborne one and a ground one without track or speed.
constexpr const char* airLine =
    "RTTFC,4921999,47.456050,8.578069,1475,-768,1,276.12,140.8,TST229,,,,,1600000000.0,X,,X_adsb_icao,1500,,,,,,,,,none,A3,,,,,,0,,,,,,1";
constexpr const char* groundLine =
    "RTTFC,4921999,47.455000,8.570000,,,0,,,TST229,,,,,1600000002.0,X,,X_adsb_icao,,,,,,,,,,none,A3,,,,,,0,,,,,,1";

std::filesystem::path writeFile(const TempWorkDir& dir, const std::string& name, const std::string& text) {
    const auto path = dir.path() / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(RttfcReplay, ReadsTimedAndBareFilesAndPassesOverOtherLines) {
    TempWorkDir dir;
    const auto timed = replay::gf_readReplayFile(
        writeFile(dir, "timed.rttfc", std::string("0.0\t") + airLine + "\r\nnoise\n2.5\t" + groundLine + "\n"));
    ASSERT_EQ(timed.size(), 2u);
    EXPECT_DOUBLE_EQ(timed[1].seconds, 2.5);
    EXPECT_EQ(timed[1].line, groundLine);
    const auto bare = replay::gf_readReplayFile(writeFile(dir, "bare.rttfc", std::string(airLine) + "\nRTPARK,1\n" + groundLine + "\n"));
    ASSERT_EQ(bare.size(), 2u);
    EXPECT_DOUBLE_EQ(bare[1].seconds, 2.0);  // from the time stamps
    EXPECT_THROW(replay::gf_readReplayFile(dir.path() / "missing.rttfc"), std::runtime_error);
}

TEST(RttfcReplay, VariantsShiftDropJitterAndFillTheType) {
    const std::vector<replay::ReplayLine> lines = {{0.0, airLine}, {2.0, groundLine}, {4.0, airLine}};
    replay::Variant v;
    v.altShiftFt = -300.0;
    v.dropEveryOther = true;
    v.jitterMetres = 20.0;
    v.fillType = "A320";
    const auto out = replay::gf_applyVariant(lines, v);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_DOUBLE_EQ(out[1].seconds, 4.0);
    const TrafficRecord r = gf_parseRttfc(replay::gf_stampLine(out[0].line, 1700000000.0), 0);
    EXPECT_DOUBLE_EQ(r.pos.alt, 1175.0);
    EXPECT_EQ(r.type, "A320");
    EXPECT_DOUBLE_EQ(r.sampleTime, 1700000000.0);
    EXPECT_NEAR(gf_distanceNm({r.pos.lat, r.pos.lon}, {47.456050, 8.578069}) * 1852.0, 20.0, 0.2);
    // The ground line without track or speed is taken, its altitude left empty.
    const TrafficRecord g = gf_parseRttfc(replay::gf_applyVariant({{0.0, groundLine}}, v)[0].line, 0);
    EXPECT_FALSE(g.pos.airborne);
    EXPECT_TRUE(g.pos.trackUnknown && g.pos.speedUnknown);
}

}  // namespace
}  // namespace vdl::test
