#include "shell/reset.h"

#include <chrono>

#include "airports/reset.h"
#include "airports/stand_locations.h"
#include "feed/reset.h"
#include "feed/rt_link.h"
#include "feed/traffic_reader.h"
#include "foundation/reset.h"
#include "liveries/livery_tables.h"
#include "refdata/reset.h"
#include "shell/final_exit.h"
#include "shell/main_loop.h"
#include "shell/reports.h"
#include "shell/run_requests.h"
#include "shell/run_worker.h"
#include "shell/start_up.h"
#include "shell/ui_messages.h"
#include "simlink/sim_link.h"
#include "traffic/traffic_lists.h"
#include "window/reset.h"

namespace vdl {

namespace {

constexpr auto exitThreadWait = std::chrono::seconds(30);

void lf_stopShellThreads() {
    gf_waitForExitThread(exitThreadWait);
    gf_stopRunWorker();
}

}  // namespace

void gf_resetShell() {
    lf_stopShellThreads();
    gf_clearRunRequests();
    uiMessages.clear();
    gf_setRunConfig({});
    gf_clearMainLoopState();
    gf_clearReportCalls();
    gf_clearCloseRequest();
}

void gf_resetBetweenRuns() {
    gf_resetWindowBetweenRuns();
    gf_resetFeedBetweenRuns();
    gf_resetSimLinkBetweenRuns();
    gf_resetLiveriesBetweenRuns();
    gf_clearTrafficLists();
    gf_clearStockProbeCache();
}

void gf_resetEverything() {
    lf_stopShellThreads();
    gf_stopSimConnectThread();
    gf_stopReaders();
    realTrafficLink.stop();

    gf_resetFoundation();
    gf_resetWindow();
    gf_resetRefdata();
    gf_resetFeed();
    gf_resetSimLink();
    gf_resetAirports();
    gf_resetLiveries();
    gf_resetTraffic();
    gf_resetShell();
}

}  // namespace vdl
