// Taxiing neighbours of a live aircraft without walking the whole fleet: a grid of the live
// aircraft by position, built when asked and kept for a second. Each candidate is judged on its
// current values, so the answer is the walk's as long as no aircraft moves more than the grid's
// margin (half a nautical mile, 1,800 kt) between two builds.
#pragma once

#include "traffic/records.h"

namespace vdl {

// True when an active live aircraft other than `ac`, on the ground and taxiing (ground state 2),
// lies within spanFactor times the sum of both half wingspans of it.
bool gf_taxiingNeighbourWithin(const LiveAc& ac, double spanFactor);

// The same by walking every live aircraft.
bool gf_taxiingNeighbourWithinByWalk(const LiveAc& ac, double spanFactor);

// Forgets the grid (the traffic resets and a cleared list call it).
void gf_forgetNeighbourGrid();

}  // namespace vdl
