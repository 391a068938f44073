// Parking on arrival: the choice of a free stand of the park airport for a live aircraft whose
// data ends in a stop, clearing that stand of live and static aircraft, and the removals the
// main loop asks for.
#pragma once

#include "airports/stand_records.h"
#include "foundation/geo.h"
#include "traffic/records.h"

namespace vdl {

// 55 m, 20 m, 85 m and the 1.8 m a stand may be too small by, in nm.
inline constexpr double parkArrivedRadiusNm = 0.029697624190064796;
inline constexpr double parkRadiusNm = 0.010799136069114472;
inline constexpr double parkAlternativeRadiusNm = 0.0458963282937365;
inline constexpr double standTooSmallNm = 0.0009719222462203025;

// Window counter of stands whose radius was widened for an aircraft that stopped on them.
inline uint32_t standRadiusChanges = 0;

// Gives the aircraft the nearest free stand at the end of its data and drives it there.
void try2Park(LiveAc& ac, bool arrived);

// The nearest free stand for the aircraft at the position; null when none fits.
ParkPos* nearestFreeStand(LatLon pos, const LiveAc& ac, double radiusNm, bool arrived);

// What the spawn of an aircraft standing still at the park airport found.
enum class SpawnStand {
    none,     // no stand tried or found: it spawns taxiing
    waits,    // no stand yet and still standing: its first point is dropped, it waits
    refused,  // the user's stand: it spawns taxiing
    dropped,  // another aircraft holds the stand or a neighbour would touch it
    parked,   // placed on the stand, ground state parked
};

// Places a new aircraft whose data stands still near a free stand of the park airport directly
// on that stand, clearing it of aircraft that must make way.
SpawnStand gf_standAtSpawn(LiveAc& ac);

// Whether the newcomer may have the stand the occupant (a live aircraft parked, pushing back or
// pulling out on it) holds; on success the occupant is removed.
bool claimStandAtSpawn(const ParkPos& stand, const LiveAc& newcomer, LiveAc& occupant);

// The first adjacent stand of the newcomer's stand on which a live aircraft with another callsign
// stands close enough to touch it; 0 when none.
uint32_t firstConflictingAdjacentStand(const ParkPos& stand, const LiveAc& newcomer);

// Removes the static aircraft on the stand and those on its adjacent stands that the live
// aircraft would touch.
void checkStandOrExcludedIsOccupiedByStaticAndRemove(const LiveAc& ac, const ParkPos& stand);

// Once a second while COLLISION_LIVE_PARKED_GND is on: each live aircraft taxiing or driving to
// its stand that moved since the last check removes the first active static aircraft whose stand
// lies within reach of its wings.
void gf_removeStaticForCollisionAvoidance();

// The stand named by reservedStand loses its static aircraft, else its parked live one. An empty
// name names no stand.
void gf_removeAircraftOnReservedStand();

// Removes every live (or static) aircraft: active ones from the simulator, queued ones from
// their queue.
void gf_removeAllLiveAc();
void gf_removeAllStaticAc();

}  // namespace vdl
