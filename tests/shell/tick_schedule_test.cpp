#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "refdata/identity.h"
#include "shell/main_loop.h"
#include "support/shell_env.h"
#include "traffic/traffic_lists.h"

namespace vdl {
namespace {

TEST(TickSchedule, JobsByCount) {
    const std::pair<uint32_t, uint32_t> cases[] = {
        {1, 0},
        {16, tickJob16},
        {30, tickJob15 | tickJob30},
        {59, 0},  // ticks 59 and 60 have no work of their own
        {60, tickJob15 | tickJob30},
        {61, tickJob61},
        {62, tickJob62},
        {240, tickJob15 | tickJob30},  // 16 divides it, but so does 15
        {1200, tickJob15 | tickJob30 | tickJob1200},
        {3782, tickJob61 | tickJob62},
        {0, tickJob15 | tickJob30 | tickJob61 | tickJob62 | tickJob1200},
    };
    for (const auto& [count, jobs] : cases) EXPECT_EQ(gf_tickJobs(count), jobs) << "tick " << count;
}

TEST(TickSchedule, CountStartsAgainAt86400) {
    EXPECT_EQ(gf_nextTickCount(86398), 86399u);
    EXPECT_EQ(gf_nextTickCount(86399), 0u);
    // A count above the range (never made by the counter) still comes back into it.
    EXPECT_LT(gf_nextTickCount(90000), tickCountRestart);
}

// Tick job 61: a static aircraft that stands for a live one now on the ground goes.
struct TwinCase {
    const char* name;
    const char* liveCallsign;
    const char* liveReg;
    bool liveOnGround;
    std::vector<std::tuple<const char*, const char*, AcState>> statics;  // callsign, reg, state
    std::vector<bool> removed;
};

class StaticTwinsTest : public test::ShellTest {};

TEST_F(StaticTwinsTest, FirstActiveStaticWithTheCallsignStarredOrTheRegistrationGoes) {
    const auto A = AcState::active;
    const TwinCase cases[] = {
        {"callsign", "DLH4AB", "D-AIZQ", true, {{"DLH4AB*", "D-AIXX", A}}, {true}},
        {"registration", "DLH4AB", "D-AIZQ", true, {{"BAW1*", "D-AIZQ", A}}, {true}},
        {"airborne live", "DLH4AB", "D-AIZQ", false, {{"DLH4AB*", "D-AIZQ", A}}, {false}},
        {"only the first active", "DLH4AB", "D-AIZQ", true,
         {{"DLH4AB*", "", AcState::creating}, {"DLH4AB*", "", A}, {"EWG1*", "D-AIZQ", A}}, {false, true, false}},
        {"no star, longer callsign", "DLH4AB", "", true, {{"DLH4AB", "", A}, {"DLH4ABC*", "", A}}, {false, false}},
        // Empty registrations (multilateration, generic static aircraft) name no aircraft.
        {"empty registrations", "DEBVE", "", true, {{"PVT9*", "", A}}, {false}},
        {"empty callsign", "", "", true, {{"*", "", A}}, {false}},
    };
    for (const auto& c : cases) {
        gf_resetTraffic();
        StreamPos first;
        LiveAc live(first,
                    gf_makeAcIdentity("DLH", "A320", "", "", c.liveCallsign, "", "", c.liveReg, 0, 4000001),
                    0.0);
        live.state = AcState::active;
        live.onGround = c.liveOnGround;
        live.objectId = 3;
        liveAircraft.push_back(std::move(live));
        uint32_t objectId = 10;
        for (const auto& [callsign, reg, state] : c.statics) {
            AiAircraft s(gf_makeAcIdentity("DLH", "A320", "", "", callsign, "", "", reg, 0, objectId), 0,
                         51.0, 6.0, 0.0, 0);
            s.state = state;
            s.objectId = objectId++;
            staticAircraft.push_back(std::move(s));
        }
        gf_removeStaticTwinsOfLiveAc();
        ASSERT_EQ(staticAircraft.size(), c.removed.size()) << c.name;
        for (size_t i = 0; i < c.removed.size(); ++i)
            EXPECT_EQ(staticAircraft[i].state == AcState::removed, c.removed[i]) << c.name << " #" << i;
        EXPECT_EQ(liveAircraft[0].state, AcState::active) << c.name;
    }
}

}  // namespace
}  // namespace vdl
