// The window written from several threads, and racing exits.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/parameters.h"
#include "support/foundation_env.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "window/reset.h"

namespace vdl {
namespace {

class WindowThreads : public ::testing::Test {
  protected:
    void SetUp() override { gf_resetWindow(); }
    void TearDown() override { gf_resetWindow(); }

    test::TempWorkDir dir;
};

// Writers on several threads and a reader printing the window.
TEST_F(WindowThreads, SeveralThreadsWriteWhileTheViewPrints) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 300; ++i) {
                gf_setStatusLine(fmt::format("thread {} step {}", t, i), false);
                gf_setWindowValue(WindowArea::Counters, fmt::format("c{}", t), std::to_string(i));
                LATERAL_RANGE.set(2 + i % 50);
                gf_setTbInt(LATERAL_RANGE);
                LOG.setEnabled(i % 2 == 0);
            }
        });
    std::thread view([&] {
        while (!stop) EXPECT_FALSE(mainWindow.lines().empty());
    });
    for (auto& w : writers) w.join();
    stop = true;
    view.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(mainWindow.value(WindowArea::Counters, fmt::format("c{}", t)), "299");
}

TEST_F(WindowThreads, OfRacingExitsOnlyTheFirstGetsThroughUntilTheFlagIsCleared) {
    std::atomic<int> calls{0};
    gf_setFinalExitHook([&](ExitReason, int) { ++calls; });
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            gf_startFinalExit(static_cast<ExitReason>(1 + t % 7), t);
        });
    go = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(exiting);

    // A new run clears the flag; then the next exit goes through with its reason and delay.
    ExitReason reason{};
    int delay = -1;
    gf_setFinalExitHook([&](ExitReason r, int d) { reason = r, delay = d; });
    exiting = false;
    gf_startFinalExit(ExitReason::NewSettings, 3);
    EXPECT_EQ(reason, ExitReason::NewSettings);
    EXPECT_EQ(delay, 3);
}

}  // namespace
}  // namespace vdl
