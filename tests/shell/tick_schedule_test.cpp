#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "refdata/identity.h"
#include "shell/main_loop.h"
#include "support/shell_env.h"
#include "traffic/traffic_lists.h"

namespace vdl {
namespace {

struct TickCase {
    uint32_t count;
    uint32_t jobs;
};

TEST(TickSchedule, JobsByCount) {
    const TickCase cases[] = {
        {1, 0},
        {15, tickJob15},
        {16, tickJob16},
        {30, tickJob15 | tickJob30},
        {32, tickJob16},
        {59, 0},  // ticks 59 and 60 have no work of their own
        {60, tickJob15 | tickJob30},
        {61, tickJob61},
        {62, tickJob62},
        {240, tickJob15 | tickJob30},  // 16 divides it, but so does 15
        {1200, tickJob15 | tickJob30 | tickJob1200},
        {1891, tickJob61},
        {3782, tickJob61 | tickJob62},
        {86399, 0},
        {0, tickJob15 | tickJob30 | tickJob61 | tickJob62 | tickJob1200},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_tickJobs(c.count), c.jobs) << "tick " << c.count;
}

TEST(TickSchedule, CountStartsAgainAt86400) {
    EXPECT_EQ(gf_nextTickCount(0), 1u);
    EXPECT_EQ(gf_nextTickCount(86398), 86399u);
    EXPECT_EQ(gf_nextTickCount(86399), 0u);
    // A count above the range (never made by the counter) still comes back into it.
    EXPECT_LT(gf_nextTickCount(90000), tickCountRestart);
}

TEST(TickSchedule, OneDayOfTicksRunsEachJobItsNumberOfTimes) {
    uint32_t count = 0;
    int runs[6] = {};
    for (int i = 0; i < 86400; ++i) {
        count = gf_nextTickCount(count);
        const uint32_t jobs = gf_tickJobs(count);
        for (int bit = 0; bit < 6; ++bit)
            if (jobs & (1u << bit)) ++runs[bit];
    }
    EXPECT_EQ(count, 0u) << "a day of ticks ends where it began";
    EXPECT_EQ(runs[0], 86400 / 15);
    EXPECT_EQ(runs[1], 86400 / 16 - 86400 / 240);
    EXPECT_EQ(runs[2], 86400 / 30);
    EXPECT_EQ(runs[3], 86400 / 61 + 1);  // 0 is counted once more
    EXPECT_EQ(runs[4], 86400 / 62 + 1);
    EXPECT_EQ(runs[5], 86400 / 1200);
}

}  // namespace
}  // namespace vdl

namespace vdl {
namespace {

// Tick job 61: a static aircraft that stands for a live one now on the ground goes.
struct TwinCase {
    const char* name;
    const char* liveCallsign;
    const char* liveReg;
    bool liveOnGround;
    std::vector<std::tuple<const char*, const char*, uint32_t>> statics;  // callsign, reg, state
    std::vector<bool> removed;
};

class StaticTwinsTest : public test::ShellTest {};

TEST_F(StaticTwinsTest, FirstActiveStaticWithTheCallsignStarredOrTheRegistrationGoes) {
    const TwinCase cases[] = {
        {"callsign", "DLH4AB", "D-AIZQ", true, {{"DLH4AB*", "D-AIXX", acStateActive}}, {true}},
        {"registration", "DLH4AB", "D-AIZQ", true, {{"BAW1*", "D-AIZQ", acStateActive}}, {true}},
        {"airborne live", "DLH4AB", "D-AIZQ", false, {{"DLH4AB*", "D-AIZQ", acStateActive}}, {false}},
        {"only the first",
         "DLH4AB",
         "D-AIZQ",
         true,
         {{"DLH4AB*", "", acStateCreating},
          {"DLH4AB*", "", acStateActive},
          {"EWG1*", "D-AIZQ", acStateActive}},
         {false, true, false}},
        {"no star, longer callsign",
         "DLH4AB",
         "",
         true,
         {{"DLH4AB", "", acStateActive}, {"DLH4ABC*", "", acStateActive}},
         {false, false}},
        // Empty registrations (multilateration, generic static aircraft) name no aircraft.
        {"empty registrations", "DEBVE", "", true, {{"PVT9*", "", acStateActive}}, {false}},
        {"empty callsign", "", "", true, {{"*", "", acStateActive}}, {false}},
    };
    for (const auto& c : cases) {
        gf_resetTrafficForTests();
        StreamPos first;
        LiveAc live(first,
                    gf_makeAcIdentity("DLH", "A320", "", "", c.liveCallsign, "", "", c.liveReg, 0, 4000001),
                    0.0);
        live.state = acStateActive;
        live.onGround = c.liveOnGround ? 1 : 0;
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
            EXPECT_EQ(staticAircraft[i].state == acStateRemoved, c.removed[i]) << c.name << " #" << i;
        EXPECT_EQ(liveAircraft[0].state, acStateActive) << c.name;
    }
}

}  // namespace
}  // namespace vdl
