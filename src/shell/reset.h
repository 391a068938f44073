#pragma once

namespace vdl {

// The run shell's one reset: an exit under way ends and the run worker stops; no run request,
// no UI message, the default run configuration, the tick and step counts at 0, nothing asked
// of the main loop, the report calls and a close signal forgotten. As a fresh process has it;
// tests call it.
void gf_resetShell();

// Between two runs (FinalExit, before a restart; the run worker, the readers, the RealTraffic
// link and the link's thread have stopped): what a run leaves behind, floor by floor from the
// bottom. The settings, the window, the hooks, the data base and the livery tables stay.
void gf_resetBetweenRuns();

// Every library as a fresh process has it: the threads end first, from the top floor down,
// then each library's reset runs, floor by floor from the bottom. Tests call it.
void gf_resetEverything();

}  // namespace vdl
