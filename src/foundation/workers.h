#pragma once

#include <atomic>
#include <cstdint>

namespace vdl {

// Scan workers: at most hwThreads run at once. The count is signed: a worker may end and
// release its slot before its starter has counted it.
inline std::atomic<uint32_t> hwThreads{1};
inline std::atomic<int32_t> runningWorkers{0};

// At the start of a run: hwThreads = the hardware thread count (at least 1), no worker.
void gf_initWorkerSlots();
// The same with a given count (0 is taken as 1).
void gf_initWorkerSlots(uint32_t threads);

// Returns once fewer than hwThreads workers run, sleeping about 10 us between checks.
// Does not count the new worker: the caller calls gf_workerStarted after starting it.
void gf_waitForWorkerSlot();
void gf_workerStarted();
// Frees one slot. Workers use WorkerSlotGuard rather than calling this themselves.
void gf_releaseWorkerSlot();

// Held by a worker for its whole run: releases the slot exactly once, on every path.
class WorkerSlotGuard {
  public:
    WorkerSlotGuard() = default;
    ~WorkerSlotGuard() { release(); }
    WorkerSlotGuard(const WorkerSlotGuard&) = delete;
    WorkerSlotGuard& operator=(const WorkerSlotGuard&) = delete;
    WorkerSlotGuard(WorkerSlotGuard&& other) noexcept : held_(other.held_) { other.held_ = false; }
    WorkerSlotGuard& operator=(WorkerSlotGuard&&) = delete;

    void release() {
        if (held_) {
            held_ = false;
            gf_releaseWorkerSlot();
        }
    }

  private:
    bool held_ = true;
};

}  // namespace vdl
