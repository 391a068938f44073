// The foundation's helpers used from several threads: the log, the worker slots, the wake-up,
// the interruptible sleep and the per-thread random draws.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/background_write.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/net.h"
#include "foundation/random.h"
#include "foundation/threads.h"
#include "foundation/workers.h"
#include "support/foundation_env.h"
#include "support/wait.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;
using test::TempWorkDir;

TEST(LogTest, LinesFromManyThreadsStayWhole) {
    test::TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) gf_log(fmt::format("thread {} line {} {}", t, i, std::string(50, 'x')));
        });
    for (auto& th : threads) th.join();
    gf_closeLog();
    auto lines = gf_readFileLines("Log.txt");
    ASSERT_TRUE(lines.has_value());
    ASSERT_EQ(lines->size(), 801u);
    std::regex whole(R"(thread \d line \d+ x{50})");
    for (size_t i = 1; i < lines->size(); ++i) EXPECT_TRUE(std::regex_match((*lines)[i], whole)) << (*lines)[i];
}

// The scan pattern: wait for a slot, start a detached worker holding a guard, count it. The
// first workers stay until as many run as the bound allows; no more ever run at once, and every
// slot comes back, also from failing workers.
TEST(LogLimiterTest, ThreadsShareOneAllowance) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    {
        LogLimiter limiter("busy", 50, std::chrono::hours(1));
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 5000; ++i) limiter.log("line");
            });
        for (auto& th : threads) th.join();
    }  // a limiter that ends says what it held back
    gf_closeLog();
    auto lines = gf_readFileLines("Log.txt");
    ASSERT_TRUE(lines.has_value());
    ASSERT_EQ(lines->size(), 52u);
    EXPECT_EQ(lines->back(), "busy: ... and 19,950 more");
}

TEST(WorkerSlotsTest, DetachedWorkersReachButNeverExceedTheBound) {
    test::TempWorkDir dir;
    gf_initWorkerSlots(3);
    std::atomic<int> inside{0}, most{0}, finished{0};
    for (int i = 0; i < 24; ++i) {
        gf_waitForWorkerSlot();
        std::thread([i, &inside, &most, &finished] {
            try {
                WorkerSlotGuard slot;
                const int now = inside.fetch_add(1) + 1;
                for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                test::eventually([&] { return most.load() >= 3; });
                inside.fetch_sub(1);
                if (i % 5 == 0) throw std::runtime_error("bad file");
            } catch (const std::runtime_error&) {
            }
            finished.fetch_add(1);
        }).detach();
        gf_workerStarted();
    }
    EXPECT_TRUE(test::eventually([&] { return finished.load() == 24 && runningWorkers.load() == 0; }));
    EXPECT_EQ(most.load(), 3);
}

TEST(WakeUpTest, InterruptsAWaitUntilDrained) {
    std::error_code ec;
    const Socket quiet = gf_bindUdp(0, ec);
    const WakeUp wake = WakeUp::open(ec);
    ASSERT_TRUE(wake.valid()) << ec.message();

    Readiness seen;
    std::atomic<uint64_t> waiterTid{0};
    std::thread waiter([&] {
        waiterTid = test::currentThreadId();
        std::error_code waitEc;
        seen = gf_waitReadable(quiet, &wake, std::chrono::milliseconds(-1), waitEc);
    });
    EXPECT_TRUE(test::eventually([&] { return waiterTid != 0 && test::blockedInKernel(waiterTid); }));
    wake.signal();
    wake.signal();
    waiter.join();
    EXPECT_TRUE(seen.woken);
    EXPECT_FALSE(seen.socket);

    wake.drain();
    const Readiness after = gf_waitReadable(quiet, &wake, 0ms, ec);
    EXPECT_FALSE(after.woken) << "drained";
    EXPECT_FALSE(ec);
}

TEST(SleepTest, EndsAtItsTimeOrAtTheStopRequest) {
    std::stop_source never;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(gf_sleepFor(never.get_token(), 30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);

    std::stop_source stop;
    bool slept = true;
    std::atomic<uint64_t> sleeperTid{0};
    std::thread sleeper([&] {
        sleeperTid = test::currentThreadId();
        slept = gf_sleepUntil(stop.get_token(), std::chrono::steady_clock::now() + 1h);
    });
    EXPECT_TRUE(test::eventually([&] { return sleeperTid != 0 && test::blockedInKernel(sleeperTid); }));
    stop.request_stop();
    sleeper.join();  // an hour unless the request ends the sleep
    EXPECT_FALSE(slept);

    EXPECT_FALSE(gf_sleepFor(stop.get_token(), 1h)) << "already stopped: no sleep";
}

// Writes land in order, a failed one says so and leaves the file alone, a relative path is
// the folder current at the start, and the writer's end waits for its write.
TEST(BackgroundFileWriterTest, WritesInOrderAndReportsFailures) {
    TempWorkDir dir;
    const auto read = [](const std::filesystem::path& p) {
        auto lines = gf_readFileLines(p);
        return lines ? *lines : std::vector<std::string>{};
    };
    {
        BackgroundFileWriter writer;
        EXPECT_TRUE(writer.wait());  // none yet
        for (int i = 0; i < 20; ++i) {
            ASSERT_TRUE(writer.start("list.txt", fmt::format("{}\n", i)));
            ASSERT_TRUE(writer.wait());
        }
        EXPECT_EQ(read(dir.path() / "list.txt"), std::vector<std::string>{"19"});
        ASSERT_TRUE(writer.start("no-such-folder/list.txt", "x\n"));
        EXPECT_FALSE(writer.wait());
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "no-such-folder"));

        std::filesystem::create_directory("sub");
        ASSERT_TRUE(writer.start("list.txt", "last\n"));
        std::filesystem::current_path("sub");
    }
    EXPECT_EQ(read(dir.path() / "list.txt"), std::vector<std::string>{"last"});
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "sub" / "list.txt"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no temporary left
}

TEST(RandomTest, SeededDrawsRepeatOnEveryThread) {
    test::TempWorkDir dir;
    gf_seedRandomForTests(42);
    std::vector<size_t> first, other;
    for (int i = 0; i < 50; ++i) first.push_back(gf_randomIndex(1000));
    std::thread([&] {
        for (int i = 0; i < 50; ++i) other.push_back(gf_randomIndex(1000));
    }).join();
    EXPECT_EQ(other, first);
}

}  // namespace
}  // namespace vdl
