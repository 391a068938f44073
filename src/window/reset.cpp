#include "window/reset.h"

#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

void gf_resetWindow() {
    mainWindow.reset();
    exiting = false;
    userClosed = false;
    parkingBusy = false;
    gf_setFinalExitHook({});
}

void gf_resetWindowBetweenRuns() {
    parkingBusy = false;
}

}  // namespace vdl
