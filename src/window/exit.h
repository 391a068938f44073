#pragma once
// The flags that end or hold a run, and the one entry through which every run ends.
#include <atomic>
#include <functional>
#include <string_view>

namespace vdl {

enum class ExitReason : int {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ...; "UNKNOWN" for a value outside the enum.
std::string_view gf_exitReasonName(ExitReason reason);

// An exit or restart of the run is under way; cleared by the run shell when a new run starts.
inline std::atomic<bool> exiting{false};
// The user closed the simulator or the program; read together with `exiting`.
inline std::atomic<bool> userClosed{false};
// Set while the parking controls are disabled.
inline std::atomic<bool> parkingBusy{false};

// The exit procedure (FinalExit) lives in the run shell, above this library; it sets the hook.
using FinalExitHook = std::function<void(ExitReason reason, int delaySeconds)>;
void gf_setFinalExitHook(FinalExitHook hook);

// Does nothing while an exit is under way; otherwise sets `exiting` and calls the hook.
// Safe from any thread: of two racing callers exactly one gets through.
void gf_startFinalExit(ExitReason reason, int delaySeconds);

}  // namespace vdl
