#include "foundation/workers.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/foundation_env.h"

namespace vdl {
namespace {

// Mended fault: hardware_concurrency() may answer 0, and the wait would then never end.
TEST(WorkerSlotsTest, BoundIsAtLeastOne) {
    test::TempWorkDir dir;
    gf_initWorkerSlots(0);
    EXPECT_EQ(hwThreads.load(), 1u);
    gf_waitForWorkerSlot();  // returns with no worker running
}

TEST(WorkerSlotsTest, GuardReleasesExactlyOnceOnEveryPath) {
    test::TempWorkDir dir;
    gf_initWorkerSlots(4);
    runningWorkers = 3;
    {
        WorkerSlotGuard g;
        g.release();
        g.release();
    }
    EXPECT_EQ(runningWorkers.load(), 2);
    try {
        WorkerSlotGuard g;
        throw std::runtime_error("worker failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runningWorkers.load(), 1);
    {
        WorkerSlotGuard a;
        WorkerSlotGuard b(std::move(a));
    }
    EXPECT_EQ(runningWorkers.load(), 0);  // one slot, though two guards lived
}

}  // namespace
}  // namespace vdl
