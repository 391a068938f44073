#include "foundation/threads.h"

#include <condition_variable>
#include <mutex>

namespace vdl {

bool gf_sleepUntil(const std::stop_token& stop, std::chrono::steady_clock::time_point until) {
    // Nothing notifies the variable but the stop request.
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_until(lock, stop, until, [] { return false; });
    return !stop.stop_requested();
}

bool gf_sleepFor(const std::stop_token& stop, std::chrono::steady_clock::duration time) {
    return gf_sleepUntil(stop, std::chrono::steady_clock::now() + time);
}

}  // namespace vdl
