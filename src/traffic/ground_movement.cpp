#include "traffic/ground_movement.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "airports/stand_records.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"
#include "traffic/parking.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

// Corners, in degrees of the turn ahead: up to `straightTurnDeg` the leg counts as straight, a
// sharp corner on a long slow leg first gets a midpoint, beyond `maxCurveDeg` (a reversal) no
// curve is flown.
constexpr double sharpCornerDeg = 45.0;
constexpr double slowCornerMinLegNm = metresToNm(50.0);
constexpr int32_t slowCornerMinLegUnits = 600;
// A heading error above this is flown at the turn rate rather than over the leg.
constexpr double turnSlowDeg = 3.0;
// Data slowing to this near its final stop has arrived where the aircraft stops.
constexpr double stoppingSpeedKt = 5.0;
constexpr double stoppingNm = metresToNm(35.0);

// Leaving the stand: forwards when the way out lies less than this off the stand heading.
constexpr double pullOutMaxOffDeg = 90.0;
constexpr double pushTurnDeg = 90.0;
constexpr double pushbackStandRadii = 2.5;  // straight back this far before the turn
constexpr double pullOutStartDistanceNm = 900.0;  // farther than any record: the first sets it
constexpr double defaultCurveStep = 0.01;

// Fitting the turn rate to the leg's time (adjustTimeGround).
constexpr double gentleTurnDeg = 45.0;
constexpr double turnRatioThreshold = 1.2;
constexpr double gentleTurnDegPerStep = 10.0;
constexpr double gentleTurnMetres = 30.0;
constexpr double sharpTurnCapDeg = 90.0;
constexpr double sharpTurnDegPerStep = 30.0;
constexpr int32_t sharpTurnWindow = 2000;  // clock units either side for a turn of 90 deg or more
constexpr double turnRateMargin = 2.0;     // the heading keeps up with the path at twice the mean rate
constexpr double maxTurnRateFactor = 3.0;  // times the base rate


// Take-off roll: the throttle by the speeds of the leg's two points (the first row either
// reaches), and the vertical speed below which a point ahead is not yet a climb.
struct RollThrottle {
    double firstKt;
    double secondKt;
    uint32_t step;
};
constexpr RollThrottle rollThrottleLadder[] = {
    {25.0, 30.0, throttleFull}, {20.0, 25.0, throttleMedium}, {15.0, 20.0, throttleLow}};
constexpr double slowClimbFpm = 256.0;
constexpr double minRotationClimbFtPerStep = 0.1;

LatLon lf_groundPos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_groundPos(const LiveAc& ac) { return {ac.lat, ac.lon}; }

double lf_groundWrap2Pi(double a) {
    a = std::fmod(a, 2.0 * pi);
    return a < 0.0 ? a + 2.0 * pi : a;
}

// Units for a distance at the stand taxi speed.
int32_t lf_taxiUnits(const LiveAc& ac, double distanceNm) {
    return gf_legUnits(distanceNm, ac.identity.standTaxiSpeed, minLegUnits);
}

std::string lf_standName(const LiveAc& ac) {
    const ParkPos* s = gf_findStandById(ac.standId);
    return s ? s->name : std::string{};
}

// The events of leaving a stand: taxi lights, engines, throttle idle, take-off flaps.
void lf_departureEvents(LiveAc& ac) {
    gf_sendLightSet(ac, lightsTaxiOut);
    gf_queueClientEvent(ac.objectId, ENGINE_AUTO_START);
    gf_setThrottleLevel(ac, throttleIdle);
    if (ac.identity.category != AircraftCategory::Rotorcraft) gf_setFlapsLevel(ac, flapsTakeoff);
}

// The end of the pushback's turn: half a wingspan beside B, on the side the nose turns to.
StreamPos lf_pushTurnEnd(const LiveAc& ac, const StreamPos& b, double backHeading, bool right) {
    StreamPos t = b;
    const double side = lf_groundWrap2Pi(backHeading + (right ? pi / 2.0 : -pi / 2.0));
    const LatLon to = gf_destination(lf_groundPos(b), side, nmToFeet(ac.identity.halfWingspan));
    t.lat = to.lat;
    t.lon = to.lon;
    t.stop = 0;
    return t;
}

