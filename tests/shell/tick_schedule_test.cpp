#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "shell/main_loop.h"

namespace vdl {
namespace {

TEST(TickSchedule, JobsByCount) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {1, 0},
        {16, tickJob16},
        {30, tickJob15 | tickJob30},
        {59, 0},  // ticks 59 and 60 have no work of their own
        {60, tickJob15 | tickJob30},
        {61, tickJob61},
        {62, tickJob62},
        {240, tickJob15 | tickJob30},  // 16 divides it, but so does 15
        {1200, tickJob15 | tickJob30 | tickJob1200},
        {3782, tickJob61 | tickJob62},
        {0, tickJob15 | tickJob30 | tickJob61 | tickJob62 | tickJob1200},
    };
    for (const auto& [count, jobs] : cases) EXPECT_EQ(gf_tickJobs(count), jobs) << "tick " << count;
}

TEST(TickSchedule, CountStartsAgainAt86400) {
    EXPECT_EQ(gf_nextTickCount(86398), 86399u);
    EXPECT_EQ(gf_nextTickCount(86399), 0u);
    // A count above the range (never made by the counter) still comes back into it.
    EXPECT_LT(gf_nextTickCount(90000), tickCountRestart);
}

}  // namespace
}  // namespace vdl
