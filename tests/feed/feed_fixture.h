// Common set-up of the feed tests: a fresh working folder with Log.txt, and clean globals.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "feed/reset.h"
#include "foundation/log.h"
#include "foundation/net.h"
#include "foundation/reset.h"
#include "window/reset.h"
#include "foundation/time.h"
#include "support/wait.h"
#include "support/foundation_env.h"
#include "window/main_window.h"

namespace vdl::test {

class FeedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetWindow();
        gf_resetFeed();
        gf_setTestClock(captureTime);
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
    }
    void TearDown() override {
        gf_resetFeed();
        gf_resetWindow();
    }
    static std::string logText() { return readWholeFile("Log.txt"); }
    // The program's clock in the tests: shortly after the real capture below.
    static constexpr int64_t captureTime = 1724517700;

    TempWorkDir dir_;
};

inline void sendDatagram(uint16_t port, const std::string& text) {
    std::error_code ec;
    const Socket udp = gf_openUdp(ec);
    ASSERT_TRUE(udp) << ec.message();
    ASSERT_TRUE(gf_sendDatagram(udp, port, text));
}

// The line with field `index` replaced.
inline std::string withField(const std::string& line, size_t index, const std::string& value) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    for (std::string item; std::getline(ss, item, ',');) f.push_back(item);
    if (line.back() == ',') f.emplace_back();
    f.at(index) = value;
    std::string out;
    for (const auto& s : f) out += (out.empty() ? "" : ",") + s;
    return out;
}

// Made-up lines of the feed's shapes: an airliner climbing out of Düsseldorf and an aircraft
// creeping at a gate (2.8 kt, heading valid, no bank).
inline const std::string airborneLine =
    "RTTFC,4951730,51.262104,6.694218,3650,2816,1,230.63,151.3,TKJ8QA,B738,TC-JQA,ESB,DUS,1724517659.49,X,"
    "VF17,"
    "X_adsb_icao,3700,166,180,0.268,-0.19,0.18,226.41,229.49,2848,none,A3,1003.2,20000,39008,225,,0,-8.4,222,"
    "29,,,1";
inline const std::string groundLine =
    "RTTFC,4960467,51.276331,6.758016,0,0,0,0,2.8,PGT52K,A20N,TC-NBK,AYT,DUS,1724517622.78,X,PC5023,X_adsb_"
    "icao,"
    ",,,,,,,337.5,,none,A3,,,,,,36.7,-2.2,,,,,1";

}  // namespace vdl::test
