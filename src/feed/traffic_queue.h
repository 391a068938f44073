// The hand-over of validated records from the traffic reader to the traffic step.
#pragma once

#include <deque>
#include <mutex>

#include "feed/traffic_record.h"

namespace vdl {

// Guards trafficQueue and mainLoopRunning.
inline std::mutex trafficMutex;
inline std::deque<TrafficRecord> trafficQueue;
// The main loop runs; records are queued only while it is set. Guarded by trafficMutex.
inline bool mainLoopRunning = false;

// Locking helpers for callers that hold no other lock.
void gf_setMainLoopRunning(bool running);
bool gf_mainLoopRunning();
// Appends the record when the main loop runs; false (record dropped) otherwise.
bool gf_queueTrafficRecord(TrafficRecord&& record);
size_t gf_trafficQueueSize();

}  // namespace vdl
