#pragma once

#include <cstdint>

namespace vdl {

// The system timer resolution the main loop and the simulator link ask for: timeBeginPeriod and
// timeEndPeriod on Windows (timer_windows.cpp); Linux timers are fine-grained already, so there
// (timer_posix.cpp) these only keep the calls where they belong.
bool gf_beginTimerResolution(uint32_t milliseconds);
bool gf_endTimerResolution(uint32_t milliseconds);

// Holds a resolution for a scope.
class TimerResolution {
  public:
    explicit TimerResolution(uint32_t milliseconds) : ms_(milliseconds) { gf_beginTimerResolution(ms_); }
    ~TimerResolution() { gf_endTimerResolution(ms_); }
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

  private:
    uint32_t ms_;
};

}  // namespace vdl
