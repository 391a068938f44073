#include "traffic/sim_replies.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "foundation/time.h"
#include "foundation/units.h"
#include "foundation/utf8_path.h"
#include "liveries/match_reports.h"
#include "refdata/airport_refs.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_link.h"
#include "traffic/movement.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double staticCgMinFt = 1.0;
constexpr double staticCgMaxFt = 35.0;
constexpr double staticPitchLow = degToRad(-1.0);
constexpr double staticPitchHigh = degToRad(2.5);
constexpr double staticPitchDefault = degToRad(0.7);
constexpr double lightsAltFt = 10000.0;
constexpr double cabinAglFt = 2000.0;
// The AI controls at touchdown: spoiler handle up and both throttle levers in reverse (FSLTL
// models take the reverse the other way round).
constexpr double touchdownSpoilerHandle = 100.0;
constexpr double touchdownReverseLever = 100.0;
constexpr int32_t cabinLightsInTen = 9;  // with RANDOM, parked aircraft have cabin lights in 9 of 10

bool lf_isRotorcraft(const AiAircraft& ac) { return ac.identity.category == AircraftCategory::Rotorcraft; }

// Moves the last record into the erased one's place.
template <typename T>
void lf_eraseUnordered(std::vector<T>& list, T* record) {
    const auto i = static_cast<size_t>(record - list.data());
    if (i + 1 != list.size()) list[i] = std::move(list.back());
    list.pop_back();
}

void lf_eraseUnordered(LiveAcList& list, LiveAc* record) { list.eraseUnordered(record); }

// An object nobody wants any more (its record is gone): out of the simulator with it.
void lf_removeStrayObject(uint32_t objectId) {
    if (objectId < firstAiObjectId) return;
    if (LOG.value()) gf_log(fmt::format("object {} has no aircraft, removed", objectId));
    removalQueue.push_back(objectId);
}

void lf_setThrottle(AiAircraft& ac, uint32_t step) {
    if (ac.throttleStep == step) return;
    gf_queueClientEvent(ac.objectId, THROTTLE_SET, throttleValues[step]);
    ac.throttleStep = step;
}

void lf_setFlaps(AiAircraft& ac, uint32_t step) {
    if (ac.flapsStep == step) return;
    gf_queueClientEvent(ac.objectId, FLAPS_SET, flapsValues[step]);
    ac.flapsStep = step;
}

struct Lights {
    uint32_t nav, beacon, landing, taxi, strobes, logo, cabin;
};

// One group of light events, in the order the simulator expects them.
void lf_sendLights(uint32_t objectId, const Lights& l) {
    SimLock lock(simMutex);
    gf_pushClientEvent(lock, objectId, NAV_LIGHTS_SET, l.nav);
    gf_pushClientEvent(lock, objectId, BEACON_LIGHTS_SET, l.beacon);
    gf_pushClientEvent(lock, objectId, LANDING_LIGHTS_SET, l.landing);
    gf_pushClientEvent(lock, objectId, TAXI_LIGHTS_SET, l.taxi);
    gf_pushClientEvent(lock, objectId, STROBES_SET, l.strobes);
    gf_pushClientEvent(lock, objectId, LOGO_LIGHTS_SET, l.logo);
    gf_pushClientEvent(lock, objectId, CABIN_LIGHTS_SET, l.cabin);
}

