#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "shell/run_requests.h"
#include "shell/ui_thread.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "window/reset.h"
#include "support/platform.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

class UiCommandTest : public test::WindowShellTest {};

TEST_F(UiCommandTest, BoxesTakeConfirmedValuesSaveThemAndAskTheRunWorker) {
    const struct {
        const char* command;
        Parameter* parameter;
        const char* value;
        std::vector<RunRequest> requests;
    } cases[] = {
        {"set MAX_LIVE 25", &MAX_LIVE, "25", {RunRequest::EnforceMaxLive}},
        {"SET max_live   400", &MAX_LIVE, "300", {RunRequest::EnforceMaxLive}},  // clamped to its range
        {"set DESTINATION EDDL", &DESTINATION, "EDDL", {RunRequest::NewDestination}},
        {"set CALLSIGN_2_OBJECTID DLH4AB", &CALLSIGN_2_OBJECTID, "DLH4AB", {RunRequest::ShowObjectId}},
        {"set AIRPORT_RANGE 12", &AIRPORT_RANGE, "12", {}},
    };
    for (const auto& c : cases) {
        const std::string answer = gf_handleCommand(c.command);
        EXPECT_EQ(c.parameter->text(), c.value) << c.command << ": " << answer;
        EXPECT_EQ(savedValue(c.parameter->name()), c.value) << c.command;
        EXPECT_EQ(mainWindow.boxText(c.parameter->control()->controlId()), c.value) << c.command;
        EXPECT_EQ(gf_takeRunRequests(), c.requests) << c.command;
    }
}

TEST_F(UiCommandTest, LateralRangeKeepsItsCopiesAndRefusesWhileDisabled) {
    AUTO_RANGE.set(false);
    LATERAL_RANGE.setEnabled(true);
    gf_handleCommand("set LATERAL_RANGE 500");
    EXPECT_EQ(LATERAL_RANGE.value(), 100);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 100 * 1852.0) << "copies from the clamped value";
    LATERAL_RANGE.setEnabled(false);
    EXPECT_NE(gf_handleCommand("set LATERAL_RANGE 20").find("disabled"), std::string::npos);
    EXPECT_EQ(LATERAL_RANGE.value(), 100);
}

TEST_F(UiCommandTest, RefusedInputChangesNothing) {
    const struct {
        const char* command;
        const char* answerHas;
    } cases[] = {
        {"set MAX_LIVE many", "is no value for MAX_LIVE"},
        {"set GUID_CHANGES 1", "no box named"},  // a setting without a control in the window
        {"set MAX_LIVE", "set NAME VALUE"},
        {"press MAX_LIVE", "is a box"},
        {"press nothing here", "no button named"},
        {"fly away", "unknown command"},
    };
    MAX_LIVE.set(7);
    for (const auto& c : cases) {
        const std::string answer = gf_handleCommand(c.command);
        EXPECT_NE(answer.find(c.answerHas), std::string::npos) << c.command << ": " << answer;
    }
    EXPECT_EQ(MAX_LIVE.value(), 7);
    EXPECT_EQ(mainWindow.boxText(MAX_LIVE.controlId()), "7") << "the box shows the value kept";
    EXPECT_TRUE(gf_takeRunRequests().empty());
}

TEST_F(UiCommandTest, ButtonsToggleOrAsk) {
    const bool log = LOG.value();
    gf_handleCommand("press LOG");
    EXPECT_EQ(LOG.value(), !log);
    EXPECT_EQ(savedValue("LOG"), !log ? "true" : "false");

    gf_handleCommand("press Flush static");
    gf_handleCommand("press SHOW RESERVED STAND");
    gf_handleCommand("press flush static");  // still waiting: asked once
    EXPECT_EQ(gf_takeRunRequests(), (std::vector{RunRequest::FlushStatic, RunRequest::ShowReservedStand}));
}

TEST_F(UiCommandTest, AParkingSettingChangeIsHandedToTheRunWorker) {
    for (const char* command : {"set parking_percentage 40", "press WEEK", "set CUSTOM_MAX_PARK 12"}) {
        gf_handleCommand(command);
        EXPECT_EQ(gf_takeRunRequests(), std::vector{RunRequest::ParkingSetting}) << command;
    }
    gf_handleCommand("set MAX_LIVE 9");
    EXPECT_EQ(gf_takeRunRequests(), std::vector{RunRequest::EnforceMaxLive});
}

