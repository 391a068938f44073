#include "foundation/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

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

// The scan pattern: wait for a slot, start a detached worker holding a guard, count it.
// No more than hwThreads run at once, and all slots come back, also from failing workers.
TEST(WorkerSlotsTest, DetachedWorkersNeverExceedTheBound) {
    test::TempWorkDir dir;
    gf_initWorkerSlots(3);
    std::atomic<int> inside{0}, most{0}, finished{0};
    for (int i = 0; i < 24; ++i) {
        gf_waitForWorkerSlot();
        std::thread([i, &inside, &most, &finished] {
            try {
                WorkerSlotGuard slot;
                int now = inside.fetch_add(1) + 1;
                for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                inside.fetch_sub(1);
                if (i % 5 == 0) throw std::runtime_error("bad file");
            } catch (const std::runtime_error&) {
            }
            finished.fetch_add(1);
        }).detach();
        gf_workerStarted();
    }
    for (int i = 0; i < 5000 && (finished.load() < 24 || runningWorkers.load() != 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(finished.load(), 24);
    EXPECT_EQ(runningWorkers.load(), 0);
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(most.load(), 2);
}

}  // namespace
}  // namespace vdl
