// The stand-in as the simulator layer's backend: the calls about objects. Each call is
// accepted at once and answered when the next frame comes (see submit).
#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "simulator/stand_in.h"

namespace vdl {

namespace {

// Exceptions name the parameter at fault by its position in the call, from 1.
constexpr uint32_t objectParam = 1;          // AIRemoveObject, AIReleaseControl, AISetAircraftFlightPlan
constexpr uint32_t flightPlanPathParam = 2;  // AISetAircraftFlightPlan
constexpr uint32_t setDefineParam = 1;       // SetDataOnSimObject
constexpr uint32_t setObjectParam = 2;
constexpr uint32_t setUnitSizeParam = 5;
constexpr uint32_t requestDefineParam = 2;  // RequestDataOnSimObject(Type)
constexpr uint32_t requestObjectParam = 3;
constexpr uint32_t requestRadiusParam = 3;
constexpr uint32_t eventObjectParam = 1;  // TransmitClientEvent
constexpr uint32_t eventIdParam = 2;

// clang-format off
void lf_applyEvent(StandInObject& o, std::string_view name, uint32_t data) {
    const bool on = data != 0;
    if (name == "NAV_LIGHTS_SET") o.lights.nav = on;
    else if (name == "BEACON_LIGHTS_SET") o.lights.beacon = on;
    else if (name == "LANDING_LIGHTS_SET") o.lights.landing = on;
    else if (name == "TAXI_LIGHTS_SET") o.lights.taxi = on;
    else if (name == "STROBES_SET") o.lights.strobe = on;
    else if (name == "LOGO_LIGHTS_SET") o.lights.logo = on;
    else if (name == "CABIN_LIGHTS_SET") o.lights.cabin = on;
    else if (name == "ALL_LIGHTS_TOGGLE") {
        auto& l = o.lights;
        for (bool* b : {&l.nav, &l.beacon, &l.landing, &l.taxi, &l.strobe, &l.logo, &l.cabin}) *b = !*b;
    } else if (name == "FLAPS_SET") o.flaps = data;
    else if (name == "SPOILERS_SET") o.spoilers = data;
    else if (name == "GEAR_SET") o.gearDown = on;
    else if (name == "THROTTLE_SET") o.throttle = data;
    else if (name == "ENGINE_AUTO_START") o.enginesRunning = true;
    else if (name == "ENGINE_AUTO_SHUTDOWN") o.enginesRunning = false;
    else if (name == "FREEZE_LATITUDE_LONGITUDE_SET") o.frozenLatLon = on;
    else if (name == "FREEZE_ALTITUDE_SET") o.frozenAltitude = on;
    else if (name == "FREEZE_ATTITUDE_SET") o.frozenAttitude = on;
}
// clang-format on

}  // namespace

// ---------------------------------------------------------------- the calls

SimResult SimStandIn::aiCreateNonAtcAircraft(std::string_view title, std::string_view tailNumber,
                                             const SimInitPosition& position, uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AICreateNonATCAircraft, 0, requestId,
                  fmt::format("\"{}\" tail \"{}\" {:.6f},{:.6f} alt {:.0f} hdg {:.1f} ground {}", title,
                              tailNumber, position.latitude, position.longitude, position.altitude,
                              position.heading, position.onGround),
                  [this, title = std::string(title), tail = std::string(tailNumber), position, requestId](
                      uint32_t sendId, uint64_t callIndex) {
                      return createObject(title, tail, position, requestId, sendId, callIndex);
                  });
}

SimResult SimStandIn::aiRemoveObject(uint32_t objectId, uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AIRemoveObject, objectId, requestId, {},
                  [this, objectId](uint32_t sendId, uint64_t) { return removeByClient(objectId, sendId); });
}

SimResult SimStandIn::aiReleaseControl(uint32_t objectId, uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AIReleaseControl, objectId, requestId, {},
                  [this, objectId](uint32_t sendId, uint64_t) { return releaseControl(objectId, sendId); });
}

void SimStandIn::noteAircraftOfObject(uint32_t objectId, uint32_t hexid) {
    std::lock_guard lock(worldMutex);
    if (StandInObject* o = findAi(objectId)) recorder_.addEvent(*o, {simTime_, "hexid", hexid});
}

SimResult SimStandIn::aiSetAircraftFlightPlan(uint32_t objectId, std::string_view path, uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AISetAircraftFlightPlan, objectId, requestId, std::string(path),
                  [this, objectId, path = std::string(path)](uint32_t sendId, uint64_t) {
                      return setFlightPlan(objectId, path, sendId);
                  });
}

