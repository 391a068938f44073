// The traffic step: one call per 10 ms main-loop step while the simulator runs.
#pragma once

#include "traffic/records.h"

namespace vdl {

// Creation and removal hand-over rates, in traffic clock units.
inline constexpr uint32_t removalEvery = 10;
inline constexpr uint32_t createEvery = 50;
inline constexpr uint32_t inRangeEvery = 20;
inline constexpr uint32_t userDataEvery = 100;
// Up to this simulator frame rate a busy link makes the step drop its positions instead of waiting.
inline constexpr float dropPositionsUpToFps = 50.0f;

// One traffic step. Standard exceptions are logged and leave the clock where it was; a
// vdl::UserErrorException goes on to the caller.
void gf_updateAI();

// The per-aircraft update by life state; answers the record's erase flag.
bool updateLiveAc(LiveAc& ac);

}  // namespace vdl
