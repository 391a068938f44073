#pragma once
// The in-process simulator stand-in behind the simulator layer. It keeps a small world
// (AI objects, a scripted user aircraft, terrain, installed titles), answers the layer's
// calls as the simulator would, records every call and each object's track, and can
// inject faults. It runs stepped by a test (no threads) or on its own frame thread.
//
// worldMutex guards the world, the simulator's state and the client's; the recorder has its own
// lock, taken after worldMutex. threadMutex guards the frame thread's handle only.
#include <cstdint>
#include <deque>
#include <filesystem>
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
#include "simulator/stand_in_faults.h"
#include "simulator/stand_in_recorder.h"
#include "simulator/stand_in_types.h"
#include "simulator/stand_in_user_script.h"
#include "simulator/stand_in_vars.h"
#include "simulator/stand_in_world.h"

namespace vdl {

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
    // The calls received so far are answered, the client's objects go ("removed at quit") and
    // the client gets Quit; every later call fails.
    void quit();
    bool paused() const;
    bool running() const;
    bool hasQuit() const;

    // --- the records ---
    void setRecordLimits(RecordLimits limits);
    // The program's way: tracks and events go to the file as they come and the objects keep
    // only their latest point. False when the file cannot be written. Before the first object.
    bool streamTracksTo(const std::filesystem::path& path);
    // Ends the streamed track file: the number of objects in it, none when it is incomplete.
    std::optional<std::size_t> finishTracks();

    // --- faults ---
    // The next `count` calls of the kind (with this request id, when given) get the fault.
    void injectFault(SimCall call, FaultKind kind, int count = 1, uint32_t delayFrames = 0,
                     std::optional<uint32_t> requestId = {});
    void clearFaults();

    // --- frames ---
    void step();  // one frame
    void stepFrames(int frames);
    void stepSeconds(double seconds);  // frames for this much simulation time at the frame rate
    void startFrameThread();           // program mode: frames at the frame rate on its own thread
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
    // Calls that failed because their AI object was unknown or removed.
    std::vector<StrayCall> strayCalls() const;
    bool clientOpen() const;
    std::size_t undeliveredMessages() const;  // queued for the client, not yet dispatched

