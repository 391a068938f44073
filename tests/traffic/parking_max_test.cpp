// The parking maximum: the wanted number of parked aircraft and the removal of the longest parked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "support/traffic_env.h"
#include "traffic/parking_max.h"

namespace vdl::test {
namespace {

class ParkingMax : public TrafficTest {
  protected:
    void TearDown() override {
        parkPositions.clear();
        parking_percentage.set(parking_percentage.defaultValue());
        CUSTOM_PARKING_PERCENTAGE.set(CUSTOM_PARKING_PERCENTAGE.defaultValue());
        CUSTOM_MAX_PARK.set(CUSTOM_MAX_PARK.defaultValue());
        INITIAL_LOAD_ONLY.set(false);
        WEEK.set(false);
        nowSlot = WeekSlot{};
        TrafficTest::TearDown();
    }

    static void stands(size_t n) {
        parkPositions.clear();
        for (size_t i = 0; i < n; ++i)
            parkPositions.emplace_back(fmt::format("S{}", i + 1), std::vector<ParkPosOption>{}, 52.0, 5.0 + 0.001 * i,
                                       0.0, 20.0, false, false, false);
    }

    // An active live aircraft parked `seconds` ago.
    static LiveAc& parkedLive(uint32_t hexid, uint64_t seconds) {
        LiveAc& ac = addActiveLiveAc(hexid, hexid + 100);
        ac.groundState = GroundState::parked;
        ac.parkTicks = steadyTicksOverride.load() - seconds * steadyTicksPerSecond;  // the fixture's clock: a day up
        return ac;
    }

