// The track map's labels: near their points, never over one another.
#include <gtest/gtest.h>
#include <fmt/format.h>

#include "standins/map_labels.h"

namespace vdl::maps {
namespace {

TEST(MapLabels, BoxIsSixTenthsOfTheFontSizeACharacter) {
    const Box b = gf_labelBox("DLH4AB", 100, 50, 20);
    EXPECT_DOUBLE_EQ(b.right - b.left, 6 * 0.6 * 20);
    EXPECT_DOUBLE_EQ(b.top, 50 - 16);
    EXPECT_DOUBLE_EQ(b.bottom, 50 + 4);
    EXPECT_DOUBLE_EQ(gf_labelBox("Zürich", 0, 0, 10).right, 36) << "characters, not bytes";
}

// Aircraft on neighbouring stands of an apron, each with its callsign, a "stop" and a "parked"
// mark and the stand's name: dozens of labels whose points lie within a few metres.
TEST(MapLabels, LabelsOfACrowdedApronDoNotOverlap) {
    std::vector<LabelWish> wishes;
    for (int i = 0; i < 14; ++i) {
        const double x = 1000 + (i % 7) * 45.0, y = 2000 + (i / 7) * 60.0;
        wishes.push_back({fmt::format("EWG{}KT", i), x, y, 70, "#1f77b4"});
        wishes.push_back({fmt::format("EWG{}KT stop", i), x + 3, y + 2, 60, "#ff7f0e"});
        wishes.push_back({fmt::format("EWG{}KT parked", i), x, y + 1, 60, "#0050d0"});
        wishes.push_back({fmt::format("A{}", i), x + 1, y, 24, "#555"});
        wishes.push_back({fmt::format("DLH{}*", i), x, y - 2, 20, "#404040"});
    }
    const Box legend{-7000, -7000, 7000, -6800};
    const Box area{-7400, -7400, 7400, 7400};
    const auto placed = gf_placeLabels(wishes, {legend}, area);
    ASSERT_EQ(placed.size(), wishes.size()) << "every label finds a place";
    for (size_t i = 0; i < placed.size(); ++i) {
        EXPECT_TRUE(placed[i].box.inside(area)) << placed[i].wish.text;
        EXPECT_FALSE(placed[i].box.overlaps(legend)) << placed[i].wish.text;
        for (size_t j = i + 1; j < placed.size(); ++j)
            EXPECT_FALSE(placed[i].box.overlaps(placed[j].box)) << placed[i].wish.text << " and " << placed[j].wish.text;
    }
    // The first is beside its point; most of the rest need a leader line.
    EXPECT_FALSE(placed.front().leader);
    EXPECT_LT(placed.front().box.left - placed.front().wish.anchorX, 70.0);
    EXPECT_GT(std::count_if(placed.begin(), placed.end(), [](const PlacedLabel& p) { return p.leader; }), 20);
}

TEST(MapLabels, ALabelWithNoRoomIsLeftOutAndNeverDrawnOver) {
    const Box area{0, 0, 100, 30};
    const auto placed = gf_placeLabels({{"AB", 50, 15, 20, ""}, {"CD", 50, 15, 20, ""}, {"a label too long for the map", 50, 15, 20, ""}},
                                       {}, area);
    ASSERT_EQ(placed.size(), 2u);
    EXPECT_FALSE(placed[0].box.overlaps(placed[1].box));
}

}  // namespace
// The airport map's frame: square, every ground point inside with its margin, never smaller
// than the minimum, centred on the points.
TEST(MapLabels, TheAirportFrameHoldsEveryPointInASquare) {
    using Points = std::vector<std::pair<double, double>>;
    const struct {
        Points points;
        double margin, minHalf;
        vdl::maps::Box expected;
    } cases[] = {
        {{}, 80, 400, {-400, -400, 400, 400}},
        {{{100, 200}}, 80, 400, {-300, -200, 500, 600}},
        {{{-1000, 0}, {1000, 50}}, 80, 400, {-1080, -1055, 1080, 1105}},  // wide: the width decides
        {{{0, -3000}, {10, 0}, {20, 3000}}, 100, 400, {-3090, -3100, 3110, 3100}},  // tall
        {{{5, 5}, {6, 6}}, 0, 1, {4.5, 4.5, 6.5, 6.5}},
    };
    for (const auto& c : cases) {
        const vdl::maps::Box b = vdl::maps::gf_fitFrame(c.points, c.margin, c.minHalf);
        EXPECT_DOUBLE_EQ(b.left, c.expected.left);
        EXPECT_DOUBLE_EQ(b.top, c.expected.top);
        EXPECT_DOUBLE_EQ(b.right, c.expected.right);
        EXPECT_DOUBLE_EQ(b.bottom, c.expected.bottom);
        EXPECT_DOUBLE_EQ(b.right - b.left, b.bottom - b.top) << "square";
        for (const auto& [x, y] : c.points) {
            EXPECT_GE(x - b.left, c.margin);
            EXPECT_GE(b.right - x, c.margin);
            EXPECT_GE(y - b.top, c.margin);
            EXPECT_GE(b.bottom - y, c.margin);
        }
    }
}

}  // namespace vdl::maps
