#pragma once

namespace vdl {

// The feed's one reset: the RealTraffic link and both readers stopped, RealTraffic's version
// forgotten, the traffic reader's collection, position and elevation forgotten, no user state
// source, and the run's state as gf_resetFeedBetweenRuns leaves it. As a fresh process has it;
// tests call it.
void gf_resetFeed();

// Between two runs (before a restart; the readers and the link have stopped): the traffic
// queue empty, the main loop not running, qnh 1013, no reader error. The user state source set
// at start-up stays.
void gf_resetFeedBetweenRuns();

}  // namespace vdl
