#include "shell/reset.h"

#include <chrono>

#include "feed/reset.h"
#include "foundation/clock.h"
#include "liveries/livery_tables.h"
#include "refdata/dbase.h"
#include "refdata/hooks.h"
#include "shell/final_exit.h"
#include "shell/main_loop.h"
#include "shell/reports.h"
#include "shell/run_requests.h"
#include "shell/run_worker.h"
#include "shell/ui_messages.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"
#include "traffic/traffic_lists.h"

namespace vdl {

void gf_resetShellForTests() {
    gf_waitForExitThread(std::chrono::seconds(30));
    gf_stopRunWorker();
    gf_resetSimLinkForTests();
    gf_resetFeedForTests();
    gf_resetTrafficForTests();
    gf_resetLiveriesForTests();
    gf_resetReportsForTests();
    gf_resetShellWindowForTests();
    gf_resetRefdataForTests();
    gf_resetRefdataFilesForTests();
    gf_clearRunRequests();
    uiMessages.clear();
    gf_setRunConfig({});
    tickCount = 0;
    clock100 = 0;
    simRunning = false;
    simStarted = false;
    simPaused = false;
    simConnected = false;
}

}  // namespace vdl