void lf_flightPlan(LiveAc& ac) {
    const AcIdentity& id = ac.identity;
    if (id.origin.empty() || id.dest.empty()) return;
    FlightPlanData plan;
    const auto airport = [](const std::string& code) {
        FlightPlanAirport a;
        a.code = code;
        if (auto ref = gf_findAirportRef(code)) {
            a.positionKnown = true;
            a.latitude = ref->lat;
            a.longitude = ref->lon;
            a.elevation = ref->elev;
        }
        return a;
    };
    plan.departure = airport(id.origin);
    plan.destination = airport(id.dest);
    plan.cruisingAltitude = ac.alt;
    const std::filesystem::path path = gf_flightPlanFolder() / gf_flightPlanFileName(ac.objectId);
    bool set = false;
    if (gf_writeFlightPlan(path, plan)) {
        if (MSFS_2020.value()) {
            std::lock_guard lock(simMutex);
            set = SimConnect_AISetAircraftFlightPlan(hSimConnect, ac.objectId, gf_utf8FromPath(path), REQUEST_FLIGHT_PLAN) >= 0;
        } else {
            set = true;
        }
    }
    if (set) {
        ac.planSet = true;
        return;
    }
    gf_logError(fmt::format("lf_flightPlan: {} creating a flight plan failed", gf_acShortInfo(id)));
    ac.planSet = false;
}

// What the notices call for that takes the window's lock or may end the run: done by
// gf_SimCommands once replyMutex is let go.
struct AfterReplies {
    bool requestFailed = false;
    std::vector<AcIdentity> uncreatable;
};

void lf_requestStaticCg(uint32_t objectId, AfterReplies& after) {
    std::lock_guard lock(simMutex);
    if (SimConnect_RequestDataOnSimObject(hSimConnect, REQUEST_STATIC_CG, DEF_STATIC_CG, objectId, SimPeriod::Once) <
        0) {
        gf_logError("lf_requestStaticCg: SimConnect request StaticCG fails");
        after.requestFailed = true;
    }
}

// A live object was created: bookkeeping, gear, plan and the Static CG request. True when its
// follow-up is to run.
bool lf_liveCreated(LiveAc& ac, const SimReply& n, AfterReplies& after) {
    if (n.objectId < firstAiObjectId) return false;
    ac.objectId = n.objectId;
    ac.aglFt = n.b;
    ac.groundElevFt = n.a;
    ac.groundElevKnown = true;
    if (!ac.stream.empty() && !ac.stream.front().airborne) {
        ac.onGround = true;
        // The notice carries the ground's altitude under the object: it stands on it from the
        // first position on.
        ac.alt = n.a + ac.identity.staticCgHeight;
        if (!lf_isRotorcraft(ac)) gf_queueClientEvent(ac.objectId, GEAR_SET, 1);
        ac.altRate = 0.0;
        if (ac.groundState == GroundState::parked) {
            ac.parkSlot = nowSlot.load();
            if (LOG.value())
                gf_log(fmt::format("{:8}: {:8} parks", gf_standNameById(ac.standId), ac.identity.callsign));
            std::erase_if(staticCandidates, [&](const StaticCandidate& c) { return c.standId == ac.standId; });
        }
        ac.configCountdown = 1;
    }
    lf_flightPlan(ac);
    lf_requestStaticCg(ac.objectId, after);
    return true;
}

// Removed while its creation was under way: the new object goes out again at once.
bool lf_removedWhileCreating(AiAircraft* ac, const SimReply& n) {
    if (ac == nullptr || ac->erase || ac->state != AcState::removed || !ac->removeWhenCreated || ac->objectId != 0)
        return false;
    ac->removeWhenCreated = false;
    ac->objectId = n.objectId;
    if (n.objectId >= firstAiObjectId)
        removalQueue.push_back(n.objectId);
    else
        ac->erase = true;
    return true;
}

void lf_onLiveCreated(const SimReply& n, AfterReplies& after, const std::unique_lock<std::mutex>&) {
    LiveAc* ac = gf_findLiveAcByHexid(n.hexid);
    if (lf_removedWhileCreating(ac, n)) return;
    // Hexids come back: only the record waiting for this creation takes the object.
    if (ac == nullptr || ac->erase || ac->state != AcState::creating || ac->objectId != 0) {
        lf_removeStrayObject(n.objectId);
        return;
    }
    if (lf_liveCreated(*ac, n, after)) switchFollowUps.push_back({n.objectId, n.hexid, static_cast<int32_t>(n.value), 0});
}

