// The program's main job, short: the simulator stand-in's flight, the RealTraffic stand-in over
// real sockets, the UI thread, the run worker, the exit thread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <stop_token>
#include <thread>

#include "../../tools/livery_samples.h"
#include "../../tools/rt_standin.h"
#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/files.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "refdata/download.h"
#include "shell/final_exit.h"
#include "shell/main_loop.h"
#include "shell/run_worker.h"
#include "shell/single_instance.h"
#include "shell/start_up.h"
#include "shell/window/main_window.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_link.h"
#include "simulator/track_file.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

class MainJobTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        makeProgramFolders();
        if (!installDbase()) GTEST_SKIP() << "no shipped dbase.xml";
        options.scenario.startAfterSeconds = 0.2;
        options.scenario.endAtSimSeconds = 8.0;
        options.run.trafficPort = 0;
        options.run.qnhPort = 0;
        options.run.linkPort = 0;
        options.run.trafficReaderDelay = 300ms;
        options.inputFd = -1;
        options.viewInterval = 200ms;
        // The registration file of the table build is fetched from nowhere, at once.
        gf_setServerBaseForTests("http://127.0.0.1:1/");
    }

    // A catalogue of real airlines and types through the program's own writer, and its titles
    // as the simulator's installed ones.
    void writeCatalogue(size_t count) {
        samples::SampleMaker maker(2026);
        samples::SampleOptions sample;
        sample.count = count;
        liveries = maker.liveries(sample);
        std::vector<std::string> titles;
        for (const auto& l : liveries) titles.push_back(l.title);
        ASSERT_TRUE(gf_writeLines(titles, "titles.txt"));
        gf_saveScannedLiveries();
        liveries.clear();
        options.scenario.installedTitles = "titles.txt";
    }

    rtstandin::Config standInConfig() {
        rtstandin::Config c;
        c.linkPort = [] { return realTrafficLink.port(); };
        c.trafficPort = [] { return trafficReader.port(); };
        c.qnhPort = [] { return qnhReader.port(); };
        c.lingerSeconds = 0.5;
        c.connectTimeoutSeconds = 20.0;
        return c;
    }

    ProgramOptions options;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(MainJobTest, RunsTheScenarioReceivesTrafficAndEndsCleanly) {
    installRealTraffic();
    writeCatalogue(300);
    options.scenario.tracksFile = "output/tracks.json";
    // A sanitizer may keep a helper thread of its own from the first thread on.
    std::thread([] {}).join();
    const int threadsBefore = test::threadCount();
    rtstandin::RealTrafficStandIn realTraffic(standInConfig());
    std::jthread realTrafficThread([&](std::stop_token stop) { realTraffic.run(stop); });

    // Commands typed while it runs; then the input ends and the program runs on.
    int commands[2];
    ASSERT_EQ(::pipe(commands), 0);
    const std::string typed = "set MAX_LIVE 12\nhelp\n";
    ASSERT_EQ(::write(commands[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    ::close(commands[1]);
    options.inputFd = commands[0];

    // Records reach the traffic queue while the main loop runs (a traffic step may take them soon after).
    std::atomic<size_t> mostQueued{0};
    std::jthread watcher([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            mostQueued = std::max(mostQueued.load(), gf_trafficQueueSize());
            std::this_thread::sleep_for(1ms);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    watcher.request_stop();
    watcher.join();
    ::close(commands[0]);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    realTrafficThread.join();

    const auto& rt = realTraffic.stats();
    EXPECT_GE(rt.connections.load(), 1);  // it may try again as the link closes
    EXPECT_EQ(rt.versionQueries.load(), 1);
    EXPECT_GE(rt.userStates.load(), 2) << "once at the start, then once a second";
    EXPECT_GE(rt.simTimes.load(), 1) << "the professional edition gets the simulator's time";
    EXPECT_EQ(rt.exits.load(), 1);
    EXPECT_GT(rt.trafficLines.load(), 0);

    EXPECT_GT(mostQueued.load(), 0u);
    EXPECT_GT(liveDataUtc.load(), 0) << "the records' time stamps were read";
    EXPECT_EQ(qnh.load(), 1017);
    EXPECT_GT(mainLoopSteps.load(), 200u);
    EXPECT_GT(tickCount.load(), 2u);
    EXPECT_EQ(MAX_LIVE.value(), 12);

    const std::string log = test::readWholeFile("Log.txt");
    for (const char* line : {"RealTraffic version 10.0.240 level 2", "lf_runSession: the main loop starts",
                             "gf_startFinalExit: SIM WAS CLOSED",
                             "FinalExit: the program ends (SIM WAS CLOSED)", "the program ends"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("exception in processLine"), std::string::npos)
        << "every line of the stand-in is taken";
    const std::string shown = out.str();
    EXPECT_NE(shown.find("RealTraffic: connected, version 10.0.240 level 2"), std::string::npos) << shown;
    EXPECT_NE(shown.find("QNH: 1017 hPa"), std::string::npos);
    EXPECT_NE(shown.find("Max live aircraft (-1 no limit): [12]"), std::string::npos);
    // The catalogue's tables are built in the start-up, and the simulator knows its titles.
    EXPECT_NE(shown.find("# liveries: 300"), std::string::npos) << shown;
    EXPECT_TRUE(liveriesProcessed);
    EXPECT_GT(gf_catalogueTitleCount(), 0u);
    EXPECT_NE(log.find("the simulator has 300 titles installed"), std::string::npos) << log;
    EXPECT_EQ(log.find("is gone, rescan liveries"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(gf_flightPlanFolder())) << "made in the start-up";
    // The simulator's tracks are written when it stops (no object yet: the feed runs 30 s behind).
    EXPECT_NO_THROW(gf_readTrackFile("output/tracks.json"));

    EXPECT_FALSE(gf_exitThreadRunning());
    EXPECT_FALSE(gf_simConnectThreadRunning());
    EXPECT_FALSE(realTrafficLink.running());
    EXPECT_FALSE(trafficReader.running());
    EXPECT_TRUE(test::eventually([&] { return test::threadCount() == threadsBefore; }, 5s))
        << test::threadCount() << " threads, " << threadsBefore << " before";
}

TEST_F(MainJobTest, WithoutRealTrafficTheRunGoesOnWithoutTheLink) {
    options.scenario.endAtSimSeconds = 3.0;
    SCAN_LIVERIES.set(false);
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("RealTraffic not installed on this PC"), std::string::npos) << log;
    EXPECT_NE(log.find("FinalExit: the program ends (SIM WAS CLOSED)"), std::string::npos) << log;
    EXPECT_EQ(log.find("waiting for RealTraffic"), std::string::npos);
    // No catalogue: the run goes on without liveries and the scan is asked for.
    EXPECT_NE(log.find("File output/LiveriesScanned.xml is gone, rescan liveries"), std::string::npos) << log;
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_FALSE(liveriesProcessed);
}

TEST_F(MainJobTest, UnreadableCatalogueEndsTheRunWithItsError) {
    test::writeWholeFile("output/LiveriesScanned.xml", "<liveries><liv title=");
    EXPECT_EQ(gf_runProgram(options, out, err), 1);
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("lf_startUpVDRL: "), std::string::npos) << log;
    EXPECT_NE(log.find("FinalExit: the program ends (SYSTEM ERROR)"), std::string::npos) << log;
    EXPECT_FALSE(mainWindow.errorLine().empty());
    EXPECT_FALSE(liveriesProcessed);
}

TEST_F(MainJobTest, NewSettingsRestartTheRunWhichRunsOnToTheEnd) {
    options.scenario.endAtSimSeconds = 6.0;
    const bool was2020 = MSFS_2020.value();
    int commands[2];
    ASSERT_EQ(::pipe(commands), 0);
    options.inputFd = commands[0];
    std::jthread typist([&] {
        // The simulator switch asks for a new run with the new settings.
        if (test::eventually([] { return gf_mainLoopRunning(); }, 20s))
            ::write(commands[1], "press MSFS_2020\n", 16);
        ::close(commands[1]);
    });
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    typist.join();
    ::close(commands[0]);
    EXPECT_NE(MSFS_2020.value(), was2020);
    const std::string log = test::readWholeFile("Log.txt");
    const auto restart = log.find("FinalExit: a new run after NEW SETTINGS");
    ASSERT_NE(restart, std::string::npos) << log;
    EXPECT_NE(log.find("lf_runSession: the main loop starts", restart), std::string::npos) << log;
    EXPECT_NE(log.find("FinalExit: the program ends (SIM WAS CLOSED)", restart), std::string::npos) << log;
}

TEST_F(MainJobTest, QuitCommandEndsTheProgramWhileItWaitsForRealTraffic) {
    installRealTraffic();  // but none comes
    options.scenario.endAtSimSeconds = 600.0;
    int commands[2];
    ASSERT_EQ(::pipe(commands), 0);
    options.inputFd = commands[0];
    std::jthread typist([&] {
        test::eventually([] { return realTrafficLink.running(); }, 20s);
        ::write(commands[1], "quit\n", 5);
    });
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    typist.join();
    ::close(commands[0]);
    ::close(commands[1]);
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("FinalExit: the program ends (USER CLOSED SIM)"), std::string::npos) << log;
}

TEST_F(MainJobTest, WorkingFolderOfAnotherProgramEndsTheRunWithAnError) {
    std::filesystem::remove_all("TBLO");
    EXPECT_EQ(gf_runProgram(options, out, err), 1);
    EXPECT_NE(mainWindow.errorLine().find("\"TBLO\" is missing"), std::string::npos)
        << mainWindow.errorLine();
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("lf_startUpVDRL: "), std::string::npos) << log;
    EXPECT_NE(log.find("FinalExit: the program ends (SYSTEM ERROR)"), std::string::npos) << log;
}

TEST_F(MainJobTest, SecondInstanceIsRefused) {
    NamedMutex first(instanceMutexName);
    ASSERT_TRUE(first.owned());
    EXPECT_EQ(gf_runProgram(options, out, err), 1);
    EXPECT_EQ(err.str(), "Vandrel is already running\n");
    EXPECT_FALSE(std::filesystem::exists("Log.txt"));
}

}  // namespace
}  // namespace vdl
