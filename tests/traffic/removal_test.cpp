// Removal, ghosts, duplicates, the live-aircraft limit and Callsign2ObjectId.txt.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/files.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/removal.h"
#include "traffic/spawn_gate.h"
#include "traffic/traffic_services.h"

namespace vdl::test {
namespace {

class Removal : public TrafficTest {
protected:
    void TearDown() override {
        parkPositions.clear();
        TrafficTest::TearDown();
    }

    // A new aircraft whose first point is due now.
    static LiveAc& arriving(uint32_t hexid, std::string callsign) {
        LiveAc& ac = addActiveLiveAc(hexid, 0, std::move(callsign));
        ac.state = AcState::fresh;
        ac.groundState = GroundState::fresh;
        ac.identity.title = {};
        ac.stream.front().time = clock100.load();
        StreamPos q = ac.stream.front();
        q.lat += 0.01;
        q.time += 1000;
        ac.stream.push_back(q);
        return ac;
    }
};

TEST_F(Removal, GhostIsReplacedByTheRealCallsign) {
    activeAt(50000, 60, 5.0, "ABC123_");
    arriving(50001, "ABC123");
    updateBufferAc(liveAircraft[1]);
    EXPECT_EQ(liveAircraft[1].state, AcState::creating);
    EXPECT_EQ(liveAircraft[0].state, AcState::removed);
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{60});
    EXPECT_EQ(ghostCallsigns, std::vector<std::string>{"ABC123_"});

    // Later records of the ghost create nothing that gets into the simulator.
    arriving(50002, "ABC123_");
    updateBufferAc(liveAircraft[2]);
    EXPECT_TRUE(liveAircraft[2].erase);
    EXPECT_EQ(liveAircraft[2].state, AcState::fresh);
}

TEST_F(Removal, LoweringMaxLiveRemovesTheFarthest) {
    for (uint32_t i = 0; i < 20; ++i) activeAt(51000 + i, 100 + i, 1.0 + (i * 7 % 20));
    MAX_LIVE.set(15);
    gf_enforceMaxLiveAc();
    std::vector<double> removed;
    for (const LiveAc& ac : liveAircraft)
        if (ac.state == AcState::removed) removed.push_back(std::round((ac.lat - userLat) / degPerNm));
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<double>{16, 17, 18, 19, 20}));
    gf_enforceMaxLiveAc();
    EXPECT_EQ(removalQueue.size(), 5u);
    MAX_LIVE.set(-1);
    gf_enforceMaxLiveAc();
    EXPECT_EQ(removalQueue.size(), 5u);
}

TEST_F(Removal, CancelPendingCreateKeepsTheOrder) {
    const auto cmd = [](std::string tail, uint32_t hexid) { return createCommand(hexid, std::move(tail)); };
    std::deque<CreateAcCmd> q = {cmd("A1", 1), cmd("B2", 2), cmd("A1", 3), cmd("C3", 4), cmd("A1", 1), cmd("D4", 5)};
    EXPECT_FALSE(gf_cancelPendingCreate(q, "", 1));
    EXPECT_FALSE(gf_cancelPendingCreate(q, "A1", 9)) << "the same callsign of another aircraft stays";
    EXPECT_TRUE(gf_cancelPendingCreate(q, "A1", 1));
    std::vector<uint32_t> left;
    for (const auto& c : q) left.push_back(c.hexid);
    EXPECT_EQ(left, (std::vector<uint32_t>{2, 3, 4, 5}));
}

TEST_F(Removal, Callsign2ObjectIdIsSorted) {
    parkPositions.emplace_back("B12", std::vector<ParkPosOption>{}, 52.0, 5.0, 0.0, 20.0, false, false, false).id = 1;
    LiveAc& c = activeAt(52000, 70, 1.0, "TRA555");
    c.onGround = true;
    c.groundState = GroundState::parked;
    c.standId = 1;
    activeAt(52001, 71, 2.0, "DLH4").identity.airl = "DLH";
    LiveAc& g = activeAt(52002, 72, 3.0, "AFR123");
    g.onGround = true;
    activeAt(52003, 73, 4.0, "BAW9").state = AcState::creating;
    ASSERT_TRUE(gf_writeCallsign2ObjectId());
    ASSERT_TRUE(gf_waitForCallsign2ObjectId());
    const auto lines = gf_readFileLines(callsign2ObjectIdFile);
    ASSERT_TRUE(lines.has_value());
    const std::vector<std::string> expected = {
        "Air DLH4      DLH B738: 71 ",
        "Gnd AFR123    KLM B738: 72 ",
        "Gnd TRA555    KLM B738: 70 Parked at B12",
    };
    EXPECT_EQ(*lines, expected);
}

