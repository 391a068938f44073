// Names for the traffic library's states in gtest's failure messages (raw bytes otherwise).
#pragma once

#include <ostream>

#include "traffic/records.h"

namespace vdl {

inline void PrintTo(AcState s, std::ostream* os) {
    static constexpr const char* names[] = {"fresh", "creating", "active", "replacing", "removed"};
    const auto i = static_cast<uint32_t>(s);
    *os << (i < std::size(names) ? names[i] : "AcState?") << " (" << i << ")";
}

inline void PrintTo(GroundState s, std::ostream* os) {
    static constexpr const char* names[] = {"pushback", "pullOut", "taxi",   "climbOut",
                                            "airborne", "toStand", "parked", "fresh"};
    const auto i = static_cast<uint32_t>(s);
    *os << (i < std::size(names) ? names[i] : "GroundState?") << " (" << i << ")";
}

}  // namespace vdl