SimResult SimStandIn::setDataOnSimObject(uint32_t defineId, uint32_t objectId, uint32_t /*flags*/,
                                         uint32_t arrayCount, uint32_t unitSize, const void* data) {
    std::lock_guard lock(worldMutex);
    std::vector<std::byte> bytes;
    const std::size_t count = std::max<uint32_t>(arrayCount, 1);
    if (data != nullptr && unitSize > 0) {
        const auto* b = static_cast<const std::byte*>(data);
        bytes.assign(b, b + static_cast<std::size_t>(unitSize) * count);
    }
    return submit(SimCall::SetDataOnSimObject, objectId, 0, fmt::format("def {}", defineId),
                  [this, defineId, objectId, unitSize, bytes = std::move(bytes)](uint32_t sendId, uint64_t) {
                      return setData(defineId, objectId, unitSize, bytes, sendId);
                  });
}

SimResult SimStandIn::requestDataOnSimObject(uint32_t requestId, uint32_t defineId, uint32_t objectId,
                                             SimPeriod period) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::RequestDataOnSimObject, objectId, requestId,
                  fmt::format("def {} period {}", defineId, static_cast<uint32_t>(period)),
                  [this, requestId, defineId, objectId, period](uint32_t sendId, uint64_t) {
                      return answerRequest(requestId, defineId, objectId, period, sendId);
                  });
}

SimResult SimStandIn::requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId, uint32_t radiusMeters,
                                                 SimObjectType type) {
    std::lock_guard lock(worldMutex);
    return submit(
        SimCall::RequestDataOnSimObjectType, 0, requestId,
        fmt::format("def {} radius {} type {}", defineId, radiusMeters, static_cast<uint32_t>(type)),
        [this, requestId, defineId, radiusMeters, type](uint32_t sendId, uint64_t) {
            return answerRequestByType(requestId, defineId, radiusMeters, type, sendId);
        });
}

SimResult SimStandIn::transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                          uint32_t groupId, uint32_t /*flags*/) {
    std::lock_guard lock(worldMutex);
    auto name = client_.eventNames.find(eventId);
    const std::string eventName =
        name == client_.eventNames.end() ? fmt::format("#{}", eventId) : name->second;
    return submit(SimCall::TransmitClientEvent, objectId, 0,
                  fmt::format("{} {} group {}", eventName, data, groupId),
                  [this, objectId, eventId, data](uint32_t sendId, uint64_t) {
                      return applyClientEvent(objectId, eventId, data, sendId);
                  });
}

// ---------------------------------------------------------------- their answers

std::vector<SimRecv> SimStandIn::createObject(const std::string& title, const std::string& tail,
                                              const SimInitPosition& position, uint32_t requestId,
                                              uint32_t sendId, uint64_t callIndex) {
    if (!world_.isInstalled(title)) return {exceptionMessage(SimException::CreateObjectFailed, sendId)};
    StandInObject o;
    o.id = nextObjectId_++;
    o.title = title;
    o.tailNumber = tail;
    o.latitude = position.latitude;
    o.longitude = position.longitude;
    o.pitch = degToRad(position.pitch);
    o.bank = degToRad(position.bank);
    o.heading = degToRad(position.heading);
    o.trueAirspeed = position.airspeed;
    o.altitude = position.onGround != 0
                     ? world_.elevationAt(o.latitude, o.longitude) + world_.titleInfo(title).staticCgHeight
                     : position.altitude;
    o.gearDown = position.onGround != 0;
    o.createdAt = simTime_;
    recorder_.addObject(o);
    recorder_.addEvent(o, {simTime_, "created", 0});
    recordTrack(o);
    recorder_.setCallObject(callIndex, o.id);
    client_.objects.insert(o.id);
    SimRecv m;
    m.id = SimRecvId::AssignedObjectId;
    m.requestId = requestId;
    m.objectId = o.id;
    objects_.emplace(o.id, std::move(o));
    return {m};
}

std::vector<SimRecv> SimStandIn::removeByClient(uint32_t objectId, uint32_t sendId) {
    StandInObject* o = findAi(objectId);
    if (o == nullptr) return unknownObject(SimCall::AIRemoveObject, objectId, sendId, objectParam);
    if (!client_.objects.count(objectId))
        return {exceptionMessage(SimException::ObjectNotAi, sendId, objectParam)};
    removeObject(*o, "removed");
    auto it = client_.systemEvents.find("ObjectRemoved");
    if (it == client_.systemEvents.end()) return {};
    SimRecv m;
    m.id = SimRecvId::EventObjectAddRemove;
    m.eventId = it->second;
    m.objectId = objectId;
    m.eventData = static_cast<uint32_t>(SimObjectType::Aircraft);
    return {m};
}

std::vector<SimRecv> SimStandIn::releaseControl(uint32_t objectId, uint32_t sendId) {
    StandInObject* o = findAi(objectId);
    if (o == nullptr) return unknownObject(SimCall::AIReleaseControl, objectId, sendId, objectParam);
    o->aiReleased = true;
    recorder_.addEvent(*o, {simTime_, "AI released", 0});
    return {};
}

