#pragma once
// The in-process simulator stand-in behind the simulator layer. It keeps a small world
// (AI objects, a scripted user aircraft, terrain, installed titles), answers the layer's
// calls as the simulator would, records every call and each object's track, and can
// inject faults. It runs stepped by a test (no threads) or on its own frame thread.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "simlink/sim_layer.h"

namespace vdl {

// The layer's calls, as the stand-in records them.
enum class SimCall : uint32_t {
    Open,
    Close,
    AddToDataDefinition,
    MapClientEventToSimEvent,
    AddClientEventToNotificationGroup,
    SetNotificationGroupPriority,
    SubscribeToSystemEvent,
    AICreateNonATCAircraft,
    AIRemoveObject,
    AIReleaseControl,
    AISetAircraftFlightPlan,
    SetDataOnSimObject,
    RequestDataOnSimObject,
    RequestDataOnSimObjectType,
    TransmitClientEvent,
};
std::string_view gf_simCallName(SimCall call);

// Fail: the call returns SIM_FAIL and does nothing. Late: its effect and answer come
// `delayFrames` frames later than usual. Missing: the effect happens, the answer never comes.
enum class FaultKind { Fail, Late, Missing };

struct CallRecord {
    uint64_t frame = 0;
    double time = 0.0;  // simulation seconds
    SimCall call = SimCall::Open;
    uint32_t objectId = 0;  // 0 when the call names no object (a create: the id it got)
    uint32_t requestId = 0;
    uint32_t sendId = 0;
    std::string detail;  // event name and data, definition id, title, ...
    bool failed = false;
};

struct StandInLights {
    bool nav = false;
    bool beacon = false;
    bool landing = false;
    bool taxi = false;
    bool strobe = false;
    bool logo = false;
    bool cabin = false;
    bool operator==(const StandInLights&) const = default;
};

// One sample of an object's flight: recorded at creation and at every position set.
struct TrackPoint {
    double time = 0.0;  // simulation seconds
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;  // ft
    double pitch = 0.0;     // radians
    double bank = 0.0;
    double heading = 0.0;
    double trueAirspeed = 0.0;   // kt, as set
    double verticalSpeed = 0.0;  // ft/s, as set
    double groundSpeed = 0.0;    // kt, from the distance to the previous sample
    double altAboveGround = 0.0;
    bool onGround = false;
};

// A client event as the object received it, or a life event ("created", "removed").
struct TrackEvent {
    double time = 0.0;
    std::string name;
    uint32_t data = 0;
};

struct StandInObject {
    uint32_t id = 0;
    bool isUser = false;
    std::string title;
    std::string tailNumber;
    double latitude = 0.0;  // degrees
    double longitude = 0.0;
    double altitude = 0.0;  // ft
    double pitch = 0.0;     // radians, negative nose up
    double bank = 0.0;
    double heading = 0.0;        // true, radians
    double trueAirspeed = 0.0;   // kt
    double verticalSpeed = 0.0;  // ft/s
    double groundSpeed = 0.0;    // kt
    bool userOnGround = false;   // the user aircraft's scripted flag
    bool frozenLatLon = false;
    bool frozenAltitude = false;
    bool frozenAttitude = false;
    bool aiReleased = false;
    StandInLights lights;
    uint32_t flaps = 0;     // FLAPS_SET value
    uint32_t spoilers = 0;  // SPOILERS_SET value
    uint32_t throttle = 0;  // THROTTLE_SET value
    bool gearDown = false;
    bool enginesRunning = false;
    double spoilersHandle = 0.0;  // percent
    double throttleLever1 = 0.0;  // percent
    double throttleLever2 = 0.0;  // percent
    std::string flightPlan;
    bool removed = false;
    double createdAt = 0.0;
    double removedAt = 0.0;
    std::deque<TrackPoint> track;
    std::vector<TrackEvent> events;

