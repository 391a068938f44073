// Waiting for what another thread brings about, instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/platform.h"

namespace vdl::test {

// ThreadSanitizer runs the code several times slower: bounds on elapsed time grow by this much.
#if defined(__SANITIZE_THREAD__)
inline constexpr int sanitizerSlowdown = 10;
#else
inline constexpr int sanitizerSlowdown = 1;
#endif

// Polls until the condition holds or the time is over; answers the condition. The time is
// generous: it only bounds a test that fails.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// threadCount() and blockedInKernel() are in support/platform.h.

}  // namespace vdl::test
