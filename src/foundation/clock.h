#pragma once

#include <atomic>
#include <cstdint>

namespace vdl {

// The traffic clock: one unit per traffic step (10 ms). The feed's readers stamp due
// times with it, the traffic step advances it.
inline std::atomic<uint32_t> clock100{0};

}  // namespace vdl
