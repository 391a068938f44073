// The hand-over of validated records from the traffic reader to the traffic step.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "feed/traffic_record.h"

namespace vdl {

// A busy area sends about 1,000 records a second and the traffic step takes them as they come;
// the bound holds when the step stalls or the feed floods (about 400 bytes a record).
inline constexpr size_t maxQueuedRecords = 8192;
// A full queue drops down to this size at once, as making room takes a pass over it.
inline constexpr size_t queuedRecordsAfterDrop = maxQueuedRecords - maxQueuedRecords / 4;
// Records one traffic step (10 ms) takes at most; the intake also stops when its time is up.
inline constexpr size_t maxRecordsPerStep = 64;

// Guards trafficQueue and mainLoopRunning.
inline std::mutex trafficMutex;
inline std::deque<TrafficRecord> trafficQueue;  // oldest first, at most maxQueuedRecords
// The main loop runs; records are queued only while it is set. Guarded by trafficMutex.
inline bool mainLoopRunning = false;
// Records dropped from a full queue.
inline std::atomic<uint64_t> trafficRecordsDropped{0};

// Locking helpers for callers that hold no other lock.
void gf_setMainLoopRunning(bool running);
bool gf_mainLoopRunning();
// Appends the record when the main loop runs; false (record dropped) otherwise. A full queue
// makes room for a quarter of its size: first the oldest records of aircraft that have a newer
// one queued, then the oldest ones; the drops are counted and logged.
bool gf_queueTrafficRecord(TrafficRecord&& record);
size_t gf_trafficQueueSize();

}  // namespace vdl
