// Every removal of an aircraft the simulator shows leaves a line with its reason in Log.txt,
// limited when a whole sky goes at once.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <string>

#include "foundation/log.h"
#include "support/traffic_env.h"
#include "traffic/parking.h"
#include "traffic/removal.h"
#include "traffic/spawn_gate.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

class RemovalLog : public TrafficTest {
  protected:
    static size_t count(const std::string& text, const std::string& part) {
        size_t n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
};

// Removals on the program's own paths: the traffic step when the data ends, the intake when a
// ghost's real callsign comes, the exit's sweep.
TEST_F(RemovalLog, EachPathLogsItsReason) {
    LiveAc& ending = activeAt(60001, 71, 3.0, "DLH7AB");
    ending.groundState = GroundState::airborne;
    ending.extensionCount = -1;  // its made-up points are used up
    ending.stream.resize(1);
    ending.stream.front().time = clock100.load();
    updateLiveAc(ending);
    ASSERT_EQ(ending.state, AcState::removed);

    activeAt(60002, 72, 5.0, "ABC123_");
    LiveAc& real = addActiveLiveAc(60003, 0, "ABC123");
    real.state = AcState::fresh;
    real.groundState = GroundState::fresh;
    real.identity.title = {};
    real.stream.front().time = clock100.load();
    StreamPos q = real.stream.front();
    q.lat += 0.01;
    q.time += 1000;
    real.stream.push_back(q);
    updateBufferAc(liveAircraft.back());

    activeAt(60004, 74, 8.0, "EZY12");
    gf_removeAllLiveAc();
    gf_closeLog();

    const std::string log = logText();
    const struct {
        const char* callsign;
        const char* reason;
    } cases[] = {
        {"DLH7AB", "removed: its data ended"},
        {"ABC123_", "removed: a ghost of ABC123"},
        {"EZY12", "removed: all live aircraft removed"},
    };
    for (const auto& c : cases) {
        // One removal line per aircraft, led by its callsign.
        const std::string lead = fmt::format("\n{:8} ", c.callsign);
        EXPECT_EQ(count(log, lead), 1u) << c.callsign << "\n" << log;
        const size_t at = log.find(lead);
        ASSERT_NE(at, std::string::npos) << c.callsign << "\n" << log;
        const std::string line = log.substr(at + 1, log.find('\n', at + 1) - at - 1);
        EXPECT_TRUE(line.ends_with(c.reason)) << line;
    }
}

// A record never handed to the simulator leaves no line; one removed while it is created
// leaves one, not a second when it then exists.
TEST_F(RemovalLog, OnlyObjectsTheSimulatorShowsOrIsCreatingAreLogged) {
    LiveAc& fresh = addActiveLiveAc(61001, 0, "FRESH1");
    fresh.state = AcState::fresh;
    removeAircraftFromSim(fresh, "first reason");
    EXPECT_TRUE(fresh.erase);

    LiveAc& creating = addActiveLiveAc(61002, 0, "MAKE22");
    creating.state = AcState::creating;
    removeAircraftFromSim(creating, "second reason");
    ASSERT_TRUE(creating.removeWhenCreated) << "its create was already handed on";
    creating.state = AcState::active;  // as the create's reply leaves it
    creating.objectId = 81;
    removeAircraftFromSim(creating, "third reason");
    EXPECT_EQ(creating.state, AcState::removed);
    removeAircraftFromSim(creating, "fourth reason");
    gf_closeLog();

    const std::string log = logText();
    EXPECT_EQ(log.find("first reason"), std::string::npos);
    EXPECT_EQ(count(log, "MAKE22"), 1u) << log;
    EXPECT_NE(log.find("removed: second reason"), std::string::npos) << log;
    EXPECT_EQ(log.find("third reason"), std::string::npos);
    EXPECT_EQ(log.find("fourth reason"), std::string::npos);
}

TEST_F(RemovalLog, AWholeSkyIsSummedUp) {
    for (uint32_t i = 0; i < 100; ++i) activeAt(62000 + i, 100 + i, 2.0 + i * 0.1, fmt::format("SKY{}", i));
    gf_removeAllLiveAc();
    gf_closeLog();
    const std::string log = logText();
    EXPECT_EQ(count(log, "removed: all live aircraft removed"), 30u);
    EXPECT_NE(log.find("removed: ... and 70 more"), std::string::npos) << log;
}

}  // namespace
}  // namespace vdl::test
