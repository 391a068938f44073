// The traffic reader: queueing, refusals in the log, the callsign collection, UDP.
#include "feed/traffic_reader.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "feed/qnh.h"
#include "feed/traffic_queue.h"
#include "feed_fixture.h"
#include "foundation/clock.h"
#include "foundation/net.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "window/exit.h"
#include "support/platform.h"
#include "support/recorded_traffic.h"

namespace vdl {
namespace {

using test::airborneLine;
using test::groundLine;
using test::withField;

class TrafficReaderTest : public test::FeedTest {};

TEST_F(TrafficReaderTest, RecordsQueueOnlyWhileTheMainLoopRuns) {
    clock100 = 700;
    trafficReader.processLine(airborneLine);
    EXPECT_EQ(gf_trafficQueueSize(), 0u);
    EXPECT_EQ(liveDataUtc.load(), 1724517659);  // read, though not queued

    gf_setMainLoopRunning(true);
    trafficReader.processDatagram("RTBUF=5\n\nRTPARK,1,2,3\r\n" + airborneLine + "\r\n" + groundLine);
    ASSERT_EQ(gf_trafficQueueSize(), 2u);
    {
        std::lock_guard lock(trafficMutex);
        EXPECT_EQ(trafficQueue.front().hexid, 4951730u);
        EXPECT_EQ(trafficQueue.front().pos.time, 3700u);
        EXPECT_EQ(trafficQueue.back().hexid, 4960467u);
    }
    EXPECT_EQ(liveDataUtc.load(), 1724517659);  // an older sample leaves it
    gf_setMainLoopRunning(false);
    trafficReader.processLine(airborneLine);
    EXPECT_EQ(gf_trafficQueueSize(), 2u);
}

TEST_F(TrafficReaderTest, RefusedLinesAreLoggedAndDropped) {
    gf_setMainLoopRunning(true);
    trafficReader.processLine(withField(airborneLine, 1, "9999"));
    trafficReader.processLine(withField(airborneLine, 2, "inf"));
    EXPECT_EQ(gf_trafficQueueSize(), 0u);
    const std::string log = logText();
    EXPECT_NE(log.find("exception in processLine: hexid 9999 below 10001"), std::string::npos) << log;
    EXPECT_NE(log.find("exception in processLine: latitude is not finite"), std::string::npos) << log;
    trafficReader.processLine(airborneLine);  // the reader goes on
    EXPECT_EQ(gf_trafficQueueSize(), 1u);
}

// Time stamps outside now - 10 min ... now + 1 min on the program's clock are refused: a stale
// sample is no position, and a future one would make every later sample look older.
TEST_F(TrafficReaderTest, TimeStampWindow) {
    gf_setMainLoopRunning(true);
    const struct {
        std::string line;
        const char* refusal;  // nullptr: queued
    } cases[] = {
        {"RTTFC,10001,0,0,0,0,0,0,0,,,,,,1e19,,,,,,,,,,,,,,,,,,,,,,,,,,",
         "time stamp 1e+19 more than 60 s ahead"},
        {withField(airborneLine, 14, "1e300"), "more than 60 s ahead"},
        {withField(airborneLine, 14, std::to_string(captureTime + 61)), "more than 60 s ahead"},
        {withField(airborneLine, 14, std::to_string(captureTime + 60)), nullptr},
        {withField(airborneLine, 14, std::to_string(captureTime - 600)), nullptr},
        {withField(airborneLine, 14, std::to_string(captureTime - 601)), "more than 600 s old"},
        {withField(airborneLine, 14, "1"), "more than 600 s old"},
        {withField(airborneLine, 14, "-1e19"), "not positive"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        liveDataUtc = 0;
        trafficReader.processLine(c.line);
        {
            std::lock_guard lock(trafficMutex);
            EXPECT_EQ(trafficQueue.size(), c.refusal ? 0u : 1u);
            trafficQueue.clear();
        }
        EXPECT_EQ(liveDataUtc.load() != 0, c.refusal == nullptr);
        if (c.refusal) {
            EXPECT_NE(logText().find(c.refusal), std::string::npos) << logText();
        }
    }
}

// Floods of refused input: a bounded log, and the count of the lines held back.
TEST_F(TrafficReaderTest, RefusalFloodsLeaveABoundedLog) {
    gf_setMainLoopRunning(true);
    const struct {
        const char* kind;
        std::function<void(int)> refuse;
    } cases[] = {
        {"exception in processLine",
         [](int i) { trafficReader.processLine(withField(airborneLine, 2, std::to_string(100 + i))); }},
        {"exception in gf_processQnhDatagram",
         [](int i) { gf_processQnhDatagram(fmt::format(R"({{"QNH":{}}})", 2000 + i % 500)); }},
    };
    constexpr int refused = 20'000;
    for (const auto& c : cases)
        for (int i = 0; i < refused; ++i) c.refuse(i);
    gf_closeLog();
    const std::string log = logText();
    EXPECT_LT(log.size(), 4000u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        EXPECT_NE(log.find(fmt::format("{}: ... and 19,990 more", c.kind)), std::string::npos) << log;
    }
}

// Callsigns are collected while the flag is set, within LATERAL_RANGE of the own position,
// except "null", empty ones and those with an at sign.
TEST_F(TrafficReaderTest, CallsignCollectionRules) {
    gf_setLateralRange(40);
    const std::string near = withField(withField(airborneLine, 2, "51.85"), 3, "6.70");  // about 35.3 nm
    const struct {
        const char* what;
        bool collecting, ownPosition;
        std::string line;
        bool collected;
    } cases[] = {
        {"collecting, in range", true, true, near, true},
        {"not collecting", false, true, airborneLine, false},
        {"no own position", true, false, airborneLine, false},
        {"beyond the range", true, true, withField(near, 2, "52.0"), false},  // about 44.3 nm
        {"null callsign", true, true, withField(airborneLine, 9, "null"), false},
        {"at sign", true, true, withField(airborneLine, 9, "@@@@@@@@"), false},
        {"refused line", true, true, withField(airborneLine, 28, "C1"), false},
        {"ghost callsign", true, true, withField(airborneLine, 9, "D4492_"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        trafficReader.reset();
        if (c.ownPosition) trafficReader.setOwnPosition(51.262104, 6.694218);
        if (c.collecting) trafficReader.startCollecting();
        trafficReader.processLine(c.line);
        EXPECT_EQ(trafficReader.callsigns().size(), c.collected ? 1u : 0u);
    }
}

TEST_F(TrafficReaderTest, CollectionIsBounded) {
    trafficReader.setOwnPosition(51.262104, 6.694218);
    trafficReader.startCollecting();
    const std::string line = withField(airborneLine, 9, "{}");
    for (size_t i = 0; i <= maxCollectedCallsigns; ++i)
        trafficReader.processLine(fmt::format(fmt::runtime(line), i));
    EXPECT_EQ(trafficReader.callsigns().size(), maxCollectedCallsigns);
}

// gf_copyFeedMap takes the set over from another thread while the reader's thread collects.
TEST_F(TrafficReaderTest, TakeOverWhileTheReaderCollects) {
    trafficReader.setOwnPosition(51.262104, 6.694218);
    trafficReader.startCollecting();
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int i = 0; i < 2000; ++i)
            trafficReader.processLine(withField(airborneLine, 9, fmt::format("TST{}", i)));
        done = true;
    });
    size_t total = 0;
    while (!done.load()) {
        total += trafficReader.takeCallsigns().size();
        trafficReader.startCollecting();
    }
    reader.join();
    total += trafficReader.takeCallsigns().size();
    EXPECT_LE(total, 2000u);

    // A take-over stops collecting; the set is taken once, each callsign once.
    trafficReader.startCollecting();
    for (const char* callsign : {"TKJ8QA", "DLH4AB", "TKJ8QA"})
        trafficReader.processLine(withField(airborneLine, 9, callsign));
    EXPECT_EQ(trafficReader.takeCallsigns(), (std::set<std::string>{"DLH4AB", "TKJ8QA"}));
    EXPECT_FALSE(trafficReader.collecting());
    trafficReader.processLine(airborneLine);
    EXPECT_TRUE(trafficReader.callsigns().empty());
}

TEST_F(TrafficReaderTest, UdpRoundTripOnLoopback) {
    gf_setMainLoopRunning(true);
    ASSERT_TRUE(gf_startTrafficReader(0));
    const uint16_t port = trafficReader.port();
    ASSERT_NE(port, 0);
    // A datagram above 2 KB: the whole capture in one.
    VDL_RECORDED_TRAFFIC(file, "realtraffic/eddl-2024-08-24.rttfc");
    std::ifstream in(file);
    const std::string capture((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(capture.size(), 2048u);
    test::sendDatagram(port, capture);
    ASSERT_TRUE(test::eventually([] { return gf_trafficQueueSize() == 18; }));

    gf_stopReaders();
    EXPECT_FALSE(trafficReader.running());
    test::sendDatagram(port, airborneLine);  // to the stopped reader: lost
    EXPECT_FALSE(readerError.load());
    ASSERT_TRUE(gf_startTrafficReader(port));  // the port is free again
    test::sendDatagram(port, groundLine);
    ASSERT_TRUE(test::eventually([] { return gf_trafficQueueSize() > 18; }));
    EXPECT_EQ(gf_trafficQueueSize(), 19u) << "a stopped reader read a datagram";
}

// A port held by a program without address reuse: the run ends with "READER ERROR".
TEST_F(TrafficReaderTest, ReaderErrorEndsTheRun) {
    const Socket holder = test::bindUdpExclusively(0);
    ASSERT_TRUE(holder.valid());
    const uint16_t port = gf_localPort(holder);

    std::vector<ExitReason> reasons;
    gf_setFinalExitHook([&](ExitReason r, int) { reasons.push_back(r); });
    EXPECT_FALSE(gf_startTrafficReader(port));
    EXPECT_TRUE(readerError.load());
    EXPECT_EQ(reasons, std::vector<ExitReason>{ExitReason::ReaderError});
    EXPECT_NE(logText().find("traffic reader error: bind to port"), std::string::npos);
}

}  // namespace
}  // namespace vdl
