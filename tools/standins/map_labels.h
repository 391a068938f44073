#pragma once
// Label placement for the track map: every label near its point and none over another.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vdl::maps {

struct Box {
    double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
    bool overlaps(const Box& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    bool inside(const Box& area) const {
        return left >= area.left && right <= area.right && top >= area.top && bottom <= area.bottom;
    }
};

// The box of a text whose baseline starts at (x, y), y growing downwards: 0.6 x the font size a
// character (UTF-8 code points), 0.8 of it above the baseline and 0.2 below.
Box gf_labelBox(std::string_view text, double x, double y, double fontSize);

struct LabelWish {
    std::string text;
    double anchorX = 0.0, anchorY = 0.0;  // the point it names
    double fontSize = 10.0;
    std::string colour;
};

struct PlacedLabel {
    LabelWish wish;
    double x = 0.0, y = 0.0;  // the start of its baseline
    Box box;
    bool leader = false;  // moved away from its point: a line joins them
};

// Places the labels in their order: beside the point where that is free (right, left, above,
// below, then the corners), else on rings further out with a leader line; never over a label
// placed before or an obstacle, always inside `area`. A label that finds no place is left out.
std::vector<PlacedLabel> gf_placeLabels(const std::vector<LabelWish>& wishes, const std::vector<Box>& obstacles,
                                        const Box& area);

// The smallest square around the points (x, y), with `margin` on every side and at least
// `minHalf` from its middle to an edge; around (0, 0) when there are none.
Box gf_fitFrame(const std::vector<std::pair<double, double>>& points, double margin, double minHalf);

}  // namespace vdl::maps
