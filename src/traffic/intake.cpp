#include "traffic/intake.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "refdata/dbase.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/movement.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double degreesPerRadian = 57.29577951308232;
constexpr double radiansPerDegree = 0.017453292519943295;
constexpr double airborneSkipNm = 0.2429805615550756;  // 450 m
constexpr double groundSkipNm = 0.010799136069114472;  // 20 m
constexpr double groundSkipMaxSeconds = 15.0;
constexpr double lowAltitudeFt = 10000.0;
constexpr double nearFieldFt = 120.0;
constexpr double noAirportElevation = -1000.0;
constexpr double sameSpotDegrees = 0.00015;
constexpr double stopNearNm = 0.011879049676025918;  // 22 m
constexpr uint32_t shortStop = 1500;                   // clock units
constexpr double standNearNm = 0.0458963282937365;   // 85 m
constexpr double standMoveNm = 0.0016198704103671706;  // 3 m
constexpr double standFarNm = 0.10799136069114472;   // 200 m
constexpr uint32_t parkedStopOffset = 60480000;        // a parked stream ends seven days ahead
constexpr int32_t windowNormal = 3000;
constexpr int32_t windowTakeoff = 5000;
constexpr auto intakeTimePerStep = std::chrono::microseconds(300);  // of the 10 ms step

LatLon lf_pos(const StreamPos& p) { return {p.lat, p.lon}; }

// Absolute difference of two headings in degrees.
double lf_headingDiffDeg(double h, double b) { return std::fabs(gf_angleDiff(h, b)) * degreesPerRadian; }

double lf_parkAirportElevation() { return trafficReader.airportElevation().value_or(noAirportElevation); }

// The park airport's ICAO code comes with the park-airport issue; until then there is none.
std::string lf_parkAirportCode() { return {}; }

bool lf_lowNearField(const StreamPos& p) {
    return p.alt > 0.0 && p.alt < lowAltitudeFt && std::fabs(p.alt - lf_parkAirportElevation()) <= nearFieldFt;
}

void lf_resetWindows(LiveAc& a) {
    a.lateWindow = a.takeoffRoll ? windowTakeoff : windowNormal;
    a.earlyWindow = windowNormal;
}

uint32_t lf_after(uint32_t t, uint32_t last) {
    return static_cast<int32_t>(t - (last + 1)) < 0 ? last + 1 : t;
}

bool lf_endsWithGhostMark(const std::string& cs) { return !cs.empty() && cs.back() == '_'; }

// The same flight under a second hexid.
bool lf_sameFlightPresent(const TrafficRecord& r) {
    if (r.callsign.empty()) return false;
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAc& a) {
        return a.identity.callsign == r.callsign && a.identity.type == r.type;
    });
}

// Samples that add nothing: repeats, speed jumps and points too close to the last one.
bool lf_dropSample(const LiveAc& a, const TrafficRecord& r) {
    const StreamPos& last = a.stream.back();
    const StreamPos& p = r.pos;
    const double dt = r.sampleTime - a.lastSampleTime;
    if (dt == 0.0 || dt <= 1.0) return true;
    if (last.speed > 5.0 && p.speed >= 10.0 * last.speed) return true;
    if (p.speed > 5.0 && last.speed >= 10.0 * p.speed) return true;
    if ((last.speed <= 5.0 && p.speed >= 80.0) || (p.speed <= 5.0 && last.speed >= 80.0)) return true;
    if (a.extensionCount < 1) {
        const double trackDiff = std::fabs(p.track - last.track);
        if (p.airborne && p.speed > 120.0 && trackDiff <= 1.0 && dt <= airborneSkipNm / (p.speed / 3600.0))
            return true;
        if (!p.airborne && p.speed <= 30.0 && trackDiff <= 2.0 &&
            dt <= std::min(groundSkipMaxSeconds, groundSkipNm / (p.speed / 3600.0)))
            return true;
    }
    return false;
}

// Respawn rule of a changed identity; false drops the sample.
bool lf_respawnRule(LiveAc& a) {
    if (!GUID_CHANGES.value()) return true;
    if (LOG.value()) gf_log(fmt::format("          {} respawns", gf_acText(a.identity)));
    liveryRespawn(a);
    return false;
}

