#pragma once
// The simulator layer: our own SimConnect-shaped calls. A handle hides which simulator
// answers; behind it sits a SimBackend (the in-process stand-in on this platform).
// Every call returns a SimResult: negative means the call itself failed. Answers and
// asynchronous errors come back as SimRecv messages through the dispatch calls.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

using SimResult = std::int32_t;
inline constexpr SimResult SIM_OK = 0;
inline constexpr SimResult SIM_FAIL = -1;

// Object id that names the user aircraft in requests and events.
inline constexpr uint32_t SIM_OBJECT_ID_USER = 0;
inline constexpr uint32_t SIM_UNUSED = 0xFFFFFFFFu;

enum class SimDataType : uint32_t {
    Int32,
    Int64,
    Float32,
    Float64,
    String8,
    String32,
    String64,
    String128,
    String256,
};

// Bytes one datum of the type takes in a data block.
std::size_t gf_simDataTypeSize(SimDataType type);
bool gf_simDataTypeIsString(SimDataType type);

enum class SimPeriod : uint32_t { Never, Once, VisualFrame, SimFrame, Second };

enum class SimObjectType : uint32_t { User, All, Aircraft, Helicopter, Boat, Ground };

// SimConnect's own exception codes, so that a logged number reads the same with either
// backend; a code not named here passes through as its number.
enum class SimException : uint32_t {
    None = 0,
    Error = 1,
    UnrecognizedId = 3,
    NameUnrecognized = 7,
    EventIdDuplicate = 9,
    UnrecognizedUnits = 20,  // DATA_ERROR
    CreateObjectFailed = 22,
    LoadFlightplanFailed = 23,
    ObjectNotAi = 24,  // OPERATION_INVALID_FOR_OBJECT_TYPE
    OutOfBounds = 31,
};

enum class SimRecvId : uint32_t {
    Null,
    Exception,
    Open,
    Quit,
    Event,
    EventFrame,
    EventFilename,
    EventObjectAddRemove,
    AssignedObjectId,
    SimObjectData,
    SimObjectDataByType,
};

// One received message. Which fields count depends on `id`, as with SimConnect's
// SIMCONNECT_RECV_* records.
struct SimRecv {
    SimRecvId id = SimRecvId::Null;
    // SimObjectData, SimObjectDataByType, AssignedObjectId
    uint32_t requestId = 0;
    uint32_t objectId = 0;
    uint32_t defineId = 0;
    uint32_t entryNumber = 0;  // 1-based position in a by-type answer
    uint32_t outOf = 0;        // number of entries in a by-type answer
    std::vector<std::byte> data;  // the data block, laid out by the definition
    // Event, EventFrame, EventFilename, EventObjectAddRemove
    uint32_t groupId = SIM_UNUSED;
    uint32_t eventId = 0;
    uint32_t eventData = 0;  // EventObjectAddRemove: the object type
    float frameRate = 0.0f;
    float simSpeed = 0.0f;
    std::string fileName;
    // Exception
    SimException exception = SimException::None;
    uint32_t sendId = 0;
    uint32_t index = 0;
    // Open
    std::string applicationName;
};

// Reads a data block datum by datum, in the order of its definition.
class SimDataReader {
public:
    explicit SimDataReader(const std::vector<std::byte>& data) : data_(data) {}
    double f64();
    float f32();
    int32_t i32();
    int64_t i64();
    std::string text(SimDataType type);  // fixed-size string datum, up to its first NUL
    bool atEnd() const { return pos_ >= data_.size(); }

private:
    void take(void* out, std::size_t n);
    const std::vector<std::byte>& data_;
    std::size_t pos_ = 0;
};

// Builds a data block datum by datum.
class SimDataWriter {
public:
    void f64(double v) { put(&v, sizeof v); }
    void f32(float v) { put(&v, sizeof v); }
    void i32(int32_t v) { put(&v, sizeof v); }
    void i64(int64_t v) { put(&v, sizeof v); }
    void text(std::string_view s, SimDataType type);  // truncated to leave room for a NUL
    std::vector<std::byte>& bytes() { return data_; }

private:
    void put(const void* p, std::size_t n);
    std::vector<std::byte> data_;
};

// SIMCONNECT_DATA_INITPOSITION: degrees and feet.
struct SimInitPosition {
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;
    double pitch = 0.0;
    double bank = 0.0;
    double heading = 0.0;
    uint32_t onGround = 0;
    uint32_t airspeed = 0;
};

// What answers behind a handle. Implementations are safe to call from any thread.
class SimBackend {
public:
    virtual ~SimBackend() = default;

    virtual SimResult open(std::string_view applicationName) = 0;
    virtual void close() = 0;

