#pragma once

namespace vdl {

// Ends whatever a test left running (exit thread, run worker, link, readers) and puts the run
// shell and the libraries below it back to their start state: window, requests, messages,
// tick count, automatic range, run configuration, hooks.
void gf_resetShellForTests();

}  // namespace vdl
