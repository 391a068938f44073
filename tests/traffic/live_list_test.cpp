// The hexid index of the live-aircraft list against the plain walk over the records, on random
// sequences of appends, flagged erases, unordered erases and clears, with repeated hexids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "traffic/live_list.h"

namespace vdl {
namespace {

LiveAc lf_ac(uint32_t hexid) {
    AcIdentity id;
    id.hexid = hexid;
    return LiveAc(StreamPos{}, std::move(id), 0.0);
}

const LiveAc* lf_firstByWalk(const LiveAcList& list, uint32_t hexid) {
    auto it = std::find_if(list.begin(), list.end(), [hexid](const LiveAc& a) { return a.identity.hexid == hexid; });
    return it == list.end() ? nullptr : &*it;
}

void lf_expectSameAsWalk(LiveAcList& list, uint32_t lowest, uint32_t highest, int round) {
    for (uint32_t h = lowest; h <= highest; ++h)
        ASSERT_EQ(list.findHexid(h), lf_firstByWalk(list, h)) << "hexid " << h << " in round " << round;
}

TEST(LiveAcList, IndexAgreesWithTheWalkOnRandomSequences) {
    struct Case {
        uint32_t seed;
        uint32_t hexids;  // size of the hexid pool: small pools repeat hexids
        int rounds;
    };
    for (const Case c : {Case{1, 40, 400}, Case{2, 400, 300}, Case{3, 3000, 80}, Case{4, 8, 200}}) {
        SCOPED_TRACE(c.seed);
        std::mt19937 rng(c.seed);
        const uint32_t lowest = 10001;
        const uint32_t highest = lowest + c.hexids - 1;
        std::uniform_int_distribution<uint32_t> hexid(lowest, highest);
        LiveAcList list;
        for (int round = 0; round < c.rounds; ++round) {
            const uint32_t op = rng() % 20;
            if (op < 12) {
                // Bursts of appends let the table grow past several sizes.
                for (uint32_t k = rng() % 30; k > 0; --k) list.emplace_back(lf_ac(hexid(rng)));
            } else if (op < 16 && !list.empty()) {
                for (LiveAc& a : list) a.erase = rng() % 4 == 0;
                const auto flagged = static_cast<size_t>(std::count_if(list.begin(), list.end(), [](const LiveAc& a) { return a.erase; }));
                const size_t before = list.size();
                ASSERT_EQ(list.eraseFlagged(), flagged);
                ASSERT_EQ(list.size(), before - flagged);
                ASSERT_TRUE(std::none_of(list.begin(), list.end(), [](const LiveAc& a) { return a.erase; }));
            } else if (op < 19 && !list.empty()) {
                list.eraseUnordered(&list[rng() % list.size()]);
            } else if (op == 19) {
                list.clear();
            }
            lf_expectSameAsWalk(list, lowest - 1, highest + 1, round);
        }
        list.release();
        EXPECT_EQ(list.findHexid(lowest), nullptr);
        list.push_back(lf_ac(lowest));
        EXPECT_EQ(list.findHexid(lowest), &list.front());
    }
}

TEST(LiveAcList, KeepsTheOrderOfTheRestWhenErasingFlagged) {
    LiveAcList list;
    for (uint32_t h : {10001u, 10002u, 10003u, 10002u, 10004u}) list.emplace_back(lf_ac(h));
    list[1].erase = true;
    list[4].erase = true;
    EXPECT_EQ(list.eraseFlagged(), 2u);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].identity.hexid, 10001u);
    EXPECT_EQ(list[1].identity.hexid, 10003u);
    EXPECT_EQ(list[2].identity.hexid, 10002u);
    // The later record of a repeated hexid is found once the first is gone.
    EXPECT_EQ(list.findHexid(10002), &list[2]);
    EXPECT_EQ(list.findHexid(10004), nullptr);
}

}  // namespace
}  // namespace vdl
