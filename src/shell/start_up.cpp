#include "shell/start_up.h"

#include <fmt/format.h>

#include <atomic>
#include <exception>
#include <iostream>
#include <optional>
#include <string_view>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/utf8_path.h"
#include "foundation/version.h"
#include "refdata/dbase.h"
#include "refdata/updater.h"
#include "shell/console.h"
#include "shell/final_exit.h"
#include "shell/hooks.h"
#include "shell/main_view.h"
#include "shell/single_instance.h"
#include "shell/ui_messages.h"
#include "shell/ui_thread.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"
#include "simulator/simconnect_dll.h"

namespace vdl {

namespace {

constexpr auto startUpExitThreadWait = std::chrono::seconds(30);

std::atomic<bool> closeRequested{false};

void lf_onConsoleClose() {
    closeRequested = true;
}

// The exception reporter of the start-up; no run is going yet, so there is nothing to end.
void lf_reportStartException(std::string_view function, const std::exception& e, std::ostream& err) {
    gf_log(fmt::format("{}: {}", function, e.what()));
    gf_setErrorLine(e.what());
    err << function << ": " << e.what() << '\n';
}

void lf_printWindow(std::ostream& out) {
    for (const auto& line : mainWindow.lines()) out << line << '\n';
    out.flush();
}

// A save killed mid-way leaves its temporary file; nothing of this process writes yet, so the
// clean-up cannot meet a save of its own. Only the folders the program writes into.
void lf_removeStaleTempFiles() {
    gf_removeStaleTempFiles(gf_programFolder(), false);
    gf_removeStaleTempFiles(".", false);
    gf_removeStaleTempFiles("output", true);
    gf_removeStaleTempFiles("airports", true);
    gf_removeStaleTempFiles("TBLO", false);
}

// Once per start-up, before the data base is read, so that a fresh one is the one read. A refill
// of airports/my_simaddon took the add-on airport scan's links and generated files with it: the
// scan is asked for again, saved, so that the run's start-up makes it (or the next start, should
// this one end first).
void lf_runUpdater() {
    const UpdaterOutcome outcome = gf_runUpdater();
    if (!outcome.mySimaddonRefilled || SCAN_AIRPORTS.value()) return;
    SCAN_AIRPORTS.set(true);
    gf_saveBoolParameter(SCAN_AIRPORTS);
    gf_log("my_simaddon was refilled: the add-on airports are scanned again");
}

// Parameters and data base; answers false when the start cannot go on.
bool lf_startUp(std::ostream& err) {
    try {
        if (!gf_makeProgramFolder()) {
            gf_setStatusLine(fmt::format("cannot make the folder \"{}\"", gf_utf8FromPath(gf_programFolder())), true);
        }
        lf_removeStaleTempFiles();
        if (!gf_loadParameters()) {
            gf_setStatusLine(fmt::format("cannot write \"{}\"", gf_utf8FromPath(gf_parametersPath())), true);
        }
        gf_initMainWindow();
        lf_runUpdater();
        gf_loadDbase("input/dbase.xml");
        return true;
    } catch (const std::exception& e) {
        lf_reportStartException("lf_startUp", e, err);
        return false;
    }
}

}  // namespace

int gf_runProgram(const ProgramOptions& options, std::ostream& out, std::ostream& err) {
    std::optional<NamedMutex> instance;
    try {
        instance.emplace(options.instanceMutex);
    } catch (const std::exception& e) {
        err << "gf_runProgram: " << e.what() << '\n';
        return 1;
    }
    if (!instance->owned()) {
        err << fmt::format("{} is already running\n", programName);
        return 1;
    }

    // The simulator in the first line is the default until parameters.xml is read.
    if (!gf_openLog(gf_simulatorName())) err << "cannot open Log.txt in the working folder\n";

    // The updater's refill of my_simaddon empties the folder through its hook.
    gf_installRunHooks();
    if (!lf_startUp(err)) {
        lf_printWindow(out);
        gf_closeLog();
        return 1;
    }

    gf_setRunConfig(options.run);
    SimulatorScenario simulator(options.scenario);
    SimConnectDllLink simConnectDll(
        gf_simConnectDllCandidates(gf_executableFolder(), gf_pathFromUtf8(SIMCONNECT_SDK_PATH.value())));
    if (options.simConnectDll)
        simConnectDll.start();
    else
        simulator.start();

    TerminalView view(out, options.redraw, options.viewInterval);
    if (!options.simConnectDll) {
        view.setTimeLeft([&simulator] { return simulator.secondsLeft(); });
        view.setTracksFile(gf_utf8FromPath(options.scenario.tracksFile));
    }
    view.refresh(true);
    uiMessages.clear();
    gf_postUiMessage(UiMessage::StartRun);
    if (!options.window || !gf_runWindowLoop(options.inputFd, view, &closeRequested))
        gf_runUiLoop(options.inputFd, view, &closeRequested);

    if (!gf_waitForExitThread(startUpExitThreadWait)) err << "the exit thread did not end\n";
    gf_stopRunWorker();
    gf_stopSimConnectThread();
    simulator.stop();
    simConnectDll.stop();
    const bool failed = !mainWindow.errorLine().empty();
    gf_log("the program ends");
    gf_closeLog();
    return failed ? 1 : 0;
}

void gf_clearCloseRequest() {
    closeRequested = false;
}

int gf_programMain(std::ostream& out, std::ostream& err) {
    gf_onConsoleClose(lf_onConsoleClose);
    ProgramOptions options;
    options.window = true;
    options.redraw = &out == &std::cout && gf_stdoutIsTerminal();
    // The stand-in simulator's installed titles come from the file the environment names (the
    // run script gives it the catalogue's titles); its tracks go beside the other reports.
    if (const std::string ignored = gf_applyScenarioEnvironment(options.scenario); !ignored.empty())
        err << ignored << '\n';
    options.scenario.tracksFile = tracksFilePath;
#ifdef VDL_SIMCONNECT_DLL
    // The Windows program's simulator is the one SimConnect.dll reaches.
    options.simConnectDll = true;
#endif
    return gf_runProgram(options, out, err);
}

}  // namespace vdl
