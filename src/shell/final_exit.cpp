#include "shell/final_exit.h"

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "airports/park_airport_choice.h"
#include "feed/rt_link.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/log.h"
#include "shell/reports.h"
#include "shell/reset.h"
#include "shell/run_worker.h"
#include "shell/ui_messages.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"
#include "traffic/parking.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

constexpr auto removalsSentWait = std::chrono::seconds(2);

std::mutex exitThreadMutex;  // held by an exit thread for its whole run: one at a time
std::mutex exitCountMutex;   // guards exitThreads and exitThreadList
std::condition_variable exitCountCv;
int exitThreads = 0;
// The exit threads, joined once they have ended. Never destroyed: one that never ends is left
// to the process's end, as a detached thread would be. (Detached, MinGW's threads now and then
// lost an exit thread before it ran under a busy Wine.)
std::vector<std::thread>& exitThreadList = *new std::vector<std::thread>;

// The listed threads once none runs (each has counted itself out: only its return is left), to
// be joined outside the lock. Caller holds exitCountMutex.
std::vector<std::thread> lf_takeEndedExitThreads() {
    std::vector<std::thread> ended;
    if (exitThreads == 0) ended.swap(exitThreadList);
    return ended;
}

// Every AI aircraft of the run goes; the run worker is no longer stepping the lists. The
// removals skip the traffic step's pacing: the link's next frame sends them all.
// Answers whether any removal waits for the link, or for the id of a create just sent.
bool lf_removeAllAircraft() {
    gf_removeAllLiveAc();
    gf_removeAllStaticAc();
    SimLock lock(simMutex);
    // Nothing new is created on the way out; what was created and never bound goes too.
    simCreateQueue.clear();
    gf_removeUnboundCreates(lock);
    simRemovalIds.insert(simRemovalIds.end(), removalQueue.begin(), removalQueue.end());
    removalQueue.clear();
    // The frame handler sends removals before positions and events: anything still buffered
    // for the objects would reach them after their removal.
    positionSendBuffer.clear();
    positionWriteBuffer.clear();
    simEventQueue.clear();
    return !simRemovalIds.empty() || gf_createsAwaitingId(lock) > 0;
}

// Until the frame handler has sent the removals (also those of creates whose id comes meanwhile)
// and the simulator has had a few frames to carry them out (closing the link at once would leave
// that to the close), the simulator is gone, or the wait is over.
void lf_waitForRemovalsSent() {
    const auto until = std::chrono::steady_clock::now() + removalsSentWait;
    while (std::chrono::steady_clock::now() < until) {
        bool sent = false;
        {
            SimLock lock(simMutex);
            if (hSimConnect == nullptr) return;
            sent = simRemovalIds.empty() && gf_createsAwaitingId(lock) == 0;
        }
        if (sent) {
            const double fps = std::max(10.0f, simFrameRate.load());
            std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(3000.0 / fps)));
            return;
        }
        if (simQuit.load() || !gf_simConnectThreadRunning()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::lock_guard lock(simMutex);
    if (simRemovalIds.empty()) return;
    const std::string notSent =
        fmt::format("FinalExit: {} removal{} not sent", simRemovalIds.size(), simRemovalIds.size() == 1 ? "" : "s");
    // A simulator that quit took its objects with it: nothing was left to remove.
    if (simQuit.load())
        gf_log(fmt::format("{} (the simulator closed with its objects)", notSent));
    else
        gf_logError(notSent);
}

// Counts down on the status line; false when the user closed meanwhile.
bool lf_countDown(ExitReason reason, int seconds) {
    for (int left = seconds; left > 0; --left) {
        if (userClosed.load()) return false;
        gf_setStatusLine(fmt::format("{}: new start in {} s", gf_exitReasonName(reason), left), false);
        for (int i = 0; i < 10 && !userClosed.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return !userClosed.load();
}

// The exit procedure, on a thread of its own.
void FinalExit(ExitReason reason, int delaySeconds) {
    std::lock_guard one(exitThreadMutex);
    try {
        gf_log(fmt::format("FinalExit: {}", gf_exitReasonName(reason)));
        gf_stopReaders();
        gf_stopRunWorker();
        gf_setMainLoopRunning(false);
        if (lf_removeAllAircraft()) lf_waitForRemovalsSent();
        realTrafficLink.stop();
        gf_stopSimConnectThread();
        // The learned stand use is saved; the next run chooses its park airport anew.
        gf_resetParkAirport();

        if (gf_restartsRun(reason) && !userClosed.load()) {
            gf_resetBetweenRuns();
            if (lf_countDown(reason, delaySeconds)) {
                gf_log(fmt::format("FinalExit: a new run after {}", gf_exitReasonName(reason)));
                gf_postUiMessage(UiMessage::StartRun);
                return;
            }
        }
        gf_writeMatchReports();
        gf_log(fmt::format("FinalExit: the program ends ({})", gf_exitReasonName(reason)));
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", "FinalExit", e.what()));
    }
    gf_postUiMessage(UiMessage::SaveAndQuit);
}

}  // namespace

bool gf_restartsRun(ExitReason reason) {
    return reason == ExitReason::NewSettings || reason == ExitReason::SimConnectError ||
           reason == ExitReason::ReaderError;
}

void gf_installFinalExit() {
    gf_setFinalExitHook([](ExitReason reason, int delaySeconds) {
        // The exits of a long session's restarts are joined here, not only at the program's end.
        std::vector<std::thread> ended;
        {
            std::lock_guard lock(exitCountMutex);
            ended = lf_takeEndedExitThreads();
            ++exitThreads;
            exitThreadList.emplace_back([reason, delaySeconds] {
                FinalExit(reason, delaySeconds);
                std::lock_guard lock(exitCountMutex);
                --exitThreads;
                exitCountCv.notify_all();
            });
        }
        for (auto& t : ended) t.join();
    });
}

bool gf_exitThreadRunning() {
    std::lock_guard lock(exitCountMutex);
    return exitThreads > 0;
}

bool gf_waitForExitThread(std::chrono::milliseconds timeout) {
    std::vector<std::thread> ended;
    {
        std::unique_lock lock(exitCountMutex);
        if (!exitCountCv.wait_for(lock, timeout, [] { return exitThreads == 0; })) return false;
        ended = lf_takeEndedExitThreads();
    }
    for (auto& t : ended) t.join();
    return true;
}

size_t gf_exitThreadsHeld() {
    std::lock_guard lock(exitCountMutex);
    return exitThreadList.size();
}

void gf_reportException(std::string_view function, const std::exception& e) {
    gf_log(fmt::format("{}: {}", function, e.what()));
    gf_setErrorLine(e.what());
    gf_startFinalExit(ExitReason::SystemError, 0);
}

void gf_reportException(std::string_view function, std::exception_ptr e) {
    try {
        if (e) std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        gf_reportException(function, ex);
    } catch (...) {
        gf_reportException(function, std::runtime_error("unknown exception"));
    }
}

}  // namespace vdl
