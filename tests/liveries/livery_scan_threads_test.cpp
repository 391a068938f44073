// The folder walk on worker threads and the scan step of a start-up, on real folders.
#include "liveries/livery_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

#include "foundation/errors.h"
#include "foundation/parameters.h"
#include "liveries/livery_regcodes.h"
#include "liveries/livery_tables.h"
#include "liveries/scan_env.h"
#include "refdata/packages.h"
#include "standins/community_samples.h"
#include "standins/livery_samples.h"
#include "support/wait.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// An aircraft.cfg of the model with one section per title (airline DLH unless given "AIRL:title").
std::string cfg(std::string_view model, const Lines& titles) {
    std::string text = fmt::format("[GENERAL]\nicao_type_designator = \"{}\"\n", model);
    for (size_t i = 0; i < titles.size(); ++i) {
        std::string airline = "DLH", title = titles[i];
        if (title.size() > 4 && title[3] == ':') {
            airline = title.substr(0, 3);
            title = title.substr(4);
        }
        text += fmt::format("[FLTSIM.{}]\ntitle = \"{}\" ; c\nicao_airline = {}\n", i, title, airline);
    }
    return text;
}

class LiveryScan : public ScanEnv {
  protected:
    void TearDown() override {
        exiting.store(false);
        ScanEnv::TearDown();
    }

    Lines titles() const {
        Lines out;
        for (const auto& l : liveries) out.push_back(l.title);
        return out;
    }
    // The Community folder of the simulator below a user folder with an umlaut.
    fs::path community() {
        const fs::path install = fs::current_path() / gf_pathFromUtf8("Jürgen") / "sim";
        fs::create_directories(install / "Community");
        MSFS_INSTALL_PATH.set(gf_utf8FromPath(install));
        gf_deriveCommunityPath();
        return install / "Community";
    }
    // The scan's log lines that name a found package, in order.
    Lines foundPackages() {
        Lines out;
        for (const auto& line : newLogLines())
            if (line.starts_with("Automatic ")) out.push_back(line);
        return out;
    }
    std::optional<int> scanError(const std::stop_token& stop = {}) {
        try {
            gf_scanLiveries(stop);
        } catch (const UserErrorException& e) {
            return e.code();
        }
        return std::nullopt;
    }
};

TEST_F(LiveryScan, FolderWalk) {
    // The scanned folder sits below a folder whose name holds a skip word: it is scanned all the same.
    const std::string root = "airport-stuff/Jürgen/pkg/";
    writeCfg(root + "a/aircraft.cfg", cfg("A320", {"A1", "A2", "A3"}));
    writeCfg(root + "b/Aircraft.CFG", cfg("B738", {"B1 Café", "B2"}));
    writeCfg(root + "c/aircraft.cfg.bak", cfg("A320", {"C1"}));
    writeCfg(root + "d/flytampa-scenery/x/aircraft.cfg", cfg("A320", {"D1"}));
    writeCfg(root + "e/IVAO_MTL/SimObjects/Airplanes/IVAO_A320/aircraft.cfg",
             "[fltsim.0]\ntitle = A320 DLH ivao\ntexture = x\n");
    fs::create_directories(gf_pathFromUtf8(root + "e/IVAO_MTL/SimObjects/Airplanes/IVAO_A320/texture.x"));
#ifndef _WIN32
    // MinGW's std::filesystem makes no symbolic links on Windows, so the loops exist on POSIX only.
    fs::create_directory_symlink("..", gf_pathFromUtf8(root + "a/loop"));
    fs::create_symlink("self", gf_pathFromUtf8(root + "self"));
#endif
    const std::string deep = root + std::string(150, 'L') + "/" + std::string(150, 'M');
    writeCfg(deep + "/aircraft.cfg", cfg("A320", {"Deep"}));

    std::map<uint32_t, Lines> byThreads;
    for (const uint32_t threads : {1u, 8u}) {
        gf_resetScanReports();
        liveries.clear();
        gf_initWorkerSlots(threads);
        gf_scanLiveryFolder(4, gf_pathFromUtf8(root));
        EXPECT_EQ(runningWorkers.load(), 0);
        EXPECT_TRUE(std::all_of(liveries.begin(), liveries.end(), [](const auto& l) { return l.folderNo == 4; }));
        byThreads[threads] = titles();
    }
    Lines sorted = byThreads[1];
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (Lines{"A1", "A2", "A3", "A320 DLH ivao", "B1 Café", "B2"}));
    EXPECT_EQ(byThreads[1], byThreads[8]);  // the order of the walk, whatever the thread count
    const Lines& order = byThreads[1];
    const auto a1 = std::find(order.begin(), order.end(), "A1") - order.begin();
    EXPECT_EQ((Lines{order.begin() + a1, order.begin() + a1 + 3}), (Lines{"A1", "A2", "A3"}));
