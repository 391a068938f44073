#include "window/exit.h"

#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "foundation/log.h"

namespace vdl {

namespace {
std::mutex hookMutex;
FinalExitHook finalExitHook;
}  // namespace

std::string_view gf_exitReasonName(ExitReason reason) {
    switch (reason) {
        case ExitReason::NotYetSet: return "NOT YET SET";
        case ExitReason::SimWasClosed: return "SIM WAS CLOSED";
        case ExitReason::NewFlight: return "NEW FLIGHT";
        case ExitReason::NewSettings: return "NEW SETTINGS";
        case ExitReason::UserClosedSim: return "USER CLOSED SIM";
        case ExitReason::SimConnectError: return "SIMCONNECT ERROR";
        case ExitReason::ReaderError: return "READER ERROR";
        case ExitReason::SystemError: return "SYSTEM ERROR";
    }
    return "UNKNOWN";
}

void gf_setFinalExitHook(FinalExitHook hook) {
    std::lock_guard lock(hookMutex);
    finalExitHook = std::move(hook);
}

void gf_startFinalExit(ExitReason reason, int delaySeconds) {
    bool expected = false;
    if (!exiting.compare_exchange_strong(expected, true)) return;
    FinalExitHook hook;
    {
        std::lock_guard lock(hookMutex);
        hook = finalExitHook;
    }
    gf_log(fmt::format("gf_startFinalExit: {} in {} s", gf_exitReasonName(reason), delaySeconds));
    if (hook) {
        hook(reason, delaySeconds);
    } else {
        gf_logError(fmt::format("gf_startFinalExit: no exit procedure set for {}", gf_exitReasonName(reason)));
    }
}

}  // namespace vdl