bool lf_refreshActive(LiveAc& a, TrafficRecord& r) {
    AcIdentity& id = a.identity;
    bool routeFilled = false;
    if (id.dest.empty() && !r.dest.empty()) {
        id.dest = r.dest;
        routeFilled = true;
    }
    if (id.origin.empty() && !r.origin.empty()) {
        id.origin = r.origin;
        routeFilled = true;
    }
    // An empty route in the record is no change of route.
    bool routeChanged = !id.dest.empty() && !id.origin.empty() && !r.dest.empty() && !r.origin.empty() &&
                        id.dest != r.dest && id.origin != r.origin;
    if (routeChanged && id.origin == lf_parkAirportCode() && r.dest == id.origin) routeChanged = false;
    if (routeChanged) {
        id.origin = r.origin;
        id.dest = r.dest;
        if (a.onGround && a.groundState != gsToStand && a.groundState != gsParked) {
            gf_setGroundState(a, gsTaxi);
            a.course = a.heading;
        }
    }
    if (id.reg.empty()) id.reg = r.reg;
    if (!r.callsign.empty() && r.callsign != id.callsign && r.callsign != id.reg) {
        id.callsign = r.callsign;
        id.callsignCopy = r.callsign;
        id.coupledCallsign.clear();
        if (lf_endsWithGhostMark(id.callsign)) {
            if (gf_ghostPresent(id.callsign)) return false;
        } else {
            gf_removeGhostOf(id.callsign);
        }
        return lf_respawnRule(a);
    }
    if (!routeFilled && !routeChanged) return true;
    return lf_respawnRule(a);
}

// Towed, not departing: it landed here and moves again sooner than its category parks.
void lf_towedTest(LiveAc& a) {
    if (a.stream.empty()) return;
    const uint32_t parked = clock100.load() - (a.stream.front().time - parkedStopOffset);
    uint32_t limit = 0;
    switch (a.identity.category) {
        case AircraftCategory::Heavy: limit = 360000; break;
        case AircraftCategory::Large: limit = 150000; break;
        case AircraftCategory::Buzjets: limit = 90000; break;
        default: break;
    }
    if (parked < limit) a.towed = 1;
}

void lf_decode(LiveAc& a, StreamPos& p) {
    const uint32_t clock = clock100.load();
    if (a.stream.size() > maxStreamPoints) removeAircraftFromSim(a);
    if (a.holding && !a.stream.empty() &&
        gf_distanceNm(lf_pos(a.stream.front()), lf_pos(p)) * metresPerNm > HOLDING_THRESHOLD_METERS.value()) {
        a.holding = 0;
        a.holdStart = 0;
        removeAircraftFromSim(a);
        return;
    }
    switch (a.groundState) {
        case gsNew:
            if (a.stream.empty() || !classifyStop(a, p)) return;
            p.time = lf_after(p.time, a.stream.back().time);
            a.stream.push_back(p);
            return;
        case gsToStand:
        case gsParked:
            if (a.state == acStateNew || a.state == acStateCreating) return;
            if (!checkParkedMove(a, p)) return;
            break;
        case gsPushback:
            if (!STRAIGHT_PBS_ONLY.value() && a.departureCountdown == 2) {
                double h = 0.0;
                if (p.headingValid)
                    h = p.trueHeading;
                else if (p.track != 0.0)
                    // Pushed back, it moves tail first: its track points against its nose.
                    h = std::fmod(p.track + 180.0, 360.0) * radiansPerDegree;
                else
                    return;
                a.turnRight = gf_angleDiff(a.heading, h) > 0.0 ? 1 : 0;
                a.turnDirKnown = 1;
            }
            return;
        case gsPullOut: {
            const double d = gf_distanceNm({a.lat, a.lon}, lf_pos(p));
            const double half = a.identity.halfWingspan;
            if (!(d > 2.75 * half && d > a.pullOutDistance) && !(d > 6.0 * half)) {
                if (!a.holding) {
                    a.holding = 1;
                    a.holdStart = clock;
                }
                a.pullOutDistance = d;
                return;
            }
            p.stop = 0;
            if (a.extensionCount >= 1) {
                if (!a.stream.empty()) a.stream.front().time = clock + 1;
                a.extensionCount = 0;
                lf_resetWindows(a);
            }
            a.turnDirKnown = 0;
            a.departureCountdown = 0;
            gf_setGroundState(a, gsTaxi);
            a.standLat = a.standLon = a.standHeading = 0.0;
            a.standId = 0;
            a.cargoStand = 0;
            a.holding = 0;
            a.holdStart = 0;
            break;
        }
        default:
            if (!a.approach && !a.landingRoll) {
                if (!classifyStop(a, p)) return;
                if (a.extensionCount > 0 && !checkExtendingSituations(a, p)) return;
            } else if (!checkNewPosDuringLanding(a, p)) {
                return;
            }
            break;
    }
    if (a.stream.empty()) {
        a.stream.push_back(p);
        return;
    }
    if (!p.airborne && a.stream.back().stop) {
        if (!p.stop) {
            removeSmallStop(a, p);
        } else if (a.stream.size() >= 2 &&
                   std::all_of(a.stream.begin(), a.stream.end(), [](const StreamPos& q) { return q.stop != 0; })) {
            a.stream.resize(1);
        }
    }
    p.time = lf_after(p.time, a.stream.back().time);
    if (!a.takeoffRoll && a.onGround && a.state == acStateActive) {
        if (a.landingRoll && a.stream.back().airborne && p.airborne) {
            // Lift-off after a touchdown: a go-around or touch-and-go.
            gf_setGroundState(a, gsTaxi);
            a.takeoffRoll = 1;
            const bool rotor = a.identity.category == AircraftCategory::Rotorcraft;
            if (a.throttleStep != 3) gf_queueClientEvent(a.objectId, THROTTLE_SET, throttleValues[3]);
            a.throttleStep = 3;
            if (!rotor) gf_queueClientEvent(a.objectId, SPOILERS_SET, 16383);
            if (a.flapsStep != 1 && !rotor) gf_queueClientEvent(a.objectId, FLAPS_SET, flapsValues[1]);
            a.flapsStep = 1;
            a.approach = 0;
            a.landed = 0;
            a.moveFlag = 0;
            {
                std::lock_guard lock(simMutex);
                gf_pushClientEvent(a.objectId, NAV_LIGHTS_SET, 1);
                gf_pushClientEvent(a.objectId, BEACON_LIGHTS_SET, 1);
                gf_pushClientEvent(a.objectId, LANDING_LIGHTS_SET, 1);
                gf_pushClientEvent(a.objectId, TAXI_LIGHTS_SET, 1);
                gf_pushClientEvent(a.objectId, STROBES_SET, 1);
                gf_pushClientEvent(a.objectId, LOGO_LIGHTS_SET, 1);
                gf_pushClientEvent(a.objectId, CABIN_LIGHTS_SET, 0);
            }
            a.lateWindow = windowTakeoff;
            a.earlyWindow = windowNormal;
        } else if (!p.airborne) {
            // The take-off handling leaves a landing roll alone: its records are fast too.
            if (p.speed >= 43.0 && a.stream.back().speed >= 43.0 && a.groundState == gsTaxi) gf_takeoffHandling(a);
        } else if (a.groundState == gsTaxi) {
            gf_takeoffHandling(a);
        }
    }
    a.stream.push_back(p);
    if (a.stream.size() == 2 && a.stream[0].stop && a.stream[1].stop) {
        a.stream[0].time = clock + 1;
        a.stream[0].speed = a.stream[1].speed;
    }
}

}  // namespace

