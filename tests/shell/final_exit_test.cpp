#include "shell/final_exit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>
#include <vector>

#include "feed/rt_link.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "refdata/identity.h"
#include "shell/main_loop.h"
#include "shell/ui_messages.h"
#include "shell/window/exit.h"
#include "shell/window/main_window.h"
#include "simlink/sim_link.h"
#include "support/shell_env.h"
#include "support/simulator_world.h"
#include "traffic/traffic_lists.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

class FinalExitTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
        gf_installFinalExit();
    }
    void TearDown() override {
        gf_closeLog();
        ShellTest::TearDown();
    }
    // The messages the exit thread posted, once it has ended.
    std::vector<UiMessage> messagesAfterExit() {
        EXPECT_TRUE(gf_waitForExitThread(10s));
        std::vector<UiMessage> all;
        while (auto m = uiMessages.take()) all.push_back(*m);
        return all;
    }
    static AiAircraft staticAc(uint32_t objectId, std::string callsign, std::string reg) {
        AiAircraft ac(
            gf_makeAcIdentity("DLH", "A320", "", "", std::move(callsign), "", "", std::move(reg), 0, 17), 0,
            51.28, 6.76, 0.0, 0);
        ac.objectId = objectId;
        ac.state = acStateActive;
        return ac;
    }
};

TEST(ExitReasons, RestartOnlyForNewSettingsSimConnectAndReaderErrors) {
    const struct {
        ExitReason reason;
        bool restart;
    } cases[] = {
        {ExitReason::NotYetSet, false},     {ExitReason::SimWasClosed, false},
        {ExitReason::NewFlight, false},     {ExitReason::NewSettings, true},
        {ExitReason::UserClosedSim, false}, {ExitReason::SimConnectError, true},
        {ExitReason::ReaderError, true},    {ExitReason::SystemError, false},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_restartsRun(c.reason), c.restart) << gf_exitReasonName(c.reason);
}

TEST_F(FinalExitTest, EachReasonRestartsOrQuits) {
    for (int r = 0; r <= 7; ++r) {
        const auto reason = static_cast<ExitReason>(r);
        exiting = false;
        gf_startFinalExit(reason, 0);
        const auto messages = messagesAfterExit();
        ASSERT_EQ(messages.size(), 1u) << gf_exitReasonName(reason);
        EXPECT_EQ(messages[0], gf_restartsRun(reason) ? UiMessage::StartRun : UiMessage::SaveAndQuit)
            << gf_exitReasonName(reason);
    }
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("FinalExit: a new run after READER ERROR"), std::string::npos) << log;
    EXPECT_NE(log.find("FinalExit: the program ends (SIM WAS CLOSED)"), std::string::npos) << log;
}

TEST_F(FinalExitTest, StartIsIgnoredWhileAnExitIsUnderWay) {
    std::atomic<int> calls{0};
    gf_setFinalExitHook([&](ExitReason, int) { ++calls; });
    std::vector<std::thread> callers;
    for (int i = 0; i < 8; ++i)
        callers.emplace_back([i] { gf_startFinalExit(static_cast<ExitReason>(i % 8), 0); });
    for (auto& t : callers) t.join();
    EXPECT_EQ(calls.load(), 1) << "of racing callers exactly one gets through";
    gf_startFinalExit(ExitReason::NewSettings, 0);
    EXPECT_EQ(calls.load(), 1);

    // With the real exit procedure: the restart asked for during a quit is not made.
    gf_installFinalExit();
    exiting = false;
    gf_startFinalExit(ExitReason::SimWasClosed, 0);
    gf_startFinalExit(ExitReason::NewSettings, 0);
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
}

TEST_F(FinalExitTest, UserClosingDuringTheCountdownQuitsInstead) {
    gf_startFinalExit(ExitReason::ReaderError, 5);
    ASSERT_TRUE(test::eventually(
        [] { return mainWindow.statusLine().find("new start in") != std::string::npos; }, 5s));
    userClosed = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "the countdown ends when the user closes";
}

