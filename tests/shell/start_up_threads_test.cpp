// The program's start-up as it runs: the updater before the data base is read, the reference
// list before the add-on airport scan, and the scan's files used without an update server.
#include <gtest/gtest.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/traffic_reader.h"
#include "foundation/files.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/reset.h"
#include "shell/start_up.h"
#include "simulator/track_file.h"
#include "standins/bgl_writer.h"
#include "standins/community_samples.h"
#include "standins/rt_standin.h"
#include "support/http_server.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

namespace fs = std::filesystem;
namespace bw = bglwriter;
using namespace std::chrono_literals;

class StartUpTest : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        makeProgramFolders();
        if (!installDbase()) GTEST_SKIP() << "no shipped dbase.xml";
        const fs::path data = fs::path(VDL_SOURCE_DIR) / "data";
        fs::copy_file(data / "input/airports_msfs.xml", "input/airports_msfs.xml");
        options.scenario.startAfterSeconds = 0.2;
        options.scenario.endAtSimSeconds = 1.0;
        options.scenario.flightAfterConnect = true;  // the start-up's scans may outlast the flight
        options.run.trafficPort = 0;
        options.run.qnhPort = 0;
        options.run.linkPort = 0;
        options.run.trafficReaderDelay = 300ms;
        options.instanceMutex = ownInstanceMutexName();
        options.inputFd = -1;
        options.viewInterval = 200ms;
        gf_setServerBaseForTests("");
    }

    fs::path community() const { return dir.path() / "sim" / "Community"; }

    // The program's parameters as the user left them: the simulator, its packages folder (2024
    // through the parameter, 2020 through UserCfg.opt as on a real PC) and SCAN_AIRPORTS.
    void setUpSimulator(bool msfs2020, bool scanAirports, size_t liveryFiles = 2) {
        const fs::path sim = dir.path() / "sim";
        samples::CommunityOptions liveries;
        liveries.files = liveryFiles;
        liveries.seed = 2026;
        titles = samples::gf_writeCommunity(community(), liveries).titles;
        MSFS_2020.set(msfs2020);
        ASSERT_TRUE(gf_saveParameter(MSFS_2020));
        if (msfs2020) {
            const auto cfg = dir.path() / "data" / "Microsoft Flight Simulator" / "UserCfg.opt";
            fs::create_directories(cfg.parent_path());
            test::writeWholeFile(cfg, fmt::format("InstalledPackagesPath \"{}\"\n", gf_utf8FromPath(sim)));
        } else {
            MSFS_2024_INSTALL_PATH.set(gf_utf8FromPath(sim));
            ASSERT_TRUE(gf_saveParameter(MSFS_2024_INSTALL_PATH));
        }
        SCAN_AIRPORTS.set(scanAirports);
        ASSERT_TRUE(gf_saveParameter(SCAN_AIRPORTS));
        gf_resetParametersToDefaults();  // what the program knows comes from the file
    }

    // An add-on airport package: its manifest and one BGL file in its scenery folder.
    fs::path addonPackage(const std::string& name, const std::string& manifest, const bw::File& bgl) const {
        const fs::path pkg = community() / name;
        fs::create_directories(pkg / "scenery");
        test::writeWholeFile(pkg / "manifest.json", manifest);
        bw::gf_writeBgl(pkg / "scenery" / "airport.bgl", bgl);
        return pkg;
    }

    std::string runProgram() {
        EXPECT_EQ(gf_runProgram(options, out, err), 0) << err.str();
        return test::readWholeFile("Log.txt");
    }

    static void expectIn(const std::string& text, const std::vector<std::string>& lines) {
        for (const auto& line : lines) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }

    static std::string zipOf(const std::vector<std::pair<std::string, std::string>>& files) {
        test::makeZip("serve.zip", files);
        std::string bytes = test::readWholeFile("serve.zip");
        fs::remove("serve.zip");
        return bytes;
    }

    ProgramOptions options;
    std::vector<std::string> titles;  // of the liveries in the Community folder
    std::ostringstream out;
    std::ostringstream err;
};

