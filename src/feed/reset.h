#pragma once

namespace vdl {

// Puts every global of the feed back to its start state: link and readers stopped, the
// traffic queue empty, the main loop not running, qnh 1013, no reader error, the traffic
// reader's collection, position and elevation forgotten, no user state source.
void gf_resetFeedForTests();

}  // namespace vdl
