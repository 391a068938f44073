#include "simlink/sim_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <thread>

#include "foundation/log.h"
#include "simlink/sim_guard.h"
#include "foundation/parameters.h"
#include "foundation/threads.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr double lowAltitudeFt = 2500.0;  // in-range objects below this height are reported
constexpr int maxMessagesPerRound = 5000;
// In-range lists without a created object before it counts as out of range: it is removed, as
// the program cannot move an object it did not bind.
constexpr uint32_t unboundListsBeforeRemoval = 100;

struct PendingCreate {
    std::string tailNumber;
    uint32_t hexid = 0;
    uint32_t requestId = 0;
    uint32_t sendId = 0;
    uint32_t objectId = 0;  // from the assigned-id answer; 0 until it came
    uint32_t missedLists = 0;  // in-range lists since then that did not have it
    bool removeOnAssign = false;  // the run ends: the object goes as soon as its id is known
};

// Link state, under simMutex: the functions that touch it take the caller's SimLock.
std::vector<PendingCreate> pendingCreates;
std::map<uint32_t, uint32_t> boundObjects;  // object id -> hexid
uint32_t nextCreateRequest = REQUEST_CREATE_FIRST;
UserAcState lastUserAcState;

std::atomic<int> failedRequests{0};

std::mutex hookMutex;
std::function<void(const SimReply&)> replyHook;
std::function<std::string(double, double)> standNameHook;
std::function<void(const std::string&)> saveUserStandHook;

std::mutex standMutex;
std::string lastSavedStand;

std::mutex threadMutex;
std::jthread simConnectThread;

// What one dispatch round hands on after simMutex is let go.
struct RoundResult {
    std::vector<SimReply> notices;
    std::optional<UserOnGround> userSample;
    bool quit = false;
    // The calls that failed, logged after the round: in the round in which the simulator closed
    // they failed because it closed (its last frame came before its Quit), which is no error.
    std::vector<std::string> failedCalls;
};

struct ClientEventName {
    ClientEventId id;
    std::string_view name;
};

