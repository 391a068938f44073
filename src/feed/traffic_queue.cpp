#include "feed/traffic_queue.h"

#include <fmt/format.h>

#include <unordered_set>
#include <utility>
#include <vector>

#include "foundation/log.h"

namespace vdl {

namespace {

struct Drops {
    size_t superseded = 0;  // older positions of aircraft with a newer one queued
    size_t oldest = 0;
};

// The caller holds trafficMutex.
Drops lf_makeRoom() {
    Drops d;
    const size_t n = trafficQueue.size();
    if (n <= queuedRecordsAfterDrop) return d;
    const size_t excess = n - queuedRecordsAfterDrop;
    std::vector<bool> superseded(n);
    std::unordered_set<uint32_t> newer;
    newer.reserve(n);
    for (size_t i = n; i-- > 0;) superseded[i] = !newer.insert(trafficQueue[i].hexid).second;
    size_t kept = 0;
    for (size_t i = 0; i < n; ++i) {
        if (superseded[i] && d.superseded < excess) {
            ++d.superseded;
            continue;
        }
        if (kept != i) trafficQueue[kept] = std::move(trafficQueue[i]);
        ++kept;
    }
    trafficQueue.erase(trafficQueue.begin() + static_cast<ptrdiff_t>(kept), trafficQueue.end());
    if (kept > queuedRecordsAfterDrop) {
        d.oldest = kept - queuedRecordsAfterDrop;
        trafficQueue.erase(trafficQueue.begin(), trafficQueue.begin() + static_cast<ptrdiff_t>(d.oldest));
    }
    return d;
}

}  // namespace

void gf_setMainLoopRunning(bool running) {
    std::lock_guard lock(trafficMutex);
    mainLoopRunning = running;
}

bool gf_mainLoopRunning() {
    std::lock_guard lock(trafficMutex);
    return mainLoopRunning;
}

bool gf_queueTrafficRecord(TrafficRecord&& record) {
    Drops d;
    {
        std::lock_guard lock(trafficMutex);
        if (!mainLoopRunning) return false;
        trafficQueue.push_back(std::move(record));
        if (trafficQueue.size() <= maxQueuedRecords) return true;
        d = lf_makeRoom();
    }
    const uint64_t total = trafficRecordsDropped.fetch_add(d.superseded + d.oldest) + d.superseded + d.oldest;
    static LogLimiter dropLog("traffic queue full");
    dropLog.log(
        fmt::format("traffic queue full: {} older positions of aircraft with a newer one queued and {} "
                    "oldest records dropped, {} since the start",
                    d.superseded, d.oldest, total));
    return true;
}

size_t gf_trafficQueueSize() {
    std::lock_guard lock(trafficMutex);
    return trafficQueue.size();
}

}  // namespace vdl
