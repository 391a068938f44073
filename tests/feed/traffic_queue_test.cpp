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
// go first, then the oldest records, down to queuedRecordsAfterDrop; order and each aircraft's
// newest position stay.
TEST_F(TrafficQueueTest, FullQueueDropsOlderPositionsFirst) {
    constexpr size_t pushed = maxQueuedRecords + 1;
    constexpr size_t excess = pushed - queuedRecordsAfterDrop;
    const struct {
        const char* what;
        std::function<uint32_t(size_t)> hexidOf;  // of the i-th record pushed
        size_t superseded;                        // of the excess, dropped as older positions
    } cases[] = {
        {"ten aircraft", [](size_t i) { return static_cast<uint32_t>(10001 + i % 10); }, excess},
        {"every record another aircraft", [](size_t i) { return static_cast<uint32_t>(10001 + i); }, 0},
        // The last 100 records repeat the first 100 aircraft.
        {"a few repeats",
         [](size_t i) { return static_cast<uint32_t>(10001 + (i < pushed - 100 ? i : i - (pushed - 100))); },
         100},
    };
    gf_setMainLoopRunning(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gf_resetFeedForTests();
        gf_setMainLoopRunning(true);
        std::map<uint32_t, double> newest;
        for (size_t i = 0; i < pushed; ++i) {
            const auto t = static_cast<double>(i);
            ASSERT_TRUE(gf_queueTrafficRecord(record(c.hexidOf(i), t)));
            newest[c.hexidOf(i)] = t;
        }
        EXPECT_EQ(trafficRecordsDropped.load(), excess);
        std::vector<double> times = queuedTimes();
        ASSERT_EQ(times.size(), queuedRecordsAfterDrop);
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
        // Dropped: the first `superseded` superseded records, then the oldest of the rest.
        std::map<uint32_t, size_t> later;
        std::vector<bool> superseded(pushed);
        for (size_t i = pushed; i-- > 0;) superseded[i] = later[c.hexidOf(i)]++ > 0;
        std::vector<double> expected;
        size_t dropped = 0;
        for (size_t i = 0; i < pushed; ++i) {
            if (superseded[i] && dropped < c.superseded) {
                ++dropped;
                continue;
            }
            expected.push_back(static_cast<double>(i));
        }
        expected.erase(expected.begin(), expected.end() - static_cast<ptrdiff_t>(queuedRecordsAfterDrop));
        EXPECT_EQ(times, expected);
        if (c.superseded == excess) {
            for (const auto& [hexid, t] : newest)
                EXPECT_TRUE(std::binary_search(times.begin(), times.end(), t)) << hexid;
        }
        EXPECT_NE(
            logText().find(fmt::format("traffic queue full: {} older positions of aircraft with a newer one "
                                       "queued and {} oldest records dropped",
                                       c.superseded, excess - c.superseded)),
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