void lf_onStaticCreated(const SimReply& n, const std::unique_lock<std::mutex>&) {
    AiAircraft* ac = gf_findStaticAcByHexid(n.hexid);
    if (lf_removedWhileCreating(ac, n)) return;
    if (ac == nullptr || ac->erase || ac->state != AcState::creating || ac->objectId != 0 ||
        n.objectId < firstAiObjectId) {
        lf_removeStrayObject(n.objectId);
        return;
    }
    // Bound now, so that a removal before its follow-up ends reaches the object.
    ac->objectId = n.objectId;
    switchFollowUps.push_back({n.objectId, n.hexid, static_cast<int32_t>(n.value), 1});
}

void lf_onRemoved(const SimReply& n, const std::unique_lock<std::mutex>&) {
    // Follow-ups of the object end with it.
    for (SwitchFollowUp& e : switchFollowUps)
        if (e.objectId == n.objectId) e.counter = -1;
    if (LiveAc* ac = gf_findLiveAcByObjectId(n.objectId)) {
        if (ac->state == AcState::replacing) {
            ac->state = AcState::fresh;
            ac->throttleStep = throttleStepNone;
            ac->flapsStep = flapsStepNone;
            ac->objectId = 0;
            return;
        }
        if (ac->planSet) {
            std::error_code ec;
            const auto path = gf_flightPlanFolder() / gf_flightPlanFileName(ac->objectId);
            if (std::filesystem::exists(path, ec)) std::filesystem::remove(path, ec);
        }
        lf_eraseUnordered(liveAircraft, ac);
        return;
    }
    if (AiAircraft* ac = gf_findStaticAcByObjectId(n.objectId)) lf_eraseUnordered(staticAircraft, ac);
}

void lf_onInRangeLow(const SimReply& n) {
    LiveAc* ac = gf_findLiveAcByObjectId(n.objectId);
    if (ac == nullptr) return;
    if (n.hexid == 1 && !ac->onGround && ac->configCountdown < 2) gf_touchdown(*ac);
    ac->aglFt = n.b;
    ac->groundElevFt = n.a;
    ac->groundElevKnown = true;
    if (ac->onGround || ac->configCountdown >= 2) ac->alt = ac->identity.staticCgHeight + n.a;
}

void lf_onStaticCg(const SimReply& n) {
    LiveAc* ac = gf_findLiveAcByObjectId(n.objectId);
    if (ac == nullptr) return;
    if (n.a >= staticCgMinFt && n.a <= staticCgMaxFt)
        ac->identity.staticCgHeight = n.a;
    else if (LOG.value())
        gf_logError(fmt::format("lf_onStaticCg: {}: static CG {:.1F}ft wrong?", gf_acInfo(ac->identity), n.a));
    ac->identity.staticPitch = (n.b <= staticPitchLow || n.b > staticPitchHigh) ? staticPitchDefault : n.b;
}

void lf_onCreationFailed(const SimReply& n, AfterReplies& after) {
    if (gf_isLiveHexid(n.hexid)) {
        LiveAc* ac = gf_findLiveAcByHexid(n.hexid);
        if (ac == nullptr || (ac->state != AcState::creating && ac->state != AcState::removed) || ac->objectId != 0) return;
        after.uncreatable.push_back(ac->identity);
        lf_eraseUnordered(liveAircraft, ac);
        return;
    }
    AiAircraft* ac = gf_findStaticAcByHexid(n.hexid);
    if (ac == nullptr || ac->objectId != 0) return;
    after.uncreatable.push_back(ac->identity);
    lf_eraseUnordered(staticAircraft, ac);
}

void lf_handle(const SimReply& n, AfterReplies& after, const std::unique_lock<std::mutex>& replyLock) {
    switch (n.kind) {
        case REPLY_LIVE_CREATED: lf_onLiveCreated(n, after, replyLock); break;
        case REPLY_STATIC_CREATED: lf_onStaticCreated(n, replyLock); break;
        case REPLY_REMOVED: lf_onRemoved(n, replyLock); break;
        case REPLY_IN_RANGE_LOW: lf_onInRangeLow(n); break;
        case REPLY_STATIC_CG: lf_onStaticCg(n); break;
        case REPLY_CREATION_FAILED: lf_onCreationFailed(n, after); break;
        default: break;
    }
}

