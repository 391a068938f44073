// The feed under the load of a busy area: 1,000 aircraft at a line a second each, plus weather, on
// real UDP on loopback, taken by a stand-in of the traffic step every 10 ms.
#include "standins/feed_load.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "feed/qnh.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "feed_fixture.h"
#include "foundation/threads.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FeedLoadTest : public test::FeedTest {};

// What the traffic step saw: of each aircraft the newest time stamp taken, the longest a record
// waited between its sending and its taking, and the oldest record it found queued.
struct Taken {
    std::mutex mutex;  // guards the fields below
    std::map<uint32_t, double> newest;
    uint64_t records = 0;
    double longestWait = 0.0;  // s
};

TEST_F(FeedLoadTest, ThousandAircraftReachTheTrafficStepWithinASecond) {
    // A measure of throughput: under ThreadSanitizer's slowdown it measures the sanitizer.
    if (test::sanitizerSlowdown > 1) GTEST_SKIP() << "throughput is not measured under ThreadSanitizer";
    constexpr size_t aircraft = 1000;
    constexpr double seconds = 5.0;
    const auto start = Clock::now();
    // Time stamps on the program's clock: the test clock plus the time since the start.
    const auto stampNow = [start] {
        return static_cast<double>(captureTime) + std::chrono::duration<double>(Clock::now() - start).count();
    };
    gf_setMainLoopRunning(true);
    ASSERT_TRUE(gf_startTrafficReader(0));
    ASSERT_TRUE(gf_startQnhReader(0));

    Taken taken;
    std::jthread step([&](std::stop_token stop) {
        for (auto next = Clock::now(); gf_sleepUntil(stop, next += 10ms);) {
            std::lock_guard queueLock(trafficMutex);
            std::lock_guard lock(taken.mutex);
            const double now = stampNow();
            for (size_t i = 0; i < maxRecordsPerStep && !trafficQueue.empty(); ++i) {
                const TrafficRecord& r = trafficQueue.front();
                // The stamp has one decimal.
                taken.longestWait = std::max(taken.longestWait, now - r.sampleTime - 0.05);
                double& newest = taken.newest[r.hexid];
                newest = std::max(newest, r.sampleTime);
                ++taken.records;
                trafficQueue.pop_front();
            }
        }
    });

    rtstandin::LoadConfig load;
    load.trafficPort = trafficReader.port();
    load.qnhPort = qnhReader.port();
    load.aircraft = aircraft;
    load.seconds = seconds;
    load.weatherPeriodSeconds = 1.0;
    load.timeStamp = stampNow;
    rtstandin::LoadStats sent;
    std::jthread([&](std::stop_token stop) { rtstandin::gf_sendLoad(load, sent, stop); }).join();
    EXPECT_EQ(sent.lines.load(), static_cast<uint64_t>(aircraft * seconds));
    EXPECT_EQ(sent.failedSends.load(), 0u);

    // Every aircraft's newest position arrives.
    const bool allNewest = test::eventually([&] {
        std::lock_guard lock(taken.mutex);
        if (taken.newest.size() < aircraft) return false;
        for (size_t i = 0; i < aircraft; ++i)
            if (taken.newest[10001 + static_cast<uint32_t>(i)] < sent.lastTimeStamp[i] - 0.051) return false;
        return true;
    });
    step.request_stop();
    step.join();
    EXPECT_TRUE(allNewest);
    EXPECT_EQ(taken.records, sent.lines.load());
    EXPECT_LT(taken.longestWait, 1.0);
    EXPECT_EQ(trafficRecordsDropped.load(), 0u);
    EXPECT_EQ(qnh.load(), 1017);
    EXPECT_EQ(logText().find("exception"), std::string::npos) << logText();
}

}  // namespace
}  // namespace vdl
