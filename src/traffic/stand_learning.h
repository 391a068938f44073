// Stand options learned from live traffic: a parked aircraft is a real sighting of its stand for
// the half hour, and the half hours between two sightings of the same aircraft are filled in.
#pragma once

#include <cstdint>

#include "airports/stand_records.h"
#include "foundation/time.h"
#include "traffic/records.h"

namespace vdl {

// Window counter of learned stand changes.
inline uint32_t standChangeCount = 0;

// One more learned change: raises updateCount (the learned file is saved) and the window counter.
void gf_countStandChange();

// Records the aircraft on the stand for the week slot as a real (or soft) option. With remember,
// a sighting one to five half hours after the last one of the same aircraft fills the half hours
// in between. True when an option or slot was added; each change raises updateCount.
bool gf_addRealParkPosOption(uint32_t standId, const LiveAc& ac, bool remember, WeekSlot now);
bool gf_addSoftParkPosOption(uint32_t standId, const LiveAc& ac, bool remember, WeekSlot now);

// Sets the half hours since the remembered sighting on the stand's option (the option on now's
// weekday); a run over midnight continues from the earlier day's option. Gaps of more than five
// half hours are left open. The remembered sighting becomes now.
void gf_fillSlotsSinceLastSighting(WeekSlot now, ParkPos& stand, uint32_t optionId, StandUse& last,
                                   const LiveAc& ac);

// The aircraft has parked on its stand (at its parked slot) or is seen on it again (now): its use
// is learned, and the stand-slot list notes the hexid.
void gf_learnStandUse(const LiveAc& ac, bool remember, WeekSlot slot);

// Once per aircraft: the first option of its airline on now's weekday, within 10 half hours of
// now (14 for a Heavy), that carries its callsign and a second one gives the aircraft both as its
// callsign copy and coupled callsign, the two flights of its stand rotation.
void gf_searchForCoupledCsAroundThisTime(WeekSlot now, LiveAc& ac);

}  // namespace vdl
