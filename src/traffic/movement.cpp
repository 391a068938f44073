#include "traffic/movement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/ground_movement.h"
#include "traffic/removal.h"
#include "traffic/sim_replies.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

constexpr double degPerRad = 180.0 / pi;
constexpr double radPerDeg = pi / 180.0;
constexpr double twoPi = 2.0 * pi;
constexpr double nmPerTwoMetres = 0.0010799136069114472;
constexpr double halfDegreeRad = 0.5 * radPerDeg;
constexpr double fourDegreesRad = 0.06981317007977318;
constexpr int32_t parkedExtensionSeconds = 604800;  // seven days
// A stream end hands over to continueStream, which always appends; this bounds a loop of
// points that are appended and erased again (an airborne aeroplane given a stop point).
constexpr int maxPointChangeRounds = 32;

double lf_wrap2Pi(double a) {
    if (!std::isfinite(a)) return 0.0;
    a = std::fmod(a, twoPi);
    if (a < 0.0) a += twoPi;
    return a;
}

LatLon lf_pos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_pos(const LiveAc& ac) { return {ac.lat, ac.lon}; }

// Windows above 1000 shrink by 100 per leg while the data flows normally.
void lf_shrinkWindows(LiveAc& ac) {
    if (ac.earlyWindow > baseWindow) ac.earlyWindow = std::max(baseWindow, ac.earlyWindow - 100);
    if (ac.lateWindow > baseWindow) ac.lateWindow = std::max(baseWindow, ac.lateWindow - 100);
}

ParkPos* lf_standOf(const LiveAc& ac) {
    if (ac.standId == 0) return nullptr;
    auto it = std::find_if(parkPositions.begin(), parkPositions.end(),
                           [&](const ParkPos& p) { return p.id == ac.standId; });
    return it == parkPositions.end() ? nullptr : &*it;
}

// Turns the heading towards a bearing by at most `rate`, the short way; no turn within 0.5 deg.
void lf_turnTowards(LiveAc& ac, double bearing, double rate) {
    const double diff = gf_angleDiff(ac.heading, bearing);
    if (!std::isfinite(diff) || std::fabs(diff) <= halfDegreeRad) return;
    if (!(rate > 0.0) || !std::isfinite(rate)) return;
    const double stepSize = std::min({rate, gf_maxTurnPerStep(ac), std::fabs(diff)});
    ac.heading = lf_wrap2Pi(ac.heading + (diff > 0.0 ? stepSize : -stepSize));
}

void lf_popFront(LiveAc& ac) {
    if (ac.stream.empty())
        throw std::runtime_error(fmt::format("{} {} stream at the end is empty?", "nextPos", gf_acText(ac.identity)));
    ac.stream.pop_front();
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
    const double units = std::round(distanceNm * unitsPerHourKt / speedKt);
    // Beyond a day the number means nothing; keep it inside i32.
    if (!std::isfinite(units) || units > 8640000.0) return std::max(minLegUnits, fallback);
    return std::max(minLegUnits, static_cast<int32_t>(units));
}

void gf_setGroundState(LiveAc& ac, uint32_t state) {
    if (ac.groundState == state) return;
    ac.prevGroundState = ac.groundState;
    ac.groundState = state;
}

double gf_maxTurnPerStep(const LiveAc& ac) {
    const double base = ac.identity.baseTurnRate > 0.0 ? ac.identity.baseTurnRate : 0.05 * radPerDeg;
    return ac.onGround ? 3.0 * base : base;
}

void gf_toLocalMetres(double refLat, double refLon, double lat, double lon, double& east, double& north) {
    north = (lat - refLat) * metresPerDegreeLat;
    east = std::cos(refLat * radPerDeg) * metresPerDegreeLat * gf_lonDiff(refLon, lon);
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
    const double cosLat = std::cos(refLat * radPerDeg);
    if (!(std::fabs(cosLat) > 1e-9)) return false;
    position.lat = refLat + north / metresPerDegreeLat;
    position.lon = gf_wrapLon(c.refLon + east / (cosLat * metresPerDegreeLat));
    return std::isfinite(position.lat) && std::isfinite(position.lon);
}

BezierCurve gf_curveOf(const LiveAc& ac) {
    return {ac.curveRefLat, ac.curveRefLon,  ac.curveStart,   ac.curveEnd,
            ac.curveP1East, ac.curveP1North, ac.curveP2East, ac.curveP2North};
}

