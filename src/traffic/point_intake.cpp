#include "traffic/point_intake.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/ground_movement.h"
#include "traffic/movement.h"
#include "traffic/point_checks.h"
#include "traffic/removal.h"
#include "traffic/stand_learning.h"
#include "traffic/stream_extension.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double sameSpotDegrees = 0.00015;  // a point this close to the last one is a stop
// A stop of the take-off roll is no stop above these speeds of the last point.
constexpr double rollStopKt = 30.0;
constexpr double rollSameSpotKt = 50.0;
constexpr double rollStandstillKt = 50.0;  // a speed-0 point of a take-off roll counts below it
// Stops shorter than this, or ending this close to where the aircraft moves on, are dropped.
constexpr uint32_t shortStopUnits = secondsToUnits(15);
constexpr double stopNearNm = metresToNm(22.0);
constexpr size_t maxTrailingStops = 5;
// The parked aircraft's movement test: near its stand (twice as far after driving onto it), a
// move is a step of at least standMoveNm away from it; far from it the aircraft is removed.
constexpr double standNearNm = metresToNm(85.0);
constexpr double standMoveNm = metresToNm(3.0);
constexpr double standFarNm = metresToNm(200.0);
constexpr uint32_t standMovesToLeave = 3;
// A pulling-out aircraft has left its stand beyond these multiples of its half span.
constexpr double pullOutLeftSpans = 2.75;
constexpr double pullOutFarSpans = 6.0;
// Off-course points: airborne while extending, and during an approach or landing roll.
constexpr double extendingOffCourseDeg = 100.0;
constexpr double landingOffCourseDeg = 90.0;
constexpr double rollOffCourseDeg = 150.0;
constexpr double rejectedRollKt = 20.0;  // a landing point may not speed up beyond this

LatLon lf_pointPos(const StreamPos& p) { return {p.lat, p.lon}; }

// Absolute difference of two headings in degrees.
double lf_headingDiffDeg(double h, double b) { return radToDeg(std::fabs(gf_angleDiff(h, b))); }

uint32_t lf_after(uint32_t t, uint32_t last) {
    return static_cast<int32_t>(t - (last + 1)) < 0 ? last + 1 : t;
}

// A landed aircraft that moves again sooner than this after parking is towed.
uint32_t lf_towedWithinUnits(AircraftCategory c) {
    switch (c) {
        case AircraftCategory::Heavy: return minutesToUnits(60);
        case AircraftCategory::Large: return minutesToUnits(25);
        case AircraftCategory::Buzjets: return minutesToUnits(15);
        default: return 0;
    }
}

// Towed, not departing: it landed here and moves again sooner than its category parks.
void lf_towedTest(LiveAc& a) {
    if (a.stream.empty()) return;
    // The parked stream's stop point lies a parked extension after the time it parked.
    const uint32_t parked = clock100.load() - (a.stream.front().time - parkedExtensionUnits);
    if (parked < lf_towedWithinUnits(a.identity.category)) a.towed = true;
}

// Holding, and the point lies farther than HOLDING_THRESHOLD_METERS from the first one: the
// aircraft is removed. True when it was.
bool lf_holdingMovedAway(LiveAc& a, const StreamPos& p) {
    if (!a.holding || a.stream.empty()) return false;
    if (!(nmToMetres(gf_distanceNm(lf_pointPos(a.stream.front()), lf_pointPos(p))) > HOLDING_THRESHOLD_METERS.value()))
        return false;
    a.holding = false;
    a.holdStart = 0;
    removeAircraftFromSim(a, "its data moved away from where it held");
    return true;
}

// While a pushback waits for its turn: the side the live data shows, from its heading or track.
void lf_pushbackTurnSide(LiveAc& a, const StreamPos& p) {
    if (STRAIGHT_PBS_ONLY.value() || a.departureCountdown != pushbackAwaitsSide) return;
    double h = 0.0;
    if (p.headingValid)
        h = p.trueHeading;
    else if (p.track != 0.0)
        // Pushed back, it moves tail first: its track points against its nose.
        h = degToRad(std::fmod(p.track + 180.0, 360.0));
    else
        return;
    a.turnRight = gf_angleDiff(a.heading, h) > 0.0;
    a.turnDirKnown = true;
}

