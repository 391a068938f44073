#include "window/main_window.h"

#include <algorithm>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/version.h"

namespace vdl {

MainWindow mainWindow;

namespace {

// What an edit box shows for its parameter's current value.
std::string lf_boxTextOf(const Parameter& parameter, ControlKind kind) {
    if (kind == ControlKind::TbFloat) {
        if (auto* f = dynamic_cast<const FloatParameter*>(&parameter)) return gf_floatText(f->value());
    }
    return parameter.text();
}

bool lf_checkedOf(const Parameter& parameter) {
    auto* b = dynamic_cast<const BoolParameter*>(&parameter);
    return b != nullptr && b->value();
}

std::string_view lf_areaTitle(WindowArea area) {
    switch (area) {
        case WindowArea::Counters: return "-- counters --";
        case WindowArea::Options: return "-- options --";
        case WindowArea::Statistics: return "-- statistics --";
    }
    return "--";
}

std::string lf_controlText(const ControlView& c) {
    std::string text;
    switch (c.kind) {
        case ControlKind::CheckBox: text = fmt::format("[{}] {}", c.checked ? 'x' : ' ', c.caption); break;
        case ControlKind::TbInt:
        case ControlKind::TbFloat:
        case ControlKind::TbText: text = fmt::format("{}: [{}]", c.caption, c.text); break;
        case ControlKind::Button: text = fmt::format("<{}> {}", c.caption, c.checked ? "on" : "off"); break;
    }
    if (!c.enabled) text += " (disabled)";
    return text;
}

}  // namespace

MainWindow::MainWindow(NowFunction now) : now_(std::move(now)) {}

MainWindow::Clock::time_point MainWindow::now() const { return now_ ? now_() : Clock::now(); }

bool MainWindow::setStatusLine(std::string_view text) {
    Lock lock(windowMutex);
    if (!errorLine_.empty()) return false;
    statusLine_ = text;
    statusUntil_ = now() + statusLineDuration;
    changed(lock);
    return true;
}

void MainWindow::clearStatusLine() {
    Lock lock(windowMutex);
    if (statusLine_.empty()) return;
    statusLine_.clear();
    changed(lock);
}

void MainWindow::expireStatus(const Lock& lock) {
    if (!statusLine_.empty() && now() >= statusUntil_) {
        statusLine_.clear();
        changed(lock);
    }
}

std::string MainWindow::statusLine() {
    Lock lock(windowMutex);
    expireStatus(lock);
    return statusLine_;
}

void MainWindow::setErrorLine(std::string_view text) {
    Lock lock(windowMutex);
    errorLine_ = fmt::format("Error {}", text);
    changed(lock);
}

std::string MainWindow::errorLine() const {
    Lock lock(windowMutex);
    return errorLine_;
}

void MainWindow::setValue(WindowArea area, std::string_view name, std::string value) {
    Lock lock(windowMutex);
    auto& values = values_.at(static_cast<size_t>(area));
    auto it = std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
    if (it == values.end()) {
        values.emplace_back(std::string(name), std::move(value));
    } else if (it->second != value) {
        it->second = std::move(value);
    } else {
        return;
    }
    changed(lock);
}

std::string MainWindow::value(WindowArea area, std::string_view name) const {
    Lock lock(windowMutex);
    for (const auto& [n, v] : values_.at(static_cast<size_t>(area))) {
        if (n == name) return v;
    }
    return {};
}

std::vector<std::pair<std::string, std::string>> MainWindow::values(WindowArea area) const {
    Lock lock(windowMutex);
    return values_.at(static_cast<size_t>(area));
}

void MainWindow::setChangeHook(std::function<void()> hook) {
    Lock lock(windowMutex);
    changeHook_ = std::move(hook);
}

void MainWindow::requestRepaint(WindowArea area) {
    Lock lock(windowMutex);
    repaintRequested_.at(static_cast<size_t>(area)) = true;
    changed(lock);
}

bool MainWindow::takeRepaintRequest(WindowArea area) {
    Lock lock(windowMutex);
    return std::exchange(repaintRequested_.at(static_cast<size_t>(area)), false);
}

void MainWindow::bindControls() {
    Lock lock(windowMutex);
    bind(lock);
}

void MainWindow::bind(const Lock& lock) {
    std::vector<BoundControl> bound;
    for (Parameter* p : gf_parameters()) {
        ParamControl* c = p->control();
        if (c == nullptr) continue;
        for (const auto& other : bound) {
            if (other.control->controlId() == c->controlId()) {
                throw std::logic_error(fmt::format("control id {} of {} is taken by {}", c->controlId(), p->name(),
                                                   other.parameter->name()));
            }
        }
        bound.push_back({p, c, gf_controlHasBox(c->controlKind()) ? lf_boxTextOf(*p, c->controlKind()) : std::string(),
                         c->enabled(), lf_checkedOf(*p)});
    }
    std::stable_sort(bound.begin(), bound.end(), [](const BoundControl& a, const BoundControl& b) {
        if (a.control->row() != b.control->row()) return a.control->row() < b.control->row();
        return a.control->controlId() < b.control->controlId();
    });
    controls_ = std::move(bound);
    bound_ = true;
    changed(lock);
}

void MainWindow::syncControls(const Lock& lock) {
    if (!bound_) bind(lock);
    for (auto& b : controls_) {
        bool enabled = b.control->enabled();
        bool checked = lf_checkedOf(*b.parameter);
        if (enabled != b.shownEnabled || checked != b.shownChecked) {
            b.shownEnabled = enabled;
            b.shownChecked = checked;
            changed(lock);
        }
    }
}

MainWindow::BoundControl* MainWindow::findControl(const Lock& lock, int controlId) {
    if (!bound_) bind(lock);
    for (auto& b : controls_) {
        if (b.control->controlId() == controlId) return &b;
    }
    return nullptr;
}

std::vector<ControlView> MainWindow::controls() {
    Lock lock(windowMutex);
    syncControls(lock);
    std::vector<ControlView> views;
    views.reserve(controls_.size());
    for (const auto& b : controls_) {
        views.push_back({b.parameter, b.control->controlKind(), b.control->controlId(), b.control->row(),
                         b.control->caption(), b.shownEnabled, b.shownChecked, b.boxText});
    }
    return views;
}

void MainWindow::showParameterValue(const Parameter& parameter) {
    const ParamControl* c = parameter.control();
    if (c == nullptr || !gf_controlHasBox(c->controlKind())) return;
    std::string text = lf_boxTextOf(parameter, c->controlKind());
    Lock lock(windowMutex);
    BoundControl* b = findControl(lock, c->controlId());
    if (b == nullptr) return;
    b->boxText = std::move(text);
    repaintRequested_[static_cast<size_t>(WindowArea::Options)] = true;
    changed(lock);
}

bool MainWindow::setBoxText(int controlId, std::string_view text) {
    Lock lock(windowMutex);
    BoundControl* b = findControl(lock, controlId);
    if (b == nullptr || !gf_controlHasBox(b->control->controlKind())) return false;
    if (b->boxText != text) {
        b->boxText = text;
        changed(lock);
    }
    return true;
}

std::string MainWindow::boxText(int controlId) {
    Lock lock(windowMutex);
    BoundControl* b = findControl(lock, controlId);
    return b == nullptr ? std::string() : b->boxText;
}

uint64_t MainWindow::version() {
    Lock lock(windowMutex);
    expireStatus(lock);
    syncControls(lock);
    return version_;
}

WindowText MainWindow::text() {
    Lock lock(windowMutex);
    expireStatus(lock);
    syncControls(lock);

    WindowText t;
    t.title = fmt::format("{} {} for {}", programName, programVersion.text(), gf_simulatorName());
    t.status = fmt::format("status: {}", statusLine_);
    t.error = errorLine_;
    t.counters = values_[static_cast<size_t>(WindowArea::Counters)];
    for (size_t i = 0; i < controls_.size();) {
        // One line per row of controls.
        int row = controls_[i].control->row();
        std::string line = " ";
        for (; i < controls_.size() && controls_[i].control->row() == row; ++i) {
            const auto& b = controls_[i];
            ControlView v{b.parameter, b.control->controlKind(), b.control->controlId(), row,
                          b.control->caption(), b.shownEnabled, b.shownChecked, b.boxText};
            line += "  ";
            line += lf_controlText(v);
            t.optionNames.push_back(fmt::format("{}  {}", b.parameter->name(), lf_controlText(v)));
        }
        t.optionRows.push_back(std::move(line));
    }
    t.optionValues = values_[static_cast<size_t>(WindowArea::Options)];
    t.statistics = values_[static_cast<size_t>(WindowArea::Statistics)];
    return t;
}

std::vector<std::string> MainWindow::lines() {
    WindowText t = text();
    std::vector<std::string> out;
    out.push_back(std::move(t.title));
    out.push_back(std::move(t.status));
    if (!t.error.empty()) out.push_back(std::move(t.error));
    auto addValues = [&](const std::vector<std::pair<std::string, std::string>>& values) {
        for (const auto& [name, value] : values) out.push_back(fmt::format("  {}: {}", name, value));
    };
    out.emplace_back(lf_areaTitle(WindowArea::Counters));
    addValues(t.counters);
    out.emplace_back(lf_areaTitle(WindowArea::Options));
    for (auto& row : t.optionRows) out.push_back(std::move(row));
    addValues(t.optionValues);
    out.emplace_back(lf_areaTitle(WindowArea::Statistics));
    addValues(t.statistics);
    return out;
}

void MainWindow::reset() {
    Lock lock(windowMutex);
    statusLine_.clear();
    statusUntil_ = {};
    errorLine_.clear();
    for (auto& v : values_) v.clear();
    repaintRequested_ = {};
    controls_.clear();
    bound_ = false;
    changed(lock);
}

void gf_setStatusLine(std::string_view text, bool logFlag) {
    if (logFlag) gf_log(text);
    mainWindow.setStatusLine(text);
}

void gf_clearStatusLine() { mainWindow.clearStatusLine(); }

void gf_setErrorLine(std::string_view text) { mainWindow.setErrorLine(text); }

void gf_setTbInt(const TbIntParameter& option) { mainWindow.showParameterValue(option); }
void gf_setTbFloat(const TbFloatParameter& option) { mainWindow.showParameterValue(option); }
void gf_setTbText(const TbTextParameter& option) { mainWindow.showParameterValue(option); }

void gf_setWindowValue(WindowArea area, std::string_view name, std::string value) {
    mainWindow.setValue(area, name, std::move(value));
}

void gf_repaintArea(WindowArea area) { mainWindow.requestRepaint(area); }

void gf_initMainWindow() { mainWindow.bindControls(); }

}  // namespace vdl
