#pragma once
// The end of a run: the exit thread FinalExit, restart or quit, and the exception reporter.
#include <chrono>
#include <cstddef>
#include <exception>
#include <string_view>

#include "window/exit.h"

namespace vdl {

// "NEW SETTINGS", "SIMCONNECT ERROR" and "READER ERROR" start a new run; the others quit.
bool gf_restartsRun(ExitReason reason);

// Sets the window's exit hook: gf_startFinalExit starts FinalExit on an exit thread of its own.
// At most one exit thread runs at a time.
void gf_installFinalExit();

// Whether an exit thread runs; waits until none runs and joins the ended ones (false on timeout).
bool gf_exitThreadRunning();
bool gf_waitForExitThread(std::chrono::milliseconds timeout);
// Exit threads started and not yet joined (an exit joins those before it that have ended).
size_t gf_exitThreadsHeld();

// The exception reporter: logs "{}: {}" with the function's name and the message, shows
// "Error {}" on the error line and ends the run with "SYSTEM ERROR".
void gf_reportException(std::string_view function, const std::exception& e);
void gf_reportException(std::string_view function, std::exception_ptr e);

}  // namespace vdl
