#include "simlink/sim_layer.h"

#include <algorithm>
#include <mutex>

namespace vdl {

namespace {

std::mutex providerMutex;
SimBackendProvider backendProvider;

SimBackend* lf_backend(SimHandle handle) {
    return handle != nullptr ? handle->backend.get() : nullptr;
}

}  // namespace

std::size_t gf_simDataTypeSize(SimDataType type) {
    switch (type) {
        case SimDataType::Int32: return 4;
        case SimDataType::Int64: return 8;
        case SimDataType::Float32: return 4;
        case SimDataType::Float64: return 8;
        case SimDataType::String8: return 8;
        case SimDataType::String32: return 32;
        case SimDataType::String64: return 64;
        case SimDataType::String128: return 128;
        case SimDataType::String256: return 256;
    }
    return 0;
}

bool gf_simDataTypeIsString(SimDataType type) {
    return type == SimDataType::String8 || type == SimDataType::String32 ||
           type == SimDataType::String64 || type == SimDataType::String128 ||
           type == SimDataType::String256;
}

void SimDataReader::take(void* out, std::size_t n) {
    if (pos_ + n > data_.size())
        throw std::runtime_error("data block shorter than its definition");
    std::memcpy(out, data_.data() + pos_, n);
    pos_ += n;
}

double SimDataReader::f64() {
    double v = 0;
    take(&v, sizeof v);
    return v;
}

float SimDataReader::f32() {
    float v = 0;
    take(&v, sizeof v);
    return v;
}

int32_t SimDataReader::i32() {
    int32_t v = 0;
    take(&v, sizeof v);
    return v;
}

int64_t SimDataReader::i64() {
    int64_t v = 0;
    take(&v, sizeof v);
    return v;
}

std::string SimDataReader::text(SimDataType type) {
    const std::size_t n = gf_simDataTypeSize(type);
    std::string raw(n, '\0');
    take(raw.data(), n);
    raw.resize(std::min(raw.find('\0'), n));
    return raw;
}

void SimDataWriter::put(const void* p, std::size_t n) {
    const auto* b = static_cast<const std::byte*>(p);
    data_.insert(data_.end(), b, b + n);
}

void SimDataWriter::text(std::string_view s, SimDataType type) {
    const std::size_t n = gf_simDataTypeSize(type);
    std::string raw(n, '\0');
    std::memcpy(raw.data(), s.data(), std::min(s.size(), n - 1));
    put(raw.data(), n);
}

void gf_setSimBackendProvider(SimBackendProvider provider) {
    std::lock_guard lock(providerMutex);
    backendProvider = std::move(provider);
}

SimResult SimConnect_Open(SimHandle& handle, std::string_view applicationName) {
    handle = nullptr;
    std::shared_ptr<SimBackend> backend;
    {
        std::lock_guard lock(providerMutex);
        if (backendProvider) backend = backendProvider();
    }
    if (!backend) return SIM_FAIL;
    if (backend->open(applicationName) < 0) return SIM_FAIL;
    handle = new SimConnection{std::move(backend)};
    return SIM_OK;
}

SimResult SimConnect_Close(SimHandle handle) {
    if (handle == nullptr) return SIM_FAIL;
    if (handle->backend) handle->backend->close();
    delete handle;
    return SIM_OK;
}

SimResult SimConnect_AddToDataDefinition(SimHandle handle, uint32_t defineId,
                                         std::string_view datumName, std::string_view unitsName,
                                         SimDataType type) {
    auto* b = lf_backend(handle);
    return b ? b->addToDataDefinition(defineId, datumName, unitsName, type) : SIM_FAIL;
}

SimResult SimConnect_MapClientEventToSimEvent(SimHandle handle, uint32_t eventId,
                                              std::string_view eventName) {
    auto* b = lf_backend(handle);
    return b ? b->mapClientEventToSimEvent(eventId, eventName) : SIM_FAIL;
}

SimResult SimConnect_AddClientEventToNotificationGroup(SimHandle handle, uint32_t groupId,
                                                       uint32_t eventId, bool maskable) {
    auto* b = lf_backend(handle);
    return b ? b->addClientEventToNotificationGroup(groupId, eventId, maskable) : SIM_FAIL;
}

SimResult SimConnect_SetNotificationGroupPriority(SimHandle handle, uint32_t groupId,
                                                  uint32_t priority) {
    auto* b = lf_backend(handle);
    return b ? b->setNotificationGroupPriority(groupId, priority) : SIM_FAIL;
}

SimResult SimConnect_SubscribeToSystemEvent(SimHandle handle, uint32_t eventId,
                                            std::string_view systemEventName) {
    auto* b = lf_backend(handle);
    return b ? b->subscribeToSystemEvent(eventId, systemEventName) : SIM_FAIL;
}

SimResult SimConnect_AICreateNonATCAircraft(SimHandle handle, std::string_view title,
                                            std::string_view tailNumber,
                                            const SimInitPosition& position, uint32_t requestId) {
    auto* b = lf_backend(handle);
    return b ? b->aiCreateNonAtcAircraft(title, tailNumber, position, requestId) : SIM_FAIL;
}

SimResult SimConnect_AIRemoveObject(SimHandle handle, uint32_t objectId, uint32_t requestId) {
    auto* b = lf_backend(handle);
    return b ? b->aiRemoveObject(objectId, requestId) : SIM_FAIL;
}

SimResult SimConnect_AIReleaseControl(SimHandle handle, uint32_t objectId, uint32_t requestId) {
    auto* b = lf_backend(handle);
    return b ? b->aiReleaseControl(objectId, requestId) : SIM_FAIL;
}

void gf_noteAircraftOfObject(SimHandle handle, uint32_t objectId, uint32_t hexid) {
    if (auto* b = lf_backend(handle)) b->noteAircraftOfObject(objectId, hexid);
}

SimResult SimConnect_AISetAircraftFlightPlan(SimHandle handle, uint32_t objectId,
                                             std::string_view flightPlanPath, uint32_t requestId) {
    auto* b = lf_backend(handle);
    return b ? b->aiSetAircraftFlightPlan(objectId, flightPlanPath, requestId) : SIM_FAIL;
}

SimResult SimConnect_SetDataOnSimObject(SimHandle handle, uint32_t defineId, uint32_t objectId,
                                        uint32_t flags, uint32_t arrayCount, uint32_t unitSize,
                                        const void* data) {
    auto* b = lf_backend(handle);
    if (b == nullptr || (data == nullptr && unitSize > 0)) return SIM_FAIL;
    return b->setDataOnSimObject(defineId, objectId, flags, arrayCount, unitSize, data);
}

SimResult SimConnect_RequestDataOnSimObject(SimHandle handle, uint32_t requestId,
                                            uint32_t defineId, uint32_t objectId,
                                            SimPeriod period) {
    auto* b = lf_backend(handle);
    return b ? b->requestDataOnSimObject(requestId, defineId, objectId, period) : SIM_FAIL;
}

SimResult SimConnect_RequestDataOnSimObjectType(SimHandle handle, uint32_t requestId,
                                                uint32_t defineId, uint32_t radiusMeters,
                                                SimObjectType type) {
    auto* b = lf_backend(handle);
    return b ? b->requestDataOnSimObjectType(requestId, defineId, radiusMeters, type) : SIM_FAIL;
}

SimResult SimConnect_TransmitClientEvent(SimHandle handle, uint32_t objectId, uint32_t eventId,
                                         uint32_t data, uint32_t groupId, uint32_t flags) {
    auto* b = lf_backend(handle);
    return b ? b->transmitClientEvent(objectId, eventId, data, groupId, flags) : SIM_FAIL;
}

SimResult SimConnect_GetLastSentPacketID(SimHandle handle, uint32_t& sendId) {
    auto* b = lf_backend(handle);
    return b ? b->getLastSentPacketId(sendId) : SIM_FAIL;
}

SimResult SimConnect_GetNextDispatch(SimHandle handle, SimRecv& message) {
    auto* b = lf_backend(handle);
    return b ? b->getNextDispatch(message) : SIM_FAIL;
}

SimResult SimConnect_CallDispatch(SimHandle handle, SimDispatchProc proc, void* context) {
    auto* b = lf_backend(handle);
    if (b == nullptr || proc == nullptr) return SIM_FAIL;
    SimRecv message;
    while (b->getNextDispatch(message) >= 0) proc(message, context);
    return SIM_OK;
}

}  // namespace vdl