void lf_initialSwitches(LiveAc& ac) {
    const uint32_t id = ac.objectId;
    const bool rotor = lf_isRotorcraft(ac);
    if (!ac.stream.empty() && ac.stream.front().airborne) {
        gf_queueClientEvent(id, ENGINE_AUTO_START);
        if (!rotor) gf_queueClientEvent(id, SPOILERS_SET, spoilersRetracted);
        const uint32_t low = ac.alt <= lightsAltFt ? 1 : 0;
        lf_sendLights(id, {1, 1, low, 0, 1, low, ac.aglFt >= cabinAglFt ? 1u : 0u});
    } else {
        if (!rotor) gf_queueClientEvent(id, SPOILERS_SET, spoilersRetracted);
        const bool parked = ac.groundState == GroundState::parked;
        uint32_t nav = 1;
        if (parked) {
            gf_queueClientEvent(id, ENGINE_AUTO_SHUTDOWN);
            nav = NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0;
        } else {
            gf_queueClientEvent(id, ENGINE_AUTO_START);
        }
        lf_sendLights(id, {nav, parked ? 0u : 1u, 0, ac.groundState == GroundState::taxi ? 1u : 0u, 0, 1, 1});
        lf_setThrottle(ac, rotor ? throttleFull : throttleIdle);
        if (!rotor) lf_setFlaps(ac, ac.groundState == GroundState::taxi ? flapsTakeoff : flapsUp);
    }
    ac.state = AcState::active;
}

// The record a follow-up belongs to: same hexid and object, creation not yet finished.
LiveAc* lf_followUpLive(const SwitchFollowUp& e) {
    LiveAc* ac = gf_findLiveAcByHexid(e.hexid);
    if (ac == nullptr || ac->objectId != e.objectId || ac->state != AcState::creating || ac->erase) return nullptr;
    return ac;
}

AiAircraft* lf_followUpStatic(const SwitchFollowUp& e) {
    AiAircraft* ac = gf_findStaticAcByHexid(e.hexid);
    if (ac == nullptr || ac->objectId != e.objectId || ac->state != AcState::creating || ac->erase) return nullptr;
    return ac;
}

void lf_toggleAllLights(uint32_t objectId) {
    std::lock_guard lock(simMutex);
    if (SimConnect_TransmitClientEvent(hSimConnect, objectId, ALL_LIGHTS_TOGGLE, 0, GROUP_AI_EVENTS, 0) < 0)
        gf_logError("lf_toggleAllLights: SimConnect ALL_LIGHTS_TOGGLE fails");
}

// A record waiting for its created or removed notice, and since when. The waits and the sweep
// marks are guarded by replyMutex, as the follow-ups they end.
struct Waiting {
    AcState state = AcState::fresh;
    uint32_t objectId = 0;
    uint32_t since = 0;
};
std::unordered_map<uint32_t, Waiting> waitingByHexid;

uint32_t lastSweep = 0;
bool swept = false;

[[maybe_unused]] bool lf_holdsReplyMutex(const std::unique_lock<std::mutex>& lock) {
    return lock.owns_lock() && lock.mutex() == &replyMutex;
}

// Hexids whose create has not been handed to the simulator link yet: no notice is due for them.
std::unordered_set<uint32_t> lf_queuedCreates() {
    std::unordered_set<uint32_t> queued(pendingSpawns.begin(), pendingSpawns.end());
    for (const CreateAcCmd& c : liveCreateQueue) queued.insert(c.hexid);
    for (const CreateAcCmd& c : staticCreateQueue) queued.insert(c.hexid);
    return queued;
}