TEST_F(FinalExitTest, RestartEmptiesTheRunsListsAndQuitRemovesTheAircraft) {
    staticAircraft.push_back(staticAc(7, "DLH4AB*", "D-AIZQ"));
    gf_startFinalExit(ExitReason::NewSettings, 0);
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::StartRun});
    EXPECT_TRUE(staticAircraft.empty());
    {
        std::lock_guard lock(simMutex);
        EXPECT_TRUE(simRemovalIds.empty()) << "the link's state goes with a new run";
    }

    exiting = false;
    staticAircraft.push_back(staticAc(9, "DLH4AB*", "D-AIZQ"));
    gf_startFinalExit(ExitReason::SimWasClosed, 0);
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    ASSERT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(staticAircraft[0].state, acStateRemoved);
    std::lock_guard lock(simMutex);
    EXPECT_EQ(simRemovalIds, std::vector<uint32_t>{9}) << "handed to the link, which is not connected here";
}

TEST_F(FinalExitTest, RemovalsReachTheSimulatorBeforeTheLinkStops) {
    auto sim = test::makeWorld();
    test::useWorld(sim);
    sim->startFrameThread();
    gf_startSimConnectThread();
    ASSERT_TRUE(test::eventually([] { return simConnected.load(); }, 5s));
    CreateAcCmd create;
    create.initPosition = {
        test::worldAirportLat, test::worldAirportLon, test::worldAirportElevation, 0, 0, 0, 1, 0};
    create.tailNumber = "DLH4AB";
    create.title = test::worldTitleJet;
    create.hexid = 17;
    gf_queueCreateAc(create);
    ASSERT_TRUE(test::eventually([&] { return sim->liveObjectCount() == 1; }, 5s));
    const uint32_t objectId = sim->aiObjects().front().id;
    staticAircraft.push_back(staticAc(objectId, "DLH4AB*", "D-AIZQ"));
    // A removal the traffic step had still paced, and one more create that must not be sent:
    // without frames the link sends neither until the exit has taken over.
    sim->stopFrameThread();
    removalQueue.push_back(objectId);
    gf_queueCreateAc(create);

    gf_startFinalExit(ExitReason::SystemError, 0);
    ASSERT_TRUE(test::eventually(
        [] {
            std::lock_guard lock(simMutex);
            return simCreateQueue.empty() && !simRemovalIds.empty();
        },
        5s));
    sim->startFrameThread();
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    sim->stopFrameThread();
    const auto objects = sim->aiObjects();
    ASSERT_EQ(objects.size(), 1u) << "nothing is created on the way out";
    ASSERT_FALSE(objects[0].events.empty());
    EXPECT_EQ(objects[0].events.back().name, "removed") << "removed by the program, not by the link's close";
    EXPECT_FALSE(gf_simConnectThreadRunning());
}

TEST_F(FinalExitTest, ReporterLogsShowsTheErrorAndEndsTheRun) {
    gf_reportException("lf_test", std::runtime_error("boom"));
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    EXPECT_EQ(mainWindow.errorLine(), "Error boom");
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("\nlf_test: boom\n"), std::string::npos) << log;
    EXPECT_NE(log.find("gf_startFinalExit: SYSTEM ERROR"), std::string::npos) << log;
}

TEST_F(FinalExitTest, UserErrorOutOfTheTrafficStepReachesTheReporter) {
    // The user state source throws as a step's user data is sent (at clock 0).
    gf_setUserStateSource(
        []() -> FeedUserState { throw UserErrorException(81, "too many refused liveries"); });
    clock100 = 0;
    simStopped = true;  // no in-range request without a link
    simRunning = true;
    std::jthread loop([](std::stop_token stop) { gf_mainLoop(stop); });
    ASSERT_TRUE(test::eventually([] { return exiting.load(); }, 5s));
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    loop.join();
    EXPECT_EQ(mainWindow.errorLine(), "Error 81: too many refused liveries");
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("mainLoop: 81: too many refused liveries"), std::string::npos) << log;
    EXPECT_EQ(clock100.load(), 0u) << "the failed step does not advance the clock";
}

}  // namespace
}  // namespace vdl
