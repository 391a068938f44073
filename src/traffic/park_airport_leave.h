// What the traffic manager does when the park airport is left or loaded.
#pragma once

namespace vdl {

// The live aircraft parked at the airport, or on the ground leaving it (ground states 0 to 3 and
// parked), lose their stand and leave the simulator; a creation still pending is taken back.
// Aircraft driving to a stand keep moving but lose their stand id: it would name a stand of the
// next airport. Aircraft in the air and new ones stay. The records marked for erasing go, the
// others keep their order.
void gf_releaseParkedLiveAc();

// movementParkAirport follows the park airport: loaded while its stands are, else forgotten.
void gf_syncMovementParkAirport();

}  // namespace vdl
