#include "foundation/time.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/log.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

constexpr int64_t sunday_2026_12_06_21_18_44 = 1796591924;
constexpr int64_t monday_2026_12_07_00_00_00 = 1796601600;

TEST(TimeTest, WeekSlotsRunMondayToSundayInUtc) {
    const std::pair<int64_t, WeekSlot> cases[] = {
        {monday_2026_12_07_00_00_00, {1, 0}},
        {monday_2026_12_07_00_00_00 + 30 * 60, {1, 1}},
        {monday_2026_12_07_00_00_00 - 1, {7, 47}},
        {0, {4, 0}},  // a Thursday
    };
    for (const auto& [t, slot] : cases) EXPECT_EQ(gf_weekSlotAt(t), slot) << t;
    EXPECT_EQ(gf_asctimeUtc(monday_2026_12_07_00_00_00 - 1), "Sun Dec 06 23:59:59 2026");

    test::TempWorkDir dir;
    gf_setTestClock(sunday_2026_12_06_21_18_44);
    gf_refreshNowSlot();
    EXPECT_EQ(nowSlot.load(), (WeekSlot{7, 42}));
    EXPECT_EQ(gf_simTimeOfDay(), "21:18:44");
    liveDataUtc = monday_2026_12_07_00_00_00 + 3600 + 62;  // live data time wins
    EXPECT_EQ(gf_simTimeOfDay(), "01:01:02");
}

TEST(TimeTest, SlotsBetweenWrapAtTheEndOfTheWeek) {
    const struct {
        WeekSlot a, b;
        int32_t n;
    } cases[] = {
        {{1, 0}, {1, 0}, 0},   {{1, 47}, {2, 0}, 1},   {{7, 47}, {1, 0}, 1},
        {{7, 40}, {1, 2}, 10}, {{3, 10}, {3, 9}, 335},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_slotsBetween(c.a, c.b), c.n)
            << c.a.weekday << "/" << c.a.slot << " -> " << c.b.weekday << "/" << c.b.slot;
}

TEST(TimeTest, HalfHourSetsToTextAndBack) {
    test::TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    HalfHourSet s;
    s.set(0).set(5).set(47);
    EXPECT_EQ(gf_bitset2hours(s), "0,5,47");
    EXPECT_EQ(gf_hours2bitset(" 47 , 5,0", "EDDF V12"), s);
    EXPECT_EQ(gf_bitset2hours(gf_hours2bitset("3,48,-1,x,2.5,,7", "EDDF V12")), "3,7");
    gf_closeLog();
    const std::string log = test::readWholeFile("Log.txt");
    for (const char* item : {"48", "-1", "x", "2.5", ""}) {
        const std::string line =
            std::string("===> EDDF V12 invalid hour \"") + item + "\" in 3,48,-1,x,2.5,,7\n";
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

// A list of many bad items logged each with the whole list: 50,000 of them wrote 51 MB. The lines
// keep their form with the list cut short, and only the first few are written.
TEST(TimeTest, ManyBadHalfHoursLogABoundedPart) {
    test::TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    std::string text = "5";
    for (int i = 0; i < 50000; ++i) text += ",x" + std::to_string(i);
    EXPECT_EQ(gf_bitset2hours(gf_hours2bitset(text, "EDDF")), "5");
    const std::string longItem(500, '9');
    EXPECT_TRUE(gf_hours2bitset(longItem, "EDDF").none());
    gf_closeLog();
    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_LT(log.size(), 8000u);
    const std::string cut = text.substr(0, 80) + "... (" + std::to_string(text.size()) + " characters)";
    EXPECT_NE(log.find("===> EDDF invalid hour \"x0\" in " + cut + "\n"), std::string::npos);
    EXPECT_NE(log.find("===> EDDF invalid hour \"x9\" in " + cut + "\n"), std::string::npos);
    EXPECT_EQ(log.find("\"x10\""), std::string::npos);
    EXPECT_NE(log.find("invalid half hours: ... and 49,991 more"), std::string::npos);
}

// Texts near the writer's plain form read as the general rule says, and only bad items are logged.
TEST(TimeTest, HalfHourTextsNearThePlainForm) {
    test::TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    struct Case {
        const char* text;
        const char* hours;
        const char* logged;  // the bad item, or null
    };
    const Case cases[] = {
        {"0,5,47", "0,5,47", nullptr}, {"47", "47", nullptr},     {"07,5,5", "5,7", nullptr},
        {"007", "7", nullptr},         {"1,", "1", ""},           {",1", "1", ""},
        {"47,48", "47", "48"},         {"100,2", "2", "100"},     {"4,99", "4", "99"},
        {"3, 4", "3,4", nullptr},      {"12a", "", "12a"},        {"1,,2", "1,2", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_bitset2hours(gf_hours2bitset(c.text, "T")), c.hours) << c.text;
    gf_closeLog();
    const std::string log = test::readWholeFile("Log.txt");
    for (const Case& c : cases) {
        const std::string line = std::string("invalid hour \"") + (c.logged ? c.logged : "") + "\" in " + c.text + "\n";
        EXPECT_EQ(log.find(line) != std::string::npos, c.logged != nullptr) << c.text;
    }
}

}  // namespace
}  // namespace vdl
