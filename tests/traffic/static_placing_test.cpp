// Placing static aircraft (callsigns, hexids, what stands in the way), the removal of aircraft
// in the user aircraft's path, and the adjustment of the plan.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "feed/traffic_reader.h"
#include "foundation/units.h"
#include "standins/rt_flights.h"
#include "static_support.h"
#include "traffic/static_placing.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

using StaticPlacing = StaticTest;

TEST_F(StaticPlacing, CallsignsEndInAStarAndFallBackToAirlineAndHexid) {
    struct Case {
        StaticCandidate candidate;
        const char* callsign;
    };
    const std::vector<Case> cases = {
        {{1, 0, "KLM", "B738", "KLM1234__", "KLM1235", "", true}, "KLM1234*"},
        {{1, 0, "KLM", "B738", "KLM1234", "KLM1235", "", false}, "KLM1235*"},  // leaves: the second
        {{1, 0, "KLM", "B738", "KLM1234", "", "", false}, "KLM1234*"},         // no second: the first
        {{1, 0, "KLM", "B738", "KLM1*", "", "", true}, "KLM1*"},               // the star is not doubled
        {{1, 0, "KLM", "B738", "", "", "", true}, "KLM42*"},
        {{1, 0, "KLM", "B738", "___", "KLM9", "", true}, "KLM9*"},  // underscores alone: the other
        {{1, 0, "KLM", "B738", "___", "__", "", true}, "KLM42*"},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_staticCallsign(c.candidate, 42), c.callsign) << c.candidate.callsign1;
}

TEST_F(StaticPlacing, StaticHexidsWrapAt10000AndOutliveTheRun) {
    staticHexidCounter = 9998;
    EXPECT_EQ(gf_nextStaticHexid(), 9999u);
    EXPECT_EQ(gf_nextStaticHexid(), 0u);
    EXPECT_EQ(gf_nextStaticHexid(), 1u);
    gf_clearTrafficLists();  // a new run, or another park airport
    EXPECT_EQ(gf_nextStaticHexid(), 2u);
    gf_resetTraffic();
    EXPECT_EQ(gf_nextStaticHexid(), 1u);
}

TEST_F(StaticPlacing, APlacedStaticGetsItsStandIdentityLiveryAndCreateCommand) {
    addStand({});
    addStand({});
    staticHexidCounter = 41;
    staticCandidates.push_back({2, 3, "KLM", "B738", "KLM1234", "KLM1235", "PH-BXA", true});
    gf_parkStatic();
    ASSERT_EQ(staticAircraft.size(), 1u);
    const AiAircraft& s = staticAircraft[0];
    EXPECT_EQ(s.identity.hexid, 42u);
    EXPECT_EQ(s.identity.callsign, "KLM1234*");
    EXPECT_EQ(s.identity.callsignCopy, "KLM1234");
    EXPECT_EQ(s.identity.coupledCallsign, "KLM1235");
    EXPECT_EQ(s.identity.title, titleKlm);
    EXPECT_EQ(s.standId, 2u);
    EXPECT_EQ(s.state, AcState::creating);
    EXPECT_EQ(s.parkSlot, (WeekSlot{3, 17})) << "parked when its option began: now less the tolerance";
    ASSERT_EQ(staticCreateQueue.size(), 1u);
    const CreateAcCmd& cmd = staticCreateQueue.front();
    EXPECT_EQ(cmd.tailNumber, "KLM1234*");
    EXPECT_EQ(cmd.hexid, 42u);
    EXPECT_DOUBLE_EQ(cmd.initPosition.latitude, parkPositions[1].lat);
    EXPECT_NEAR(cmd.initPosition.heading, radToDeg(0.5), 1e-9);
    EXPECT_EQ(cmd.initPosition.onGround, 1u);
}

TEST_F(StaticPlacing, ACandidateIsDroppedWhenItsStandIsTakenUnknownOrOutOfRange) {
    struct Case {
        const char* what;
        void (*setUp)();
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"live parked here",
         [] {
             LiveAc& live = addActiveLiveAc(20001, 901, "KLM77");
             live.standId = 1;
             live.groundState = GroundState::parked;
         },
         "no static parking for KLM1, live aircraft KLM77 standing here"},
        {"live driving to the neighbour",
         [] {
             LiveAc& live = addActiveLiveAc(20001, 901, "KLM77");
             live.standId = 2;
             live.groundState = GroundState::toStand;
         },
         "live aircraft KLM77 is adjacent at S2, possibly colliding"},
        {"static on the neighbour, still waiting for creation",
         [] { activeStatic(5, 2, "KLM5*").state = AcState::creating; },
         "static aircraft KLM5* is adjacent at S2, possibly colliding"},
        {"a stale stand id", [] { staticCandidates.back().standId = 99; }, "stand with id 99 not found"},
        {"beyond the in-range radius", [] { lateralRangeMeters = 500.0; }, "beyond the in-range radius"},
    };
    LOG.set(true);
    for (const Case& c : cases) {
        parkPositions.clear();
        liveAircraft.clear();
        staticAircraft.clear();
        lateralRangeMeters = 40.0 * 1852.0;
        addStand({}, {2});
        addStand({}, {1});
        staticCandidates.push_back({1, 0, "KLM", "B738", "KLM1", "", "", true});
        c.setUp();
        const size_t statics = staticAircraft.size();
        gf_parkStatic();
        EXPECT_TRUE(staticCandidates.empty()) << c.what << ": not retried";
        EXPECT_EQ(staticAircraft.size(), statics) << c.what;
        EXPECT_TRUE(staticCreateQueue.empty()) << c.what;
        EXPECT_NE(logText().find(c.logged), std::string::npos) << c.what;
    }
    lateralRangeMeters = 40.0 * 1852.0;
}