// Halfway back: the straight part goes on to B, then the tail swings to the side the live
// data showed.
void lf_startPushTurn(LiveAc& ac) {
    const uint32_t clock = clock100.load();
    const StreamPos& b = ac.stream[1];
    const double back = lf_groundWrap2Pi(ac.heading + pi);
    StreamPos t = lf_pushTurnEnd(ac, b, back, ac.turnRight);
    // The curve is no longer than the two legs around its corner.
    const double curveNm =
        gf_distanceNm(lf_groundPos(ac), lf_groundPos(b)) + gf_distanceNm(lf_groundPos(b), lf_groundPos(t));
    t.time = clock + static_cast<uint32_t>(lf_taxiUnits(ac, curveNm));
    ac.stream.resize(2);
    ac.stream.push_back(t);
    makeCurve(ac);
    // The turn's degrees over the rate in radians per step: the curve's step count as given.
    const double rate = ac.identity.turnRate;
    const double n = rate > 0.0 ? std::round((pushTurnDeg / rate) / clockUnitsPerSecond) : 0.0;
    ac.curveStep = (n >= 1.0 && std::isfinite(n)) ? 1.0 / n : defaultCurveStep;
    ac.turnWork = pushTurnDeg;
    ac.turnSlow = false;
}

// Pushback done: engines start and the pull-out begins.
void lf_endPushback(LiveAc& ac) {
    ac.legBearing = ac.heading;
    gf_queueClientEvent(ac.objectId, ENGINE_AUTO_START);
    gf_setThrottleLevel(ac, throttleIdle);
    if (ac.identity.category != AircraftCategory::Rotorcraft) gf_setFlapsLevel(ac, flapsTakeoff);
    gf_setGroundState(ac, GroundState::pullOut);
    ac.departureCountdown = 1;
    ac.pullOutDistance = pullOutStartDistanceNm;
    ac.extensionCount = 0;
    ac.atStand = false;
}

void lf_pushbackPointChange(LiveAc& ac) {
    if (ac.departureCountdown > 0) --ac.departureCountdown;
    if (ac.departureCountdown == pushbackHalfway) {
        // No turn when its side is unknown or only straight pushbacks are wanted.
        if (ac.turnDirKnown && !STRAIGHT_PBS_ONLY.value() && ac.stream.size() >= 2) lf_startPushTurn(ac);
    } else if (ac.departureCountdown == 0) {
        lf_endPushback(ac);
    }
}

void lf_parkedPointChange(LiveAc& ac) {
    gf_resetWindows(ac);
    if (!ac.atStand) return;
    const double bearing = gf_bearing({ac.standLat, ac.standLon}, lf_groundPos(ac.stream.back()));
    const double diff = std::round(radToDeg(gf_angleDiff(ac.standHeading, bearing)));
    if (std::fabs(diff) < pullOutMaxOffDeg) pullOut(ac);
    else pushBack(ac);
}

// A sharp corner at the end of a long slow leg.
bool lf_longSlowLeg(const LiveAc& ac) {
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    const int32_t legUnits = gf_unitsFrom(p0.time, p1.time);
    return gf_distanceNm(lf_groundPos(p0), lf_groundPos(p1)) > slowCornerMinLegNm && p0.speed <= takeoffRollSpeedKt &&
           legUnits >= 0 && std::max(minLegUnits, legUnits) >= slowCornerMinLegUnits;
}

// Shapes the legs ahead: a curve through the corner, a midpoint before a sharp corner on a long
// slow leg, or a split where the speed changes. True when a curve was made.
bool lf_shapeLegsAhead(LiveAc& ac) {
    if (ac.stream.size() < 3) {
        if (ac.extensionCount <= 0) splitOnSpeedChange(ac);
        return false;
    }
    if (ac.stream[2].stop) {
        splitOnSpeedChange(ac);
        return false;
    }
    const double a = std::fabs(radToDeg(turnAngleAhead(ac)));
    if (a <= straightTurnDeg) {
        splitOnSpeedChange(ac);
        return false;
    }
    if (a > sharpCornerDeg && lf_longSlowLeg(ac)) {
        insertMidpoint(ac);
        return false;
    }
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p2 = ac.stream[2];
    if (a <= maxCurveDeg && !(p2.lat == p0.lat && p2.lon == p0.lon)) {
        makeCurve(ac);
        ac.turnWork = a;
        return true;
    }
    splitOnSpeedChange(ac);
    return false;
}

