// Two runs in one process, the second after the restart's resets: every global a run changes
// is back at a fresh process's value and the second run flies what the first flew; after
// gf_resetEverything every global is back. A global that no reset covers shows up here.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "feed/qnh.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_record.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/random.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "refdata/dbase.h"
#include "shell/final_exit.h"
#include "shell/hooks.h"
#include "shell/reset.h"
#include "shell/ui_messages.h"
#include "simlink/sim_link.h"
#include "simulator/track_file.h"
#include "support/globals_snapshot.h"
#include "support/shell_env.h"
#include "support/traffic_env.h"
#include "support/simulator_world.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_step.h"
#include "window/exit.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

// The globals before any test ran; ctest runs each test in a process of its own.
test::Globals freshProcess;

class FreshProcessGlobals : public ::testing::Environment {
  public:
    void SetUp() override { freshProcess = test::allGlobals(); }
};
[[maybe_unused]] const auto* const freshEnvironment =
    ::testing::AddGlobalTestEnvironment(new FreshProcessGlobals);

class TwoRunsTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
        // What the program's start-up does once: data base, livery tables, hooks, the simulator.
        std::filesystem::create_directories("input");
        std::filesystem::create_directories("output");
        test::writeWholeFile("input/dbase.xml", std::string(test::dbaseXml));
        gf_loadDbase("input/dbase.xml");
        gf_setServerBaseForTests("http://127.0.0.1:1/");
        liveries = {{"KLM", "B738", test::worldTitleJet, "", 1, false}};
        gf_saveScannedLiveries();
        gf_processScannedLiveries();
        gf_installRunHooks();
        gf_setSimBackendProvider([this] { return std::static_pointer_cast<SimBackend>(world_); });
    }

    // One run, stepped: the link opens, two aircraft come in by the feed, the traffic step and
    // the simulator take turns; then the link closes as its thread does when it stops. Answers
    // the simulator's tracks.
    std::string runOnce() {
        world_ = test::makeWorld();
        world_->setFrameRate(100.0);  // one frame per traffic step
        gf_initTrafficLists();
        gf_reserveLiveryTables();
        EXPECT_TRUE(gf_simLinkOpen());
        clock100 = 100000;
        gf_seedRandomForTests(7);
        for (int i = 0; i < 120; ++i) frame();  // the run worker waits for the flight and the user
        userAc = gf_getUserAcData();
        gf_setMainLoopRunning(true);
        for (uint32_t step = 0; step < 4500; ++step) {
            if (step % 400 == 0) {
                queue(300001, "KLM1234", "B738", step);
                queue(300002, "DLH4AB", "A320", step);
            }
            gf_updateAI();
            frame();
        }
        // As the QNH reader, a failing reader and the parking controls leave them.
        gf_processQnhDatagram(R"({"QNH": 1021})");
        readerError = true;
        parkingBusy = true;
        gf_simLinkClose();
        EXPECT_TRUE(gf_writeTrackFile(world_->aiObjects(), "output/tracks.json"));
        return test::readWholeFile("output/tracks.json");
    }

    void frame() {
        world_->step();
        gf_simLinkPoll();
    }

    // A record as the feed makes it, 5 nm north of the airport and flying north.
    static void queue(uint32_t hexid, const std::string& callsign, const std::string& type, uint32_t step) {
        test::queue(test::record(hexid, callsign, 1'800'000'000.0 + step / 100.0,
                                 test::worldAirportLat + (5.0 + step / 1000.0) / 60.0, test::worldAirportLon, 3000.0,
                                 200.0, 0.0, type));
    }

    std::shared_ptr<SimStandIn> world_;
};

TEST_F(TwoRunsTest, SecondRunStartsFromAFreshProcessAndFliesTheSame) {
    test::Globals freshRun;
    for (const auto& [name, value] : test::runGlobals()) freshRun[name] = freshProcess.at(name);

    const std::string first = runOnce();
    ASSERT_NE(first.find("KLM1234"), std::string::npos) << "the first run created the aircraft";
    EXPECT_NE(test::globalsDiff(test::runGlobals(), freshRun), "") << "the run changed no global";

    // The restart, through the exit procedure.
    gf_startFinalExit(ExitReason::NewSettings, 0);
    ASSERT_TRUE(gf_waitForExitThread(10s));
    EXPECT_EQ(uiMessages.take(), UiMessage::StartRun);
    EXPECT_EQ(test::globalsDiff(test::runGlobals(), freshRun), "");
    exiting = false;  // as the new run's start does

    const std::string second = runOnce();
    const auto differsAt = static_cast<size_t>(
        std::mismatch(first.begin(), first.end(), second.begin(), second.end()).first - first.begin());
    EXPECT_TRUE(second == first) << "the tracks differ from character " << differsAt << ":\n"
                                 << first.substr(differsAt, 300) << "\n"
                                 << second.substr(differsAt, 300);

    gf_resetEverything();
    EXPECT_EQ(test::globalsDiff(test::allGlobals(), freshProcess), "");
}

}  // namespace
}  // namespace vdl
