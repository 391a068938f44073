// Half-hour options of a stand: slot runs, adding, ranges, callsigns, window tests and matching.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/log.h"
#include "refdata/dbase.h"
#include "refdata/reset.h"
#include "support/foundation_env.h"

namespace vdl::test {
namespace {

AcIdentity makeAc(std::string airl, std::string type) {
    AcIdentity ac;
    ac.airl = std::move(airl);
    ac.type = std::move(type);
    return ac;
}

HalfHourSet hoursOf(const std::vector<int>& slots) {
    HalfHourSet h;
    for (int s : slots) h.set(static_cast<size_t>(s));
    return h;
}

std::vector<ParkPosOption> optionsWithIds(const std::vector<uint32_t>& ids) {
    std::vector<ParkPosOption> list(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) list[i].id = ids[i], list[i].kind = optionReal;
    return list;
}

class StandOptions : public ::testing::Test {
  protected:
    void SetUp() override { gf_resetRefdata(); }
    void TearDown() override { gf_resetRefdata(); }
    TempWorkDir work;
};

TEST(SlotRun, StepsBackAcrossMidnightAndTheWeeksEnd) {
    using Run = std::vector<WeekSlot>;
    EXPECT_EQ(gf_buildSlotRun({1, 1}, 3), (Run{{1, 1}, {1, 0}, {7, 47}}));
    EXPECT_EQ(gf_buildSlotRun({4, 1}, 3), (Run{{4, 1}, {4, 0}, {3, 47}}));
    EXPECT_EQ(gf_buildSlotRun({2, 5}, 0), Run{});
    EXPECT_EQ(gf_buildSlotRun({2, 5}, -3), Run{});
}

TEST_F(StandOptions, AddOptionTakesLargestIdPlusOneAndSkipsDuplicates) {
    // Options marked 0 by a search or numbered out of order must not lead to a repeated id.
    const std::vector<std::pair<std::vector<uint32_t>, int32_t>> ids = {
        {{}, 1}, {{1, 7, 3}, 8}, {{1, 2, 0}, 3}, {{4, 0, 2}, 5}};
    for (const auto& [existing, expected] : ids) {
        auto list = optionsWithIds(existing);
        EXPECT_EQ(gf_addOption(list, makeAc("DLH", "A320"), optionReal, {3, 10}, "DLH4U", "D-AIAB"),
                  expected);
    }
    struct Case {
        WeekSlot now;
        const char* callsign;
        const char* reg;
        bool appended;
    };
    const std::vector<Case> cases = {
        {{3, 10}, "DLH4U", "D-AIAB", false}, {{3, 10}, "DLH4U_", "D-AIAB", false},  // ghost mark dropped
        {{3, 11}, "DLH4U", "D-AIAB", true},  {{4, 10}, "DLH4U", "D-AIAB", true},
        {{3, 10}, "DLH4V", "D-AIAB", true},  {{3, 10}, "DLH4U", "", true},
    };
    for (const auto& c : cases) {
        std::vector<ParkPosOption> list;
        ASSERT_EQ(gf_addOption(list, makeAc("DLH", "A320"), optionReal, {3, 10}, "DLH4U", "D-AIAB"), 1);
        EXPECT_EQ(gf_addOption(list, makeAc("CLH", "A320"), optionSoft, c.now, c.callsign, c.reg),
                  c.appended ? 2 : 0)
            << c.callsign << " " << c.reg << " " << c.now.slot;
    }
    auto list = optionsWithIds({1});
    EXPECT_THROW(gf_addOption(list, makeAc("DLH", "A320"), optionReal, {3, 48}, "DLH1", ""),
                 std::out_of_range);
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(StandOptions, AddOptionTakesAirlineAndTypeOfAKnownRegistration) {
    std::filesystem::create_directories("input");
    writeWholeFile("input/dbase.xml", R"(<dbase><types><t icao="A20N" cat="2" span="35.8"/></types>
<ICAO_airlines><a icao="DLH"/><a icao="CLH"/></ICAO_airlines>
<regs><r reg="D-AINA" airl="DLH" type="A20N" opr="CLH"/><r reg="D-AINB" airl="DLH" type="A20N"/></regs></dbase>)");
    gf_loadDbase();
    const std::vector<std::array<const char*, 3>> cases = {
        {"D-AINA", "CLH", "A20N"}, {"D-AINB", "DLH", "A20N"}, {"D-XXXX", "UAE", "A388"}};
    for (const auto& [reg, airline, type] : cases) {
        std::vector<ParkPosOption> list;
        ASSERT_EQ(gf_addOption(list, makeAc("UAE", "A388"), optionReal, {1, 0}, "UAE1", reg), 1);
        EXPECT_EQ(list[0].airline(), airline) << reg;
        EXPECT_EQ(list[0].type(), type) << reg;
    }
}

TEST(StandOptionRange, SetsTheRunAndNotesTwoCallsigns) {
    auto list = optionsWithIds({1, 2});
    list[1].hours = hoursOf({40});
    gf_updateOptionRange(list, {3, 1}, "AAA1", 3, 2);  // weekdays of the run are not used
    EXPECT_EQ(list[1].hours, hoursOf({0, 1, 40, 47}));
    EXPECT_TRUE(list[0].hours.none());
    for (const char* cs : {"BBB2", "CCC3", "AAA1", "CCC3_", ""}) gf_updateOptionRange(list, {3, 1}, cs, 0, 2);
    EXPECT_EQ(list[1].callsign1(), "AAA1");
    EXPECT_EQ(list[1].callsign2(), "CCC3");              // a third replaces the second
    gf_updateOptionRange(list, {3, 1}, "DDD4", 3, 0);  // id 0 is never found
    EXPECT_EQ(list[0].callsign1(), "");
}

TEST(StandOptionRange, OverMidnightSplitsTheRun) {
    struct Case {
        WeekSlot now;
        int32_t count;
        std::vector<uint32_t> ids;
        std::vector<int> earlier, later;  // slots of options 5 and 6 afterwards
    };
    const std::vector<Case> cases = {
        {{4, 1}, 3, {5, 6}, {47}, {0}},  // now itself is left to gf_addOption
        {{4, 2}, 5, {5, 6}, {46, 47}, {0, 1}},
        {{4, 0}, 1, {5, 6}, {}, {}},
        {{4, 1}, 3, {6}, {}, {}},  // no earlier option: the walk ends at once
    };
    for (const auto& c : cases) {
        auto list = optionsWithIds(c.ids);
        gf_updateOptionRangeOverMidnight(list, c.now, "DLH1", c.count, 5, 6);
        for (const auto& o : list) {
            EXPECT_EQ(o.hours, hoursOf(o.id == 5 ? c.earlier : c.later)) << c.now.slot << " option " << o.id;
            EXPECT_EQ(o.callsign1(), "DLH1");
        }
    }
}

TEST_F(StandOptions, TestRangeLooksBackFromStart) {
    struct Case {
        std::vector<int> bits;
        int32_t start, offset;
        bool covered;
        int32_t overhang;
    };
    const std::vector<Case> cases = {
        {{3}, 5, 2, true, -1},         {{3}, 5, 1, false, -1},
        {{6}, 5, 3, false, -1},  // later bits do not count
        {{}, 2, 5, false, 3},          {{}, 0, 60, false, 46},
        {{}, 2, 2, false, -1},                                          // overhang capped at 46
        {{0}, 0, INT32_MAX, true, -1}, {{}, -1, INT32_MIN, false, -1},  // no overflow
        {{47}, 48, 5, false, -1},                                       // logged
    };
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    for (const auto& c : cases) {
        ParkPosOption o;
        o.hours = hoursOf(c.bits);
        int32_t overhang = 99;
        EXPECT_EQ(o.testRange(c.start, c.offset, overhang), c.covered) << c.start << "/" << c.offset;
        EXPECT_EQ(overhang, c.overhang) << c.start << "/" << c.offset;
    }
    ParkPosOption o;
    o.updateOption(48);  // logged, nothing set
    EXPECT_TRUE(o.hours.none());
    gf_closeLog();
    const std::string log = readWholeFile("Log.txt");
    EXPECT_NE(log.find(" in testRange, start: 48, offset: 5\n"), std::string::npos) << log;
    EXPECT_NE(log.find("updateOption \"\" \"\" bit:48 exception:"), std::string::npos) << log;
}

TEST(MatchOption, RealOptionByCallsignOrAirlineAndType) {
    struct Case {
        uint32_t id, kind;
        const char *callsign2, *airline, *type;
        bool matches;
    };
    // The aircraft is UAE A388 flying as UAE1; callsign1 of the option is always DLH1.
    const std::vector<Case> cases = {
        {1, optionReal, "UAE1", "DLH", "A320", true},  {1, optionReal, "", "UAE", "A388", true},
        {1, optionReal, "", "UAE", "B77W", false},     {1, optionReal, "", "uae", "A388", false},
        {1, optionSoft, "UAE1", "UAE", "A388", false}, {0, optionReal, "UAE1", "UAE", "A388", false},
    };
    for (const auto& c : cases) {
        ParkPosOption o;
        o.id = c.id, o.kind = c.kind, o.setCallsign1("DLH1"), o.setCallsign2(c.callsign2);
        o.setAirline(c.airline), o.setType(c.type);
        EXPECT_EQ(gf_matchOption(o, "UAE1", makeAc("UAE", "A388")), c.matches) << c.airline << c.type << c.id;
    }
}

}  // namespace
}  // namespace vdl::test
