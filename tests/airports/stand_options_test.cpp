// Half-hour options of a stand: adding, ranges, callsigns, matching and window tests.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "airports/stand_records.h"
#include "airports_fixture.h"
#include "foundation/time.h"

namespace vdl::test {
namespace {

// ---------------------------------------------------------------- gf_buildSlotRun

struct SlotRunCase {
    WeekSlot now;
    int32_t count;
    std::vector<WeekSlot> expected;
};

TEST(SlotRun, StepsBackOneHalfHourAcrossDayAndWeekEnds) {
    const std::vector<SlotRunCase> cases = {
        {{1, 1}, 3, {{1, 1}, {1, 0}, {7, 47}}},  // over the week's end
        {{3, 10}, 3, {{3, 10}, {3, 9}, {3, 8}}},
        {{4, 1}, 3, {{4, 1}, {4, 0}, {3, 47}}},  // over midnight
        {{7, 0}, 2, {{7, 0}, {6, 47}}},
        {{1, 0}, 1, {{1, 0}}},
        {{2, 5}, 0, {}},
        {{2, 5}, -3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "now " << c.now.weekday << "/" << c.now.slot << " count " << c.count);
        EXPECT_EQ(gf_buildSlotRun(c.now, c.count), c.expected);
    }
}

TEST(SlotRun, LongRunWrapsTheWholeWeek) {
    const WeekSlot now{1, 3};
    const auto run = gf_buildSlotRun(now, 400);  // more than the 336 half hours of a week
    ASSERT_EQ(run.size(), 400u);
    for (size_t i = 0; i < run.size(); ++i) {
        ASSERT_GE(run[i].weekday, 1);
        ASSERT_LE(run[i].weekday, 7);
        ASSERT_GE(run[i].slot, 0);
        ASSERT_LE(run[i].slot, 47);
        ASSERT_EQ(gf_slotsBetween(run[i], now), static_cast<int32_t>(i % 336)) << "entry " << i;
    }
}

// ---------------------------------------------------------------- gf_addOption: ids

struct IdCase {
    const char* what;
    std::vector<uint32_t> existing;
    int32_t expected;
};

TEST_F(AirportsTest, AddOptionTakesLargestIdPlusOne) {
    const std::vector<IdCase> cases = {
        {"empty list", {}, 1},
        {"ascending with a gap", {1, 2, 5}, 6},
        {"largest not last", {1, 7, 3}, 8},     // last + 1 would give 4
        {"last one marked 0", {1, 2, 0}, 3},    // last + 1 would give 1, a second id 1
        {"only a marked one", {0}, 1},
        {"marked between", {4, 0, 2}, 5},
    };
    const AcIdentity ac = makeAc("DLH", "A320");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ParkPosOption> list;
        for (uint32_t id : c.existing) list.push_back(makeOption(id, {20}, 2));
        EXPECT_EQ(gf_addOption(list, ac, optionReal, {3, 10}, "DLH400", "D-AIAB"), c.expected);
        ASSERT_EQ(list.size(), c.existing.size() + 1);
        EXPECT_EQ(list.back().id, static_cast<uint32_t>(c.expected));
    }
}

TEST_F(AirportsTest, AddOptionNeverRepeatsAnIdOfTheStand) {
    std::vector<ParkPosOption> list = optionsWithIds({3, 9, 1});
    const AcIdentity ac = makeAc("DLH", "A320");
    for (int32_t slot = 0; slot < 20; ++slot) {
        ASSERT_GT(gf_addOption(list, ac, optionSoft, {5, slot}, "DLH1", ""), 0);
        if (slot == 5) list[1].id = 0;  // a search marks the largest one
    }
    std::set<uint32_t> ids;
    for (const auto& o : list) {
        if (o.id != 0) {
            EXPECT_TRUE(ids.insert(o.id).second) << "id " << o.id << " twice";
        }
    }
}

// ---------------------------------------------------------------- gf_addOption: fields and dedup

TEST_F(AirportsTest, AddOptionFillsTheNewOption) {
    std::vector<ParkPosOption> list;
    const AcIdentity ac = makeAc("KLM", "B738");
    ASSERT_EQ(gf_addOption(list, ac, optionSoft, {6, 33}, "KLM1234_", "PH-BXA"), 1);
    const ParkPosOption& o = list.front();
    EXPECT_EQ(o.airline, "KLM");  // registration unknown to the data base
    EXPECT_EQ(o.type, "B738");
    EXPECT_EQ(o.reg, "PH-BXA");
    EXPECT_EQ(o.callsign1, "KLM1234");
    EXPECT_EQ(o.callsign2, "");
    EXPECT_EQ(o.hours, hoursOf({33}));
    EXPECT_EQ(o.day, 6u);
    EXPECT_EQ(o.fixed, 0u);
    EXPECT_EQ(o.kind, optionSoft);
}

struct DedupCase {
    const char* what;
    WeekSlot now;
    const char* callsign;
    const char* reg;
    uint32_t kind;
    const char* airl;
    bool appended;
};

TEST_F(AirportsTest, AddOptionSkipsAnIdenticalOption) {
    // The first add is always (3, 10), "DLH4U", "D-AIAB", real, DLH.
    const std::vector<DedupCase> cases = {
        {"same again", {3, 10}, "DLH4U", "D-AIAB", optionReal, "DLH", false},
        {"ghost of the same callsign", {3, 10}, "DLH4U_", "D-AIAB", optionReal, "DLH", false},
        {"other kind and airline are not compared", {3, 10}, "DLH4U", "D-AIAB", optionSoft, "CLH", false},
        {"next slot", {3, 11}, "DLH4U", "D-AIAB", optionReal, "DLH", true},
        {"other weekday", {4, 10}, "DLH4U", "D-AIAB", optionReal, "DLH", true},
        {"other callsign", {3, 10}, "DLH4V", "D-AIAB", optionReal, "DLH", true},
        {"other registration", {3, 10}, "DLH4U", "D-AIAC", optionReal, "DLH", true},
        {"no registration", {3, 10}, "DLH4U", "", optionReal, "DLH", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ParkPosOption> list;
        ASSERT_EQ(gf_addOption(list, makeAc("DLH", "A320"), optionReal, {3, 10}, "DLH4U", "D-AIAB"), 1);
        const int32_t second = gf_addOption(list, makeAc(c.airl, "A320"), c.kind, c.now, c.callsign, c.reg);
        EXPECT_EQ(second, c.appended ? 2 : 0);
        EXPECT_EQ(list.size(), c.appended ? 2u : 1u);
    }
}

TEST_F(AirportsTest, AddOptionComparesTheWholeHalfHourSet) {
    // An option widened to two half hours is not the same as a new one-half-hour option.
    std::vector<ParkPosOption> list;
    const AcIdentity ac = makeAc("DLH", "A320");
    ASSERT_EQ(gf_addOption(list, ac, optionReal, {3, 10}, "DLH4U", "D-AIAB"), 1);
    list[0].updateOption(11);
    EXPECT_EQ(gf_addOption(list, ac, optionReal, {3, 10}, "DLH4U", "D-AIAB"), 2);
}

TEST_F(AirportsTest, AddOptionSlotOutOfRangeThrowsAndChangesNothing) {
    for (int32_t slot : {48, -1, 1000}) {
        SCOPED_TRACE(slot);
        std::vector<ParkPosOption> list = optionsWithIds({1});
        EXPECT_THROW(gf_addOption(list, makeAc("DLH", "A320"), optionReal, {3, slot}, "DLH1", ""), std::out_of_range);
        EXPECT_EQ(list.size(), 1u);
    }
}

TEST_F(AirportsTest, AddOptionWithOnlyGhostMarkRecordsNoCallsign) {
    std::vector<ParkPosOption> list;
    ASSERT_EQ(gf_addOption(list, makeAc("DLH", "A320"), optionReal, {3, 10}, "_", ""), 1);
    EXPECT_EQ(list[0].callsign1, "");
}

const char* const standDbaseXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<dbase>
  <meta><info name="version" value="1"/></meta>
  <types>
    <t icao="A20N" cat="2" span="35.8"/>
    <t icao="A320" cat="2" span="35.8"/>
    <t icao="B77L" cat="3" span="64.8"/>
  </types>
  <ICAO_airlines><a icao="DLH"/><a icao="CLH"/><a icao="GEC"/></ICAO_airlines>
  <regs>
    <r reg="D-AINA" airl="DLH" type="A20N" opr="CLH"/>
    <r reg="D-ALFA" airl="GEC" type="B77L" cargo="true"/>
  </regs>
</dbase>
)";

struct RegCase {
    const char* reg;
    const char* airline;
    const char* type;
};

TEST_F(AirportsTest, AddOptionTakesAirlineAndTypeOfAKnownRegistration) {
    std::filesystem::create_directories("input");
    writeWholeFile("input/dbase.xml", standDbaseXml);
    gf_loadDbase();
    const std::vector<RegCase> cases = {
        {"D-AINA", "CLH", "A20N"},  // the operator comes before the airline
        {"DAINA", "CLH", "A20N"},   // spelling variant
        {"D-ALFA", "GEC", "B77L"},  // no operator: the airline
        {"D-XXXX", "UAE", "A388"},  // unknown: the aircraft's own
        {"", "UAE", "A388"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reg);
        std::vector<ParkPosOption> list;
        ASSERT_EQ(gf_addOption(list, makeAc("UAE", "A388"), optionReal, {1, 0}, "UAE1", c.reg), 1);
        EXPECT_EQ(list[0].airline, c.airline);
        EXPECT_EQ(list[0].type, c.type);
        EXPECT_EQ(list[0].reg, c.reg);  // stored as given
    }
}

// ---------------------------------------------------------------- callsigns noted on an option

TEST_F(AirportsTest, ThirdCallsignReplacesTheSecond) {
    std::vector<ParkPosOption> list = optionsWithIds({1, 2});
    // Count 0: only the callsign is noted.
    gf_updateOptionRange(list, {3, 10}, "AAA1", 0, 2);
    gf_updateOptionRange(list, {3, 10}, "BBB2", 0, 2);
    gf_updateOptionRange(list, {3, 10}, "CCC3", 0, 2);
    EXPECT_EQ(list[1].callsign1, "AAA1");
    EXPECT_EQ(list[1].callsign2, "CCC3");
    for (const char* again : {"AAA1", "CCC3", "AAA1_"}) {
        gf_updateOptionRange(list, {3, 10}, again, 0, 2);
        EXPECT_EQ(list[1].callsign1, "AAA1") << again;
        EXPECT_EQ(list[1].callsign2, "CCC3") << again;
    }
    EXPECT_EQ(list[0].callsign1, "");
    EXPECT_TRUE(list[0].hours.none());
    EXPECT_TRUE(list[1].hours.none());
}

struct CallsignCase {
    const char* what;
    uint32_t id;
    const char* callsign;
    const char* callsign1;  // of the option with id 1 afterwards
};

TEST_F(AirportsTest, CallsignIsNotedOnlyOnAnOptionWithTheId) {
    const std::vector<CallsignCase> cases = {
        {"ghost mark dropped", 1, "DLH4U_", "DLH4U"},
        {"only a ghost mark", 1, "_", ""},
        {"empty", 1, "", ""},
        {"unknown id", 7, "DLH4U", ""},
        {"id 0 never found", 0, "DLH4U", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ParkPosOption> list = optionsWithIds({0, 1});
        gf_updateOptionRange(list, {3, 10}, c.callsign, 0, c.id);
        EXPECT_EQ(list[1].callsign1, c.callsign1);
        EXPECT_EQ(list[1].callsign2, "");
        EXPECT_EQ(list[0].callsign1, "");  // the marked option stays untouched
    }
}

// ---------------------------------------------------------------- gf_updateOptionRange

struct RangeCase {
    WeekSlot now;
    int32_t count;
    uint32_t id;
    std::vector<int> slotsOnOption2;
};

TEST_F(AirportsTest, UpdateOptionRangeSetsEverySlotOnOneOption) {
    const std::vector<RangeCase> cases = {
        {{3, 10}, 3, 2, {8, 9, 10}},
        {{3, 1}, 3, 2, {47, 0, 1}},  // weekdays of the run are not used
        {{3, 10}, 1, 2, {10}},
        {{3, 10}, 0, 2, {}},
        {{3, 10}, 3, 9, {}},  // no option with the id: nothing set
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.now.weekday << "/" << c.now.slot << " count " << c.count);
        std::vector<ParkPosOption> list = optionsWithIds({1, 2, 3});
        gf_updateOptionRange(list, c.now, "DLH1", c.count, c.id);
        EXPECT_EQ(list[1].hours, hoursOf(c.slotsOnOption2));
        EXPECT_TRUE(list[0].hours.none());
        EXPECT_TRUE(list[2].hours.none());
        EXPECT_EQ(list[1].callsign1, c.id == 2 ? "DLH1" : "");
    }
}

TEST_F(AirportsTest, UpdateOptionRangeKeepsSlotsAlreadySet) {
    std::vector<ParkPosOption> list = {makeOption(1, {5, 40})};
    gf_updateOptionRange(list, {2, 12}, "DLH1", 2, 1);
    EXPECT_EQ(list[0].hours, hoursOf({5, 11, 12, 40}));
}

// ---------------------------------------------------------------- gf_updateOptionRangeOverMidnight

struct MidnightCase {
    const char* what;
    WeekSlot now;
    int32_t count;
    std::vector<uint32_t> ids;  // ids of the stand's options
    std::vector<int> earlier;  // slots of option 5 afterwards
    std::vector<int> later;   // slots of option 6 afterwards
};

TEST_F(AirportsTest, UpdateOptionRangeOverMidnightSplitsTheRun) {
    const std::vector<MidnightCase> cases = {
        {"three back from 4/1", {4, 1}, 3, {5, 6}, {47}, {0}},
        {"two back from 4/0", {4, 0}, 2, {5, 6}, {47}, {}},
        {"five back from 4/2", {4, 2}, 5, {5, 6}, {46, 47}, {0, 1}},
        {"run of one", {4, 0}, 1, {5, 6}, {}, {}},
        {"no earlier option", {4, 1}, 3, {6}, {}, {}},  // the walk ends at once
        {"no later option", {4, 2}, 5, {5}, {46, 47}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ParkPosOption> list;
        for (uint32_t id : c.ids) list.push_back(makeOption(id));
        gf_updateOptionRangeOverMidnight(list, c.now, "DLH1", c.count, 5, 6);
        for (const auto& o : list) {
            EXPECT_EQ(o.hours, hoursOf(o.id == 5 ? c.earlier : c.later)) << "option " << o.id;
            EXPECT_EQ(o.callsign1, "DLH1") << "option " << o.id;
        }
    }
}

TEST_F(AirportsTest, SightingAfterMidnightContinuesOnTheNextDaysOption) {
    // Last seen Tuesday 23:30, now Wednesday 00:30: the caller adds Wednesday's option for now
    // and fills the run across both days.
    std::vector<ParkPosOption> list;
    const AcIdentity ac = makeAc("DLH", "A320");
    const int32_t tuesday = gf_addOption(list, ac, optionReal, {2, 47}, "DLH4U", "D-AIAB");
    const int32_t wednesday = gf_addOption(list, ac, optionReal, {3, 1}, "DLH4V", "D-AIAB");
    ASSERT_EQ(tuesday, 1);
    ASSERT_EQ(wednesday, 2);
    gf_updateOptionRangeOverMidnight(list, {3, 1}, "DLH4V", 3, 1, 2);
    EXPECT_EQ(list[0].hours, hoursOf({47}));
    EXPECT_EQ(list[1].hours, hoursOf({0, 1}));
    EXPECT_EQ(list[0].callsign1, "DLH4U");
    EXPECT_EQ(list[0].callsign2, "DLH4V");
    EXPECT_EQ(list[1].callsign1, "DLH4V");
    EXPECT_EQ(list[1].callsign2, "");
}

// ---------------------------------------------------------------- updateOption

TEST_F(AirportsTest, UpdateOptionOutOfRangeIsLoggedAndChangesNothing) {
    openLog();
    ParkPosOption o = makeOption(1, {4});
    o.callsign1 = "DLH1";
    o.callsign2 = "DLH2";
    o.updateOption(48);
    o.updateOption(-1);
    o.updateOption(47);
    EXPECT_EQ(o.hours, hoursOf({4, 47}));
    const std::string log = logText();
    EXPECT_NE(log.find("===> updateOption \"DLH1\" \"DLH2\" bit:48 exception:"), std::string::npos) << log;
    EXPECT_NE(log.find("===> updateOption \"DLH1\" \"DLH2\" bit:-1 exception:"), std::string::npos) << log;
}

// ---------------------------------------------------------------- testRange

struct WindowCase {
    std::vector<int> bits;
    int32_t start;
    int32_t offset;
    bool covered;
    int32_t overhang;
};

TEST_F(AirportsTest, TestRangeLooksBackFromStart) {
    const std::vector<WindowCase> cases = {
        {{3}, 5, 2, true, -1},      // 5, 4, 3
        {{3}, 5, 1, false, -1},     // 5, 4
        {{3}, 3, 0, true, -1},      // start itself
        {{6}, 5, 3, false, -1},     // bits after start do not count
        {{}, 2, 5, false, 3},       // 0..2, three half hours on the previous day
        {{}, 0, 60, false, 46},     // overhang capped
        {{0}, 0, 60, true, -1},
        {{}, 2, 2, false, -1},      // window ends at 0 exactly
        {{47}, 47, 0, true, -1},
        {{}, 47, 47, false, -1},
        {{}, 47, 48, false, 1},
        {{10}, 11, -1, false, -1},  // empty window
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "start " << c.start << " offset " << c.offset);
        const ParkPosOption o = makeOption(1, c.bits);
        int32_t overhang = 99;
        EXPECT_EQ(o.testRange(c.start, c.offset, overhang), c.covered);
        EXPECT_EQ(overhang, c.overhang);
    }
}

TEST_F(AirportsTest, TestRangeStartAboveTheDayIsLoggedAndFalse) {
    openLog();
    const ParkPosOption o = makeOption(1, {47});
    int32_t overhang = 99;
    EXPECT_FALSE(o.testRange(48, 5, overhang));
    EXPECT_EQ(overhang, -1);
    const std::string log = logText();
    EXPECT_NE(log.find("===> exception "), std::string::npos) << log;
    EXPECT_NE(log.find(" in testRange, start: 48, offset: 5\n"), std::string::npos) << log;
}

TEST_F(AirportsTest, TestRangeExtremeValuesDoNotOverflow) {
    const ParkPosOption o = makeOption(1, {0});
    int32_t overhang = 0;
    EXPECT_TRUE(o.testRange(0, INT32_MAX, overhang));
    EXPECT_FALSE(o.testRange(INT32_MIN, INT32_MAX, overhang));
    EXPECT_EQ(overhang, 46);
    EXPECT_FALSE(o.testRange(-1, INT32_MIN, overhang));
    EXPECT_EQ(overhang, -1);
}

// ---------------------------------------------------------------- gf_matchOption

struct MatchCase {
    const char* what;
    uint32_t id;
    uint32_t kind;
    const char* callsign1;
    const char* callsign2;
    const char* airline;
    const char* type;
    const char* acCallsign;
    bool matches;
};

TEST(MatchOption, RealOptionByCallsignOrAirlineAndType) {
    // The aircraft is always UAE A388.
    const std::vector<MatchCase> cases = {
        {"first callsign", 1, optionReal, "UAE1", "UAE2", "DLH", "A320", "UAE1", true},
        {"second callsign", 1, optionReal, "UAE1", "UAE2", "DLH", "A320", "UAE2", true},
        {"airline and type", 1, optionReal, "DLH1", "", "UAE", "A388", "UAE9", true},
        {"airline only", 1, optionReal, "DLH1", "DLH2", "UAE", "B77W", "UAE9", false},
        {"type only", 1, optionReal, "DLH1", "DLH2", "DLH", "A388", "UAE9", false},
        {"case counts", 1, optionReal, "uae1", "DLH2", "uae", "A388", "UAE1", false},
        {"soft never", 1, optionSoft, "UAE1", "", "UAE", "A388", "UAE1", false},
        {"id 0 never", 0, optionReal, "UAE1", "", "UAE", "A388", "UAE1", false},
        {"empty callsigns are equal", 1, optionReal, "DLH1", "", "DLH", "A320", "", true},
        {"nothing in common", 2, optionReal, "DLH1", "DLH2", "DLH", "A320", "UAE1", false},
    };
    AcIdentity ac = makeAc("UAE", "A388");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ParkPosOption o = makeOption(c.id, {}, 1, c.kind);
        o.callsign1 = c.callsign1;
        o.callsign2 = c.callsign2;
        o.airline = c.airline;
        o.type = c.type;
        ac.callsign = c.acCallsign;
        EXPECT_EQ(gf_matchOption(o, c.acCallsign, ac), c.matches);
    }
}

}  // namespace
}  // namespace vdl::test
