// The static parking plan: the stand search over widening half hours, its drop tests, the real
// and soft passes, and the order in which the plan is placed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "traffic/static_placing.h"
#include "window/exit.h"
#include "static_support.h"

namespace vdl::test {
namespace {

using StaticPlan = StaticTest;

TEST_F(StaticPlan, TheSearchWidensBackToMaxFitAndTheBestMatchIsPlacedFirst) {
    // Now is Wednesday slot 20. Stand 1 matches now, stand 2 three half hours back, stand 3 five.
    addStand({{.slots = {20}}});
    addStand({{.slots = {17}}});
    addStand({{.slots = {15}}});
    struct Case {
        int32_t maxFit;
        std::vector<uint32_t> planned;  // in list order: best match last
        int32_t reached;
    };
    // Short of the wanted three, the search goes on to MAX_FIT; with all three it stops there.
    for (const Case& c : std::vector<Case>{{0, {1}, 0}, {3, {2, 1}, 3}, {47, {3, 2, 1}, 5}}) {
        MAX_FIT.set(c.maxFit);
        gf_planStaticParking();
        EXPECT_EQ(plannedStands(), c.planned) << "MAX_FIT " << c.maxFit;
        EXPECT_EQ(realToleranceReached, c.reached) << "MAX_FIT " << c.maxFit;
    }
    ASSERT_EQ(staticCandidates.back().tolerance, 0);
    gf_parkStatic();
    ASSERT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(staticAircraft[0].standId, 1u) << "the tolerance-0 candidate is placed first";
}

TEST_F(StaticPlan, TheStartSlotGoesBackOverMidnightAndTheWeekAndOnlyThatHalfHourCounts) {
    nowSlot = WeekSlot{1, 2};
    addStand({{.day = 7, .slots = {45}}});
    addStand({{.day = 7, .slots = {46}}});  // between the start and now: not tested
    addStand({{.day = 1, .slots = {45}}});  // the right slot on the wrong day
    std::vector<StaticCandidate> temp;
    gf_searchStands(nowSlot.load(), optionReal, 5, temp, staticCandidates);
    ASSERT_EQ(temp.size(), 1u);
    EXPECT_EQ(temp[0].standId, 1u);
    EXPECT_EQ(temp[0].tolerance, 5);
    EXPECT_EQ(gf_slotBack({1, 2}, 5), (WeekSlot{7, 45}));
    EXPECT_EQ(gf_slotAfter({7, 47}), (WeekSlot{1, 0}));
}

TEST_F(StaticPlan, TheSoftPassRunsOnlyWithParkSoftOrParkFakeWhenTheRealPassFallsShort) {
    addStand({{.slots = {20}}});
    addStand({{.slots = {20}, .kind = optionSoft}});
    addStand({{.slots = {20}, .kind = optionSoft}});
    struct Case {
        bool soft;
        bool fake;
        size_t planned;
    };
    for (const Case& c : std::vector<Case>{{false, false, 1}, {true, false, 3}, {false, true, 3}}) {
        PARK_SOFT.set(c.soft);
        PARK_FAKE.set(c.fake);
        gf_planStaticParking();
        EXPECT_EQ(staticCandidates.size(), c.planned) << c.soft << c.fake;
        EXPECT_EQ(softToleranceReached >= 0, c.soft || c.fake);
        EXPECT_EQ(softPositionsUsed, c.soft || c.fake);
    }
    // A real pass that fills the wanted number leaves the soft pass out.
    CUSTOM_PARKING_PERCENTAGE.set(30);
    gf_planStaticParking();
    EXPECT_EQ(plannedStands(), std::vector<uint32_t>{1});
    EXPECT_EQ(softToleranceReached, -1);
}

TEST_F(StaticPlan, DropTestsLeaveTheStandOpenAndTheOptionOutForTheRestOfThePlan) {
    struct Case {
        const char* what;
        OptionSpec option;
        void (*setUp)();
        bool dropped;
    };
    const std::vector<Case> cases = {
        {"registration of a planned candidate", {.slots = {20}, .reg = "PH-AAA"},
         [] { staticCandidates.push_back({9, 0, "KLM", "B738", "", "", "PH-AAA", true}); }, true},
        {"first callsign flying", {.slots = {20}, .callsign1 = "KLM11"}, [] { feedCallsigns.insert("KLM11"); }, true},
        {"first callsign flying as a ghost", {.slots = {20}, .callsign1 = "KLM11"},
         [] { feedCallsigns.insert("KLM11_"); }, true},
        {"second callsign flying", {.slots = {20}, .callsign1 = "KLM11", .callsign2 = "KLM12"},
         [] { feedCallsigns.insert("KLM12"); }, true},
        {"a static shows the callsign", {.slots = {20}, .callsign2 = "KLM12"},
         [] { activeStatic(1, 2, "KLM12*", "KLM12").state = AcState::creating; }, true},
        {"a candidate has the callsign", {.slots = {20}, .callsign1 = "KLM11"},
         [] { staticCandidates.push_back({9, 0, "KLM", "B738", "KLM11", "", "", true}); }, true},
        {"a live stayer has the callsign", {.slots = {20}, .callsign1 = "KLM11"},
         [] { liveStayers.push_back({"KLM11", 9}); }, true},
        {"empty texts never match empty texts", {.slots = {20}},
         [] {
             activeStatic(1, 2, "KLM1*");
             staticCandidates.push_back({9, 0, "KLM", "B738", "", "", "", true});
         },
         false},
    };
    for (const Case& c : cases) {
        parkPositions.clear();
        staticAircraft.clear();
        staticCandidates.clear();
        feedCallsigns.clear();
        liveStayers.clear();
        gf_forgetStaticSearchIndex();
        addStand({c.option});
        addStand({});
        c.setUp();
        std::vector<StaticCandidate> temp;
        gf_searchStands(nowSlot.load(), optionReal, 0, temp, staticCandidates);
        EXPECT_EQ(temp.empty(), c.dropped) << c.what;
        EXPECT_EQ(parkPositions[0].options[0].dropped, c.dropped) << c.what;
        EXPECT_EQ(parkPositions[0].taken != 0, !c.dropped) << c.what;
        EXPECT_EQ(parkPositions[0].options[0].id, 1u) << c.what << ": the id stays";
    }
    // Dropped, the option stays out of the next step too.
    std::vector<StaticCandidate> temp;
    parkPositions[0].options[0].dropped = true;
    parkPositions[0].taken = 0;
    parkPositions[0].options[0].hours.set(19);
    gf_searchStands(nowSlot.load(), optionReal, 1, temp, staticCandidates);
    EXPECT_TRUE(temp.empty());
}

TEST_F(StaticPlan, TwoStandsWithOneRegistrationInOneStepBothGetCandidatesButNotInALaterStep) {
    addStand({{.slots = {20}, .reg = "PH-AAA"}});
    addStand({{.slots = {20}, .reg = "PH-AAA"}});
    addStand({{.slots = {19}, .reg = "PH-AAA"}});
    MAX_FIT.set(2);
    gf_planStaticParking();
    EXPECT_EQ(plannedStands(), (std::vector<uint32_t>{1, 2}));
    EXPECT_TRUE(parkPositions[2].options[0].dropped);
}

TEST_F(StaticPlan, NeighboursOfAPlannedStandAndOfAWideStaticAreLeftOut) {
    // Stand 2 lies next to stand 1 and is blocked once stand 1 is planned, also later in the visit.
    addStand({{.slots = {20}}}, {2});
    addStand({{.slots = {20}}}, {1});
    // Stand 4 is 10 m from stand 3, where an active static stands: two B738 touch there.
    addStand({}, {4}, 0.01);
    addStand({{.slots = {20}}}, {3}, 0.01 + 0.00015);
    activeStatic(1, 3, "KLM1*");
    gf_planStaticParking();
    EXPECT_EQ(plannedStands(), std::vector<uint32_t>{1});
    EXPECT_TRUE(parkPositions[1].blocked);
}

TEST_F(StaticPlan, NextSlotFlagFollowsTheHalfHourAfterNow) {
    struct Case {
        const char* what;
        WeekSlot now;
        std::vector<OptionSpec> options;
        bool nextSlot;
    };
    const std::vector<Case> cases = {
        {"no second callsign", {3, 20}, {{.slots = {20}, .callsign1 = "KLM1"}}, true},
        {"covers the next half hour", {3, 20}, {{.slots = {20, 21}, .callsign1 = "KLM1", .callsign2 = "KLM2"}}, true},
        {"ends now", {3, 20}, {{.slots = {20}, .callsign1 = "KLM1", .callsign2 = "KLM2"}}, false},
        {"found back, still its bit for now + 1", {3, 20},
         {{.slots = {18, 21}, .callsign1 = "KLM1", .callsign2 = "KLM2"}}, true},
        {"slot 47, Thursday's option goes on", {3, 47},
         {{.id = 1, .slots = {47}, .callsign1 = "KLM1", .callsign2 = "KLM2"}, {.id = 2, .day = 4, .slots = {0}}}, true},
        {"slot 47, Thursday's option starts later", {3, 47},
         {{.id = 1, .slots = {47}, .callsign1 = "KLM1", .callsign2 = "KLM2"}, {.id = 2, .day = 4, .slots = {1}}}, false},
    };
    MAX_FIT.set(2);
    for (const Case& c : cases) {
        parkPositions.clear();
        nowSlot = c.now;
        addStand(c.options);
        gf_planStaticParking();
        ASSERT_EQ(staticCandidates.size(), 1u) << c.what;
        EXPECT_EQ(staticCandidates[0].nextSlot, c.nextSlot) << c.what;
    }
}

TEST_F(StaticPlan, ReservedAndUserStandsAndLiveStandsAreKept) {
    addStand({{.slots = {20}}});
    addStand({{.slots = {20}}});
    addStand({{.slots = {20}}});
    reservedStand = "S1";
    LiveAc& live = addActiveLiveAc(20001, 901, "KLM77");
    live.standId = 3;
    live.groundState = GroundState::toStand;
    parkPositions[2].occupied = 1;
    gf_planStaticParking();
    EXPECT_TRUE(parkPositions[0].reserved);
    const std::vector<uint32_t> planned = plannedStands();
    EXPECT_EQ(std::count(planned.begin(), planned.end(), 1u), 0);
    EXPECT_TRUE(parkPositions[2].occupied) << "the arriving live aircraft keeps its stand";
    EXPECT_FALSE(parkPositions[1].occupied);
}

TEST_F(StaticPlan, NoPositionsEnablesTheControlsAndAPlanKeepsThemDisabled) {
    MAX_FIT.set(4);
    addStand({{.slots = {3}}});
    gf_planStaticParking();
    EXPECT_TRUE(staticCandidates.empty());
    EXPECT_FALSE(parkingBusy.load());
    EXPECT_NE(logText().find("no parking positions found"), std::string::npos);
    addStand({{.slots = {20}}});
    gf_planStaticParking();
    EXPECT_TRUE(parkingBusy.load());
}

}  // namespace
}  // namespace vdl::test
