// Stand use learned from live traffic: real options and the half hours between two sightings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
#include "foundation/time.h"
#include "support/traffic_env.h"
#include "traffic/stand_learning.h"

namespace vdl::test {
namespace {

class StandLearning : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        gf_resetAirports();
        ParkPos& p = parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, 47.45, 8.55, 0.0, 25.0, false,
                                                false, false);
        p.id = 1;
        ac = &addActiveLiveAc(7, 107, "SWR12");
        ac->identity.airl = "SWR";
        ac->identity.reg = "HB-JXA";
        ac->standId = 1;
    }
    void TearDown() override {
        parkPositions.clear();
        gf_resetAirports();
        TrafficTest::TearDown();
    }

    static HalfHourSet hoursOf(int32_t weekday) {
        HalfHourSet set;
        for (const ParkPosOption& o : parkPositions.front().options)
            if (o.day == static_cast<uint32_t>(weekday) && o.kind == optionReal) set |= o.hours;
        return set;
    }

    LiveAc* ac = nullptr;
};

TEST_F(StandLearning, GapsOfUpToFiveHalfHoursAreFilled) {
    struct Case {
        const char* name;
        WeekSlot first;
        WeekSlot second;
        std::vector<std::pair<int32_t, int32_t>> set;  // weekday, slot
        std::vector<std::pair<int32_t, int32_t>> unset;
    };
    const std::vector<Case> cases = {
        {"five slots later", {2, 10}, {2, 15}, {{2, 10}, {2, 11}, {2, 12}, {2, 13}, {2, 14}, {2, 15}}, {}},
        {"six slots later", {2, 10}, {2, 16}, {{2, 10}, {2, 16}}, {{2, 11}, {2, 13}, {2, 15}}},
        {"across midnight", {3, 46}, {4, 2}, {{3, 46}, {3, 47}, {4, 0}, {4, 1}, {4, 2}}, {}},
        {"across the week's end", {7, 45}, {1, 1}, {{7, 45}, {7, 46}, {7, 47}, {1, 0}, {1, 1}}, {}},
        {"six across midnight", {5, 44}, {6, 2}, {{5, 44}, {6, 2}}, {{5, 45}, {5, 47}, {6, 0}, {6, 1}}},
    };
    for (const Case& c : cases) {
        parkPositions.front().options.clear();
        parkPositions.front().realUses.clear();
        const int32_t before = updateCount;
        EXPECT_TRUE(gf_addRealParkPosOption(1, *ac, true, c.first)) << c.name;
        EXPECT_TRUE(gf_addRealParkPosOption(1, *ac, true, c.second)) << c.name;
        EXPECT_EQ(updateCount, before + 2) << c.name;
        for (auto [day, slot] : c.set) EXPECT_TRUE(hoursOf(day).test(slot)) << c.name << " " << day << "/" << slot;
        for (auto [day, slot] : c.unset)
            EXPECT_FALSE(hoursOf(day).test(slot)) << c.name << " " << day << "/" << slot;
    }
}

TEST_F(StandLearning, WhatIsNotRecorded) {
    EXPECT_TRUE(gf_addRealParkPosOption(1, *ac, true, {2, 10}));
    const int32_t count = updateCount;
    EXPECT_FALSE(gf_addRealParkPosOption(1, *ac, true, {2, 10}));  // the slot is known
    EXPECT_FALSE(gf_addRealParkPosOption(9, *ac, true, {2, 11}));  // no such stand
    EXPECT_FALSE(gf_addRealParkPosOption(1, *ac, true, {2, 48}));  // no such slot
    parkPositions.front().options.front().fixed = 1;
    EXPECT_FALSE(gf_addRealParkPosOption(1, *ac, true, {2, 12}));  // a fixed option takes nothing
    ac->identity.reg.clear();
    EXPECT_FALSE(gf_addRealParkPosOption(1, *ac, true, {3, 12}));
    EXPECT_EQ(updateCount, count);
}

// The drop keeps an option out of the static plan only: recording goes on with it. A second
// option of the same registration and day was saved beside it and merged away at the next load.
TEST_F(StandLearning, ADroppedOptionKeepsItsIdAndIsStillRecorded) {
    ASSERT_TRUE(gf_addRealParkPosOption(1, *ac, true, {2, 10}));
    ParkPosOption& first = parkPositions.front().options.front();
    first.dropped = true;
    EXPECT_FALSE(gf_matchOption(first, "SWR12", ac->identity));
    ASSERT_TRUE(gf_addRealParkPosOption(1, *ac, true, {2, 12}));
    ASSERT_EQ(parkPositions.front().options.size(), 1u);
    EXPECT_EQ(parkPositions.front().options[0].id, 1u);
    EXPECT_EQ(gf_bitset2hours(parkPositions.front().options[0].hours), "10,11,12");  // the gap filled too
    EXPECT_TRUE(parkPositions.front().options[0].dropped);
    // Another weekday is another option.
    ASSERT_TRUE(gf_addRealParkPosOption(1, *ac, false, {3, 12}));
    ASSERT_EQ(parkPositions.front().options.size(), 2u);
    EXPECT_EQ(parkPositions.front().options[1].id, 2u);
}

}  // namespace
}  // namespace vdl::test
