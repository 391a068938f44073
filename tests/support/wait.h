// Waiting for what another thread brings about, instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/types.h>
#include <thread>

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

// Threads of this process.
inline int threadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// True while the thread of this process sleeps in a system call (a lock, a poll, a sleep) rather
// than runs: another thread may then count on it being there.
inline bool blockedInKernel(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    std::string first;
    return static_cast<bool>(in >> first) && first != "running";
}

}  // namespace vdl::test
