#include "traffic/traffic_step.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "feed/rt_link.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "simlink/sim_guard.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/intake.h"
#include "traffic/movement.h"
#include "traffic/removal.h"
#include "traffic/sim_replies.h"
#include "traffic/spawn_gate.h"
#include "traffic/static_placing.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

// Point times are compared as signed values so that the clock's wrap-around does not matter.
bool lf_isDue(uint32_t clock, uint32_t time) { return static_cast<int32_t>(clock - time) >= 0; }

// An object created in the air flies from its binding on; its switches still wait for the
// follow-up. One created on the ground stands until then.
bool lf_flies(const LiveAc& ac) {
    if (ac.state == AcState::active) return true;
    return ac.state == AcState::creating && ac.objectId != 0 && !ac.erase && !ac.onGround && !ac.stream.empty();
}

void lf_updateActive(LiveAc& ac, uint32_t clock) {
    if (ac.stream.empty()) {
        gf_logError(fmt::format(
            "lf_updateActive stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
            gf_acInfo(ac.identity), ac.identity.hexid, ac.objectId, ac.alt, fmt::format("{:.6f},{:.6f}", ac.lat, ac.lon),
            ac.tas));
        removeAircraftFromSim(ac, "no position left");
        return;
    }
    if (lf_isDue(clock, ac.stream.front().time)) {
        nextPosMain(ac);
        ac.vsFps = fpmToFps(ac.targetVs);
        // Two points far apart in little time ask for a speed no aircraft has: the object still
        // gets there, but tells the simulator no more than the fastest airspeed.
        ac.tas = gf_movesThisStep(ac) ? std::clamp(ac.targetTas, -simMaxSpeedKt, simMaxSpeedKt) : 0.0;
    }
    if (!lf_flies(ac)) return;
    const double altBefore = ac.alt;
    if (gf_movesThisStep(ac)) stepPosition(ac);
    // Rotating and lifting off, the object climbs as it really does, not as the data's leg says.
    if (ac.groundState == GroundState::climbOut) ac.vsFps = (ac.alt - altBefore) * clockUnitsPerSecond;
    if (ac.objectId != 0) {
        // Rolling or standing, the object does not sink or climb.
        const double vsFps = ac.onGround ? 0.0 : ac.vsFps;
        gf_updateAircraft(PositionUpdate{ac.lat, ac.lon, ac.pitch, ac.bank, ac.heading, ac.alt, vsFps, ac.tas,
                                         ac.objectId});
        return;
    }
    gf_logError(fmt::format("lf_updateActive objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", ac.identity.hexid,
                            ac.identity.callsign, ac.identity.reg, gf_airlModelKey(ac.identity), ac.stream.size()));
    removeAircraftFromSim(ac, "no object id");
}

// Swaps the position buffers with the link. At low frame rates a busy link costs this step's
// positions rather than the step's time; above that the step waits.
void lf_handOverPositions() {
    std::unique_lock lock(simMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (simFrameRate.load() <= dropPositionsUpToFps) {
            positionWriteBuffer.clear();
            return;
        }
        lock.lock();
    }
    gf_swapPositionBuffers(lock);
}

// Steps 10 ms apart find the records out of the cache, and an aircraft whose next point is not
// due does little work: the loop waits on memory. The lines an update reads (the identity's hot
// values and the state at the end of the base, the curve's flag to the stream's first point in
// LiveAc) are fetched some aircraft ahead.
constexpr size_t prefetchAhead = 8;
constexpr size_t cacheLine = 64;

void lf_prefetchRecord(const LiveAc& ac) {
    __builtin_prefetch(&ac.identity.groundPitch);
    __builtin_prefetch(&ac.erase);
    // Past the curve's payload: only a curve reads it.
    const auto* p = reinterpret_cast<const char*>(&ac.curve) + sizeof(BezierCurve);
    const auto* end = reinterpret_cast<const char*>(&ac.stream.front().headingValid) + 1;
    for (; p < end; p += cacheLine) __builtin_prefetch(p);
    __builtin_prefetch(end - 1);
    // A rolling aircraft's speed and path, after the hot fields.
    __builtin_prefetch(&ac.curveT);
    __builtin_prefetch(&ac.pathBearingKnown);
}

void lf_updateAllLiveAc() {
    try {
        bool anyErase = false;
        // By index: an update may append to the list.
        for (size_t i = 0; i < liveAircraft.size(); ++i) {
            if (i + prefetchAhead < liveAircraft.size()) lf_prefetchRecord(liveAircraft[i + prefetchAhead]);
            if (updateLiveAc(liveAircraft[i])) anyErase = true;
        }
        if (anyErase) liveAircraft.eraseFlagged();
        lf_handOverPositions();
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        gf_log(fmt::format("lf_updateAllLiveAc: {}", e.what()));
    }
}

