#include "foundation/time.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/log.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

// 2026-12-06 is a Sunday.
constexpr int64_t sunday_2026_12_06_21_18_44 = 1796591924;
constexpr int64_t monday_2026_12_07_00_00_00 = 1796601600;

TEST(TimeTest, AsctimeUtc) {
    EXPECT_EQ(gf_asctimeUtc(0), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(gf_asctimeUtc(sunday_2026_12_06_21_18_44), "Sun Dec 06 21:18:44 2026");
    std::string s = gf_asctimeUtc(monday_2026_12_07_00_00_00 - 1);
    // The clock time takes the 8 characters that end 5 before the end.
    EXPECT_EQ(s.substr(s.size() - 13, 8), "23:59:59");
}

TEST(TimeTest, WeekSlotsRunMondayToSundayInUtc) {
    struct Case {
        int64_t t;
        WeekSlot slot;
    };
    const Case cases[] = {
        {monday_2026_12_07_00_00_00, {1, 0}},           {monday_2026_12_07_00_00_00 + 29 * 60 + 59, {1, 0}},
        {monday_2026_12_07_00_00_00 + 30 * 60, {1, 1}}, {monday_2026_12_07_00_00_00 - 1, {7, 47}},
        {sunday_2026_12_06_21_18_44, {7, 42}},          {0, {4, 0}},  // a Thursday
    };
    for (const Case& c : cases) {
        WeekSlot s = gf_weekSlotAt(c.t);
        EXPECT_EQ(s.weekday, c.slot.weekday) << c.t;
        EXPECT_EQ(s.slot, c.slot.slot) << c.t;
    }
}

TEST(TimeTest, ClockCanBeSetByTests) {
    test::TempWorkDir dir;
    gf_setTestClock(sunday_2026_12_06_21_18_44);
    EXPECT_EQ(gf_nowUtc(), sunday_2026_12_06_21_18_44);
    EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{7, 42}));
    gf_refreshNowSlot();
    EXPECT_EQ(nowSlot.load(), (WeekSlot{7, 42}));
    EXPECT_EQ(gf_simTimeOfDay(), "21:18:44");
    liveDataUtc = monday_2026_12_07_00_00_00 + 3600 + 62;
    EXPECT_EQ(gf_simTimeOfDay(), "01:01:02");
    gf_setTestClock(std::nullopt);
    EXPECT_GT(gf_nowUtc(), sunday_2026_12_06_21_18_44 - 86400 * 365);
}

TEST(TimeTest, SlotsBetweenWrapAtTheEndOfTheWeek) {
    struct Case {
        WeekSlot a, b;
        int32_t n;
    };
    const Case cases[] = {
        {{1, 0}, {1, 0}, 0},   {{1, 0}, {1, 1}, 1},    {{1, 47}, {2, 0}, 1},   {{7, 47}, {1, 0}, 1},
        {{7, 40}, {1, 2}, 10}, {{1, 0}, {7, 47}, 335}, {{3, 10}, {3, 9}, 335}, {{5, 20}, {2, 20}, 192},
    };
    for (const Case& c : cases)
        EXPECT_EQ(gf_slotsBetween(c.a, c.b), c.n)
            << c.a.weekday << "/" << c.a.slot << " -> " << c.b.weekday << "/" << c.b.slot;
}

TEST(TimeTest, WeekdayNames) {
    const char* names[] = {"???", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun", "???"};
    for (int d = 0; d <= 8; ++d) EXPECT_EQ(gf_weekdayName(d), names[d]) << d;
    EXPECT_EQ(gf_weekdayName(-1), "???");
}

TEST(TimeTest, HalfHourSetsToTextAndBack) {
    test::TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    EXPECT_EQ(gf_bitset2hours(HalfHourSet{}), "");
    HalfHourSet s;
    s.set(0).set(5).set(47);
    EXPECT_EQ(gf_bitset2hours(s), "0,5,47");
    EXPECT_EQ(gf_hours2bitset("0,5,47", "EDDF V12"), s);
    EXPECT_EQ(gf_hours2bitset(" 47 , 5,0", "EDDF V12"), s);
    EXPECT_EQ(gf_hours2bitset("", "EDDF V12"), HalfHourSet{});
    EXPECT_EQ(gf_hours2bitset(gf_bitset2hours(HalfHourSet{}.set()), "x"), HalfHourSet{}.set());

    HalfHourSet kept = gf_hours2bitset("3,48,-1,x,2.5,,7", "EDDF V12");
    EXPECT_EQ(gf_bitset2hours(kept), "3,7");
    gf_closeLog();
    std::string log = test::readWholeFile("Log.txt");
    for (const char* item : {"48", "-1", "x", "2.5", ""}) {
        std::string line = std::string("===> EDDF V12 invalid hour \"") + item + "\" in 3,48,-1,x,2.5,,7\n";
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace vdl
