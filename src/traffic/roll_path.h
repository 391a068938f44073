// The path of a fast roll on the ground: a take-off or landing run is straight, so noisy points
// are laid onto the line the points ahead show instead of being followed one by one.
#pragma once

#include "traffic/records.h"

namespace vdl {

// While the aircraft rolls on the ground and its data moves faster than a taxi, lays the points
// ahead onto the straight line that fits them, up to the farthest point that keeps within a
// corridor around it; points beyond (a real turn) are left as they are. True when it did.
bool gf_straightenRoll(LiveAc& ac);

}  // namespace vdl
