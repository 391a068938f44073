#pragma once

namespace vdl {

// Puts every global of the foundation back to its start state: parameters to their
// defaults with their controls enabled, the log closed, the clock back to the system,
// random generators unseeded, worker slots empty, hooks cleared.
void gf_resetFoundationForTests();

}  // namespace vdl
