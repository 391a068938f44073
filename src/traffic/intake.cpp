#include "traffic/intake.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "refdata/dbase.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"
#include "traffic/point_intake.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

// Samples that add nothing: too soon after the last, a jump in speed, or a point the aircraft
// covers in the time since the last (airborne 450 m when fast, on the ground 20 m when slow).
constexpr double minSampleSeconds = 1.0;
constexpr double speedJumpFactor = 10.0;
constexpr double standingKt = 5.0;
constexpr double fastJumpKt = 80.0;
constexpr double airborneSkipMinKt = 120.0;
constexpr double airborneSkipTrackDeg = 1.0;
constexpr double airborneSkipNm = metresToNm(450.0);
constexpr double groundSkipMaxKt = 30.0;
constexpr double groundSkipTrackDeg = 2.0;
constexpr double groundSkipNm = metresToNm(20.0);
constexpr double groundSkipMaxSeconds = 15.0;
// A speed over five times the positions' one (and 50 kt more) is stale; below 50 kt an aeroplane
// does not fly.
constexpr double staleCheckMinSeconds = 1.5;
constexpr double staleCheckMaxSeconds = 30.0;
constexpr double staleSpeedFactor = 5.0;
constexpr double staleSpeedSlackKt = 50.0;
constexpr double staleGroundKt = 50.0;
// A velocity pointing away from the move is judged over short gaps only: over a long one a
// turning aircraft's chord leaves its track far behind.
constexpr double staleDirectionMaxSeconds = 10.0;
constexpr double maxFilledSpeedKt = 30.0;  // a ground line without speed, from its move
// A low airborne sample near the park airport's elevation does not make or spawn an aircraft.
constexpr double lowAltitudeFt = 10000.0;
constexpr double nearFieldFt = 120.0;
constexpr double noAirportElevation = -1000.0;
// A busy area sends 1,000 records a second, in bursts; the time limit keeps the step short.
constexpr auto intakeTimePerStep = std::chrono::microseconds(300);  // of the 10 ms step


double lf_parkAirportElevation() { return trafficReader.airportElevation().value_or(noAirportElevation); }

std::string lf_parkAirportCode() { return gf_parkAirportCode(); }

bool lf_lowNearField(const StreamPos& p) {
    return p.alt > 0.0 && p.alt < lowAltitudeFt && std::fabs(p.alt - lf_parkAirportElevation()) <= nearFieldFt;
}

bool lf_endsWithGhostMark(const std::string& cs) { return !cs.empty() && cs.back() == '_'; }

// The same flight under a second hexid.
bool lf_sameFlightPresent(const TrafficRecord& r) {
    if (r.callsign.empty()) return false;
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAc& a) {
        return a.identity.callsign == r.callsign && a.identity.type == r.type;
    });
}

bool lf_speedJump(double lastKt, double kt) {
    if (lastKt > standingKt && kt >= speedJumpFactor * lastKt) return true;
    if (kt > standingKt && lastKt >= speedJumpFactor * kt) return true;
    return (lastKt <= standingKt && kt >= fastJumpKt) || (kt <= standingKt && lastKt >= fastJumpKt);
}

