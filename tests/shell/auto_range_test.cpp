#include "shell/auto_range.h"

#include <gtest/gtest.h>

#include <limits>

#include "foundation/parameters.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

TEST(AutoRangeRule, TenNmLowAndGrowingWithHeightUpToTheMaximum) {
    const struct {
        bool onGround;
        double agl;
        int32_t nm;
    } cases[] = {
        {true, 5000.0, 10},  // on the ground whatever the height says (a mountain airport)
        {false, -50.0, 10},   {false, 699.0, 10},   {false, 700.0, 11},
        {false, 18499.0, 99}, {false, 18500.0, 100}, {false, 41000.0, 100},
        {false, std::numeric_limits<double>::quiet_NaN(), 10},
        {false, std::numeric_limits<double>::infinity(), 100},
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
    static void userAt(bool known, bool onGround, double agl) {
        UserOnGround u;
        u.known = known;
        u.value = onGround ? 1 : 0;
        userOnGround.store(u);
        userAc.altAboveGround = agl;
    }
};

TEST_F(AutoRangeTest, StoresTheRangeWithItsCopiesAndGivesTheUsersBackWhenSwitchedOff) {
    gf_setLateralRange(45);
    AUTO_RANGE.set(true);
    gf_autoRangeSwitched(true);
    EXPECT_FALSE(LATERAL_RANGE.enabled()) << "the box is the automatic range's while it is on";
    userAt(true, false, 2500.0);
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 20);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 20.0 * 1852.0);
    EXPECT_EQ(mainWindow.boxText(LATERAL_RANGE.controlId()), "20");
    EXPECT_FALSE(atTenNm.load());
    userAt(false, false, 9000.0);  // an unknown ground state counts as on the ground
    gf_autoRange();
    EXPECT_EQ(LATERAL_RANGE.value(), 10);
    EXPECT_TRUE(atTenNm.load());

    AUTO_RANGE.set(false);
    gf_autoRangeSwitched(false);
    EXPECT_TRUE(LATERAL_RANGE.enabled());
    EXPECT_EQ(LATERAL_RANGE.value(), 45);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 45.0 * 1852.0);
    EXPECT_EQ(mainWindow.boxText(LATERAL_RANGE.controlId()), "45");
    EXPECT_FALSE(atTenNm.load());
    gf_autoRange();  // off: the range is left alone
    EXPECT_EQ(LATERAL_RANGE.value(), 45);
}

}  // namespace
}  // namespace vdl
