// The flat map of the large livery indexes against std::map, through growth from empty.
#include "liveries/flat_text_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace vdl {
namespace {

TEST(FlatTextMap, FirstValueOfAKeyStaysAndEveryKeyIsFoundAfterGrowing) {
    FlatTextMap<std::string, int> map;
    std::map<std::string, int> plain;
    std::vector<std::string> inserted;
    std::mt19937 rng(5);
    for (int i = 0; i < 5000; ++i) {
        // Repeats, the empty key and keys longer than a small string.
        const std::string key = i % 7 == 0 ? std::string(rng() % 3, 'x') : "reg-" + std::to_string(rng() % 3000) +
                                                                                 (i % 5 == 0 ? std::string(20, 'L') : "");
        const auto [it, added] = map.try_emplace(key, i);
        const auto [p, plainAdded] = plain.try_emplace(key, i);
        ASSERT_EQ(added, plainAdded) << key;
        EXPECT_EQ(it->first, key);
        EXPECT_EQ(it->second, p->second);
        if (added) inserted.push_back(key);
    }
    ASSERT_EQ(map.size(), plain.size());
    for (const auto& [key, value] : plain) {
        EXPECT_EQ(map.at(key), value);
        EXPECT_EQ(map.count(key), 1u);
    }
    EXPECT_EQ(map.count("reg-3000"), 0u);
    EXPECT_THROW(map.at("nothing"), std::out_of_range);
    std::vector<std::string> order;
    for (const auto& [key, value] : map) order.push_back(key);
    EXPECT_EQ(order, inserted);  // insertion order

    map.find(inserted[3])->second = -1;  // a value changes in place
    EXPECT_EQ(map.at(inserted[3]), -1);
    map.clear();
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(map.find(inserted[3]), map.end());
    map.reserve(10);
    EXPECT_TRUE(map.try_emplace("again", 1).second);
}

}  // namespace
}  // namespace vdl
