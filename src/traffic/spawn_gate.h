// The spawn gate of new live aircraft and their spawning.
#pragma once

#include "traffic/records.h"

namespace vdl {

// Lead before the first point's time at which a new aircraft is considered, clock units.
inline constexpr uint32_t spawnLeadMoving = 300;  // first point on the ground and moving
inline constexpr uint32_t spawnLeadOther = 100;
// More queued live creates than this hold back new aircraft.
inline constexpr size_t maxQueuedLiveCreates = 10;

// Once per traffic step for a live aircraft in state 0: creates it now, lets it wait (its first
// point is dropped) or drops it.
void updateBufferAc(LiveAc& ac);

// Livery, stand, attitude and heading of an aircraft that passed the gate; queues its hexid in
// pendingSpawns.
void spawnLiveAc(LiveAc& ac);

// The remembered or a newly matched livery title; false when none.
bool gf_liveryLookup(LiveAc& ac);

// Forgets which aircraft were logged as dropped for lack of a callsign (the library's reset).
void gf_forgetDroppedWithoutCallsign();

// Removes the active live aircraft farthest from the user when it is more than 0.1 nm farther
// than d0 (nm). True when none is, i.e. the new aircraft at d0 is itself the farthest.
bool gf_removeFarthest(double d0);

}  // namespace vdl
