#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace vdl {

// Seconds since 1970-01-01 UTC. Reads the system clock unless a test has set one.
int64_t gf_nowUtc();
// The calendar fields of a UTC time (thread-safe: gmtime_r, gmtime_s on Windows).
std::tm gf_utcCalendar(int64_t secondsUtc);
// Tests fix the clock with a value and give it back to the system with std::nullopt.
void gf_setTestClock(std::optional<int64_t> secondsUtc);

// "{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}": weekday, month, day, h, m, s, year (UTC).
std::string gf_asctimeUtc(int64_t secondsUtc);

// Time of the live traffic data, set by the feed from its records' time stamps; until
// it is set (or after it is set to 0) the clock's own time is used.
inline std::atomic<int64_t> liveDataUtc{0};
// "hh:mm:ss" of the live data's UTC time of day.
std::string gf_simTimeOfDay();

// Monday 1 .. Sunday 7; half-hour slot 0 .. 47 of the UTC day.
struct WeekSlot {
    int32_t weekday = 1;
    int32_t slot = 0;
    bool operator==(const WeekSlot&) const = default;
};

using HalfHourSet = std::bitset<48>;

WeekSlot gf_weekSlotAt(int64_t secondsUtc);
WeekSlot gf_weekSlotNow();
// The copy the shell refreshes once per simulator second.
inline std::atomic<WeekSlot> nowSlot{WeekSlot{}};
void gf_refreshNowSlot();

// Half-hour slots forward from a to b, wrapping at the end of the week (0 .. 335).
int32_t gf_slotsBetween(WeekSlot a, WeekSlot b);

std::string_view gf_weekdayName(int32_t weekday);  // "Mon".."Sun", "???" otherwise

// "0,5,47"; empty set gives "".
std::string gf_bitset2hours(const HalfHourSet& hours);
// Items that are not whole numbers below 48 are left out and logged as
// "{context} invalid hour \"{item}\" in {text}" (item and text cut to a bounded length, the lines
// rate-limited).
HalfHourSet gf_hours2bitset(std::string_view text, std::string_view context);

}  // namespace vdl
