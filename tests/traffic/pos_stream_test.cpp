// The position stream with its first point inline against std::deque, on random sequences of
// every operation the traffic manager uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "traffic/pos_stream.h"

namespace vdl {
namespace {

StreamPos lf_point(uint32_t n) {
    StreamPos p;
    p.time = n;
    p.lat = n * 0.5;
    p.alt = n * 10.0;
    p.stop = static_cast<uint8_t>(n % 2);
    p.speedUnknown = static_cast<uint8_t>(n % 3 == 0);
    return p;
}

bool lf_same(const StreamPos& a, const StreamPos& b) {
    return a.time == b.time && a.lat == b.lat && a.alt == b.alt && a.stop == b.stop && a.speedUnknown == b.speedUnknown;
}

void lf_expectSame(const std::deque<StreamPos>& want, const PosStream& got, const std::string& step) {
    ASSERT_EQ(want.size(), got.size()) << step;
    ASSERT_EQ(want.empty(), got.empty()) << step;
    ASSERT_EQ(static_cast<size_t>(got.end() - got.begin()), got.size()) << step;
    if (want.empty()) return;
    EXPECT_TRUE(lf_same(want.front(), got.front())) << step;
    EXPECT_TRUE(lf_same(want.back(), got.back())) << step;
    size_t i = 0;
    for (const StreamPos& p : got) {
        ASSERT_TRUE(lf_same(want[i], p)) << step << ", point " << i;
        ASSERT_TRUE(lf_same(want[i], got[i])) << step << ", point " << i;
        ++i;
    }
}

TEST(PosStream, BehavesAsADequeOnRandomOperations) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::deque<StreamPos> want;
        PosStream got;
        uint32_t next = 1;
        // Short streams most of the time, as the traffic manager keeps them: the first point and
        // its edges get most of the operations.
        const size_t cap = seed % 4 == 0 ? 40 : 6;
        for (int round = 0; round < 400; ++round) {
            const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n)(rng); };
            const size_t op = pick(12);
            std::string step = "round " + std::to_string(round) + " op " + std::to_string(op);
            const size_t n = want.size();
            if (op <= 2 && n < cap) {
                want.push_back(lf_point(next));
                got.push_back(lf_point(next++));
            } else if (op == 3 && n < cap) {
                want.push_front(lf_point(next));
                got.push_front(lf_point(next++));
            } else if (op == 4 && n > 0) {
                want.pop_front();
                got.pop_front();
            } else if (op == 5 && n > 0) {
                want.pop_back();
                got.pop_back();
            } else if (op == 6 && n < cap) {
                const size_t at = pick(n);
                const auto w = want.insert(want.begin() + static_cast<std::ptrdiff_t>(at), lf_point(next));
                const auto g = got.insert(got.begin() + static_cast<std::ptrdiff_t>(at), lf_point(next++));
                EXPECT_EQ(w - want.begin(), g - got.begin()) << step;
            } else if (op == 7 && n > 0) {
                const size_t at = pick(n - 1);
                const auto w = want.erase(want.begin() + static_cast<std::ptrdiff_t>(at));
                const auto g = got.erase(got.begin() + static_cast<std::ptrdiff_t>(at));
                EXPECT_EQ(w - want.begin(), g - got.begin()) << step;
            } else if (op == 8 && n > 0) {
                const size_t from = pick(n);
                const size_t to = from + pick(n - from);
                const auto w = want.erase(want.begin() + static_cast<std::ptrdiff_t>(from),
                                          want.begin() + static_cast<std::ptrdiff_t>(to));
                const auto g = got.erase(got.begin() + static_cast<std::ptrdiff_t>(from),
                                         got.begin() + static_cast<std::ptrdiff_t>(to));
                EXPECT_EQ(w - want.begin(), g - got.begin()) << step;
            } else if (op == 9) {
                const size_t to = pick(std::min<size_t>(n + 2, cap));
                want.resize(to);
                got.resize(to);
            } else if (op == 10 && n > 0) {
                // Writes through front, back and the index land in the stored points.
                const size_t at = pick(n - 1);
                want.front().time += 1000;
                got.front().time += 1000;
                want.back().stop ^= 1;
                got.back().stop ^= 1;
                want[at].lat += 1.25;
                got[at].lat += 1.25;
            } else if (op == 11) {
                std::vector<StreamPos> fresh;
                for (size_t k = pick(3); k > 0; --k) fresh.push_back(lf_point(next++));
                want.assign(fresh.begin(), fresh.end());
                got.assign(fresh.begin(), fresh.end());
            } else if (op == 12 && round % 50 == 0) {
                want.clear();
                got.clear();
            }
            lf_expectSame(want, got, step);
            if (HasFatalFailure()) return;
        }
    }
}

// The first point pushed again at the front, as a respawn does with a copy of it, and an insert
// of a point of the stream itself: the value is taken before the points move.
TEST(PosStream, PushingOneOfItsOwnPoints) {
    PosStream s;
    s.push_back(lf_point(1));
    s.push_back(lf_point(2));
    s.push_front(s.front());
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].time, 1u);
    EXPECT_EQ(s[1].time, 1u);
    EXPECT_EQ(s[2].time, 2u);
    s.insert(s.begin() + 1, s[2]);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[1].time, 2u);
    EXPECT_EQ(s[2].time, 1u);
    EXPECT_EQ(s[3].time, 2u);
    EXPECT_TRUE(std::all_of(s.begin(), s.end(), [](const StreamPos& p) { return p.time > 0; }));
}

}  // namespace
}  // namespace vdl
