#include "shell/final_exit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <regex>
#include <stop_token>
#include <thread>
#include <vector>

#include "feed/rt_link.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "refdata/identity.h"
#include "shell/hooks.h"
#include "shell/main_loop.h"
#include "shell/ui_messages.h"
#include "window/exit.h"
#include "window/main_window.h"
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
    // What the exit posts. Its thread starts just after `exiting` is set: a wait for the thread
    // alone could come before it and find none; so first its message, then its end.
    std::vector<UiMessage> messagesAfterExit() {
        std::vector<UiMessage> all;
        const auto takeAll = [&] {
            while (auto m = uiMessages.take()) all.push_back(*m);
        };
        EXPECT_TRUE(test::eventually([&] {
            takeAll();
            return !all.empty();
        }));
        EXPECT_TRUE(gf_waitForExitThread(10s));
        takeAll();
        return all;
    }
    // A simulator stand-in with the link connected to it.
    static std::shared_ptr<SimStandIn> connectedWorld() {
        auto sim = test::makeWorld();
        test::useWorld(sim);
        sim->startFrameThread();
        gf_startSimConnectThread();
        EXPECT_TRUE(test::eventually([] { return simConnected.load(); }));
        return sim;
    }
    static AiAircraft staticAc(uint32_t objectId, std::string callsign, std::string reg) {
        AiAircraft ac(
            gf_makeAcIdentity("DLH", "A320", "", "", std::move(callsign), "", "", std::move(reg), 0, 17), 0,
            51.28, 6.76, 0.0, 0);
        ac.objectId = objectId;
        ac.state = AcState::active;
        return ac;
    }
};

TEST_F(FinalExitTest, RestartOnlyForNewSettingsSimConnectAndReaderErrorsOtherwiseQuit) {
    for (int r = 0; r <= 7; ++r) {
        const auto reason = static_cast<ExitReason>(r);
        const bool restart = reason == ExitReason::NewSettings || reason == ExitReason::SimConnectError ||
                             reason == ExitReason::ReaderError;
        exiting = false;
        gf_startFinalExit(reason, 0);
        EXPECT_EQ(messagesAfterExit(), std::vector{restart ? UiMessage::StartRun : UiMessage::SaveAndQuit})
            << gf_exitReasonName(reason);
    }
    // The restart asked for during a quit is not made.
    exiting = false;
    gf_startFinalExit(ExitReason::SimWasClosed, 0);
    gf_startFinalExit(ExitReason::NewSettings, 0);
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("FinalExit: a new run after READER ERROR"), std::string::npos) << log;
}

// Mended fault: the exit ran on a detached thread, and under a busy Wine MinGW's threads now and
// then lost one before it ran (no message, and the count of exit threads never dropped). Many
// exits in a row, each posting and ending.
TEST_F(FinalExitTest, ManyExitsInARowEachRunAndEnd) {
    for (int i = 0; i < 100; ++i) {
        exiting = false;
        gf_startFinalExit(i % 2 ? ExitReason::SimWasClosed : ExitReason::ReaderError, 0);
        ASSERT_EQ(messagesAfterExit(), std::vector{i % 2 ? UiMessage::SaveAndQuit : UiMessage::StartRun}) << i;
    }
    EXPECT_FALSE(gf_exitThreadRunning());
}

// A long session restarts many times and waits for no exit until its end: each exit joins
// the ended ones, so they never pile up.
TEST_F(FinalExitTest, ExitsOfManyRestartsAreJoinedWithoutAWait) {
    for (int i = 0; i < 50; ++i) {
        exiting = false;
        gf_startFinalExit(ExitReason::NewSettings, 0);
        ASSERT_TRUE(test::eventually([] { return !gf_exitThreadRunning(); })) << i;
        while (uiMessages.take()) {
        }
        EXPECT_LE(gf_exitThreadsHeld(), 1u) << i;
    }
    EXPECT_TRUE(gf_waitForExitThread(10s));
    EXPECT_EQ(gf_exitThreadsHeld(), 0u);
}

TEST_F(FinalExitTest, UserClosingDuringTheCountdownQuitsInstead) {
    gf_startFinalExit(ExitReason::ReaderError, 5);
    ASSERT_TRUE(test::eventually(
        [] { return mainWindow.statusLine().find("new start in") != std::string::npos; }));
    userClosed = true;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "the countdown ends when the user closes";
}

TEST_F(FinalExitTest, RestartEmptiesTheRunsLists) {
    staticAircraft.push_back(staticAc(7, "DLH4AB*", "D-AIZQ"));
    gf_startFinalExit(ExitReason::NewSettings, 0);
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::StartRun});
    EXPECT_TRUE(staticAircraft.empty());
    std::lock_guard lock(simMutex);
    EXPECT_TRUE(simRemovalIds.empty()) << "the link's state goes with a new run";
}

