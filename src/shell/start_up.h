#pragma once
// The program: start, the UI thread's loop with its runs, and the end.
#include <chrono>
#include <ostream>
#include <string>

#include "shell/run_worker.h"
#include "shell/single_instance.h"
#include "simulator/sim_scenario.h"

namespace vdl {

struct ProgramOptions {
    SimScenarioConfig scenario;  // the simulator the program runs against
    // The simulator through SimConnect.dll (Windows) instead of the in-process stand-in.
    bool simConnectDll = false;
    RunConfig run;
    int inputFd = 0;      // commands; -1: none
    bool redraw = false;  // the terminal view clears the screen and draws the whole window
    std::chrono::milliseconds viewInterval{1000};
    // The program's own window where the system has one (Windows), the terminal view beside it;
    // without one, or when it cannot be created, the terminal view and its commands alone.
    bool window = false;
    // The single-instance mutex. Tests that run the program side by side in one Windows session,
    // where a mutex name is one for the whole session, each take a name of their own.
    std::string instanceMutex{instanceMutexName};
};

// Takes the single-instance mutex (a second instance ends at once, answering 1), opens Log.txt
// in the working folder, loads or rebuilds parameters.xml, loads input/dbase.xml, sets the
// hooks, starts the simulator, posts the start of a run and runs the UI thread's loop with
// the terminal view on `out` until a run ends with quit. Start failures go to the log, the
// window's error line and `err`. Answers the process exit code: 0, or 1 when the start
// failed or the last run ended with "SYSTEM ERROR".
int gf_runProgram(const ProgramOptions& options, std::ostream& out, std::ostream& err);

// Where the program's simulator streams the tracks of its objects; finished when it stops.
inline constexpr const char* tracksFilePath = "output/tracks.json";

// The program as main() runs it: its own window where there is one, commands from standard input, the view on standard output
// (redrawn when that is a terminal), SIGINT and SIGTERM taken as the command "quit"; the
// simulator's titles from VDL_SIM_TITLES, its end from VDL_SIM_SECONDS and its tracks into output/tracks.json.
int gf_programMain(std::ostream& out, std::ostream& err);

// Forgets a SIGINT or SIGTERM not yet taken (part of gf_resetShell).
void gf_clearCloseRequest();

}  // namespace vdl