    virtual SimResult addToDataDefinition(uint32_t defineId, std::string_view datumName,
                                          std::string_view unitsName, SimDataType type) = 0;
    virtual SimResult mapClientEventToSimEvent(uint32_t eventId, std::string_view eventName) = 0;
    virtual SimResult addClientEventToNotificationGroup(uint32_t groupId, uint32_t eventId,
                                                        bool maskable) = 0;
    virtual SimResult setNotificationGroupPriority(uint32_t groupId, uint32_t priority) = 0;
    virtual SimResult subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) = 0;

    virtual SimResult aiCreateNonAtcAircraft(std::string_view title, std::string_view tailNumber,
                                             const SimInitPosition& position,
                                             uint32_t requestId) = 0;
    virtual SimResult aiRemoveObject(uint32_t objectId, uint32_t requestId) = 0;
    virtual SimResult aiReleaseControl(uint32_t objectId, uint32_t requestId) = 0;
    virtual SimResult aiSetAircraftFlightPlan(uint32_t objectId, std::string_view path,
                                              uint32_t requestId) = 0;

    virtual SimResult setDataOnSimObject(uint32_t defineId, uint32_t objectId, uint32_t flags,
                                         uint32_t arrayCount, uint32_t unitSize,
                                         const void* data) = 0;
    virtual SimResult requestDataOnSimObject(uint32_t requestId, uint32_t defineId,
                                             uint32_t objectId, SimPeriod period) = 0;
    virtual SimResult requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId,
                                                 uint32_t radiusMeters, SimObjectType type) = 0;
    virtual SimResult transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                          uint32_t groupId, uint32_t flags) = 0;

    virtual SimResult getLastSentPacketId(uint32_t& sendId) = 0;
    // Takes the next received message; SIM_FAIL when none is waiting.
    virtual SimResult getNextDispatch(SimRecv& message) = 0;

    // Not a call of the simulator: the feed's aircraft (hexid) a new object flies, for a backend
    // that records its objects' tracks. The simulator itself does nothing with it.
    virtual void noteAircraftOfObject(uint32_t /*objectId*/, uint32_t /*hexid*/) {}
};

// The connection a handle stands for.
struct SimConnection {
    std::shared_ptr<SimBackend> backend;
};
using SimHandle = SimConnection*;

// Gives the backend that SimConnect_Open connects to; empty (or returning null) means no
// simulator is there. Set once at start-up by the shell, by tests before they open.
using SimBackendProvider = std::function<std::shared_ptr<SimBackend>()>;
void gf_setSimBackendProvider(SimBackendProvider provider);

// Flags of SimConnect_TransmitClientEvent.
inline constexpr uint32_t SIM_EVENT_FLAG_GROUPID_IS_PRIORITY = 0x10;
inline constexpr uint32_t SIM_GROUP_PRIORITY_HIGHEST = 1;

SimResult SimConnect_Open(SimHandle& handle, std::string_view applicationName);
SimResult SimConnect_Close(SimHandle handle);

SimResult SimConnect_AddToDataDefinition(SimHandle handle, uint32_t defineId,
                                         std::string_view datumName, std::string_view unitsName,
                                         SimDataType type = SimDataType::Float64);
SimResult SimConnect_MapClientEventToSimEvent(SimHandle handle, uint32_t eventId,
                                              std::string_view eventName);
SimResult SimConnect_AddClientEventToNotificationGroup(SimHandle handle, uint32_t groupId,
                                                       uint32_t eventId, bool maskable = false);
SimResult SimConnect_SetNotificationGroupPriority(SimHandle handle, uint32_t groupId,
                                                  uint32_t priority);
SimResult SimConnect_SubscribeToSystemEvent(SimHandle handle, uint32_t eventId,
                                            std::string_view systemEventName);

SimResult SimConnect_AICreateNonATCAircraft(SimHandle handle, std::string_view title,
                                            std::string_view tailNumber,
                                            const SimInitPosition& position, uint32_t requestId);
SimResult SimConnect_AIRemoveObject(SimHandle handle, uint32_t objectId, uint32_t requestId);
SimResult SimConnect_AIReleaseControl(SimHandle handle, uint32_t objectId, uint32_t requestId);
SimResult SimConnect_AISetAircraftFlightPlan(SimHandle handle, uint32_t objectId,
                                             std::string_view flightPlanPath, uint32_t requestId);

SimResult SimConnect_SetDataOnSimObject(SimHandle handle, uint32_t defineId, uint32_t objectId,
                                        uint32_t flags, uint32_t arrayCount, uint32_t unitSize,
                                        const void* data);
SimResult SimConnect_RequestDataOnSimObject(SimHandle handle, uint32_t requestId,
                                            uint32_t defineId, uint32_t objectId,
                                            SimPeriod period);
SimResult SimConnect_RequestDataOnSimObjectType(SimHandle handle, uint32_t requestId,
                                                uint32_t defineId, uint32_t radiusMeters,
                                                SimObjectType type);
SimResult SimConnect_TransmitClientEvent(SimHandle handle, uint32_t objectId, uint32_t eventId,
                                         uint32_t data, uint32_t groupId, uint32_t flags);

SimResult SimConnect_GetLastSentPacketID(SimHandle handle, uint32_t& sendId);
SimResult SimConnect_GetNextDispatch(SimHandle handle, SimRecv& message);

// Tells the backend which aircraft of the feed an object flies (see SimBackend).
void gf_noteAircraftOfObject(SimHandle handle, uint32_t objectId, uint32_t hexid);

// Hands every waiting message to the procedure, in order of arrival.
using SimDispatchProc = void (*)(const SimRecv& message, void* context);
SimResult SimConnect_CallDispatch(SimHandle handle, SimDispatchProc proc, void* context);

}  // namespace vdl
