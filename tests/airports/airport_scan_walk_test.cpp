// Which paths the add-on airport scan leaves out.
#include <gtest/gtest.h>

#include <string>

#include "airports/airport_scan_walk.h"

namespace vdl::test {
namespace {

TEST(AirportWalkWords, SkipWordsFileWordsAndExtensions) {
    struct Case {
        const char* below;
        bool skip;
    };
    const Case cases[] = {
        {"pkg/scenery/a.bgl", false},      {"my-aircraft-pack/a.bgl", true}, {"pkg/Aircraft/a.bgl", false},
        {"fs-base-x/a.bgl", true},         {"pkg/SimObjects/a.bgl", false},  {"pkg/simobjects/a.bgl", true},
        {"aig-aitraffic-oci/a.bgl", true}, {"gsx-pro/a.bgl", true},          {"landingchallenge-x", true},
        {"justflight-aicraft", true},      {"tutorials", true},              {"Tutorials", false},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_skipAirportPath(c.below, 40), c.skip) << c.below;
    EXPECT_FALSE(gf_skipAirportPath("a.bgl", 249));
    EXPECT_TRUE(gf_skipAirportPath("a.bgl", 250));

    EXPECT_TRUE(gf_hasExcludedFileWord("p/statics/a.bgl"));
    EXPECT_TRUE(gf_hasExcludedFileWord("p/AFCAD Updates/a.bgl"));
    EXPECT_TRUE(gf_hasExcludedFileWord("p/x_heliports.bgl"));
    EXPECT_FALSE(gf_hasExcludedFileWord("p/Statics/a.bgl"));

    EXPECT_TRUE(gf_isBglExtension(".bgl"));
    EXPECT_TRUE(gf_isBglExtension(".BGL"));
    EXPECT_FALSE(gf_isBglExtension(".Bgl"));
    EXPECT_FALSE(gf_isBglExtension(".bglx"));
    EXPECT_FALSE(gf_isBglExtension(""));
}

}  // namespace
}  // namespace vdl::test
