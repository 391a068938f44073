#pragma once
// What the simulator stand-in keeps and reports: the layer's calls as recorded, the objects of
// its world with their tracks, the user aircraft's script and the installed titles.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

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
    // While the tracks stream to a file, only the latest point is kept and no events.
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
// A call about an AI object the world does not know or has removed, which failed.
struct StrayCall {
    uint32_t objectId = 0;
    double time = 0.0;
    std::string call;
};

struct RecordLimits {
    std::size_t maxCalls = 200000;
    std::size_t maxTrackPoints = 36000;  // per object: ten minutes of positions at 60 frames/s
    std::size_t maxRemovedObjects = 1000;
    // While the tracks stream to a file: at most one point per object this often (simulation
    // seconds; 0 every point). Events, removals and stray calls all go to the file.
    double streamedPointSeconds = 0.0;
};

struct TitleInfo {
    double staticCgHeight = 8.0;  // ft, "Static CG to Ground"
    double staticPitch = 0.0;     // radians, "Static Pitch"
};

}  // namespace vdl