TEST_F(StaticPlacing, AircraftInTheUsersPathAreRemoved) {
    const double nmPerDegLon = 60.0 * std::cos(degToRad(userLat));
    const auto feetEast = [&](double ft) { return userLon + ft / feetPerNm / nmPerDegLon; };
    struct Case {
        const char* what;
        double userAgl;
        bool onGround;
        double northNm;
        double eastFt;
        double altFt;
        double headingDeg;
        bool removed;
    };
    const std::vector<Case> cases = {
        {"ground, ahead beside the line", 0.0, true, 0.5, 30.0, 10.0, 0.0, true},
        {"ground, behind beside the line", 0.0, true, -0.5, 30.0, 10.0, 0.0, true},
        {"ground, too far beside", 0.0, true, 0.5, 80.0, 10.0, 0.0, false},
        {"ground, beyond a mile", 0.0, true, 1.2, 0.0, 10.0, 0.0, false},
        {"ground, the user 600 ft up", 600.0, true, 0.5, 0.0, 10.0, 0.0, false},
        {"air, head-on", 3000.0, false, 2.0, 0.0, 3200.0, 180.0, true},
        {"air, crossing two miles ahead", 3000.0, false, 2.0, 0.0, 3200.0, 270.0, false},
        {"air, head-on 1000 ft above", 3000.0, false, 2.0, 0.0, 4010.0, 180.0, false},
        {"air, head-on beyond four miles", 3000.0, false, 4.5, 0.0, 3200.0, 180.0, false},
    };
    for (const Case& c : cases) {
        placeUser(userLat, userLon, c.onGround, 0.0, 10.0 + c.userAgl, c.userAgl);
        liveAircraft.clear();
        LiveAc& ac = activeAt(20001, 901, c.northNm);
        ac.lon = feetEast(c.eastFt);
        ac.onGround = c.onGround;
        ac.alt = c.altFt;
        ac.heading = degToRad(c.headingDeg);
        EXPECT_EQ(gf_removeIfInUserPath(ac), c.removed) << c.what;
        EXPECT_EQ(ac.state == AcState::removed, c.removed) << c.what;
    }
}

class StaticAdjust : public StaticTest {
  protected:
    void TearDown() override {
        trafficReader.reset();
        StaticTest::TearDown();
    }
    // The feed reports the callsign in range while the adjustment collects.
    static void inTheFeed(const std::string& callsign) {
        trafficReader.setOwnPosition(userLat, userLon);
        if (!trafficReader.collecting()) trafficReader.startCollecting();
        rtstandin::Flight f;
        f.hexid = 4000000;
        f.callsign = callsign;
        f.type = "B738";
        f.reg = "PH-BXZ";
        rtstandin::Sample s;
        s.pos = {userLat + 0.2, userLon};
        s.altFt = 5000.0;
        s.groundSpeedKt = 250.0;
        s.airborne = true;
        trafficReader.processLine(rtstandin::gf_rttfcLine(f, s, static_cast<double>(std::time(nullptr)), 1013.0));
    }
};

