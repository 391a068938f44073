#include "shell/auto_range.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "foundation/parameters.h"
#include "shell/window/main_window.h"
#include "simlink/sim_link.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

struct RangeCase {
    bool onGround;
    double agl;
    int32_t nm;
};

TEST(AutoRangeRule, TenNmLowAndGrowingWithHeightUpToTheMaximum) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const RangeCase cases[] = {
        {true, 0.0, 10},       {true, 5000.0, 10},  // on the ground whatever the height says (a mountain
                                                    // airport)
        {false, 0.0, 10},      {false, -50.0, 10},   {false, 500.0, 10},
        {false, 699.0, 10},    {false, 700.0, 11},   {false, 2500.0, 20},
        {false, 10500.0, 60},  {false, 18499.0, 99}, {false, 18500.0, 100},
        {false, 41000.0, 100}, {false, nan, 10},     {false, std::numeric_limits<double>::infinity(), 100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_autoRangeNm(c.onGround, c.agl), c.nm) << c.onGround << " " << c.agl;
}

class AutoRangeTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        gf_initMainWindow();
    }
    void userAt(bool onGround, double agl) {
        UserOnGround u;
        u.known = true;
        u.value = onGround ? 1 : 0;
        u.latitude = 51.28;
        u.longitude = 6.76;
        userOnGround.store(u);
        userAc.altAboveGround = agl;
    }
};

TEST_F(AutoRangeTest, StoresTheRangeWithItsCopiesAndTheBox) {
    AUTO_RANGE.set(true);
    gf_setLateralRange(40);
    userAt(false, 2500.0);
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 20);
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 20.0);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 20.0 * 1852.0);
    EXPECT_EQ(mainWindow.boxText(LATERAL_RANGE.controlId()), "20");
    EXPECT_FALSE(atTenNm.load());

    userAt(true, 0.0);
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 10);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 18520.0);
    EXPECT_TRUE(atTenNm.load());
}

TEST_F(AutoRangeTest, UnknownGroundStateCountsAsOnTheGround) {
    AUTO_RANGE.set(true);
    userOnGround.store({});
    userAc.altAboveGround = 9000.0;
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 10);
}

TEST_F(AutoRangeTest, OffLeavesTheRangeAlone) {
    AUTO_RANGE.set(false);
    gf_setLateralRange(33);
    atTenNm = true;
    userAt(true, 0.0);
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 33);
    EXPECT_FALSE(atTenNm.load());
}

TEST_F(AutoRangeTest, SwitchingOffBringsBackTheUsersRange) {
    gf_setLateralRange(45);
    AUTO_RANGE.set(true);
    gf_autoRangeSwitched(true);
    EXPECT_FALSE(LATERAL_RANGE.enabled()) << "the box is the automatic range's while it is on";
    userAt(true, 0.0);
    gf_autoRange();
    ASSERT_EQ(LATERAL_RANGE.value(), 10);

    AUTO_RANGE.set(false);
    gf_autoRangeSwitched(false);
    EXPECT_TRUE(LATERAL_RANGE.enabled());
    EXPECT_EQ(LATERAL_RANGE.value(), 45);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 45.0 * 1852.0);
    EXPECT_EQ(mainWindow.boxText(LATERAL_RANGE.controlId()), "45");
    EXPECT_FALSE(atTenNm.load());
}

}  // namespace
}  // namespace vdl
