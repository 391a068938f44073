// The whole add-on airport scan with its workers: the folders walked per simulator, the folders
// emptied first, the scan log, TBLO refilled from the offline-learning candidates of a local
// update server, SCAN_AIRPORTS saved off, an exit in the middle and a scan ended by an error.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "airport_scan_fixture.h"
#include "airports/airport_scan.h"
#include "foundation/files.h"
#include "foundation/paths.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "refdata/download.h"
#include "support/http_server.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class AirportScan : public AirportScanTest {
  protected:
    void SetUp() override {
        AirportScanTest::SetUp();
        gf_loadParameters();  // parameters.xml from the defaults: SCAN_AIRPORTS on
        gf_setServerBaseForTests(server.base());
        MSFS_INSTALL_PATH.set((work.path() / "Packages2020").string());
        MSFS_2024_INSTALL_PATH.set((work.path() / "Packages2024").string());
        exiting = false;
        userClosed = false;
        gf_initWorkerSlots(3);
    }
    void TearDown() override {
        exiting = false;
        gf_initWorkerSlots(1);
        AirportScanTest::TearDown();
    }
    static fs::path packages(bool msfs2020) { return fs::current_path() / (msfs2020 ? "Packages2020" : "Packages2024"); }
    static std::vector<std::string> scanLogFile() {
        return gf_readFileLines(gf_airportsScanLogPath()).value_or(std::vector<std::string>{});
    }
    static std::vector<std::string> logLines() { return gf_readFileLines("Log.txt").value_or(std::vector<std::string>{}); }
    void candidate(const std::string& code) {
        server.set("vizozaradu20/archive/stock/" + code + ".xml",
                   standFileText({{"publisher", "stock"}, {"Qf_real", "50"}, {"WEEK", "20"}},
                                 standElement("S1", 47.45, 8.56, 30.0)));
    }
    static bool savedOn() { return readWholeFile(gf_parametersPath()).find(R"("SCAN_AIRPORTS" value="false")") == std::string::npos; }

    LocalHttpServer server;
};

TEST_F(AirportScan, Msfs2020OfficialAndCommunityLinkedGeneratedAndCopiedToTblo) {
    const fs::path official = packages(true) / "Official" / "OneStore";
    const fs::path community = packages(true) / "Community";
    package(official, "microsoft-airport-egll", "{}", "egll.bgl", bw::gf_airportFile({bw::gf_sampleAirport("EGLL", 3)}));
    package(community, "flytampa-ekch", "{}", "ekch.bgl", bw::gf_airportFile({bw::gf_sampleAirport("EKCH", 12)}));
    package(community, "flytampa-egkk", "{}", "egkk.bgl", bw::gf_airportFile({bw::gf_sampleAirport("EGKK", 6)}));
    package(community, "someone-abcd", R"({"creator":"Abc"})", "abcd.bgl", bw::gf_airportFile({bw::gf_sampleAirport("ABCD", 2)}));
    package(community, "tropicalsim-kmci", "{}", "kmci.bgl", bw::gf_airportFile({bw::gf_sampleAirport("KMCI", 2)}));
    for (const char* code : {"EKCH", "EGKK", "ABCD", "KMCI"}) candidate(code);
    // Left from an earlier scan: old files go, a non-empty folder is logged and stays.
    fs::create_directories("airports/my_thirdparty/kept/inside");
    writeWholeFile("airports/my_thirdparty/OLD1.xml", "x");
    writeWholeFile("airports/my_simaddon/OLD2.txt", "x");
    fs::create_directories("TBLO");
    writeWholeFile("TBLO/OLD3.xml", "x");
    airportsGenerated = false;

    gf_scanAddonAirports();

    EXPECT_TRUE(fs::exists("airports/my_simaddon/EGLL.txt"));
    EXPECT_FALSE(fs::exists("airports/my_thirdparty/OLD1.xml") || fs::exists("airports/my_simaddon/OLD2.txt") ||
                 fs::exists("TBLO/OLD3.xml"));
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/kept/inside"));
    // EKCH is linked and has more stands than its archive: copied, and its generated file goes.
    EXPECT_TRUE(fs::exists("TBLO/EKCH.xml") && fs::exists("airports/my_thirdparty/EKCH.txt"));
    EXPECT_FALSE(fs::exists("airports/my_thirdparty/EKCH.xml"));
    // EGKK has no archive: generated and copied, and kept.
    EXPECT_TRUE(fs::exists("TBLO/EGKK.xml") && fs::exists("airports/my_thirdparty/EGKK.xml"));
    // An unknown publisher without a creator of four characters is not copied; TropicalSim's KMCI goes.
    EXPECT_FALSE(fs::exists("TBLO/ABCD.xml"));
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/ABCD.xml"));
    EXPECT_FALSE(fs::exists("airports/my_thirdparty/KMCI.xml") || fs::exists("TBLO/KMCI.xml"));
    EXPECT_EQ(tbloCount.load(), 2);

    const auto scanLog = scanLogFile();
    EXPECT_TRUE(has(scanLog, "Scanning for addon airports in " + (packages(true) / "Official").string()));
    EXPECT_TRUE(has(scanLog, "simaddon airport EGLL linked to"));
    EXPECT_TRUE(has(scanLog, "Generated EGKK.xml: 6 positions"));
    const auto lines = logLines();
    // Paths in the log have the system's separators.
    const auto native = [](const char* path) { return gf_utf8FromPath(fs::path(path).make_preferred()); };
    EXPECT_TRUE(has(lines, native("airports/my_thirdparty/kept") + " could not be removed"));
    EXPECT_TRUE(has(lines, native("output/info/AirportsScanLog.txt") + " written"));
    EXPECT_TRUE(has(lines, "EKCH copied to " + native("TBLO/EKCH.xml")));
    EXPECT_TRUE(has(lines, "Airports scan successful"));
    EXPECT_FALSE(has(lines, "no off line learning needed"));
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_FALSE(savedOn());
    EXPECT_EQ(runningWorkers.load(), 0);
    std::lock_guard lock(airportNamesMutex);
    EXPECT_TRUE(airportNames.empty());
}

