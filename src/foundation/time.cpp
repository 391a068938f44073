#include "foundation/time.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <ctime>

#include "foundation/log.h"
#include "foundation/text.h"

namespace vdl {

std::tm gf_utcCalendar(int64_t secondsUtc) {
    const std::time_t t = static_cast<std::time_t>(secondsUtc);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    return tm;
}

namespace {

constexpr int64_t noTestClock = INT64_MIN;
std::atomic<int64_t> testClock{noTestClock};

constexpr std::string_view weekdayNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::string_view monthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::tm lf_utc(int64_t secondsUtc) {
    return gf_utcCalendar(secondsUtc);
}

// tm_wday counts from Sunday 0; ours from Monday 1 to Sunday 7.
int32_t lf_weekday(const std::tm& tm) {
    return tm.tm_wday == 0 ? 7 : tm.tm_wday;
}

}  // namespace

int64_t gf_nowUtc() {
    int64_t t = testClock.load();
    if (t != noTestClock) return t;
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void gf_setTestClock(std::optional<int64_t> secondsUtc) {
    testClock = secondsUtc.value_or(noTestClock);
}

std::string gf_asctimeUtc(int64_t secondsUtc) {
    std::tm tm = lf_utc(secondsUtc);
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", weekdayNames[lf_weekday(tm) - 1],
                       monthNames[tm.tm_mon], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                       tm.tm_year + 1900);
}

std::string gf_simTimeOfDay() {
    int64_t t = liveDataUtc.load();
    if (t == 0) t = gf_nowUtc();
    std::tm tm = lf_utc(t);
    return fmt::format("{:02}:{:02}:{:02}", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

WeekSlot gf_weekSlotAt(int64_t secondsUtc) {
    std::tm tm = lf_utc(secondsUtc);
    return WeekSlot{lf_weekday(tm), tm.tm_hour * 2 + tm.tm_min / 30};
}

WeekSlot gf_weekSlotNow() {
    return gf_weekSlotAt(gf_nowUtc());
}

void gf_refreshNowSlot() {
    nowSlot = gf_weekSlotNow();
}

int32_t gf_slotsBetween(WeekSlot a, WeekSlot b) {
    constexpr int32_t week = 7 * 48;
    int32_t ia = (a.weekday - 1) * 48 + a.slot;
    int32_t ib = (b.weekday - 1) * 48 + b.slot;
    return ((ib - ia) % week + week) % week;
}

std::string_view gf_weekdayName(int32_t weekday) {
    if (weekday < 1 || weekday > 7) return "???";
    return weekdayNames[weekday - 1];
}

std::string gf_bitset2hours(const HalfHourSet& hours) {
    std::string text;
    for (size_t i = 0; i < hours.size(); ++i) {
        if (!hours.test(i)) continue;
        if (!text.empty()) text += ',';
        text += std::to_string(i);
    }
    return text;
}

namespace {

// The writer's own form, one- or two-digit numbers joined by commas ("3,17,47"), read in one
// pass; anything else is left to the general reading, which reports the bad items.
bool lf_plainHours(std::string_view text, HalfHourSet& set) {
    unsigned v = 0;
    int digits = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++digits > 2) return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        } else if (c == ',' && digits > 0 && v < 48) {
            set.set(v);
            v = 0;
            digits = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || v >= 48) return false;
    set.set(v);
    return true;
}

// A list or item cut to this many characters in the log line: a list of many bad items logs
// each, and the whole list in every line grows with the square of its length.
constexpr size_t maxQuotedHoursChars = 80;

std::string lf_cutForLog(std::string_view text) {
    if (text.size() <= maxQuotedHoursChars) return std::string(text);
    return fmt::format("{}... ({} characters)", text.substr(0, maxQuotedHoursChars), text.size());
}

}  // namespace

HalfHourSet gf_hours2bitset(std::string_view text, std::string_view context) {
    HalfHourSet set;
    if (text.empty()) return set;
    if (HalfHourSet plain; lf_plainHours(text, plain)) return plain;
    // Learned stand files hold tens of thousands of these: no allocation per item.
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        std::string_view item = text.substr(start, comma - start);
        start = comma + 1;
        const size_t first = item.find_first_not_of(" \t\n\r");
        item = first == std::string_view::npos ? std::string_view() : item.substr(first, item.find_last_not_of(" \t\n\r") - first + 1);
        unsigned v = 0;
        auto [ptr, ec] = std::from_chars(item.data(), item.data() + item.size(), v);
        if (!item.empty() && ec == std::errc() && ptr == item.data() + item.size() && v < 48) {
            set.set(v);
        } else {
            static LogLimiter limiter("invalid half hours");
            limiter.logError(fmt::format("{} invalid hour \"{}\" in {}", context, lf_cutForLog(item), lf_cutForLog(text)));
        }
    }
    return set;
}

}  // namespace vdl