void gf_clearCurve(LiveAc& ac) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    ac.curveP1East = nan;
    ac.curveP1North = nan;
    ac.curveStart = nan;
    ac.curveEnd = nan;
    ac.curveT = 0.0;
}

double segmentSpeed(const LiveAc& ac) {
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    if (p0.speed == 0.0 && p1.speed == 0.0) {
        const int32_t dt = std::max(minLegUnits, gf_unitsFrom(p0.time, p1.time));
        return std::max(1.0, gf_distanceNm(lf_pos(p0), lf_pos(p1)) * unitsPerHourKt / dt);
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
    else speed = p0.speed > 0.0 ? p0.speed : 100.0;
    const int32_t given = gf_unitsFrom(clock, p1.time);
    const int32_t units = gf_legUnits(gf_distanceNm(lf_pos(ac), lf_pos(p1)), speed, given);
    int64_t due = units;
    if (ac.extensionCount <= 0) due = std::clamp<int64_t>(due, int64_t{given} - ac.earlyWindow, int64_t{given} + ac.lateWindow);
    due = std::max<int64_t>(due, 0);
    p1.time = clock + static_cast<uint32_t>(due);
}

namespace {

void lf_nextPos(LiveAc& ac) {
    const uint32_t clock = clock100.load();
    gf_clearCurve(ac);
    {
        StreamPos& p0 = ac.stream[0];
        StreamPos& p1 = ac.stream[1];
        if (!p1.stop && p1.lat == p0.lat && p1.lon == p0.lon) p1.stop = 1;
        if (!p1.stop) ac.legBearing = gf_bearing(lf_pos(p0), lf_pos(p1));
    }
    if (!ac.onGround) nextPosAir(ac);
    else nextPosGround(ac);

    if (ac.state != acStateActive) return;  // the ground half may have removed it
    if (ac.stream.size() >= 2 && !ac.stream[1].stop) {
        if (!ac.onGround) setAirRates(ac);
        else setGroundRates(ac);
        // The flight rates may have dropped points ahead: the position rates follow the new leg.
        if (ac.stream.size() >= 2) {
            const StreamPos& p1 = ac.stream[1];
            const int32_t d = std::max(minLegUnits, gf_unitsFrom(clock, p1.time));
            ac.latRate = (p1.lat - ac.lat) / d;
            ac.lonRate = gf_lonDiff(ac.lon, p1.lon) / d;
        }
    } else {
        ac.latRate = 0.0;
        ac.lonRate = 0.0;
        if (!ac.landingRoll && !ac.takeoffRoll) lf_shrinkWindows(ac);
    }
    lf_popFront(ac);
}

}  // namespace

void nextPos(LiveAc& ac) {
    try {
        lf_nextPos(ac);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {} {}, sz:{}", "nextPos", e.what(), gf_acText(ac.identity), ac.stream.size()));
        throw;
    }
}

void nextPosMain(LiveAc& ac) {
    try {
        for (int round = 0; round < maxPointChangeRounds; ++round) {
            if (ac.stream.size() >= 2) {
                if (!ac.onGround && ac.identity.category != AircraftCategory::Rotorcraft && ac.stream[1].stop) {
                    ac.stream.erase(ac.stream.begin() + 1);
                    continue;
                }
                nextPos(ac);
                return;
            }
            if (!ac.stream.empty() && continueStream(ac)) continue;
            // The soft-option record of a leaving aircraft (on the ground unless airborne)
            // is made here by the stand-options issue, unless it is parked.
            if (ac.state != acStateRemoved) removeAircraftFromSim(ac);
            return;
        }
        gf_logError(fmt::format("{} {} no leg after {} rounds, removed", "nextPosMain", gf_acText(ac.identity),
                                maxPointChangeRounds));
        if (ac.state != acStateRemoved) removeAircraftFromSim(ac);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {} {}, sz:{}", "nextPosMain", e.what(), gf_acText(ac.identity), ac.stream.size()));
        throw;
    }
}

bool continueStream(LiveAc& ac) {
    const uint32_t clock = clock100.load();
    if (ac.groundState == gsToStand) {
        arriveAtStand(ac);
    } else if (ac.groundState == gsPullOut ||
               (ac.groundState == gsTaxi && !ac.landingRoll && !ac.takeoffRoll)) {
        // Hold where the data ended, unless a taxiing neighbour needs the place.
        for (const LiveAc& other : liveAircraft) {
            if (&other == &ac || !other.onGround || other.groundState != gsTaxi || other.state != acStateActive)
                continue;
            const double limit = 1.2 * (ac.identity.halfWingspan + other.identity.halfWingspan);
            if (gf_distanceNm(lf_pos(ac), lf_pos(other)) <= limit) {
                ac.holding = 0;
                ac.holdStart = 0;
                return false;
            }
        }
        if (!ac.holding) ac.holdStart = clock;
        else if (static_cast<double>(clock - ac.holdStart) / 6000.0 > MAX_HOLDING_MINUTES.value()) return false;
        ac.holding = 1;
        StreamPos p = ac.stream.front();
        p.speed = 0.0;
        p.stop = 1;
        p.time += 300;
        ac.stream.push_back(p);
        ac.extensionCount = 1;
        return true;
    }
    if (ac.state != acStateActive) return false;
    if (ac.extensionCount < 0) return false;
    if (ac.extensionCount == 1) {
        ac.extensionCount = -1;
        return false;
    }
    if (ac.extensionCount > 1) {
        extendStream(ac, ac.extensionCount - 1);
        return true;
    }
    int32_t count = 0;
    if (gf_categoryEnabled(ac.identity.category)) {
        if (ac.onGround) {
            count = ac.groundState == gsParked ? 1 : 10;
        } else if (!atTenNm.load()) {
            const bool userUnknown = gf_isNullPosition(userAc.latitude, userAc.longitude);
            if (userUnknown ||
                gf_distanceNm({userAc.latitude, userAc.longitude}, lf_pos(ac)) < lateralRangeNm.load() - 0.5)
                count = 8;
        }
    }
    if (count == 0) return false;
    extendStream(ac, count);
    return true;
}

void extendStream(LiveAc& ac, int32_t count) {
    ac.extensionCount = count;
    StreamPos p = ac.stream.front();
    const bool parked = ac.groundState == gsParked;
    int32_t dt = ac.onGround ? 3 : 8;
    bool stop = false;
    if (p.stop || parked) {
        stop = true;
        p.speed = 0.0;
    }
    if (!stop && !ac.onGround) {
        if (!ac.approach) p.speed = p.speed * 95.0 / 100.0;
        else if (count >= 4) p.speed = p.speed * 90.0 / 100.0;
        p.speed = std::max(1.0, p.speed);
    } else if (!stop) {
        if (ac.landingRoll) {
            if (p.speed >= 140.0) p.speed = 100.0;
            else if (p.speed >= 100.0) p.speed = 80.0;
            else if (p.speed >= 80.0) p.speed = 60.0;
            else if (p.speed >= 60.0) p.speed = 30.0;
            else p.speed = 20.0;
            p.vs = 0.0;
        } else if (ac.takeoffRoll) {
            if (p.speed <= 30.0) p.speed = 40.0;
            else if (p.speed <= 60.0) p.speed = 80.0;
            else if (p.speed <= 100.0) p.speed = 110.0;
            else if (p.speed <= 140.0) {
                p.speed = 150.0;
                p.vs = 600.0;
            } else if (p.speed <= 160.0) {
                p.speed = 170.0;
                p.vs = 1200.0;
            } else {
                p.speed = 180.0;
                p.vs = 2400.0;
            }
        } else {
            stop = true;
            p.speed = 0.0;
        }
    }
    if (!stop) {
        const double feet = dt * 100.0 * p.speed * feetPerNm / unitsPerHourKt;
        const LatLon to = gf_destination(lf_pos(p), ac.heading, feet);
        stop = to.lat == p.lat && to.lon == p.lon;
        p.lat = to.lat;
        p.lon = to.lon;
        if (!ac.approach && ac.groundState == gsClimbOut) {
            p.vs = 1500.0;
            p.alt += dt * 25.0;
            p.airborne = p.alt > 0.0;
            p.alt = std::max(0.0, p.alt);
        } else if (ac.approach && ac.configStage == 0) {
            p.vs = -667.0;
            p.alt -= dt * 10.005;
            p.airborne = p.alt > 0.0;
            p.alt = std::max(0.0, p.alt);
        } else if (!ac.onGround) {
            // Made-up points keep the altitude: they fly level, and the attitude follows.
            p.vs = 0.0;
        }
    }
    p.stop = stop ? 1 : 0;
    if (parked) {
        dt = parkedExtensionSeconds;
        if (ParkPos* stand = lf_standOf(ac)) stand->occupied = 0;
        ac.standChecked = 0;
    }
    p.time = ac.stream.front().time + static_cast<uint32_t>(dt) * 100u;
    ac.stream.push_back(p);
}

void arriveAtStand(LiveAc& ac) {
    ParkPos* stand = lf_standOf(ac);
    if (stand != nullptr && stand->occupied) {
        ac.extensionCount = 1;
        removeAircraftFromSim(ac);
        stand->occupied = 1;
        return;
    }
    if (gf_distanceNm(lf_pos(ac), {ac.standLat, ac.standLon}) > nmPerTwoMetres) {
        gf_setGroundState(ac, gsTaxi);
        return;
    }
    gf_setGroundState(ac, gsParked);
    ac.parkSlot = nowSlot.load();
    if (ac.towed && LOG.value()) gf_log(fmt::format("          towed aircraft {} parks", gf_acText(ac.identity)));
    if (!ac.stream.empty()) ac.stream.front().stop = 1;
    ac.parkTicks = gf_steadyTicks();
    learnCargoStand(ac);
    gf_parkEvents(ac);
    if (LOG.value())
        gf_log(fmt::format("{:8}: {:8} arrived at stand", stand ? stand->name : std::string{}, ac.identity.callsign));
    createdFollowUps.push_back(ac.identity.hexid);
    // The real stand option of the arrival (and the parking maximum check after a new one) is
    // recorded here by the stand-options issue.
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
    if (std::fabs(p0.speed - p1.speed) <= 5.0) return;
    if (gf_distanceNm(lf_pos(p0), lf_pos(p1)) * metresPerNm < 100.0) return;
    insertMidpoint(ac);
}

void stepPosition(LiveAc& ac) {
    const uint32_t gs = ac.groundState;
    if (!gf_curveSet(ac)) {
        if (((gs == gsPushback || gs == gsPullOut || gs == gsTaxi) && ac.turnSlow) || gs == gsToStand) {
            lf_turnTowards(ac, ac.legBearing, ac.identity.turnRate);
        } else {
            const double limit = gf_maxTurnPerStep(ac);
            const double rate = std::isfinite(ac.headingRate) ? std::clamp(ac.headingRate, -limit, limit) : 0.0;
            ac.heading = lf_wrap2Pi(ac.heading + rate);
        }
        if (std::isfinite(ac.latRate)) ac.lat += ac.latRate;
        if (std::isfinite(ac.lonRate)) ac.lon = gf_wrapLon(ac.lon + ac.lonRate);
        if (gs == gsPullOut) return;
    } else {
        ac.curveT = std::min(ac.curveT + ac.curveStep, 0.999999);
        LatLon p;
        double bearing = 0.0;
        if (!bezierPoint(gf_curveOf(ac), ac.curveT, p, bearing)) {
            gf_logError(fmt::format("{} error in curve at index: {:.2F}", ac.identity.callsign, ac.curveT));
        } else {
            ac.lat = p.lat;
            ac.lon = p.lon;
            if (gs == gsPushback) bearing = lf_wrap2Pi(bearing + pi);
            lf_turnTowards(ac, bearing, ac.identity.turnRate);
        }
    }
    if (gs == gsClimbOut) {
        climbOutStep(ac);
    } else {
        if (!ac.onGround && ac.approach && ac.aglFt < 400.0) flareStep(ac);
        const double groundPitch = ac.identity.groundPitch;
        if (ac.touchdown) {
            // Lowering the nose after touchdown; a rate that would never get there is replaced.
            if (!(ac.pitchRate > 0.0) && ac.pitch < groundPitch) ac.pitchRate = (groundPitch - ac.pitch) / 100.0;
            ac.pitch += ac.pitchRate;
            if (ac.pitch >= groundPitch) {
                ac.pitch = groundPitch;
                ac.pitchRate = 0.0;
                ac.bank = 0.0;
                ac.bankRate = 0.0;
                ac.touchdown = 0;
                ac.configStage = 0;
            }
            ac.bank += ac.bankRate;
        } else if (ac.configStage != 0) {
            ac.pitch = std::max(ac.pitch + ac.pitchRate, -fourDegreesRad);
            ac.bank += ac.bankRate;
            ac.alt += ac.altRate;
        } else if (ac.onGround) {
            ac.pitch = groundPitch;
            ac.bank = 0.0;
        } else {
            ac.pitch += ac.pitchRate;
            ac.bank += ac.bankRate;
            ac.alt += ac.altRate;
        }
    }
    ac.lon = gf_wrapLon(ac.lon);
}

}  // namespace vdl
