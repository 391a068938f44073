// Static aircraft from the plan to the simulator stand-in: the traffic step places them at its
// own pace behind live creates, the link creates them, and they park two seconds later.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "simulator/stand_in.h"
#include "static_support.h"
#include "support/simulator_world.h"
#include "traffic/sim_replies.h"
#include "traffic/static_placing.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

constexpr double rangeNm = 5.0;

class StaticFlow : public StaticTest {
  protected:
    void SetUp() override {
        StaticTest::SetUp();
        gf_installTrafficHooks();
        sim = openWorld();
        placeUser(worldAirportLat, worldAirportLon, true, 0.0, worldAirportElevation + 5.0, 0.0);
        lateralRangeMeters = rangeNm * 1852.0;
    }
    void TearDown() override {
        lateralRangeMeters = 40.0 * 1852.0;
        StaticTest::TearDown();
    }

    // Four stands on the apron and one 9 nm out, beyond the in-range radius (the last in the list,
    // so the first the placing takes).
    static void apron() {
        for (int i = 0; i < 4; ++i) {
            ParkPos& p = addStand({{.slots = {20}}});
            p.lat = worldAirportLat + 0.005;
            p.lon = worldAirportLon + 0.001 * i;
        }
        ParkPos& far = addStand({{.slots = {20}}});
        far.lat = worldAirportLat + 0.15;
        far.lon = worldAirportLon;
    }

    size_t calls(SimCall call) const {
        const auto all = sim->calls();
        return static_cast<size_t>(
            std::count_if(all.begin(), all.end(), [call](const CallRecord& c) { return c.call == call; }));
    }
    bool shutDown(uint32_t objectId) const {
        const auto all = sim->calls();
        return std::any_of(all.begin(), all.end(), [objectId](const CallRecord& c) {
            return c.call == SimCall::TransmitClientEvent && c.objectId == objectId &&
                   c.detail.find("ENGINE_AUTO_SHUTDOWN") != std::string::npos;
        });
    }

    // Steps the traffic with a simulator frame every third step (30 frames a second); notes for
    // every static when it was placed and when it parked.
    void run(int steps) {
        for (int i = 0; i < steps; ++i) {
            const uint32_t clock = clock100.load();
            gf_updateAI();
            if (i % 3 == 0) frames(*sim);
            for (const AiAircraft& s : staticAircraft) {
                if (!placedAt.contains(s.identity.hexid)) {
                    placedAt[s.identity.hexid] = clock;
                    EXPECT_EQ(clock % createEvery, 0u) << "placed on a multiple of 50 only";
                    EXPECT_TRUE(liveCreateQueue.empty()) << "never while a live create waits";
                }
                if (s.state == AcState::active && !parkedAt.contains(s.identity.hexid))
                    parkedAt[s.identity.hexid] = clock;
            }
            const auto statics = std::count_if(staticAircraft.begin(), staticAircraft.end(),
                                               [](const AiAircraft& s) { return !s.erase; });
            if (holdCount) {
                EXPECT_LE(statics, parkingMaximum + 1);
            }
        }
    }

    std::shared_ptr<SimStandIn> sim;
    bool holdCount = true;
    std::map<uint32_t, uint32_t> placedAt;  // hexid -> clock
    std::map<uint32_t, uint32_t> parkedAt;
};

TEST_F(StaticFlow, StaticsArePlacedBehindLiveCreatesAndParkTwoSecondsAfterCreation) {
    apron();
    gf_planStaticParking();
    ASSERT_EQ(staticCandidates.size(), 5u);
    ASSERT_EQ(staticCandidates.back().standId, 5u);
    // Two live creates wait: the first two hand-overs are theirs.
    liveCreateQueue.push_back(createCommand(20001, "KLM901"));
    liveCreateQueue.push_back(createCommand(20002, "KLM902"));
    clock100 = 100001;
    run(1200);

    ASSERT_EQ(staticAircraft.size(), 4u) << "the stand beyond the in-range radius gets none";
    EXPECT_TRUE(staticCandidates.empty());
    EXPECT_GT(placedAt.begin()->second, 100100u) << "after the second live create";
    for (const AiAircraft& s : staticAircraft) {
        EXPECT_NE(s.standId, 5u);
        EXPECT_EQ(s.state, AcState::active) << s.identity.callsign;
        ASSERT_TRUE(parkedAt.contains(s.identity.hexid));
        EXPECT_GE(parkedAt[s.identity.hexid] - placedAt[s.identity.hexid], static_cast<uint32_t>(switchesStep));
        EXPECT_TRUE(shutDown(s.objectId)) << "park events for " << s.identity.callsign;
        EXPECT_TRUE(s.identity.callsign.ends_with("*"));
    }
    EXPECT_EQ(calls(SimCall::AICreateNonATCAircraft), 6u);

    // An adjustment keeps what stands and tries the far stand again, which stays empty: nothing
    // is created and removed over and over.
    gf_adjustStaticParking();
    run(600);
    EXPECT_EQ(staticAircraft.size(), 4u);
    EXPECT_EQ(calls(SimCall::AICreateNonATCAircraft), 6u);
    for (const AiAircraft& s : staticAircraft) EXPECT_EQ(s.state, AcState::active);
}

TEST_F(StaticFlow, ALowerMaximumRemovesTheEarliestParkedStaticOneAtATime) {
    apron();
    gf_planStaticParking();
    run(900);
    ASSERT_EQ(staticAircraft.size(), 4u);
    staticAircraft[2].parkSlot = {3, 10};  // parked earliest
    CUSTOM_MAX_PARK.set(2);
    holdCount = false;
    gf_maxParkNumber();
    gf_checkMaxPark(0);
    EXPECT_EQ(staticAircraft[2].state, AcState::removed);
    run(200);
    gf_checkMaxPark(0);
    run(200);
    EXPECT_EQ(staticAircraft.size(), 2u);
}

}  // namespace
}  // namespace vdl::test
