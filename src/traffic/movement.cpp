#include "traffic/movement.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/units.h"
#include "traffic/flight_phases.h"
#include "traffic/flight_tables.h"
#include "traffic/ground_movement.h"
#include "traffic/ground_speed.h"
#include "traffic/removal.h"
#include "traffic/roll_path.h"
#include "traffic/sim_replies.h"
#include "traffic/stand_soft.h"
#include "traffic/stream_extension.h"

namespace vdl {

namespace {

constexpr double twoPi = 2.0 * pi;
constexpr double headingDeadbandRad = degToRad(0.5);  // no turn for a smaller heading error
constexpr double maxConfigNoseUpRad = degToRad(4.0);  // the configuration steps raise the nose no more
constexpr double defaultBaseTurnRad = degToRad(0.05);  // per step, for a category without one
constexpr double groundTurnFactor = 3.0;               // on the ground turns may be this much faster
constexpr double maxLegUnits = 24.0 * clockUnitsPerHour;  // a longer leg means nothing
constexpr double approachFallbackSpeedKt = 100.0;
// A leg is split in two when its speed changes by more than this over at least this distance.
constexpr double splitSpeedChangeKt = 5.0;
constexpr double splitMinLegMetres = 100.0;
constexpr double flareStartAglFt = 400.0;
// Tail first in the data: slow, and the path this far from the nose (it ends beyond the other).
constexpr double reversingMaxKt = 6.0;
constexpr double reversingStartRad = degToRad(120.0);
constexpr double reversingEndRad = degToRad(90.0);
constexpr double maxAlignWaitKt = 30.0;  // faster, it turns while it rolls through a bend
constexpr double rollingBendRad = degToRad(11.0);
constexpr double maxAirCatchUp = 1.5;
constexpr double minAirCatchUpKt = 60.0;
constexpr double noseLoweringSteps = 100.0;  // after touchdown, when the rate would never get there
constexpr int32_t windowShrinkStep = 100;
constexpr double standAlignRad = degToRad(1.0);
// A stream end hands over to continueStream, which always appends; this bounds a loop of
// points that are appended and erased again (an airborne aeroplane given a stop point).
constexpr int maxPointChangeRounds = 32;

double lf_wrap2Pi(double a) {
    if (!std::isfinite(a)) return 0.0;
    // Every step for every turning aircraft: within a turn of the range the result is exact
    // without std::fmod (the operands lie within a factor of two of each other).
    if (a >= 0.0 && a < twoPi) return a;
    if (a >= twoPi && a < 2.0 * twoPi) return a - twoPi;
    a = std::fmod(a, twoPi);
    if (a < 0.0) a += twoPi;
    return a;
}

LatLon lf_pos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_pos(const LiveAc& ac) { return {ac.lat, ac.lon}; }

// Turns the heading towards a bearing by at most `rate`, the short way; no turn within 0.5 deg.
void lf_turnTowards(LiveAc& ac, double bearing, double rate) {
    const double diff = gf_angleDiff(ac.heading, bearing);
    if (!std::isfinite(diff) || std::fabs(diff) <= headingDeadbandRad) return;
    if (!(rate > 0.0) || !std::isfinite(rate)) return;
    const double stepSize = std::min({rate, gf_maxTurnPerStep(ac), std::fabs(diff)});
    ac.heading = lf_wrap2Pi(ac.heading + (diff > 0.0 ? stepSize : -stepSize));
}

void lf_popFront(LiveAc& ac) {
    if (ac.stream.empty())
        throw std::runtime_error(fmt::format("nextPos {} stream at the end is empty?", gf_acText(ac.identity)));
    ac.stream.pop_front();
}

// A slow move against the nose in the data is a pushback: it is flown tail first.
void lf_detectReversing(LiveAc& ac) {
    const GroundState gs = ac.groundState;
    if (ac.stream.size() < 2 || ac.stream[1].stop || ac.landingRoll || ac.takeoffRoll ||
        (gs != GroundState::taxi && gs != GroundState::fresh)) {
        ac.reversing = false;
        return;
    }
    const StreamPos& p1 = ac.stream[1];
    const double off = std::fabs(gf_angleDiff(ac.heading, gf_bearing(lf_pos(ac), lf_pos(p1))));
    if (segmentSpeed(ac) > reversingMaxKt) ac.reversing = false;
    else if (off >= reversingStartRad) ac.reversing = true;
    else if (off <= reversingEndRad) ac.reversing = false;
}

// The rates of the new leg; the position rates reach the second point at its time.
void lf_setLegRates(LiveAc& ac, uint32_t clock) {
    if (!ac.onGround) setAirRates(ac);
    else setGroundRates(ac);
    // The flight rates may have dropped points ahead: the position rates follow the new leg.
    if (ac.stream.size() < 2) return;
    const StreamPos& p1 = ac.stream[1];
    int32_t d = std::max(minLegUnits, gf_unitsFrom(clock, p1.time));
    // A leg whose time has run out (the object waited for its binding, the nose was being
    // aligned, the data hops) is not raced through: in the air no faster than half again the
    // data's speed, on the ground no faster than a taxi, or a take-off or landing roll.
    if (!ac.onGround) {
        const double maxKt = maxAirCatchUp * std::max({ac.stream[0].speed, p1.speed, minAirCatchUpKt});
        const double nm = gf_distanceNm(lf_pos(ac), lf_pos(p1));
        d = std::max(d, gf_legUnits(nm, maxKt, d));
        // Nor slower than the category's floor: a point close by (noisy positions) is passed
        // on the way to the next one.
        const double floorKt = gf_flightValues(ac.identity.category).airFloorKt;
        if (floorKt > 0.0) d = std::min(d, gf_legUnits(nm, floorKt, d));
    } else {
        const double maxKt = ac.landingRoll || ac.takeoffRoll ? maxRollKt : maxTaxiKt;
        d = std::max(d, gf_legUnits(gf_distanceNm(lf_pos(ac), lf_pos(p1)), maxKt, d));
        ac.targetTas = std::clamp(ac.targetTas, -maxKt, maxKt);
        if (ac.curve) {
            // The control polygon is longer than the curve: a bound on its length.
            const BezierCurve& c = *ac.curve;
            const double metres = std::hypot(c.p1East, c.p1North) + std::hypot(c.p2East - c.p1East, c.p2North - c.p1North);
            const int32_t units = gf_legUnits(metresToNm(metres), maxKt, minLegUnits);
            ac.curveStep = std::min(ac.curveStep, 1.0 / units);
        }
    }
    ac.latRate = (p1.lat - ac.lat) / d;
    ac.lonRate = gf_lonDiff(ac.lon, p1.lon) / d;
    if (!ac.onGround) return;
    // On the ground the nose follows the way the aircraft really goes: from where it is.
    if (gf_distanceNm(lf_pos(ac), lf_pos(p1)) > minPathNm) ac.legBearing = gf_bearing(lf_pos(ac), lf_pos(p1));
    if (ac.reversing) ac.targetTas = -std::fabs(ac.targetTas);
}

// On the ground the nose follows the path (tail first when reversing): it turns at the ground
// rate, and the aircraft waits while its nose is too far off to move along the path.
bool lf_groundFollowsPath(const LiveAc& ac) {
    const GroundState gs = ac.groundState;
    return ac.onGround && (gs == GroundState::taxi || gs == GroundState::pullOut || gs == GroundState::toStand ||
                           gs == GroundState::fresh);
}

// True when the nose is aligned closely enough to move on.
bool lf_alignNose(LiveAc& ac, double pathBearing) {
    const double nose = ac.reversing ? lf_wrap2Pi(pathBearing + pi) : pathBearing;
    // The leg's own turn rate while the nose keeps up; the ground's fastest when it lags.
    const bool lagging = std::fabs(gf_angleDiff(ac.heading, nose)) > groundAlignRad / 2.0;
    lf_turnTowards(ac, nose, lagging ? gf_maxTurnPerStep(ac) : ac.identity.turnRate);
    // A rolling aircraft does not stop dead where its path bends a little: the nose catches up.
    const double off = std::fabs(gf_angleDiff(ac.heading, nose));
    return off <= groundAlignRad || (std::fabs(ac.targetTas) > maxAlignWaitKt && off <= rollingBendRad);
}

void lf_addLegRates(LiveAc& ac) {
    if (std::isfinite(ac.latRate)) ac.lat += ac.latRate;
    if (std::isfinite(ac.lonRate)) ac.lon = gf_wrapLon(ac.lon + ac.lonRate);
}

// Without a curve: heading by rate or towards the leg, position by the leg's rates (on the
// ground by the governed speed).
void lf_stepAlongLeg(LiveAc& ac) {
    const GroundState gs = ac.groundState;
    const bool moving = ac.latRate != 0.0 || ac.lonRate != 0.0 || ac.settling;
    if (lf_groundFollowsPath(ac) && moving) {
        if (!gf_speedGoverned(ac)) {
            if (lf_alignNose(ac, ac.legBearing)) lf_addLegRates(ac);
            return;
        }
        const GroundTarget target = gf_groundTarget(ac);
        const double path = target.metres > nmToMetres(minPathNm) ? target.bearing : ac.legBearing;
        if (lf_alignNose(ac, path)) {
            gf_groundAdvance(ac, target, true);
            return;
        }
        // A bend it could not see coming: it brakes and turns where its nose points.
        const double v = gf_groundStepMetres(ac, 0.0, false);
        if (v <= 0.0) return;
        const double nose = ac.reversing ? lf_wrap2Pi(ac.heading + pi) : ac.heading;
        const LatLon to = gf_destination(lf_pos(ac), nose, metresToFeet(v));
        ac.lat = to.lat;
        ac.lon = to.lon;
        ac.pathBearingKnown = false;  // off the line to its target
        return;
    }
    if (((gs == GroundState::pushback || gs == GroundState::pullOut || gs == GroundState::taxi) && ac.turnSlow) || gs == GroundState::toStand) {
        lf_turnTowards(ac, ac.legBearing, ac.identity.turnRate);
    } else {
        const double limit = gf_maxTurnPerStep(ac);
        const double rate = std::isfinite(ac.headingRate) ? std::clamp(ac.headingRate, -limit, limit) : 0.0;
        ac.heading = lf_wrap2Pi(ac.heading + rate);
    }
    if (gf_speedGoverned(ac) && moving) gf_groundAdvance(ac, gf_groundTarget(ac), true);
    else lf_addLegRates(ac);
}

// Along the curve: the position on it, the nose towards its tangent (backwards in a pushback).
void lf_stepAlongCurve(LiveAc& ac) {
    LatLon p;
    double bearing = 0.0;
    if (!bezierPoint(*ac.curve, ac.curveT, p, bearing)) {
        gf_logError(fmt::format("lf_stepAlongCurve: {} error in curve at index: {:.2F}", ac.identity.callsign, ac.curveT));
        ac.curveT = std::min(ac.curveT + ac.curveStep, maxCurveParameter);
        return;
    }
    const bool follows = lf_groundFollowsPath(ac);
    if (follows && gf_speedGoverned(ac)) {
        const double nose = ac.reversing ? lf_wrap2Pi(bearing + pi) : bearing;
        if (std::fabs(gf_angleDiff(ac.heading, nose)) > groundAlignRad) {
            // A curve the nose cannot follow (a turn back, a bend come late): straight to its
            // end, turning on the spot where needed.
            gf_clearCurve(ac);
            lf_stepAlongLeg(ac);
            return;
        }
    }
    const bool aligned = !follows || lf_alignNose(ac, bearing);
    const double t = std::min(ac.curveT + gf_curveStep(ac, aligned), maxCurveParameter);
    if (!bezierPoint(*ac.curve, t, p, bearing)) {
        ac.curveT = t;
        gf_logError(fmt::format("lf_stepAlongCurve: {} error in curve at index: {:.2F}", ac.identity.callsign, ac.curveT));
        return;
    }
    // Rolling on to where it stops: straight on from the curve's end.
    if (ac.settling && t >= maxCurveParameter) {
        ac.lat = p.lat;
        ac.lon = p.lon;
        gf_clearCurve(ac);
        return;
    }
    if (follows) {
        if (aligned || gf_speedGoverned(ac)) {
            ac.curveT = t;
            ac.lat = p.lat;
            ac.lon = p.lon;
        }
        return;
    }
    ac.curveT = t;
    ac.lat = p.lat;
    ac.lon = p.lon;
    if (ac.groundState == GroundState::pushback) bearing = lf_wrap2Pi(bearing + pi);
    lf_turnTowards(ac, bearing, ac.identity.turnRate);
}

// The data's altitude may lie under the simulator's ground (a QNH error, another elevation in the
// scenery): a flying aircraft stops on the ground and lands there, never goes below it.
void lf_groundFloor(LiveAc& ac) {
    if (ac.onGround || !ac.groundElevKnown || ac.groundState == GroundState::climbOut) return;
    const double standing = ac.identity.staticCgHeight > 0.0 ? ac.identity.staticCgHeight : gf_standingAgl(ac);
    const double floor = ac.groundElevFt + standing;
    if (ac.alt > floor) return;
    ac.alt = floor;
    gf_touchdown(ac);
}

// A landing lies ahead: on approach, or descending towards data at or under the ground (a
// touchdown in the data, or an altitude under the simulator's ground), wherever it is.
bool lf_landingAhead(const LiveAc& ac) {
    if (ac.approach) return true;
    if (ac.stream.empty() || !(ac.altRate < 0.0)) return false;
    const StreamPos& target = ac.stream.front();
    return !target.airborne || target.alt <= ac.alt - ac.aglFt + gf_standingAgl(ac);
}

// Pitch, bank and altitude outside the climb-out.
void lf_stepAttitude(LiveAc& ac) {
    if (!ac.onGround && ac.aglFt < flareStartAglFt && (ac.configStage != 0 || lf_landingAhead(ac))) flareStep(ac);
    const double groundPitch = ac.identity.groundPitch;
    if (ac.touchdown) {
        // Lowering the nose after touchdown; a rate that would never get there is replaced.
        if (!(ac.pitchRate > 0.0) && ac.pitch < groundPitch)
            ac.pitchRate = (groundPitch - ac.pitch) / noseLoweringSteps;
        ac.pitch += ac.pitchRate;
        if (ac.pitch >= groundPitch) {
            ac.pitch = groundPitch;
            ac.pitchRate = 0.0;
            ac.bank = 0.0;
            ac.bankRate = 0.0;
            ac.touchdown = false;
            ac.configStage = 0;
        }
        ac.bank += ac.bankRate;
    } else if (ac.configStage != 0) {
        ac.pitch = std::max(ac.pitch + ac.pitchRate, -maxConfigNoseUpRad);
        ac.bank += ac.bankRate;
        if (!ac.onGround) ac.alt += ac.altRate;  // on the ground it stands on the ground
    } else if (ac.onGround) {
        ac.pitch = groundPitch;
        ac.bank = 0.0;
    } else {
        ac.pitch += ac.pitchRate;
        ac.bank += ac.bankRate;
        ac.alt += ac.altRate;
    }
    lf_groundFloor(ac);
}

}  // namespace

void gf_resetMovementForTests() {
    movementParkAirport = {};
}

double gf_wrapLon(double lon) {
    if (!std::isfinite(lon)) return lon;
    if (lon >= -180.0 && lon <= 180.0) return lon;
    lon = std::fmod(lon + 180.0, 360.0);
    if (lon < 0.0) lon += 360.0;
    return lon - 180.0;
}

double gf_lonDiff(double a, double b) {
    double d = b - a;
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
    return d;
}

int32_t gf_legUnits(double distanceNm, double speedKt, int32_t fallback) {
    if (!(speedKt > 0.0) || !std::isfinite(distanceNm)) return std::max(minLegUnits, fallback);
    const double units = std::round(distanceNm * clockUnitsPerHour / speedKt);
    // Keeps it inside i32.
    if (!std::isfinite(units) || units > maxLegUnits) return std::max(minLegUnits, fallback);
    return std::max(minLegUnits, static_cast<int32_t>(units));
}

void gf_setGroundState(LiveAc& ac, GroundState state) {
    if (ac.groundState == state) return;
    ac.prevGroundState = ac.groundState;
    ac.groundState = state;
}

void gf_resetWindows(LiveAc& ac) {
    ac.lateWindow = ac.takeoffRoll ? windowTakeoff : windowNormal;
    ac.earlyWindow = windowNormal;
}

void gf_shrinkWindows(LiveAc& ac) {
    if (ac.earlyWindow > baseWindow) ac.earlyWindow = std::max(baseWindow, ac.earlyWindow - windowShrinkStep);
    if (ac.lateWindow > baseWindow) ac.lateWindow = std::max(baseWindow, ac.lateWindow - windowShrinkStep);
}

double gf_maxTurnPerStep(const LiveAc& ac) {
    const double base = ac.identity.baseTurnRate > 0.0 ? ac.identity.baseTurnRate : defaultBaseTurnRad;
    return ac.onGround ? groundTurnFactor * base : base;
}

void gf_toLocalMetres(double refLat, double refLon, double lat, double lon, double& east, double& north) {
    north = (lat - refLat) * metresPerDegreeLat;
    east = std::cos(degToRad(refLat)) * metresPerDegreeLat * gf_lonDiff(refLon, lon);
}

bool bezierPoint(const BezierCurve& c, double t, LatLon& position, double& bearing) {
    if (std::isnan(c.p1East) || std::isnan(c.p1North)) return false;
    if (!(t >= c.start && t <= c.end) || !(c.end > c.start)) return false;
    const double u = (t - c.start) / (c.end - c.start);
    const double w = 1.0 - u;
    const double tanEast = 2.0 * u * (c.p2East - c.p1East) + 2.0 * w * c.p1East;
    const double tanNorth = 2.0 * u * (c.p2North - c.p1North) + 2.0 * w * c.p1North;
    bearing = lf_wrap2Pi(std::atan2(tanEast, tanNorth));
    const double east = 2.0 * w * u * c.p1East + u * u * c.p2East;
    const double north = 2.0 * w * u * c.p1North + u * u * c.p2North;
    double refLat = c.refLat;
    if (refLat > 180.0) refLat -= 360.0;
    const double cosLat = std::cos(degToRad(refLat));
    if (!(std::fabs(cosLat) > 1e-9)) return false;
    position.lat = refLat + north / metresPerDegreeLat;
    position.lon = gf_wrapLon(c.refLon + east / (cosLat * metresPerDegreeLat));
    return std::isfinite(position.lat) && std::isfinite(position.lon);
}

void gf_clearCurve(LiveAc& ac) {
    ac.curve.reset();
    ac.curveT = 0.0;
    ac.pathBearingKnown = false;  // the curve took it off any line it rolled along before
    ac.stopAheadFor = 0;
}

double segmentSpeed(const LiveAc& ac) {
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    if (p0.speed == 0.0 && p1.speed == 0.0) {
        const int32_t dt = std::max(minLegUnits, gf_unitsFrom(p0.time, p1.time));
        return std::max(1.0, gf_distanceNm(lf_pos(p0), lf_pos(p1)) * clockUnitsPerHour / dt);
    }
    return (p0.speed + p1.speed) / 2.0;
}

void scheduleNextPoint(LiveAc& ac, int32_t units) {
    const uint32_t clock = clock100.load();
    StreamPos& p1 = ac.stream[1];
    if (ac.extensionCount > 0) {
        p1.time = clock + static_cast<uint32_t>(std::max(0, units));
        return;
    }
    // Relative to the clock, in 64 bits: windows and durations never wrap here.
    const int64_t given = gf_unitsFrom(clock, p1.time);
    int64_t due = units;
    if (due > given + ac.lateWindow) due = given + ac.lateWindow;
    else if (due < given - ac.earlyWindow) due = given - ac.earlyWindow;
    due = std::max<int64_t>(due, 0);
    p1.time = clock + static_cast<uint32_t>(due);
}

void nextPosAir(LiveAc& ac) {
    StreamPos& p0 = ac.stream[0];
    StreamPos& p1 = ac.stream[1];
    if (p1.stop) {
        if (ac.identity.category == AircraftCategory::Rotorcraft) adjustTimeGround(ac);
        return;
    }
    const uint32_t clock = clock100.load();
    double speed = 0.0;
    if (!ac.approach || p1.airborne) speed = segmentSpeed(ac);
    else speed = p0.speed > 0.0 ? p0.speed : approachFallbackSpeedKt;
    const int32_t given = gf_unitsFrom(clock, p1.time);
    const int32_t units = gf_legUnits(gf_distanceNm(lf_pos(ac), lf_pos(p1)), speed, given);
    int64_t due = units;
    if (ac.extensionCount <= 0) due = std::clamp<int64_t>(due, int64_t{given} - ac.earlyWindow, int64_t{given} + ac.lateWindow);
    due = std::max<int64_t>(due, 0);
    p1.time = clock + static_cast<uint32_t>(due);
}

void nextPos(LiveAc& ac) {
    const uint32_t clock = clock100.load();
    gf_clearCurve(ac);
    {
        StreamPos& p0 = ac.stream[0];
        StreamPos& p1 = ac.stream[1];
        if (!p1.stop && p1.lat == p0.lat && p1.lon == p0.lon) p1.stop = 1;
        if (!p1.stop) ac.legBearing = gf_bearing(lf_pos(p0), lf_pos(p1));
    }
    if (!ac.onGround) {
        nextPosAir(ac);
    } else {
        lf_detectReversing(ac);
        gf_straightenRoll(ac);
        nextPosGround(ac);
        if (ac.reversing) gf_clearCurve(ac);
    }

    // The ground half may have removed it (an object created in the air flies before it is active).
    if (ac.state != AcState::active && ac.state != AcState::creating) return;
    ac.settling = false;
    ac.stopAheadFor = 0;  // a new leg
    if (ac.stream.size() >= 2 && !ac.stream[1].stop) {
        lf_setLegRates(ac, clock);
    } else {
        ac.latRate = 0.0;
        ac.lonRate = 0.0;
        // Braking late (it started behind its data), it rolls on to the stop point.
        if (ac.onGround && ac.groundStepM > 0.0 && gf_aheadToSettle(ac, lf_pos(ac.stream[0])))
            gf_startSettling(ac, lf_pos(ac.stream[0]));
        else if (ac.onGround && !gf_brakeToStandstill(ac))
            ac.groundStepM = 0.0;
        if (!ac.landingRoll && !ac.takeoffRoll) gf_shrinkWindows(ac);
    }
    lf_popFront(ac);
}

namespace {

bool lf_holdTheLastPoint(LiveAc& ac) {
    ac.stream.front().time = clock100.load() + 1;
    return true;
}

// Rolling behind its data on the ground, it first reaches the data's last point (a stand, the
// end of the data) before what follows the data's end is decided there.
bool lf_settleOnLastPoint(LiveAc& ac) {
    if (ac.stream.size() != 1 || !ac.onGround || ac.groundState == GroundState::climbOut) return false;
    if (gf_settledTooLong(ac)) {
        ac.settling = false;
        ac.groundStepM = 0.0;
    }
    // Settling, the step ends it when it stands where it rolled to.
    if (ac.settling) return lf_holdTheLastPoint(ac);
    const StreamPos& last = ac.stream.front();
    if (!gf_aheadToSettle(ac, lf_pos(last))) {
        if (gf_brakeToStandstill(ac)) return lf_holdTheLastPoint(ac);
        // On a stand it came to late (behind its drive there), the nose turns onto the stand's
        // heading before it parks.
        if (ac.groundState != GroundState::toStand ||
            std::fabs(gf_angleDiff(ac.heading, ac.standHeading)) <= standAlignRad)
            return false;
        lf_turnTowards(ac, ac.standHeading, gf_maxTurnPerStep(ac));
        return lf_holdTheLastPoint(ac);
    }
    gf_startSettling(ac, lf_pos(last));
    return lf_holdTheLastPoint(ac);
}

}  // namespace

void nextPosMain(LiveAc& ac) {
    for (int round = 0; round < maxPointChangeRounds; ++round) {
        if (ac.stream.size() >= 2) {
            if (!ac.onGround && ac.identity.category != AircraftCategory::Rotorcraft && ac.stream[1].stop) {
                ac.stream.erase(ac.stream.begin() + 1);
                continue;
            }
            nextPos(ac);
            return;
        }
        if (lf_settleOnLastPoint(ac)) return;
        if (!ac.stream.empty() && continueStream(ac)) continue;
        if (ac.groundState != GroundState::parked)
            recordLeavingAircraft(ac, ac.groundState != GroundState::airborne);
        if (ac.state != AcState::removed) removeAircraftFromSim(ac, "its data ended");
        return;
    }
    gf_logError(fmt::format("nextPosMain {} no leg after {} rounds, removed", gf_acText(ac.identity),
                            maxPointChangeRounds));
    if (ac.state != AcState::removed) removeAircraftFromSim(ac, "no next position found");
}

void insertMidpoint(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    StreamPos m = p0;
    m.lat = (p0.lat + p1.lat) / 2.0;
    m.lon = gf_wrapLon(p0.lon + gf_lonDiff(p0.lon, p1.lon) / 2.0);
    m.speed = (p0.speed + p1.speed) / 2.0;
    m.alt = (p0.alt + p1.alt) / 2.0;
    m.time = p0.time + static_cast<uint32_t>(gf_unitsFrom(p0.time, p1.time) / 2);
    m.airborne = m.alt > 0.0 ? 1 : 0;
    if (!m.airborne) m.alt = 0.0;
    m.stop = 0;
    ac.stream.insert(ac.stream.begin() + 1, m);
}

void splitOnSpeedChange(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    if (!(p0.speed > 0.0 || p1.speed > 0.0)) return;
    if (std::fabs(p0.speed - p1.speed) <= splitSpeedChangeKt) return;
    if (nmToMetres(gf_distanceNm(lf_pos(p0), lf_pos(p1))) < splitMinLegMetres) return;
    insertMidpoint(ac);
}

void stepPosition(LiveAc& ac) {
    const GroundState gs = ac.groundState;
    if (!ac.curve) {
        lf_stepAlongLeg(ac);
        if (gs == GroundState::pullOut) return;
    } else {
        lf_stepAlongCurve(ac);
    }
    if (gs == GroundState::climbOut) climbOutStep(ac);
    else lf_stepAttitude(ac);
    ac.lon = gf_wrapLon(ac.lon);
}

}  // namespace vdl
