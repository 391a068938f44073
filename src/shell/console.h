#pragma once
// The console the program runs in until it has its window: the user's request to end, whether
// the output can be redrawn, and the command lines typed in. console_posix.cpp and
// console_windows.cpp implement it.
#include <chrono>
#include <cstddef>
#include <optional>

#include "foundation/net.h"

namespace vdl {

// `onClose` runs when the user asks the program to end at the console: SIGINT or SIGTERM on
// POSIX; Ctrl+C, Ctrl+Break, the console's close, log-off or shut-down on Windows. It runs in
// a signal handler or on a system thread, so it only sets a flag.
void gf_onConsoleClose(void (*onClose)());

// Standard output is a terminal that understands the escape sequences of a redraw.
bool gf_stdoutIsTerminal();

struct TerminalSize {
    int rows = 0;
    int columns = 0;
};
// The size of the terminal (its visible window) on standard output; none when there is none.
std::optional<TerminalSize> gf_terminalSize();

struct UiWait {
    bool messages = false;  // the wake-up of the UI message queue was signalled
    bool input = false;     // inputFd has a line, its end or an error to read
};

// Waits up to `timeout` until the UI message queue's wake-up is signalled or inputFd (-1: none)
// has something to read.
UiWait gf_waitUi(const WakeUp& messages, int inputFd, std::chrono::milliseconds timeout);

// Reads what waits on inputFd: the byte count, 0 at its end; none on an error (a retry that
// may succeed later is 0 bytes with `again` set).
std::optional<size_t> gf_readInput(int inputFd, char* buffer, size_t size, bool& again);

}  // namespace vdl
