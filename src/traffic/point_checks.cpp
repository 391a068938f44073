#include "traffic/point_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "traffic/flight_tables.h"

namespace vdl {

namespace {

// An altitude change between two records is plausible within twice the climb or descent the
// records report (at least this much), plus a margin for the coarse altitudes of the feed.
constexpr double spikeMinFpm = 1500.0;
constexpr double spikeMarginFt = 500.0;
constexpr double landingMaxGainKt = 40.0;  // below it any speed is taken as it comes
constexpr double confirmedShare = 0.95;    // positions within 5 % confirm a reported speed
constexpr double liftOffTrackDeg = 15.0;

double lf_seconds(uint32_t from, uint32_t to) {
    const auto d = static_cast<int32_t>(to - from);
    return std::max(1.0, static_cast<double>(d) / 100.0);
}

double lf_allowedFt(const StreamPos& a, const StreamPos& b, double vs) {
    const double fpm = std::max({std::fabs(a.vs), std::fabs(b.vs), std::fabs(vs), spikeMinFpm});
    return 2.0 * fpm / 60.0 * lf_seconds(a.time, b.time) + spikeMarginFt;
}

}  // namespace

bool gf_mendAltitudeSpike(PosStream& stream, const StreamPos& p) {
    if (stream.size() < 2 || !p.airborne) return false;
    StreamPos& l = stream.back();
    const StreamPos& k = stream[stream.size() - 2];
    if (!l.airborne || !k.airborne) return false;
    const double up = l.alt - k.alt;
    const double on = l.alt - p.alt;
    if ((up > 0.0) != (on > 0.0)) return false;  // a climb or descent through it, not a spike
    if (std::fabs(up) <= lf_allowedFt(k, l, l.vs) || std::fabs(on) <= lf_allowedFt(l, p, l.vs)) return false;
    // The neighbours must agree with each other, or the spike may be theirs.
    if (std::fabs(p.alt - k.alt) > lf_allowedFt(k, p, 0.0)) return false;
    const double span = lf_seconds(k.time, p.time);
    const double share = std::clamp(lf_seconds(k.time, l.time) / span, 0.0, 1.0);
    l.alt = k.alt + (p.alt - k.alt) * share;
    l.vs = (p.alt - k.alt) / span * 60.0;
    return true;
}

double gf_shownSpeedKt(const StreamPos& from, const StreamPos& to) {
    return gf_distanceNm({from.lat, from.lon}, {to.lat, to.lon}) * 3600.0 / lf_seconds(from.time, to.time);
}

double gf_landingPointSpeed(const StreamPos& last, const StreamPos& p) {
    if (!(p.speed > last.speed && p.speed > landingMaxGainKt)) return p.speed;
    const double shown = gf_shownSpeedKt(last, p);
    if (shown >= confirmedShare * p.speed) return p.speed;
    return std::clamp(shown, last.speed, p.speed);
}

bool gf_liftOffShown(const LiveAc& a, const StreamPos& last, const StreamPos& p) {
    if (gf_shownSpeedKt(last, p) < gf_flightValues(a.identity.category).rotationSpeedKt) return false;
    if (!a.landingRoll) return true;
    const double track = gf_bearing({last.lat, last.lon}, {p.lat, p.lon});
    return std::fabs(gf_angleDiff(a.touchdownHeading, track)) <= degToRad(liftOffTrackDeg);
}

}  // namespace vdl
