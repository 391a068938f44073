// Soft stand options of aircraft leaving the park airport, the stand of fitting size they are
// given, and the coupled callsigns of a stand rotation.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "airports/stand_records.h"
#include "feed/traffic_queue.h"
#include "foundation/parameters.h"
#include "support/traffic_env.h"
#include "traffic/movement.h"
#include "traffic/stand_learning.h"
#include "traffic/stand_soft.h"

namespace vdl::test {
namespace {

constexpr double airportLat = 47.45;
constexpr double airportLon = 8.55;
constexpr WeekSlot now{4, 20};

struct StandLayout {
    const char* name;
    double radiusM;
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
    bool takenNow = false;     // an option holds the half hour of `now`
    bool knowsFlight = false;  // a real option carries the aircraft's callsign
};

class StandSoft : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        gf_resetAirports();
        RANDOM.set(false);
        parkingActive.store(true);
        movementParkAirport = {true, "LSZH", airportLat, airportLon, 1416.0};
        setCode("LSZH");
        nowSlot = now;
    }
    void TearDown() override {
        RANDOM.set(true);
        LEARN_SOFT.set(true);
        gf_setMainLoopRunning(false);
        nowSlot = WeekSlot{};
        parkPositions.clear();
        gf_resetAirports();
        TrafficTest::TearDown();
    }

    static void setCode(const char* code) {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport.code = code;
    }

    static void stands(const std::vector<StandLayout>& layouts) {
        parkPositions.clear();
        for (const StandLayout& s : layouts) {
            ParkPos& p = parkPositions.emplace_back(s.name, std::vector<ParkPosOption>{}, airportLat, airportLon, 0.0,
                                                    s.radiusM, s.cargo, s.ramp, s.heli);
            p.id = static_cast<uint32_t>(parkPositions.size());
            AcIdentity other = testIdentity(900, "EZY99");
            other.airl = "EZY";
            other.reg = "G-EZAA";
            if (s.takenNow) gf_addOption(p.options, other, optionSoft, now, "EZY99", "G-EZAA");
            if (s.knowsFlight) gf_addOption(p.options, flight().identity, optionReal, {1, 2}, "SWR12", "HB-JXA");
        }
    }

    static LiveAc& flight(AircraftCategory category = AircraftCategory::Large, double halfSpanM = 17.0,
                          const char* airline = "SWR", bool cargo = false) {
        if (liveAircraft.empty()) {
            LiveAc& ac = addActiveLiveAc(7, 107, "SWR12");
            ac.identity.reg = "HB-JXA";
            ac.lat = airportLat;
            ac.lon = airportLon;
            ac.onGround = true;
            ac.groundState = GroundState::taxi;
        }
        LiveAc& ac = liveAircraft.front();
        ac.identity.category = category;
        ac.identity.halfWingspan = metresToNm(halfSpanM);
        ac.identity.airl = airline;
        ac.identity.cargo = cargo ? 1 : 0;
        return ac;
    }

    static std::string chosen(WeekSlot at = now, bool mayMoveOn = true) {
        auto it = softStandBySize(at, liveAircraft.front(), mayMoveOn);
        return it == parkPositions.end() ? std::string("none") : it->name;
    }
};