#ifndef _WIN32
    EXPECT_NE(logText().find("skipped, cause:"), std::string::npos);  // the link to itself
#endif
}

TEST_F(LiveryScan, PackageOrderAndUserTraffic) {
    const fs::path c = community();
    for (const char* package : {"aig-aitraffic-oci-beta", "fsltl-traffic-base", "justflight-fstraffic-module",
                                "user-aitraffic-Jürgen"})
        writeCfg(gf_utf8FromPath(c) + "/" + package + "/SimObjects/Airplanes/X/aircraft.cfg",
                 cfg("A320", {std::string(package).substr(0, 5)}));
    const auto found = [&](const char* kind, const char* package) {
        return fmt::format("Automatic {} scan found folder: \"{}\"", kind,
                           gf_utf8FromPath(c / gf_pathFromUtf8(package)));
    };
    const std::string aig = found("AIG", "aig-aitraffic-oci-beta"), fsltl = found("FSLTL", "fsltl-traffic-base"),
                      jf = found("JF", "justflight-fstraffic-module"),
                      user = found("user-aitraffic", "user-aitraffic-Jürgen");
    const std::map<int, Lines> expected = {{1, {aig, fsltl, jf, user}}, {2, {aig, jf, fsltl, user}},
                                           {3, {fsltl, aig, jf, user}}, {4, {fsltl, jf, aig, user}},
                                           {5, {jf, aig, fsltl, user}}, {6, {jf, fsltl, aig, user}}};
    newLogLines();
    for (const auto& [order, packages] : expected) {
        AI_PACKAGE_ORDER.set(order);
        SCAN_LIVERIES.set(true);
        ASSERT_EQ(scanError(), std::nullopt) << order;
        EXPECT_EQ(foundPackages(), packages) << order;
        EXPECT_FALSE(SCAN_LIVERIES.value());
    }
    // Order 4 numbers the folders FSLTL 1, JF 2, AIG 3, user 4.
    AI_PACKAGE_ORDER.set(4);
    SCAN_LIVERIES.set(true);
    ASSERT_EQ(scanError(), std::nullopt);
    gf_readScannedLiveries();
    EXPECT_EQ(liveries.size(), 4u);
    liveries.clear();
    EXPECT_NE(logText().find("1 liverie found in "), std::string::npos);
    EXPECT_NE(logText().find("4 in total"), std::string::npos);

    // An AIG package converted for another simulator is no AIG package.
    fs::remove_all(c / "aig-aitraffic-oci-beta");
    writeCfg(gf_utf8FromPath(c) + "/aig-aitraffic-oci_CVT_/SimObjects/Airplanes/X/aircraft.cfg", cfg("A320", {"cvt"}));
    AI_PACKAGE_ORDER.set(1);
    SCAN_LIVERIES.set(true);
    newLogLines();
    ASSERT_EQ(scanError(), std::nullopt);
    EXPECT_EQ(foundPackages(), (Lines{fsltl, jf, user}));
}

