// The simulator link's notices about AI objects and the set-up of newly created objects.
#pragma once

#include <cstdint>
#include <mutex>

#include "traffic/records.h"

namespace vdl {

// Object ids below this are no AI objects of ours (0 = none, 1 = the user aircraft).
inline constexpr uint32_t firstAiObjectId = 3;
// Follow-up steps after creation: two light toggles, then the initial switches.
inline constexpr int32_t firstToggleStep = 50;
inline constexpr int32_t secondToggleStep = 100;
inline constexpr int32_t switchesStep = 200;
// A record waiting this long (clock units) in state 1 or 4 for its notice has lost it.
inline constexpr uint32_t lostNoticeAfter = 3000;
inline constexpr uint32_t lostNoticeSweepEvery = 100;

// Handles every waiting notice, then advances the creation follow-ups (takes replyMutex). A
// notice whose handling throws is dropped and the exception passed on.
void gf_SimCommands();

// One follow-up step of one entry of switchFollowUps, under the caller's lock of replyMutex.
void gf_allLightsToggle(SwitchFollowUp& e, const std::unique_lock<std::mutex>& replyLock);

// Throttle idle, flaps up, engines off and the lights of a parked aircraft.
void gf_parkEvents(AiAircraft& ac);

// Touchdown set-up from an on-ground notice.
void gf_touchdown(LiveAc& ac);

// Forgets the waiting times of the lost-notice check (end of a run, test reset); takes replyMutex.
void gf_forgetNoticeWaits();

}  // namespace vdl