// Pulling out: the point counts once the aircraft has left its stand; until then it holds.
bool lf_pullOutPoint(LiveAc& a, StreamPos& p) {
    const double d = gf_distanceNm({a.lat, a.lon}, lf_pointPos(p));
    const double half = a.identity.halfWingspan;
    if (!(d > pullOutLeftSpans * half && d > a.pullOutDistance) && !(d > pullOutFarSpans * half)) {
        if (!a.holding) {
            a.holding = true;
            a.holdStart = clock100.load();
        }
        a.pullOutDistance = d;
        return false;
    }
    p.stop = 0;
    if (a.extensionCount >= 1) {
        if (!a.stream.empty()) a.stream.front().time = clock100.load() + 1;
        a.extensionCount = 0;
        gf_resetWindows(a);
    }
    a.turnDirKnown = false;
    a.departureCountdown = 0;
    gf_setGroundState(a, GroundState::taxi);
    a.standLat = a.standLon = a.standHeading = 0.0;
    a.standId = 0;
    a.cargoStand = false;
    a.holding = false;
    a.holdStart = 0;
    return true;
}

// The checks of the aircraft's ground state; true when the point goes on to be appended. The
// point of an aircraft not yet placed is appended here.
bool lf_checkByGroundState(LiveAc& a, StreamPos& p) {
    switch (a.groundState) {
        case GroundState::fresh:
            if (a.stream.empty() || !classifyStop(a, p)) return false;
            p.time = lf_after(p.time, a.stream.back().time);
            gf_mendAltitudeSpike(a.stream, p);
            a.stream.push_back(p);
            return false;
        case GroundState::toStand:
        case GroundState::parked:
            if (a.state == AcState::fresh || a.state == AcState::creating) return false;
            return checkParkedMove(a, p);
        case GroundState::pushback:
            lf_pushbackTurnSide(a, p);
            return false;
        case GroundState::pullOut:
            return lf_pullOutPoint(a, p);
        default:
            if (a.approach || a.landingRoll) return checkNewPosDuringLanding(a, p);
            if (!classifyStop(a, p)) return false;
            return a.extensionCount <= 0 || checkExtendingSituations(a, p);
    }
}

// Lift-off after a touchdown: a go-around or touch-and-go.
void lf_goAround(LiveAc& a) {
    gf_setGroundState(a, GroundState::taxi);
    a.takeoffRoll = true;
    const bool rotor = a.identity.category == AircraftCategory::Rotorcraft;
    gf_setThrottleLevel(a, throttleClimb);
    if (!rotor) gf_queueClientEvent(a.objectId, SPOILERS_SET, spoilersExtended);
    if (a.flapsStep != flapsTakeoff && !rotor) gf_queueClientEvent(a.objectId, FLAPS_SET, flapsValues[flapsTakeoff]);
    a.flapsStep = flapsTakeoff;
    a.approach = false;
    a.landed = false;
    a.moveFlag = false;
    gf_sendLightSet(a, lightsTakeoffRoll);
    a.lateWindow = windowTakeoff;
    a.earlyWindow = windowNormal;
}

// An airborne point after a touchdown whose positions show no lift-off: the feed's airborne
// flag (and its speed with it) is stale; the point is a ground point at the speed it shows.
void lf_staleAirborneFlag(LiveAc& a, StreamPos& p) {
    const StreamPos& last = a.stream.back();
    if (!a.landed || !p.airborne || gf_liftOffShown(a, last, p)) return;
    p.airborne = 0;
    p.alt = 0.0;
    p.vs = 0.0;
    p.speed = gf_shownSpeedKt(last, p);
    p.tas = p.speed;
}

// An active aircraft on the ground and not yet rolling: the point may show a lift-off after a
// touchdown or the start of a take-off roll.
void lf_liftOffOrTakeoff(LiveAc& a, StreamPos& p) {
    lf_staleAirborneFlag(a, p);
    const StreamPos& last = a.stream.back();
    if (a.landingRoll && last.airborne && p.airborne) {
        lf_goAround(a);
    } else if (!p.airborne) {
        // The take-off handling leaves a landing roll alone: its records are fast too.
        if (p.speed >= takeoffRollSpeedKt && last.speed >= takeoffRollSpeedKt && a.groundState == GroundState::taxi)
            gf_takeoffHandling(a);
    } else if (a.groundState == GroundState::taxi) {
        gf_takeoffHandling(a);
    }
}

