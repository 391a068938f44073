// The stand-in as the simulator layer's backend: the client's connection, its definitions,
// events and subscriptions, the queue of answers, and the bookkeeping every call goes through.
// The calls about objects are in stand_in_objects.cpp.
#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "foundation/text.h"
#include "simulator/stand_in.h"

namespace vdl {

namespace {

constexpr std::array<std::string_view, 7> knownSystemEvents{
    "Frame", "Pause", "Sim", "SimStart", "SimStop", "FlightLoaded", "ObjectRemoved"};

// Exceptions name the parameter at fault by its position in the call, from 1.
constexpr uint32_t groupEventParam = 2;
constexpr uint32_t systemEventNameParam = 2;

}  // namespace

// ---------------------------------------------------------------- bookkeeping

SimResult SimStandIn::submit(SimCall call, uint32_t objectId, uint32_t requestId, std::string detail,
                             Answer answer) {
    CallRecord rec;
    rec.frame = frame_;
    rec.time = simTime_;
    rec.call = call;
    rec.objectId = objectId;
    rec.requestId = requestId;
    rec.detail = std::move(detail);
    if (!client_.open || quit_) {
        rec.failed = true;
        recorder_.addCall(std::move(rec));
        return SIM_FAIL;
    }
    rec.sendId = ++client_.sendCounter;
    const auto fault = faults_.take(call, requestId);
    rec.failed = fault && fault->kind == FaultKind::Fail;
    const uint32_t sendId = rec.sendId;
    const bool failed = rec.failed;
    const uint64_t callIndex = recorder_.addCall(std::move(rec));
    if (failed) return SIM_FAIL;
    if (answer) {
        Job j;
        j.dueFrame = frame_ + 1;
        if (fault && fault->kind == FaultKind::Late) j.dueFrame += fault->delayFrames;
        j.dropAnswer = fault && fault->kind == FaultKind::Missing;
        j.run = [answer = std::move(answer), sendId, callIndex] { return answer(sendId, callIndex); };
        client_.jobs.push_back(std::move(j));
    }
    return SIM_OK;
}

void SimStandIn::recordUnsubmitted(SimCall call, std::string detail) {
    CallRecord rec;
    rec.frame = frame_;
    rec.time = simTime_;
    rec.call = call;
    rec.detail = std::move(detail);
    recorder_.addCall(std::move(rec));
}

SimRecv SimStandIn::exceptionMessage(SimException exception, uint32_t sendId, uint32_t index) const {
    SimRecv m;
    m.id = SimRecvId::Exception;
    m.exception = exception;
    m.sendId = sendId;
    m.index = index;
    return m;
}

void SimStandIn::postException(SimException exception, uint32_t sendId, uint32_t index) {
    client_.outbox.push_back(exceptionMessage(exception, sendId, index));
}

std::vector<SimRecv> SimStandIn::unknownObject(SimCall call, uint32_t objectId, uint32_t sendId,
                                               uint32_t index) {
    recorder_.addStrayCall({objectId, simTime_, std::string(gf_simCallName(call))});
    return {exceptionMessage(SimException::UnrecognizedId, sendId, index)};
}

void SimStandIn::postEvent(std::string_view systemEvent, uint32_t data) {
    if (!client_.open) return;
    auto it = client_.systemEvents.find(systemEvent);
    if (it == client_.systemEvents.end()) return;
    SimRecv m;
    m.id = SimRecvId::Event;
    m.eventId = it->second;
    m.eventData = data;
    client_.outbox.push_back(std::move(m));
}

SimRecv SimStandIn::dataMessage(SimRecvId id, uint32_t requestId, uint32_t defineId,
                                const StandInObject& o) const {
    SimRecv m;
    m.id = id;
    m.requestId = requestId;
    m.objectId = o.id;
    m.defineId = defineId;
    m.entryNumber = 1;
    m.outOf = 1;
    if (auto def = client_.definitions.find(defineId); def != client_.definitions.end())
        m.data = gf_encodeSimData(def->second, o, varContext());
    return m;
}

// ---------------------------------------------------------------- the connection

SimResult SimStandIn::open(std::string_view applicationName) {
    std::lock_guard lock(worldMutex);
    if (quit_ || client_.open) return SIM_FAIL;
    client_ = Client{};
    client_.open = true;
    recordUnsubmitted(SimCall::Open, std::string(applicationName));
    SimRecv m;
    m.id = SimRecvId::Open;
    m.applicationName = "Simulator stand-in";
    client_.outbox.push_back(std::move(m));
    return SIM_OK;
}

void SimStandIn::close() {
    std::lock_guard lock(worldMutex);
    if (!client_.open) return;
    recordUnsubmitted(SimCall::Close, {});
    // The simulator takes a client's AI objects away when the client goes.
    for (uint32_t id : std::vector<uint32_t>(client_.objects.begin(), client_.objects.end()))
        if (auto* o = findAi(id)) removeObject(*o, "removed at close");
    client_ = Client{};
}

SimResult SimStandIn::getLastSentPacketId(uint32_t& sendId) {
    std::lock_guard lock(worldMutex);
    if (!client_.open) return SIM_FAIL;
    sendId = client_.sendCounter;
    return SIM_OK;
}

std::size_t SimStandIn::undeliveredMessages() const {
    std::lock_guard lock(worldMutex);
    return client_.outbox.size();
}

SimResult SimStandIn::getNextDispatch(SimRecv& message) {
    std::lock_guard lock(worldMutex);
    if (client_.outbox.empty()) return SIM_FAIL;
    message = std::move(client_.outbox.front());
    client_.outbox.pop_front();
    return SIM_OK;
}

// ---------------------------------------------------------------- definitions and events

SimResult SimStandIn::addToDataDefinition(uint32_t defineId, std::string_view datumName,
                                          std::string_view unitsName, SimDataType type) {
    std::lock_guard lock(worldMutex);
    const SimResult r = submit(SimCall::AddToDataDefinition, 0, 0,
                               fmt::format("def {} \"{}\" \"{}\"", defineId, datumName, unitsName), nullptr);
    if (r < 0) return r;
    auto& def = client_.definitions[defineId];
    const uint32_t sendId = client_.sendCounter;
    const uint32_t index = static_cast<uint32_t>(def.size());
    const auto var = gf_findSimVar(datumName);
    if (!var) {
        postException(SimException::NameUnrecognized, sendId, index);
        return SIM_OK;
    }
    const SimVarSpec& varDef = gf_simVarSpec(*var);
    if ((varDef.dim == SimVarDim::Text) != gf_simDataTypeIsString(type)) {
        postException(SimException::Error, sendId, index);
        return SIM_OK;
    }
    const auto scale = gf_simVarUnitScale(varDef.dim, unitsName);
    if (!scale) {
        postException(SimException::UnrecognizedUnits, sendId, index);
        return SIM_OK;
    }
    def.push_back({std::string(datumName), std::string(unitsName), type, *var, *scale});
    return SIM_OK;
}

SimResult SimStandIn::mapClientEventToSimEvent(uint32_t eventId, std::string_view eventName) {
    std::lock_guard lock(worldMutex);
    const SimResult r =
        submit(SimCall::MapClientEventToSimEvent, 0, 0, fmt::format("{} {}", eventId, eventName), nullptr);
    if (r < 0) return r;
    if (client_.eventNames.count(eventId)) {
        postException(SimException::EventIdDuplicate, client_.sendCounter);
        return SIM_OK;
    }
    client_.eventNames[eventId] = gf_toUpper(eventName);
    return SIM_OK;
}

SimResult SimStandIn::addClientEventToNotificationGroup(uint32_t groupId, uint32_t eventId, bool maskable) {
    std::lock_guard lock(worldMutex);
    const SimResult r =
        submit(SimCall::AddClientEventToNotificationGroup, 0, 0,
               fmt::format("group {} event {} maskable {}", groupId, eventId, maskable), nullptr);
    if (r < 0) return r;
    if (!client_.eventNames.count(eventId)) {
        postException(SimException::UnrecognizedId, client_.sendCounter, groupEventParam);
        return SIM_OK;
    }
    client_.eventGroups[eventId] = groupId;
    return SIM_OK;
}

SimResult SimStandIn::setNotificationGroupPriority(uint32_t groupId, uint32_t priority) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::SetNotificationGroupPriority, 0, 0,
                  fmt::format("group {} priority {}", groupId, priority), nullptr);
}

SimResult SimStandIn::subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) {
    std::lock_guard lock(worldMutex);
    const SimResult r =
        submit(SimCall::SubscribeToSystemEvent, 0, 0, fmt::format("{} {}", eventId, eventName), nullptr);
    if (r < 0) return r;
    auto known = std::find_if(knownSystemEvents.begin(), knownSystemEvents.end(),
                              [&](std::string_view n) { return gf_toUpper(n) == gf_toUpper(eventName); });
    if (known == knownSystemEvents.end()) {
        postException(SimException::NameUnrecognized, client_.sendCounter, systemEventNameParam);
        return SIM_OK;
    }
    client_.systemEvents[std::string(*known)] = eventId;
    // A late subscriber learns the current state at once.
    if (*known == "Sim") postEvent("Sim", simRunning_ ? 1 : 0);
    if (*known == "Pause") postEvent("Pause", paused_ ? 1 : 0);
    return SIM_OK;
}

}  // namespace vdl