// Erases a record whose notice got lost: otherwise it would block its hexid for the whole run.
template <typename T>
bool lf_lostNotice(T& ac, uint32_t clock, const std::unordered_set<uint32_t>& queued,
                   std::unordered_map<uint32_t, Waiting>& seen, const std::unique_lock<std::mutex>&) {
    if (ac.erase || (ac.state != AcState::creating && ac.state != AcState::removed)) return false;
    const uint32_t hexid = ac.identity.hexid;
    if (ac.state == AcState::creating && queued.contains(hexid)) return false;
    Waiting w{ac.state, ac.objectId, clock};
    if (auto it = waitingByHexid.find(hexid);
        it != waitingByHexid.end() && it->second.state == ac.state && it->second.objectId == ac.objectId)
        w.since = it->second.since;
    seen[hexid] = w;
    if (clock - w.since <= lostNoticeAfter) return false;
    gf_logError(fmt::format("lf_lostNotice: no notice for {} in state {}, objectid {}", gf_acInfo(ac.identity),
                            fmt::underlying(ac.state), ac.objectId));
    // A bound object that was never queued for removal goes now; one below the first AI object
    // id was never ours.
    if (ac.state == AcState::creating && ac.objectId >= firstAiObjectId) removalQueue.push_back(ac.objectId);
    for (SwitchFollowUp& e : switchFollowUps)
        if (e.hexid == hexid) e.counter = -1;
    seen.erase(hexid);
    return true;
}

// Once per second of the traffic clock; the clock stands while the simulator does not run.
void lf_checkLostNotices(const std::unique_lock<std::mutex>& replyLock) {
    const uint32_t clock = clock100.load();
    if (clock % lostNoticeSweepEvery != 0 || (swept && clock == lastSweep)) return;
    swept = true;
    lastSweep = clock;
    const std::unordered_set<uint32_t> queued = lf_queuedCreates();
    std::unordered_map<uint32_t, Waiting> seen;
    for (LiveAc& ac : liveAircraft)
        if (lf_lostNotice(ac, clock, queued, seen, replyLock)) ac.erase = true;
    // Static records flagged for erasing (cancelled creates, lost notices) leave their list here.
    for (AiAircraft& ac : staticAircraft)
        if (lf_lostNotice(ac, clock, queued, seen, replyLock)) ac.erase = true;
    std::erase_if(staticAircraft, [](const AiAircraft& ac) { return ac.erase; });
    waitingByHexid.swap(seen);
}

// The window's status line and the run's end, with no lock of the traffic manager held.
void lf_afterReplies(const AfterReplies& after) {
    for (const AcIdentity& refused : after.uncreatable) gf_reportUncreatable(refused);
    if (after.requestFailed) gf_simConnectRequestFailed();
}

}  // namespace

void gf_touchdown(LiveAc& ac) {
    if (ac.state == AcState::removed || ac.groundState == GroundState::climbOut) return;
    // Every touchdown from the air is a landing, wherever it happens: it rolls out and vacates.
    if (!ac.onGround) {
        ac.touchdown = true;
        ac.landingRoll = true;
        ac.touchdownHeading = ac.heading;
        // It rolls out from the speed it flew.
        double east = 0.0;
        double north = 0.0;
        gf_toLocalMetres(ac.lat, ac.lon, ac.lat + ac.latRate, ac.lon + ac.lonRate, east, north);
        ac.groundStepM = std::isfinite(east) && std::isfinite(north) ? std::hypot(east, north) : -1.0;
        ac.approach = false;
        ac.landed = true;
        if (!lf_isRotorcraft(ac)) gf_queueClientEvent(ac.objectId, SPOILERS_SET, spoilersExtended);
        if (ac.identity.category != AircraftCategory::Light) {
            const double lever = ac.identity.fsltl ? -touchdownReverseLever : touchdownReverseLever;
            const double block[3] = {touchdownSpoilerHandle, lever, lever};
            std::lock_guard lock(simMutex);
            SimConnect_SetDataOnSimObject(hSimConnect, DEF_SPOILERS_THROTTLE, ac.objectId, 0, 1, sizeof block, block);
        }
        const int32_t count = ac.identity.touchdownSteps;
        if (count > 0) {
            ac.pitchRate = (ac.identity.staticPitch - ac.pitch) / count;
            ac.bankRate = -ac.bank / count;
        } else {
            gf_log(fmt::format("gf_touchdown: {} ! onGround slots {:.1F}", ac.identity.callsign,
                               static_cast<double>(count)));
            ac.pitchRate = ac.identity.staticPitch;
            ac.bankRate = 0.0;
        }
        createdFollowUps.push_back(ac.identity.hexid);
    }
    ac.onGround = true;
    ac.altRate = 0.0;
    ac.configCountdown = 1;
}

