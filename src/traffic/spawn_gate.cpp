#include "traffic/spawn_gate.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "liveries/livery_matcher.h"
#include "liveries/match_reports.h"
#include "refdata/dbase.h"
#include "simlink/sim_link.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double radiansPerDegree = 0.017453292519943295;
constexpr double twoPi = 2.0 * pi;
constexpr double userPathNm = 1.5;           // a ground aircraft under the user's path
constexpr double userPathAglFt = 1000.0;
constexpr double userPathSideFt = 500.0;
constexpr double airborneNearNm = 6.0;       // an airborne aircraft crossing the user's way
constexpr double airborneAltFt = 3000.0;
constexpr double airborneSideFt = 4000.0;
constexpr double heldUserSpeedKt = 8.0;
constexpr double heldMinDistanceNm = 500.0 / metresPerNm;
constexpr double userGroundSafetyNm = 0.08099352051835854;  // 150 m
constexpr double farthestMarginNm = 0.1;

LatLon lf_pos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_userPos() { return {userAc.latitude, userAc.longitude}; }

// The first point is dropped: the stream moves on while the aircraft waits.
void lf_dropFirst(LiveAc& ac) { ac.stream.pop_front(); }

bool lf_userOnGround() { return userOnGround.load().value != 0; }

// Ground aircraft: not created under the user's approach or departure path. A new aircraft has
// no simulator position yet, so its first point stands for it.
bool lf_underUserPath(const LiveAc& ac) {
    const LatLon at = (ac.lat == 0.0 && ac.lon == 0.0) ? lf_pos(ac.stream.front()) : LatLon{ac.lat, ac.lon};
    const double d = gf_distanceNm(lf_userPos(), at);
    if (d > userPathNm || userAc.altAboveGround >= userPathAglFt) return false;
    const double off = std::fabs(gf_angleDiff(userAc.heading, gf_bearing(lf_userPos(), at)));
    return d * std::sin(off) * feetPerNm <= userPathSideFt;
}

// Airborne aircraft near the user on a course that passes close to the user. A new aircraft has
// no course yet; its first point's track is its course.
bool lf_crossesUser(const LiveAc& ac) {
    const StreamPos& f = ac.stream.front();
    const double d = gf_distanceNm(lf_userPos(), lf_pos(f));
    if (d > airborneNearNm || std::fabs(f.alt - userAc.altitude) >= airborneAltFt) return false;
    const double course = f.track * radiansPerDegree;
    return d * std::fabs(std::sin(course - gf_bearing(lf_userPos(), lf_pos(f)))) * feetPerNm <= airborneSideFt;
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
    if (heading >= twoPi) heading -= twoPi;
    if (heading < 0.0) heading += twoPi;
    return heading;
}

void lf_spawn(LiveAc& ac) {
    if (ac.stream.size() < 2) {
        gf_logError(fmt::format("{} sz:{}", "spawnLiveAc", ac.stream.size()));
        return;
    }
    StreamPos& first = ac.stream[0];
    StreamPos& second = ac.stream[1];
    if (second.stop) {
        first.stop = 1;
        first.speed = 0.0;
        second.speed = 0.0;
        if (ac.stream.size() > 2 && ac.stream[2].stop) ac.stream[2].speed = 0.0;
    } else {
        first.stop = 0;
    }
    if (ac.groundState == gsNew) {
        if (!gf_liveryLookup(ac)) {
            gf_addNoMatchKey(gf_airlModelRegKey(ac.identity));
            ac.erase = 1;
            return;
        }
        // A stand at the park airport for an aircraft standing still (nearestFreeStand, the
        // stand claims and the cargo check learnCargoStand) comes with the parking issue; until
        // then no stand is found.
        ac.groundState = first.airborne ? gsAirborne : gsTaxi;
        ac.prevGroundState = gsNew;
    }
    createdFollowUps.push_back(ac.identity.hexid);

    const StreamPos& f = ac.stream.front();
    if (f.airborne) {
        double v = std::min(f.vs, 2400.0);
        if (v < 0.0) v = std::max(v, -3000.0) / 2.0;
        ac.pitch = -0.05235987755982989 - v / 600.0 * 2.2 * radiansPerDegree;
    } else {
        ac.pitch = 0.010471975511965976;
    }
    ac.bank = f.bankValid ? f.bank : 0.0;
    ac.lat = f.lat;
    ac.lon = f.lon;
    ac.alt = f.alt;
    ac.vsFps = f.vs / 60.0;  // ft/min in the stream, ft/s toward the simulator
    ac.tas = f.tas;

    double heading = 0.0;
    if (ac.spawnHeadingSet)
        heading = ac.spawnHeading;
    else if (ac.groundState == gsParked)
        heading = ac.standHeading;
    else if (ac.stream[1].stop)
        heading = f.track * radiansPerDegree;
    else
        heading = gf_bearing(lf_pos(f), lf_pos(ac.stream[1]));
    ac.heading = lf_normalised(heading);
    ac.legBearing = f.airborne ? 0.0 : ac.heading;

    ac.state = acStateCreating;
    ac.heldForUser = 0;
    pendingSpawns.push_back(ac.identity.hexid);
    if (!ac.identity.callsign.empty() && ac.identity.callsign.back() == '_') return;
    gf_removeGhostOf(ac.identity.callsign);
}

