// The program as a whole: its start, the main job (the simulator stand-in's flight, the RealTraffic
// stand-in over real sockets, the UI thread, the run worker, the exit thread) and its refusals.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <regex>
#include <atomic>
#include <sstream>
#include <stop_token>
#include <thread>
#include <tuple>

#include "airports/park_airport_state.h"
#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/files.h"
#include "foundation/geo.h"
#include "foundation/net.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/units.h"
#include "foundation/utf8_path.h"
#include "refdata/dbase.h"
#include "liveries/livery_data.h"
#include "refdata/download.h"
#include "shell/final_exit.h"
#include "shell/main_loop.h"
#include "shell/run_worker.h"
#include "shell/start_up.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"
#include "simulator/track_file.h"
#include "standins/community_samples.h"
#include "standins/rt_standin.h"
#include "standins/rttfc_replay.h"
#include "standins/track_checks.h"
#include "support/recorded_traffic.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

// The lines of the log marked as errors ("===> "): a clean run writes none.
std::vector<std::string> lf_errorLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with("===> ")) lines.push_back(line);
    return lines;
}

class MainJobTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        makeProgramFolders();
        if (!installDbase()) GTEST_SKIP() << "no shipped dbase.xml";
        options.scenario.startAfterSeconds = 0.2;
        options.scenario.endAtSimSeconds = 8.0;
        // The flight is the program's whole time, however long the start-up's scans take on a
        // loaded machine (under Wine they have cost a static aircraft its parking).
        options.scenario.flightAfterConnect = true;
        options.run.trafficPort = 0;
        options.run.qnhPort = 0;
        options.run.linkPort = 0;
        options.run.trafficReaderDelay = 300ms;
        options.inputFd = -1;
        options.viewInterval = 200ms;
        options.instanceMutex = ownInstanceMutexName();
        // The registration file of the table build is fetched from nowhere, at once.
        gf_setServerBaseForTests("http://127.0.0.1:1/");
    }

    // A generated Community folder of the simulator, found through UserCfg.opt as on a real PC; the
    // start-up scans it. Answers what was written.
    samples::CommunityWritten installCommunity(size_t files) {
        samples::CommunityOptions community;
        community.files = files;
        community.seed = 2026;
        const auto sim = dir.path() / "sim";
        auto written = samples::gf_writeCommunity(sim / "Community", community);
        const auto cfg = dir.path() / "data" / "Microsoft Flight Simulator" / "UserCfg.opt";
        std::filesystem::create_directories(cfg.parent_path());
        test::writeWholeFile(cfg, fmt::format("InstalledPackagesPath \"{}\"\n", gf_utf8FromPath(sim)));
        return written;
    }

    // The Community folder above, its titles the simulator's installed ones ("-STUB" liveries are
    // installed but not scanned), the tracks going to output/tracks.json.
    samples::CommunityWritten installScannedCommunity(size_t files) {
        auto community = installCommunity(files);
        EXPECT_TRUE(gf_writeLines(community.titles, "titles.txt"));
        options.scenario.installedTitles = "titles.txt";
        options.scenario.tracksFile = "output/tracks.json";
        return community;
    }

    // The reference list and the shipped demonstration stand file of EDDL, as the run script
    // installs them; the user starts parked at EDDL. The first check chooses it, tick 16 loads it.
    static void installEddl() {
        const std::filesystem::path data = std::filesystem::path(VDL_SOURCE_DIR) / "data";
        std::filesystem::create_directories("airports/stock");
        std::filesystem::copy_file(data / "input/airports_msfs.xml", "input/airports_msfs.xml");
        std::filesystem::copy_file(data / "airports/stock/EDDL.xml", "airports/stock/EDDL.xml");
    }

    // As scripts/run.sh has it: the shipped input files, and no update server (nothing fetched).
    static void installAsTheRunScriptDoes() {
        gf_setServerBaseForTests("");
        const std::filesystem::path input = std::filesystem::path(VDL_SOURCE_DIR) / "data/input";
        for (const auto& file : std::filesystem::directory_iterator(input)) {
            // Looked at first: MinGW's copy_file fails on an existing file even when told to skip it.
            const std::filesystem::path to = "input" / file.path().filename();
            if (!std::filesystem::exists(to)) std::filesystem::copy_file(file.path(), to);
        }
    }

    // The RealTraffic stand-in on the ports the program opened.
    static rtstandin::Config realTrafficConfig() {
        rtstandin::Config config;
        config.linkPort = [] { return realTrafficLink.port(); };
        config.trafficPort = [] { return trafficReader.port(); };
        config.qnhPort = [] { return qnhReader.port(); };
        config.lingerSeconds = 0.5;
        config.connectTimeoutSeconds = 20.0;
        return config;
    }

    ProgramOptions options;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(MainJobTest, RunsTheScenarioReceivesTrafficAndEndsCleanly) {
    installRealTraffic();
    installAsTheRunScriptDoes();
    const auto community = installScannedCommunity(12);
    const auto stubs = std::count_if(community.titles.begin(), community.titles.end(),
                                     [](const std::string& t) { return t.ends_with("-STUB"); });
    ASSERT_GT(stubs, 0);
    // A sanitizer may keep a helper thread of its own from the first thread on.
    std::thread([] {}).join();
    const int threadsBefore = test::threadCount();
    rtstandin::RealTrafficStandIn realTraffic(realTrafficConfig());
    std::jthread realTrafficThread([&](std::stop_token stop) { realTraffic.run(stop); });

    // A command typed while it runs; then the input ends and the program runs on.
    int commands[2];
    ASSERT_TRUE(test::makePipe(commands));
    ASSERT_EQ(test::writeFd(commands[1], "set MAX_LIVE 12\n", 16), 16);
    test::closeFd(commands[1]);
    options.inputFd = commands[0];

    // Records reach the traffic queue while the main loop runs (a step may take them soon after).
    std::atomic<size_t> mostQueued{0};
    std::jthread watcher([&](std::stop_token stop) {
        for (; !stop.stop_requested(); std::this_thread::sleep_for(1ms))
            mostQueued = std::max(mostQueued.load(), gf_trafficQueueSize());
    });
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    watcher.request_stop();
    watcher.join();
    test::closeFd(commands[0]);
    realTrafficThread.join();

    const auto& rt = realTraffic.stats();
    EXPECT_EQ(rt.versionQueries.load(), 1);
    EXPECT_GE(rt.userStates.load(), 2) << "once at the start, then once a second";
    EXPECT_GE(rt.simTimes.load(), 1) << "the professional edition gets the simulator's time";
    EXPECT_EQ(rt.exits.load(), 1);
    EXPECT_GT(mostQueued.load(), 0u);
    EXPECT_EQ(qnh.load(), 1017);
    EXPECT_GT(mainLoopSteps.load(), 200u);
    EXPECT_GT(tickCount.load(), 2u);
    EXPECT_EQ(MAX_LIVE.value(), 12);

    const std::string log = test::readWholeFile("Log.txt");
    for (const char* line : {"RealTraffic version 10.0.240 level 2", "the simulator has 300 titles installed",
                             "FinalExit: the program ends (SIM WAS CLOSED)"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("exception in processLine"), std::string::npos) << "every line of the stand-in is taken";
    const std::string shown = out.str();
    EXPECT_NE(shown.find("RealTraffic: connected, version 10.0.240 level 2"), std::string::npos) << shown;
    EXPECT_NE(shown.find(fmt::format("# liveries: {}", 300 - stubs)), std::string::npos) << shown;
    EXPECT_NE(log.find("liveries scan ends"), std::string::npos) << log;
    EXPECT_EQ(lf_errorLines(log), std::vector<std::string>{}) << log;
    // The last frame: the simulator's state and how the run ended.
    const std::string lastFrame = shown.substr(shown.rfind("==== window ===="));
    for (const char* line : {"  simulator: closed\n", "the run ended: the simulator closed\nreports and log: ",
                             "the simulator's tracks: "})
        EXPECT_NE(lastFrame.find(line), std::string::npos) << line << "\n" << lastFrame;
    // Written when the simulator stops (no object yet: the feed runs 30 s behind).
    EXPECT_NO_THROW(gf_readTrackFile("output/tracks.json"));

    EXPECT_FALSE(gf_exitThreadRunning());
    EXPECT_FALSE(gf_simConnectThreadRunning());
    EXPECT_FALSE(realTrafficLink.running());
    EXPECT_FALSE(trafficReader.running());
    EXPECT_TRUE(test::eventually([&] { return test::threadCount() == threadsBefore; }))
        << test::threadCount() << " threads, " << threadsBefore << " before";
}

// The departure created on its gate: its first metres go tail first, then it turns and, nose first,
// taxis away.
void expectPushbackThenTaxi(const std::vector<RecordedTrack>& tracks, const std::string& callsign) {
    const auto t = std::find_if(tracks.begin(), tracks.end(),
                                [&](const RecordedTrack& r) { return r.tailNumber == callsign; });
    ASSERT_NE(t, tracks.end()) << callsign << " was never created";
    const std::vector<TrackPoint>& pts = t->track;
    ASSERT_FALSE(pts.empty());
    const auto at = [](const TrackPoint& p) { return LatLon{p.latitude, p.longitude}; };
    const auto offDeg = [&](const TrackPoint& from, const TrackPoint& to) {
        return radToDeg(std::fabs(gf_angleDiff(to.heading, gf_bearing(at(from), at(to)))));
    };
    const double moveNm = metresToNm(5.0);
    const TrackPoint& gate = pts.front();
    size_t i = 0;
    while (i < pts.size() && gf_distanceNm(at(gate), at(pts[i])) < moveNm) ++i;
    ASSERT_LT(i, pts.size()) << callsign << " never left its gate";
    EXPECT_GT(offDeg(gate, pts[i]), 150.0) << callsign << " does not leave its gate tail first";
    while (i < pts.size() && radToDeg(std::fabs(gf_angleDiff(pts[i].heading, gate.heading))) < 45.0) ++i;
    ASSERT_LT(i, pts.size()) << callsign << " never turned after leaving its gate";
    bool forward = false;
    for (size_t j = i, k = i; !forward && k < pts.size(); ++k) {
        if (gf_distanceNm(at(pts[j]), at(pts[k])) < moveNm) continue;
        forward = offDeg(pts[j], pts[k]) < 30.0;
        j = k;
    }
    EXPECT_TRUE(forward) << callsign << " never taxied nose first after its pushback";
}

// Long enough for the feed's first aircraft (it runs 30 s behind) to be created, flown, landed
// and taxied, and for the gate departure to push back and taxi away: every object of the run
// passes the track checks, each is bound at once and none is created twice.
TEST_F(MainJobTest, TheScenariosAircraftPassTheTrackChecks) {
    // The simulator's frames run on real time: under ThreadSanitizer the program falls behind them,
    // and the jumps would measure the sanitizer. The other builds judge the tracks.
    if (test::sanitizerSlowdown > 1) GTEST_SKIP() << "tracks are not judged under ThreadSanitizer";
    installRealTraffic();
    installScannedCommunity(12);
    installEddl();
    installAsTheRunScriptDoes();
    options.scenario.endAtSimSeconds = 115.0;
    rtstandin::RealTrafficStandIn realTraffic(realTrafficConfig());
    std::jthread realTrafficThread([&](std::stop_token stop) { realTraffic.run(stop); });
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    realTrafficThread.join();

    const auto tracks = gf_readTrackFile("output/tracks.json");
    ASSERT_FALSE(tracks.empty()) << "no aircraft was created";
    // Each object is judged by the category of its livery's model, as the scan catalogued it.
    gf_readScannedLiveries();
    std::map<std::string, AircraftCategory> categoryOfTitle;
    for (const auto& l : liveries) categoryOfTitle[l.title] = gf_modelCategory(l.type);
    tracks::CheckSettings settings;
    settings.rateSpanSeconds = 0.25;  // the frames of the simulator's own thread, not the steps
    // The program steps on real time here: a host that holds it back for a few frames makes an
    // aircraft stand and then catch up. A few metres separate that from a fault's jump (those were
    // kilometres); the stepped replays keep the one-metre allowance.
    settings.jumpAllowanceM = 5.0;
    // For the same reason a speed seen over a second may be a few percent off: at take-off speed
    // that reads as knots per second. Twice the category's rates still tell an instant start.
    settings.accelAllowance = 1.0;
    const auto verdict = tracks::gf_checkTracks(
        tracks,
        [&](const RecordedTrack& t) {
            const auto c = categoryOfTitle.find(t.title);
            return tracks::gf_limitsOfCategory(c == categoryOfTitle.end() ? AircraftCategory::Large : c->second);
        },
        settings);
    EXPECT_TRUE(verdict.passed()) << verdict.failures() << verdict.report();
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_EQ(log.find("no notice for"), std::string::npos) << log;
    {
        // A clean run with aircraft: the simulator's close takes its objects, which is no error.
        EXPECT_EQ(lf_errorLines(log), std::vector<std::string>{}) << log;
        EXPECT_NE(log.find("(the simulator closed with its objects)"), std::string::npos) << log;
    }
    // EDDL is the park airport: the aircraft standing at its gates are created on their stands, and
    // their stand use is saved when the run leaves the airport.
    for (const char* line : {"A5      : EWG7KT   parks", "A7      : BAW9QC   parks", "B5      : TKJ2WT   parks"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    const std::string learned = test::readWholeFile("airports/learned/stock/EDDL.xml");
    for (const char* reg : {"D-AEWK", "G-EUPY", "TC-JFC"}) EXPECT_NE(learned.find(reg), std::string::npos) << reg;
    expectPushbackThenTaxi(tracks, "EWG7KT");
}

// A typed quit while live aircraft fly: each object is removed once by the program, and the
// simulator gets no call for an object after its removal.
TEST_F(MainJobTest, AQuitWithLiveAircraftSendsNothingToTheRemovedObjects) {
    installRealTraffic();
    installScannedCommunity(12);
    installEddl();
    installAsTheRunScriptDoes();
    options.scenario.endAtSimSeconds = 600.0;
    rtstandin::RealTrafficStandIn realTraffic(realTrafficConfig());
    std::jthread realTrafficThread([&](std::stop_token stop) { realTraffic.run(stop); });
    int commands[2];
    ASSERT_TRUE(test::makePipe(commands));
    options.inputFd = commands[0];
    // A live object (its tail has no '*') is in the simulator's tracks: a few seconds on, quit.
    std::atomic<bool> sawLive{false};
    std::jthread typist([&] {
        const std::regex liveObject(R"(\["object",\d+,"[^"]*","[^"]*[^*"]")");
        sawLive = test::eventually(
            [&] {
                std::this_thread::sleep_for(200ms);  // the file grows by megabytes: not read every millisecond
                return std::regex_search(test::readWholeFile("output/tracks.json"), liveObject);
            },
            120s);
        std::this_thread::sleep_for(3s);
        test::writeFd(commands[1], "quit\n", 5);
    });
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    typist.join();
    test::closeFd(commands[0]);
    test::closeFd(commands[1]);
    realTrafficThread.join();
    ASSERT_TRUE(sawLive.load()) << "no live aircraft was created";

    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("FinalExit: the program ends (USER CLOSED SIM)"), std::string::npos) << log;
    EXPECT_EQ(lf_errorLines(log), std::vector<std::string>{}) << log;
    const auto contents = gf_readTrackContents("output/tracks.json", false);
    for (const StrayCall& c : contents.strays) ADD_FAILURE() << "stray " << c.call << " for object " << c.objectId;
    for (const RecordedTrack& t : contents.tracks) EXPECT_TRUE(t.removed) << t.tailNumber << " left in the simulator";
}

TEST_F(MainJobTest, QuitCommandEndsTheProgramWhileItWaitsForRealTraffic) {
    installRealTraffic();  // but none comes
    installCommunity(2);
    options.scenario.endAtSimSeconds = 600.0;
    int commands[2];
    ASSERT_TRUE(test::makePipe(commands));
    options.inputFd = commands[0];
    std::jthread typist([&] {
        test::eventually([] { return realTrafficLink.running(); });
        test::writeFd(commands[1], "quit\n", 5);
    });
    EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    typist.join();
    test::closeFd(commands[0]);
    test::closeFd(commands[1]);
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

TEST_F(MainJobTest, TheUsersAirportOnTheGroundBecomesTheParkAirport) {
    // The user starts parked at EDDL: the first check chooses it, tick 16 loads its stands and
    // plans its static aircraft.
    installEddl();
    options.scenario.endAtSimSeconds = 23.0;
    installScannedCommunity(12);
    ASSERT_EQ(gf_runProgram(options, out, err), 0) << err.str();

    const std::string log = test::readWholeFile("Log.txt");
    for (const char* line :
         {"User aircraft on the ground at EDDL\n", "The park airport is EDDL (DUS)\n",
          "Airport file read from \"airports/stock/EDDL.xml\" for Düsseldorf International (demonstration)\n",
          "my_park_airports.txt created with EDDL"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_NE(out.str().find("  park airport: EDDL (DUS)"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  airport: Düsseldorf International (demonstration)"), std::string::npos);
    EXPECT_EQ(test::readWholeFile("airports/my_park_airports.txt").substr(0, 4), "EDDL");
    // The stands fill with static aircraft for the current half hour, one every half second, and
    // they park (engines off) two seconds after their creation.
    EXPECT_NE(log.find("10 positions (30% vs wanted 30%"), std::string::npos) << log;
    size_t statics = 0;
    size_t parked = 0;
    for (const auto& t : gf_readTrackFile("output/tracks.json")) {
        if (!t.tailNumber.ends_with("*")) continue;
        ++statics;
        parked += std::any_of(t.events.begin(), t.events.end(),
                              [](const TrackEvent& e) { return e.name == "ENGINE_AUTO_SHUTDOWN"; });
    }
    // Under ThreadSanitizer the program falls behind the simulator's real-time frames.
    EXPECT_GE(statics, test::sanitizerSlowdown > 1 ? 1u : 7u) << log;
    EXPECT_GE(parked, test::sanitizerSlowdown > 1 ? 0u : 6u) << log;
    // The end of the run leaves the airport.
    EXPECT_EQ(gf_parkAirportCode(), "");
    EXPECT_FALSE(parkingActive.load());
}

// In the air near Zürich, within AIRPORT_RANGE and below AIRPORT_HEIGHT, while recorded traffic
// there is replayed to the feed: LSZH, listed in my_park_airports.txt, becomes the park airport
// and its stand file is loaded.
TEST_F(MainJobTest, InTheAirNearZurichTheListedLszhBecomesTheParkAirport) {
    VDL_RECORDED_TRAFFIC(recording, "realtraffic/lszh/SWR137H.rttfc");
    const auto lines = replay::gf_readReplayFile(recording);
    const std::filesystem::path data = std::filesystem::path(VDL_SOURCE_DIR) / "data";
    std::filesystem::create_directories("airports/stock");
    std::filesystem::copy_file(data / "input/airports_msfs.xml", "input/airports_msfs.xml");
    std::filesystem::copy_file(data / "airports/stock/LSZH.xml", "airports/stock/LSZH.xml");
    test::writeWholeFile("airports/my_park_airports.txt", "LSZH\n");
    constexpr LatLon lszh{47.458056, 8.548056};
    constexpr double lszhElevationFt = 1417.0;
    options.scenario.moreAirports = {{lszh.lat, lszh.lon, lszhElevationFt}};
    // Inbound from 12 nm east at 3,000 ft above the field, 180 kt.
    const double west = degToRad(270.0);
    const auto at = [&](double nm) { return gf_destination(lszh, degToRad(90.0), nm * feetPerNm); };
    UserKeyframe from, to;
    for (auto& [k, time, nm] : {std::tuple<UserKeyframe&, double, double>{from, 0.0, 12.0}, {to, 120.0, 6.0}}) {
        k.time = time;
        k.latitude = at(nm).lat;
        k.longitude = at(nm).lon;
        k.altitude = lszhElevationFt + 3000.0;
        k.heading = west;
        k.groundSpeed = 180.0;
        k.onGround = false;
    }
    options.scenario.userFlight = {from, to};
    options.scenario.endAtSimSeconds = 19.0;
    installCommunity(2);

    // The recording goes to the feed's port as RealTraffic would send it, stamped when sent.
    std::atomic<size_t> sent{0};
    std::atomic<size_t> mostQueued{0};
    std::jthread replayer([&](std::stop_token stop) {
        std::error_code ec;
        const Socket socket = gf_openUdp(ec);
        if (ec) return;
        while (!stop.stop_requested() && trafficReader.port() == 0) std::this_thread::sleep_for(10ms);
        const auto start = std::chrono::steady_clock::now();
        for (const auto& l : lines) {
            const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(l.seconds));
            // Sampled often: a step takes the queued records within 10 ms.
            while (!stop.stop_requested() && std::chrono::steady_clock::now() < due) {
                mostQueued = std::max(mostQueued.load(), gf_trafficQueueSize());
                std::this_thread::sleep_for(1ms);
            }
            if (stop.stop_requested()) return;
            const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
            if (gf_sendDatagram(socket, trafficReader.port(), replay::gf_stampLine(l.line, now))) ++sent;
        }
    });
    ASSERT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    replayer.request_stop();
    replayer.join();

    EXPECT_GT(sent.load(), 0u);
    EXPECT_GT(mostQueued.load(), 0u) << "the feed took the recording";
    const std::string log = test::readWholeFile("Log.txt");
    for (const char* line : {"The park airport is LSZH (ZRH)\n",
                             "Airport file read from \"airports/stock/LSZH.xml\" for Zürich (demonstration)\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("User aircraft on the ground"), std::string::npos) << log;
    EXPECT_NE(out.str().find("  park airport: LSZH (ZRH)"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("  airport: Zürich (demonstration)"), std::string::npos) << out.str();
}

std::string lf_firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST_F(MainJobTest, StartsWithLogParametersDataBaseAndRunsWithoutRealTraffic) {
    options.scenario.endAtSimSeconds = 1.0;
    installCommunity(2);
    ASSERT_EQ(gf_runProgram(options, out, err), 0) << err.str();
    EXPECT_EQ(err.str(), "");

    std::string log = test::readWholeFile("Log.txt");
    EXPECT_TRUE(std::regex_match(lf_firstLine(log),
                                 std::regex(R"(.+ \(utc\) Vandrel version 10\.10\.4 for MSFS 202[04])")))
        << lf_firstLine(log);
    EXPECT_TRUE(std::filesystem::exists(gf_parametersPath())) << "parameters.xml is rebuilt when missing";
    EXPECT_TRUE(gf_dbaseLoaded());
    EXPECT_NE(log.find("RealTraffic not installed on this PC"), std::string::npos) << log;
    EXPECT_EQ(log.find("waiting for RealTraffic"), std::string::npos);
    // No catalogue: the scan is asked for and makes it.
    EXPECT_NE(log.find("File output/LiveriesScanned.xml is gone, rescan liveries"), std::string::npos) << log;
    EXPECT_NE(log.find("liveries scan automatic starts"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::exists(scannedLiveriesPath));
    // SCAN_AIRPORTS is on by default: the add-on airport scan runs at start-up and switches it off.
    const std::string scanLog = gf_utf8FromPath(std::filesystem::path("output/info/AirportsScanLog.txt").make_preferred());
    EXPECT_NE(log.find(scanLog + " written"), std::string::npos) << log;
    EXPECT_NE(log.find("airports scan ends"), std::string::npos) << log;
    EXPECT_NE(test::readWholeFile(gf_parametersPath()).find(R"("SCAN_AIRPORTS" value="false")"), std::string::npos);

    std::string shown = out.str();
    EXPECT_EQ(lf_firstLine(shown), "==== window ====");
    EXPECT_NE(shown.find("\nVandrel 10.10.4 for MSFS 2020\n"), std::string::npos);
    EXPECT_NE(shown.find("-- options --"), std::string::npos);
    EXPECT_NE(shown.find(LATERAL_RANGE.caption() + ": [40]"), std::string::npos);
    EXPECT_EQ(shown.find("Error"), std::string::npos);
}

}  // namespace
}  // namespace vdl
