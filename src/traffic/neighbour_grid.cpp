#include "traffic/neighbour_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/units.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

// Below this many live aircraft the walk is as quick as the grid.
constexpr size_t gridFromFleet = 256;
constexpr double cellDeg = 0.02;
constexpr double marginNm = 0.5;
constexpr uint32_t gridLifeUnits = 100;  // one second of steps
// Near the poles and across the date line the cells do not tell distance: the walk answers.
constexpr double maxGridLatDeg = 80.0;
constexpr double nmPerDegreeLat = 60.0;

struct NeighbourGrid {
    bool built = false;
    uint64_t generation = 0;
    uint32_t builtAt = 0;
    size_t builtSize = 0;
    double maxHalfSpanNm = 0.0;  // of the aircraft in the grid
    std::vector<std::pair<uint64_t, uint32_t>> entries;  // cell key, index, sorted
};
NeighbourGrid neighbourGrid;

int64_t lf_cell(double deg) { return static_cast<int64_t>(std::floor(deg / cellDeg)); }

uint64_t lf_key(int64_t latCell, int64_t lonCell) {
    return (static_cast<uint64_t>(latCell) << 32) ^ static_cast<uint64_t>(lonCell & 0xffffffff);
}

bool lf_gridPosition(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= maxGridLatDeg && lon >= -180.0 &&
           lon <= 180.0;
}

bool lf_needsPlace(const LiveAc& ac, const LiveAc& other, double spanFactor) {
    if (&other == &ac || !other.onGround || other.groundState != GroundState::taxi || other.state != AcState::active)
        return false;
    const double limit = spanFactor * (ac.identity.halfWingspan + other.identity.halfWingspan);
    return gf_distanceNm({ac.lat, ac.lon}, {other.lat, other.lon}) <= limit;
}

void lf_build() {
    NeighbourGrid& g = neighbourGrid;
    g.entries.clear();
    g.maxHalfSpanNm = 0.0;
    for (size_t i = 0; i < liveAircraft.size(); ++i) {
        const LiveAc& a = liveAircraft[i];
        if (!lf_gridPosition(a.lat, a.lon)) continue;
        // A span that is not a number never makes a neighbour: the distance test fails.
        if (a.identity.halfWingspan > g.maxHalfSpanNm) g.maxHalfSpanNm = a.identity.halfWingspan;
        g.entries.emplace_back(lf_key(lf_cell(a.lat), lf_cell(a.lon)), static_cast<uint32_t>(i));
    }
    std::sort(g.entries.begin(), g.entries.end());
    g.built = true;
    g.generation = liveAircraft.generation();
    g.builtAt = clock100.load();
    g.builtSize = liveAircraft.size();
}

bool lf_gridCurrent() {
    const NeighbourGrid& g = neighbourGrid;
    return g.built && g.generation == liveAircraft.generation() && g.builtSize <= liveAircraft.size() &&
           static_cast<int32_t>(clock100.load() - g.builtAt) < static_cast<int32_t>(gridLifeUnits) &&
           static_cast<int32_t>(clock100.load() - g.builtAt) >= 0;
}

}  // namespace

bool gf_taxiingNeighbourWithinByWalk(const LiveAc& ac, double spanFactor) {
    return std::any_of(liveAircraft.begin(), liveAircraft.end(),
                       [&](const LiveAc& other) { return lf_needsPlace(ac, other, spanFactor); });
}

bool gf_taxiingNeighbourWithin(const LiveAc& ac, double spanFactor) {
    if (liveAircraft.size() < gridFromFleet || !lf_gridPosition(ac.lat, ac.lon))
        return gf_taxiingNeighbourWithinByWalk(ac, spanFactor);
    if (!lf_gridCurrent()) lf_build();
    const NeighbourGrid& g = neighbourGrid;
    // The farthest a neighbour in the grid can be and still need the place, and the margin for
    // its move since the build; a reach the cells do not cover is left to the walk.
    const double reachNm = spanFactor * (ac.identity.halfWingspan + g.maxHalfSpanNm) + marginNm;
    const double reachLatDeg = reachNm / nmPerDegreeLat;
    const double reachLonDeg = reachLatDeg / std::cos(degToRad(ac.lat));
    if (!(reachNm <= 2.0 * marginNm) || !(std::fabs(ac.lat) + reachLatDeg <= maxGridLatDeg) ||
        !(std::fabs(ac.lon) + reachLonDeg <= 180.0))
        return gf_taxiingNeighbourWithinByWalk(ac, spanFactor);
    for (int64_t la = lf_cell(ac.lat - reachLatDeg); la <= lf_cell(ac.lat + reachLatDeg); ++la)
        for (int64_t lo = lf_cell(ac.lon - reachLonDeg); lo <= lf_cell(ac.lon + reachLonDeg); ++lo) {
            const uint64_t key = lf_key(la, lo);
            auto it = std::lower_bound(g.entries.begin(), g.entries.end(), std::make_pair(key, uint32_t{0}));
            for (; it != g.entries.end() && it->first == key; ++it)
                if (lf_needsPlace(ac, liveAircraft[it->second], spanFactor)) return true;
        }
    // Aircraft added since the build.
    for (size_t i = g.builtSize; i < liveAircraft.size(); ++i)
        if (lf_needsPlace(ac, liveAircraft[i], spanFactor)) return true;
    return false;
}

void gf_forgetNeighbourGrid() {
    neighbourGrid.built = false;
    std::vector<std::pair<uint64_t, uint32_t>>().swap(neighbourGrid.entries);
}

}  // namespace vdl