void lf_gate(LiveAc& ac) {
    if (ac.erase) return;  // already dropped or removed: it must not be created any more
    if (ac.stream.empty()) {
        ac.erase = 1;
        return;
    }
    const uint32_t clock = clock100.load();
    {
        const StreamPos& f = ac.stream.front();
        const uint32_t lead = (!f.airborne && f.speed != 0.0) ? spawnLeadMoving : spawnLeadOther;
        if (static_cast<int32_t>(clock - (f.time - lead)) < 0) return;
    }
    if (ac.stream.size() == 1) {
        ac.erase = 1;
        return;
    }
    const std::string& cs = ac.identity.callsign;
    if (!cs.empty() && cs.back() == '_' &&
        std::find(ghostCallsigns.begin(), ghostCallsigns.end(), cs) != ghostCallsigns.end()) {
        ac.erase = 1;
        return;
    }
    if (lf_mixedStream(ac)) return lf_dropFirst(ac);

    const StreamPos& f = ac.stream.front();
    if (!lf_userOnGround()) {
        if (COLLISION_USER_AIR.value()) {
            if (!f.airborne) {
                if (ac.heldForUser) return lf_dropFirst(ac);
                if (lf_underUserPath(ac)) {
                    ac.heldForUser = 1;
                    return lf_dropFirst(ac);
                }
            } else if (lf_crossesUser(ac)) {
                ac.heldForUser = 1;
                return lf_dropFirst(ac);
            }
        }
    } else {
        bool groundTest = !f.airborne;
        if (ac.heldForUser) {
            const double userSpeed = userAc.groundVelocity;
            const bool airPasses = userSpeed <= heldUserSpeedKt && f.airborne;
            const bool groundPasses = userSpeed <= heldUserSpeedKt && !f.airborne && f.speed <= heldUserSpeedKt &&
                                      gf_distanceNm(lf_userPos(), lf_pos(f)) >= heldMinDistanceNm;
            if (!airPasses && !groundPasses) return lf_dropFirst(ac);
            groundTest = groundPasses;
        }
        if (groundTest && COLLISION_USER_GND.value() && gf_distanceNm(lf_userPos(), lf_pos(f)) < userGroundSafetyNm)
            return lf_dropFirst(ac);
    }

    if (liveCreateQueue.size() > maxQueuedLiveCreates && ac.groundState == gsNew) return lf_dropFirst(ac);

    const int32_t maxLive = MAX_LIVE.value();
    if (maxLive != -1) {
        const size_t busy = gf_countActiveLiveAc() + pendingSpawns.size() + liveCreateQueue.size();
        if (static_cast<size_t>(maxLive) <= busy &&
            gf_removeFarthest(gf_distanceNm(lf_userPos(), lf_pos(ac.stream.front())))) {
            ac.erase = 1;
            return;
        }
    }
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && blocked == ac.identity.callsign) {
        ac.erase = 1;
        return;
    }
    lf_applyRegistration(ac);
    if (!gf_validCallsign(ac.identity)) {
        ac.erase = 1;
        return;
    }
    if (ac.identity.airl.empty()) ac.identity.airl = gf_airlineOfCallsign(ac.identity.callsign).value_or("PVT");
    if (lf_noMatchListed(ac.identity)) {
        ac.erase = 1;
        return;
    }
    if (gf_ghostPresent(ac.identity.callsign)) {
        ac.erase = 1;
        return;
    }
    spawnLiveAc(ac);
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
        if (ac.state != acStateActive) continue;
        const double e = gf_distanceNm(lf_userPos(), {ac.lat, ac.lon});
        if (e > best + farthestMarginNm) {
            candidate = &ac;
            best = e;
        }
    }
    if (candidate == nullptr) return true;
    removeAircraftFromSim(*candidate);
    return false;
}

void spawnLiveAc(LiveAc& ac) {
    try {
        lf_spawn(ac);
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "spawnLiveAc", e.what()));
        throw;
    }
}

void updateBufferAc(LiveAc& ac) {
    try {
        lf_gate(ac);
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "updateBufferAc", e.what()));
    }
}

}  // namespace vdl