constexpr ClientEventName clientEvents[] = {
    {BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
    {NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
    {TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
    {STROBES_SET, "STROBES_SET"},
    {LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
    {CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
    {LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
    {ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
    {FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
    {FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
    {FLAPS_SET, "FLAPS_SET"},
    {SPOILERS_SET, "SPOILERS_SET"},
    {GEAR_SET, "GEAR_SET"},
    {ENGINE_AUTO_START, "ENGINE_AUTO_START"},
    {ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
    {THROTTLE_SET, "THROTTLE_SET"},
};

struct DatumSpec {
    uint32_t defineId;
    std::string_view name;
    std::string_view units;
    SimDataType type;
};

constexpr DatumSpec dataDefinitions[] = {
    {DEF_SPOILERS_THROTTLE, "SPOILERS HANDLE POSITION", "percent", SimDataType::Float64},
    {DEF_SPOILERS_THROTTLE, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", SimDataType::Float64},
    {DEF_SPOILERS_THROTTLE, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", SimDataType::Float64},

    {DEF_AI_POSITION, "PLANE LATITUDE", "degrees", SimDataType::Float64},
    {DEF_AI_POSITION, "PLANE LONGITUDE", "degrees", SimDataType::Float64},
    {DEF_AI_POSITION, "PLANE PITCH DEGREES", "radians", SimDataType::Float64},
    {DEF_AI_POSITION, "PLANE BANK DEGREES", "radians", SimDataType::Float64},
    {DEF_AI_POSITION, "PLANE HEADING DEGREES TRUE", "radians", SimDataType::Float64},
    {DEF_AI_POSITION, "PLANE ALTITUDE", "feet", SimDataType::Float64},
    {DEF_AI_POSITION, "VERTICAL SPEED", "feet per second", SimDataType::Float64},
    {DEF_AI_POSITION, "AIRSPEED TRUE", "knots", SimDataType::Float64},

    {DEF_USER_STATE, "PLANE LATITUDE", "degrees", SimDataType::Float64},
    {DEF_USER_STATE, "PLANE LONGITUDE", "degrees", SimDataType::Float64},
    {DEF_USER_STATE, "PLANE PITCH DEGREES", "radians", SimDataType::Float64},
    {DEF_USER_STATE, "PLANE BANK DEGREES", "radians", SimDataType::Float64},
    {DEF_USER_STATE, "PLANE HEADING DEGREES TRUE", "radians", SimDataType::Float64},
    {DEF_USER_STATE, "PLANE ALTITUDE", "feet", SimDataType::Float64},
    {DEF_USER_STATE, "PLANE ALT ABOVE GROUND", "feet", SimDataType::Float64},
    {DEF_USER_STATE, "GROUND VELOCITY", "knots", SimDataType::Float64},
    {DEF_USER_STATE, "ZULU TIME", "seconds", SimDataType::Float64},
    {DEF_USER_STATE, "ZULU DAY OF MONTH", "number", SimDataType::Int32},
    {DEF_USER_STATE, "ZULU MONTH OF YEAR", "number", SimDataType::Int32},
    {DEF_USER_STATE, "ZULU YEAR", "number", SimDataType::Int32},
    {DEF_USER_STATE, "LIGHT NAV", "bool", SimDataType::Int32},
    {DEF_USER_STATE, "LIGHT BEACON", "bool", SimDataType::Int32},
    {DEF_USER_STATE, "LIGHT LANDING", "bool", SimDataType::Int32},
    {DEF_USER_STATE, "LIGHT TAXI", "bool", SimDataType::Int32},
    {DEF_USER_STATE, "LIGHT STROBE", "bool", SimDataType::Int32},

    {DEF_IN_RANGE, "ATC ID", "", SimDataType::String32},
    {DEF_IN_RANGE, "SIM ON GROUND", "bool", SimDataType::Int32},
    {DEF_IN_RANGE, "GROUND ALTITUDE", "feet", SimDataType::Float64},
    {DEF_IN_RANGE, "PLANE ALT ABOVE GROUND", "feet", SimDataType::Float64},
    {DEF_IN_RANGE, "PLANE LATITUDE", "degrees", SimDataType::Float64},
    {DEF_IN_RANGE, "PLANE LONGITUDE", "degrees", SimDataType::Float64},

    {DEF_STATIC_CG, "STATIC CG TO GROUND", "feet", SimDataType::Float64},
    {DEF_STATIC_CG, "STATIC PITCH", "radians", SimDataType::Float64},

    {DEF_USER_ON_GROUND, "SIM ON GROUND", "bool", SimDataType::Int32},
    {DEF_USER_ON_GROUND, "PLANE LATITUDE", "degrees", SimDataType::Float64},
    {DEF_USER_ON_GROUND, "PLANE LONGITUDE", "degrees", SimDataType::Float64},
    {DEF_USER_ON_GROUND, "GROUND VELOCITY", "knots", SimDataType::Float64},
};

struct SystemEventSpec {
    SystemEventId id;
    std::string_view name;
};

constexpr SystemEventSpec systemEvents[] = {
    {SYSTEM_EVENT_FRAME, "Frame"},
    {SYSTEM_EVENT_PAUSE, "Pause"},
    {SYSTEM_EVENT_SIM, "Sim"},
    {SYSTEM_EVENT_SIM_START, "SimStart"},
    {SYSTEM_EVENT_SIM_STOP, "SimStop"},
    {SYSTEM_EVENT_FLIGHT_LOADED, "FlightLoaded"},
    {SYSTEM_EVENT_OBJECT_REMOVED, "ObjectRemoved"},
};

void lf_updateRunning() { simRunning = simStarted.load() && !simPaused.load(); }

void lf_detail(std::string_view text) {
    if (LOG.value()) gf_log(text);
}

// The frame handler: creates, removals, client events, positions, in this order.
void lf_onFrame(const SimLock&, RoundResult& result) {
    SimHandle h = hSimConnect;
    for (const auto& c : simCreateQueue) {
        const uint32_t requestId = nextCreateRequest++;
        if (SimConnect_AICreateNonATCAircraft(h, c.title, c.tailNumber, c.initPosition, requestId) < 0) {
            result.failedCalls.push_back(
                fmt::format("SimConnect AICreateNonATCAircraft fails for {} \"{}\"", c.tailNumber, c.title));
            result.notices.push_back({0, c.hexid, 0, REPLY_CREATION_FAILED, 0.0, 0.0});
            continue;
        }
        uint32_t sendId = 0;
        SimConnect_GetLastSentPacketID(h, sendId);
        pendingCreates.push_back({c.tailNumber, c.hexid, requestId, sendId, 0});
    }
    simCreateQueue.clear();

    for (uint32_t id : simRemovalIds)
        if (SimConnect_AIRemoveObject(h, id, REQUEST_REMOVE) < 0)
            result.failedCalls.push_back(fmt::format("SimConnect AIRemoveObject fails for object {}", id));
    simRemovalIds.clear();

    for (const auto& e : simEventQueue)
        if (SimConnect_TransmitClientEvent(h, e.objectId, e.eventId, e.data, GROUP_AI_EVENTS, 0) < 0)
            result.failedCalls.push_back(fmt::format("SimConnect TransmitClientEvent {} fails for object {}",
                                                     gf_clientEventName(e.eventId), e.objectId));
    simEventQueue.clear();

    for (const auto& p : positionSendBuffer) {
        const double block[8] = {p.latitude, p.longitude,     p.pitch,        p.bank,
                                 p.heading,  p.altitude,      p.verticalSpeed, p.trueAirspeed};
        if (SimConnect_SetDataOnSimObject(h, DEF_AI_POSITION, p.objectId, 0, 1, sizeof block, block) < 0)
            result.failedCalls.push_back(
                fmt::format("SimConnect SetDataOnSimObject fails for object {}", p.objectId));
    }
    positionSendBuffer.clear();
}

// Releases the simulator's AI control of a new object and freezes it; the traffic
// manager moves it from now on.
void lf_bind(const SimLock&, uint32_t objectId, const PendingCreate& pending, double groundAlt, double agl,
             RoundResult& result) {
    SimHandle h = hSimConnect;
    if (SimConnect_AIReleaseControl(h, objectId, REQUEST_RELEASE) < 0)
        result.failedCalls.push_back(fmt::format("SimConnect AIReleaseControl fails for object {}", objectId));
    for (uint32_t event : {FREEZE_LATITUDE_LONGITUDE_SET, FREEZE_ALTITUDE_SET, FREEZE_ATTITUDE_SET})
        if (SimConnect_TransmitClientEvent(h, objectId, event, 1, GROUP_AI_EVENTS, 0) < 0)
            result.failedCalls.push_back(
                fmt::format("SimConnect {} fails for object {}", gf_clientEventName(event), objectId));
    boundObjects[objectId] = pending.hexid;
    gf_noteAircraftOfObject(h, objectId, pending.hexid);
    const uint32_t kind = gf_isLiveHexid(pending.hexid) ? REPLY_LIVE_CREATED : REPLY_STATIC_CREATED;
    result.notices.push_back({objectId, pending.hexid, 0, kind, groundAlt, agl});
    lf_detail(fmt::format("object {} is {} (hexid {})", objectId, pending.tailNumber, pending.hexid));
}

void lf_countMissedLists(const SimLock&, uint32_t lastId) {
    std::erase_if(pendingCreates, [&](PendingCreate& p) {
        if (p.objectId == 0 || p.objectId == lastId || ++p.missedLists < unboundListsBeforeRemoval) return false;
        gf_logError(fmt::format("object {} of {} stayed out of range: removed", p.objectId, p.tailNumber));
        if (SimConnect_AIRemoveObject(hSimConnect, p.objectId, REQUEST_REMOVE) < 0)
            gf_logError(fmt::format("SimConnect AIRemoveObject fails for object {}", p.objectId));
        return true;
    });
}

void lf_onInRange(const SimLock& lock, const SimRecv& m, RoundResult& result) {
    SimDataReader r(m.data);
    const std::string atcId = r.text(SimDataType::String32);
    const int32_t onGround = r.i32();
    const double groundAlt = r.f64();
    const double agl = r.f64();
    const uint32_t id = m.objectId;
    // The last entry of a list: creates whose object was not in it count a miss.
    if (m.outOf != 0 && m.entryNumber == m.outOf) lf_countMissedLists(lock, id);

    if (auto bound = boundObjects.find(id); bound != boundObjects.end()) {
        if (agl < lowAltitudeFt)
            result.notices.push_back({id, static_cast<uint32_t>(onGround != 0), 0, REPLY_IN_RANGE_LOW,
                                      groundAlt, agl});
        return;
    }
    if (id < 3) return;  // the user aircraft and the simulator's own ids
    // An object whose id came with the create answer binds to that create; otherwise the
    // ATC id (our tail number) tells, for creates whose id is still unknown.
    auto it = std::find_if(pendingCreates.begin(), pendingCreates.end(),
                           [&](const PendingCreate& p) { return p.objectId == id; });
    if (it == pendingCreates.end() && !atcId.empty()) {
        it = std::find_if(pendingCreates.begin(), pendingCreates.end(), [&](const PendingCreate& p) {
            return p.objectId == 0 && p.tailNumber == atcId;
        });
    }
    if (it == pendingCreates.end()) return;
    const PendingCreate pending = *it;
    pendingCreates.erase(it);
    lf_bind(lock, id, pending, groundAlt, agl, result);
}

void lf_onException(const SimLock&, const SimRecv& m, RoundResult& result) {
    auto it = std::find_if(pendingCreates.begin(), pendingCreates.end(),
                           [&](const PendingCreate& p) { return p.sendId == m.sendId; });
    if (it != pendingCreates.end()) {
        lf_detail(fmt::format("creation of {} failed (hexid {}), exception {}", it->tailNumber,
                              it->hexid, static_cast<uint32_t>(m.exception)));
        result.notices.push_back({0, it->hexid, 0, REPLY_CREATION_FAILED, 0.0, 0.0});
        pendingCreates.erase(it);
        return;
    }
    gf_logError(fmt::format("SimConnect exception {} for send id {}, index {}",
                            static_cast<uint32_t>(m.exception), m.sendId, m.index));
}

void lf_onObjectRemoved(const SimLock&, uint32_t id, RoundResult& result) {
    if (auto bound = boundObjects.find(id); bound != boundObjects.end()) {
        result.notices.push_back({id, bound->second, 0, REPLY_REMOVED, 0.0, 0.0});
        boundObjects.erase(bound);
        return;
    }
    auto it = std::find_if(pendingCreates.begin(), pendingCreates.end(),
                           [&](const PendingCreate& p) { return p.objectId == id; });
    if (it != pendingCreates.end()) {
        gf_logError(fmt::format("object {} of {} removed before it was bound", id, it->tailNumber));
        pendingCreates.erase(it);
    }
}

void lf_onData(const SimLock&, const SimRecv& m, RoundResult& result) {
    SimDataReader r(m.data);
    switch (m.requestId) {
        case REQUEST_STATIC_CG: {
            const double cg = r.f64();
            const double pitch = r.f64();
            auto bound = boundObjects.find(m.objectId);
            const uint32_t hexid = bound == boundObjects.end() ? 0 : bound->second;
            result.notices.push_back({m.objectId, hexid, 0, REPLY_STATIC_CG, cg, pitch});
            break;
        }
        case REQUEST_USER_STATE: {
            UserAcState s;
            s.latitude = r.f64();
            s.longitude = r.f64();
            s.pitch = r.f64();
            s.bank = r.f64();
            s.heading = r.f64();
            s.altitude = r.f64();
            s.altAboveGround = r.f64();
            s.groundVelocity = r.f64();
            s.zuluTime = r.f64();
            s.zuluDayOfMonth = r.i32();
            s.zuluMonthOfYear = r.i32();
            s.zuluYear = r.i32();
            s.lightNav = r.i32();
            s.lightBeacon = r.i32();
            s.lightLanding = r.i32();
            s.lightTaxi = r.i32();
            s.lightStrobe = r.i32();
            lastUserAcState = s;
            break;
        }
        case REQUEST_USER_ON_GROUND: {
            UserOnGround u;
            u.value = r.i32() != 0 ? 1 : 0;
            u.latitude = r.f64();
            u.longitude = r.f64();
            u.groundVelocity = r.f64();
            u.known = true;
            tickFlag = true;
            if (gf_isNullPosition(u.latitude, u.longitude)) break;
            userOnGround.store(u);
            result.userSample = u;
            break;
        }
        default:
            break;
    }
}

void lf_onEvent(const SimRecv& m) {
    switch (m.eventId) {
        case SYSTEM_EVENT_PAUSE: simPaused = m.eventData != 0; break;
        case SYSTEM_EVENT_SIM: simStarted = m.eventData != 0; break;
        case SYSTEM_EVENT_SIM_START: simStarted = true; break;
        case SYSTEM_EVENT_SIM_STOP: simStarted = false; break;
        default: return;
    }
    lf_updateRunning();
}

void lf_handleMessage(const SimLock& lock, const SimRecv& m, RoundResult& result) {
    switch (m.id) {
        case SimRecvId::EventFrame:
            simFrameRate = m.frameRate;
            lf_onFrame(lock, result);
            break;
        case SimRecvId::SimObjectDataByType:
            if (m.requestId == REQUEST_IN_RANGE && m.defineId == DEF_IN_RANGE) lf_onInRange(lock, m, result);
            break;
        case SimRecvId::SimObjectData:
            lf_onData(lock, m, result);
            break;
        case SimRecvId::AssignedObjectId: {
            auto it = std::find_if(pendingCreates.begin(), pendingCreates.end(),
                                   [&](const PendingCreate& p) { return p.requestId == m.requestId; });
            if (it == pendingCreates.end()) break;
            it->objectId = m.objectId;
            if (it->removeOnAssign) {
                simRemovalIds.push_back(m.objectId);
                pendingCreates.erase(it);
            }
            break;
        }
        case SimRecvId::Exception:
            lf_onException(lock, m, result);
            break;
        case SimRecvId::EventObjectAddRemove:
            if (m.eventId == SYSTEM_EVENT_OBJECT_REMOVED) lf_onObjectRemoved(lock, m.objectId, result);
            break;
        case SimRecvId::Event:
            lf_onEvent(m);
            break;
        case SimRecvId::EventFilename:
            if (m.eventId == SYSTEM_EVENT_FLIGHT_LOADED) {
                ++flightsLoaded;
                gf_log(fmt::format("flight loaded: {}", m.fileName));
            }
            break;
        case SimRecvId::Quit:
            simQuit = true;
            simStarted = false;
            lf_updateRunning();
            result.quit = true;
            break;
        case SimRecvId::Open:
            gf_log(fmt::format("SimConnect open: {}", m.applicationName));
            break;
        case SimRecvId::Null:
            break;
    }
}

// Notices, the user's stand and the end of the run, with simMutex let go.
void lf_afterRound(RoundResult& result) {
    std::function<void(const SimReply&)> reply;
    std::function<std::string(double, double)> standName;
    std::function<void(const std::string&)> saveStand;
    {
        std::lock_guard lock(hookMutex);
        reply = replyHook;
        standName = standNameHook;
        saveStand = saveUserStandHook;
    }
    if (reply)
        for (const auto& n : result.notices) reply(n);

    if (result.userSample && standName) {
        const UserOnGround& u = *result.userSample;
        std::string stand = u.value != 0 ? standName(u.latitude, u.longitude) : std::string();
        userStand.store(stand);
        if (saveStand && u.value != 0 && u.groundVelocity < 0.5 && !stand.empty()) {
            bool changed = false;
            {
                std::lock_guard lock(standMutex);
                changed = stand != lastSavedStand;
                if (changed) lastSavedStand = stand;
            }
            if (changed) saveStand(stand);
        }
    }
    if (result.quit && !result.failedCalls.empty())
        gf_log(fmt::format("{} SimConnect calls failed as the simulator closed", result.failedCalls.size()));
    else
        for (const auto& line : result.failedCalls) gf_logError(line);
    if (result.quit) {
        gf_log("the simulator quits");
        gf_startFinalExit(ExitReason::SimWasClosed, 0);
    }
}

void lf_simConnectThread(std::stop_token stop) {
    bool told = false;
    while (!stop.stop_requested() && !gf_simLinkOpen()) {
        if (!told) gf_log("SimConnect: no simulator to connect to yet, trying every second");
        told = true;
        gf_sleepFor(stop, std::chrono::seconds(1));
    }
    while (!stop.stop_requested()) {
        gf_simLinkPoll();
        gf_sleepFor(stop, std::chrono::milliseconds(1));
    }
    gf_simLinkClose();
}

}  // namespace

std::string_view gf_clientEventName(uint32_t eventId) {
    for (const auto& e : clientEvents)
        if (e.id == eventId) return e.name;
    return {};
}

bool gf_isNullPosition(double latitude, double longitude) {
    return latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05;
}

void gf_setSimReplyHook(std::function<void(const SimReply&)> hook) {
    std::lock_guard lock(hookMutex);
    replyHook = std::move(hook);
}

void gf_setStandNameHook(std::function<std::string(double, double)> hook) {
    std::lock_guard lock(hookMutex);
    standNameHook = std::move(hook);
}

void gf_setSaveUserStandHook(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(hookMutex);
    saveUserStandHook = std::move(hook);
}

void gf_queueCreateAc(const CreateAcCmd& command) {
    if (!gf_passesSimGuard(command.initPosition, [&] { return fmt::format("create of hexid {}", command.hexid); })) return;
    std::lock_guard lock(simMutex);
    simCreateQueue.push_back(command);
}

void gf_queueClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data) {
    std::lock_guard lock(simMutex);
    simEventQueue.push_back({objectId, eventId, data});
}

void gf_pushClientEvent(const SimLock&, uint32_t objectId, uint32_t eventId, uint32_t data) {
    simEventQueue.push_back({objectId, eventId, data});
}

void gf_setCabinLights(uint32_t objectId, uint32_t value) {
    gf_queueClientEvent(objectId, CABIN_LIGHTS_SET, value);
}

void gf_updateAircraft(const PositionUpdate& position) {
    if (!gf_passesSimGuard(position, [&] { return fmt::format("position of object {}", position.objectId); })) return;
    positionWriteBuffer.push_back(position);
}

void gf_swapPositionBuffers(const SimLock&) {
    positionWriteBuffer.swap(positionSendBuffer);
    positionWriteBuffer.clear();
}

UserAcState gf_getUserAcData() {
    bool failed = false;
    UserAcState state;
    {
        std::lock_guard lock(simMutex);
        failed = !simStopped && hSimConnect != nullptr &&
                 SimConnect_RequestDataOnSimObject(hSimConnect, REQUEST_USER_STATE, DEF_USER_STATE,
                                                   SIM_OBJECT_ID_USER, SimPeriod::Once) < 0;
        state = lastUserAcState;
    }
    // The failure takes the window's lock and may end the run: only with simMutex let go.
    if (failed) {
        gf_logError("SimConnect request user aircraft data fails");
        gf_simConnectRequestFailed();
    }
    return state;
}

void gf_simConnectRequestFailed() {
    const int count = ++failedRequests;
    if (count < 3) return;
    gf_setStatusLine(fmt::format("SimConnect request error {}, see Log.txt", count), true);
    simStopped = true;
    gf_startFinalExit(ExitReason::SimConnectError, 10);
}

int gf_failedRequestCount() { return failedRequests.load(); }

bool gf_simLinkOpen() {
    SimHandle h = nullptr;
    if (SimConnect_Open(h, "Vandrel") < 0) return false;
    bool ok = true;
    for (const auto& d : dataDefinitions)
        ok = ok && SimConnect_AddToDataDefinition(h, d.defineId, d.name, d.units, d.type) >= 0;
    for (const auto& e : clientEvents) {
        ok = ok && SimConnect_MapClientEventToSimEvent(h, e.id, e.name) >= 0;
        ok = ok && SimConnect_AddClientEventToNotificationGroup(h, GROUP_AI_EVENTS, e.id) >= 0;
    }
    ok = ok && SimConnect_SetNotificationGroupPriority(h, GROUP_AI_EVENTS, SIM_GROUP_PRIORITY_HIGHEST) >= 0;
    for (const auto& s : systemEvents)
        ok = ok && SimConnect_SubscribeToSystemEvent(h, s.id, s.name) >= 0;
    ok = ok && SimConnect_RequestDataOnSimObject(h, REQUEST_USER_ON_GROUND, DEF_USER_ON_GROUND,
                                                 SIM_OBJECT_ID_USER, SimPeriod::Second) >= 0;
    if (!ok) {
        gf_logError("SimConnect set-up failed");
        SimConnect_Close(h);
        return false;
    }
    std::lock_guard lock(simMutex);
    if (hSimConnect != nullptr) SimConnect_Close(hSimConnect);
    hSimConnect = h;
    simConnected = true;
    simQuit = false;
    return true;
}

void gf_simLinkPoll() {
    RoundResult result;
    {
        SimLock lock(simMutex);
        if (hSimConnect == nullptr) return;
        SimRecv m;
        for (int n = 0; n < maxMessagesPerRound && SimConnect_GetNextDispatch(hSimConnect, m) >= 0; ++n) {
            try {
                lf_handleMessage(lock, m, result);
            } catch (const std::exception& e) {
                gf_logError(fmt::format("{}: {}", "gf_simLinkPoll", e.what()));
            }
        }
    }
    lf_afterRound(result);
}

void gf_simLinkClose() {
    std::lock_guard lock(simMutex);
    if (hSimConnect != nullptr) SimConnect_Close(hSimConnect);
    hSimConnect = nullptr;
    simConnected = false;
    simStarted = false;
    simPaused = false;
    lf_updateRunning();
}

void gf_startSimConnectThread() {
    std::lock_guard lock(threadMutex);
    if (simConnectThread.joinable()) {
        simConnectThread.request_stop();
        simConnectThread.join();
    }
    simConnectThread = std::jthread([](std::stop_token stop) { lf_simConnectThread(stop); });
}

void gf_requestSimConnectStop() {
    std::lock_guard lock(threadMutex);
    if (simConnectThread.joinable()) simConnectThread.request_stop();
}

void gf_stopSimConnectThread() {
    std::lock_guard lock(threadMutex);
    if (!simConnectThread.joinable()) return;
    simConnectThread.request_stop();
    if (simConnectThread.get_id() == std::this_thread::get_id()) return;
    simConnectThread.join();
}

bool gf_simConnectThreadRunning() {
    std::lock_guard lock(threadMutex);
    return simConnectThread.joinable() && !simConnectThread.get_stop_token().stop_requested();
}

void gf_resetSimLink() {
    gf_stopSimConnectThread();
    gf_simLinkClose();
    simQuit = false;
    gf_setSimReplyHook({});
    gf_setStandNameHook({});
    gf_setSaveUserStandHook({});
    gf_setSimBackendProvider({});
    {
        std::lock_guard lock(simMutex);
        nextCreateRequest = REQUEST_CREATE_FIRST;
    }
    gf_resetSimLinkBetweenRuns();
}

void gf_removeUnboundCreates(const SimLock&) {
    std::erase_if(pendingCreates, [](PendingCreate& p) {
        if (p.objectId == 0) {
            p.removeOnAssign = true;
            return false;
        }
        simRemovalIds.push_back(p.objectId);
        return true;
    });
}

std::size_t gf_createsAwaitingId(const SimLock&) {
    return static_cast<std::size_t>(std::count_if(pendingCreates.begin(), pendingCreates.end(),
                                                   [](const PendingCreate& p) { return p.removeOnAssign; }));
}

// The create request ids go on counting across runs, as they always have.
void gf_resetSimLinkBetweenRuns() {
    {
        std::lock_guard lock(simMutex);
        simCreateQueue.clear();
        simRemovalIds.clear();
        simEventQueue.clear();
        positionSendBuffer.clear();
        positionWriteBuffer.clear();
        pendingCreates.clear();
        boundObjects.clear();
        lastUserAcState = {};
    }
    {
        std::lock_guard lock(standMutex);
        lastSavedStand.clear();
    }
    failedRequests = 0;
    simStopped = false;
    simFrameRate = 0.0f;
    tickFlag = false;
    flightsLoaded = 0;
    userAc = {};
    userOnGround.store({});
    userStand.store({});
}

}  // namespace vdl
