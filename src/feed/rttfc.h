// Validation of one RTTFC traffic line into a TrafficRecord.
#pragma once

#include <cstdint>
#include <string_view>

#include "feed/traffic_record.h"

namespace vdl {

inline constexpr uint32_t firstLiveHexid = 10001;  // lower hexids belong to static aircraft
inline constexpr uint32_t dueDelay = 3000;         // clock units (30 s) between receipt and due time

// True when the (trimmed) line carries the tag "RTTFC"; other tags on the port are no positions.
bool gf_isRttfcLine(std::string_view line);

// Validates an RTTFC line received at traffic clock `receiptClock`. Throws std::runtime_error
// naming the first fault; a thrown line must be dropped.
TrafficRecord gf_parseRttfc(std::string_view line, uint32_t receiptClock);

}  // namespace vdl
