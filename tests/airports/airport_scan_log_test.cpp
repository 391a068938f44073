// The airport scan log: publisher detection's lines, the bound on its length, the reset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airports/airport_scan_log.h"
#include "airports/reset.h"
#include "refdata/hooks.h"
#include "refdata/reset.h"

namespace vdl::test {
namespace {

using Lines = std::vector<std::string>;

class AirportScanLog : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetRefdata();
        gf_resetAirports();
    }
    void TearDown() override {
        gf_resetRefdata();
        gf_resetAirports();
    }
};

TEST_F(AirportScanLog, TakesOverPublisherLinesWrittenBeforeAndDuringTheScan) {
    gf_addPublisherScanLog("early");  // no scan yet: kept for it
    gf_addAirportsScanLog("first");
    gf_beginAirportsScanLog();
    gf_setAirportsScanLogHook([](const std::string& line) { gf_addAirportsScanLog(line); });
    gf_addPublisherScanLog("during");
    EXPECT_EQ(gf_takeAirportsScanLog(), (Lines{"first", "early", "during"}));
    EXPECT_TRUE(gf_takeAirportsScanLog().empty());
    EXPECT_TRUE(gf_takePendingScanLog().empty());
}

// A worker's lines wait in its buffer and go in together when it ends; a buffer inside another
// hands its lines to the outer one.
TEST_F(AirportScanLog, ABufferKeepsItsLinesTogether) {
    gf_setAirportsScanLogHook([](const std::string& line) { gf_addAirportsScanLog(line); });
    {
        const AirportsScanLogBuffer outer;
        gf_addAirportsScanLog("a1");
        {
            const AirportsScanLogBuffer inner;
            gf_addPublisherScanLog("b1");
            EXPECT_TRUE(gf_takeAirportsScanLog().empty());
        }
        gf_addAirportsScanLog("a2");
        EXPECT_TRUE(gf_takeAirportsScanLog().empty());
    }
    gf_addAirportsScanLog("after");
    EXPECT_EQ(gf_takeAirportsScanLog(), (Lines{"a1", "b1", "a2", "after"}));
}

TEST_F(AirportScanLog, LinesPastTheBoundAreCounted) {
    for (size_t i = 0; i < airportsScanLogMaxLines + 5; ++i) gf_addAirportsScanLog("x");
    Lines lines = gf_takeAirportsScanLog();
    ASSERT_EQ(lines.size(), airportsScanLogMaxLines + 1);
    EXPECT_EQ(lines.back(), "... and 5 more lines left out");
    gf_addAirportsScanLog("y");
    EXPECT_EQ(gf_takeAirportsScanLog(), Lines{"y"});  // the count starts again

    // The same bound inside a worker's buffer, and the count goes with its lines.
    {
        const AirportsScanLogBuffer buffer;
        for (size_t i = 0; i < airportsScanLogMaxLines + 3; ++i) gf_addAirportsScanLog("w");
    }
    lines = gf_takeAirportsScanLog();
    ASSERT_EQ(lines.size(), airportsScanLogMaxLines + 1);
    EXPECT_EQ(lines.back(), "... and 3 more lines left out");

    gf_addAirportsScanLog("z");
    gf_resetAirports();
    EXPECT_TRUE(gf_takeAirportsScanLog().empty());
}

}  // namespace
}  // namespace vdl::test