TEST_F(StaticAdjust, AStaticWhoseCallsignFliesLiveIsRemoved) {
    addStand({{.slots = {20, 21}, .callsign1 = "KLM11", .callsign2 = "KLM12"}});
    addStand({{.slots = {20, 21}, .callsign1 = "KLM21"}});
    // One already on its way out with the same callsign on the same stand, and an active one of
    // that callsign elsewhere: the adjustment removes the active one on the stand it judged.
    activeStatic(3, 1, "KLM11*", "KLM11", "KLM12").state = AcState::removed;
    activeStatic(4, 2, "KLM11*");
    activeStatic(1, 1, "KLM11*", "KLM11", "KLM12");
    activeStatic(2, 2, "KLM21*", "KLM21");
    staticAircraft[1].identity.callsignCopy.clear();
    const size_t removalsBefore = removalQueue.size();
    inTheFeed("KLM12");
    gf_adjustStaticParking();
    EXPECT_EQ(staticAircraft[2].state, AcState::removed);
    EXPECT_EQ(staticAircraft[1].state, AcState::active);
    EXPECT_EQ(staticAircraft[3].state, AcState::active);
    EXPECT_EQ(removalQueue.size(), removalsBefore + 1) << "one object is removed, once";
    EXPECT_TRUE(staticCandidates.empty()) << "nor is the flying one planned again";
    ASSERT_EQ(keptStatics.size(), 2u);
    for (const KeptStatic& row : keptStatics) EXPECT_EQ(row.standId, 2u) << row.callsign;
}

TEST_F(StaticAdjust, AStaticWhoseOptionEndsThisHalfHourComesBackUnderItsSecondCallsign) {
    addStand({{.slots = {19, 20}, .callsign1 = "KLM11", .callsign2 = "KLM12"}});
    activeStatic(1, 1, "KLM11*", "KLM11", "KLM12", {3, 19});
    gf_adjustStaticParking();
    EXPECT_EQ(staticAircraft[0].state, AcState::removed);
    ASSERT_EQ(staticCandidates.size(), 1u);
    EXPECT_FALSE(staticCandidates[0].nextSlot);
    EXPECT_TRUE(keptStatics.empty());
    gf_parkStatic();  // the one on its way out does not hold the stand
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[1].identity.callsign, "KLM12*");
    EXPECT_EQ(staticAircraft[1].standId, 1u);
}

TEST_F(StaticAdjust, OptionIdsStayLiveStandsStayAndTheCountHoldsTheWantedNumber) {
    addStand({{.id = 5, .slots = {20}}, {.id = 9, .day = 4, .slots = {20}}});
    parkPositions[0].options[1].dropped = true;
    addStand({{.slots = {20}}});
    addStand({{.slots = {20}}});
    addStand({{.slots = {20}}});
    for (uint32_t i = 0; i < 3; ++i) {
        LiveAc& live = addActiveLiveAc(20001 + i, 901 + i, fmt::format("KLM7{}", i));
        live.standId = 2 + i;
        live.groundState = GroundState::parked;
        live.parkTicks = steadyTicksOverride.load() - (3 - i) * 60 * steadyTicksPerSecond;
    }
    CUSTOM_MAX_PARK.set(2);
    gf_adjustStaticParking();
    EXPECT_EQ(parkPositions[0].options[0].id, 5u);
    EXPECT_EQ(parkPositions[0].options[1].id, 9u);
    EXPECT_FALSE(parkPositions[0].options[1].dropped) << "the marks of the last search are cleared";
    EXPECT_EQ(liveAircraft[0].state, AcState::removed) << "one live more than wanted, the longest parked";
    EXPECT_EQ(liveStayers.size(), 2u);
    EXPECT_TRUE(staticCandidates.empty()) << "two live stayers fill the wanted two";
    for (uint32_t standId : {3u, 4u}) {
        EXPECT_FALSE(parkPositions[standId - 1].occupied) << standId << ": given up when it parked";
        EXPECT_TRUE(parkPositions[standId - 1].taken) << standId;
    }
    EXPECT_NE(logText().find("Parking adjustments: 1 more live ac than wanted"), std::string::npos);
}

TEST_F(StaticAdjust, ASettingChangeOrTheTimeAsksForAnAdjustmentInTwoTurns) {
    addStand({{.slots = {20}}});
    gf_parkingSettingChanged();
    EXPECT_TRUE(parametersChanged) << "saved with the airport";
    EXPECT_TRUE(adjustRequested.load());
    gf_staticAdjustTurn(false);
    EXPECT_TRUE(parkingBusy.load());
    EXPECT_TRUE(trafficReader.collecting());
    EXPECT_TRUE(staticCandidates.empty());
    gf_staticAdjustTurn(false);
    EXPECT_FALSE(adjustRequested.load());
    EXPECT_EQ(staticCandidates.size(), 1u);
    EXPECT_NE(logText().find("Parking adjustments: 0 to be removed, 1 to be added"), std::string::npos);

    gf_clearStaticAdjustState();
    INITIAL_LOAD_ONLY.set(true);
    parametersChanged = false;
    gf_parkingSettingChanged();
    gf_staticAdjustTurn(true);
    EXPECT_TRUE(parametersChanged);
    EXPECT_FALSE(adjustRequested.load()) << "INITIAL_LOAD_ONLY keeps the first plan";
    INITIAL_LOAD_ONLY.set(false);
    gf_staticAdjustTurn(true);
    EXPECT_TRUE(adjustRequested.load());
}

}  // namespace
}  // namespace vdl::test
