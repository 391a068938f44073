// The Win32 main window, read back through the Win32 API as another program would see it.
// Windows only: the Linux build has the terminal view alone.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "foundation/parameters.h"
#include "shell/run_requests.h"
#include "shell/ui_messages.h"
#include "shell/win32_window.h"
#include "support/shell_env.h"
#include "support/win32_env.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {
namespace {

class Win32WindowTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (!test::windowsPossible()) GTEST_SKIP() << test::noWindowsHere;
        makeProgramFolders();
        ASSERT_TRUE(gf_makeProgramFolder());
        ASSERT_TRUE(gf_loadParameters());
        gf_initMainWindow();
        gf_setFinalExitHook([this](ExitReason reason, int) { exits.push_back(reason); });
        // Only what is posted to it or asked for here brings the window up to date.
        window = std::make_unique<Win32Window>(std::chrono::milliseconds(0));
        ASSERT_TRUE(window->create(true)) << GetLastError();
    }
    void TearDown() override {
        window.reset();
        parkingActive = false;
        ShellTest::TearDown();
    }
    HWND item(int id) const { return GetDlgItem(window->handle(), id); }
    std::string text(int id) const { return test::windowText(item(id)); }
    bool checked(int id) const { return SendMessageW(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    void type(int id, const wchar_t* typed) {
        SetFocus(item(id));
        SetWindowTextW(item(id), typed);
    }

    std::vector<ExitReason> exits;
    std::unique_ptr<Win32Window> window;
};

TEST_F(Win32WindowTest, EveryControlShowsItsParameter) {
    const struct {
        std::function<void()> change;
        Parameter* parameter;
        std::string shown;  // a box's text, or "on"/"off" of a check box or button
    } cases[] = {
        {[] { LATERAL_RANGE.set(55); gf_setTbInt(LATERAL_RANGE); }, &LATERAL_RANGE, "55"},
        {[] { MAX_FIT_FL.set(2.5f); gf_setTbFloat(MAX_FIT_FL); }, &MAX_FIT_FL, "2.5"},
        {[] { MAX_FIT_FL.set(3.0f); gf_setTbFloat(MAX_FIT_FL); }, &MAX_FIT_FL, "3"},
        {[] { DESTINATION.set("LSZH"); gf_setTbText(DESTINATION); }, &DESTINATION, "LSZH"},
        {[] { LOG.set(false); }, &LOG, "off"},
        {[] { LOG.set(true); }, &LOG, "on"},
        {[] { MSFS_2020.set(false); }, &MSFS_2020, "off"},
    };
    for (const auto& c : cases) {
        c.change();
        window->refresh();  // what the window's timer does for a change that posts nothing
        const int id = c.parameter->control()->controlId();
        const ControlKind kind = c.parameter->control()->controlKind();
        if (kind == ControlKind::CheckBox || kind == ControlKind::Button)
            EXPECT_EQ(checked(id) ? "on" : "off", c.shown) << c.parameter->name();
        else
            EXPECT_EQ(text(id), c.shown) << c.parameter->name();
    }
    // The enable rules live in the parameters; the window follows them.
    LATERAL_RANGE.setEnabled(false);
    window->refresh();
    EXPECT_FALSE(IsWindowEnabled(item(LATERAL_RANGE.controlId())));
    LATERAL_RANGE.setEnabled(true);
    window->refresh();
    EXPECT_TRUE(IsWindowEnabled(item(LATERAL_RANGE.controlId())));
}

TEST_F(Win32WindowTest, ABoxConfirmedByEnterOrByLeavingItSetsItsParameter) {
    LATERAL_RANGE.setEnabled(true);
    AUTO_RANGE.set(false);
    const struct {
        Parameter* parameter;
        const wchar_t* typed;
        bool byEnter;
        std::string value;  // the parameter's value (saved) afterwards
        std::string shown;  // the box's text afterwards
    } cases[] = {
        {&MAX_LIVE, L"25", true, "25", "25"},
        {&MAX_LIVE, L"400", false, "300", "300"},   // clamped: the box shows what was taken
        {&MAX_LIVE, L"many", true, "300", "300"},   // refused: the box shows the value kept
        {&MAX_FIT_FL, L"3.26", true, "3.26", "3.3"},
        {&DESTINATION, L"EDDL", false, "EDDL", "EDDL"},
        {&DESTINATION, L"", true, "", ""},          // a cleared box clears the destination
        {&LATERAL_RANGE, L" 20 ", true, "20", "20"},
    };
    for (const auto& c : cases) {
        const int id = c.parameter->control()->controlId();
        type(id, c.typed);
        if (c.byEnter) {
            PostMessageW(item(id), WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(item(id), WM_KEYUP, VK_RETURN, 0);
        } else {
            SetFocus(item(AUTO_RANGE.controlId()));
        }
        window->pumpMessages();
        EXPECT_EQ(c.parameter->text(), c.value) << c.parameter->name() << (c.byEnter ? " by Enter" : " by leaving");
        EXPECT_EQ(savedValue(c.parameter->name()), c.value) << c.parameter->name();
        EXPECT_EQ(text(id), c.shown) << c.parameter->name();
    }
    // MAX_FIT_FL is a parking setting: the run worker adjusts the static parking for it.
    EXPECT_EQ(gf_takeRunRequests(),
              (std::vector{RunRequest::EnforceMaxLive, RunRequest::ParkingSetting, RunRequest::NewDestination}));
    EXPECT_EQ(lateralRangeMeters.load(), 20 * 1852.0) << "a confirmed range keeps its copies";
    // A box left without typing is not taken again.
    SetFocus(item(MAX_LIVE.controlId()));
    SetFocus(item(AUTO_RANGE.controlId()));
    window->pumpMessages();
    EXPECT_TRUE(gf_takeRunRequests().empty());
}

TEST_F(Win32WindowTest, ClicksToggleCheckBoxesAndButtonsAsk) {
    const bool log = LOG.value();
    SendMessageW(item(LOG.controlId()), BM_CLICK, 0, 0);
    window->pumpMessages();
    EXPECT_EQ(LOG.value(), !log);
    EXPECT_EQ(checked(LOG.controlId()), !log);
    EXPECT_EQ(savedValue("LOG"), !log ? "true" : "false");

    // The simulator switch is a push-like button; it starts a new run.
    const bool was2020 = MSFS_2020.value();
    SendMessageW(item(MSFS_2020.controlId()), BM_CLICK, 0, 0);
    window->pumpMessages();
    EXPECT_EQ(MSFS_2020.value(), !was2020);
    EXPECT_EQ(checked(MSFS_2020.controlId()), !was2020);
    EXPECT_EQ(exits, std::vector{ExitReason::NewSettings});

    // "Flush static" waits for parking; "show reserved stand" is always there.
    window->refresh(true);
    EXPECT_FALSE(IsWindowEnabled(item(idFlushStatic)));
    parkingActive = true;
    window->refresh();
    EXPECT_TRUE(IsWindowEnabled(item(idFlushStatic)));
    SendMessageW(item(idFlushStatic), BM_CLICK, 0, 0);
    SendMessageW(item(idReservedStand), BM_CLICK, 0, 0);
    window->pumpMessages();
    EXPECT_EQ(gf_takeRunRequests(), (std::vector{RunRequest::FlushStatic, RunRequest::ShowReservedStand}));
    EXPECT_EQ(text(idStatusLine), "show reserved stand: asked");
}

TEST_F(Win32WindowTest, StatusErrorAndCountersShowTheModel) {
    gf_setWindowValue(WindowArea::Counters, "live aircraft", "3");
    gf_setWindowValue(WindowArea::Counters, "QNH", "1013 hPa");
    gf_setWindowValue(WindowArea::Statistics, "stands", "120");
    gf_setStatusLine("scanning", false);
    window->pumpMessages();
    EXPECT_EQ(text(idStatusLine), "scanning");
    EXPECT_EQ(text(idCounterFirst), "live aircraft: 3");
    EXPECT_EQ(text(idCounterFirst + 1), "QNH: 1013 hPa");
    EXPECT_EQ(text(idCounterFirst + 2), "");
    EXPECT_EQ(text(idStatistics), "stands: 120");
    EXPECT_EQ(text(idErrorLine), "");

    gf_setErrorLine("disk full");
    gf_setStatusLine("ignored while the error shows", false);
    window->pumpMessages();
    EXPECT_EQ(text(idErrorLine), "Error disk full");
    EXPECT_EQ(text(idStatusLine), "scanning");
    EXPECT_NE(test::windowText(window->handle()).find("Vandrel"), std::string::npos) << "the title names the program";
}

TEST_F(Win32WindowTest, ClosingTheWindowEndsTheRunAndTheWindowGoesWithTheExit) {
    SendMessageW(window->handle(), WM_CLOSE, 0, 0);
    SendMessageW(window->handle(), WM_CLOSE, 0, 0);  // again while the exit runs: nothing more
    EXPECT_TRUE(userClosed.load());
    EXPECT_EQ(exits, std::vector{ExitReason::UserClosedSim});
    EXPECT_TRUE(window->pumpMessages()) << "the window stays until the exit is done";
    EXPECT_EQ(text(idStatusLine), "closing");
    // The exit's end: WM_APP+2 through the UI queue.
    gf_postUiMessage(UiMessage::SaveAndQuit);
    EXPECT_FALSE(window->pumpMessages());
    EXPECT_EQ(window->handle(), nullptr);
}

TEST_F(Win32WindowTest, ARestartAfterTheCloseEndsTheWindowToo) {
    SendMessageW(window->handle(), WM_CLOSE, 0, 0);
    gf_postUiMessage(UiMessage::StartRun);  // posted by an exit that began before the close
    EXPECT_FALSE(window->pumpMessages());
}

TEST_F(Win32WindowTest, TheWindowOpensWhereItWasLeftWhileAMonitorShowsThatPlace) {
    SetWindowPos(window->handle(), nullptr, 123, 77, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(window->handle(), WM_CLOSE, 0, 0);
    gf_postUiMessage(UiMessage::SaveAndQuit);
    EXPECT_FALSE(window->pumpMessages());
    EXPECT_EQ(savedValue("WINDOW_LEFT"), "123");
    EXPECT_EQ(savedValue("WINDOW_TOP"), "77");

    for (const auto& [left, expectAt] : {std::pair{123, true}, std::pair{30000, false}}) {
        WINDOW_LEFT.set(left);
        Win32Window again(std::chrono::milliseconds(0));
        ASSERT_TRUE(again.create(true));
        RECT rect{};
        GetWindowRect(again.handle(), &rect);
        EXPECT_EQ(rect.left == left && rect.top == 77, expectAt) << left << ": at " << rect.left << "," << rect.top;
    }
}

TEST_F(Win32WindowTest, ANewDpiScalesTheWindowAndItsControls) {
    const HWND hwnd = window->handle();
    const int dpi = static_cast<int>(GetDpiForWindow(hwnd));
    RECT client{}, button{};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, MulDiv(880, dpi, 96));
    EXPECT_EQ(client.bottom, MulDiv(516, dpi, 96));
    GetWindowRect(item(idFlushStatic), &button);
    const int buttonWidth = button.right - button.left;

    // Smaller: a larger window would not fit the screen of Wine's null display (1024 x 768).
    const int newDpi = dpi * 3 / 4;
    RECT suggested{0, 0, MulDiv(900, newDpi, 96), MulDiv(560, newDpi, 96)};
    SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi), reinterpret_cast<LPARAM>(&suggested));
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, MulDiv(880, newDpi, 96)) << "the client area keeps its size in 96-dpi units";
    EXPECT_EQ(client.bottom, MulDiv(516, newDpi, 96));
    GetWindowRect(item(idFlushStatic), &button);
    EXPECT_NEAR(button.right - button.left, buttonWidth * 3 / 4, 1);
}

TEST(Win32WindowQueue, MessagesPostedBeforeTheWindowReachIt) {
    gf_resetEverything();
    test::TempWorkDir dir;
    if (!test::windowsPossible()) GTEST_SKIP() << test::noWindowsHere;
    // The start-up posts its StartRun before the window exists.
    uiMessages.clear();
    gf_postUiMessage(UiMessage::SaveAndQuit);
    {
        Win32Window window(std::chrono::milliseconds(0));
        ASSERT_TRUE(window.create(false));
        EXPECT_EQ(uiMessages.take(), std::nullopt) << "handed to the window";
        EXPECT_FALSE(window.pumpMessages());
    }
    gf_postUiMessage(UiMessage::StartRun);
    EXPECT_EQ(uiMessages.take(), UiMessage::StartRun) << "without a window the queue keeps them again";
    gf_resetEverything();
}

}  // namespace
}  // namespace vdl
#endif
