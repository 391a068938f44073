#include "traffic/ground_speed.h"

#include <algorithm>
#include <cmath>

#include "foundation/clock.h"
#include "traffic/flight_phases.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"

namespace vdl {

namespace {

// Along a curve the nose turns at most this share of the ground's fastest rate (its margin to
// catch up), judged at this many points ahead.
constexpr double curveTurnShare = 0.8;
constexpr int curveSamples = 4;
// Slower than it loses braking in this many steps, it stops where it is.
constexpr double overshootBrakeSteps = 50.0;

LatLon lf_speedPos(const LiveAc& ac) { return {ac.lat, ac.lon}; }
// Lengths in metres on an airfield: no overflow for std::hypot to guard against, every step.
double lf_length(double east, double north) { return std::sqrt(east * east + north * north); }
LatLon lf_speedPos(const StreamPos& p) { return {p.lat, p.lon}; }

double lf_ktPerStep(double kt) { return ktToMps(kt) / clockUnitsPerSecond; }
// Speed gained and lost per step, m per step.
double lf_accelPerStep(const LiveAc& ac) {
    return lf_ktPerStep(gf_flightValues(ac.identity.category).groundAccelKtPerS) / clockUnitsPerSecond;
}
double lf_brakePerStep(const LiveAc& ac) {
    return lf_ktPerStep(gf_flightValues(ac.identity.category).groundBrakeKtPerS) / clockUnitsPerSecond;
}

bool lf_backwards(const LiveAc& ac) { return ac.reversing || ac.groundState == GroundState::pushback; }
// The way it rolls: tail first when pushed back or reversing.
double lf_travel(const LiveAc& ac) { return lf_backwards(ac) ? ac.heading + pi : ac.heading; }

bool lf_tooFastToStand(const LiveAc& ac, double v) { return v > overshootBrakeSteps * lf_brakePerStep(ac); }

// The path's direction at the end of the leg: the curve's tangent there, or the leg's course.
double lf_arrivalBearing(const LiveAc& ac) {
    if (ac.curve) {
        const BezierCurve& c = *ac.curve;
        return std::atan2(c.p2East - c.p1East, c.p2North - c.p1North);
    }
    return ac.legBearing;
}

// It stands at the leg's end: a stop follows, or the next leg turns off further than the nose
// may be off the path while it rolls (it turns there before it moves on). Worked out again only
// when the leg or the number of points changes: the points after the first lie elsewhere in
// memory, and reading them in every step of every rolling aircraft was most of its cost.
bool lf_stopAhead(LiveAc& ac) {
    if (ac.settling) return true;
    const size_t size = ac.stream.size();
    if (size < 2) return false;
    if (ac.stopAheadFor == size) return ac.stopAhead;
    const StreamPos& target = ac.stream[0];
    const StreamPos& next = ac.stream[1];
    bool stop = next.stop != 0;
    if (!stop && gf_distanceNm(lf_speedPos(target), lf_speedPos(next)) > minPathNm) {
        const double bend =
            std::fabs(gf_angleDiff(lf_arrivalBearing(ac), gf_bearing(lf_speedPos(target), lf_speedPos(next))));
        stop = std::isfinite(bend) && bend > groundAlignRad;
    }
    ac.stopAheadFor = static_cast<uint32_t>(size);
    ac.stopAhead = stop;
    return stop;
}

// The curve's speed (m per unit of its parameter) and its curvature (1/m) at t.
void lf_curveDerivatives(const BezierCurve& c, double t, double& speed, double& curvature) {
    const double span = c.end - c.start;
    const double u = (t - c.start) / span;
    const double dE = (2.0 * u * (c.p2East - c.p1East) + 2.0 * (1.0 - u) * c.p1East) / span;
    const double dN = (2.0 * u * (c.p2North - c.p1North) + 2.0 * (1.0 - u) * c.p1North) / span;
    const double ddE = 2.0 * (c.p2East - 2.0 * c.p1East) / (span * span);
    const double ddN = 2.0 * (c.p2North - 2.0 * c.p1North) / (span * span);
    speed = lf_length(dE, dN);
    curvature = speed > 0.0 ? std::fabs(dE * ddN - dN * ddE) / (speed * speed * speed) : 0.0;
}

double lf_curveSpeed(const BezierCurve& c, double t) {
    double speed = 0.0;
    double curvature = 0.0;
    lf_curveDerivatives(c, t, speed, curvature);
    return speed;
}

// The curve's point (local metres from its start) at t.
void lf_curveAt(const BezierCurve& c, double t, double& east, double& north) {
    const double u = (t - c.start) / (c.end - c.start);
    const double w = 1.0 - u;
    east = 2.0 * w * u * c.p1East + u * u * c.p2East;
    north = 2.0 * w * u * c.p1North + u * u * c.p2North;
}

// The fastest step at which the nose keeps up with the rest of the curve: at each point ahead
// no faster than the turn rate allows there, braking in time for it.
double lf_curveSpeedCap(const LiveAc& ac, double t) {
    const BezierCurve& c = *ac.curve;
    const double turn = curveTurnShare * gf_maxTurnPerStep(ac);
    const double brake = lf_brakePerStep(ac);
    double hereEast = 0.0;
    double hereNorth = 0.0;
    lf_curveAt(c, t, hereEast, hereNorth);
    double cap = HUGE_VAL;
    for (int i = 0; i <= curveSamples; ++i) {
        const double ti = t + (maxCurveParameter - t) * i / curveSamples;
        double speed = 0.0;
        double curvature = 0.0;
        lf_curveDerivatives(c, ti, speed, curvature);
        if (!(curvature > 0.0)) continue;
        double east = 0.0;
        double north = 0.0;
        lf_curveAt(c, ti, east, north);
        const double ahead = lf_length(east - hereEast, north - hereNorth);
        const double v = turn / curvature;
        cap = std::min(cap, std::sqrt(v * v + 2.0 * brake * ahead));
    }
    return cap;
}

}  // namespace

double gf_groundStepMetres(LiveAc& ac, double remaining, bool aligned, double capM) {
    const double brake = lf_brakePerStep(ac);
    const double n = ac.settling ? 1.0 : std::max(1, gf_unitsFrom(clock100.load(), ac.stream.front().time));
    double want = remaining / n;
    if (lf_stopAhead(ac)) {
        // Rolling on, then braking, so that it stands at the point at the leg's end.
        const double brakeLimit = std::sqrt(2.0 * brake * remaining);
        const double disc = n * n - 2.0 * remaining / brake;
        want = disc >= 0.0 ? std::min(brake * (n - std::sqrt(disc)), brakeLimit) : brakeLimit;
    }
    if (!aligned) want = 0.0;
    want = std::min({want, capM, lf_ktPerStep(ac.landingRoll || ac.takeoffRoll ? maxRollKt : maxTaxiKt)});
    const double now = ac.groundStepM < 0.0 ? want : ac.groundStepM;
    const double v = std::max(0.0, std::clamp(want, now - brake, now + lf_accelPerStep(ac)));
    ac.groundStepM = v;
    ac.tas = mpsToKt(v * clockUnitsPerSecond) * (lf_backwards(ac) ? -1.0 : 1.0);
    return v;
}

GroundTarget gf_groundTarget(LiveAc& ac) {
    GroundTarget g;
    g.point = ac.settling ? LatLon{ac.settleLat, ac.settleLon} : lf_speedPos(ac.stream.front());
    if (g.point.lat != ac.pathLat || g.point.lon != ac.pathLon || !(ac.pathCosLat > 0.0)) {
        ac.pathLat = g.point.lat;
        ac.pathLon = g.point.lon;
        ac.pathCosLat = std::cos(degToRad(ac.lat));
        ac.pathBearingKnown = false;
    }
    const double north = (g.point.lat - ac.lat) * metresPerDegreeLat;
    const double east = ac.pathCosLat * metresPerDegreeLat * gf_lonDiff(ac.lon, g.point.lon);
    g.metres = lf_length(east, north);
    // Rolling straight towards the point, the bearing to it stays as it was.
    if (!ac.pathBearingKnown) {
        ac.pathBearing = std::atan2(east, north);
        if (ac.pathBearing < 0.0) ac.pathBearing += 2.0 * pi;
        ac.pathBearingKnown = true;
    }
    g.bearing = ac.pathBearing;
    return g;
}

void gf_groundAdvance(LiveAc& ac, const GroundTarget& g, bool aligned) {
    const LatLon target = g.point;
    const double remaining = g.metres;
    if (!std::isfinite(remaining)) return;
    const double v = gf_groundStepMetres(ac, remaining, aligned);
    const bool arrives = remaining <= v || remaining < minSettleMetres;
    if (!arrives) {
        const double share = v / remaining;
        ac.lat += (target.lat - ac.lat) * share;
        ac.lon = gf_wrapLon(ac.lon + gf_lonDiff(ac.lon, target.lon) * share);
        return;
    }
    const double course = remaining > minSettleMetres ? g.bearing : ac.legBearing;
    ac.lat = target.lat;
    ac.lon = target.lon;
    if ((ac.settling || ac.stream.size() == 1) && lf_tooFastToStand(ac, v)) {
        // A stop, or the data's end, came too late to brake for: it rolls on beyond, braking.
        gf_startSettling(ac, gf_destination(target, course, metresToFeet(v * v / (2.0 * lf_brakePerStep(ac)))));
        return;
    }
    if (ac.settling) {
        ac.settling = false;
        ac.groundStepM = 0.0;
        ac.tas = 0.0;
    } else if (ac.stream.size() >= 2 && (!ac.stream[1].stop || lf_tooFastToStand(ac, v))) {
        // There early (it could not brake as fast as the data slowed): the next leg starts now
        // rather than after a standstill.
        ac.stream.front().time = clock100.load();
    }
}

double gf_curveStep(LiveAc& ac, bool aligned) {
    if (!gf_speedGoverned(ac)) return ac.curveStep;
    const BezierCurve& c = *ac.curve;
    const double t = ac.curveT;
    const double end = maxCurveParameter;
    if (!(c.end > c.start) || !(t < end)) return ac.curveStep;
    // Simpson's rule over what is left of the curve.
    const double left = (end - t) / 6.0 * (lf_curveSpeed(c, t) + 4.0 * lf_curveSpeed(c, (t + end) / 2.0) + lf_curveSpeed(c, end));
    const double perT = lf_curveSpeed(c, t);
    if (!(perT > 0.0) || !std::isfinite(left)) return ac.curveStep;
    const double v = gf_groundStepMetres(ac, left, aligned, lf_curveSpeedCap(ac, t));
    // At the end early (it could not brake as fast as the data slowed): the next leg starts now.
    if (t + v / perT >= end && ac.stream.size() >= 2 && (!ac.stream[1].stop || lf_tooFastToStand(ac, v)))
        ac.stream.front().time = clock100.load();
    return v / perT;
}

void gf_startSettling(LiveAc& ac, LatLon point) {
    if (!ac.settling) ac.settleSince = clock100.load();
    ac.settling = true;
    ac.settleLat = point.lat;
    ac.settleLon = point.lon;
    if (ac.groundStepM < 0.0) ac.groundStepM = 0.0;
}

bool gf_aheadToSettle(const LiveAc& ac, LatLon point) {
    if (nmToMetres(gf_distanceNm(lf_speedPos(ac), point)) < minSettleMetres) return false;
    return std::fabs(gf_angleDiff(lf_travel(ac), gf_bearing(lf_speedPos(ac), point))) < pi / 2.0;
}

bool gf_brakeToStandstill(LiveAc& ac) {
    const double v = ac.groundStepM;
    if (!lf_tooFastToStand(ac, v)) return false;
    gf_startSettling(ac,
                     gf_destination(lf_speedPos(ac), lf_travel(ac), metresToFeet(v * v / (2.0 * lf_brakePerStep(ac)))));
    return true;
}

bool gf_settledTooLong(const LiveAc& ac) {
    return ac.settling && gf_unitsFrom(ac.settleSince, clock100.load()) > static_cast<int32_t>(maxSettleUnits);
}

}  // namespace vdl