TEST_F(AirportScan, Msfs2024CommunityOnlyAndTheWalksTbloEntriesKept) {
    MSFS_2020.set(false);
    const fs::path community = packages(false) / "Community";
    package(packages(false) / "Official", "asobo-airport-lfpg", "{}", "lfpg.bgl",
            bw::gf_airportFile({bw::gf_sampleAirport("LFPG", 3)}));
    package(community, "someone-zurich", R"({"title":"Zurich","creator":"Someone"})", "lszh.bgl", notRecognisedFile());
    package(community, "flytampa-lszh", "{}", "other.bgl", bw::gf_airportFile({bw::gf_sampleAirport("LSZH", 4)}));
    candidate("LSZH");

    gf_scanAddonAirports();

    EXPECT_FALSE(fs::exists("airports/my_simaddon/LFPG.xml"));  // Official is not walked
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/LSZH.xml"));
    // The walk's entry stays as the walk wrote it.
    const std::string entry = readWholeFile("TBLO/LSZH.xml");
    EXPECT_TRUE(entry.find("LSZH by unknown, title: Zurich crea: Someone manu: ") != std::string::npos) << entry;
    EXPECT_EQ(tbloCount.load(), 1);
    EXPECT_TRUE(has(logLines(), "LSZH has a TBLO entry of the walk already, not copied"));
    EXPECT_FALSE(has(scanLogFile(), "Scanning for addon airports in " + (packages(false) / "Official").string()));
    EXPECT_FALSE(SCAN_AIRPORTS.value());
}

TEST_F(AirportScan, NothingFoundWarnsAndKeepsTheTbloFolder) {
    fs::create_directories(packages(true) / "Community");
    airportsGenerated = true;  // from an earlier scan
    gf_scanAddonAirports();
    EXPECT_FALSE(airportsGenerated.load());
    EXPECT_TRUE(fs::is_directory("TBLO"));
    const auto lines = logLines();
    EXPECT_TRUE(has(lines, "Warning: Scan has not found any add-on airports"));
    EXPECT_FALSE(has(lines, "no off line learning needed"));  // nothing was checked
    EXPECT_TRUE(has(lines, (packages(true) / "Official").string() + " does not exist, skipped!"));
    EXPECT_FALSE(has(lines, "Airports scan successful"));
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_FALSE(savedOn());
}

