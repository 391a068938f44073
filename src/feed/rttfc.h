// Validation of one RTTFC traffic line into a TrafficRecord.
#pragma once

#include <cstdint>
#include <string_view>

#include "feed/traffic_record.h"

namespace vdl {

inline constexpr uint32_t firstLiveHexid = 10001;  // lower hexids belong to static aircraft
inline constexpr uint32_t dueDelay = 3000;         // clock units (30 s) between receipt and due time
// RealTraffic's lines are 200 to 400 characters; the bound keeps a queued record small.
inline constexpr size_t maxRttfcLineChars = 1024;
// A sample's time stamp lies within this window around the program's clock: older ones are stale,
// and one from the future would make every later sample of its aircraft look older.
inline constexpr int64_t maxSampleAgeSeconds = 600;
inline constexpr int64_t maxSampleLeadSeconds = 60;

// True when the (trimmed) line carries the tag "RTTFC"; other tags on the port are no positions.
bool gf_isRttfcLine(std::string_view line);

// Validates an RTTFC line received at traffic clock `receiptClock`. Throws std::runtime_error
// naming the first fault; a thrown line must be dropped.
TrafficRecord gf_parseRttfc(std::string_view line, uint32_t receiptClock);

// Throws std::runtime_error when the time stamp lies outside nowUtc - maxSampleAgeSeconds to
// nowUtc + maxSampleLeadSeconds.
void gf_checkSampleTime(double sampleTime, int64_t nowUtc);

}  // namespace vdl
