#pragma once

namespace vdl {

// The window library's one reset: the main window emptied (status and error lines, values,
// repaint requests, controls unbound), `exiting`, `userClosed` and `parkingBusy` cleared, no
// exit procedure. As a fresh process has it; tests call it.
void gf_resetWindow();

// Between two runs (before a restart) only what a run leaves behind goes: `parkingBusy`. The
// window keeps what it shows and its exit procedure; `exiting` stays set until the new run
// starts and `userClosed` until the program ends.
void gf_resetWindowBetweenRuns();

}  // namespace vdl