// With an update server: a newer program is reported, the data base refreshed before it is read,
// and my_simaddon refilled; the refill took the scan's files, so the scan runs again and puts
// them back beside the new list.
TEST_F(StartUpTest, TheUpdaterRefreshesTheDataBaseRefillsMySimaddonAndReportsANewerProgram) {
    test::LocalHttpServer server;
    setUpSimulator(false, false);
    addonPackage("microsoft-airport-zzzq", "{}", bw::gf_airportFile({bw::gf_sampleAirport("ZZZQ", 3)}));
    fs::create_directories("airports/my_simaddon");
    test::writeWholeFile("airports/my_simaddon/ZZZQ.xml", "the scan's file");
    test::writeWholeFile("airports/my_simaddon/OLD1.txt", "archive/simaddon/OLD1.xml\n");
    test::writeWholeFile("airports/my_simaddon/version.json", R"({"major":1,"minor":0,"patch":0})");

    server.set("release/version.json", R"({"major": 99, "minor": 1, "patch": 0})");
    std::string dbase = test::readWholeFile("input/dbase.xml");
    const auto version = dbase.find(R"("version" value=")");
    ASSERT_NE(version, std::string::npos);
    dbase.replace(version, 17, R"("version" value="999.)");
    const auto types = dbase.find("<t ");
    ASSERT_NE(types, std::string::npos);
    dbase.insert(types, R"(<t icao="QQ99" cat="2"/>)");
    server.set("dbase.zip", zipOf({{"dbase.xml", dbase}}));
    server.set("vizozaradu24/version.json", R"({"major":1,"minor":1,"patch":0})");
    server.set("vizozaradu24/my_simaddon2024.zip", zipOf({{"EGLL.txt", "archive/simaddon/EGLL.xml\n"}}));
    gf_setServerBaseForTests(server.base());

    const std::string log = runProgram();

    EXPECT_NE(log.find("Vandrel 99.1.0 is available (running 10.10.4)"), std::string::npos) << log;
    EXPECT_NE(log.find("dbase.xml updated from"), std::string::npos) << log;
    EXPECT_EQ(test::readWholeFile("input/dbase.xml"), dbase);
    EXPECT_TRUE(gf_isValidModel("QQ99")) << "the data base read is the new one";
    expectIn(log, {"my_simaddon updated to 1.1.0: 1 file",
                   "my_simaddon was refilled: the add-on airports are scanned again", "airports scan ends"});
    // The refill is the server's list; the scan's file of the add-on airport is back beside it.
    EXPECT_FALSE(fs::exists("airports/my_simaddon/OLD1.txt"));
    EXPECT_EQ(test::readWholeFile("airports/my_simaddon/EGLL.txt"), "archive/simaddon/EGLL.xml\n");
    pugi::xml_document generated;
    ASSERT_TRUE(generated.load_file("airports/my_simaddon/ZZZQ.xml"));
    EXPECT_TRUE(generated.child("parkpositions").child("parkpos"));
    EXPECT_EQ(savedValue("SCAN_AIRPORTS"), "false");
    // The updater came before the data base was read, the scan after the refill.
    EXPECT_LT(log.find("dbase.xml updated from"), log.find("lf_startUpVDRL: a new run"));
}

// With no update server the start-up asks nothing of anyone and says so once.
TEST_F(StartUpTest, WithoutAServerTheStartUpUpdatesNothing) {
    gf_resetRefdata();  // no test server: UPDATE_SERVER, empty by default, decides
    setUpSimulator(true, false);
    fs::create_directories("airports/my_simaddon");
    test::writeWholeFile("airports/my_simaddon/OLD1.txt", "archive/simaddon/OLD1.xml\n");
    const std::string dbase = test::readWholeFile("input/dbase.xml");
    const std::string log = runProgram();
    EXPECT_EQ(test::readWholeFile("input/dbase.xml"), dbase);
    EXPECT_TRUE(fs::exists("airports/my_simaddon/OLD1.txt"));
    EXPECT_NE(log.find("no update server set (UPDATE_SERVER): nothing is updated or downloaded"), std::string::npos);
    for (const char* line : {"is available", "dbase.xml updated", "my_simaddon updated", "is up to date", "refilled",
                             "airports scan"})
        EXPECT_EQ(log.find(line), std::string::npos) << line << "\n" << log;
}

// The scan of the first start recognises an MSFS 2024 airport record by the code its package's
// title starts with: the reference list is there before the scan.
TEST_F(StartUpTest, TheFirstScanRecognisesAirportsByTheReferenceList) {
    gf_resetRefdata();  // the list is read once per process: this start reads it
    setUpSimulator(false, true);
    bw::File notRecognised;
    notRecognised.sections.push_back(bw::gf_airportSection({bw::OtherRecord{0x0113, 16, std::nullopt}}));
    addonPackage("someone-munich", R"({"title":"EDDM Munich","creator":"Someone"})", notRecognised);
    const std::string log = runProgram();
    const std::string entry = test::readWholeFile("TBLO/EDDM.xml");
    EXPECT_NE(entry.find("EDDM by unknown, title: EDDM Munich crea: Someone"), std::string::npos) << entry << log;
    const std::string scanLog = test::readWholeFile("output/info/AirportsScanLog.txt");
    EXPECT_NE(scanLog.find("Not recognised airport has ICAO \"EDDM\" in title \"EDDM Munich\" of manifest"),
              std::string::npos)
        << scanLog;
    EXPECT_EQ(scanLog.find("Not recognised airport lost"), std::string::npos) << scanLog;
}

