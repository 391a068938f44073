// The Win32 main window told of changes made on other threads, through its message queue.
// Windows only.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/parameters.h"
#include "shell/main_view.h"
#include "shell/ui_messages.h"
#include "shell/win32_window.h"
#include "support/platform.h"
#include "support/shell_env.h"
#include "support/win32_env.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {
namespace {

class Win32WindowThreads : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        uiMessages.clear();
        // No timer: only what other threads post reaches the window.
        if (!test::windowsPossible()) GTEST_SKIP() << test::noWindowsHere;
        window = std::make_unique<Win32Window>(std::chrono::milliseconds(0));
        ASSERT_TRUE(window->create(false)) << GetLastError();
    }
    void TearDown() override {
        window.reset();
        ShellTest::TearDown();
    }
    // Pumps the window's messages until its control shows the text.
    bool shows(int id, const std::string& wanted) {
        return test::eventually([&] {
            window->pumpMessages();
            return test::windowText(GetDlgItem(window->handle(), id)) == wanted;
        });
    }

    std::unique_ptr<Win32Window> window;
};

TEST_F(Win32WindowThreads, AStatusLineAndCountersSetOnAnotherThreadAreShown) {
    std::thread worker([] {
        for (int i = 1; i <= 200; ++i) {
            gf_setWindowValue(WindowArea::Counters, "live aircraft", std::to_string(i));
            gf_setStatusLine("step " + std::to_string(i), false);
        }
    });
    worker.join();
    EXPECT_TRUE(shows(idStatusLine, "step 200"));
    EXPECT_TRUE(shows(idCounterFirst, "live aircraft: 200"));
}

TEST_F(Win32WindowThreads, TheExitThreadsQuitReachesTheWindowsQueue) {
    std::thread exitThread([] { gf_postUiMessage(UiMessage::SaveAndQuit); });
    exitThread.join();
    EXPECT_TRUE(test::eventually([&] { return !window->pumpMessages(); }));
    EXPECT_EQ(uiMessages.take(), std::nullopt) << "the message went to the window, not the portable queue";
}

// The program's loop: the window, the console's typed commands beside it, the end through the
// exit's WM_APP+2.
TEST_F(Win32WindowThreads, TheProgramsLoopTakesTypedCommandsAndEndsWithTheExit) {
    window.reset();
    makeProgramFolders();
    ASSERT_TRUE(gf_makeProgramFolder());
    ASSERT_TRUE(gf_loadParameters());
    gf_initMainWindow();
    std::vector<ExitReason> exits;
    gf_setFinalExitHook([&](ExitReason reason, int) {
        exits.push_back(reason);
        gf_postUiMessage(UiMessage::SaveAndQuit);
    });
    int fds[2];
    ASSERT_TRUE(test::makePipe(fds));
    test::writeFd(fds[1], "set MAX_LIVE 42\nquit\n", 21);

    // Should the commands never arrive, the loop is still ended, and the test fails below.
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(doneMutex);
        if (!doneCv.wait_for(lock, std::chrono::seconds(20), [&] { return done; }))
            gf_postUiMessage(UiMessage::SaveAndQuit);
    });
    std::ostringstream out;
    TerminalView view(out, false, std::chrono::milliseconds(0));
    const bool ran = gf_runWindowLoop(fds[0], view, nullptr);
    {
        std::lock_guard lock(doneMutex);
        done = true;
    }
    doneCv.notify_all();
    watchdog.join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(MAX_LIVE.value(), 42);
    EXPECT_EQ(exits, std::vector{ExitReason::UserClosedSim});
    EXPECT_NE(out.str().find("Max live aircraft (-1 no limit): [42]"), std::string::npos) << "the terminal view printed";
    test::closeFd(fds[1]);
    test::closeFd(fds[0]);
}

}  // namespace
}  // namespace vdl
#endif