std::vector<SimRecv> SimStandIn::setFlightPlan(uint32_t objectId, const std::string& path, uint32_t sendId) {
    StandInObject* o = findAi(objectId);
    if (o == nullptr) return unknownObject(SimCall::AISetAircraftFlightPlan, objectId, sendId, objectParam);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return {exceptionMessage(SimException::LoadFlightplanFailed, sendId, flightPlanPathParam)};
    o->flightPlan = path;
    recorder_.addEvent(*o, {simTime_, "flight plan", 0});
    return {};
}

std::vector<SimRecv> SimStandIn::setData(uint32_t defineId, uint32_t objectId, uint32_t unitSize,
                                         const std::vector<std::byte>& bytes, uint32_t sendId) {
    auto def = client_.definitions.find(defineId);
    if (def == client_.definitions.end())
        return {exceptionMessage(SimException::UnrecognizedId, sendId, setDefineParam)};
    StandInObject* o = objectId == SIM_OBJECT_ID_USER || objectId == userObjectId ? &user_ : findAi(objectId);
    if (o == nullptr) return unknownObject(SimCall::SetDataOnSimObject, objectId, sendId, setObjectParam);
    std::size_t size = 0;
    for (const auto& d : def->second) size += gf_simDataTypeSize(d.type);
    if (size != unitSize || bytes.size() < size)
        return {exceptionMessage(SimException::OutOfBounds, sendId, setUnitSizeParam)};
    const auto values = gf_decodeSimData(def->second, bytes);
    if (!values) return {exceptionMessage(SimException::Error, sendId, setDefineParam)};
    bool moved = false;
    for (const auto& [var, v] : *values) moved = gf_setSimVar(*o, var, v) || moved;
    if (moved && !o->isUser) recordTrack(*o);
    return {};
}

std::vector<SimRecv> SimStandIn::answerRequest(uint32_t requestId, uint32_t defineId, uint32_t objectId,
                                               SimPeriod period, uint32_t sendId) {
    std::erase_if(client_.periodic, [&](const Periodic& p) { return p.requestId == requestId; });
    if (period == SimPeriod::Never) return {};
    if (!client_.definitions.count(defineId))
        return {exceptionMessage(SimException::UnrecognizedId, sendId, requestDefineParam)};
    const StandInObject* o = findObject(objectId);
    if (o == nullptr || o->removed)
        return unknownObject(SimCall::RequestDataOnSimObject, objectId, sendId, requestObjectParam);
    if (period != SimPeriod::Once)
        client_.periodic.push_back({requestId, defineId, o->id, period, std::floor(simTime_) + 1.0});
    return {dataMessage(SimRecvId::SimObjectData, requestId, defineId, *o)};
}

std::vector<SimRecv> SimStandIn::answerRequestByType(uint32_t requestId, uint32_t defineId,
                                                     uint32_t radiusMeters, SimObjectType type,
                                                     uint32_t sendId) {
    if (!client_.definitions.count(defineId))
        return {exceptionMessage(SimException::UnrecognizedId, sendId, requestDefineParam)};
    if (radiusMeters > maxRadiusMeters)
        return {exceptionMessage(SimException::OutOfBounds, sendId, requestRadiusParam)};
    std::vector<const StandInObject*> found;
    if (type == SimObjectType::User || type == SimObjectType::Aircraft || type == SimObjectType::All)
        found.push_back(&user_);
    // Radius 0 asks for the user aircraft alone.
    if (radiusMeters > 0 && (type == SimObjectType::Aircraft || type == SimObjectType::All)) {
        for (const auto& [id, o] : objects_) {
            if (o.removed) continue;
            const double metres =
                nmToMetres(gf_distanceNm({user_.latitude, user_.longitude}, {o.latitude, o.longitude}));
            if (metres <= static_cast<double>(radiusMeters)) found.push_back(&o);
        }
    }
    std::vector<SimRecv> messages;
    for (std::size_t i = 0; i < found.size(); ++i) {
        SimRecv m = dataMessage(SimRecvId::SimObjectDataByType, requestId, defineId, *found[i]);
        m.entryNumber = static_cast<uint32_t>(i + 1);
        m.outOf = static_cast<uint32_t>(found.size());
        messages.push_back(std::move(m));
    }
    return messages;
}

std::vector<SimRecv> SimStandIn::applyClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                                  uint32_t sendId) {
    auto n = client_.eventNames.find(eventId);
    if (n == client_.eventNames.end())
        return {exceptionMessage(SimException::UnrecognizedId, sendId, eventIdParam)};
    if (objectId == SIM_OBJECT_ID_USER || objectId == userObjectId) return {};
    StandInObject* o = findAi(objectId);
    if (o == nullptr) return unknownObject(SimCall::TransmitClientEvent, objectId, sendId, eventObjectParam);
    lf_applyEvent(*o, n->second, data);
    recorder_.addEvent(*o, {simTime_, n->second, data});
    return {};
}

}  // namespace vdl