TEST_F(StandSoft, TheStandOfTheAircraftsGroupAndSize) {
    struct Case {
        const char* name;
        std::vector<StandLayout> stands;
        AircraftCategory category;
        double halfSpanM;
        const char* airline;
        bool cargo;
        const char* code;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"the closest fit among gates", {{"G40", 40}, {"G25", 25}, {"G15", 15}}, AircraftCategory::Large, 17, "SWR",
         false, "KJFK", "G25"},
        {"a gate at an American airport before a better ramp", {{"R18", 18, false, true}, {"G60", 60}},
         AircraftCategory::Large, 17, "SWR", false, "KJFK", "G60"},
        {"a stand in use in the half hour is passed over", {{"G18", 18, false, false, false, true}, {"G40", 40}},
         AircraftCategory::Large, 17, "SWR", false, "KJFK", "G40"},
        {"equal scores: the stand that knows the flight", {{"G20", 20}, {"G21", 21, false, false, false, false, true}},
         AircraftCategory::Large, 17, "SWR", false, "KJFK", "G21"},
        {"light aircraft only on plain ramp stands",
         {{"G8", 8}, {"C8", 8, true, true}, {"H8", 8, false, false, true}, {"R30", 30, false, true}},
         AircraftCategory::Light, 6, "SWR", false, "LSZH", "R30"},
        {"a private jet on a plain ramp stand", {{"G20", 20}, {"R40", 40, false, true}}, AircraftCategory::Large, 17,
         "PVT", false, "LSZH", "R40"},
        {"light aircraft without a ramp stand get none", {{"G8", 8}}, AircraftCategory::Light, 6, "SWR", false,
         "LSZH", "none"},
        {"a rotorcraft: a fitting ramp before a too-small helipad",
         {{"H5", 5, false, false, true}, {"R12", 12, false, true}}, AircraftCategory::Rotorcraft, 8, "SWR", false,
         "LSZH", "R12"},
        {"a rotorcraft: a fitting helipad first", {{"R9", 9, false, true}, {"H12", 12, false, false, true}},
         AircraftCategory::Rotorcraft, 8, "SWR", false, "LSZH", "H12"},
        {"cargo: a cargo stand before a better gate", {{"G18", 18}, {"C60", 60, true}}, AircraftCategory::Heavy, 17,
         "FDX", true, "LSZH", "C60"},
        {"cargo without a cargo stand: any aeroplane stand", {{"H18", 18, false, false, true}, {"G18", 18}},
         AircraftCategory::Heavy, 17, "FDX", true, "LSZH", "G18"},
        {"too small for the fit pass: the any-size pass", {{"G5", 5}}, AircraftCategory::Large, 17, "SWR", false,
         "KJFK", "G5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        liveAircraft.clear();
        flight(c.category, c.halfSpanM, c.airline, c.cargo);
        stands(c.stands);
        setCode(c.code);
        EXPECT_EQ(chosen(), c.expected);
    }
}

TEST_F(StandSoft, ASmallAirportTriesTheNextHalfHourOnce) {
    flight();
    stands({{"G20", 20, false, false, false, true}});
    EXPECT_EQ(chosen(now, true), "G20");
    EXPECT_EQ(chosen(now, false), "none");
    // At the week's end the next half hour is Monday's first.
    parkPositions.front().options.clear();
    gf_addOption(parkPositions.front().options, flight().identity, optionSoft, {7, 47}, "EZY99", "G-EZAA");
    gf_addOption(parkPositions.front().options, flight().identity, optionSoft, {1, 0}, "EZY98", "G-EZAB");
    EXPECT_EQ(chosen({7, 47}, true), "none");
    std::vector<StandLayout> eleven(11, StandLayout{"G20", 20, false, false, false, true});
    stands(eleven);
    EXPECT_EQ(chosen(now, true), "none");
}