TEST_F(FinalExitTest, RemovalsReachTheSimulatorBeforeTheLinkStops) {
    auto sim = connectedWorld();
    const CreateAcCmd create = test::createCommand(17, "DLH4AB");
    gf_queueCreateAc(create);
    ASSERT_TRUE(test::eventually([&] { return sim->liveObjectCount() == 1; }));
    const uint32_t objectId = sim->aiObjects().front().id;
    staticAircraft.push_back(staticAc(objectId, "DLH4AB*", "D-AIZQ"));
    // A removal the traffic step had still paced, and one more create that must not be sent:
    // without frames the link sends neither until the exit has taken over.
    sim->stopFrameThread();
    // A frame already queued is still dispatched; the link handles each round under simMutex.
    ASSERT_TRUE(test::eventually(
        [&] {
            std::lock_guard lock(simMutex);
            return sim->undeliveredMessages() == 0;
        }));
    removalQueue.push_back(objectId);
    gf_queueCreateAc(create);

    gf_startFinalExit(ExitReason::SystemError, 0);
    ASSERT_TRUE(test::eventually(
        [] {
            std::lock_guard lock(simMutex);
            return simCreateQueue.empty() && !simRemovalIds.empty();
        }));
    sim->startFrameThread();
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    sim->stopFrameThread();
    const auto objects = sim->aiObjects();
    ASSERT_EQ(objects.size(), 1u) << "nothing is created on the way out";
    ASSERT_FALSE(objects[0].events.empty());
    EXPECT_EQ(staticAircraft[0].state, AcState::removed);
    EXPECT_EQ(objects[0].events.back().name, "removed") << "removed by the program, not by the link's close";
    EXPECT_FALSE(gf_simConnectThreadRunning());
}

// The last traffic step left positions and an event for the live aircraft: the exit removes the
// objects and sends them nothing after their removal (the frame handler sends removals first).
TEST_F(FinalExitTest, NothingIsSentToAnObjectAfterItsRemoval) {
    std::atomic<uint32_t> bound{0};
    gf_setSimReplyHook([&](const SimReply& r) {
        if (r.kind == REPLY_LIVE_CREATED) bound = r.objectId;
    });
    auto sim = connectedWorld();
    gf_queueCreateAc(test::createCommand(10092, "DLH7GH"));
    ASSERT_TRUE(test::eventually([&] { return sim->liveObjectCount() == 1; }));
    const uint32_t objectId = sim->aiObjects().front().id;
    // Bound by the in-range list, as the traffic step asks for it.
    ASSERT_TRUE(test::eventually([&] {
        {
            std::lock_guard lock(simMutex);
            SimConnect_RequestDataOnSimObjectType(hSimConnect, REQUEST_IN_RANGE, DEF_IN_RANGE, 10000,
                                                  SimObjectType::Aircraft);
        }
        return bound.load() == objectId;
    }));
    LiveAc& ac = liveAircraft.emplace_back(StreamPos{}, gf_makeAcIdentity("DLH", "A320", "", "", "DLH7GH", "", "", "",
                                                                          0, 10092),
                                           1.0);
    ac.state = AcState::active;
    ac.objectId = objectId;
    sim->stopFrameThread();
    ASSERT_TRUE(test::eventually([&] {
        std::lock_guard lock(simMutex);
        return sim->undeliveredMessages() == 0;
    }));
    {
        SimLock lock(simMutex);
        PositionUpdate p;
        p.latitude = 51.28;
        p.longitude = 6.76;
        p.objectId = objectId;
        positionSendBuffer.push_back(p);  // swapped in by the last step
        positionWriteBuffer.push_back(p);
        gf_pushClientEvent(lock, objectId, ENGINE_AUTO_SHUTDOWN);
    }
    gf_startFinalExit(ExitReason::UserClosedSim, 0);
    ASSERT_TRUE(test::eventually([] {
        std::lock_guard lock(simMutex);
        return !simRemovalIds.empty();
    }));
    sim->startFrameThread();
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    sim->stopFrameThread();
    const auto objects = sim->aiObjects();
    ASSERT_EQ(objects.size(), 1u);
    ASSERT_FALSE(objects[0].events.empty());
    EXPECT_EQ(objects[0].events.back().name, "removed");
    const auto strays = sim->strayCalls();
    EXPECT_TRUE(strays.empty()) << strays.size() << " stray calls, the first " << strays.front().call;
    EXPECT_EQ(test::readWholeFile("Log.txt").find("===> "), std::string::npos) << test::readWholeFile("Log.txt");
}

