// Soft stand options: an aircraft that leaves the park airport without a known stand is assumed
// to have stood on a free stand of its size and kind in the half hour it left.
#pragma once

#include <vector>

#include "airports/stand_records.h"
#include "foundation/time.h"
#include "traffic/records.h"

namespace vdl {

// Records a soft option for an aircraft leaving the park airport: on the stand it was last seen
// on, else on a stand softStandBySize finds. Only with LEARN_SOFT, the main loop running and the
// park airport's stands loaded, within 5 nm of the airport, below 2500 ft above ground once
// airborne, and for an aircraft without a stand.
void recordLeavingAircraft(const LiveAc& ac, bool stillOnGround);

// The stand of the aircraft's group and size whose half hour `now` is still free; the end of
// parkPositions when none is. With mayMoveOn, an airport of at most 10 stands is searched once
// more for the next half hour.
std::vector<ParkPos>::iterator softStandBySize(WeekSlot now, const LiveAc& ac, bool mayMoveOn);

}  // namespace vdl