TEST_F(StandSoft, ALeavingAircraftIsLearnedOnlyNearTheParkAirportAndLow) {
    struct Case {
        const char* name;
        double northNm;
        bool onGround;
        double aglFt;
        uint32_t standId;
        bool learnSoft;
        bool mainLoop;
        bool recorded;
    };
    const std::vector<Case> cases = {
        {"taxiing out", 0.5, true, 0, 0, true, true, true},
        {"just airborne", 2.0, false, 1200, 0, true, true, true},
        {"airborne and high", 2.0, false, 2600, 0, true, true, false},
        {"beyond 5 nm", 5.5, true, 0, 0, true, true, false},
        {"with a stand", 0.5, true, 0, 1, true, true, false},
        {"LEARN_SOFT off", 0.5, true, 0, 0, false, true, false},
        {"no main loop", 0.5, true, 0, 0, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        liveAircraft.clear();
        standSlotByHexid.clear();
        stands({{"G20", 20}, {"G25", 25}});
        LiveAc& ac = flight();
        ac.lat = airportLat + c.northNm * degPerNm;
        ac.aglFt = c.aglFt;
        ac.standId = c.standId;
        LEARN_SOFT.set(c.learnSoft);
        gf_setMainLoopRunning(c.mainLoop);
        recordLeavingAircraft(ac, c.onGround);
        const ParkPos& g20 = parkPositions.front();
        ASSERT_EQ(g20.options.size(), c.recorded ? 1u : 0u);
        if (c.recorded) {
            EXPECT_EQ(g20.options.front().kind, optionSoft);
            EXPECT_TRUE(g20.options.front().hours.test(static_cast<size_t>(now.slot)));
            EXPECT_TRUE(g20.softUses.contains(ac.identity.hexid));
        }
    }
}

TEST_F(StandSoft, ALeavingAircraftSeenOnAStandGetsItsSoftOptionThereOnlyOncePerHour) {
    gf_setMainLoopRunning(true);
    stands({{"G20", 20}, {"G40", 40}});
    LiveAc& ac = flight();
    // Seen parked on G40 two half hours ago.
    ASSERT_TRUE(gf_addRealParkPosOption(2, ac, false, {now.weekday, now.slot - 2}));
    recordLeavingAircraft(ac, true);
    ASSERT_EQ(parkPositions[1].options.size(), 2u);
    EXPECT_EQ(parkPositions[1].options[1].kind, optionSoft);
    EXPECT_TRUE(parkPositions[0].options.empty());

    // Another aircraft: recorded on the stand of its size, then held back by the stand-slot list
    // for three half hours.
    LiveAc& other = addActiveLiveAc(8, 108, "SWR34");
    other.identity.reg = "HB-JXB";
    other.identity.airl = "SWR";
    other.identity.category = AircraftCategory::Large;
    other.identity.halfWingspan = metresToNm(17.0);
    other.lat = airportLat;
    other.lon = airportLon;
    setCode("KJFK");
    recordLeavingAircraft(other, true);
    ASSERT_EQ(parkPositions[0].options.size(), 1u);
    parkPositions[0].softUses.clear();
    nowSlot = WeekSlot{now.weekday, now.slot + 2};
    recordLeavingAircraft(other, true);
    EXPECT_EQ(parkPositions[0].options.size(), 1u);
    EXPECT_FALSE(parkPositions[0].options[0].hours.test(static_cast<size_t>(now.slot + 2)));
}

TEST_F(StandSoft, TheCoupledCallsignWindow) {
    struct Case {
        const char* name;
        const char* callsign;
        AircraftCategory category;
        WeekSlot option;
        const char* callsign2;
        const char* airline;
        bool found;
    };
    const std::vector<Case> cases = {
        {"ten half hours earlier", "SWR12", AircraftCategory::Large, {4, 10}, "SWR13", "SWR", true},
        {"eleven half hours later", "SWR12", AircraftCategory::Large, {4, 31}, "SWR13", "SWR", false},
        {"eleven later for a Heavy", "SWR12", AircraftCategory::Heavy, {4, 31}, "SWR13", "SWR", true},
        {"fifteen earlier for a Heavy", "SWR12", AircraftCategory::Heavy, {4, 5}, "SWR13", "SWR", false},
        {"another weekday", "SWR12", AircraftCategory::Large, {5, 20}, "SWR13", "SWR", false},
        {"the ghost of the callsign", "SWR12_", AircraftCategory::Large, {4, 22}, "SWR13", "SWR", true},
        {"no second callsign", "SWR12", AircraftCategory::Large, {4, 20}, "", "SWR", false},
        {"another airline", "SWR12", AircraftCategory::Large, {4, 20}, "SWR13", "EDW", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        liveAircraft.clear();
        stands({{"G20", 20}});
        LiveAc& ac = flight(c.category);
        ac.identity.callsign = c.callsign;
        ac.identity.callsignCopy = c.callsign;
        ParkPosOption o;
        o.id = 1;
        o.day = static_cast<uint32_t>(c.option.weekday);
        o.hours.set(static_cast<size_t>(c.option.slot));
        o.kind = optionReal;
        o.setAirline(c.airline);
        o.setCallsign1("SWR12");
        o.setCallsign2(c.callsign2);
        parkPositions.front().options.push_back(o);
        gf_searchForCoupledCsAroundThisTime(now, ac);
        EXPECT_EQ(ac.identity.coupledCallsign, c.found ? "SWR13" : "");
        EXPECT_EQ(ac.identity.coupledSearched, 1u);
        EXPECT_EQ(ac.identity.callsignCopy, c.found ? "SWR12" : c.callsign);
    }
}

}  // namespace
}  // namespace vdl::test