TEST_F(LiveryScan, ManualFoldersErrorsAndPrioritisation) {
    LIG_AUTOMATIC.set(false);
    EXPECT_EQ(scanError(), 48);

    fs::create_directories("empty");
    writeWholeFile("a-file", "x");
    lfolder0.set("empty");
    lfolder2.set("a-file");
    EXPECT_EQ(scanError(), 53);
    EXPECT_TRUE(SCAN_LIVERIES.value());
    const std::string log = logText();
    EXPECT_NE(log.find("a-file is not a folder name, skipped!"), std::string::npos);
    EXPECT_NE(log.find("No liveries found in empty"), std::string::npos);

    // Prioritised: the DLH A320 liveries of the second folder go, its DLH A321 stay.
    writeCfg("first/x/aircraft.cfg", cfg("A320", {"P1"}));
    writeCfg("second/x/aircraft.cfg", cfg("A320", {"P2", "BAW:P4"}));
    writeCfg("second/y/aircraft.cfg", cfg("A321", {"P3"}));
    lfolder0.set("first");
    lfolder1.set("missing");
    lfolder2.set("second");
    LIG_PRIORITIZE.set(true);
    ASSERT_EQ(scanError(), std::nullopt);
    EXPECT_FALSE(SCAN_LIVERIES.value());
    gf_readScannedLiveries();
    EXPECT_EQ(titles(), (Lines{"P4", "P1", "P3"}));  // sorted by airline, model, title
    liveries.clear();
    EXPECT_NE(logText().find("missing does not exist, skipped!"), std::string::npos);
    EXPECT_NE(logText().find("3 liveries found in second"), std::string::npos);

    // Automatic mode without any package, and with a Community folder that is not there.
    LIG_AUTOMATIC.set(true);
    SCAN_LIVERIES.set(true);
    community();
    EXPECT_EQ(scanError(), 43);
    EXPECT_TRUE(SCAN_LIVERIES.value());
    MSFS_INSTALL_PATH.set(gf_utf8FromPath(fs::current_path() / "nowhere"));
    gf_deriveCommunityPath();
    EXPECT_EQ(scanError(), 43);
    EXPECT_NE(logText().find(gf_utf8FromPath(fs::current_path() / "nowhere" / "Community") + "\" not found"),
              std::string::npos);
}

TEST_F(LiveryScan, PackagesLinkedIntoAListedFolderAreSearchedOnceAndDeeperLinksNot) {
#ifdef _WIN32
    GTEST_SKIP() << "MinGW's std::filesystem makes no links";
#else
    writeCfg("store/pkgA/x/aircraft.cfg", cfg("A320", {"L1"}));
    writeCfg("store/pkgB/aircraft.cfg", cfg("A320", {"L2"}));
    writeCfg("store/deeper/aircraft.cfg", cfg("A320", {"L3"}));
    writeCfg("comm/real/aircraft.cfg", cfg("A320", {"R1"}));
    fs::create_directory_symlink("../deeper", "store/pkgB/deep");
    fs::create_directory_symlink("../store/pkgA", "comm/linkA");
    fs::create_directory_symlink(fs::current_path() / "store/pkgA", "comm/linkA2");  // the same package again
    fs::create_directory_symlink("../store/pkgB", "comm/linkB");
    fs::create_directory_symlink(".", "comm/self");
    fs::create_directory_symlink("real", "comm/inner");
    fs::create_directory_symlink("../nowhere", "comm/dangling");

    // A folder walked on its own follows no link; the start-up's manual scan enters the top level's.
    gf_scanLiveryFolder(1, "comm");
    EXPECT_EQ(titles(), Lines{"R1"});
    liveries.clear();
    gf_resetScanReports();
    LIG_AUTOMATIC.set(false);
    lfolder0.set("comm");
    ASSERT_EQ(scanError(), std::nullopt);
    gf_readScannedLiveries();
    EXPECT_EQ(titles(), (Lines{"L1", "L2", "R1"}));
    liveries.clear();
    size_t entered = 0, skipped = 0;
    for (const auto& line : newLogLines()) {
        entered += line.find("liveries search enters linked package comm") != std::string::npos;
        skipped += line.find("its folder is searched already") != std::string::npos;
    }
    EXPECT_EQ(entered, 2u);
    EXPECT_EQ(skipped, 3u);  // linkA or linkA2, self, inner
#endif
}

TEST_F(LiveryScan, ReportsAlsoWhenNothingIsFoundAndTheOldCatalogueStays) {
    writeCatalogue({{"DLH", "A320", "Old", "", 0, false}});
    const std::string old = readWholeFile(scannedLiveriesPath);
    LIG_AUTOMATIC.set(false);
    writeCfg("bad/x/aircraft.cfg", "[fltsim.0]\n[fltsim.2]\n");
    lfolder0.set("bad");
    EXPECT_EQ(scanError(), 53);
    EXPECT_EQ(readWholeFile(scannedLiveriesPath), old);
    EXPECT_EQ(readWholeFile("output/errors/InvalidAircraftCfgFiles.txt"),
              gf_utf8FromPath(fs::path("bad") / "x" / "aircraft.cfg") +
                  " contains non-consecutive [fltsim.x] numbers at .x=2\n");
    EXPECT_NE(logText().find("1 invalid aircraft.cfg files, see output/errors/InvalidAircraftCfgFiles.txt"),
              std::string::npos);
    EXPECT_EQ(invalidCfgFiles.size(), 0u);  // reset after the scan

    // A catalogue that cannot be written fails the scan; SCAN_LIVERIES stays on.
    writeCfg("good/x/aircraft.cfg", cfg("A320", {"New"}));
    lfolder0.set("good");
    fs::remove(scannedLiveriesPath);
    fs::create_directories(scannedLiveriesPath / "blocked");
    EXPECT_EQ(scanError(), 54);
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_EQ(logText().find("liveries scan ends"), std::string::npos);
}

