// One validated traffic line, and the stream point that its position part becomes.
#pragma once

#include <cstdint>
#include <string>

namespace vdl {

struct AcIdentity;

// One point of a live aircraft's position stream. A received record's position part is a
// StreamPos, so the traffic manager turns it into a point by a plain copy.
struct StreamPos {
    // The due time and the flags first: the traffic step reads the first point's time and stop
    // flag of every aircraft every step, and finds them at the start of the point.
    uint32_t time = 0;         // due time in traffic clock units (compared as a signed value)
    uint8_t stop = 0;          // 1 when the aircraft stands still at this point
    uint8_t airborne = 0;      // 1 airborne, 0 on the ground
    uint8_t airborneFlag = 0;  // the line's own airborne field said 1 (not only its speed)
    uint8_t attitudeFlag = 0;  // the line carried roll and true heading
    // A ground line may leave track and ground speed empty: the aircraft's last ones hold.
    uint8_t trackUnknown = 0;
    uint8_t speedUnknown = 0;
    uint8_t bankValid = 0;     // bank holds a value
    uint8_t headingValid = 0;  // trueHeading holds a value; when 0 the track is used
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double bank = 0.0;         // radians, the feed's roll negated (airborne only)
    double trueHeading = 0.0;  // radians
    double alt = 0.0;          // ft, 0 for ground records
    double speed = 0.0;        // ground speed, kt
    double track = 0.0;        // degrees true
    double vs = 0.0;           // vertical speed, ft/min
    double tas = 0.0;          // true airspeed, kt
};

struct TrafficRecord {
    // The identity strings, in the order of AcIdentity.
    std::string airl;
    std::string type;
    std::string origin;
    std::string dest;
    std::string callsign;
    std::string callsignCopy;
    std::string coupledCallsign;
    std::string reg;
    uint64_t coupledSearched = 0;

    StreamPos pos;
    double sampleTime = 0.0;  // Unix seconds of the position, as the feed gives it
    uint32_t hexid = 0;       // 10001 and up
};

// Moves the eight identity strings and the 64-bit field of the record into the identity.
void gf_moveAcIdentityStrings(TrafficRecord& from, AcIdentity& to);

}  // namespace vdl
