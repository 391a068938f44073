// Adjusting the static parking plan every 20 minutes and after a change of a parking setting:
// static aircraft that no longer fit the half hour go, new candidates come, and the parked
// aircraft are held at the wanted number.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/time.h"

namespace vdl {

// A static aircraft that stays through an adjustment.
struct KeptStatic {
    std::string callsign;
    std::string callsign1;
    std::string callsign2;
    std::string reg;
    std::string airl;
    std::string type;
    WeekSlot parkSlot;
    int32_t tolerance = 0;
    uint32_t standId = 0;
    bool leavesNow = false;
};

// A static aircraft an adjustment removes, found again by callsign and stand.
struct StaticRemoval {
    std::string callsign;
    uint32_t standId = 0;
};

// Run worker only; kept between adjustments, emptied with the park airport.
inline std::vector<KeptStatic> keptStatics;
inline std::vector<StaticRemoval> staticRemovals;

// An adjustment is asked for; served in two turns of the 15-tick job.
inline std::atomic<bool> adjustRequested{false};

void gf_adjustStaticParking();

// The 15-tick job's part: the first turn after a request disables the parking controls and starts
// the feed's callsign collection; the next runs the adjustment while there are stands.
// With job1200 an adjustment is asked for while parking is active and INITIAL_LOAD_ONLY is off.
void gf_staticAdjustTurn(bool job1200);

// A parking setting was changed in the window (run worker): saved with the airport, and with
// INITIAL_LOAD_ONLY off an adjustment applies it.
void gf_parkingSettingChanged();

// No request, no turn, the working lists empty (the park airport is left, or a new run).
void gf_clearStaticAdjustState();

}  // namespace vdl
