#include "traffic/roll_path.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "traffic/movement.h"
#include "traffic/traffic_clock.h"

namespace vdl {

namespace {

// Faster than any taxi, by the points' own move (a roll's lines often carry no speed): only
// take-off and landing runs are straightened.
constexpr double fastRollKt = 40.0;
// Points within this of the line are noise on a straight run; a farther one is a turn.
constexpr double corridorMetres = 30.0;
// The line needs this much length ahead before it says more than the next point.
constexpr double minLineMetres = 300.0;

struct Local {
    double east = 0.0;
    double north = 0.0;
};

Local lf_local(const LiveAc& ac, const StreamPos& p) {
    Local l;
    gf_toLocalMetres(ac.lat, ac.lon, p.lat, p.lon, l.east, l.north);
    return l;
}

// The straight line through the points from the second to `k` (least squares): a point on it
// and its direction. Empty when a point lies off the corridor or out of order along it.
std::optional<std::pair<Local, Local>> lf_lineThrough(const LiveAc& ac, size_t k) {
    std::vector<Local> pts;
    Local mean;
    for (size_t i = 1; i <= k; ++i) {
        pts.push_back(lf_local(ac, ac.stream[i]));
        mean.east += pts.back().east;
        mean.north += pts.back().north;
    }
    mean.east /= static_cast<double>(pts.size());
    mean.north /= static_cast<double>(pts.size());
    double ee = 0.0, nn = 0.0, en = 0.0;
    for (const Local& p : pts) {
        ee += (p.east - mean.east) * (p.east - mean.east);
        nn += (p.north - mean.north) * (p.north - mean.north);
        en += (p.east - mean.east) * (p.north - mean.north);
    }
    const double angle = 0.5 * std::atan2(2.0 * en, ee - nn);
    Local dir{std::cos(angle), std::sin(angle)};
    // Pointing the way the points go.
    if ((pts.back().east - pts.front().east) * dir.east + (pts.back().north - pts.front().north) * dir.north < 0.0)
        dir = {-dir.east, -dir.north};
    double along = -std::numeric_limits<double>::infinity();
    for (const Local& p : pts) {
        const double a = (p.east - mean.east) * dir.east + (p.north - mean.north) * dir.north;
        const double off = std::fabs((p.east - mean.east) * dir.north - (p.north - mean.north) * dir.east);
        if (off > corridorMetres || a < along) return std::nullopt;
        along = a;
    }
    return std::pair{mean, dir};
}

}  // namespace

bool gf_straightenRoll(LiveAc& ac) {
    if (!ac.onGround || ac.reversing || ac.stream.size() < 3) return false;
    // The points ahead up to the first stop; the run goes on straight after the lift-off.
    size_t last = 0;
    while (last + 1 < ac.stream.size() && !ac.stream[last + 1].stop) ++last;
    for (size_t k = last; k >= 2; --k) {
        const StreamPos& first = ac.stream[1];
        const StreamPos& end = ac.stream[k];
        const double nm = gf_distanceNm({first.lat, first.lon}, {end.lat, end.lon});
        if (nmToMetres(nm) < minLineMetres) return false;
        // The data's own pace between its points (the aircraft may lag them).
        const int32_t units = gf_unitsFrom(first.time, end.time);
        if (units <= 0 || nm / units * clockUnitsPerHour < fastRollKt) continue;
        const auto line = lf_lineThrough(ac, k);
        if (!line) continue;
        const auto& [on, dir] = *line;
        const double cosLat = std::cos(degToRad(ac.lat));
        if (!(std::fabs(cosLat) > 1e-9)) return false;
        for (size_t i = 1; i <= k; ++i) {
            StreamPos& q = ac.stream[i];
            const Local p = lf_local(ac, q);
            const double a = (p.east - on.east) * dir.east + (p.north - on.north) * dir.north;
            q.lat = ac.lat + (on.north + a * dir.north) / metresPerDegreeLat;
            q.lon = gf_wrapLon(ac.lon + (on.east + a * dir.east) / (cosLat * metresPerDegreeLat));
        }
        return true;
    }
    return false;
}

}  // namespace vdl
