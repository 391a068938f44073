#include "traffic/spawn_gate.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>
#include <unordered_set>

#include <fmt/format.h>

#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "liveries/livery_matcher.h"
#include "liveries/match_reports.h"
#include "refdata/dbase.h"
#include "simlink/sim_link.h"
#include "traffic/flight_tables.h"
#include "traffic/parking.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double userPathNm = 1.5;  // a ground aircraft under the user's path
constexpr double userPathAglFt = 1000.0;
constexpr double userPathSideFt = 500.0;
constexpr double airborneNearNm = 6.0;  // an airborne aircraft crossing the user's way
constexpr double airborneAltFt = 3000.0;
constexpr double airborneSideFt = 4000.0;
constexpr double heldUserSpeedKt = 8.0;
constexpr double heldMinDistanceNm = metresToNm(500.0);
constexpr double userGroundSafetyNm = metresToNm(150.0);
constexpr double farthestMarginNm = 0.1;
constexpr double spawnGroundPitchDeg = 0.6;

LatLon lf_gatePos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_userPos() { return {userAc.latitude, userAc.longitude}; }

bool lf_userOnGround() { return userOnGround.load().value != 0; }

bool lf_hasGhostMark(const std::string& cs) { return !cs.empty() && cs.back() == '_'; }

// Ground aircraft: not created under the user's approach or departure path. A new aircraft has
// no simulator position yet, so its first point stands for it.
bool lf_underUserPath(const LiveAc& ac) {
    const LatLon at = (ac.lat == 0.0 && ac.lon == 0.0) ? lf_gatePos(ac.stream.front()) : LatLon{ac.lat, ac.lon};
    const double d = gf_distanceNm(lf_userPos(), at);
    if (d > userPathNm || userAc.altAboveGround >= userPathAglFt) return false;
    const double off = std::fabs(gf_angleDiff(userAc.heading, gf_bearing(lf_userPos(), at)));
    return nmToFeet(d * std::sin(off)) <= userPathSideFt;
}

// Airborne aircraft near the user on a course that passes close to the user. A new aircraft has
// no course yet; its first point's track is its course.
bool lf_crossesUser(const LiveAc& ac) {
    const StreamPos& f = ac.stream.front();
    const double d = gf_distanceNm(lf_userPos(), lf_gatePos(f));
    if (d > airborneNearNm || std::fabs(f.alt - userAc.altitude) >= airborneAltFt) return false;
    const double course = degToRad(f.track);
    return nmToFeet(d * std::fabs(std::sin(course - gf_bearing(lf_userPos(), lf_gatePos(f))))) <= airborneSideFt;
}

bool lf_mixedStream(const LiveAc& ac) {
    bool air = false;
    bool ground = false;
    for (const StreamPos& p : ac.stream) (p.airborne ? air : ground) = true;
    return air && ground;
}

// Registration data: airline, type and cargo flag of a known registration.
void lf_applyRegistration(LiveAc& ac) {
    AcIdentity& id = ac.identity;
    if (id.reg.empty()) return;
    for (const std::string& variant : gf_regVariants(id.reg)) {
        RegcodeData entry;
        if (!gf_findRegcode(variant, &entry)) continue;
        id.airl = entry.opr.empty() ? entry.airl : entry.opr;
        id.type = entry.type;
        id.cargo = entry.cargo ? 1 : 0;
        break;
    }
    if (!gf_validCallsign(id)) id.callsign = id.reg;
}

bool lf_noMatchListed(const AcIdentity& id) {
    const std::string key = gf_airlModelRegKey(id);
    std::lock_guard lock(matchReportMutex);
    return noMatchKeys.contains(key);
}

double lf_normalised(double heading) {
    if (heading >= 2.0 * pi) heading -= 2.0 * pi;
    if (heading < 0.0) heading += 2.0 * pi;
    return heading;
}

// The first point's time less the lead has come.
bool lf_dueForGate(const LiveAc& ac) {
    const StreamPos& f = ac.stream.front();
    const uint32_t lead = (!f.airborne && f.speed != 0.0) ? spawnLeadMoving : spawnLeadOther;
    return static_cast<int32_t>(clock100.load() - (f.time - lead)) >= 0;
}

// A ghost callsign already found out.
bool lf_knownGhost(const LiveAc& ac) {
    const std::string& cs = ac.identity.callsign;
    return lf_hasGhostMark(cs) &&
           std::find(ghostCallsigns.begin(), ghostCallsigns.end(), cs) != ghostCallsigns.end();
}

// The user flies: ground aircraft under the user's path and airborne ones crossing it wait.
bool lf_heldForUserInAir(LiveAc& ac) {
    if (!COLLISION_USER_AIR.value()) return false;
    if (ac.stream.front().airborne) {
        if (!lf_crossesUser(ac)) return false;
        ac.heldForUser = true;
        return true;
    }
    if (ac.heldForUser) return true;
    if (!lf_underUserPath(ac)) return false;
    ac.heldForUser = true;
    return true;
}

