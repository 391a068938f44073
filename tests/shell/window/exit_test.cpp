#include "shell/window/exit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "shell/window/main_window.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

class ExitTest : public ::testing::Test {
protected:
    void SetUp() override { gf_resetShellWindowForTests(); }
    void TearDown() override { gf_resetShellWindowForTests(); }

    test::TempWorkDir dir;
};

TEST(ExitReasonName, EveryReasonHasItsText) {
    const std::pair<int, std::string_view> table[] = {
        {0, "NOT YET SET"},     {1, "SIM WAS CLOSED"},   {2, "NEW FLIGHT"},   {3, "NEW SETTINGS"},
        {4, "USER CLOSED SIM"}, {5, "SIMCONNECT ERROR"}, {6, "READER ERROR"}, {7, "SYSTEM ERROR"},
    };
    for (const auto& [value, name] : table) {
        EXPECT_EQ(gf_exitReasonName(static_cast<ExitReason>(value)), name) << value;
    }
    EXPECT_EQ(gf_exitReasonName(static_cast<ExitReason>(8)), "UNKNOWN");
    EXPECT_EQ(gf_exitReasonName(static_cast<ExitReason>(-1)), "UNKNOWN");
}

TEST_F(ExitTest, OnlyTheFirstExitGetsThrough) {
    std::vector<std::pair<ExitReason, int>> calls;
    gf_setFinalExitHook([&](ExitReason r, int delay) { calls.emplace_back(r, delay); });

    gf_startFinalExit(ExitReason::ReaderError, 10);
    EXPECT_TRUE(exiting);
    gf_startFinalExit(ExitReason::SystemError, 0);
    gf_startFinalExit(ExitReason::SimWasClosed, 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, ExitReason::ReaderError);
    EXPECT_EQ(calls[0].second, 10);

    // The run shell clears the flag when a new run starts; then the next exit goes through.
    exiting = false;
    gf_startFinalExit(ExitReason::NewSettings, 3);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].first, ExitReason::NewSettings);
}

TEST_F(ExitTest, RacingExitsCallTheHookOnce) {
    std::atomic<int> hookCalls{0};
    gf_setFinalExitHook([&](ExitReason, int) { ++hookCalls; });
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            while (!go) std::this_thread::yield();
            gf_startFinalExit(static_cast<ExitReason>(1 + t % 7), t);
        });
    }
    go = true;
    for (auto& th : threads) th.join();
    EXPECT_EQ(hookCalls.load(), 1);
    EXPECT_TRUE(exiting);
}

TEST_F(ExitTest, HookMayStartAnotherExitWithoutDeadlock) {
    // The exit procedure itself may report a failure through gf_startFinalExit.
    int calls = 0;
    gf_setFinalExitHook([&](ExitReason, int) {
        ++calls;
        gf_startFinalExit(ExitReason::SystemError, 0);
        gf_setFinalExitHook([&](ExitReason, int) { calls += 100; });
    });
    gf_startFinalExit(ExitReason::NewFlight, 0);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace vdl