// A create the link sent just before the exit began, its id not yet back: the exit waits for
// the id and removes the object itself instead of leaving it to the link's close.
TEST_F(FinalExitTest, ACreateWhoseIdComesDuringTheExitIsRemovedByTheProgram) {
    auto sim = connectedWorld();
    sim->stopFrameThread();
    ASSERT_TRUE(test::eventually([&] {
        std::lock_guard lock(simMutex);
        return sim->undeliveredMessages() == 0;
    }));
    gf_queueCreateAc(test::createCommand(10090, "DLH5CD"));
    sim->step();  // the frame on which the link sends it; the answer comes with the next one
    ASSERT_TRUE(test::eventually([&] {
        const auto calls = sim->calls();
        return std::any_of(calls.begin(), calls.end(),
                           [](const CallRecord& c) { return c.call == SimCall::AICreateNonATCAircraft; });
    }));
    // Not sent before the exit has taken over: its going shows that the exit has.
    gf_queueCreateAc(test::createCommand(10091, "DLH6EF"));

    gf_startFinalExit(ExitReason::UserClosedSim, 0);
    ASSERT_TRUE(test::eventually([] {
        std::lock_guard lock(simMutex);
        return simCreateQueue.empty();
    }));
    sim->startFrameThread();
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    sim->stopFrameThread();
    const auto objects = sim->aiObjects();
    ASSERT_EQ(objects.size(), 1u) << "created, and nothing more";
    EXPECT_EQ(objects[0].tailNumber, "DLH5CD");
    ASSERT_FALSE(objects[0].events.empty());
    EXPECT_EQ(objects[0].events.back().name, "removed") << "removed by the program, not by the link's close";
    EXPECT_TRUE(sim->strayCalls().empty());
}

// Removals the exit could not send: no fault when the simulator quit (its objects went with it),
// an error when the link could not send them in time.
TEST_F(FinalExitTest, RemovalsNotSentAreAnErrorOnlyWhenTheSimulatorDidNotQuit) {
    for (const bool quits : {true, false}) {
        gf_closeLog();
        gf_resetEverything();
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
        gf_installFinalExit();
        auto sim = connectedWorld();
        gf_queueCreateAc(test::createCommand(17, "DLH4AB"));
        ASSERT_TRUE(test::eventually([&] { return sim->liveObjectCount() == 1; }));
        staticAircraft.push_back(staticAc(sim->aiObjects().front().id, "DLH4AB*", "D-AIZQ"));
        if (quits) {
            sim->quit();
        } else {
            sim->stopFrameThread();  // the removal waits for a frame that does not come
            ASSERT_TRUE(test::eventually([&] {
                std::lock_guard lock(simMutex);
                return sim->undeliveredMessages() == 0;
            }));
            gf_startFinalExit(ExitReason::SystemError, 0);
        }
        // The exit thread is counted only once it starts: its last line tells that it ended.
        ASSERT_TRUE(test::eventually(
            [] { return test::readWholeFile("Log.txt").find("FinalExit: the program ends") != std::string::npos; }));
        messagesAfterExit();
        sim->stopFrameThread();
        const std::string log = test::readWholeFile("Log.txt");
        // The object, and its create unless an in-range reply bound it meanwhile.
        if (quits) {
            EXPECT_TRUE(std::regex_search(
                log, std::regex("\nFinalExit: [12] removals? not sent \\(the simulator closed with its objects\\)\n")))
                << log;
            EXPECT_EQ(log.find("===> FinalExit"), std::string::npos) << log;
        } else {
            EXPECT_TRUE(std::regex_search(log, std::regex("\n===> FinalExit: [12] removals? not sent\n"))) << log;
        }
    }
}

TEST_F(FinalExitTest, UserErrorOutOfTheTrafficStepReachesTheReporter) {
    // The user state source throws as a step's user data is sent (at clock 0).
    gf_setUserStateSource(
        []() -> FeedUserState { throw UserErrorException(81, "too many refused liveries"); });
    clock100 = 0;
    simStopped = true;  // no in-range request without a link
    simRunning = true;
    std::jthread loop([](std::stop_token stop) { gf_mainLoop(stop); });
    ASSERT_TRUE(test::eventually([] { return exiting.load(); }));
    EXPECT_EQ(messagesAfterExit(), std::vector<UiMessage>{UiMessage::SaveAndQuit});
    loop.join();
    EXPECT_EQ(mainWindow.errorLine(), "Error 81: too many refused liveries");
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("\nmainLoop: 81: too many refused liveries\n"), std::string::npos) << log;
    EXPECT_NE(log.find("gf_startFinalExit: SYSTEM ERROR"), std::string::npos) << log;
    EXPECT_EQ(clock100.load(), 0u) << "the failed step does not advance the clock";
}

TEST_F(FinalExitTest, RunHooksBringTheLinksNoticesToTheTrafficManager) {
    gf_installRunHooks();
    auto sim = connectedWorld();
    gf_queueCreateAc(test::createCommand(3951276, "EWG9LM", "a title nobody installed"));
    EXPECT_TRUE(test::eventually(
        [] {
            std::lock_guard lock(replyMutex);
            for (const auto& r : simReplies)
                if (r.kind == REPLY_CREATION_FAILED && r.hexid == 3951276) return true;
            return false;
        }));
    gf_stopSimConnectThread();
    sim->stopFrameThread();
}

}  // namespace
}  // namespace vdl
