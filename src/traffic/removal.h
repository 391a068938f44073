// Taking aircraft out of the simulator.
#pragma once

#include "traffic/records.h"

namespace vdl {

// The one way an aircraft leaves the simulator. A record without an object is flagged for
// erasing; otherwise it goes to state 4 and its object id to removalQueue, and the record is
// erased when the simulator reports the object removed. An object id is queued once, whatever
// asks: a record being replaced has queued its id already.
void removeAircraftFromSim(AiAircraft& ac);

}  // namespace vdl
