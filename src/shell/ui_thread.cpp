#include "shell/ui_thread.h"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>

#include "airports/airport_links.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "liveries/livery_tables.h"
#include "shell/auto_range.h"
#include "shell/console.h"
#include "shell/reports.h"
#include "shell/run_requests.h"
#include "shell/run_worker.h"
#include "shell/ui_messages.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr auto uiPoll = std::chrono::milliseconds(100);
// A command line longer than this is dropped, not kept growing.
constexpr size_t longestCommand = 4096;
constexpr const char* flushStaticButton = "Flush static";
constexpr const char* reservedStandButton = "show reserved stand";
constexpr const char* liveriesScannedFile = "output/LiveriesScanned.xml";

Parameter* lf_findByName(std::string_view name) {
    const std::string wanted = gf_toUpper(gf_trim(name));
    for (Parameter* p : gf_parameters())
        if (gf_toUpper(p->name()) == wanted) return p;
    return nullptr;
}

// The simulator switch: the other simulator's liveries and airports are scanned in a new run.
std::string lf_switchSimulator() {
    std::error_code ec;
    std::filesystem::remove(liveriesScannedFile, ec);
    gf_requestLiveryReset();
    airportsGenerated = false;
    for (CheckBoxParameter* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
        scan->set(true);
        gf_saveBoolParameter(*scan);
    }
    gf_startFinalExit(ExitReason::NewSettings, 0);
    return fmt::format("switched to {}: a new run starts", gf_simulatorName());
}

// The per-airport parking settings: the run worker saves a change with the airport and adjusts
// the static parking to it.
bool lf_parkingSetting(const Parameter& p) {
    return &p == &parking_percentage || &p == &INITIAL_LOAD_ONLY || &p == &PARK_FAKE || &p == &PARK_SOFT ||
           &p == &CUSTOM_MAX_PARK || &p == &MAX_FIT_FL || &p == &WEEK;
}

std::string lf_switch(BoolParameter& option, bool on) {
    if (option.value() == on) return fmt::format("{} is {} already", option.name(), on ? "on" : "off");
    option.set(on);
    gf_saveBoolParameter(option);
    if (&option == &MSFS_2020) return lf_switchSimulator();
    if (&option == &AUTO_RANGE) gf_autoRangeSwitched(on);
    if (lf_parkingSetting(option)) gf_postRunRequest(RunRequest::ParkingSetting);
    if (&option == &SCAN_LIVERIES && on) {
        gf_requestLiveryReset();
        return "SCAN_LIVERIES on: the liveries are scanned at the next start";
    }
    return fmt::format("{} {}", option.name(), on ? "on" : "off");
}

// A value confirmed in its box.
std::string lf_confirmed(Parameter& p) {
    gf_saveParameter(p);
    if (&p == &LATERAL_RANGE) gf_setLateralRange(LATERAL_RANGE.value());
    if (&p == &MAX_FIT_FL) {
        // MAX_FIT (half hours) follows the hours of the box: hours = MAX_FIT x 0.5 + 0.5.
        MAX_FIT.set(static_cast<int32_t>(std::lround((MAX_FIT_FL.value() - 0.5f) * 2.0f)));
        gf_saveParameter(MAX_FIT);
    }
    if (&p == &MAX_LIVE) gf_postRunRequest(RunRequest::EnforceMaxLive);
    if (&p == &DESTINATION) gf_postRunRequest(RunRequest::NewDestination);
    if (&p == &CALLSIGN_2_OBJECTID) gf_postRunRequest(RunRequest::ShowObjectId);
    if (lf_parkingSetting(p)) gf_postRunRequest(RunRequest::ParkingSetting);
    mainWindow.showParameterValue(p);
    return fmt::format("{} = {}", p.name(), p.text());
}

// A value for the parameter's control: a check box or button takes on or off, a box its text.
std::string lf_setValue(Parameter& p, std::string_view value) {
    const ParamControl* c = p.control();
    if (!c->enabled()) return fmt::format("{} is disabled", p.name());
    if (c->controlKind() == ControlKind::CheckBox || c->controlKind() == ControlKind::Button) {
        const std::string v = gf_toUpper(gf_trim(value));
        if (v == "ON" || v == "TRUE" || v == "1") return lf_switch(static_cast<BoolParameter&>(p), true);
        if (v == "OFF" || v == "FALSE" || v == "0") return lf_switch(static_cast<BoolParameter&>(p), false);
        return fmt::format("\"{}\" is no value for {}", gf_trim(value), p.name());
    }
    mainWindow.setBoxText(c->controlId(), value);
    if (!p.setText(gf_trim(value))) {
        mainWindow.showParameterValue(p);
        return fmt::format("\"{}\" is no value for {}", gf_trim(value), p.name());
    }
    return lf_confirmed(p);
}

std::string lf_set(std::string_view name, std::string_view value) {
    Parameter* p = lf_findByName(name);
    if (p == nullptr || p->control() == nullptr) return fmt::format("no box named \"{}\"", gf_trim(name));
    const ControlKind kind = p->control()->controlKind();
    std::string answer = lf_setValue(*p, value);
    if ((kind == ControlKind::CheckBox || kind == ControlKind::Button) && answer.starts_with('"'))
        answer += ": on or off";
    return answer;
}

