// Taking aircraft out of the simulator.
#pragma once

#include <string_view>

#include "traffic/records.h"

namespace vdl {

// The one way an aircraft leaves the simulator. A record without an object is flagged for
// erasing; otherwise it goes to state 4 and its object id to removalQueue, and the record is
// erased when the simulator reports the object removed. An object id is queued once, whatever
// asks: a record being replaced has queued its id already. An aircraft that is or is being
// created leaves a log line with the reason (a limited number a minute); every call in the
// program gives one.
void removeAircraftFromSim(AiAircraft& ac, std::string_view reason = {});

}  // namespace vdl
