#include "foundation/workers.h"

#include <chrono>
#include <thread>

namespace vdl {

void gf_initWorkerSlots(uint32_t threads) {
    // hardware_concurrency may answer 0; a bound of 0 would make every wait endless.
    hwThreads = threads == 0 ? 1 : threads;
    runningWorkers = 0;
}

void gf_initWorkerSlots() {
    gf_initWorkerSlots(std::thread::hardware_concurrency());
}

void gf_waitForWorkerSlot() {
    while (runningWorkers.load() >= static_cast<int64_t>(hwThreads.load()))
        std::this_thread::sleep_for(std::chrono::microseconds(10));
}

void gf_workerStarted() {
    runningWorkers.fetch_add(1);
}

void gf_releaseWorkerSlot() {
    runningWorkers.fetch_sub(1);
}

}  // namespace vdl