// A check box or button toggled.
std::string lf_toggle(Parameter& p) {
    const ParamControl* c = p.control();
    if (c->controlKind() != ControlKind::CheckBox && c->controlKind() != ControlKind::Button)
        return fmt::format("{} is a box: set {} VALUE", p.name(), p.name());
    if (!c->enabled()) return fmt::format("{} is disabled", p.name());
    auto& option = static_cast<BoolParameter&>(p);
    return lf_switch(option, !option.value());
}

std::string lf_press(std::string_view name) {
    const std::string wanted = gf_toUpper(gf_trim(name));
    if (wanted == gf_toUpper(flushStaticButton)) return gf_pressButton(WindowButton::FlushStatic);
    if (wanted == gf_toUpper(reservedStandButton)) return gf_pressButton(WindowButton::ShowReservedStand);
    Parameter* p = lf_findByName(name);
    if (p == nullptr || p->control() == nullptr) return fmt::format("no button named \"{}\"", gf_trim(name));
    return lf_toggle(*p);
}

Parameter* lf_findByControlId(int controlId) {
    for (Parameter* p : gf_parameters())
        if (p->control() != nullptr && p->control()->controlId() == controlId) return p;
    return nullptr;
}

}  // namespace

const char* gf_buttonCaption(WindowButton button) {
    return button == WindowButton::FlushStatic ? flushStaticButton : reservedStandButton;
}

std::string gf_pressButton(WindowButton button) {
    gf_postRunRequest(button == WindowButton::FlushStatic ? RunRequest::FlushStatic : RunRequest::ShowReservedStand);
    return fmt::format("{}: asked", gf_buttonCaption(button));
}

std::string gf_confirmBox(int controlId, std::string_view text) {
    Parameter* p = lf_findByControlId(controlId);
    if (p == nullptr) return fmt::format("no control {}", controlId);
    return lf_setValue(*p, text);
}

std::string gf_pressControl(int controlId) {
    Parameter* p = lf_findByControlId(controlId);
    if (p == nullptr) return fmt::format("no control {}", controlId);
    return lf_toggle(*p);
}

std::string gf_closeProgram() {
    userClosed = true;
    gf_startFinalExit(ExitReason::UserClosedSim, 0);
    return "closing";
}

bool gf_handleUiMessage(UiMessage message) {
    if (message == UiMessage::SaveAndQuit) return true;
    // After the window's quit: a restart that slipped through ends here.
    if (userClosed.load()) {
        gf_writeMatchReports();
        return true;
    }
    gf_startRunWorker();
    return false;
}

int gf_helpPageOf(std::string_view line) {
    const std::string text = gf_trim(line);
    if (text.size() < 4 || gf_toUpper(text.substr(0, 4)) != "HELP") return 0;
    const std::string rest = gf_trim(text.substr(4));
    if (rest.empty()) return 1;
    if (text[4] != ' ' && text[4] != '\t') return 0;
    int page = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), page);
    if (ec != std::errc() || end != rest.data() + rest.size() || page < 1) return 0;
    return page;
}

std::string gf_handleCommand(std::string_view line) {
    const std::string text = gf_trim(line);
    if (text.empty()) return {};
    const size_t space = text.find_first_of(" \t");
    const std::string command = gf_toUpper(text.substr(0, space));
    const std::string rest = space == std::string::npos ? std::string() : gf_trim(text.substr(space));
    if (command == "QUIT" || command == "EXIT") return gf_closeProgram();
    if (command == "HELP") {
        if (gf_helpPageOf(text) == 0) return fmt::format("\"{}\" is no page: help N", rest);
        return "commands: set NAME VALUE | press NAME | help N (options page N) | quit";
    }
    if (command == "SET") {
        const size_t gap = rest.find_first_of(" \t");
        if (rest.empty() || gap == std::string::npos) return "set NAME VALUE";
        return lf_set(rest.substr(0, gap), rest.substr(gap));
    }
    if (command == "PRESS") {
        if (rest.empty()) return "press NAME";
        return lf_press(rest);
    }
    return fmt::format("unknown command \"{}\", try help", text);
}

void CommandInput::take() {
    if (!open_) return;
    char buffer[1024];
    bool again = false;
    const std::optional<size_t> got = gf_readInput(fd_, buffer, sizeof buffer, again);
    if (got && *got > 0) {
        pending_.append(buffer, *got);
        for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
            const std::string line = pending_.substr(0, nl);
            if (const int page = gf_helpPageOf(line); page > 0) helpAsked_ = page;
            const std::string answer = gf_handleCommand(line);
            pending_.erase(0, nl + 1);
            if (!answer.empty()) gf_setStatusLine(answer, true);
        }
        if (pending_.size() > longestCommand) {
            pending_.clear();
            gf_setStatusLine(fmt::format("a command line longer than {} bytes is ignored", longestCommand), true);
        }
    } else if (!again) {
        // No more commands (CI gives /dev/null): the program runs on until the run ends.
        open_ = false;
    }
}

void gf_runUiLoop(int inputFd, TerminalView& view, std::atomic<bool>* closeRequest) {
    CommandInput input(inputFd);
    bool quit = false;
    while (!quit) {
        const UiWait ready = gf_waitUi(uiMessages.wakeUp(), input.waitFd(), uiPoll);
        if (closeRequest != nullptr && closeRequest->exchange(false))
            gf_setStatusLine(gf_handleCommand("quit"), false);
        if (ready.input) input.take();
        if (const int page = input.takeHelpAsked(); page > 0) view.askOptions(page);
        while (auto message = uiMessages.take())
            if (gf_handleUiMessage(*message)) quit = true;
        view.refresh();
    }
    view.finish();
}

}  // namespace vdl
