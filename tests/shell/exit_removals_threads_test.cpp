// The removals the exit could not send: no fault when the simulator quit (its objects went
// with it), an error when the link could not send them in time.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundation/log.h"
#include "refdata/identity.h"
#include "shell/final_exit.h"
#include "shell/ui_messages.h"
#include "simlink/sim_link.h"
#include "traffic/traffic_lists.h"
#include "window/exit.h"
#include "support/shell_env.h"
#include "support/simulator_world.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

class ExitRemovalsTest : public test::ShellTest {
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
    // A static aircraft of the run, its object created in the connected simulator stand-in.
    std::shared_ptr<SimStandIn> worldWithOneObject() {
        auto sim = test::makeWorld();
        test::useWorld(sim);
        sim->startFrameThread();
        gf_startSimConnectThread();
        EXPECT_TRUE(test::eventually([] { return simConnected.load(); }));
        gf_queueCreateAc(test::createCommand(17, "DLH4AB"));
        EXPECT_TRUE(test::eventually([&] { return sim->liveObjectCount() == 1; }));
        AiAircraft ac(gf_makeAcIdentity("DLH", "A320", "", "", "DLH4AB*", "", "", "D-AIZQ", 0, 17), 0, 51.28, 6.76,
                      0.0, 0);
        ac.objectId = sim->aiObjects().front().id;
        ac.state = AcState::active;
        staticAircraft.push_back(ac);
        return sim;
    }
    static std::string logAfterExit() {
        EXPECT_TRUE(test::eventually([] { return exiting.load(); }));
        EXPECT_TRUE(gf_waitForExitThread(10s));
        while (uiMessages.take()) {
        }
        return test::readWholeFile("Log.txt");
    }
};

TEST_F(ExitRemovalsTest, SimulatorThatQuitTookItsObjectsWithoutAnError) {
    auto sim = worldWithOneObject();
    sim->quit();
    const std::string log = logAfterExit();
    EXPECT_NE(log.find("FinalExit: 2 removals not sent (the simulator closed with its objects)"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("===> FinalExit"), std::string::npos) << log;
    sim->stopFrameThread();
}

TEST_F(ExitRemovalsTest, RemovalsTheLinkCouldNotSendInTimeAreAnError) {
    auto sim = worldWithOneObject();
    sim->stopFrameThread();  // the removal waits for a frame that does not come
    gf_startFinalExit(ExitReason::SystemError, 0);
    const std::string log = logAfterExit();
    // The object, and its create that no in-range reply bound.
    EXPECT_NE(log.find("===> FinalExit: 2 removals not sent\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace vdl
