#pragma once
// The 10 ms main loop of the run worker and its schedule of per-second ticks.
#include <atomic>
#include <cstdint>
#include <stop_token>

namespace vdl {

inline constexpr int mainLoopStepMs = 10;
inline constexpr uint32_t tickCountRestart = 86400;

// Jobs of a tick, by its count.
enum TickJob : uint32_t {
    tickJob15 = 1u << 0,    // lf_every15Seconds
    tickJob16 = 1u << 1,    // park-airport updates: divisible by 16 and not by 15
    tickJob30 = 1u << 2,    // lf_every30Seconds
    tickJob61 = 1u << 3,    // static twins of live aircraft on the ground
    tickJob62 = 1u << 4,    // Callsign2ObjectId.txt while CALLSIGN_OBJECTIDS is on
    tickJob1200 = 1u << 5,  // the static parking adjustment request
};

// The tick counter: advanced by one per tick taken, starting again at 0 when it reaches 86400.
inline std::atomic<uint32_t> tickCount{0};

uint32_t gf_nextTickCount(uint32_t count);
// The TickJob bits of a tick count.
uint32_t gf_tickJobs(uint32_t count);

// One step of the main loop: the run worker's requests, the traffic step (or, while the
// simulator does not run, its notices), then the tick's jobs when the link raised tickFlag.
// `step` counts the loop's steps; every 100th refreshes the counters while the simulator stops.
void gf_mainLoopStep(uint64_t step);

// mainLoop: one step every 10 ms on absolute deadlines until a stop is asked or an exit is
// under way; the main-loop-running flag is set meanwhile. Exceptions go to the reporter.
void gf_mainLoop(std::stop_token stop);

// The counters "simulator" (closed, not connected, running, paused, ...) and "RealTraffic".
void gf_showConnectionStates();

// Steps the main loop has done since the process started (for the window and tests).
inline std::atomic<uint64_t> mainLoopSteps{0};

// The tick and step counts at 0, nothing asked of the main loop, nothing said about missing
// work (part of gf_resetShell).
void gf_clearMainLoopState();

}  // namespace vdl
