#include "foundation/random.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "foundation/parameters.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

std::vector<size_t> draws(size_t n, int count) {
    std::vector<size_t> v;
    for (int i = 0; i < count; ++i) v.push_back(gf_randomIndex(n));
    return v;
}

TEST(RandomTest, DrawsReachEveryValueAndRandomOffDisablesThem) {
    test::TempWorkDir dir;
    gf_seedRandomForTests(42);
    const std::vector<size_t> three = draws(3, 300);
    EXPECT_EQ(std::set<size_t>(three.begin(), three.end()), (std::set<size_t>{0, 1, 2}));
    EXPECT_EQ(gf_randomIndex(0), 0u);

    std::set<std::vector<int>> orders;  // every order of three reachable
    for (int i = 0; i < 300; ++i) {
        std::vector<int> three{1, 2, 3};
        gf_shuffle(three);
        orders.insert(three);
    }
    EXPECT_EQ(orders.size(), 6u);

    RANDOM.set(false);
    std::vector<int> kept{1, 2, 3};
    gf_shuffle(kept);
    EXPECT_EQ(kept, (std::vector<int>{1, 2, 3}));
    for (size_t v : draws(1000, 100)) EXPECT_EQ(v, 0u);
}

}  // namespace
}  // namespace vdl
