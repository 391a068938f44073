#include "feed/traffic_queue.h"

#include <utility>

namespace vdl {

void gf_setMainLoopRunning(bool running) {
    std::lock_guard lock(trafficMutex);
    mainLoopRunning = running;
}

bool gf_mainLoopRunning() {
    std::lock_guard lock(trafficMutex);
    return mainLoopRunning;
}

bool gf_queueTrafficRecord(TrafficRecord&& record) {
    std::lock_guard lock(trafficMutex);
    if (!mainLoopRunning) return false;
    trafficQueue.push_back(std::move(record));
    return true;
}

size_t gf_trafficQueueSize() {
    std::lock_guard lock(trafficMutex);
    return trafficQueue.size();
}

}  // namespace vdl