// JustSim's EDDL as an add-on package: the stands of the shipped demonstration file, read back
// from a BGL file by the scan.
bw::File lf_eddlBgl() {
    pugi::xml_document stock;
    EXPECT_TRUE(stock.load_file((fs::path(VDL_SOURCE_DIR) / "data/airports/stock/EDDL.xml").c_str()));
    bw::Airport airport;
    airport.icao = "EDDL";
    airport.lat = 51.2895;
    airport.lon = 6.7668;
    airport.elevation = 45000;
    bw::ParkingList list;
    for (const auto& stand : stock.child("parkpositions").children("parkpos")) {
        const std::string id = stand.attribute("id").value();
        bw::Parking p;
        p.nameCode = static_cast<uint8_t>(id.front() - 53);  // 'A' is 12
        p.number = static_cast<uint16_t>(std::stoi(id.substr(1)));
        p.type = 8;
        p.radius = stand.attribute("radius").as_float();
        p.heading = stand.attribute("heading").as_float();
        p.lat = stand.attribute("latitude").as_double();
        p.lon = stand.attribute("longitude").as_double();
        list.parkings.push_back(p);
    }
    airport.subrecords.emplace_back(std::move(list));
    return bw::gf_airportFile({airport});
}

// No update server, and an add-on airport in the Community folder that the data base lists as
// archived: the scan links it and writes its generated file; the user on the ground there gets
// it as the park airport, live aircraft park on its stands and static ones are placed from what
// was learned there before.
TEST_F(StartUpTest, WithoutAServerAnArchivedAddonAirportParksLiveAndStaticAircraft) {
    if (test::sanitizerSlowdown > 1) GTEST_SKIP() << "the program falls behind the simulator's real-time frames";
    installRealTraffic();
    setUpSimulator(true, true, 12);
    ASSERT_TRUE(gf_writeLines(titles, "titles.txt"));
    options.scenario.installedTitles = "titles.txt";
    options.scenario.tracksFile = "output/tracks.json";
    options.scenario.endAtSimSeconds = 115.0;
    const fs::path input = fs::path(VDL_SOURCE_DIR) / "data/input";
    for (const auto& file : fs::directory_iterator(input))
        if (!fs::exists("input" / file.path().filename())) fs::copy_file(file.path(), "input" / file.path().filename());
    ASSERT_NE(test::readWholeFile("input/dbase.xml").find("pub=\"JustSim\" arpts=\"EDDL108"), std::string::npos);
    addonPackage("justsim-airport-eddl-duesseldorf", R"({"title":"EDDL Duesseldorf","creator":"JustSim"})",
                 lf_eddlBgl());
    // What earlier runs learned at EDDL: the demonstration file's options, in the add-on's learned file.
    fs::create_directories("airports/learned/thirdparty/JustSim");
    fs::copy_file(fs::path(VDL_SOURCE_DIR) / "data/airports/stock/EDDL.xml",
                  "airports/learned/thirdparty/JustSim/EDDL.xml");

    rtstandin::Config config;
    config.linkPort = [] { return realTrafficLink.port(); };
    config.trafficPort = [] { return trafficReader.port(); };
    config.qnhPort = [] { return qnhReader.port(); };
    config.lingerSeconds = 0.5;
    config.connectTimeoutSeconds = 20.0;
    rtstandin::RealTrafficStandIn realTraffic(config);
    std::jthread realTrafficThread([&](std::stop_token stop) { realTraffic.run(stop); });
    const std::string log = runProgram();
    realTrafficThread.join();

    EXPECT_EQ(test::readWholeFile("airports/my_thirdparty/EDDL.txt"), "archive/thirdparty/JustSim/EDDL.xml\n");
    expectIn(log, {"The park airport is EDDL (DUS)\n", "Airport file read from \"airports/my_thirdparty/EDDL.xml\"",
                   "A5      : EWG7KT   parks", "A7      : BAW9QC   parks", "B5      : TKJ2WT   parks"});
    EXPECT_EQ(log.find("failed to download"), std::string::npos) << log;
    size_t statics = 0;
    for (const auto& t : gf_readTrackFile("output/tracks.json")) statics += t.tailNumber.ends_with("*");
    EXPECT_GE(statics, 5u) << log;
    // What was learned goes back into the add-on's learned file when the run leaves the airport.
    const std::string learned = test::readWholeFile("airports/learned/thirdparty/JustSim/EDDL.xml");
    for (const char* reg : {"D-AEWK", "G-EUPY", "TC-JFC"}) EXPECT_NE(learned.find(reg), std::string::npos) << reg;
}

}  // namespace
}  // namespace vdl