// The user is on the ground: an aircraft held before waits until the user stands still (and, on
// the ground, until it stands itself and far enough away); ground aircraft keep a safety distance.
bool lf_heldForUserOnGround(const LiveAc& ac) {
    const StreamPos& f = ac.stream.front();
    bool groundTest = !f.airborne;
    if (ac.heldForUser) {
        const double userSpeed = userAc.groundVelocity;
        const bool airPasses = userSpeed <= heldUserSpeedKt && f.airborne;
        const bool groundPasses = userSpeed <= heldUserSpeedKt && !f.airborne && f.speed <= heldUserSpeedKt &&
                                  gf_distanceNm(lf_userPos(), lf_gatePos(f)) >= heldMinDistanceNm;
        if (!airPasses && !groundPasses) return true;
        groundTest = groundPasses;
    }
    return groundTest && COLLISION_USER_GND.value() && gf_distanceNm(lf_userPos(), lf_gatePos(f)) < userGroundSafetyNm;
}

bool lf_heldForUser(LiveAc& ac) { return lf_userOnGround() ? lf_heldForUserOnGround(ac) : lf_heldForUserInAir(ac); }

// The simulator reports only objects within the in-range radius, and an object it never reports
// is never taken over and flown: an aircraft farther out waits until it comes within range.
bool lf_outsideInRange(const LiveAc& ac) {
    return gf_distanceNm(lf_userPos(), lf_gatePos(ac.stream.front())) > lateralRangeNm.load();
}

// Too many live creates are queued for a first spawn.
bool lf_createQueueFull(const LiveAc& ac) {
    return liveCreateQueue.size() > maxQueuedLiveCreates && ac.groundState == GroundState::fresh;
}

// With MAX_LIVE reached, the farthest active aircraft makes way; true when the new one is the
// farthest itself.
bool lf_overMaxLive(const LiveAc& ac) {
    const int32_t maxLive = MAX_LIVE.value();
    if (maxLive == -1) return false;
    const size_t busy = gf_countActiveLiveAc() + pendingSpawns.size() + liveCreateQueue.size();
    return static_cast<size_t>(maxLive) <= busy &&
           gf_removeFarthest(gf_distanceNm(lf_userPos(), lf_gatePos(ac.stream.front())));
}

// Aircraft dropped for lack of a callsign, each logged once; bounded against a flood of hexids.
std::unordered_set<uint32_t> droppedWithoutCallsign;
constexpr size_t maxDroppedWithoutCallsign = 1000;

void lf_logNoCallsign(const AcIdentity& id) {
    if (droppedWithoutCallsign.size() >= maxDroppedWithoutCallsign) droppedWithoutCallsign.clear();
    if (!droppedWithoutCallsign.insert(id.hexid).second) return;
    static LogLimiter noCallsignLog("lf_identityPasses");
    noCallsignLog.log(fmt::format("hexid {} ({}) dropped: no valid callsign and no registration", id.hexid,
                                  id.type.empty() ? "no type" : id.type));
}

// Callsign, registration data, airline, livery and ghost rules; false drops the aircraft.
bool lf_identityPasses(LiveAc& ac) {
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && blocked == ac.identity.callsign) return false;
    lf_applyRegistration(ac);
    if (!gf_validCallsign(ac.identity)) {
        lf_logNoCallsign(ac.identity);
        return false;
    }
    if (ac.identity.airl.empty()) ac.identity.airl = gf_airlineOfCallsign(ac.identity.callsign).value_or("PVT");
    if (lf_noMatchListed(ac.identity)) return false;
    return !gf_ghostPresent(ac.identity.callsign);
}

void lf_gate(LiveAc& ac) {
    if (ac.erase) return;  // already dropped or removed: it must not be created any more
    if (ac.stream.empty()) {
        ac.erase = true;
        return;
    }
    if (!lf_dueForGate(ac)) return;
    if (ac.stream.size() == 1 || lf_knownGhost(ac)) {
        ac.erase = true;
        return;
    }
    // The first point is dropped while the aircraft waits: the stream moves on.
    if (lf_mixedStream(ac) || lf_outsideInRange(ac) || lf_heldForUser(ac) || lf_createQueueFull(ac)) {
        ac.stream.pop_front();
        return;
    }
    if (lf_overMaxLive(ac) || !lf_identityPasses(ac)) {
        ac.erase = true;
        return;
    }
    spawnLiveAc(ac);
}

// Stops: when the second point is one, the aircraft starts standing.
void lf_spawnStops(LiveAc& ac) {
    StreamPos& first = ac.stream[0];
    StreamPos& second = ac.stream[1];
    if (!second.stop) {
        first.stop = 0;
        return;
    }
    first.stop = 1;
    first.speed = 0.0;
    second.speed = 0.0;
    if (ac.stream.size() > 2 && ac.stream[2].stop) ac.stream[2].speed = 0.0;
}

