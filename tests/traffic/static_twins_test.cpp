// Tick job 61: a static aircraft that stands for a live one now on the ground goes; the indexed
// scan removes exactly what the plain scan over every pair removes, in the same order.
#include "traffic/static_twins.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "refdata/identity.h"
#include "traffic/traffic_lists.h"

namespace vdl {
namespace {

class StaticTwins : public ::testing::Test {
  protected:
    void SetUp() override { gf_resetTraffic(); }
    void TearDown() override { gf_resetTraffic(); }

    static void addLive(const std::string& callsign, const std::string& reg, AcState state, bool onGround) {
        StreamPos first;
        LiveAc live(first, gf_makeAcIdentity("DLH", "A320", "", "", callsign, "", "", reg, 0, 4000001), 0.0);
        live.state = state;
        live.onGround = onGround;
        live.objectId = 3;
        liveAircraft.push_back(std::move(live));
    }
    static void addStatic(const std::string& callsign, const std::string& reg, AcState state) {
        const auto objectId = static_cast<uint32_t>(10 + staticAircraft.size());
        AiAircraft s(gf_makeAcIdentity("DLH", "A320", "", "", callsign, "", "", reg, 0, objectId), 0, 51.0, 6.0,
                     0.0, false);
        s.state = state;
        s.objectId = objectId;
        staticAircraft.push_back(std::move(s));
    }
};

struct TwinCase {
    const char* name;
    const char* liveCallsign;
    const char* liveReg;
    bool liveOnGround;
    std::vector<std::tuple<const char*, const char*, AcState>> statics;  // callsign, reg, state
    std::vector<bool> removed;
};

TEST_F(StaticTwins, FirstActiveStaticWithTheCallsignStarredOrTheRegistrationGoes) {
    const auto A = AcState::active;
    const TwinCase cases[] = {
        {"callsign", "DLH4AB", "D-AIZQ", true, {{"DLH4AB*", "D-AIXX", A}}, {true}},
        {"registration", "DLH4AB", "D-AIZQ", true, {{"BAW1*", "D-AIZQ", A}}, {true}},
        {"airborne live", "DLH4AB", "D-AIZQ", false, {{"DLH4AB*", "D-AIZQ", A}}, {false}},
        {"only the first active", "DLH4AB", "D-AIZQ", true,
         {{"DLH4AB*", "", AcState::creating}, {"DLH4AB*", "", A}, {"EWG1*", "D-AIZQ", A}}, {false, true, false}},
        {"registration before callsign", "DLH4AB", "D-AIZQ", true,
         {{"EWG1*", "D-AIZQ", A}, {"DLH4AB*", "", A}}, {true, false}},
        {"no star, longer callsign", "DLH4AB", "", true, {{"DLH4AB", "", A}, {"DLH4ABC*", "", A}}, {false, false}},
        // Empty registrations (multilateration, generic static aircraft) name no aircraft.
        {"empty registrations", "DEBVE", "", true, {{"PVT9*", "", A}}, {false}},
        {"empty callsign", "", "", true, {{"*", "", A}}, {false}},
    };
    for (const auto& c : cases) {
        gf_resetTraffic();
        addLive(c.liveCallsign, c.liveReg, AcState::active, c.liveOnGround);
        for (const auto& [callsign, reg, state] : c.statics) addStatic(callsign, reg, state);
        gf_removeStaticTwinsOfLiveAc();
        ASSERT_EQ(staticAircraft.size(), c.removed.size()) << c.name;
        for (size_t i = 0; i < c.removed.size(); ++i)
            EXPECT_EQ(staticAircraft[i].state == AcState::removed, c.removed[i]) << c.name << " #" << i;
        EXPECT_EQ(liveAircraft[0].state, AcState::active) << c.name;
    }
}

// The scan over every pair: the object ids it removes, in order.
std::vector<uint32_t> lf_plainScan(std::vector<LiveAc> live, std::vector<AiAircraft> statics) {
    std::vector<uint32_t> removed;
    for (const LiveAc& l : live) {
        if (l.state != AcState::active || !l.onGround) continue;
        const std::string& callsign = l.identity.callsign;
        const std::string& reg = l.identity.reg;
        for (AiAircraft& parked : statics) {
            if (parked.state != AcState::active) continue;
            const bool sameCallsign = !callsign.empty() && parked.identity.callsign == callsign + "*";
            const bool sameReg = !reg.empty() && parked.identity.reg == reg;
            if (!sameCallsign && !sameReg) continue;
            parked.state = AcState::removed;
            removed.push_back(parked.objectId);
            break;
        }
    }
    return removed;
}

TEST_F(StaticTwins, IndexedScanRemovesWhatThePlainScanRemovesInItsOrder) {
    // Few names, so that callsigns and registrations repeat, stars double and keys overlap.
    const std::vector<std::string> callsigns = {"", "*", "AB1", "AB1*", "AB12", "AB12*", "AB1**", "CD7", "CD7*"};
    const std::vector<std::string> regs = {"", "", "D-AIZQ", "D-AIZ", "G-EUUA", "AB1"};
    const AcState states[] = {AcState::active, AcState::active, AcState::active, AcState::creating,
                              AcState::removed, AcState::fresh};
    std::mt19937 rng(27);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    size_t removedAtAll = 0;
    for (int fleet = 0; fleet < 300; ++fleet) {
        gf_resetTraffic();
        const size_t liveCount = pick(40);
        const size_t staticCount = pick(60);
        for (size_t i = 0; i < liveCount; ++i)
            addLive(callsigns[pick(callsigns.size())], regs[pick(regs.size())], states[pick(4)], pick(4) != 0);
        for (size_t i = 0; i < staticCount; ++i)
            addStatic(callsigns[pick(callsigns.size())], regs[pick(regs.size())], states[pick(std::size(states))]);
        const auto expected = lf_plainScan({liveAircraft.begin(), liveAircraft.end()}, staticAircraft);
        gf_removeStaticTwinsOfLiveAc();
        const std::vector<uint32_t> removed(removalQueue.begin(), removalQueue.end());
        ASSERT_EQ(removed, expected) << "fleet " << fleet;
        removedAtAll += removed.size();
    }
    EXPECT_GT(removedAtAll, 1000u);  // the fleets do have twins
}

}  // namespace
}  // namespace vdl
