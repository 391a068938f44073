#include "foundation/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

#include "foundation/parameters.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::TempWorkDir;

std::vector<size_t> draws(size_t n, int count) {
    std::vector<size_t> v;
    for (int i = 0; i < count; ++i) v.push_back(gf_randomIndex(n));
    return v;
}

TEST(RandomTest, SeededDrawsRepeatOnEveryThread) {
    TempWorkDir dir;
    gf_seedRandomForTests(42);
    std::vector<size_t> first = draws(1000, 50);
    gf_seedRandomForTests(42);
    EXPECT_EQ(draws(1000, 50), first);

    std::vector<size_t> other;
    std::thread t([&] { other = draws(1000, 50); });
    t.join();
    EXPECT_EQ(other, first);

    gf_seedRandomForTests(43);
    EXPECT_NE(draws(1000, 50), first);
}

TEST(RandomTest, IndexIsZeroWithoutChoiceOrWithRandomOff) {
    TempWorkDir dir;
    gf_seedRandomForTests(7);
    for (size_t n : {size_t{0}, size_t{1}}) EXPECT_EQ(gf_randomIndex(n), 0u);
    std::vector<size_t> seen = draws(3, 300);
    for (size_t v : seen) EXPECT_LT(v, 3u);
    EXPECT_EQ(std::set<size_t>(seen.begin(), seen.end()).size(), 3u);

    RANDOM.set(false);
    for (size_t v : draws(1000, 100)) EXPECT_EQ(v, 0u);
    for (int i = 0; i < 100; ++i) EXPECT_GE(gf_randomPercent(), 0);  // not gated by RANDOM
}

TEST(RandomTest, ShuffleIsAPermutationAndOffWithRandomOff) {
    TempWorkDir dir;
    gf_seedRandomForTests(1);
    std::vector<int> items(20);
    std::iota(items.begin(), items.end(), 0);
    std::vector<int> shuffled = items;
    gf_shuffle(shuffled);
    EXPECT_NE(shuffled, items);
    std::vector<int> sorted = shuffled;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, items);

    // Every position reachable: over many shuffles of three items all six orders appear.
    std::set<std::vector<int>> orders;
    for (int i = 0; i < 300; ++i) {
        std::vector<int> three{1, 2, 3};
        gf_shuffle(three);
        orders.insert(three);
    }
    EXPECT_EQ(orders.size(), 6u);

    RANDOM.set(false);
    std::vector<int> kept = items;
    gf_shuffle(kept);
    EXPECT_EQ(kept, items);
    std::vector<int> empty;
    gf_shuffle(empty);
}

}  // namespace
}  // namespace vdl
