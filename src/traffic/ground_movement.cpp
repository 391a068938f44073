#include "traffic/ground_movement.h"

#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"

namespace vdl {

namespace {

constexpr double degPerRad = 180.0 / pi;
constexpr double radPerDeg = pi / 180.0;
constexpr double nm50Metres = 0.02699784017278618;
constexpr double nm35Metres = 0.018898488120950324;

LatLon lf_pos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_pos(const LiveAc& ac) { return {ac.lat, ac.lon}; }

double lf_wrap2Pi(double a) {
    a = std::fmod(a, 2.0 * pi);
    return a < 0.0 ? a + 2.0 * pi : a;
}

// Units for a distance at the stand taxi speed.
int32_t lf_taxiUnits(const LiveAc& ac, double distanceNm) {
    return gf_legUnits(distanceNm, ac.identity.standTaxiSpeed, minLegUnits);
}

const ParkPos* lf_standOf(const LiveAc& ac) {
    if (ac.standId == 0) return nullptr;
    auto it = std::find_if(parkPositions.begin(), parkPositions.end(),
                           [&](const ParkPos& p) { return p.id == ac.standId; });
    return it == parkPositions.end() ? nullptr : &*it;
}

std::string lf_standName(const LiveAc& ac) {
    const ParkPos* s = lf_standOf(ac);
    return s ? s->name : std::string{};
}

// The events of leaving a stand: taxi lights, engines, throttle idle, take-off flaps.
void lf_departureEvents(LiveAc& ac) {
    gf_sendLightSet(ac, lightsTaxiOut);
    gf_queueClientEvent(ac.objectId, ENGINE_AUTO_START);
    gf_setThrottleLevel(ac, 0);
    if (ac.identity.category != AircraftCategory::Rotorcraft) gf_setFlapsLevel(ac, 1);
}

// The end of the pushback's turn: half a wingspan beside B, on the side the nose turns to.
StreamPos lf_pushTurnEnd(const LiveAc& ac, const StreamPos& b, double backHeading, bool right) {
    StreamPos t = b;
    const double side = lf_wrap2Pi(backHeading + (right ? pi / 2.0 : -pi / 2.0));
    const LatLon to = gf_destination(lf_pos(b), side, ac.identity.halfWingspan * feetPerNm);
    t.lat = to.lat;
    t.lon = to.lon;
    t.stop = 0;
    return t;
}

}  // namespace

double turnAngleAhead(const LiveAc& ac) {
    if (ac.stream.size() < 3) return 0.0;
    const double b = gf_bearing(lf_pos(ac.stream[1]), lf_pos(ac.stream[2]));
    return gf_angleDiff(ac.heading, b);
}

void makeCurve(LiveAc& ac) {
    if (ac.stream.size() < 3) return;
    StreamPos& p1 = ac.stream[1];
    StreamPos& p2 = ac.stream[2];
    if (p2.speed == 0.0) p2.speed = (ac.stream[0].speed + p1.speed) / 2.0;
    ac.curveRefLat = ac.lat;
    ac.curveRefLon = ac.lon;
    ac.curveStart = 0.0;
    ac.curveEnd = 1.0;
    ac.curveT = 0.0;
    gf_toLocalMetres(ac.lat, ac.lon, p1.lat, p1.lon, ac.curveP1East, ac.curveP1North);
    gf_toLocalMetres(ac.lat, ac.lon, p2.lat, p2.lon, ac.curveP2East, ac.curveP2North);
    ac.stream.erase(ac.stream.begin() + 1);
}

void nextPosGround(LiveAc& ac) {
    if (ac.stream.empty()) {
        gf_logError(fmt::format("{} empty?", "nextPosGround"));
        return;
    }
    const uint32_t clock = clock100.load();
    switch (ac.groundState) {
        case gsPushback: {
            if (ac.departureCountdown > 0) --ac.departureCountdown;
            if (ac.departureCountdown == 1) {
                // Halfway back: the straight part goes on to B, then the tail swings to the side
                // the live data showed (none known, or straight-only: straight back only).
                if (ac.turnDirKnown && !STRAIGHT_PBS_ONLY.value() && ac.stream.size() >= 2) {
                    const StreamPos& b = ac.stream[1];
                    const double back = lf_wrap2Pi(ac.heading + pi);
                    StreamPos t = lf_pushTurnEnd(ac, b, back, ac.turnRight != 0);
                    // The curve is no longer than the two legs around its corner.
                    const double curveNm = gf_distanceNm(lf_pos(ac), lf_pos(b)) + gf_distanceNm(lf_pos(b), lf_pos(t));
                    t.time = clock + static_cast<uint32_t>(lf_taxiUnits(ac, curveNm));
                    ac.stream.resize(2);
                    ac.stream.push_back(t);
                    makeCurve(ac);
                    const double rate = ac.identity.turnRate;
                    const double n = rate > 0.0 ? std::round((90.0 / rate) / 100.0) : 0.0;
                    ac.curveStep = (n >= 1.0 && std::isfinite(n)) ? 1.0 / n : 0.01;
                    ac.turnWork = 90.0;
                    ac.turnSlow = 0;
                }
            } else if (ac.departureCountdown == 0) {
                ac.legBearing = ac.heading;
                gf_queueClientEvent(ac.objectId, ENGINE_AUTO_START);
                gf_setThrottleLevel(ac, 0);
                if (ac.identity.category != AircraftCategory::Rotorcraft) gf_setFlapsLevel(ac, 1);
                gf_setGroundState(ac, gsPullOut);
                ac.departureCountdown = 1;
                ac.pullOutDistance = 900.0;
                ac.extensionCount = 0;
                ac.atStand = 0;
            }
            break;
        }
        case gsParked: {
            ac.lateWindow = ac.takeoffRoll ? 5000 : 3000;
            ac.earlyWindow = 3000;
            if (ac.atStand) {
                const double bearing = gf_bearing({ac.standLat, ac.standLon}, lf_pos(ac.stream.back()));
                const double diff = std::round(gf_angleDiff(ac.standHeading, bearing) * degPerRad);
                if (std::fabs(diff) < 90.0) pullOut(ac);
                else pushBack(ac);
            }
            break;
        }
        default: {
            if (ac.stream.size() < 2 || ac.stream[1].stop) break;
            // The intake starts the take-off roll when the records show it; this catches a roll
            // whose records were taken before the aircraft was taxiing on live data.
            if (ac.groundState == gsTaxi && !ac.takeoffRoll && !ac.landingRoll) {
                const StreamPos& p0 = ac.stream[0];
                const StreamPos& p1 = ac.stream[1];
                if (p1.airborne || (p0.speed >= 43.0 && p1.speed >= 43.0)) gf_takeoffHandling(ac);
            }
            bool curve = false;
            if (ac.stream.size() < 3) {
                if (ac.extensionCount <= 0) splitOnSpeedChange(ac);
            } else if (ac.stream[2].stop) {
                splitOnSpeedChange(ac);
            } else {
                const double a = std::fabs(turnAngleAhead(ac) * degPerRad);
                bool midpoint = false;
                if (a <= 3.0) {
                    splitOnSpeedChange(ac);
                } else {
                    if (a > 45.0) {
                        const StreamPos& p0 = ac.stream[0];
                        const StreamPos& p1 = ac.stream[1];
                        const int32_t legUnits = gf_unitsFrom(p0.time, p1.time);
                        if (gf_distanceNm(lf_pos(p0), lf_pos(p1)) > nm50Metres && p0.speed <= 43.0 && legUnits >= 0 &&
                            std::max(minLegUnits, legUnits) > 599) {
                            insertMidpoint(ac);
                            midpoint = true;
                        }
                    }
                    if (!midpoint) {
                        const StreamPos& p0 = ac.stream[0];
                        const StreamPos& p2 = ac.stream[2];
                        if (a <= 160.0 && !(p2.lat == p0.lat && p2.lon == p0.lon)) {
                            makeCurve(ac);
                            ac.turnWork = a;
                            curve = true;
                        } else {
                            splitOnSpeedChange(ac);
                        }
                    }
                }
            }
            if (!curve) {
                ac.turnWork2 = std::fabs(gf_angleDiff(ac.heading, ac.legBearing)) * degPerRad;
                ac.turnSlow = ac.turnWork2 > 3.0 ? 1 : 0;
            } else {
                ac.turnSlow = 0;
            }
            // The parking trigger (try2Park when the stream ends in a stop while taxiing on
            // live data) is called here by the parking issue.
            break;
        }
    }
    adjustTimeGround(ac);
}

void adjustTimeGround(LiveAc& ac) {
    if (ac.stream.size() < 2) {
        gf_logError(fmt::format("{} empty?", "adjustTimeGround"));
        return;
    }
    const uint32_t clock = clock100.load();
    StreamPos& p0 = ac.stream[0];
    StreamPos& p1 = ac.stream[1];
    if (p1.stop) {
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
        return;
    }
    ac.identity.turnRate = ac.identity.baseTurnRate;
    const double dist = gf_distanceNm(lf_pos(p0), lf_pos(p1));
    const int32_t d = gf_legUnits(dist, segmentSpeed(ac), gf_unitsFrom(clock, p1.time));
    double angle = 0.0;
    if (gf_curveSet(ac) && !ac.turnSlow) angle = ac.turnWork;
    else if (ac.turnSlow) angle = ac.turnWork2;
    const double base = ac.identity.baseTurnRate;
    if (angle != 0.0 && dist > 0.0 && base > 0.0) {
        double rate = base;
        const double n = std::max(1.0, std::round(angle / rate / 100.0));
        const double r = d / n;
        if (angle <= 45.0) {
            double k = r;
            if (r >= 1.2) k = std::min({r * 10.0 / angle, r * 30.0 / metresPerNm / dist, r});
            if (k > 0.0 && std::isfinite(k)) rate /= k;
        } else {
            rate *= std::min(r, std::min(angle, 90.0) / 30.0);
            if (angle >= 90.0) {
                ac.earlyWindow = std::max(ac.earlyWindow, 2000);
                ac.lateWindow = std::max(ac.lateWindow, 2000);
            }
        }
        // The heading must keep up with the path: at least twice the mean rate the turn needs.
        const double needed = 2.0 * angle * radPerDeg / d;
        if (!std::isfinite(rate) || rate < needed) rate = needed;
        ac.identity.turnRate = std::min(rate, 3.0 * base);
    }
    scheduleNextPoint(ac, d);
}

void pullOut(LiveAc& ac) {
    if (LOG.value()) gf_log(fmt::format("{:8}: {:8} pulling out", lf_standName(ac), ac.identity.callsign));
    ac.atStand = 0;
    ac.extensionCount = 0;
    const LatLon target =
        gf_destination({ac.standLat, ac.standLon}, ac.standHeading, 2.0 * ac.identity.halfWingspan * feetPerNm);
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
    p.time = clock + static_cast<uint32_t>(lf_taxiUnits(ac, gf_distanceNm(lf_pos(ac), target)));
    ac.stream.push_back(p);
    gf_setGroundState(ac, gsTaxi);
    ac.legBearing = ac.heading;
    ac.turnSlow = 0;
    lf_departureEvents(ac);
}

void pushBack(LiveAc& ac) {
    ac.extensionCount = 0;
    const double back = lf_wrap2Pi(ac.standHeading + pi);
    const ParkPos* stand = lf_standOf(ac);
    if (stand == nullptr) return;
    const uint32_t clock = clock100.load();
    const LatLon b = gf_destination(lf_pos(ac), back, stand->radius * 2.5 * feetPerNm);
    StreamPos first = ac.stream.front();
    first.speed = ac.identity.standTaxiSpeed;
    first.stop = 0;
    first.time = clock;
    // The leg's course is the direction of travel; the nose keeps the stand heading.
    ac.legBearing = back;
    const int32_t tB = lf_taxiUnits(ac, gf_distanceNm(lf_pos(ac), b));
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
    ac.turnDirKnown = 0;
    ac.turnRight = 0;
    ac.turnSlow = 0;
    gf_sendLightSet(ac, lightsTaxiOut);
    gf_setGroundState(ac, gsPushback);
    ac.departureCountdown = 2;
    ac.atStand = 0;
}

void drive2Stand(LiveAc& ac, double standLat, double standLon, double standHeading) {
    if (ac.stream.empty()) {
        gf_logError(fmt::format("{} empty sz?", "drive2Stand"));
        return;
    }
    StreamPos& last = ac.stream.back();
    const double taxi = ac.identity.standTaxiSpeed;
    const int32_t d = std::max(100, gf_legUnits(gf_distanceNm(lf_pos(last), {standLat, standLon}), taxi, 100));
    last.speed = taxi;
    const bool atS = last.lat == standLat && last.lon == standLon;
    const StreamPos& first = ac.stream.front();
    StreamPos s{};
    s.lat = standLat;
    s.lon = standLon;
    s.bank = ac.bank;
    s.bankValid = 1;
    s.alt = ac.alt;
    s.speed = taxi;
    s.tas = taxi;
    s.track = standHeading * degPerRad;
    s.vs = 0.0;
    s.time = first.time + static_cast<uint32_t>(d);
    s.airborne = 0;
    s.stop = atS ? 1 : 0;
    s.attitudeFlag = first.attitudeFlag;
    StreamPos f = s;
    f.speed = 0.0;
    f.tas = 0.0;
    f.stop = 1;
    f.time = first.time + 50u + static_cast<uint32_t>(d);
    ac.stream.push_back(s);
    ac.stream.push_back(f);
    ac.legBearing = standHeading;
    if (ac.extensionCount > 0) {
        ac.extensionCount = 0;
        ac.lateWindow = ac.takeoffRoll ? 5000 : 3000;
        ac.earlyWindow = 3000;
    }
}

void setGroundRates(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const uint32_t clock = clock100.load();
    const bool heli = ac.identity.category == AircraftCategory::Rotorcraft;
    if (ac.groundState == gsParked || ac.groundState == gsAirborne) gf_setGroundState(ac, gsTaxi);
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    if (!ac.landingRoll && !ac.takeoffRoll) {
        gf_setThrottleLevel(ac, heli ? 4 : 0);
    } else if (ac.landingRoll) {
        landingRollRates(ac);
    } else {
        uint32_t level = 0;
        if (heli || p0.speed >= 25.0 || p1.speed >= 30.0) level = 4;
        else if (p0.speed >= 20.0 || p1.speed >= 25.0) level = 2;
        else if (p0.speed >= 15.0 || p1.speed >= 20.0) level = 1;
        gf_setThrottleLevel(ac, level);
    }
    if (!ac.landingRoll && !ac.takeoffRoll) {
        if (ac.earlyWindow > baseWindow) ac.earlyWindow = std::max(baseWindow, ac.earlyWindow - 100);
        if (ac.lateWindow > baseWindow) ac.lateWindow = std::max(baseWindow, ac.lateWindow - 100);
    }
    if (ac.configStage == 0 && !ac.touchdown && ac.groundState != gsClimbOut) {
        ac.pitch = ac.identity.groundPitch;
        ac.bank = 0.0;
        ac.pitchRate = 0.0;
        ac.bankRate = 0.0;
    }
    const int32_t d = std::max(minLegUnits, gf_unitsFrom(clock, p1.time));
    if (gf_curveSet(ac)) ac.curveStep = 1.0 / d;
    // On a straight leg the heading settles on the leg's course over the leg; turns beyond
    // 3 degrees are flown at the turn rate (the turning flag).
    ac.headingRate = 0.0;
    if (!gf_curveSet(ac) && !ac.turnSlow) {
        const double course = ac.groundState == gsPushback ? lf_wrap2Pi(ac.legBearing + pi) : ac.legBearing;
        ac.headingRate = gf_angleDiff(ac.heading, course) / d;
    }
    ac.targetTas = ac.groundState == gsPushback ? -p1.speed : p1.speed;

    if (ac.takeoffRoll && ac.groundState != gsClimbOut && p0.speed >= 43.0) {
        bool slowClimbAhead = false;
        bool allRotationSpeed = true;
        bool allAirborne = true;
        const double vr = gf_flightValues(ac.identity.category).rotationSpeedKt;
        for (size_t i = 1; i < ac.stream.size(); ++i) {
            const StreamPos& p = ac.stream[i];
            if (p.vs <= 256.0) slowClimbAhead = true;
            if (p.speed < vr) allRotationSpeed = false;
            if (!p.airborne) allAirborne = false;
        }
        if (slowClimbAhead) {
            if (allRotationSpeed && allAirborne) {
                ac.altRate = gf_maxClimbPerStep(ac);
                startRotation(ac);
            }
        } else {
            ac.altRate = allAirborne ? std::max(p1.alt - ac.alt, 0.1) / d : gf_maxClimbPerStep(ac);
            startRotation(ac);
        }
    }
}

}  // namespace vdl