// Every item is taken off its list before it is handed on, so one that throws is not met again.
void lf_handOverRemoval(uint32_t clock) {
    if (clock % removalEvery != 0 || removalQueue.empty()) return;
    const uint32_t objectId = removalQueue.front();
    removalQueue.pop_front();
    std::lock_guard lock(simMutex);
    simRemovalIds.push_back(objectId);
}

void lf_handOverCreate(uint32_t clock) {
    if (clock % createEvery != 0) return;
    if (!liveCreateQueue.empty()) {
        CreateAcCmd cmd = std::move(liveCreateQueue.front());
        liveCreateQueue.pop_front();
        gf_queueCreateAc(cmd);
    } else if (!staticCreateQueue.empty()) {
        CreateAcCmd cmd = std::move(staticCreateQueue.front());
        staticCreateQueue.pop_front();
        gf_queueCreateAc(cmd);
    }
    // Statics wait while any live create does: live traffic comes first.
    if (liveCreateQueue.empty() && !staticCandidates.empty()) gf_parkStatic();
}

void lf_buildCreateCommand() {
    if (pendingSpawns.empty()) return;
    const uint32_t hexid = pendingSpawns.back();
    pendingSpawns.pop_back();
    LiveAc* found = liveAircraft.findHexid(hexid);
    if (found == nullptr) return;
    LiveAc& ac = *found;
    if (ac.identity.callsign.empty()) {
        gf_logError(fmt::format("lf_buildCreateCommand {} objectid = 0?", gf_acInfo(ac.identity)));
        return;
    }
    CreateAcCmd cmd;
    // A ground record carries no altitude: the simulator puts the object on its own ground.
    const uint32_t onGround = !ac.stream.empty() && !ac.stream.front().airborne ? 1 : 0;
    // An airborne record below the ground (a QNH error, another elevation in the scenery) is
    // created no lower than the ground the user stands or flies over; the created notice then
    // tells the ground under the object itself.
    if (!onGround && userOnGround.load().known && userAc.altAboveGround >= 0.0)
        ac.alt = std::max(ac.alt, userAc.altitude - userAc.altAboveGround + gf_standingAgl(ac));
    cmd.initPosition = SimInitPosition{ac.lat, ac.lon, ac.alt, radToDeg(ac.pitch), radToDeg(ac.bank),
                                       radToDeg(ac.heading), onGround, 0};
    cmd.tailNumber = ac.identity.callsign;
    cmd.title = ac.identity.title;
    cmd.hexid = hexid;
    liveCreateQueue.push_back(std::move(cmd));
}

void lf_requestInRange(uint32_t clock) {
    if (clock % inRangeEvery != 0 || simStopped.load()) return;
    const auto radius = static_cast<uint32_t>(lateralRangeMeters.load());
    bool failed = false;
    {
        std::lock_guard lock(simMutex);
        failed = SimConnect_RequestDataOnSimObjectType(hSimConnect, REQUEST_IN_RANGE, DEF_IN_RANGE, radius,
                                                       SimObjectType::Aircraft) < 0;
    }
    // The failure takes the window's lock and may end the run: only with simMutex let go.
    if (failed) {
        gf_logError("lf_requestInRange: SimConnect request ac within range fails");
        gf_simConnectRequestFailed();
    }
}

void lf_refreshUserData(uint32_t clock) {
    if (clock % userDataEvery != 0) return;
    gf_sendUserAcState();
    userAc = gf_getUserAcData();
}

}  // namespace

bool updateLiveAc(LiveAc& ac) {
    try {
        switch (ac.state) {
            case AcState::fresh:
                updateBufferAc(ac);
                break;
            case AcState::active:
                lf_updateActive(ac, clock100.load());
                break;
            case AcState::creating:
                if (lf_flies(ac)) lf_updateActive(ac, clock100.load());
                break;
            default:
                break;
        }
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("updateLiveAc: {} {}, sz:{}", e.what(), gf_acInfo(ac.identity), ac.stream.size()));
    }
    return ac.erase;
}

void gf_updateAI() {
    try {
        const uint32_t clock = clock100.load();
        gf_SimCommands();
        lf_updateAllLiveAc();
        lf_handOverRemoval(clock);
        lf_handOverCreate(clock);
        gf_handleUdpMessages();
        lf_buildCreateCommand();
        lf_requestInRange(clock);
        lf_refreshUserData(clock);
        clock100.fetch_add(1);
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        gf_log(fmt::format("gf_updateAI: {}", e.what()));
    }
}

}  // namespace vdl
