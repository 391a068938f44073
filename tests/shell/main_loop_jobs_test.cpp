// The main loop's timed jobs, driven tick by tick through the loop's own step: each job is seen by
// its effect on an aircraft that only that job removes.
#include <gtest/gtest.h>

#include <string>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
#include "feed/traffic_reader.h"
#include "foundation/parameters.h"
#include "shell/main_loop.h"
#include "support/traffic_env.h"
#include "traffic/static_adjust.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

constexpr double farLat = userLat + 0.5;  // beyond the user's path

class MainLoopJobs : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        gf_resetAirports();
        gf_clearMainLoopState();
        liveAircraft.reserve(8);
        staticAircraft.reserve(8);
        // The user flies north at 5,000 ft: the user-path job looks ahead of it.
        placeUser(userLat, userLon, false, 0.0, 5000.0, 5000.0, 180.0);
        // No link: nothing is asked of the simulator, and the user's state stays the test's.
        simStopped = true;
        simRunning = true;
        // Away from a whole second, when the step would fetch the user's state.
        clock100 = 100001;
    }
    void TearDown() override {
        simRunning = false;
        simStopped = false;
        parkingActive = false;
        parkingBusy = false;
        COLLISION_LIVE_PARKED_GND.resetToDefault();
        gf_clearStaticAdjustState();
        gf_resetAirports();
        gf_clearMainLoopState();
        TrafficTest::TearDown();
    }

    // Live aircraft standing still where they are, so that the traffic step leaves them there.
    static LiveAc& liveAt(uint32_t hexid, std::string callsign, double lat, double lon, bool onGround) {
        LiveAc& ac = addActiveLiveAc(hexid, hexid + 500, std::move(callsign));
        ac.identity.reg = "PH-" + std::to_string(hexid);
        ac.lat = lat;
        ac.lon = lon;
        ac.onGround = onGround;
        ac.alt = onGround ? 0.0 : 5000.0;
        ac.heading = 0.0;
        StreamPos& p = ac.stream.front();
        p.lat = lat;
        p.lon = lon;
        p.alt = ac.alt;
        p.airborne = onGround ? 0 : 1;
        return ac;
    }
    static AiAircraft& staticAt(uint32_t hexid, std::string callsign, std::string reg, double lat, double lon,
                                uint32_t standId = 0) {
        AcIdentity id = testIdentity(hexid, std::move(callsign));
        id.reg = std::move(reg);
        AiAircraft& s = staticAircraft.emplace_back(std::move(id), standId, lat, lon, 0.0, false);
        s.state = AcState::active;
        s.objectId = hexid + 700;
        return s;
    }
    static AcState staticState(uint32_t hexid) {
        const AiAircraft* s = gf_findStaticAcByHexid(hexid);
        return s == nullptr ? AcState::fresh : s->state;
    }
    static AcState liveState(uint32_t hexid) {
        const LiveAc* ac = gf_findLiveAcByHexid(hexid);
        return ac == nullptr ? AcState::fresh : ac->state;
    }

    // The loop's steps up to and including the one that takes tick `count`.
    static void runToTick(uint32_t count) {
        while (tickCount.load() != count) {
            tickFlag = true;
            gf_mainLoopStep(++step_);
        }
    }

    static inline uint64_t step_ = 0;
};

TEST_F(MainLoopJobs, EachTimedJobRunsOnItsTick) {
    // Per second, from the first tick on.
    liveAt(10001, "KLM101", farLat + 0.5, userLon, false).identity.reg = "PH-DUP";  // airborne: no twin
    createdFollowUps.push_back(10001);
    staticAt(1, "KLM901*", "PH-DUP", farLat, userLon + 0.1);  // its registration flies live
    liveAt(10002, "KLM102", userLat + 1.0 * degPerNm, userLon, false);  // ahead of the user, at its level
    COLLISION_LIVE_PARKED_GND.set(true);
    LiveAc& taxiing = liveAt(10003, "KLM103", farLat, userLon + 0.2, true);
    taxiing.groundState = GroundState::taxi;
    staticAt(3, "KLM903*", "PH-903", farLat, userLon + 0.2);  // on the taxiing aircraft's way
    // Every 15 ticks: the reserved stand's static, and the first turn of an asked adjustment.
    ParkPos& reserved =
        parkPositions.emplace_back("R1", std::vector<ParkPosOption>{}, farLat, userLon + 0.3, 0.0, 30.0, false, false,
                                   false);
    reserved.id = 1;
    reservedStand = "R1";
    parkingActive = true;
    staticAt(4, "KLM904*", "PH-904", reserved.lat, reserved.lon, reserved.id);
    adjustRequested = true;

    runToTick(1);
    EXPECT_EQ(staticState(1), AcState::removed) << "the duplicate of a new live aircraft";
    EXPECT_EQ(liveState(10002), AcState::removed) << "in the user's path";
    EXPECT_EQ(staticState(3), AcState::removed) << "where a taxiing aircraft's wings reach";
    EXPECT_EQ(liveState(10001), AcState::active);
    EXPECT_EQ(liveState(10003), AcState::active);

    runToTick(14);
    EXPECT_EQ(staticState(4), AcState::active);
    EXPECT_FALSE(parkingBusy.load());
    runToTick(15);
    EXPECT_EQ(staticState(4), AcState::removed) << "on the user's reserved stand";
    EXPECT_TRUE(parkingBusy.load()) << "the adjustment's first turn disables the parking controls";
    EXPECT_TRUE(trafficReader.collecting());
    EXPECT_TRUE(adjustRequested.load()) << "its second turn comes 15 ticks later";
}

TEST_F(MainLoopJobs, Tick61RemovesTheStaticTwinsOfLiveAircraftOnTheGround) {
    liveAt(10005, "KLM105", farLat, userLon, true).groundState = GroundState::parked;
    staticAt(5, "KLM105*", "PH-905", farLat, userLon + 0.4);
    tickCount = 59;
    runToTick(60);
    EXPECT_EQ(staticState(5), AcState::active);
    runToTick(61);
    EXPECT_EQ(staticState(5), AcState::removed);
}

}  // namespace
}  // namespace vdl::test
