// The walk of a package folder for BGL airport files: skipped folders and files, the bound on
// workers, an exit in the middle, and workers that fail, every worker joined.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

#include "airports/airport_scan_log.h"
#include "airports/airport_scan_walk.h"
#include "airports/reset.h"
#include "foundation/workers.h"
#include "standins/bgl_writer.h"
#include "support/foundation_env.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

namespace bw = bglwriter;
namespace fs = std::filesystem;

void writeAirportFile(const fs::path& path) {
    fs::create_directories(path.parent_path());
    bw::gf_writeBgl(path, bw::gf_airportFile({bw::gf_sampleAirport("EDDF", 2)}));
}

// What the workers did, from any thread.
struct Reads {
    std::mutex mutex;
    std::set<std::string> paths;  // below the root
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
};

class AirportWalk : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetAirports();
        exiting = false;
        userClosed = false;
        gf_initWorkerSlots(2);
    }
    void TearDown() override {
        exiting = false;
        gf_initWorkerSlots(1);
        gf_resetAirports();
    }

    BglFileReader recorder(const fs::path& root, std::chrono::milliseconds busy = {}) {
        return [this, root, busy](const fs::path& path) {
            ++reads.started;
            const int now = ++reads.running;
            int most = reads.most.load();
            while (now > most && !reads.most.compare_exchange_weak(most, now)) {
            }
            if (busy.count() > 0) std::this_thread::sleep_for(busy);  // lets workers overlap
            {
                std::lock_guard lock(reads.mutex);
                reads.paths.insert(path.lexically_relative(root).generic_string());
            }
            --reads.running;
            ++reads.finished;
        };
    }

    TempWorkDir work;
    Reads reads;
};

TEST_F(AirportWalk, SkipWordsBelowTheRootCaseSensitiveAndBglFilesOnly) {
    const fs::path root = work.path() / "my-aircraft-things" / "Community";  // words above the root count not
    for (const char* file : {"pkg/scenery/a.bgl", "pkg/scenery/b.BGL", "pkg/scenery/c.Bgl", "pkg/scenery/statics/d.bgl",
                             "pkg/SimObjects/Aircraft/e.bgl", "pkg/scenery/my-aircraft/f.bgl", "fsltl-models/g.bgl",
                             "pkg/AFCAD Updates/h.bgl", "pkg/x_heliports.bgl"})
        writeAirportFile(root / file);
    fs::create_directories(root / "pkg/scenery");
    bw::gf_writeBgl(root / "pkg/scenery/scenery.bgl", bw::gf_sceneryFile(500));
    gf_scanFolderForAirports(root, recorder(root));
    EXPECT_EQ(reads.paths, (std::set<std::string>{"pkg/scenery/a.bgl", "pkg/scenery/b.BGL", "pkg/SimObjects/Aircraft/e.bgl"}));
    const auto log = gf_takeAirportsScanLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Scanning for addon airports in " + root.string());
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(AirportWalk, AtMostHwThreadsWorkersAndAllJoined) {
    const fs::path root = work.path() / "Community";
    for (int i = 0; i < 12; ++i) writeAirportFile(root / fmt::format("p{}/scenery/a{}.bgl", i % 3, i));
    gf_scanFolderForAirports(root, recorder(root, std::chrono::milliseconds(5)));
    EXPECT_EQ(reads.paths.size(), 12u);
    EXPECT_LE(reads.most.load(), 2);
    EXPECT_EQ(reads.finished.load(), 12);  // joined before the walk returned
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(AirportWalk, AnExitStopsTheWalkAndStartedWorkersAreWaitedFor) {
    gf_initWorkerSlots(1);
    const fs::path root = work.path() / "Community";
    for (int i = 0; i < 6; ++i) writeAirportFile(root / fmt::format("p/a{}.bgl", i));
    const BglFileReader record = recorder(root, std::chrono::milliseconds(20));
    gf_scanFolderForAirports(root, [&](const fs::path& path) {
        exiting = true;
        record(path);
    });
    EXPECT_GE(reads.started.load(), 1);
    EXPECT_LE(reads.started.load(), 2);
    EXPECT_EQ(reads.finished.load(), reads.started.load());
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(AirportWalk, FailingWorkersAndAMissingFolderGoToTheScanLog) {
    const fs::path root = work.path() / "Community";
    for (int i = 0; i < 5; ++i) writeAirportFile(root / fmt::format("p/a{}.bgl", i));
    const BglFileReader record = recorder(root);
    gf_scanFolderForAirports(root, [&](const fs::path& path) {
        record(path);
        if (path.filename() == "a2.bgl") throw std::runtime_error("broken a2");
    });
    EXPECT_EQ(reads.paths.size(), 5u);
    auto log = gf_takeAirportsScanLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.find("broken a2") != std::string::npos; }),
              1);
    EXPECT_EQ(runningWorkers.load(), 0);

    gf_scanFolderForAirports(work.path() / "missing", recorder(root));
    log = gf_takeAirportsScanLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("aborted because of iterator problem"), std::string::npos) << log[1];
}

TEST_F(AirportWalk, PackagesLinkedIntoTheTopLevelAreScannedOnceAndDeeperLinksNot) {
#ifdef _WIN32
    GTEST_SKIP() << "MinGW's std::filesystem makes no links";
#else
    const fs::path store = work.path() / "store", root = work.path() / "Community";
    writeAirportFile(store / "pkgA/scenery/a.bgl");
    writeAirportFile(store / "deeper/d.bgl");
    writeAirportFile(store / "fsltl-x/f.bgl");
    writeAirportFile(root / "real/r.bgl");
    fs::create_directory_symlink("../../deeper", store / "pkgA/scenery/deep");
    fs::create_directory_symlink(store / "pkgA", root / "linkA");
    fs::create_directory_symlink(store / "pkgA/scenery", root / "linkAInner");  // inside linkA's folder
    fs::create_directory_symlink(store / "fsltl-x", root / "fsltl-linked");     // a skip word
    fs::create_directory_symlink("..", root / "up");                            // holds the Community folder
    gf_scanFolderForAirports(root, recorder(root));
    EXPECT_EQ(reads.paths, (std::set<std::string>{"linkA/scenery/a.bgl", "real/r.bgl"}));
    const auto log = gf_takeAirportsScanLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Scanning linked package " + (root / "linkA").string()), 1);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.find("scanned already") != std::string::npos; }),
              2);
    EXPECT_EQ(runningWorkers.load(), 0);
#endif
}

TEST_F(AirportWalk, TheScanReaderReadsAndLogsBrokenFiles) {
    const fs::path root = work.path() / "Community";
    writeAirportFile(root / "p/a.bgl");
    gf_scanFolderForAirports(root, gf_toParkingPositions);
    EXPECT_EQ(runningWorkers.load(), 0);
    writeWholeFile("tiny.bgl", "abc");
    EXPECT_THROW(gf_toParkingPositions("tiny.bgl"), std::out_of_range);
}

}  // namespace
}  // namespace vdl::test
