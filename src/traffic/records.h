// The records of the AI aircraft the traffic manager puts into the simulator.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "feed/traffic_record.h"
#include "foundation/time.h"
#include "refdata/identity.h"
#include "traffic/pos_stream.h"

namespace vdl {

// Life states of an AiAircraft or LiveAc.
enum class AcState : uint32_t {
    fresh = 0,      // new: waiting to be spawned, or a static one just built
    creating = 1,   // create command queued or sent, no object yet
    active = 2,     // the object exists and is moved or parked
    replacing = 3,  // being replaced, takes no further data
    removed = 4,    // object id queued for removal
};

// Ground states of a LiveAc.
enum class GroundState : uint32_t {
    pushback = 0,
    pullOut = 1,
    taxi = 2,      // taxi or roll on live data
    climbOut = 3,  // take-off climb-out
    airborne = 4,
    toStand = 5,  // driving to the stand
    parked = 6,
    fresh = 7,  // new: not placed yet
};

// THROTTLE_SET, FLAPS_SET and SPOILERS_SET values, on the simulator's 0..16383 scale.
inline constexpr uint32_t throttleValues[5] = {0, 4914, 8191, 11468, 16383};
inline constexpr uint32_t throttleIdle = 0;  // steps: indices into throttleValues
inline constexpr uint32_t throttleLow = 1;
inline constexpr uint32_t throttleMedium = 2;
inline constexpr uint32_t throttleClimb = 3;
inline constexpr uint32_t throttleFull = 4;
inline constexpr uint32_t throttleStepNone = 5;
inline constexpr uint32_t flapsValues[4] = {0, 3072, 10240, 16383};
inline constexpr uint32_t flapsUp = 0;  // steps: indices into flapsValues
inline constexpr uint32_t flapsTakeoff = 1;
inline constexpr uint32_t flapsApproach = 2;
inline constexpr uint32_t flapsLanding = 3;
inline constexpr uint32_t flapsStepNone = 4;
inline constexpr uint32_t spoilersRetracted = 0;
inline constexpr uint32_t spoilersExtended = 16383;

// Per-category values a new live aircraft starts with (Light, Buzjets, Large, Heavy, HighPerf,
// Rotorcraft).
inline constexpr double baseTurnRateDegOfCategory[categoryCount] = {0.15, 0.1, 0.07, 0.05, 0.1, 0.2};
inline constexpr double groundAccelOfCategory[categoryCount] = {0.5, 0.75, 0.6, 0.5, 1.0, 0.75};
inline constexpr double standTaxiSpeedOfCategory[categoryCount] = {5.0, 4.5, 4.0, 3.0, 4.5, 5.0};

// Sets the turn rates (radians per step), ground acceleration and stand taxi speed of the
// identity's category. Throws std::invalid_argument for a category outside 0..5.
void gf_setCategoryValues(AcIdentity& identity);

// Light, HighPerf and Rotorcraft traffic is taken only while the option of its category is on.
bool gf_categoryEnabled(AircraftCategory c);

// The one steady clock of every parked time: ticks of 100 ns. The system clock would jump with
// clock changes and make parked times negative or huge.
inline constexpr uint64_t steadyTicksPerSecond = 10'000'000;
uint64_t gf_steadyTicks();

// When not 0, gf_steadyTicks() returns this instead: tests set the clock, so that a time some
// minutes back never depends on how long the machine has been up.
inline std::atomic<uint64_t> steadyTicksOverride{0};

// A quadratic Bezier path in local metres around its start P0 (east x, north y), through the
// control point P1 to P2, for the parameter from start to end.
struct BezierCurve {
    double refLat = 0.0;
    double refLon = 0.0;
    double start = 0.0;
    double end = 1.0;
    double p1East = 0.0;
    double p1North = 0.0;
    double p2East = 0.0;
    double p2North = 0.0;
};

// An AI aircraft in the simulator. Alone it is a static parked aircraft.
struct AiAircraft {
    double standLat = 0.0;
    double standLon = 0.0;
    double standHeading = 0.0;   // radians
    WeekSlot parkSlot{0, 0};     // week slot at which it was seen parked on the stand; {0, 0} = none
    uint32_t standId = 0;        // 0 = none
    uint32_t throttleStep = throttleStepNone;
    // With the identity's hot values at its end: what the traffic step reads of every aircraft,
    // in one cache line of a LiveAc (the fields after erase fill the line).
    AcIdentity identity;
    uint32_t objectId = 0;  // 0 while the object does not exist
    AcState state = AcState::fresh;
    bool erase = false;
    bool cargoStand = false;
    bool removeWhenCreated = false;
    bool makeWayMark = false;
    uint32_t flapsStep = flapsStepNone;

