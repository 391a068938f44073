#pragma once
// The program's own window where the system has one: the Win32 main window on Windows
// (main_view_windows.cpp); on POSIX there is none and the terminal view alone shows the window
// model (main_view_posix.cpp).
#include <atomic>

#include "shell/ui_thread.h"

namespace vdl {

// Creates the main window and runs the UI thread's loop on its message queue until a run ends
// with quit (the UI queue's StartRun and SaveAndQuit arrive as its WM_APP+1 and WM_APP+2); the
// terminal view keeps printing beside it and command lines from inputFd (-1: none) are taken as
// in gf_runUiLoop. `closeRequest`, when set, closes the window as its close box does. Answers false at once, having done nothing, when there is no such window here
// or it cannot be created (Wine without a display): the caller runs gf_runUiLoop instead.
bool gf_runWindowLoop(int inputFd, TerminalView& view, std::atomic<bool>* closeRequest);

}  // namespace vdl