void gf_parkEvents(AiAircraft& ac) {
    lf_setThrottle(ac, throttleIdle);
    if (!lf_isRotorcraft(ac)) lf_setFlaps(ac, flapsUp);
    else ac.flapsStep = flapsUp;
    gf_queueClientEvent(ac.objectId, ENGINE_AUTO_SHUTDOWN);
    uint32_t cabin = 1;
    if (ac.cargoStand)
        cabin = 0;
    else if (RANDOM.value())
        cabin = gf_randomPercent() % 10 < cabinLightsInTen ? 1 : 0;
    lf_sendLights(ac.objectId, {NAV_LIGHTS_WHILE_PARKED.value() ? 1u : 0u, 0, 0, 0, 0, 1, cabin});
}

void gf_allLightsToggle(SwitchFollowUp& e, [[maybe_unused]] const std::unique_lock<std::mutex>& replyLock) {
    assert(lf_holdsReplyMutex(replyLock));
    if (e.counter < 0) return;
    if (e.isStatic) {
        AiAircraft* ac = lf_followUpStatic(e);
        if (ac == nullptr) {
            e.counter = -1;
            return;
        }
        if (e.counter < switchesStep) {
            ++e.counter;
            return;
        }
        ac->state = AcState::active;
        ac->objectId = e.objectId;
        gf_parkEvents(*ac);
        e.counter = -1;
        if (LOG.value()) gf_log(fmt::format("{:8}: {:8} parked", gf_standNameById(ac->standId), ac->identity.callsign));
        if (ac->removeWhenCreated) removeAircraftFromSim(*ac, "its removal was asked while it was created");
        return;
    }
    LiveAc* ac = lf_followUpLive(e);
    if (ac == nullptr) {
        e.counter = -1;
        return;
    }
    if (e.counter < switchesStep) {
        ++e.counter;
        if (e.counter == firstToggleStep || e.counter == secondToggleStep) lf_toggleAllLights(e.objectId);
        return;
    }
    lf_initialSwitches(*ac);
    e.counter = -1;
    if (ac->removeWhenCreated) removeAircraftFromSim(*ac, "its removal was asked while it was created");
}

void gf_SimCommands() {
    AfterReplies after;
    std::unique_lock lock(replyMutex);
    size_t handled = 0;
    try {
        for (; handled < simReplies.size(); ++handled) lf_handle(simReplies[handled], after, lock);
    } catch (...) {
        // The notice that failed is not handled again; the caller logs the failure.
        simReplies.erase(simReplies.begin(), simReplies.begin() + static_cast<std::ptrdiff_t>(handled + 1));
        lock.unlock();
        lf_afterReplies(after);
        throw;
    }
    simReplies.clear();
    for (SwitchFollowUp& e : switchFollowUps) gf_allLightsToggle(e, lock);
    lf_checkLostNotices(lock);
    std::erase_if(switchFollowUps, [](const SwitchFollowUp& e) { return e.counter == -1; });
    lock.unlock();
    lf_afterReplies(after);
}

void gf_forgetNoticeWaits() {
    std::lock_guard lock(replyMutex);
    waitingByHexid.clear();
    swept = false;
    lastSweep = 0;
}

}  // namespace vdl