// Stops before the point: a short stop before moving on is dropped; a stop after only stops
// leaves one.
void lf_thinStops(LiveAc& a, const StreamPos& p) {
    if (p.airborne || !a.stream.back().stop) return;
    if (!p.stop) {
        removeSmallStop(a, p);
    } else if (a.stream.size() >= 2 &&
               std::all_of(a.stream.begin(), a.stream.end(), [](const StreamPos& q) { return q.stop != 0; })) {
        a.stream.resize(1);
    }
}

void lf_append(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) {
        a.stream.push_back(p);
        return;
    }
    lf_thinStops(a, p);
    p.time = lf_after(p.time, a.stream.back().time);
    gf_mendAltitudeSpike(a.stream, p);
    if (!a.takeoffRoll && a.onGround && a.state == AcState::active) lf_liftOffOrTakeoff(a, p);
    // Slowed down to taxi speed on the ground: no take-off (stopped, or the roll was misread).
    else if (a.takeoffRoll && a.onGround && !p.airborne && !p.stop && p.speed < rejectedRollKt &&
             a.groundState == GroundState::taxi)
        a.takeoffRoll = false;
    a.stream.push_back(p);
    if (a.stream.size() == 2 && a.stream[0].stop && a.stream[1].stop) {
        a.stream[0].time = clock100.load() + 1;
        a.stream[0].speed = a.stream[1].speed;
    }
}

}  // namespace

void decodeExisting(LiveAc& a, StreamPos p) {
    if (a.stream.size() > maxStreamPoints) removeAircraftFromSim(a, "too many positions waiting");
    if (lf_holdingMovedAway(a, p)) return;
    if (!lf_checkByGroundState(a, p)) return;
    lf_append(a, p);
}

bool classifyStop(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) return true;
    const StreamPos& last = a.stream.back();
    p.stop = (p.lat == last.lat && p.lon == last.lon) ? 1 : 0;
    if (a.identity.category == AircraftCategory::Rotorcraft) return true;
    const bool flying = p.airborne || (a.state == AcState::active && !a.onGround);
    if (p.stop) {
        if (flying) return false;
        // Rolling fast, a repeated position is a stale one, whatever the roll (a take-off or
        // landing roll, or one the data began with): it cannot have stopped dead.
        if (p.speed > 0.0 && last.speed >= rollStopKt) return false;
        p.speed = 0.0;
        return true;
    }
    if (std::fabs(p.lat - last.lat) <= sameSpotDegrees && std::fabs(p.lon - last.lon) <= sameSpotDegrees) {
        if (flying) return false;
        if (p.speed > 0.0 && last.speed >= rollSameSpotKt) return false;
        const uint32_t time = p.time;
        p = last;
        p.time = time;
        p.speed = 0.0;
        p.stop = 1;
        return true;
    }
    if (p.speed != 0.0) return true;  // also not a number
    if (!a.takeoffRoll && !p.airborne) return true;
    return last.speed < rollStandstillKt;
}

bool checkExtendingSituations(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) {
        gf_logError("checkExtendingSituations empty sz?");
        return false;
    }
    if (!a.onGround &&
        lf_headingDiffDeg(a.heading, gf_bearing(lf_pointPos(a.stream.back()), lf_pointPos(p))) >= extendingOffCourseDeg)
        return false;
    a.extensionCount = 0;
    gf_resetWindows(a);
    a.stream.front().time = clock100.load() + 1;
    a.holding = false;
    a.holdStart = 0;
    return true;
}

