// Leaving the park airport: which live aircraft go, which stay, and what they keep of their stand;
// the movement's view of the park airport.
#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "airports/park_airport_state.h"
#include "support/traffic_env.h"
#include "traffic/movement.h"
#include "traffic/park_airport_leave.h"

namespace vdl::test {
namespace {

class LeaveParkAirport : public TrafficTest {
  protected:
    void TearDown() override {
        gf_resetParkAirportState();
        TrafficTest::TearDown();
    }
};

TEST_F(LeaveParkAirport, WhichLiveAircraftGoAndWhatTheOthersKeep) {
    struct Case {
        GroundState ground;
        AcState state;
        bool queuedCreate;  // its create command still waits in liveCreateQueue
        bool stays;         // still in the list afterwards
        AcState after;
        bool keepsStand;
        bool removeWhenCreated;
    };
    const std::vector<Case> cases = {
        {GroundState::parked, AcState::active, false, true, AcState::removed, false, false},
        {GroundState::pushback, AcState::active, false, true, AcState::removed, false, false},
        {GroundState::taxi, AcState::active, false, true, AcState::removed, false, false},
        {GroundState::climbOut, AcState::active, false, true, AcState::removed, false, false},
        {GroundState::parked, AcState::creating, true, false, AcState::removed, false, false},
        {GroundState::parked, AcState::creating, false, true, AcState::removed, false, true},
        {GroundState::toStand, AcState::active, false, true, AcState::active, false, false},
        {GroundState::airborne, AcState::active, false, true, AcState::active, true, false},
        {GroundState::fresh, AcState::fresh, false, true, AcState::fresh, true, false},
    };
    uint32_t hexid = 20000;
    for (const auto& c : cases) {
        ++hexid;
        LiveAc& ac = addActiveLiveAc(hexid, c.state == AcState::active ? hexid : 0, fmt::format("KLM{}", hexid));
        ac.groundState = c.ground;
        ac.state = c.state;
        ac.standId = 7;
        ac.standLat = 52.3;
        ac.standLon = 4.76;
        if (c.queuedCreate) {
            CreateAcCmd cmd{};
            cmd.tailNumber = ac.identity.callsign;
            cmd.hexid = hexid;
            liveCreateQueue.push_back(cmd);
        }
    }
    gf_releaseParkedLiveAc();

    EXPECT_TRUE(liveCreateQueue.empty()) << "the waiting create is taken back";
    hexid = 20000;
    for (const auto& c : cases) {
        ++hexid;
        SCOPED_TRACE(fmt::format("ground state {}, state {}", static_cast<int>(c.ground), static_cast<int>(c.state)));
        const LiveAc* ac = nullptr;
        for (const LiveAc& a : liveAircraft)
            if (a.identity.hexid == hexid) ac = &a;
        ASSERT_EQ(ac != nullptr, c.stays);
        if (ac == nullptr) continue;
        EXPECT_EQ(ac->state, c.after);
        EXPECT_EQ(ac->standId, c.keepsStand ? 7u : 0u) << "no stand id of the old airport";
        EXPECT_EQ(ac->standLat, c.keepsStand ? 52.3 : 0.0);
        EXPECT_EQ(ac->removeWhenCreated, c.removeWhenCreated);
    }
    EXPECT_EQ(removalQueue.size(), 4u);
}

TEST_F(LeaveParkAirport, MovementFollowsTheLoadedParkAirport) {
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport = {"EDDL", "DUS", 51.29, 6.77, 147.0};
    }
    gf_syncMovementParkAirport();
    EXPECT_FALSE(movementParkAirport.loaded) << "chosen, not yet loaded";
    parkingActive = true;
    gf_syncMovementParkAirport();
    EXPECT_TRUE(movementParkAirport.loaded);
    EXPECT_EQ(movementParkAirport.icao, "EDDL");
    EXPECT_EQ(movementParkAirport.elevation, 147.0);
    gf_clearParkAirportState();
    gf_syncMovementParkAirport();
    EXPECT_FALSE(movementParkAirport.loaded);
    EXPECT_EQ(movementParkAirport.icao, "");
}

}  // namespace
}  // namespace vdl::test