// Data that ends in a stop while taxiing on live data: an arrival, or a towed aircraft, looks for
// its stand. One that has just left a stand is not sent back onto one.
void lf_parkingTrigger(LiveAc& ac) {
    if (!ac.stream.back().stop || ac.groundState != GroundState::taxi || !parkingActive.load()) return;
    const GroundState prev = ac.prevGroundState;
    if (!ac.towed && (prev == GroundState::parked || prev == GroundState::pushback || prev == GroundState::pullOut))
        return;
    if (ac.extensionCount > 0) {
        try2Park(ac, ac.landed);
        return;
    }
    const StreamPos& last = ac.stream.back();
    if (ac.stream[1].speed <= stoppingSpeedKt && gf_distanceNm({ac.lat, ac.lon}, {last.lat, last.lon}) <= stoppingNm)
        try2Park(ac, false);
}

void lf_taxiPointChange(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    if (!ac.stream[1].stop) {
        // The intake starts the take-off roll when the records show it; this catches a roll whose
        // records were taken before the aircraft was taxiing on live data.
        if (ac.groundState == GroundState::taxi && !ac.takeoffRoll && !ac.landingRoll) {
            const StreamPos& p0 = ac.stream[0];
            const StreamPos& p1 = ac.stream[1];
            if (p1.airborne || (p0.speed >= takeoffRollSpeedKt && p1.speed >= takeoffRollSpeedKt))
                gf_takeoffHandling(ac);
        }
        if (lf_shapeLegsAhead(ac)) {
            ac.turnSlow = false;
        } else {
            ac.turnWork2 = radToDeg(std::fabs(gf_angleDiff(ac.heading, ac.legBearing)));
            ac.turnSlow = ac.turnWork2 > turnSlowDeg;
        }
    }
    // Also on a leg that ends in a stop: the data's stop often comes in only after the last move
    // began, and a holding aircraft runs on stops alone.
    lf_parkingTrigger(ac);
}

// A leg ending in a stop keeps its length from the first point, inside the time windows.
void lf_scheduleStop(LiveAc& ac) {
    const uint32_t clock = clock100.load();
    const StreamPos& p0 = ac.stream[0];
    StreamPos& p1 = ac.stream[1];
    const int32_t d = std::max(minLegUnits, gf_unitsFrom(p0.time, p1.time));
    const int64_t given = gf_unitsFrom(clock, p1.time);
    const int64_t due = std::max<int64_t>(int64_t{gf_unitsFrom(clock, p0.time)} + d, minLegUnits);
    int64_t at = 0;
    if (ac.extensionCount <= 0) {
        if (due <= given + ac.lateWindow) at = std::max({due, given - ac.earlyWindow, int64_t{0}});
        else at = std::max<int64_t>(given + ac.lateWindow, 0);
    } else {
        at = std::max<int64_t>(due, 0);
    }
    p1.time = clock + static_cast<uint32_t>(at);
}

// The turn rate that flies `angle` degrees over a leg of `dist` nm and `d` clock units. The
// angle in degrees over the rate in radians per step counts the turn's steps as given.
void lf_fitTurnRate(LiveAc& ac, double angle, double dist, int32_t d) {
    const double base = ac.identity.baseTurnRate;
    double rate = base;
    const double n = std::max(1.0, std::round(angle / rate / clockUnitsPerSecond));
    const double r = d / n;
    if (angle <= gentleTurnDeg) {
        double k = r;
        if (r >= turnRatioThreshold)
            k = std::min({r * gentleTurnDegPerStep / angle, metresToNm(r * gentleTurnMetres) / dist, r});
        if (k > 0.0 && std::isfinite(k)) rate /= k;
    } else {
        rate *= std::min(r, std::min(angle, sharpTurnCapDeg) / sharpTurnDegPerStep);
        if (angle >= sharpTurnCapDeg) {
            ac.earlyWindow = std::max(ac.earlyWindow, sharpTurnWindow);
            ac.lateWindow = std::max(ac.lateWindow, sharpTurnWindow);
        }
    }
    const double needed = turnRateMargin * degToRad(angle) / d;
    if (!std::isfinite(rate) || rate < needed) rate = needed;
    ac.identity.turnRate = std::min(rate, maxTurnRateFactor * base);
}

// The ground throttle of a new leg: idle (rotorcraft full) unless rolling; during the take-off
// roll by speed.
void lf_groundThrottle(LiveAc& ac) {
    const bool heli = ac.identity.category == AircraftCategory::Rotorcraft;
    if (!ac.landingRoll && !ac.takeoffRoll) {
        gf_setThrottleLevel(ac, heli ? throttleFull : throttleIdle);
        return;
    }
    if (ac.landingRoll) {
        landingRollRates(ac);
        return;
    }
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    uint32_t level = heli ? throttleFull : throttleIdle;
    if (!heli) {
        for (const RollThrottle& row : rollThrottleLadder) {
            if (p0.speed >= row.firstKt || p1.speed >= row.secondKt) {
                level = row.step;
                break;
            }
        }
    }
    gf_setThrottleLevel(ac, level);
}

