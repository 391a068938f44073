#include "foundation/threads.h"

#include <algorithm>
#include <thread>

namespace vdl {

// No std::stop_callback here (nor condition_variable_any's wait with a stop token, which makes
// one): with MinGW's libstdc++ 12, removing a callback that runs on another thread at that moment
// waits on an atomic whose wake-up can be missed, and the sleeper never returns. The stop request
// is looked at every few milliseconds instead (the timer resolution is 1 ms while a run goes).
bool gf_sleepUntil(const std::stop_token& stop, std::chrono::steady_clock::time_point until) {
    constexpr std::chrono::steady_clock::duration slice = std::chrono::milliseconds(5);
    while (!stop.stop_requested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return true;
        std::this_thread::sleep_for(std::min(until - now, slice));
    }
    return false;
}

bool gf_sleepFor(const std::stop_token& stop, std::chrono::steady_clock::duration time) {
    return gf_sleepUntil(stop, std::chrono::steady_clock::now() + time);
}

}  // namespace vdl
