// Choosing, loading and leaving the park airport on the main loop's tick schedule, and the calls
// up into the traffic manager that go with it. Run worker only.
#pragma once

#include <functional>

namespace vdl {

// Calls into the traffic manager, set by the shell at start-up; a hook left unset does nothing
// (staticCandidatesEmpty then counts as empty).
struct ParkAirportHooks {
    std::function<void()> planStaticParking;       // gf_planStaticParking
    std::function<void()> removeAllStaticAc;       // gf_removeAllStaticAc
    std::function<void()> clearStaticCandidates;   // the static candidate list emptied
    std::function<bool()> staticCandidatesEmpty;   // the static plan has placed everything
    std::function<void()> releaseParkedLiveAc;     // the live aircraft of the airport left
    std::function<void()> enforceMaxLiveAc;        // gf_enforceMaxLiveAc
    std::function<void()> disableParkingControls;  // gf_disableParkingControls (sets parkingBusy)
    std::function<void()> enableParkingControls;   // gf_enableParkingControls (clears parkingBusy)
    std::function<void()> removeAircraftOnReservedStand;  // gf_removeAircraftOnReservedStand
    std::function<void()> parkAirportChanged;      // the airport was loaded or forgotten
    std::function<void()> showParkedTimes;         // the average parked times of live and static aircraft
};
void gf_setParkAirportHooks(ParkAirportHooks hooks);
void gf_clearParkAirportHooks();
void gf_removeAircraftOnReservedStandViaHook();
void gf_parkAirportChangedViaHook();

// The periodic check: announce true once before the main loop's first step, then false on
// tick job 16.
void gf_checkForParkAirportUpdates(bool announce);

// Leaves the park airport: static aircraft and the live aircraft parked there go, the learned
// stand use is saved, the airport is forgotten and MAX_LIVE goes back to the run's value.
void gf_resetParkAirport();

// An airport was chosen; the next check loads its stands.
extern bool loadPending;
// Soft stand options may be learned at this airport.
extern bool learnSoftAllowed;

// No choice pending, no hooks' state (part of gf_resetAirports; the hooks stay).
void gf_resetParkAirportChoice();

}  // namespace vdl