// "Done" is said only of third party airports that were checked: there are some, and a server to
// ask whether they need offline learning.
TEST_F(AirportScan, DoneOnlyWhenThirdPartyAirportsWereChecked) {
    struct Case {
        bool thirdparty;  // a generated third party stand file
        bool server;
        bool done;
    } cases[] = {{false, true, false}, {true, false, false}, {true, true, true}};
    const fs::path community = packages(true) / "Community";
    for (const auto& c : cases) {
        fs::remove_all(community);
        fs::create_directories(community);
        if (c.thirdparty)
            package(community, "flytampa-egkk", "{}", "egkk.bgl",
                    bw::gf_airportFile({bw::gf_sampleAirport("EGKK", 6)}));
        gf_setServerBaseForTests(c.server ? server.base() : "");
        const size_t before = logLines().size();
        gf_scanAddonAirports();
        const auto all = logLines();
        const std::vector<std::string> lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
        EXPECT_EQ(has(lines, "All your third party airports are done, no off line learning needed."), c.done)
            << c.thirdparty << c.server;
        EXPECT_EQ(fs::exists("airports/my_thirdparty/EGKK.xml"), c.thirdparty);
    }
}

// Each BGL file's scan-log lines (publisher detection's among them) stay together, however the
// workers run.
TEST_F(AirportScan, EachFilesLinesStayTogether) {
    const fs::path community = packages(true) / "Community";
    std::vector<std::string> codes;
    for (int i = 0; i < 24; ++i) {
        const std::string code = std::string("Q") + char('A' + i / 26) + char('A' + i % 26) + "Z";
        codes.push_back(code);
        bw::Airport airport = bw::gf_sampleAirport(code, 5, 1);
        // A stand too small to use: one more line of the worker, from the stands reader.
        std::get<bw::ParkingList>(airport.subrecords.back()).parkings[1].radius = 0.0f;
        package(community, "nobody-" + code, "", code + ".bgl", bw::gf_airportFile({airport}));
    }
    gf_scanAddonAirports();
    const auto lines = scanLogFile();
    for (const std::string& code : codes) {
        std::string lower = code;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::vector<size_t> at;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find(code) != std::string::npos || lines[i].find(lower) != std::string::npos) at.push_back(i);
        ASSERT_GE(at.size(), 3u) << code;
        EXPECT_EQ(at.back() - at.front() + 1, at.size()) << code << ": lines of other files in between";
    }
}

TEST_F(AirportScan, AnExitInTheMiddleStopsTheWalkAndKeepsTheScanDue) {
    gf_initWorkerSlots(1);
    const fs::path community = packages(true) / "Community";
    constexpr int files = 40;
    for (int i = 0; i < files; ++i) {
        const std::string code = std::string("K") + char('A' + i / 26) + char('A' + i % 26) + "X";
        package(community, "someone-" + code, "{}", code + ".bgl", bw::gf_airportFile({bw::gf_sampleAirport(code, 300)}));
    }
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load()) {
            if (gf_countFiles("airports/my_thirdparty") > 0) {
                exiting = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    gf_scanAddonAirports();
    done = true;
    watcher.join();
    const int generated = gf_countFiles("airports/my_thirdparty");
    EXPECT_GE(generated, 1);
    EXPECT_LT(generated, files);
    EXPECT_EQ(runningWorkers.load(), 0);
    EXPECT_TRUE(fs::exists(gf_airportsScanLogPath()));
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    EXPECT_TRUE(savedOn());
    std::lock_guard scanLock(scanLogMutex);
    EXPECT_TRUE(airportsScanLog.empty());
}

TEST_F(AirportScan, AScanEndedByAnErrorStillEmptiesNamesAndTheScanLog) {
    fs::create_directories(packages(true) / "Community");
    writeWholeFile("TBLO", "a file where the folder belongs");
    gf_addAirportsScanLog("a line before the scan");
    EXPECT_THROW(gf_scanAddonAirports(), fs::filesystem_error);
    {
        std::lock_guard lock(airportNamesMutex);
        EXPECT_TRUE(airportNames.empty());
    }
    {
        std::lock_guard lock(scanLogMutex);
        EXPECT_TRUE(airportsScanLog.empty());
    }
    EXPECT_TRUE(SCAN_AIRPORTS.value());
    // The next scan in the process starts clean.
    fs::remove("TBLO");
    gf_scanAddonAirports();
    EXPECT_FALSE(has(scanLogFile(), "a line before the scan"));
    EXPECT_FALSE(SCAN_AIRPORTS.value());
}

}  // namespace
}  // namespace vdl::test
