#include "shell/start_up.h"

#include <exception>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "refdata/dbase.h"
#include "shell/single_instance.h"
#include "shell/window/main_window.h"

namespace vdl {

namespace {

// The exception reporter of the start-up; no run is going yet, so there is nothing to end.
void lf_reportException(std::string_view function, const std::exception& e, std::ostream& err) {
    gf_log(fmt::format("{}: {}", function, e.what()));
    gf_setErrorLine(e.what());
    err << function << ": " << e.what() << '\n';
}

void lf_printWindow(std::ostream& out) {
    for (const auto& line : mainWindow.lines()) out << line << '\n';
    out.flush();
}

// Parameters and data base; answers false when the start cannot go on.
bool lf_startUp(std::ostream& err) {
    try {
        if (!gf_makeProgramFolder()) {
            gf_setStatusLine(fmt::format("cannot make the folder \"{}\"", gf_programFolder().string()), true);
        }
        if (!gf_loadParameters()) {
            gf_setStatusLine(fmt::format("cannot write \"{}\"", gf_parametersPath().string()), true);
        }
        gf_initMainWindow();
        gf_loadDbase("input/dbase.xml");
        return true;
    } catch (const std::exception& e) {
        lf_reportException("lf_startUp", e, err);
        return false;
    }
}

}  // namespace

int gf_programMain(std::ostream& out, std::ostream& err) {
    std::optional<NamedMutex> instance;
    try {
        instance.emplace(instanceMutexName);
    } catch (const std::exception& e) {
        err << "gf_programMain: " << e.what() << '\n';
        return 1;
    }
    if (!instance->owned()) {
        err << fmt::format("{} is already running\n", programName);
        return 1;
    }

    // The simulator in the first line is the default until parameters.xml is read.
    if (!gf_openLog(gf_simulatorName())) err << "cannot open Log.txt in the working folder\n";

    bool started = lf_startUp(err);
    lf_printWindow(out);
    gf_closeLog();
    return started ? 0 : 1;
}

}  // namespace vdl
