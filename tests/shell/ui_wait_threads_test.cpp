// The UI thread's wait on both builds: its message queue posted from other threads, and command
// lines from a pipe.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shell/console.h"
#include "shell/ui_messages.h"
#include "support/platform.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

// Every message posted by other threads wakes the wait and is taken, in each thread's order; a
// wait never ends empty-handed while a message is queued.
TEST(UiWaitTest, MessagesFromOtherThreadsWakeTheWaitAndArriveInOrder) {
    uiMessages.clear();
    constexpr int threads = 4;
    constexpr int perThread = 300;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t)
        posters.emplace_back([] {
            for (int i = 0; i < perThread; ++i)
                gf_postUiMessage(i % 2 == 0 ? UiMessage::StartRun : UiMessage::SaveAndQuit);
        });
    int taken = 0, starts = 0;
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (taken < threads * perThread && std::chrono::steady_clock::now() < until) {
        const UiWait ready = gf_waitUi(uiMessages.wakeUp(), -1, 5s);
        std::optional<UiMessage> m = uiMessages.take();
        if (!ready.messages) {
            EXPECT_FALSE(m.has_value()) << "a message waited without its wake-up";
        }
        for (; m; m = uiMessages.take()) {
            ++taken;
            starts += *m == UiMessage::StartRun ? 1 : 0;
        }
    }
    for (auto& t : posters) t.join();
    EXPECT_EQ(taken, threads * perThread);
    EXPECT_EQ(starts, threads * perThread / 2);

    EXPECT_FALSE(gf_waitUi(uiMessages.wakeUp(), -1, 30ms).messages) << "drained";
    gf_postUiMessage(UiMessage::StartRun);
    gf_postUiMessage(UiMessage::SaveAndQuit);  // while one is pending: nothing more sent
    EXPECT_TRUE(gf_waitUi(uiMessages.wakeUp(), -1, 5s).messages);
    EXPECT_EQ(uiMessages.take(), UiMessage::StartRun);
    EXPECT_EQ(uiMessages.take(), UiMessage::SaveAndQuit);
    EXPECT_EQ(uiMessages.take(), std::nullopt);
    EXPECT_FALSE(gf_waitUi(uiMessages.wakeUp(), -1, 0ms).messages);
}

// A pipe's line wakes the wait and is read; its end reads as 0 bytes.
TEST(UiWaitTest, CommandLinesFromAPipeAndItsEnd) {
    uiMessages.clear();
    int fds[2];
    ASSERT_TRUE(test::makePipe(fds));
    EXPECT_FALSE(gf_waitUi(uiMessages.wakeUp(), fds[0], 30ms).input);
    std::thread writer([&] {
        std::this_thread::sleep_for(20ms);
        test::writeFd(fds[1], "help\n", 5);
    });
    EXPECT_TRUE(gf_waitUi(uiMessages.wakeUp(), fds[0], 10s).input);
    writer.join();
    char buffer[64];
    bool again = false;
    std::string got;
    while (got.size() < 5) {
        const auto n = gf_readInput(fds[0], buffer, sizeof buffer, again);
        ASSERT_TRUE(n.has_value());
        got.append(buffer, *n);
    }
    EXPECT_EQ(got, "help\n");
    test::closeFd(fds[1]);
    EXPECT_TRUE(gf_waitUi(uiMessages.wakeUp(), fds[0], 10s).input) << "the end is something to read";
    EXPECT_EQ(gf_readInput(fds[0], buffer, sizeof buffer, again), size_t{0});
    test::closeFd(fds[0]);
}

}  // namespace
}  // namespace vdl