    // --- SimBackend (stand_in_backend.cpp, stand_in_objects.cpp) ---
    SimResult open(std::string_view applicationName) override;
    void close() override;
    SimResult addToDataDefinition(uint32_t defineId, std::string_view datumName, std::string_view unitsName,
                                  SimDataType type) override;
    SimResult mapClientEventToSimEvent(uint32_t eventId, std::string_view eventName) override;
    SimResult addClientEventToNotificationGroup(uint32_t groupId, uint32_t eventId, bool maskable) override;
    SimResult setNotificationGroupPriority(uint32_t groupId, uint32_t priority) override;
    SimResult subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) override;
    SimResult aiCreateNonAtcAircraft(std::string_view title, std::string_view tailNumber,
                                     const SimInitPosition& position, uint32_t requestId) override;
    SimResult aiRemoveObject(uint32_t objectId, uint32_t requestId) override;
    SimResult aiReleaseControl(uint32_t objectId, uint32_t requestId) override;
    // Recorded as the object's event "hexid" (its data the hexid), so that checks of the tracks
    // know which aircraft each object flew.
    void noteAircraftOfObject(uint32_t objectId, uint32_t hexid) override;
    SimResult aiSetAircraftFlightPlan(uint32_t objectId, std::string_view path, uint32_t requestId) override;
    SimResult setDataOnSimObject(uint32_t defineId, uint32_t objectId, uint32_t flags, uint32_t arrayCount,
                                 uint32_t unitSize, const void* data) override;
    SimResult requestDataOnSimObject(uint32_t requestId, uint32_t defineId, uint32_t objectId,
                                     SimPeriod period) override;
    SimResult requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId, uint32_t radiusMeters,
                                         SimObjectType type) override;
    SimResult transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data, uint32_t groupId,
                                  uint32_t flags) override;
    SimResult getLastSentPacketId(uint32_t& sendId) override;
    SimResult getNextDispatch(SimRecv& message) override;

  private:
    // The answers of an accepted call, made when its frame comes.
    using Answer = std::function<std::vector<SimRecv>(uint32_t sendId, uint64_t callIndex)>;
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
    // What a connected client set up; all of it goes when it closes.
    struct Client {
        bool open = false;
        uint32_t sendCounter = 0;
        std::map<uint32_t, SimDefinition> definitions;
        std::map<uint32_t, std::string> eventNames;  // upper case
        std::map<uint32_t, uint32_t> eventGroups;
        std::map<std::string, uint32_t, std::less<>> systemEvents;
        std::vector<Periodic> periodic;
        std::set<uint32_t> objects;  // the AI objects it created
        std::vector<Job> jobs;
        std::deque<SimRecv> outbox;
    };

    // All below run with worldMutex held.
    // Records the call, applies a fault; returns SIM_FAIL for a failed call, else queues
    // the answer (unless null) for the next frame and returns SIM_OK.
    SimResult submit(SimCall call, uint32_t objectId, uint32_t requestId, std::string detail, Answer answer);
    void recordUnsubmitted(SimCall call, std::string detail);  // Open and Close
    SimRecv exceptionMessage(SimException exception, uint32_t sendId, uint32_t index = 0) const;
    void postException(SimException exception, uint32_t sendId, uint32_t index = 0);
    // The answer to a call about an unknown or removed AI object, recorded as a stray call.
    std::vector<SimRecv> unknownObject(SimCall call, uint32_t objectId, uint32_t sendId, uint32_t index);
    void postEvent(std::string_view systemEvent, uint32_t data);
    SimRecv dataMessage(SimRecvId id, uint32_t requestId, uint32_t defineId, const StandInObject& o) const;
    SimVarContext varContext() const;
    StandInObject* findObject(uint32_t id);  // 0 names the user aircraft
    const StandInObject* findObject(uint32_t id) const;
    StandInObject* findAi(uint32_t id);  // an AI object of this world that is not removed
    void recordTrack(StandInObject& o);
    void removeObject(StandInObject& o, std::string_view how);

    // The answers of the object calls, when their frame comes.
    std::vector<SimRecv> createObject(const std::string& title, const std::string& tail,
                                      const SimInitPosition& position, uint32_t requestId, uint32_t sendId,
                                      uint64_t callIndex);
    std::vector<SimRecv> removeByClient(uint32_t objectId, uint32_t sendId);
    std::vector<SimRecv> releaseControl(uint32_t objectId, uint32_t sendId);
    std::vector<SimRecv> setFlightPlan(uint32_t objectId, const std::string& path, uint32_t sendId);
    std::vector<SimRecv> setData(uint32_t defineId, uint32_t objectId, uint32_t unitSize,
                                 const std::vector<std::byte>& bytes, uint32_t sendId);
    std::vector<SimRecv> answerRequest(uint32_t requestId, uint32_t defineId, uint32_t objectId,
                                       SimPeriod period, uint32_t sendId);
    std::vector<SimRecv> answerRequestByType(uint32_t requestId, uint32_t defineId, uint32_t radiusMeters,
                                             SimObjectType type, uint32_t sendId);
    std::vector<SimRecv> applyClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                          uint32_t sendId);

    // One frame: time, the user's script, due answers, frame events and periodic data.
    void frameLocked();
    void runJobs(bool all);  // those due by this frame, or all
    void postFrameEvent();
    void sendPeriodicData();
    // The frame thread's body; takes worldMutex for each frame.
    void frameLoop(std::stop_token stop);

    mutable std::mutex worldMutex;
    // the world
    StandInWorld world_;
    UserScript userScript_;
    StandInObject user_;
    std::map<uint32_t, StandInObject> objects_;  // AI objects by id
    std::deque<uint32_t> removedOrder_;          // removed objects, longest removed first
    uint32_t nextObjectId_ = firstAiObjectId;
    int64_t utcStart_ = 1767268800;  // 2026-01-01 12:00:00 UTC
    double frameRate_ = 30.0;
    // the simulator's state
    bool simRunning_ = false;
    bool paused_ = false;
    bool quit_ = false;
    uint64_t frame_ = 0;
    double simTime_ = 0.0;
    FaultPlan faults_;
    // the client
    Client client_;
    // the records (own lock)
    StandInRecorder recorder_;
    // program mode
    std::mutex threadMutex;
    std::jthread frameThread_;
};

}  // namespace vdl