// During a fast take-off roll: the rotation starts when the points ahead climb, or when they
// have all reached the rotation speed in the air.
void lf_rotationCheck(LiveAc& ac, int32_t d) {
    bool slowClimbAhead = false;
    bool allRotationSpeed = true;
    bool allAirborne = true;
    const double vr = gf_flightValues(ac.identity.category).rotationSpeedKt;
    for (size_t i = 1; i < ac.stream.size(); ++i) {
        const StreamPos& p = ac.stream[i];
        if (p.vs <= slowClimbFpm) slowClimbAhead = true;
        if (p.speed < vr) allRotationSpeed = false;
        if (!p.airborne) allAirborne = false;
    }
    if (slowClimbAhead) {
        if (allRotationSpeed && allAirborne) {
            ac.altRate = gf_maxClimbPerStep(ac);
            startRotation(ac);
        }
        return;
    }
    const StreamPos& p1 = ac.stream[1];
    // Rolling behind its data, it may rotate when the data is already high: no steeper than
    // the category climbs.
    ac.altRate = allAirborne ? std::min(std::max(p1.alt - ac.alt, minRotationClimbFtPerStep) / d, gf_maxClimbPerStep(ac))
                             : gf_maxClimbPerStep(ac);
    startRotation(ac);
}

}  // namespace

double turnAngleAhead(const LiveAc& ac) {
    if (ac.stream.size() < 3) return 0.0;
    const double b = gf_bearing(lf_groundPos(ac.stream[1]), lf_groundPos(ac.stream[2]));
    return gf_angleDiff(ac.heading, b);
}

void makeCurve(LiveAc& ac) {
    if (ac.stream.size() < 3) return;
    StreamPos& p1 = ac.stream[1];
    StreamPos& p2 = ac.stream[2];
    if (p2.speed == 0.0) p2.speed = (ac.stream[0].speed + p1.speed) / 2.0;
    BezierCurve c;
    c.refLat = ac.lat;
    c.refLon = ac.lon;
    c.start = 0.0;
    c.end = 1.0;
    gf_toLocalMetres(ac.lat, ac.lon, p1.lat, p1.lon, c.p1East, c.p1North);
    gf_toLocalMetres(ac.lat, ac.lon, p2.lat, p2.lon, c.p2East, c.p2North);
    // Without a position there is no curve to fly.
    if (std::isnan(c.p1East) || std::isnan(c.p1North)) ac.curve.reset();
    else ac.curve = c;
    ac.curveT = 0.0;
    ac.stream.erase(ac.stream.begin() + 1);
}

void nextPosGround(LiveAc& ac) {
    if (ac.stream.empty()) {
        gf_logError("nextPosGround empty?");
        return;
    }
    switch (ac.groundState) {
        case GroundState::pushback: lf_pushbackPointChange(ac); break;
        case GroundState::parked: lf_parkedPointChange(ac); break;
        default: lf_taxiPointChange(ac); break;
    }
    adjustTimeGround(ac);
}

void adjustTimeGround(LiveAc& ac) {
    if (ac.stream.size() < 2) {
        gf_logError("adjustTimeGround empty?");
        return;
    }
    if (ac.stream[1].stop) {
        lf_scheduleStop(ac);
        return;
    }
    const uint32_t clock = clock100.load();
    ac.identity.turnRate = ac.identity.baseTurnRate;
    const double dist = gf_distanceNm(lf_groundPos(ac.stream[0]), lf_groundPos(ac.stream[1]));
    const int32_t d = gf_legUnits(dist, segmentSpeed(ac), gf_unitsFrom(clock, ac.stream[1].time));
    double angle = 0.0;
    if (ac.curve && !ac.turnSlow) angle = ac.turnWork;
    else if (ac.turnSlow) angle = ac.turnWork2;
    if (angle != 0.0 && dist > 0.0 && ac.identity.baseTurnRate > 0.0) lf_fitTurnRate(ac, angle, dist, d);
    scheduleNextPoint(ac, d);
}