    static AiAircraft& parkedStatic(uint32_t hexid, WeekSlot slot, AcState state = AcState::active) {
        AiAircraft& s = staticAircraft.emplace_back(testIdentity(hexid, fmt::format("KLM{}*", hexid)), 0, 52.0, 5.0,
                                                    0.0, false);
        s.state = state;
        s.objectId = hexid + 500;
        s.parkSlot = slot;
        return s;
    }
};

TEST_F(ParkingMax, WantedNumberFromStandsPercentageAndCustomMaximum) {
    struct Case {
        size_t stands;
        int32_t pct;
        int32_t customPct;
        int32_t customMax;
        int32_t wanted;
    };
    const std::vector<Case> cases = {
        {0, 30, -1, -1, 1},     // no stands: one
        {1, 100, -1, -1, 1},    // a single stand: one
        {3, 30, -1, -1, 1},     // few stands and a low share: one
        {3, 50, -1, -1, 2},     // 1.5 rounds away from zero
        {10, 30, -1, -1, 3},
        {10, 25, -1, -1, 3},    // 2.5 rounds up
        {10, 30, 0, -1, 0},     // a custom 0 % wins over the default share
        {10, 30, 80, -1, 8},
        {100, 30, -1, 12, 12},  // the custom maximum caps
        {10, 30, -1, 50, 3},    // but never raises
    };
    for (const Case& c : cases) {
        stands(c.stands);
        parking_percentage.set(c.pct);
        CUSTOM_PARKING_PERCENTAGE.set(c.customPct);
        CUSTOM_MAX_PARK.set(c.customMax);
        EXPECT_EQ(gf_maxParkNumber(), c.wanted) << c.stands << " stands, " << c.pct << "%";
        EXPECT_EQ(parkingMaximum, c.wanted);
    }
}

TEST_F(ParkingMax, AgeInSlotsRunsAcrossTheWeeksEnd) {
    const WeekSlot monday5{1, 5};
    EXPECT_EQ(gf_parkedSlots({7, 40}, monday5), 13);
    EXPECT_EQ(gf_parkedSlots({1, 2}, monday5), 3);
    EXPECT_EQ(gf_parkedSlots({1, 5}, monday5), 0);
    EXPECT_EQ(gf_parkedSlots({0, 0}, monday5), 0);  // never parked: the youngest
    EXPECT_EQ(gf_parkedSlots({1, 6}, monday5), 7 * 48 - 1);
}

TEST_F(ParkingMax, LongestParkedLiveGoesFirstAndOnlyOnePerCall) {
    parkingMaximum = 3;
    parkedLive(1, 60);
    parkedLive(2, 600);
    parkedLive(3, 30);
    gf_checkMaxPark(0);
    EXPECT_EQ(liveAircraft[0].state, AcState::active);
    EXPECT_EQ(liveAircraft[1].state, AcState::active);  // 3 parked, maximum 3: nothing
    gf_checkMaxPark(1);
    EXPECT_EQ(liveAircraft[1].state, AcState::removed);  // about to spawn a fourth
    EXPECT_EQ(liveAircraft[0].state, AcState::active);
    EXPECT_EQ(liveAircraft[2].state, AcState::active);

    const auto order = gf_collectParkedLive();
    ASSERT_EQ(order.size(), 2u);
    EXPECT_EQ(order[0].first, 1u);
    EXPECT_EQ(order[1].first, 3u);
}

TEST_F(ParkingMax, StaticsCountWithTheLiveAndTheEarliestParkedGoes) {
    struct Case {
        const char* name;
        int32_t maximum;
        bool initialLoadOnly;
        bool liveRemoved;
        bool staticRemoved;
    };
    const std::vector<Case> cases = {
        {"over the maximum", 1, false, true, true},
        {"initial load only keeps the live", 1, true, false, true},
        {"maximum 0 keeps the live", 0, false, false, true},
        {"at the maximum", 4, false, false, false},
    };
    for (const Case& c : cases) {
        liveAircraft.clear();
        staticAircraft.clear();
        nowSlot = WeekSlot{1, 5};
        parkingMaximum = c.maximum;
        INITIAL_LOAD_ONLY.set(c.initialLoadOnly);
        parkedLive(1, 100);
        parkedLive(2, 50);
        parkedStatic(10, {1, 2});
        parkedStatic(11, {7, 40});  // Sunday: earlier than Monday's slot 2
        gf_checkMaxPark(0);
        EXPECT_EQ(liveAircraft[0].state == AcState::removed, c.liveRemoved) << c.name;
        EXPECT_EQ(liveAircraft[1].state, AcState::active) << c.name;
        EXPECT_EQ(staticAircraft[1].state == AcState::removed, c.staticRemoved) << c.name;
        EXPECT_EQ(staticAircraft[0].state, AcState::active) << c.name;
    }
}

TEST_F(ParkingMax, AnEarliestStaticStillWaitingForCreationHoldsTheRemoval) {
    nowSlot = WeekSlot{3, 20};
    parkingMaximum = 1;
    parkedStatic(10, {3, 10});
    parkedStatic(11, {2, 30}, AcState::creating);
    gf_checkMaxPark(0);
    EXPECT_EQ(staticAircraft[0].state, AcState::active);
    EXPECT_EQ(staticAircraft[1].state, AcState::creating);
}

TEST_F(ParkingMax, RemoveLongestParkedTakesTheFirstN) {
    parkedLive(1, 10);
    parkedLive(2, 300);
    parkedLive(3, 200);
    LiveAc& taxiing = addActiveLiveAc(4, 104);
    taxiing.groundState = GroundState::taxi;
    gf_removeLongestParked(2);
    EXPECT_EQ(liveAircraft[0].state, AcState::active);
    EXPECT_EQ(liveAircraft[1].state, AcState::removed);
    EXPECT_EQ(liveAircraft[2].state, AcState::removed);
    EXPECT_EQ(liveAircraft[3].state, AcState::active);
    gf_removeLongestParked(0);
    EXPECT_EQ(liveAircraft[0].state, AcState::active);
}

TEST_F(ParkingMax, TheAdjustmentsStayersLongestParkedLast) {
    for (bool initialLoadOnly : {false, true}) {
        SCOPED_TRACE(initialLoadOnly ? "INITIAL_LOAD_ONLY" : "");
        liveAircraft.clear();
        removalQueue.clear();
        INITIAL_LOAD_ONLY.set(initialLoadOnly);
        parkedLive(1, 100 * 60).standChecked = true;          // confirmed by the data: 0 minutes
        parkedLive(2, 100 * 60);                               // over 90 minutes unconfirmed
        parkedLive(3, 100 * 60).identity.category = AircraftCategory::Heavy;  // a Heavy may stay 180
        parkedLive(4, 10 * 60);
        addActiveLiveAc(5, 105).groundState = GroundState::taxi;
        std::vector<std::pair<uint32_t, int64_t>> got;
        for (const ParkedLiveAc& p : collectParkedLiveAc()) got.emplace_back(p.hexid, p.minutes);
        std::vector<std::pair<uint32_t, int64_t>> want = {{1, 0}, {4, 10}, {3, 100}};
        if (initialLoadOnly) want = {{1, 0}, {4, 10}, {2, 100}, {3, 100}};
        EXPECT_EQ(got, want);
        EXPECT_EQ(liveAircraft[1].state, initialLoadOnly ? AcState::active : AcState::removed);
    }
}

TEST_F(ParkingMax, ParkedCountsAndTheirAverageTimeAcrossTheWeeksEnd) {
    nowSlot = WeekSlot{1, 2};
    parkedLive(1, 0).parkSlot = {7, 47};  // three half hours
    parkedLive(2, 0).parkSlot = {1, 1};   // one
    addActiveLiveAc(3, 103).groundState = GroundState::taxi;
    EXPECT_EQ(gf_countParkedLiveAc(true), 2u);
    EXPECT_DOUBLE_EQ(averageParkedHoursLive, 4.0 / 4.0 + 0.5);
    parkedStatic(10, {1, 0});
    parkedStatic(11, {1, 0}, AcState::creating);
    EXPECT_EQ(gf_countParkedStaticAc(true), 1u);
    EXPECT_DOUBLE_EQ(averageParkedHoursStatic, 2.0 / 2.0 + 0.5);
    // A whole-week plan has no parked times to show.
    WEEK.set(true);
    parkedStatic(12, {7, 0});
    EXPECT_EQ(gf_countParkedStaticAc(true), 2u);
    EXPECT_DOUBLE_EQ(averageParkedHoursStatic, 1.5);
}

}  // namespace
}  // namespace vdl::test