// The listing's text against formatting each line and sorting the strings: callsigns of every
// length, shared prefixes, non-ASCII ones (fmt pads them by code points), parked and not.
TEST_F(Removal, Callsign2ObjectIdMatchesFormattingAndSorting) {
    const std::vector<std::string> pool = {"", "A", "AB", "DLH4", "DLH40", "DLH400", "DLH4000", "DLH40000",
                                           "DLH400000", "DLH4000000", "\xc3\x84" "BC1", "Z\xc3\xa9", "AAAAAAAAAAAAAAAAAAA"};
    for (uint32_t i = 1; i <= 5; ++i)
        parkPositions.emplace_back(i % 2 ? "B" + std::to_string(i) : "\xc3\x9c" + std::to_string(i),
                                   std::vector<ParkPosOption>{}, 52.0, 5.0, 0.0, 20.0, false, false, false)
            .id = i;
    std::mt19937 rng(7);
    for (uint32_t i = 0; i < 300; ++i) {
        LiveAc& ac = activeAt(60000 + i, 1 + rng() % 40, 1.0 + i % 30, pool[rng() % pool.size()]);
        ac.onGround = rng() % 2 == 0;
        ac.identity.airl = rng() % 3 == 0 ? "" : "DLH";
        if (rng() % 3 == 0) {
            ac.groundState = GroundState::parked;
            ac.standId = rng() % 7;  // 6 is no stand of the list, 0 none
        }
        if (rng() % 10 == 0) ac.state = AcState::removed;
    }
    std::vector<std::string> lines;
    for (const LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active) continue;
        const std::string parked = ac.groundState == GroundState::parked
                                       ? fmt::format("Parked at {}", gf_standNameById(ac.standId))
                                       : std::string();
        lines.push_back(fmt::format("{} {:9} {} {}: {} {}", ac.onGround ? "Gnd" : "Air", ac.identity.callsign,
                                    ac.identity.airl, ac.identity.type, ac.objectId, parked));
    }
    std::sort(lines.begin(), lines.end());
    std::string expected;
    for (const auto& l : lines) expected += l + "\n";
    EXPECT_EQ(gf_callsign2ObjectIdText(), expected);
}

TEST_F(Removal, RemovingClearsStandAndSelection) {
    parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, 52.0, 5.0, 0.0, 20.0, false, false, false).id = 3;
    parkPositions.back().occupied = 1;
    LiveAc& ac = activeAt(53000, 80, 1.0, "KLM530");
    ac.standId = 3;
    CALLSIGN_2_OBJECTID.set("KLM530");
    gf_showObjectIdOfCallsign();
    EXPECT_EQ(selectedObjectId, 80u);
    EXPECT_EQ(mainWindow.value(WindowArea::Options, objectIdDisplayName), "= 80");
    removeAircraftFromSim(ac);
    EXPECT_EQ(selectedObjectId, 0u);
    EXPECT_EQ(mainWindow.value(WindowArea::Options, objectIdDisplayName), "");
    EXPECT_EQ(CALLSIGN_2_OBJECTID.value(), "");
    EXPECT_FALSE(parkPositions[0].occupied);
}

TEST_F(Removal, DuplicateOfAStaticAircraft) {
    struct Case {
        const char* name;
        std::string liveReg, liveCallsign, liveCoupled;
        std::string staticReg, staticCopy, staticCoupled;
        AcState staticState;
        bool duplicate;
    };
    const Case cases[] = {
        {"same registration", "PH-AAA", "KLM1", "", "PH-AAA", "KLM9", "", AcState::active, true},
        {"same callsign", "PH-AAA", "KLM1", "", "PH-BBB", "KLM1", "", AcState::active, true},
        {"nothing in common", "PH-AAA", "KLM1", "", "PH-BBB", "KLM2", "", AcState::active, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc live(StreamPos{}, testIdentity(54000, c.liveCallsign), 1.0);
        live.identity.reg = c.liveReg;
        live.identity.coupledCallsign = c.liveCoupled;
        AiAircraft stat(testIdentity(7, c.staticCopy + "*"), 0, 52.0, 5.0, 0.0, 0);
        stat.identity.reg = c.staticReg;
        stat.identity.callsignCopy = c.staticCopy;
        stat.identity.coupledCallsign = c.staticCoupled;
        stat.state = c.staticState;
        EXPECT_EQ(gf_removeDuplicateLiveAc(live, stat), c.duplicate);
    }
}

}  // namespace
}  // namespace vdl::test
