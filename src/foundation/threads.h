// Stoppable threads are std::jthread, stopped through their std::stop_token; this is the wait
// that goes with them.
#pragma once

#include <chrono>
#include <stop_token>

namespace vdl {

// Sleeps until `until` has passed or a stop is requested; false when stopped.
bool gf_sleepUntil(const std::stop_token& stop, std::chrono::steady_clock::time_point until);
// Sleeps for `time` or until a stop is requested; false when stopped.
bool gf_sleepFor(const std::stop_token& stop, std::chrono::steady_clock::duration time);

}  // namespace vdl