void pullOut(LiveAc& ac) {
    if (LOG.value()) gf_log(fmt::format("{:8}: {:8} pulling out", lf_standName(ac), ac.identity.callsign));
    ac.atStand = false;
    ac.extensionCount = 0;
    // One wingspan straight ahead of the stand.
    const LatLon target =
        gf_destination({ac.standLat, ac.standLon}, ac.standHeading, nmToFeet(2.0 * ac.identity.halfWingspan));
    const uint32_t clock = clock100.load();
    StreamPos first = ac.stream.front();
    first.speed = ac.identity.standTaxiSpeed;
    first.stop = 0;
    ac.stream.clear();
    ac.stream.push_back(first);
    StreamPos p = first;
    p.lat = target.lat;
    p.lon = target.lon;
    p.speed = ac.identity.standTaxiSpeed;
    p.airborne = 0;
    p.stop = 0;
    p.time = clock + static_cast<uint32_t>(lf_taxiUnits(ac, gf_distanceNm(lf_groundPos(ac), target)));
    ac.stream.push_back(p);
    gf_setGroundState(ac, GroundState::taxi);
    ac.legBearing = ac.heading;
    ac.turnSlow = false;
    lf_departureEvents(ac);
}

void pushBack(LiveAc& ac) {
    ac.extensionCount = 0;
    const double back = lf_groundWrap2Pi(ac.standHeading + pi);
    const ParkPos* stand = gf_findStandById(ac.standId);
    if (stand == nullptr) return;
    const uint32_t clock = clock100.load();
    const LatLon b = gf_destination(lf_groundPos(ac), back, nmToFeet(stand->radius * pushbackStandRadii));
    StreamPos first = ac.stream.front();
    first.speed = ac.identity.standTaxiSpeed;
    first.stop = 0;
    first.time = clock;
    // The leg's course is the direction of travel; the nose keeps the stand heading.
    ac.legBearing = back;
    const int32_t tB = lf_taxiUnits(ac, gf_distanceNm(lf_groundPos(ac), b));
    ac.stream.clear();
    ac.stream.push_back(first);
    StreamPos pb = first;
    pb.lat = b.lat;
    pb.lon = b.lon;
    pb.time = clock + static_cast<uint32_t>(tB);
    pb.airborne = 0;
    pb.stop = 0;
    ac.stream.push_back(pb);
    insertMidpoint(ac);
    // The turn's end is chosen halfway back, when the live data may have shown the direction.
    ac.turnDirKnown = false;
    ac.turnRight = false;
    ac.turnSlow = false;
    gf_sendLightSet(ac, lightsTaxiOut);
    gf_setGroundState(ac, GroundState::pushback);
    ac.departureCountdown = pushbackAwaitsSide;
    ac.atStand = false;
}

void setGroundRates(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const uint32_t clock = clock100.load();
    if (ac.groundState == GroundState::parked || ac.groundState == GroundState::airborne) gf_setGroundState(ac, GroundState::taxi);
    lf_groundThrottle(ac);
    if (!ac.landingRoll && !ac.takeoffRoll) gf_shrinkWindows(ac);
    if (ac.configStage == 0 && !ac.touchdown && ac.groundState != GroundState::climbOut) {
        ac.pitch = ac.identity.groundPitch;
        ac.bank = 0.0;
        ac.pitchRate = 0.0;
        ac.bankRate = 0.0;
    }
    const StreamPos& p1 = ac.stream[1];
    const int32_t d = std::max(minLegUnits, gf_unitsFrom(clock, p1.time));
    if (ac.curve) ac.curveStep = 1.0 / d;
    // On a straight leg the heading settles on the leg's course over the leg; turns beyond
    // 3 degrees are flown at the turn rate (the turning flag).
    ac.headingRate = 0.0;
    if (!ac.curve && !ac.turnSlow) {
        const double course =
            ac.groundState == GroundState::pushback ? lf_groundWrap2Pi(ac.legBearing + pi) : ac.legBearing;
        ac.headingRate = gf_angleDiff(ac.heading, course) / d;
    }
    ac.targetTas = ac.groundState == GroundState::pushback ? -p1.speed : p1.speed;
    // The rotation waits for the object's own speed too: it may roll behind its data.
    const double ownKt = mpsToKt(std::max(0.0, ac.groundStepM) * clockUnitsPerSecond);
    if (ac.takeoffRoll && ac.groundState != GroundState::climbOut && ac.stream[0].speed >= takeoffRollSpeedKt &&
        ownKt >= gf_flightValues(ac.identity.category).rotationSpeedKt)
        lf_rotationCheck(ac, d);
}

}  // namespace vdl