bool classifyStop(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) return true;
    const StreamPos& last = a.stream.back();
    p.stop = (p.lat == last.lat && p.lon == last.lon) ? 1 : 0;
    if (a.identity.category == AircraftCategory::Rotorcraft) return true;
    const bool flying = p.airborne || (a.state == acStateActive && !a.onGround);
    if (p.stop) {
        if (flying) return false;
        if (a.takeoffRoll && p.speed > 0.0 && last.speed >= 30.0) return false;
        p.speed = 0.0;
        return true;
    }
    if (std::fabs(p.lat - last.lat) <= sameSpotDegrees && std::fabs(p.lon - last.lon) <= sameSpotDegrees) {
        if (flying) return false;
        if (a.takeoffRoll && p.speed > 0.0 && last.speed >= 50.0) return false;
        const uint32_t time = p.time;
        p = last;
        p.time = time;
        p.speed = 0.0;
        p.stop = 1;
        return true;
    }
    if (p.speed != 0.0) return true;  // also not a number
    if (!a.takeoffRoll && !p.airborne) return true;
    return last.speed < 50.0;
}

bool checkExtendingSituations(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) {
        gf_logError(fmt::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (!a.onGround && lf_headingDiffDeg(a.heading, gf_bearing(lf_pos(a.stream.back()), lf_pos(p))) >= 100.0)
        return false;
    a.extensionCount = 0;
    lf_resetWindows(a);
    a.stream.front().time = clock100.load() + 1;
    a.holding = 0;
    a.holdStart = 0;
    return true;
}

bool checkNewPosDuringLanding(LiveAc& a, StreamPos& p) {
    if (a.stream.empty()) {
        gf_logError(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (p.lat == a.stream.back().lat && p.lon == a.stream.back().lon) return false;
    const auto offCourse = [&](const StreamPos& from, double limit) {
        return lf_headingDiffDeg(a.heading, gf_bearing(lf_pos(from), lf_pos(p))) >= limit;
    };
    if (a.stream.size() >= 2) {
        if (offCourse(a.stream.back(), 90.0)) {
            a.stream.pop_back();
            if (a.stream.size() >= 2 && offCourse(a.stream.back(), 90.0)) a.stream.pop_back();
        }
    } else if (a.approach) {
        if (offCourse(a.stream.front(), 90.0)) return false;
    } else if (offCourse(a.stream.front(), 150.0)) {
        if (a.extensionCount > 0) return false;
        StreamPos& f = a.stream.front();
        f.lat = a.lat;
        f.lon = a.lon;
        f.time = clock100.load() + 1;
    }
    if (a.extensionCount > 0) {
        a.extensionCount = 0;
        lf_resetWindows(a);
    }
    const StreamPos& last = a.stream.back();
    if (p.lat == last.lat && p.lon == last.lon) {
        p.stop = 1;
        return true;
    }
    p.stop = 0;
    if (p.speed > last.speed && p.speed > 40.0) p.speed = last.speed;
    return true;
}

void removeSmallStop(LiveAc& a, const StreamPos& p) {
    try {
        for (size_t k = 3; k <= 7 && a.stream.size() >= k; ++k) {
            // The first moving point before a trailing run of k - 2 stops.
            if (!a.stream[a.stream.size() - k + 1].stop) {
                checkStops(a, k - 1, p);
                return;
            }
        }
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "removeSmallStop", e.what()));
    }
}

void checkStops(LiveAc& a, size_t n, const StreamPos& p) {
    try {
        if (n < 1 || n > a.stream.size()) throw std::out_of_range(fmt::format("stream of {}", a.stream.size()));
        const StreamPos& f = a.stream[a.stream.size() - n];
        const StreamPos& e = a.stream.back();
        if (static_cast<int32_t>(e.time - f.time) < static_cast<int32_t>(shortStop) ||
            gf_distanceNm(lf_pos(f), lf_pos(p)) <= stopNearNm)
            a.stream.resize(a.stream.size() - (n - 1));
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: num:{} {}", "checkStops", n, e.what()));
    }
}

bool checkParkedMove(LiveAc& a, StreamPos& p) {
    a.standChecked = 1;
    const double d = gf_distanceNm({a.standLat, a.standLon}, lf_pos(p));
    const double near = a.prevGroundState == gsToStand ? 2.0 * standNearNm : standNearNm;
    const double half = a.identity.halfWingspan;
    bool moves = false;
    if (d <= near) {
        a.parkTicks = gf_steadyTicks();
        if (a.lastStandDistance == 0.0) {
            a.firstStandDistance = a.lastStandDistance = d;
            a.standMoveCount = 0;
            a.atStand = 0;
            return false;
        }
        if (d >= a.lastStandDistance + standMoveNm) {
            ++a.standMoveCount;
            a.lastStandDistance = d;
            const double m = d - a.firstStandDistance;
            if ((a.standMoveCount < 3 || m < 0.5 * half) && m <= half) {
                a.atStand = 0;
                return false;
            }
            moves = true;
        } else {
            if (d <= a.lastStandDistance - standMoveNm) a.standMoveCount = 0;
            a.atStand = 0;
            return false;
        }
    }
    if (!moves) {
        if (a.groundState == gsToStand) {
            // Live data takes it off its way to the stand.
            gf_setGroundState(a, gsTaxi);
            p.stop = 0;
            return true;
        }
        if (d > standFarNm) {
            if (a.state != acStateActive) return true;
            removeAircraftFromSim(a);
            return false;
        }
    }
    p.stop = 0;
    a.atStand = 1;
    if (a.prevGroundState == gsParked) return true;
    leaveStand(a);
    gf_setGroundState(a, gsParked);
    return true;
}

void leaveStand(LiveAc& a) {
    if (a.extensionCount >= 1) {
        if (a.groundState == gsParked && a.landed) {
            lf_towedTest(a);
            a.landed = 0;
        }
        if (!a.stream.empty()) a.stream.front().time = clock100.load() + 1;
        a.extensionCount = 0;
        a.earlyWindow = windowNormal;
        a.lateWindow = a.takeoffRoll ? windowTakeoff : windowNormal;
    }
    // Recording the stand use as a real option (stand options) is added by the stand-learning issue.
    if (a.standId != 0) {
        for (ParkPos& s : parkPositions)
            if (s.id == a.standId) {
                s.occupied = 0;
                break;
            }
    }
}

void liveryRespawn(LiveAc& a) {
    try {
        const uint32_t due = clock100.load() + 1;
        if (a.groundState == gsParked) {
            if (a.stream.size() > 1) a.stream.resize(1);
            if (a.stream.empty()) a.stream.push_back(StreamPos{});
            StreamPos& f = a.stream.front();
            f.stop = 1;
            f.track = a.heading * degreesPerRadian;
            StreamPos n = f;
            n.time = due;
            a.stream.push_front(n);
        } else {
            StreamPos n = a.stream.empty() ? StreamPos{} : a.stream.front();
            n.lat = a.lat;
            n.lon = a.lon;
            n.bank = a.bank;
            n.bankValid = 1;
            n.alt = a.alt;
            n.time = due;
            if (!a.stream.empty()) a.stream.front().stop = (a.stream.front().lat == a.lat && a.stream.front().lon == a.lon);
            a.stream.push_front(n);
        }
        a.state = acStateReplacing;
        a.spawnHeading = a.heading;
        a.spawnHeadingSet = 1;
        if (a.objectId != 0 && a.objectId == selectedObjectId) gf_clearObjectIdSelection(a.identity.callsign);
        if (a.objectId != 0) {
            removalQueue.push_back(a.objectId);
            return;
        }
        gf_logError(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", gf_acInfo(a.identity)));
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

bool refreshIdentity(LiveAc& a, TrafficRecord& r) {
    if (a.approach || a.takeoffRoll) return true;
    AcIdentity& id = a.identity;
    if (a.state == acStateNew) {
        if (!r.origin.empty() && r.origin != id.origin) id.origin = r.origin;
        if (!r.dest.empty() && r.dest != id.dest) id.dest = r.dest;
        if (!r.callsign.empty() && r.callsign != id.callsign) id.callsign = r.callsign;
        if (!r.reg.empty() && r.reg != id.reg) id.reg = r.reg;
        return true;
    }
    if (a.state == acStateActive && a.groundState != gsPushback && a.extensionCount < 1) return lf_refreshActive(a, r);
    return true;
}

void decodeExisting(LiveAc& a, StreamPos p) {
    try {
        lf_decode(a, p);
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}

bool gf_matchRecord(TrafficRecord& r, LiveAc& a) {
    if (r.hexid != a.identity.hexid) return false;
    if (a.state == acStateReplacing || a.state == acStateRemoved || a.erase) return true;
    if (!a.stream.empty() && lf_dropSample(a, r)) return true;
    if (a.state == acStateNew && lf_lowNearField(r.pos)) return true;
    if (!refreshIdentity(a, r)) return true;
    a.lastSampleTime = r.sampleTime;
    decodeExisting(a, r.pos);
    return true;
}

void gf_createLiveAc(TrafficRecord& r) {
    if (r.type.empty()) r.type = gf_modelOfReg(r.reg);
    if (!gf_isValidModel(r.type)) {
        std::string fromReg = gf_modelOfReg(r.reg);
        if (fromReg.empty()) return;
        r.type = std::move(fromReg);
    }
    const AircraftCategory category = gf_modelCategory(r.type);
    const auto c = static_cast<int32_t>(category);
    if (c < 0 || c >= categoryCount || !gf_categoryEnabled(category)) return;
    if (lf_lowNearField(r.pos)) return;
    r.callsignCopy = r.callsign;
    r.coupledCallsign.clear();
    r.coupledSearched = 0;
    AcIdentity id = gf_makeAcIdentity(std::move(r.airl), std::move(r.type), std::move(r.origin), std::move(r.dest),
                                      std::move(r.callsign), std::move(r.callsignCopy), std::move(r.coupledCallsign),
                                      std::move(r.reg), 0, r.hexid);
    gf_setCategoryValues(id);
    liveAircraft.emplace_back(r.pos, std::move(id), r.sampleTime);
}

bool gf_takeTrafficRecord() {
    if (trafficQueue.empty()) return false;
    TrafficRecord& r = trafficQueue.front();
    struct PopFront {
        ~PopFront() { trafficQueue.pop_front(); }
    } pop;
    for (LiveAc& a : liveAircraft)
        if (gf_matchRecord(r, a)) return true;
    if (lf_sameFlightPresent(r)) return true;
    gf_createLiveAc(r);
    return true;
}

void gf_handleUdpMessages() {
    try {
        // A busy area sends 1,000 records a second, in bursts; the time limit keeps the step short.
        const auto end = std::chrono::steady_clock::now() + intakeTimePerStep;
        std::lock_guard lock(trafficMutex);
        for (size_t i = 0; i < maxRecordsPerStep; ++i)
            if (!gf_takeTrafficRecord() || std::chrono::steady_clock::now() >= end) break;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "lf_handleUdpMessages", e.what()));
        throw;
    }
}

}  // namespace vdl