// Position, attitude and speeds at the first point.
void lf_spawnAttitude(LiveAc& ac) {
    const StreamPos& f = ac.stream.front();
    if (f.airborne) {
        double v = std::min(f.vs, maxAttitudeClimbFpm);
        if (v < 0.0) v = std::max(v, maxAttitudeDescentFpm) / 2.0;
        ac.pitch = degToRad(levelPitchDeg) - degToRad(v / pitchVsStepFpm * pitchPerVsStepDeg);
    } else {
        ac.pitch = degToRad(spawnGroundPitchDeg);
    }
    ac.bank = f.bankValid ? f.bank : 0.0;
    ac.lat = f.lat;
    ac.lon = f.lon;
    ac.alt = f.alt;
    ac.vsFps = fpmToFps(f.vs);
    ac.tas = f.tas;
    // On the ground it stands until it is active, then starts from rest; in the air it flies on
    // at its first leg's speed.
    ac.groundStepM = f.airborne ? -1.0 : 0.0;
}

// The heading at creation: a respawn keeps its own, a parked aircraft the stand's, one on the
// ground the true heading of its record when it has one (pushed back, it moves against it),
// else one standing its track, a moving one the course to the second point.
double lf_spawnHeading(const LiveAc& ac) {
    const StreamPos& f = ac.stream.front();
    if (ac.spawnHeadingSet) return ac.spawnHeading;
    if (ac.groundState == GroundState::parked) return ac.standHeading;
    if (!f.airborne && f.headingValid) return f.trueHeading;
    if (ac.stream[1].stop) return degToRad(f.track);
    return gf_bearing(lf_gatePos(f), lf_gatePos(ac.stream[1]));
}

}  // namespace

bool gf_liveryLookup(LiveAc& ac) {
    AcIdentity& id = ac.identity;
    if (!id.title.empty()) return true;
    if (auto it = liveryByHexid.find(id.hexid); it != liveryByHexid.end()) {
        if (!gf_isUncreatable(it->second)) {
            id.title = it->second;
            id.fsltl = id.title.find("FSLTL_") != std::string_view::npos ? 1 : 0;
            return true;
        }
        liveryByHexid.erase(it);
    }
    gf_matchLivery(id);
    if (id.title.empty()) return false;
    liveryByHexid[id.hexid] = id.title;
    return true;
}

bool gf_removeFarthest(double d0) {
    double best = d0;
    LiveAc* candidate = nullptr;
    for (LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active) continue;
        const double e = gf_distanceNm(lf_userPos(), {ac.lat, ac.lon});
        if (e > best + farthestMarginNm) {
            candidate = &ac;
            best = e;
        }
    }
    if (candidate == nullptr) return true;
    removeAircraftFromSim(*candidate, "the farthest from the user, over the live maximum");
    return false;
}

void spawnLiveAc(LiveAc& ac) {
    if (ac.stream.size() < 2) {
        gf_logError(fmt::format("spawnLiveAc sz:{}", ac.stream.size()));
        return;
    }
    lf_spawnStops(ac);
    if (ac.groundState == GroundState::fresh) {
        if (!gf_liveryLookup(ac)) {
            gf_addNoMatchKey(gf_airlModelRegKey(ac.identity), gf_noMatchReason(ac.identity));
            ac.erase = true;
            return;
        }
        const SpawnStand placed = ac.stream.front().airborne ? SpawnStand::none : gf_standAtSpawn(ac);
        if (placed == SpawnStand::waits) {
            ac.stream.pop_front();
            return;
        }
        if (placed == SpawnStand::dropped) {
            ac.erase = true;
            return;
        }
        // The user's stand refused, it taxis as without a stand: left new, it would never move.
        if (placed != SpawnStand::parked) {
            ac.groundState = ac.stream.front().airborne ? GroundState::airborne : GroundState::taxi;
            ac.prevGroundState = GroundState::fresh;
        }
    }
    createdFollowUps.push_back(ac.identity.hexid);
    lf_spawnAttitude(ac);
    ac.heading = lf_normalised(lf_spawnHeading(ac));
    ac.legBearing = ac.stream.front().airborne ? 0.0 : ac.heading;
    ac.state = AcState::creating;
    ac.heldForUser = false;
    pendingSpawns.push_back(ac.identity.hexid);
    if (lf_hasGhostMark(ac.identity.callsign)) return;
    gf_removeGhostOf(ac.identity.callsign);
}

void gf_forgetDroppedWithoutCallsign() { droppedWithoutCallsign.clear(); }

void updateBufferAc(LiveAc& ac) {
    try {
        lf_gate(ac);
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        gf_log(fmt::format("updateBufferAc: {}", e.what()));
    }
}

}  // namespace vdl
