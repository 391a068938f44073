#include "shell/hooks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>

#include "feed/rt_link.h"
#include "feed/traffic_reader.h"
#include "foundation/log.h"
#include "shell/final_exit.h"
#include "shell/ui_messages.h"
#include "simlink/sim_link.h"
#include "support/shell_env.h"
#include "support/simulator_world.h"
#include "traffic/traffic_lists.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

class HooksTest : public test::ShellTest {};

TEST_F(HooksTest, TheLinksNoticesReachTheTrafficManager) {
    gf_installRunHooks();
    auto sim = test::makeWorld();
    test::useWorld(sim);
    sim->startFrameThread();
    gf_startSimConnectThread();
    ASSERT_TRUE(test::eventually([] { return simConnected.load(); }, 5s));
    CreateAcCmd create;
    create.initPosition = {
        test::worldAirportLat, test::worldAirportLon, test::worldAirportElevation, 0, 0, 0, 1, 0};
    create.tailNumber = "EWG9LM";
    create.title = "a title nobody installed";
    create.hexid = 3951276;
    gf_queueCreateAc(create);
    EXPECT_TRUE(test::eventually(
        [] {
            std::lock_guard lock(replyMutex);
            for (const auto& r : simReplies)
                if (r.kind == REPLY_CREATION_FAILED && r.hexid == 3951276) return true;
            return false;
        },
        5s));
    gf_stopSimConnectThread();
    sim->stopFrameThread();
}

TEST_F(HooksTest, TheFeedSendsTheRunsUserAircraft) {
    gf_installRunHooks();
    userAc.latitude = 51.2797;
    userAc.longitude = 6.7559;
    gf_sendUserAcState();
    const auto own = trafficReader.ownPosition();
    ASSERT_TRUE(own);
    EXPECT_DOUBLE_EQ(own->lat, 51.2797);
    EXPECT_DOUBLE_EQ(own->lon, 6.7559);
}

TEST_F(HooksTest, EveryEndOfARunGoesThroughTheExitThread) {
    gf_installRunHooks();
    gf_startFinalExit(ExitReason::SimWasClosed, 0);
    ASSERT_TRUE(gf_waitForExitThread(10s));
    EXPECT_EQ(uiMessages.take(), UiMessage::SaveAndQuit);
}

}  // namespace
}  // namespace vdl
