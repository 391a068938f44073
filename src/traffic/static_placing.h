// Placing static parked aircraft: one candidate of the static plan at a time becomes an AI
// aircraft with its own hexid, callsign, livery and create command; and the removal of aircraft
// standing in the user aircraft's way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "traffic/records.h"

namespace vdl {

// Static hexids run 1..9999, then 0, 1, ...: below the live aircraft's 10001 and up.
inline constexpr uint32_t staticHexidSpan = 10000;

// The last static hexid given; kept for the whole process (only the library's reset clears it).
inline uint32_t staticHexidCounter = 0;
uint32_t gf_nextStaticHexid();

// The callsign form of static aircraft: trailing '_' removed and '*' appended unless it ends
// with one. A text of only '_' (or empty) gives "*"; the caller supplies a fallback for it.
std::string gf_parkedCallsign(std::string_view text);

// The callsign of a static aircraft from its candidate: the first callsign when the option also
// covers the next half hour, else the second (the other when that one is empty); when neither
// gives more than the bare star, airline, hexid and '*'.
std::string gf_staticCallsign(const StaticCandidate& c, uint32_t hexid);

// Takes the last candidate of the plan and places it unless a live or static aircraft stands on
// its stand or next to it, or its stand lies beyond the in-range radius. Run worker only.
void gf_parkStatic();

// Removes the active aircraft when it stands in the user aircraft's way (on the ground within
// 50 ft of the user's heading line, in the air within 700 ft of crossing its path); true then.
bool gf_removeIfInUserPath(LiveAc& ac);

// Whether a stand lies so far from the user aircraft that the simulator link would remove an
// object on it again (beyond nine tenths of the in-range radius).
bool gf_standOutOfRange(double lat, double lon);

}  // namespace vdl