    bool frozen() const { return frozenLatLon && frozenAltitude && frozenAttitude; }
};

// Where the scripted user aircraft is at a time; positions between key frames are
// interpolated, flags and lights come from the earlier key frame.
struct UserKeyframe {
    double time = 0.0;  // simulation seconds
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0;  // ft
    double pitch = 0.0;     // radians
    double bank = 0.0;
    double heading = 0.0;
    double groundSpeed = 0.0;  // kt
    bool onGround = true;
    StandInLights lights;
};

// How much the stand-in remembers, so that a long run in the program stays bounded:
// the oldest calls and track points and the longest-removed objects are forgotten first.
struct RecordLimits {
    std::size_t maxCalls = 200000;
    std::size_t maxTrackPoints = 36000;  // per object: ten minutes of positions at 60 frames/s
    std::size_t maxRemovedObjects = 1000;
};

struct TitleInfo {
    double staticCgHeight = 8.0;  // ft, "Static CG to Ground"
    double staticPitch = 0.0;     // radians, "Static Pitch"
};

class SimStandIn : public SimBackend {
public:
    static constexpr uint32_t userObjectId = 1;
    static constexpr uint32_t firstAiObjectId = 3;
    static constexpr uint32_t maxRadiusMeters = 200000;

    SimStandIn();
    ~SimStandIn() override;
    SimStandIn(const SimStandIn&) = delete;
    SimStandIn& operator=(const SimStandIn&) = delete;

    // --- the world ---
    void installTitle(std::string title, TitleInfo info = {});
    bool isInstalled(std::string_view title) const;
    void setTerrainElevation(double feet);  // everywhere outside the airports
    // Flat ground at the airport's elevation within radiusNm, blending into the
    // surrounding elevation over the next radiusNm.
    void addAirport(double latitude, double longitude, double radiusNm, double elevationFt);
    double terrainElevation(double latitude, double longitude) const;
    void setUserScript(std::vector<UserKeyframe> keyframes);
    void setUserAtcId(std::string atcId);
    void setUtcStart(int64_t epochSeconds);
    void setFrameRate(double framesPerSecond);  // clamped to 1..1000
    double frameRate() const;

    // --- the simulator's state ---
    void startSim();
    void stopSim();
    void setPaused(bool paused);
    void loadFlight(std::string fileName);
    void quit();  // the client gets Quit; every later call fails
    bool paused() const;
    bool running() const;

    void setRecordLimits(RecordLimits limits);

    // --- faults ---
    // The next `count` calls of the kind (with this request id, when given) get the fault.
    void injectFault(SimCall call, FaultKind kind, int count = 1, uint32_t delayFrames = 0,
                     std::optional<uint32_t> requestId = {});
    void clearFaults();

    // --- frames ---
    void step();  // one frame
    void stepFrames(int frames);
    void stepSeconds(double seconds);  // frames for this much simulation time at the frame rate
    void startFrameThread();  // program mode: frames at the frame rate on its own thread
    void stopFrameThread();
    uint64_t frameCount() const;
    double simTime() const;

    // --- what happened (copies) ---
    std::optional<StandInObject> object(uint32_t id) const;
    std::optional<StandInObject> objectByTail(std::string_view tailNumber) const;
    std::vector<StandInObject> aiObjects() const;  // removed ones too, in order of creation
    std::size_t liveObjectCount() const;           // AI objects not removed
    StandInObject userAircraft() const;
    std::vector<CallRecord> calls() const;
    std::vector<CallRecord> callsFor(uint32_t objectId) const;
    bool clientOpen() const;

    // --- SimBackend ---
    SimResult open(std::string_view applicationName) override;
    void close() override;
    SimResult addToDataDefinition(uint32_t defineId, std::string_view datumName,
                                  std::string_view unitsName, SimDataType type) override;
    SimResult mapClientEventToSimEvent(uint32_t eventId, std::string_view eventName) override;
    SimResult addClientEventToNotificationGroup(uint32_t groupId, uint32_t eventId,
                                                bool maskable) override;
    SimResult setNotificationGroupPriority(uint32_t groupId, uint32_t priority) override;
    SimResult subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) override;
    SimResult aiCreateNonAtcAircraft(std::string_view title, std::string_view tailNumber,
                                     const SimInitPosition& position, uint32_t requestId) override;
    SimResult aiRemoveObject(uint32_t objectId, uint32_t requestId) override;
    SimResult aiReleaseControl(uint32_t objectId, uint32_t requestId) override;
    SimResult aiSetAircraftFlightPlan(uint32_t objectId, std::string_view path,
                                      uint32_t requestId) override;
    SimResult setDataOnSimObject(uint32_t defineId, uint32_t objectId, uint32_t flags,
                                 uint32_t arrayCount, uint32_t unitSize,
                                 const void* data) override;
    SimResult requestDataOnSimObject(uint32_t requestId, uint32_t defineId, uint32_t objectId,
                                     SimPeriod period) override;
    SimResult requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId,
                                         uint32_t radiusMeters, SimObjectType type) override;
    SimResult transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                  uint32_t groupId, uint32_t flags) override;
    SimResult getLastSentPacketId(uint32_t& sendId) override;
    SimResult getNextDispatch(SimRecv& message) override;

