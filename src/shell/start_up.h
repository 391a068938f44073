#pragma once
// The program's start, run by main(): later steps grow it into a whole run.
#include <ostream>

namespace vdl {

// Takes the single-instance mutex (a second instance ends at once, answering 1), opens
// Log.txt in the working folder, loads or rebuilds parameters.xml, loads input/dbase.xml
// and prints the main window to `out`. Failures go to the log, the window's error line and
// `err`; the answer is the process exit code.
int gf_programMain(std::ostream& out, std::ostream& err);

}  // namespace vdl
