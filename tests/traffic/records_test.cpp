// The steady ticks, the run-wide lists and the stand-slot gate.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/traffic_env.h"

namespace vdl::test {
namespace {

using TrafficRecords = TrafficTest;

// The unit is 100 ns: a reading lies between two of the steady clock's taken around it.
TEST(SteadyTicks, CountHundredNanosecondsOfTheSteadyClock) {
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
    const auto before = std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch());
    const auto ticks = static_cast<int64_t>(gf_steadyTicks());
    const auto after = std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch());
    EXPECT_GE(ticks, before.count());
    EXPECT_LE(ticks, after.count());
}

TEST_F(TrafficRecords, StandSlotGate) {
    struct Row {
        const char* what;
        int32_t earlier;  // -1: none
        int32_t now;
        bool force, accepted;
        uint32_t storedAfter;
    };
    const Row rows[] = {
        {"new hexid", -1, 10, false, true, 10},         {"2 slots later", 10, 12, false, false, 10},
        {"3 slots later", 10, 13, false, true, 13},     {"across midnight, 2 slots", 47, 1, false, false, 47},
        {"across midnight, 3 slots", 47, 2, false, true, 2}, {"force in the same slot", 10, 10, true, true, 10},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        standSlotByHexid.clear();
        if (row.earlier >= 0) {
            ASSERT_TRUE(gf_standSlotGate(10001, WeekSlot{3, row.earlier}, true));
        }
        EXPECT_EQ(gf_standSlotGate(10001, WeekSlot{3, row.now}, row.force), row.accepted);
        ASSERT_EQ(standSlotByHexid.size(), 1u);
        EXPECT_EQ(standSlotByHexid[0].second, row.storedAfter);
    }
    // Other hexids keep their own slots.
    standSlotByHexid.clear();
    EXPECT_TRUE(gf_standSlotGate(10001, WeekSlot{1, 5}, false));
    EXPECT_TRUE(gf_standSlotGate(10002, WeekSlot{1, 6}, false));
    EXPECT_FALSE(gf_standSlotGate(10001, WeekSlot{1, 7}, false));
}

TEST_F(TrafficRecords, InitTrafficListsRunsOncePerProcess) {
    writeWholeFile(callsign2ObjectIdFile, "x\n");
    gf_initTrafficLists();
    EXPECT_FALSE(std::filesystem::exists(callsign2ObjectIdFile));
    writeWholeFile(callsign2ObjectIdFile, "x\n");
    addActiveLiveAc(10001, 3);
    gf_initTrafficLists();
    EXPECT_TRUE(std::filesystem::exists(callsign2ObjectIdFile));
    EXPECT_EQ(liveAircraft.size(), 1u);
}

}  // namespace
}  // namespace vdl::test