TEST_F(UiCommandTest, SimulatorSwitchStartsANewRunAndQuitEndsIt) {
    std::vector<ExitReason> exits;
    gf_setFinalExitHook([&](ExitReason r, int) { exits.push_back(r); });
    SCAN_AIRPORTS.set(false);
    const bool was2020 = MSFS_2020.value();
    gf_handleCommand("press MSFS_2020");
    EXPECT_EQ(MSFS_2020.value(), !was2020);
    EXPECT_EQ(savedValue("SCAN_AIRPORTS"), "true") << "the other simulator is scanned";
    exiting = false;
    gf_handleCommand("quit");
    EXPECT_TRUE(userClosed.load());
    gf_handleCommand("quit");  // ignored while the exit is under way
    EXPECT_EQ(exits, (std::vector{ExitReason::NewSettings, ExitReason::UserClosedSim}));
}

// The window's controls reach the parameters by their control ids, as the commands by names.
TEST_F(UiCommandTest, ControlsByIdTakeValuesAndToggles) {
    DESTINATION.set("EDDL");
    LOG.set(true);
    const int destination = DESTINATION.controlId(), maxLive = MAX_LIVE.controlId(), log = LOG.controlId();
    const struct {
        std::function<std::string()> act;
        Parameter* parameter;
        const char* value;
    } cases[] = {
        // A cleared box is a value: the destination goes.
        {[&] { return gf_confirmBox(destination, ""); }, &DESTINATION, ""},
        {[&] { return gf_confirmBox(maxLive, " 12 "); }, &MAX_LIVE, "12"},
        {[&] { return gf_confirmBox(log, "off"); }, &LOG, "false"},
        {[&] { return gf_pressControl(log); }, &LOG, "true"},
        {[&] { return gf_pressControl(maxLive); }, &MAX_LIVE, "12"},  // a box is not pressed
        {[&] { return gf_confirmBox(maxLive, ""); }, &MAX_LIVE, "12"},  // no number: kept
    };
    for (const auto& c : cases) {
        const std::string answer = c.act();
        EXPECT_EQ(c.parameter->text(), c.value) << answer;
        EXPECT_EQ(savedValue(c.parameter->name()), c.value) << answer;
    }
    EXPECT_EQ(gf_takeRunRequests(), (std::vector{RunRequest::NewDestination, RunRequest::EnforceMaxLive}));
    EXPECT_NE(gf_confirmBox(4242, "1").find("no control"), std::string::npos);
    EXPECT_NE(gf_pressControl(4242).find("no control"), std::string::npos);
}

TEST_F(UiCommandTest, AfterTheUsersCloseARestartEndsTheLoop) {
    EXPECT_TRUE(gf_handleUiMessage(UiMessage::SaveAndQuit));
    userClosed = true;
    EXPECT_TRUE(gf_handleUiMessage(UiMessage::StartRun)) << "no new run once the user closed";
}

TEST_F(UiCommandTest, TypedLinesAreCommandsAndAnEndlessLineIsDropped) {
    int fds[2];
    ASSERT_TRUE(test::makePipe(fds));
    CommandInput input(fds[0]);
    // A line without end, a read at a time (the pipe holds 4096 bytes on Windows).
    const std::string part(1024, 'x');
    for (int read = 0; read < 5; ++read) {
        test::writeFd(fds[1], part.data(), 1024);
        input.take();
    }
    EXPECT_NE(mainWindow.statusLine().find("longer than 4096 bytes"), std::string::npos) << mainWindow.statusLine();
    const bool log = LOG.value();
    test::writeFd(fds[1], "press LOG\n", 10);
    input.take();
    EXPECT_EQ(LOG.value(), !log) << "the next line is read whole, nothing of the dropped one before it";
    test::closeFd(fds[1]);
    input.take();
    EXPECT_EQ(input.waitFd(), -1) << "its end";
    test::closeFd(fds[0]);
}

TEST(TerminalView, WholeWindowFirstThenOnlyNewLines) {
    gf_resetWindow();
    std::ostringstream out;
    TerminalView view(out, false, std::chrono::milliseconds(0));
    gf_setWindowValue(WindowArea::Counters, "QNH", "1013 hPa");
    view.refresh();
    const std::string first = out.str();
    EXPECT_EQ(first.rfind("==== window ====\n", 0), 0u) << first;
    EXPECT_NE(first.find("  QNH: 1013 hPa\n"), std::string::npos);
    out.str("");
    view.refresh();
    EXPECT_EQ(out.str(), "") << "nothing changed";
    gf_setWindowValue(WindowArea::Counters, "QNH", "1017 hPa");
    view.refresh();
    EXPECT_EQ(out.str(), "  QNH: 1017 hPa\n");
}

}  // namespace
}  // namespace vdl