    AiAircraft(AcIdentity&& id, uint32_t stand, double lat, double lon, double heading, bool cargo);
};

// A live aircraft fed from the live traffic feed: movement state and position stream.
//
// Steps 10 ms apart find the records out of the cache, and most aircraft do little in a step
// (their next point is not due): the step waits on memory. What it reads of such an aircraft lies
// together: the identity's hot values and AiAircraft's state at the end of the base, then (after
// the curve's payload, a cache line of its own that only a curve reads) the curve's flag, the hot
// fields below and the stream's flag and first point's due time and stop flag. The traffic step
// fetches these lines a few aircraft ahead; tests/traffic/live_layout_test.cpp counts them.
struct LiveAc : AiAircraft {
    // The curve flown through a ground corner, none on a straight leg. Its payload fills a cache
    // line and its flag comes after it, on the first line of the hot fields.
    alignas(64) std::optional<BezierCurve> curve;
    double lat = 0.0;
    double lon = 0.0;
    double pitch = 0.0;  // radians, negative = nose up
    double bank = 0.0;
    double heading = 0.0;  // radians in [0, 2pi)
    double alt = 0.0;      // ft
    double vsFps = 0.0;    // ft/s, as sent to the simulator
    double tas = 0.0;      // kt, as sent to the simulator
    // Motion working values of the movement step: per-step rates and leg targets.
    double latRate = 0.0;      // degrees per step
    double lonRate = 0.0;      // degrees per step
    double pitchRate = 0.0;    // radians per step
    double bankRate = 0.0;     // radians per step
    double headingRate = 0.0;  // radians per step
    double altRate = 0.0;      // ft per step
    double targetTas = 0.0;    // kt, signed: negative when reversing
    double legBearing = 0.0;   // radians; the heading for a ground spawn, 0 airborne
    double aglFt = 2500.0;
    // The simulator's ground under the aircraft (ft), from its last notice; none before one came.
    double groundElevFt = 0.0;
    GroundState groundState = GroundState::fresh;
    uint32_t configStage = 0;
    bool onGround = false;
    bool groundElevKnown = false;
    bool touchdown = false;
    bool approach = false;
    bool turnSlow = false;
    bool reversing = false;  // the data moves it tail first (a pushback seen in the data)
    bool settling = false;   // standing at a stop point it has not quite reached yet
    PosStream stream;        // front: start of the current leg; second: its target
    // The end of the hot fields.

    // The curve's parameter and the parameter's step per traffic step.
    double curveT = 0.0;
    double curveStep = 0.0;
    // What a step of a rolling aircraft reads besides the hot fields, together after them (the
    // traffic step fetches them ahead too). The distance moved in the last step (m); below 0 not
    // known yet, and the first step takes what its leg asks.
    double groundStepM = -1.0;
    // The point it rolls straight towards, the cosine of the latitude there and the bearing to
    // it: worked out once while it keeps rolling along the line.
    double pathLat = 0.0;
    double pathLon = 0.0;
    double pathCosLat = 0.0;
    double pathBearing = 0.0;
    // Whether it stands at the leg's end, for that many points in the stream (0: not known).
    uint32_t stopAheadFor = 0;
    bool stopAhead = false;
    bool pathBearingKnown = false;
    // Where a settling aircraft rolls on to, since when.
    double settleLat = 0.0;
    double settleLon = 0.0;
    uint32_t settleSince = 0;
    double targetVs = 0.0;  // ft/min

    double lastSampleTime = 0.0;
    // The velocity of the last line as given, and one found stale: a feed that keeps repeating a
    // velocity it has no update for repeats it exactly.
    double givenSpeedKt = -1.0;
    double givenTrackDeg = -1.0;
    double staleSpeedKt = -1.0;
    double staleTrackDeg = -1.0;
    uint64_t parkTicks = 0;  // gf_steadyTicks() when it parked
    int32_t extensionCount = 0;
    uint32_t holdStart = 0;
    GroundState prevGroundState = GroundState::fresh;
    bool standChecked = false;
    bool planSet = false;
    bool heldForUser = false;
    bool holding = false;

    double turnWork = 0.0;  // ground turns: the curve angle, degrees
    StreamPos pushPoint{};
    double tryParkLat = 0.0;
    double tryParkLon = 0.0;
    // Where the collision avoidance with static aircraft last looked around it.
    double avoidCheckLat = 0.0;
    double avoidCheckLon = 0.0;
    int32_t earlyWindow = 1000;
    int32_t lateWindow = 1000;
    // Counted down to -300 by the configuration steps, so it must stay signed.
    int32_t configCountdown = 1;
    uint32_t departureCountdown = 0;
    uint32_t standMoveCount = 0;
    double course = 0.0;
    double approachWork = 0.0;
    double touchdownHeading = 0.0;
    double pullOutDistance = 0.0;
    double firstStandDistance = 0.0;
    double lastStandDistance = 0.0;
    double turnWork2 = 0.0;  // ground turns: the turn error, degrees
    double spawnHeading = 0.0;
    bool spawnHeadingSet = false;
    bool turnRight = false;
    bool turnDirKnown = false;
    double refAlt = 0.0;
    bool refAltSet = false;
    bool landed = false;
    bool towed = false;
    bool moveFlag = false;
    bool takeoffRoll = false;
    bool landingRoll = false;
    bool atStand = false;

    // A copy owns a stream of its own (the deque is copied point by point).
    LiveAc(const StreamPos& first, AcIdentity&& id, double sampleTime);
};

// Counts the traffic steps after an object's creation until its initial switches are due.
struct SwitchFollowUp {
    uint32_t objectId = 0;
    uint32_t hexid = 0;
    int32_t counter = 0;  // steps since creation; -1 = done, to be dropped
    bool isStatic = false;
};

// One stand of the static parking plan.
struct StaticCandidate {
    uint32_t standId = 0;
    int32_t tolerance = 0;  // half-hour widening steps at which the stand option matched
    std::string airl;
    std::string type;
    std::string callsign1;
    std::string callsign2;
    std::string reg;
    bool nextSlot = false;  // the option also covers the following half hour
};

}  // namespace vdl