TEST_F(LiveryScan, AnExitDuringTheScanKeepsEverythingForTheNextScan) {
    writeCatalogue({{"DLH", "A320", "Old", "", 0, false}});
    const std::string old = readWholeFile(scannedLiveriesPath);
    Lines many;
    for (int i = 0; i < 5; ++i) many.push_back(fmt::format("T{}", i));
    for (int f = 0; f < 30; ++f) writeCfg(fmt::format("lots/f{}/aircraft.cfg", f), cfg("A320", many));
    LIG_AUTOMATIC.set(false);
    lfolder0.set("lots");
    dontUseTitles.insert("stale");

    // The workers wait on the title set until the stop is asked for.
    std::stop_source stop;
    std::optional<int> error;
    {
        auto hold = scannedTitles.holdAll();
        std::thread scan([&] { error = scanError(stop.get_token()); });
        ASSERT_TRUE(eventually([] { return runningWorkers.load() >= 2; }));
        stop.request_stop();
        for (auto& lock : hold) lock.unlock();
        scan.join();
    }
    EXPECT_EQ(error, std::nullopt);
    EXPECT_TRUE(SCAN_LIVERIES.value());
    EXPECT_EQ(readWholeFile(scannedLiveriesPath), old);
    EXPECT_EQ(runningWorkers.load(), 0);
    EXPECT_FALSE(liveriesProcessed);
    EXPECT_TRUE(liveries.empty());
    EXPECT_EQ(scannedTitles.size(), 0u);
    EXPECT_TRUE(dontUseTitles.empty());
    EXPECT_EQ(incompleteSections.size(), 0u);

    // The next scan in this process is whole.
    ASSERT_EQ(scanError(), std::nullopt);
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_TRUE(liveriesProcessed);
    EXPECT_EQ(gf_catalogueTitleCount(), 5u);
    EXPECT_NE(logText().find("5 liveries found in lots"), std::string::npos) << "one file keeps each title";

    // An exit under way before the scan starts no worker and switches nothing off.
    SCAN_LIVERIES.set(true);
    exiting.store(true);
    EXPECT_EQ(scanError(), std::nullopt);
    EXPECT_TRUE(SCAN_LIVERIES.value());
}

TEST_F(LiveryScan, AGeneratedCommunityWithNonAsciiNamesSurvivesScanCatalogueAndTables) {
    const fs::path c = community();
    writeWholeFile("input/dbase.xml", samples::sampleDbaseXml({}, 1));
    gf_loadDbase("input/dbase.xml");
    samples::CommunityOptions options;
    options.files = 40;
    options.sections = 10;
    const auto written = samples::gf_writeCommunity(c, options);
    size_t stubs = 0;
    for (const auto& t : written.titles) stubs += t.ends_with("-STUB");
    ASSERT_GT(stubs, 0u);

    gf_initWorkerSlots(8);
    ASSERT_EQ(scanError(), std::nullopt);
    EXPECT_EQ(gf_catalogueTitleCount(), written.titles.size() - stubs);
    for (const auto& t : written.titles)
        if (!t.ends_with("-STUB")) {
            EXPECT_FALSE(gf_findCatalogueTitle(t).empty()) << t;
        }
    const auto accented = std::find_if(written.titles.begin(), written.titles.end(),
                                       [](const auto& t) { return t.ends_with("Édition spéciale"); });
    ASSERT_NE(accented, written.titles.end());
    EXPECT_EQ(gf_findCatalogueTitle(*accented), *accented);
    EXPECT_NE(readWholeFile(scannedLiveriesPath).find(*accented), std::string::npos);
    EXPECT_NE(logText().find("\nNo errors"), std::string::npos);
    EXPECT_FALSE(fs::exists(errorsFolder));
}

}  // namespace
}  // namespace vdl::test