private:
    struct Datum {
        std::string name;
        std::string units;
        SimDataType type = SimDataType::Float64;
        int var = -1;       // index into the simulation-variable table
        double scale = 1;   // canonical value x scale = value in the datum's units
    };
    struct Job {
        uint64_t dueFrame = 0;
        bool dropAnswer = false;
        std::function<std::vector<SimRecv>()> run;
    };
    struct Periodic {
        uint32_t requestId = 0;
        uint32_t defineId = 0;
        uint32_t objectId = 0;
        SimPeriod period = SimPeriod::Never;
        double nextSecond = 0.0;
    };
    struct FaultRule {
        SimCall call = SimCall::Open;
        FaultKind kind = FaultKind::Fail;
        int remaining = 0;
        uint32_t delayFrames = 0;
        std::optional<uint32_t> requestId;
    };
    struct Airport {
        double latitude = 0.0;
        double longitude = 0.0;
        double radiusNm = 0.0;
        double elevation = 0.0;
    };

    // All below run with worldMutex held.
    std::optional<FaultRule> takeFault(SimCall call, uint32_t requestId);
    // Records the call, applies a fault; returns SIM_FAIL for a failed call, else queues
    // the job (unless null) for the next frame and returns SIM_OK.
    SimResult submit(SimCall call, uint32_t objectId, uint32_t requestId, std::string detail,
                     std::function<std::vector<SimRecv>(uint32_t sendId, std::size_t record)> job);
    SimRecv exceptionMessage(SimException exception, uint32_t sendId, uint32_t index = 0) const;
    void postException(SimException exception, uint32_t sendId, uint32_t index = 0);
    StandInObject* findObject(uint32_t id);  // 0 names the user aircraft
    const StandInObject* findObject(uint32_t id) const;
    StandInObject* findAi(uint32_t id);  // an AI object of this world that is not removed
    double terrainAt(double latitude, double longitude) const;
    const TitleInfo& titleInfo(const StandInObject& o) const;
    bool aiOnGround(const StandInObject& o) const;
    double varValue(const StandInObject& o, int var) const;
    std::string varText(const StandInObject& o, int var) const;
    bool encode(const StandInObject& o, uint32_t defineId, std::vector<std::byte>& out) const;
    SimRecv dataMessage(SimRecvId id, uint32_t requestId, uint32_t defineId,
                        const StandInObject& o) const;
    void recordTrack(StandInObject& o);
    void updateUser();
    void removeObject(StandInObject& o, std::string_view how);
    void postEvent(std::string_view systemEvent, uint32_t data);
    void frameLocked();
    void frameLoop(std::stop_token stop);

    mutable std::mutex worldMutex;
    // world
    std::map<std::string, TitleInfo, std::less<>> titles_;
    double terrainBase_ = 0.0;
    std::vector<Airport> airports_;
    std::vector<UserKeyframe> userScript_;
    StandInObject user_;
    std::map<uint32_t, StandInObject> objects_;  // AI objects by id
    uint32_t nextObjectId_ = firstAiObjectId;
    int64_t utcStart_ = 1767268800;  // 2026-01-01 12:00:00 UTC
    double frameRate_ = 30.0;
    bool simRunning_ = false;
    bool paused_ = false;
    bool quit_ = false;
    uint64_t frame_ = 0;
    double simTime_ = 0.0;
    RecordLimits limits_;
    std::deque<CallRecord> calls_;
    uint64_t callsDropped_ = 0;  // calls forgotten from the front of calls_
    std::deque<uint32_t> removedOrder_;
    std::vector<FaultRule> faults_;
    // the client
    bool open_ = false;
    uint32_t sendCounter_ = 0;
    std::map<uint32_t, std::vector<Datum>> definitions_;
    std::map<uint32_t, std::string> eventNames_;
    std::map<uint32_t, uint32_t> eventGroups_;
    std::map<std::string, uint32_t, std::less<>> systemEvents_;
    std::vector<Periodic> periodic_;
    std::set<uint32_t> clientObjects_;
    std::vector<Job> jobs_;
    std::deque<SimRecv> outbox_;
    // program mode
    std::mutex threadMutex;
    std::jthread frameThread_;
};

}  // namespace vdl
