#include "standins/map_labels.h"

#include <algorithm>
#include <cmath>

namespace vdl::maps {

namespace {

constexpr double charWidth = 0.6;  // of the font size
constexpr double ascent = 0.8;
constexpr double descent = 0.2;
// Rings of candidate places around the point, each a line height further out.
constexpr int rings = 40;

size_t lf_chars(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

Box gf_labelBox(std::string_view text, double x, double y, double fontSize) {
    return {x, y - ascent * fontSize, x + charWidth * fontSize * static_cast<double>(lf_chars(text)),
            y + descent * fontSize};
}

std::vector<PlacedLabel> gf_placeLabels(const std::vector<LabelWish>& wishes, const std::vector<Box>& obstacles,
                                        const Box& area) {
    std::vector<PlacedLabel> placed;
    auto isFree = [&](const Box& b) {
        if (!b.inside(area)) return false;
        for (const Box& o : obstacles)
            if (b.overlaps(o)) return false;
        for (const PlacedLabel& p : placed)
            if (b.overlaps(p.box)) return false;
        return true;
    };
    // Directions in the order tried: right, left, above, below, then the corners.
    constexpr double directions[][2] = {{1, 0}, {-1, 0}, {0, -1}, {0, 1}, {1, -1}, {-1, -1}, {1, 1}, {-1, 1}};
    for (const LabelWish& w : wishes) {
        const double f = w.fontSize;
        const double width = charWidth * f * static_cast<double>(lf_chars(w.text));
        const double gap = 0.4 * f;
        bool done = false;
        for (int ring = 0; ring <= rings && !done; ++ring) {
            const double out = ring * (ascent + descent) * f * 1.2;
            for (const auto& d : directions) {
                const double dx = d[0], dy = d[1];
                // The box's near edge a gap (and the ring) from the point, centred across.
                const double cx = w.anchorX + dx * (gap + out + width / 2);
                const double cy = w.anchorY + dy * (gap + out + f / 2);
                const double x = cx - width / 2;
                const double y = cy + (ascent - descent) * f / 2;
                const Box b = gf_labelBox(w.text, x, y, f);
                if (!isFree(b)) continue;
                placed.push_back({w, x, y, b, ring > 0});
                done = true;
                break;
            }
        }
    }
    return placed;
}

Box gf_fitFrame(const std::vector<std::pair<double, double>>& points, double margin, double minHalf) {
    if (points.empty()) return {-minHalf, -minHalf, minHalf, minHalf};
    Box b{points.front().first, points.front().second, points.front().first, points.front().second};
    for (const auto& [x, y] : points) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
    }
    const double half = std::max(minHalf, std::max(b.right - b.left, b.bottom - b.top) / 2 + margin);
    const double cx = (b.left + b.right) / 2;
    const double cy = (b.top + b.bottom) / 2;
    return {cx - half, cy - half, cx + half, cy + half};
}

}  // namespace vdl::maps
