// Aircraft records, the run-wide lists and the stand-slot gate.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <type_traits>
#include <vector>

#include "airports/stand_records.h"
#include "traffic/traffic_fixture.h"

namespace vdl::test {
namespace {

using TrafficRecords = TrafficTest;

// Counted down to -300; unsigned it would pin climbing aircraft to the ground.
static_assert(std::is_same_v<decltype(LiveAc::configCountdown), int32_t>);

TEST_F(TrafficRecords, SteadyTicksCountHundredNanoseconds) {
    const uint64_t a = gf_steadyTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint64_t b = gf_steadyTicks();
    EXPECT_GE(b - a, 200'000u);
    EXPECT_LT(b - a, 50'000'000u);
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

// The link's thread pushes notices while the run worker takes them in its lock order
// (replyMutex, then simMutex): nothing is lost, each thread's order is kept.
TEST_F(TrafficRecords, RepliesFromOtherThreadsArriveInOrder) {
    constexpr int threads = 3;
    constexpr uint32_t perThread = 2000;
    std::vector<std::thread> pushers;
    for (int t = 0; t < threads; ++t) {
        pushers.emplace_back([t] {
            for (uint32_t i = 0; i < perThread; ++i)
                gf_pushSimReply(SimReply{static_cast<uint32_t>(t), i, 0, REPLY_IN_RANGE_LOW, 0.0, 0.0});
        });
    }
    std::vector<std::vector<uint32_t>> seen(threads);
    for (size_t total = 0; total < threads * perThread;) {
        std::vector<SimReply> taken;
        {
            std::lock_guard replies(replyMutex);
            std::lock_guard sim(simMutex);
            taken.swap(simReplies);
        }
        for (const auto& r : taken) seen[r.objectId].push_back(r.hexid);
        total += taken.size();
    }
    for (auto& t : pushers) t.join();
    for (int t = 0; t < threads; ++t) {
        ASSERT_EQ(seen[t].size(), perThread);
        for (uint32_t i = 0; i < perThread; ++i) ASSERT_EQ(seen[t][i], i);
    }
}

}  // namespace
}  // namespace vdl::test
