#pragma once
// The simulator link: the SimConnect thread, its queues of AI commands drained once per
// simulator frame, the binding of new objects, and the user aircraft's state.
//
// Locks: simMutex guards the handle, the queues, the position send buffer and every
// direct call on the handle; functions that need it held take the caller's SimLock. The
// link's thread holds it while it dispatches and hands its notices upward (simReplyHook), the
// window and the exit entry only after letting it go, so a caller may take simMutex while
// holding its own reply lock.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simlink/sim_layer.h"
#include "simlink/sim_types.h"

namespace vdl {

// A value behind its own mutex, read and written whole (shared between threads).
template <class T>
class Guarded {
public:
    T load() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void store(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

struct UserOnGround {
    uint32_t value = 0;  // SIM ON GROUND, 1 on the ground
    bool known = false;
    double latitude = 0.0;  // last reported real position, degrees
    double longitude = 0.0;
    double groundVelocity = 0.0;  // kt
};

// --- shared with the traffic manager, under simMutex ---
inline std::mutex simMutex;
// A held lock on simMutex: functions that need simMutex take the caller's lock.
using SimLock = std::unique_lock<std::mutex>;
inline SimHandle hSimConnect = nullptr;           // null while not connected
inline std::vector<CreateAcCmd> simCreateQueue;    // sent with AICreateNonATCAircraft
inline std::vector<uint32_t> simRemovalIds;        // sent with AIRemoveObject
inline std::vector<ClientEventCmd> simEventQueue;  // sent in group GROUP_AI_EVENTS
inline std::vector<PositionUpdate> positionSendBuffer;  // set on the objects each frame
// Filled by the traffic step through gf_updateAircraft, touched only by the run worker;
// gf_swapPositionBuffers exchanges it with the send buffer.
inline std::vector<PositionUpdate> positionWriteBuffer;

// --- flags, safe from any thread ---
inline std::atomic<float> simFrameRate{0.0f};
inline std::atomic<bool> simStopped{false};  // repeated request failures: no more in-range requests
inline std::atomic<bool> simConnected{false};
inline std::atomic<bool> simStarted{false};  // a flight runs (Sim / SimStart)
inline std::atomic<bool> simPaused{false};
inline std::atomic<bool> simRunning{false};  // started and not paused
inline std::atomic<bool> simQuit{false};     // the simulator said Quit
inline std::atomic<uint32_t> flightsLoaded{0};  // FlightLoaded events since the link opened
// Set by each once-per-second on-ground reply of the user aircraft; the shell takes it.
inline std::atomic<bool> tickFlag{false};

// --- the user aircraft ---
inline UserAcState userAc;  // the run worker's copy, refreshed through gf_getUserAcData
inline Guarded<UserOnGround> userOnGround;
inline Guarded<std::string> userStand;  // stand at the user's position, "" when none

// Latitude 0..0.0009 together with longitude 0..0.05 degrees: the simulator has no position.
bool gf_isNullPosition(double latitude, double longitude);

// --- hooks upward, set before the link's thread starts; each defaults to nothing ---
// Every notice about AI objects (the traffic manager's gf_pushSimReply). Called on the
// link's thread without simMutex held.
void gf_setSimReplyHook(std::function<void(const SimReply&)> hook);
// The stand name at a position (gf_standNameAtPosition); "" when none.
void gf_setStandNameHook(std::function<std::string(double latitude, double longitude)> hook);
// The user aircraft stands still at this stand (lf_saveUserStand's store of the entry).
void gf_setSaveUserStandHook(std::function<void(const std::string& stand)> hook);

// --- queue operations for the traffic manager ---
void gf_queueCreateAc(const CreateAcCmd& command);  // takes simMutex
void gf_queueClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data = 0);  // takes simMutex
void gf_pushClientEvent(const SimLock& lock, uint32_t objectId, uint32_t eventId, uint32_t data = 0);
void gf_setCabinLights(uint32_t objectId, uint32_t value);  // CABIN_LIGHTS_SET, takes simMutex
void gf_updateAircraft(const PositionUpdate& position);      // write buffer, no lock
// Swaps write and send buffer and empties the new write buffer.
void gf_swapPositionBuffers(const SimLock& lock);
// The end of a run: objects created but never bound are removed with the others, at once when
// their id is known, else when the simulator tells it.
void gf_removeUnboundCreates(const SimLock& lock);
// Creates marked so whose id has not come yet: their removal is still to be queued.
std::size_t gf_createsAwaitingId(const SimLock& lock);
// Asks for the user aircraft's state (unless simStopped) and answers the last one received.
UserAcState gf_getUserAcData();
// Counts a failed request; from the third on the run ends with "SIMCONNECT ERROR". It takes
// the window's lock and the exit entry: never call it while holding simMutex.
void gf_simConnectRequestFailed();
int gf_failedRequestCount();

// --- the link ---
bool gf_simLinkOpen();   // connects and sets up definitions, events and the per-second request
void gf_simLinkPoll();   // one dispatch round: what the thread does every millisecond
void gf_simLinkClose();
void gf_startSimConnectThread();  // joins a previous one first
void gf_requestSimConnectStop();  // asks the thread to end, does not wait
void gf_stopSimConnectThread();   // asks and joins (only asks when called on the thread itself)
bool gf_simConnectThreadRunning();

// The link's one reset: the thread stopped, the connection closed, the hooks and the backend
// provider cleared, the create request ids from the start, and the run's state as
// gf_resetSimLinkBetweenRuns leaves it. As a fresh process has it; tests call it.
void gf_resetSimLink();
// Between two runs (before a restart; the thread has stopped and closed the connection): the
// queues, buffers, pending and bound objects, the user aircraft's state and stand, the failed
// request count and the flags of a run emptied. The hooks and the backend stay.
void gf_resetSimLinkBetweenRuns();

}  // namespace vdl
