// The bounded hand-over queue: what a full queue drops, and that the drops are counted.
#include "feed/traffic_queue.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>

#include "feed/traffic_reader.h"
#include "feed_fixture.h"
#include "foundation/files.h"

namespace vdl {
namespace {

using test::airborneLine;
using test::withField;

class TrafficQueueTest : public test::FeedTest {
  protected:
    static TrafficRecord record(uint32_t hexid, double sampleTime) {
        TrafficRecord r;
        r.hexid = hexid;
        r.sampleTime = sampleTime;
        return r;
    }
    // The queue's sample times, oldest first.
    static std::vector<double> queuedTimes() {
        std::lock_guard lock(trafficMutex);
        std::vector<double> t;
        for (const TrafficRecord& r : trafficQueue) t.push_back(r.sampleTime);
        return t;
    }
};

// One record more than the queue holds: the oldest positions of aircraft with a newer one queued
// go first, then the oldest records, down to queuedRecordsAfterDrop; the order stays.
TEST_F(TrafficQueueTest, FullQueueDropsOlderPositionsFirst) {
    constexpr size_t pushed = maxQueuedRecords + 1;
    constexpr size_t kept = queuedRecordsAfterDrop;
    const auto range = [](size_t from, size_t to) {  // the sample times from..to-1
        std::vector<double> v;
        for (size_t i = from; i < to; ++i) v.push_back(static_cast<double>(i));
        return v;
    };
    std::vector<double> floodKept = range(1, kept);
    floodKept.push_back(pushed - 1);
    const struct {
        const char* what;
        std::function<uint32_t(size_t)> hexidOf;  // of the i-th record pushed (sample time i)
        size_t superseded, oldest;
        std::vector<double> kept;
    } cases[] = {
        // The first `kept` records are other aircraft, the rest one aircraft: all but its newest
        // go, then the oldest record.
        {"one aircraft floods", [](size_t i) { return static_cast<uint32_t>(i < kept ? 10001 + i : 99999); },
         pushed - kept - 1, 1, floodKept},
        {"every record another aircraft", [](size_t i) { return static_cast<uint32_t>(10001 + i); }, 0,
         pushed - kept, range(pushed - kept, pushed)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetFeed();
        gf_setMainLoopRunning(true);
        for (size_t i = 0; i < pushed; ++i)
            ASSERT_TRUE(gf_queueTrafficRecord(record(c.hexidOf(i), static_cast<double>(i))));
        EXPECT_EQ(queuedTimes(), c.kept);
        EXPECT_EQ(trafficRecordsDropped.load(), pushed - kept);
        EXPECT_NE(
            logText().find(fmt::format("traffic queue full: {} older positions of aircraft with a newer one "
                                       "queued and {} oldest records dropped",
                                       c.superseded, c.oldest)),
            std::string::npos);
    }
}

// A flood of valid lines, far beyond what the step takes: the queue stays bounded, each aircraft's
// newest position stays queued, and the log says so in a bounded number of lines.
TEST_F(TrafficQueueTest, FloodOfValidLinesStaysBounded) {
    gf_setMainLoopRunning(true);
    constexpr int aircraft = 1000;
    constexpr int lines = 60'000;
    const std::string line = withField(withField(airborneLine, 1, "{}"), 14, "{:.1f}");
    for (int i = 0; i < lines; ++i) {
        trafficReader.processLine(
            fmt::format(fmt::runtime(line), 10001 + i % aircraft, captureTime - 100 + i / 1000.0));
        ASSERT_LE(gf_trafficQueueSize(), maxQueuedRecords);
    }
    EXPECT_EQ(trafficRecordsDropped.load() + gf_trafficQueueSize(), static_cast<uint64_t>(lines));
    {
        std::lock_guard lock(trafficMutex);
        std::map<uint32_t, double> newest;
        for (const TrafficRecord& r : trafficQueue) newest[r.hexid] = std::max(newest[r.hexid], r.sampleTime);
        ASSERT_EQ(newest.size(), static_cast<size_t>(aircraft));
        for (const auto& [hexid, t] : newest)
            EXPECT_NEAR(t, captureTime - 100 + (lines - aircraft + (hexid - 10001)) / 1000.0, 0.051) << hexid;
    }
    gf_closeLog();
    const auto log = gf_readFileLines("Log.txt");
    ASSERT_TRUE(log.has_value());
    EXPECT_LE(log->size(), 12u);
    EXPECT_TRUE(log->back().starts_with("traffic queue full: ... and ")) << log->back();
}

}  // namespace
}  // namespace vdl
