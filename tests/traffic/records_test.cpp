// Aircraft records, the run-wide lists and the stand-slot gate.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

#include "airports/stand_records.h"
#include "feed/qnh.h"
#include "feed/traffic_queue.h"
#include "shell/window/exit.h"
#include "traffic/traffic_fixture.h"

namespace vdl::test {
namespace {

using TrafficRecords = TrafficTest;

TEST_F(TrafficRecords, LiveAcTakesTheIdentityAndStartsAsANewAircraft) {
    AcIdentity id = testIdentity(10042, "DLH4AB");
    id.origin = "EDDF";
    LiveAc ac(testPoint(500), std::move(id), 1700000000.5);

    EXPECT_TRUE(id.callsign.empty());  // moved in, not copied
    EXPECT_TRUE(id.origin.empty());
    EXPECT_EQ(ac.identity.callsign, "DLH4AB");
    EXPECT_EQ(ac.identity.hexid, 10042u);
    ASSERT_EQ(ac.stream.size(), 1u);
    EXPECT_EQ(ac.stream.front().time, 500u);
    EXPECT_EQ(ac.lastSampleTime, 1700000000.5);
    EXPECT_EQ(ac.state, acStateNew);
    EXPECT_EQ(ac.objectId, 0u);
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_EQ(ac.throttleStep, 5u);
    EXPECT_EQ(ac.flapsStep, 4u);
    EXPECT_EQ(ac.groundState, gsNew);
    EXPECT_EQ(ac.prevGroundState, gsNew);
    EXPECT_EQ(ac.earlyWindow, 1000);
    EXPECT_EQ(ac.lateWindow, 1000);
    EXPECT_EQ(ac.configCountdown, 1);
    // The configuration steps count it down to -300; unsigned it would pin climbing aircraft.
    static_assert(std::is_same_v<decltype(LiveAc::configCountdown), int32_t>);
    EXPECT_EQ(ac.aglFt, 2500.0);
    EXPECT_TRUE(std::isnan(ac.curveP1East));
    EXPECT_TRUE(std::isnan(ac.curveP1North));
}

TEST_F(TrafficRecords, ACopyOwnsItsStream) {
    LiveAc source(testPoint(10), testIdentity(10001, "A1"), 0.0);
    source.stream.push_back(testPoint(20));
    LiveAc copy = source;
    copy.stream.front().lat = 10.0;
    copy.stream.push_back(testPoint(30));
    copy.stream.pop_front();

    ASSERT_EQ(source.stream.size(), 2u);
    EXPECT_EQ(source.stream.front().lat, 52.3);
    EXPECT_EQ(source.stream.front().time, 10u);
    EXPECT_EQ(source.stream.back().time, 20u);
    EXPECT_EQ(copy.stream.size(), 2u);

}

struct CategoryRow {
    AircraftCategory category;
    double turnDegPerStep;
    double groundAccel;
    double standTaxiSpeed;
};

TEST_F(TrafficRecords, CategoryValuesOfANewLiveAircraft) {
    const CategoryRow rows[] = {
        {AircraftCategory::Light, 0.15, 0.5, 5.0},     {AircraftCategory::Buzjets, 0.1, 0.75, 4.5},
        {AircraftCategory::Large, 0.07, 0.6, 4.0},     {AircraftCategory::Heavy, 0.05, 0.5, 3.0},
        {AircraftCategory::HighPerf, 0.1, 1.0, 4.5},   {AircraftCategory::Rotorcraft, 0.2, 0.75, 5.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(gf_categoryName(row.category));
        AcIdentity id;
        id.category = row.category;
        gf_setCategoryValues(id);
        EXPECT_DOUBLE_EQ(id.baseTurnRate, row.turnDegPerStep * std::numbers::pi / 180.0);
        EXPECT_EQ(id.turnRate, id.baseTurnRate);
        EXPECT_EQ(id.groundAccel, row.groundAccel);
        EXPECT_EQ(id.standTaxiSpeed, row.standTaxiSpeed);
    }
    AcIdentity bad;
    bad.category = static_cast<AircraftCategory>(6);
    EXPECT_THROW(gf_setCategoryValues(bad), std::invalid_argument);
    bad.category = static_cast<AircraftCategory>(-1);
    EXPECT_THROW(gf_setCategoryValues(bad), std::invalid_argument);
}

TEST_F(TrafficRecords, SteadyTicksCountHundredNanoseconds) {
    const uint64_t a = gf_steadyTicks();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint64_t b = gf_steadyTicks();
    EXPECT_GE(b - a, 200'000u);   // 20 ms
    EXPECT_LT(b - a, 50'000'000u);  // well below 5 s
}

struct GateRow {
    const char* what;
    std::vector<std::pair<uint32_t, bool>> earlier;  // slots stored before (force on)
    int32_t now;
    bool force;
    bool accepted;
    uint32_t storedAfter;
};

TEST_F(TrafficRecords, StandSlotGate) {
    const GateRow rows[] = {
        {"new hexid", {}, 10, false, true, 10},
        {"same slot", {{10, true}}, 10, false, false, 10},
        {"2 slots later", {{10, true}}, 12, false, false, 10},
        {"3 slots later", {{10, true}}, 13, false, true, 13},
        {"across midnight, 2 slots", {{47, true}}, 1, false, false, 47},
        {"across midnight, 3 slots", {{47, true}}, 2, false, true, 2},
        {"across midnight, 1 slot", {{46, true}}, 47, false, false, 46},
        {"force in the same slot", {{10, true}}, 10, true, true, 10},
        {"force 1 slot later", {{10, true}}, 11, true, true, 11},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        standSlotByHexid.clear();
        for (const auto& [slot, force] : row.earlier) {
            ASSERT_TRUE(gf_standSlotGate(10001, WeekSlot{3, static_cast<int32_t>(slot)}, force));
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
    EXPECT_TRUE(gf_standSlotGate(10002, WeekSlot{1, 9}, false));
    EXPECT_EQ(standSlotByHexid.size(), 2u);
}

TEST_F(TrafficRecords, InitTrafficListsRunsOncePerProcess) {
    test::writeWholeFile(callsign2ObjectIdFile, "Gnd KLM1234   KLM B738: 3 \n");
    gf_initTrafficLists();
    EXPECT_FALSE(std::filesystem::exists(callsign2ObjectIdFile));
    EXPECT_GE(liveAircraft.capacity(), 512u);
    EXPECT_GE(staticAircraft.capacity(), 256u);
    EXPECT_GE(pendingSpawns.capacity(), 64u);
    EXPECT_GE(ghostCallsigns.capacity(), 64u);
    EXPECT_GE(switchFollowUps.capacity(), 128u);
    EXPECT_GE(simReplies.capacity(), 256u);

    // The second call neither deletes the file again nor touches the lists.
    test::writeWholeFile(callsign2ObjectIdFile, "x\n");
    addActiveLiveAc(10001, 3);
    const auto* data = liveAircraft.data();
    gf_initTrafficLists();
    EXPECT_TRUE(std::filesystem::exists(callsign2ObjectIdFile));
    EXPECT_EQ(liveAircraft.data(), data);
    EXPECT_EQ(liveAircraft.size(), 1u);
}

TEST_F(TrafficRecords, InitTrafficListsReportsAFileItCannotRemove) {
    // A folder of that name cannot be removed as a file.
    std::filesystem::create_directories(std::filesystem::path(callsign2ObjectIdFile) / "inside");
    try {
        gf_initTrafficLists();
        FAIL() << "no exception";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_NE(std::string(e.what()).find("remove"), std::string::npos) << e.what();
    }
    // Not marked as done: the next call tries again.
    std::filesystem::remove_all(callsign2ObjectIdFile);
    test::writeWholeFile(callsign2ObjectIdFile, "x\n");
    gf_initTrafficLists();
    EXPECT_FALSE(std::filesystem::exists(callsign2ObjectIdFile));
}

TEST_F(TrafficRecords, ClearTrafficListsEmptiesTheRun) {
    gf_initTrafficLists();
    addActiveLiveAc(10001, 3);
    staticAircraft.emplace_back(testIdentity(1, "KLM1*"), 1, 0.0, 0.0, 0.0, 0);
    pendingSpawns.push_back(10001);
    liveCreateQueue.push_back(CreateAcCmd{});
    staticCreateQueue.push_back(CreateAcCmd{});
    removalQueue.push_back(3);
    createdFollowUps.push_back(10001);
    ghostCallsigns.push_back("KLM1_");
    noMatchKeys.insert("KLM B738 PH-BXA");
    liveryByHexid[10001] = "t";
    standSlotByHexid.emplace_back(10001, 4);
    staticCandidates.push_back(StaticCandidate{});
    gf_pushSimReply(SimReply{3, 10001, 0, REPLY_LIVE_CREATED, 0.0, 0.0});
    {
        std::lock_guard lock(replyMutex);
        switchFollowUps.push_back(SwitchFollowUp{3, 10001, 0, 0});
    }
    {
        std::lock_guard lock(trafficMutex);
        trafficQueue.emplace_back();
        trafficQueue.back().callsign = "KLM9";
        mainLoopRunning = true;
    }
    parkingBusy = true;
    tickFlag = true;
    qnh = 998;
    test::writeWholeFile(callsign2ObjectIdFile, "x\n");

    gf_clearTrafficLists();

    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(pendingSpawns.empty());
    EXPECT_TRUE(liveCreateQueue.empty());
    EXPECT_TRUE(staticCreateQueue.empty());
    EXPECT_TRUE(removalQueue.empty());
    EXPECT_TRUE(createdFollowUps.empty());
    EXPECT_TRUE(ghostCallsigns.empty());
    EXPECT_TRUE(noMatchKeys.empty());
    EXPECT_TRUE(liveryByHexid.empty());
    EXPECT_TRUE(standSlotByHexid.empty());
    EXPECT_TRUE(staticCandidates.empty());
    EXPECT_TRUE(simReplies.empty());
    EXPECT_TRUE(switchFollowUps.empty());
    EXPECT_TRUE(trafficQueue.empty());
    EXPECT_FALSE(mainLoopRunning);
    EXPECT_FALSE(parkingBusy.load());
    EXPECT_FALSE(tickFlag.load());
    EXPECT_EQ(qnh.load(), 1013);
    EXPECT_FALSE(std::filesystem::exists(callsign2ObjectIdFile));
    // The capacities stay for the next run.
    EXPECT_GE(liveAircraft.capacity(), 512u);
}

// The link's thread pushes notices while the run worker takes them in its lock order
// (replyMutex, then simMutex). Nothing is lost and the order of each thread is kept.
TEST_F(TrafficRecords, RepliesFromOtherThreadsArriveInOrder) {
    constexpr int threads = 3;
    constexpr uint32_t perThread = 2000;
    std::atomic<bool> go{false};
    std::vector<std::thread> pushers;
    for (int t = 0; t < threads; ++t) {
        pushers.emplace_back([&, t] {
            while (!go.load()) std::this_thread::yield();
            for (uint32_t i = 0; i < perThread; ++i) {
                gf_pushSimReply(SimReply{static_cast<uint32_t>(t), i, 0, REPLY_IN_RANGE_LOW, 0.0, 0.0});
            }
        });
    }
    std::vector<std::vector<uint32_t>> seen(threads);
    go = true;
    size_t total = 0;
    while (total < threads * perThread) {
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
