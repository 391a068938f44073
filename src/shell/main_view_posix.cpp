// POSIX: no window of the program's own; the terminal view shows the window model.
#include "shell/main_view.h"

namespace vdl {

bool gf_runWindowLoop(int, TerminalView&, std::atomic<bool>*) { return false; }

}  // namespace vdl
