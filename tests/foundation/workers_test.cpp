#include "foundation/workers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::TempWorkDir;

TEST(WorkerSlotsTest, BoundIsAtLeastOne) {
    TempWorkDir dir;
    gf_initWorkerSlots(0);
    EXPECT_EQ(hwThreads.load(), 1u);
    EXPECT_EQ(runningWorkers.load(), 0);
    gf_waitForWorkerSlot();  // must not wait for ever with no worker running
    gf_initWorkerSlots();
    EXPECT_GE(hwThreads.load(), 1u);
    gf_initWorkerSlots(6);
    EXPECT_EQ(hwThreads.load(), 6u);
}

TEST(WorkerSlotsTest, GuardReleasesExactlyOnceOnEveryPath) {
    TempWorkDir dir;
    gf_initWorkerSlots(4);
    runningWorkers = 3;
    { WorkerSlotGuard g; }
    EXPECT_EQ(runningWorkers.load(), 2);
    {
        WorkerSlotGuard g;
        g.release();
        g.release();
    }
    EXPECT_EQ(runningWorkers.load(), 1);
    try {
        WorkerSlotGuard g;
        throw std::runtime_error("worker failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runningWorkers.load(), 0);
    {
        WorkerSlotGuard a;
        WorkerSlotGuard b(std::move(a));
    }
    EXPECT_EQ(runningWorkers.load(), -1);  // one slot, though two guards lived
}

// The scan pattern: wait for a slot, start a detached worker, count it; the worker
// holds a guard. No more than hwThreads run at once, and all slots come back, also
// from workers that fail.
TEST(WorkerSlotsTest, DetachedWorkersNeverExceedTheBound) {
    TempWorkDir dir;
    constexpr uint32_t bound = 3;
    constexpr int jobs = 24;
    gf_initWorkerSlots(bound);
    std::atomic<int> inside{0}, most{0};
    std::vector<std::future<int>> futures;
    for (int i = 0; i < jobs; ++i) {
        gf_waitForWorkerSlot();
        std::packaged_task<int()> task([i, &inside, &most] {
            WorkerSlotGuard slot;
            int now = inside.fetch_add(1) + 1;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            inside.fetch_sub(1);
            if (i % 5 == 0) throw std::runtime_error("bad file");
            return i;
        });
        futures.push_back(task.get_future());
        std::thread(std::move(task)).detach();
        gf_workerStarted();
    }
    int failed = 0, sum = 0;
    for (auto& f : futures) {
        try {
            sum += f.get();
        } catch (const std::runtime_error&) {
            ++failed;
        }
    }
    EXPECT_EQ(failed, 5);
    EXPECT_EQ(sum, (0 + 23) * 24 / 2 - (0 + 5 + 10 + 15 + 20));
    EXPECT_LE(most.load(), static_cast<int>(bound));
    EXPECT_GE(most.load(), 2);
    // The last guards may still be unwinding after their results are set.
    for (int i = 0; i < 1000 && runningWorkers.load() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(runningWorkers.load(), 0);
}

}  // namespace
}  // namespace vdl