// Samples that add nothing: repeats, speed jumps and points too close to the last one.
bool lf_dropSample(const LiveAc& a, const TrafficRecord& r) {
    const StreamPos& last = a.stream.back();
    const StreamPos& p = r.pos;
    const double dt = r.sampleTime - a.lastSampleTime;
    if (dt == 0.0 || dt <= minSampleSeconds) return true;
    if (lf_speedJump(last.speed, p.speed)) return true;
    if (a.extensionCount < 1) {
        const double trackDiff = std::fabs(p.track - last.track);
        if (p.airborne && p.speed > airborneSkipMinKt && trackDiff <= airborneSkipTrackDeg &&
            dt <= airborneSkipNm / ktToNmPerSecond(p.speed))
            return true;
        if (!p.airborne && p.speed <= groundSkipMaxKt && trackDiff <= groundSkipTrackDeg &&
            dt <= std::min(groundSkipMaxSeconds, groundSkipNm / ktToNmPerSecond(p.speed)))
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

// Fills in a missing origin or destination, or takes a changed route over; answers whether the
// route was filled in and whether it changed.
std::pair<bool, bool> lf_refreshRoute(LiveAc& a, const TrafficRecord& r) {
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
        if (a.onGround && a.groundState != GroundState::toStand && a.groundState != GroundState::parked) {
            gf_setGroundState(a, GroundState::taxi);
            a.course = a.heading;
        }
    }
    return {routeFilled, routeChanged};
}

bool lf_refreshActive(LiveAc& a, TrafficRecord& r) {
    AcIdentity& id = a.identity;
    const auto [routeFilled, routeChanged] = lf_refreshRoute(a, r);
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

// Takes the front record off trafficQueue; none when the queue is empty.
std::optional<TrafficRecord> lf_takeQueuedRecord() {
    std::lock_guard lock(trafficMutex);
    if (trafficQueue.empty()) return std::nullopt;
    std::optional<TrafficRecord> r{std::move(trafficQueue.front())};
    trafficQueue.pop_front();
    return r;
}

}  // namespace

void liveryRespawn(LiveAc& a) {
    try {
        const uint32_t due = clock100.load() + 1;
        if (a.groundState == GroundState::parked) {
            if (a.stream.size() > 1) a.stream.resize(1);
            if (a.stream.empty()) a.stream.push_back(StreamPos{});
            StreamPos& f = a.stream.front();
            f.stop = 1;
            f.track = radToDeg(a.heading);
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
            if (!a.stream.empty()) {
                StreamPos& f = a.stream.front();
                f.stop = f.lat == a.lat && f.lon == a.lon;
            }
            a.stream.push_front(n);
        }
        a.state = AcState::replacing;
        a.spawnHeading = a.heading;
        a.spawnHeadingSet = true;
        if (a.objectId != 0 && a.objectId == selectedObjectId) gf_clearObjectIdSelection(a.identity.callsign);
        if (a.objectId != 0) {
            removalQueue.push_back(a.objectId);
            return;
        }
        gf_logError(fmt::format("liveryRespawn removing act {} with objectid=0 ?", gf_acInfo(a.identity)));
    } catch (const std::exception& e) {
        gf_log(fmt::format("liveryRespawn: {}", e.what()));
    }
}

bool refreshIdentity(LiveAc& a, TrafficRecord& r) {
    if (a.approach || a.takeoffRoll) return true;
    AcIdentity& id = a.identity;
    if (a.state == AcState::fresh) {
        if (!r.origin.empty() && r.origin != id.origin) id.origin = r.origin;
        if (!r.dest.empty() && r.dest != id.dest) id.dest = r.dest;
        if (!r.callsign.empty() && r.callsign != id.callsign) id.callsign = r.callsign;
        if (!r.reg.empty() && r.reg != id.reg) id.reg = r.reg;
        return true;
    }
    if (a.state == AcState::active && a.groundState != GroundState::pushback && a.extensionCount < 1) return lf_refreshActive(a, r);
    return true;
}

// A ground line without track or speed: the track of the move since the last point (or the last
// track when it did not move), the speed from that move and the time it took.
void lf_fillUnknownMovement(const LiveAc& a, TrafficRecord& r) {
    if (a.stream.empty() || (!r.pos.trackUnknown && !r.pos.speedUnknown)) return;
    const StreamPos& last = a.stream.back();
    const double nm = gf_distanceNm({last.lat, last.lon}, {r.pos.lat, r.pos.lon});
    const double dt = r.sampleTime - a.lastSampleTime;
    if (r.pos.trackUnknown)
        r.pos.track = nm > groundSkipNm / 4.0 ? radToDeg(gf_bearing({last.lat, last.lon}, {r.pos.lat, r.pos.lon})) : last.track;
    // Two noisy positions show a taxi at best: no take-off roll starts from such a speed.
    if (r.pos.speedUnknown) r.pos.speed = std::min(dt > 0.0 ? nm / dt * secondsPerHour : last.speed, maxFilledSpeedKt);
    r.pos.tas = r.pos.speed;
}

// A velocity that the positions do not show is stale (surface positions without a velocity
// message): far faster than the move, or pointing away from it. The speed of the move holds.
// A line whose own field says on the ground was a flight only by that speed, so it is on the
// ground; so is an aeroplane too slow to fly.
bool lf_staleVelocity(const StreamPos& last, double dt, StreamPos& p) {
    if (dt < staleCheckMinSeconds || dt > staleCheckMaxSeconds) return false;
    const LatLon from{last.lat, last.lon};
    const LatLon to{p.lat, p.lon};
    const double kt = gf_distanceNm(from, to) / dt * secondsPerHour;
    const bool tooFast = p.speed > staleSpeedFactor * kt + staleSpeedSlackKt;
    // The move's speed along the given track: a fast velocity the move does not follow.
    const double along = kt * std::cos(gf_angleDiff(gf_bearing(from, to), degToRad(p.track)));
    const bool awayFromMove = dt <= staleDirectionMaxSeconds && p.speed > staleGroundKt && !p.trackUnknown &&
                              staleSpeedFactor * along < p.speed;
    if (!tooFast && !awayFromMove) return false;
    p.speed = kt;
    if (kt < staleGroundKt || !p.airborneFlag) {
        // Noisy surface positions show a taxi at best: no take-off roll starts from their hops.
        p.speed = std::min(kt, maxFilledSpeedKt);
        p.airborne = 0;
        p.alt = 0.0;
        p.vs = 0.0;
    }
    p.tas = p.speed;
    return true;
}

// A ground line repeating the last line's velocity to the digit while its positions move at less
// than half that speed: the velocity was frozen (typically the landing's speed kept all the way to
// the stand). Its velocity and any later line repeating it are stale, whatever noise the
// positions show; a real roll's speed changes from line to line.
bool lf_repeatedStaleVelocity(LiveAc& a, const StreamPos& last, double dt, StreamPos& p) {
    const bool repeated = p.speed == a.givenSpeedKt && p.track == a.givenTrackDeg;
    a.givenSpeedKt = p.speed;
    a.givenTrackDeg = p.track;
    if (!repeated || p.airborneFlag || p.speedUnknown || p.trackUnknown || p.speed <= maxFilledSpeedKt) return false;
    if (dt < staleCheckMinSeconds || dt > staleCheckMaxSeconds) return false;
    const double kt = gf_distanceNm({last.lat, last.lon}, {p.lat, p.lon}) / dt * secondsPerHour;
    const bool known = p.speed == a.staleSpeedKt && p.track == a.staleTrackDeg;
    if (!known && kt * 2.0 >= p.speed) return false;
    a.staleSpeedKt = p.speed;
    a.staleTrackDeg = p.track;
    p.speed = std::min(kt, maxFilledSpeedKt);
    p.tas = p.speed;
    p.airborne = 0;
    p.alt = 0.0;
    p.vs = 0.0;
    return true;
}

// A flight whose reported speed holds steady from line to line at a speed it flies: positions
// that jitter by hundreds of metres do not overrule it.
constexpr double steadySpeedShare = 0.1;
bool lf_steadyFlight(const LiveAc& a, const StreamPos& last, const StreamPos& p) {
    if (!p.airborneFlag || !last.airborneFlag || p.speedUnknown || last.speedUnknown) return false;
    const double floor = gf_flightValues(a.identity.category).airFloorKt;
    return p.speed >= floor && std::fabs(p.speed - last.speed) <= steadySpeedShare * last.speed;
}

void lf_staleVelocity(LiveAc& a, TrafficRecord& r) {
    if (a.stream.empty() || a.identity.category == AircraftCategory::Rotorcraft) return;
    StreamPos& last = a.stream.back();
    if (lf_steadyFlight(a, last, r.pos)) return;
    const double given = r.pos.speed;
    const double givenTrack = r.pos.track;
    const double dt = r.sampleTime - a.lastSampleTime;
    if (!lf_repeatedStaleVelocity(a, last, dt, r.pos) && !lf_staleVelocity(last, dt, r.pos)) return;
    // The first line of an aircraft not yet flown had the same velocity: stale too, and it
    // must not spawn the aircraft in the air.
    if (a.state == AcState::fresh && a.stream.size() == 1 && last.speed == given && last.track == givenTrack &&
        !last.speedUnknown) {
        last.speed = r.pos.speed;
        last.tas = r.pos.tas;
        if (!r.pos.airborne && !last.airborneFlag) {
            last.airborne = 0;
            last.alt = 0.0;
            last.vs = 0.0;
        }
    }
}

bool gf_matchRecord(TrafficRecord& r, LiveAc& a) {
    if (r.hexid != a.identity.hexid) return false;
    lf_fillUnknownMovement(a, r);
    lf_staleVelocity(a, r);
    if (a.state == AcState::replacing || a.state == AcState::removed || a.erase) return true;
    if (!a.stream.empty() && lf_dropSample(a, r)) return true;
    if (a.state == AcState::fresh && lf_lowNearField(r.pos)) return true;
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
    liveAircraft.back().givenSpeedKt = r.pos.speed;
    liveAircraft.back().givenTrackDeg = r.pos.track;
}

void gf_takeTrafficRecord(TrafficRecord& r) {
    if (LiveAc* a = liveAircraft.findHexid(r.hexid)) {
        gf_matchRecord(r, *a);
        return;
    }
    if (lf_sameFlightPresent(r)) return;
    gf_createLiveAc(r);
}

void gf_handleUdpMessages() {
    const auto end = std::chrono::steady_clock::now() + intakeTimePerStep;
    for (size_t i = 0; i < maxRecordsPerStep && std::chrono::steady_clock::now() < end; ++i) {
        std::optional<TrafficRecord> r = lf_takeQueuedRecord();
        if (!r) return;
        gf_takeTrafficRecord(*r);
    }
}

}  // namespace vdl
