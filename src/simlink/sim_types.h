#pragma once
// The commands the traffic manager hands to the simulator link, the notices that come
// back, and the ids of the link's definitions, requests and events.
#include <cstdint>
#include <string>
#include <string_view>

#include "simlink/sim_layer.h"

namespace vdl {

// Data definitions.
enum SimDefinitionId : uint32_t {
    DEF_SPOILERS_THROTTLE = 401,  // spoilers handle, throttle levers 1 and 2 (percent)
    DEF_AI_POSITION = 402,        // PositionUpdate without its object id
    DEF_USER_STATE = 403,         // UserAcState
    DEF_IN_RANGE = 404,           // ATC id, on ground, ground altitude, height above ground, position
    DEF_STATIC_CG = 405,          // Static CG to ground, static pitch
    DEF_USER_ON_GROUND = 406,     // on ground, position and ground speed of the user aircraft
};

// Requests.
enum SimRequestId : uint32_t {
    REQUEST_IN_RANGE = 101,
    REQUEST_STATIC_CG = 102,
    REQUEST_USER_STATE = 103,
    REQUEST_USER_ON_GROUND = 104,
    REQUEST_FLIGHT_PLAN = 110,
    REQUEST_REMOVE = 120,
    REQUEST_RELEASE = 121,
    REQUEST_CREATE_FIRST = 1000,  // each create gets its own id from here on
};

// Client events, all in notification group GROUP_AI_EVENTS.
enum ClientEventId : uint32_t {
    BEACON_LIGHTS_SET = 206,
    NAV_LIGHTS_SET = 207,
    TAXI_LIGHTS_SET = 208,
    STROBES_SET = 209,
    LANDING_LIGHTS_SET = 210,
    CABIN_LIGHTS_SET = 211,
    LOGO_LIGHTS_SET = 212,
    ALL_LIGHTS_TOGGLE = 213,
    FREEZE_LATITUDE_LONGITUDE_SET = 214,
    FREEZE_ALTITUDE_SET = 215,
    FREEZE_ATTITUDE_SET = 216,
    FLAPS_SET = 217,
    SPOILERS_SET = 218,
    GEAR_SET = 219,
    ENGINE_AUTO_START = 220,
    ENGINE_AUTO_SHUTDOWN = 221,
    THROTTLE_SET = 222,
};
inline constexpr uint32_t GROUP_AI_EVENTS = 301;

// The simulator's name of a client event ("" for an id that is not one of ours).
std::string_view gf_clientEventName(uint32_t eventId);

// System events.
enum SystemEventId : uint32_t {
    SYSTEM_EVENT_FRAME = 501,
    SYSTEM_EVENT_PAUSE = 502,
    SYSTEM_EVENT_SIM = 503,
    SYSTEM_EVENT_SIM_START = 504,
    SYSTEM_EVENT_SIM_STOP = 505,
    SYSTEM_EVENT_FLIGHT_LOADED = 506,
    SYSTEM_EVENT_OBJECT_REMOVED = 507,
};

struct ClientEventCmd {
    uint32_t objectId = 0;
    uint32_t eventId = 0;
    uint32_t data = 0;
};

// One AI object to create. The title views a livery title of the catalogue, which lives
// for the whole run; queued commands are dropped when the run's link state is reset.
struct CreateAcCmd {
    SimInitPosition initPosition;  // degrees and feet
    std::string tailNumber;
    std::string_view title;
    uint32_t hexid = 0;
};

// One position for an AI object; the first eight values are data definition 402.
struct PositionUpdate {
    double latitude = 0.0;       // degrees
    double longitude = 0.0;      // degrees
    double pitch = 0.0;          // radians, negative nose up
    double bank = 0.0;           // radians
    double heading = 0.0;        // true, radians
    double altitude = 0.0;       // ft
    double verticalSpeed = 0.0;  // ft/s
    double trueAirspeed = 0.0;   // kt
    uint32_t objectId = 0;
};

// The user aircraft as the simulator reports it (data definition 403).
struct UserAcState {
    double latitude = 0.0;        // degrees
    double longitude = 0.0;       // degrees
    double pitch = 0.0;           // radians
    double bank = 0.0;            // radians
    double heading = 0.0;         // true, radians
    double altitude = 0.0;        // ft
    double altAboveGround = 0.0;  // ft
    double groundVelocity = 0.0;  // kt
    double zuluTime = 0.0;        // seconds of the UTC day
    int32_t zuluDayOfMonth = 0;
    int32_t zuluMonthOfYear = 0;
    int32_t zuluYear = 0;
    int32_t lightNav = 0;
    int32_t lightBeacon = 0;
    int32_t lightLanding = 0;
    int32_t lightTaxi = 0;
    int32_t lightStrobe = 0;
};

// Kinds of SimReply.
enum SimReplyKind : uint32_t {
    REPLY_LIVE_CREATED = 0,
    REPLY_STATIC_CREATED = 1,
    REPLY_REMOVED = 2,
    REPLY_IN_RANGE_LOW = 3,  // in range below 2500 ft above ground
    REPLY_STATIC_CG = 4,
    REPLY_CREATION_FAILED = 6,
};

// A notice of the link's thread for the traffic manager.
struct SimReply {
    uint32_t objectId = 0;
    uint32_t hexid = 0;  // kinds 0, 1, 2, 6: hexid; kind 3: SIM ON GROUND (1 on the ground)
    uint32_t value = 0;
    uint32_t kind = 0;
    double a = 0.0;  // kinds 0, 3: ground altitude ft; kind 4: Static CG to ground ft
    double b = 0.0;  // kinds 0, 3: height above ground ft; kind 4: static pitch radians
};

// Static aircraft carry hexids up to 10000, live aircraft 10001 and up.
inline bool gf_isLiveHexid(uint32_t hexid) { return hexid > 10000; }

}  // namespace vdl
