#include "feed/reset.h"

#include <mutex>

#include "feed/qnh.h"
#include "feed/rt_link.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "feed/udp_reader.h"

namespace vdl {

void gf_resetFeed() {
    realTrafficLink.reset();
    qnhReader.stop();
    trafficReader.reset();
    gf_setUserStateSource(nullptr);
    gf_resetFeedBetweenRuns();
}

void gf_resetFeedBetweenRuns() {
    {
        std::lock_guard lock(trafficMutex);
        trafficQueue.clear();
        mainLoopRunning = false;
    }
    trafficRecordsDropped = 0;
    qnh = defaultQnh;
    readerError = false;
}

}  // namespace vdl