bool checkNewPosDuringLanding(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) {
        gf_logError("checkNewPosDuringLanding empty sz?");
        return false;
    }
    if (p.lat == a.stream.back().lat && p.lon == a.stream.back().lon) return false;
    const auto offCourse = [&](const StreamPos& from, double limit) {
        return lf_headingDiffDeg(a.heading, gf_bearing(lf_pointPos(from), lf_pointPos(p))) >= limit;
    };
    if (a.stream.size() >= 2) {
        if (offCourse(a.stream.back(), landingOffCourseDeg)) {
            a.stream.pop_back();
            if (a.stream.size() >= 2 && offCourse(a.stream.back(), landingOffCourseDeg)) a.stream.pop_back();
        }
    } else if (a.approach) {
        if (offCourse(a.stream.front(), landingOffCourseDeg)) return false;
    } else if (offCourse(a.stream.front(), rollOffCourseDeg)) {
        if (a.extensionCount > 0) return false;
        StreamPos& f = a.stream.front();
        f.lat = a.lat;
        f.lon = a.lon;
        f.time = clock100.load() + 1;
    }
    if (a.extensionCount > 0) {
        a.extensionCount = 0;
        gf_resetWindows(a);
    }
    const StreamPos& last = a.stream.back();
    if (p.lat == last.lat && p.lon == last.lon) {
        p.stop = 1;
        return true;
    }
    p.stop = 0;
    p.speed = gf_landingPointSpeed(last, p);
    return true;
}

void removeSmallStop(LiveAc& a, const StreamPos& p) {
    // The first moving point before a trailing run of up to five stops.
    for (size_t k = 3; k <= maxTrailingStops + 2 && a.stream.size() >= k; ++k) {
        if (!a.stream[a.stream.size() - k + 1].stop) {
            checkStops(a, k - 1, p);
            return;
        }
    }
}

void checkStops(LiveAc& a, size_t n, const StreamPos& p) {
    if (n < 1 || n > a.stream.size()) {
        gf_log(fmt::format("checkStops: num:{} stream of {}", n, a.stream.size()));
        return;
    }
    const StreamPos& f = a.stream[a.stream.size() - n];
    const StreamPos& e = a.stream.back();
    if (static_cast<int32_t>(e.time - f.time) < static_cast<int32_t>(shortStopUnits) ||
        gf_distanceNm(lf_pointPos(f), lf_pointPos(p)) <= stopNearNm)
        a.stream.resize(a.stream.size() - (n - 1));
}

bool checkParkedMove(LiveAc& a, StreamPos& p) {
    a.standChecked = true;
    const double d = gf_distanceNm({a.standLat, a.standLon}, lf_pointPos(p));
    const double near = a.prevGroundState == GroundState::toStand ? 2.0 * standNearNm : standNearNm;
    const double half = a.identity.halfWingspan;
    bool moves = false;
    if (d <= near) {
        a.parkTicks = gf_steadyTicks();
        if (a.lastStandDistance == 0.0) {
            a.firstStandDistance = a.lastStandDistance = d;
            a.standMoveCount = 0;
            a.atStand = false;
            return false;
        }
        if (d >= a.lastStandDistance + standMoveNm) {
            ++a.standMoveCount;
            a.lastStandDistance = d;
            const double m = d - a.firstStandDistance;
            if ((a.standMoveCount < standMovesToLeave || m < 0.5 * half) && m <= half) {
                a.atStand = false;
                return false;
            }
            moves = true;
        } else {
            if (d <= a.lastStandDistance - standMoveNm) a.standMoveCount = 0;
            a.atStand = false;
            return false;
        }
    }
    if (!moves) {
        if (a.groundState == GroundState::toStand) {
            // Live data takes it off its way to the stand.
            gf_setGroundState(a, GroundState::taxi);
            p.stop = 0;
            return true;
        }
        if (d > standFarNm) {
            if (a.state != AcState::active) return true;
            removeAircraftFromSim(a, "its data is far from its stand");
            return false;
        }
    }
    p.stop = 0;
    a.atStand = true;
    if (a.prevGroundState == GroundState::parked) return true;
    leaveStand(a);
    gf_setGroundState(a, GroundState::parked);
    return true;
}

void leaveStand(LiveAc& a) {
    if (a.extensionCount >= 1) {
        if (a.groundState == GroundState::parked && a.landed) {
            lf_towedTest(a);
            a.landed = false;
        }
        if (!a.stream.empty()) a.stream.front().time = clock100.load() + 1;
        a.extensionCount = 0;
        gf_resetWindows(a);
    }
    gf_learnStandUse(a, true, nowSlot.load());
    if (ParkPos* stand = gf_findStandById(a.standId)) stand->occupied = 0;
}

}  // namespace vdl
