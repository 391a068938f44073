// Units of the traffic clock (clock100): one unit per traffic step of 10 ms. Point times, leg
// durations and per-step rates count in them.
#pragma once

#include <cstdint>

namespace vdl {

inline constexpr uint32_t clockUnitsPerSecond = 100;
inline constexpr double clockUnitsPerMinute = 6000.0;
inline constexpr double clockUnitsPerHour = 360000.0;  // nm x clockUnitsPerHour / kt = units

constexpr uint32_t secondsToUnits(uint32_t seconds) { return seconds * clockUnitsPerSecond; }
constexpr uint32_t minutesToUnits(uint32_t minutes) { return minutes * 60 * clockUnitsPerSecond; }

// A vertical speed in ft/min as feet per traffic step.
constexpr double fpmToFtPerStep(double fpm) { return fpm / clockUnitsPerMinute; }

// Signed clock units from `from` to `to`; point times wrap with the clock.
inline int32_t gf_unitsFrom(uint32_t from, uint32_t to) { return static_cast<int32_t>(to - from); }

}  // namespace vdl
