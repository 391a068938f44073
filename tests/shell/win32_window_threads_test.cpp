// The Win32 main window told of changes made on other threads, through its message queue.
// Windows only.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "shell/ui_messages.h"
#include "shell/win32_window.h"
#include "support/shell_env.h"
#include "support/win32_env.h"
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

}  // namespace
}  // namespace vdl
#endif
