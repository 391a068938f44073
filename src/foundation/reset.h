#pragma once

namespace vdl {

// The foundation's one reset: every global back to the state of a fresh process. Parameters
// to their defaults with their controls enabled (and the lateral-range copies, the kept range,
// the 10-nm flag), the log closed, the clock back to the system, the live-data time, the week
// slot and the traffic clock at 0, random generators unseeded, worker slots empty, the refused
// titles forgotten. The program keeps all of these between runs; tests call it.
void gf_resetFoundation();

}  // namespace vdl
