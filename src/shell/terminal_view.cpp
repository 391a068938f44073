#include "shell/terminal_view.h"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <utility>

#include "foundation/utf8_path.h"
#include "shell/main_loop.h"
#include "shell/terminal_layout.h"
#include "simlink/sim_link.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

// Long enough to read the options and type a command.
constexpr auto optionsShown = std::chrono::seconds(30);
// The window's line of the tick statistic, as MainWindow::lines() writes it.
constexpr std::string_view tickLine = "  tick: ";
// Where the terminal does not say its size.
constexpr TerminalSize fallbackSize{24, 80};

std::string lf_absolute(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return gf_utf8FromPath(ec ? path : full.lexically_normal());
}

}  // namespace

std::vector<std::string> gf_runEndingLines(const std::string& tracksFile) {
    std::vector<std::string> lines;
    if (simQuit.load())
        lines.emplace_back("the run ended: the simulator closed");
    else if (userClosed.load())
        lines.emplace_back("the run ended: closed by the user");
    else if (!mainWindow.errorLine().empty())
        lines.emplace_back("the run ended on the error above");
    else
        lines.emplace_back("the run ended");
    lines.push_back(fmt::format("reports and log: {}", lf_absolute("Log.txt")));
    std::error_code ec;
    if (!tracksFile.empty() && std::filesystem::exists(gf_pathFromUtf8(tracksFile), ec))
        lines.push_back(fmt::format("the simulator's tracks: {}", lf_absolute(gf_pathFromUtf8(tracksFile))));
    return lines;
}

TerminalView::TerminalView(std::ostream& out, bool redraw, std::chrono::milliseconds interval, SizeFunction size)
    : out_(out), redraw_(redraw), interval_(interval), size_(std::move(size)) {}

void TerminalView::askOptions(int page) {
    optionsUntil_ = std::chrono::steady_clock::now() + optionsShown;
    helpPage_ = std::max(1, page);
    printOptions_ = true;
}

std::vector<std::string> TerminalView::footer() const {
    if (ended_) return gf_runEndingLines(tracksFile_);
    if (!secondsLeft_) return {};
    const std::optional<double> left = secondsLeft_();
    if (!left) return {};
    const long seconds = std::lround(std::ceil(*left));
    return {fmt::format("simulator time left: {}:{:02} (the stand-in's flight ends then)", seconds / 60, seconds % 60)};
}

void TerminalView::refresh(bool force) {
    if (redraw_) {
        draw(force);
        return;
    }
    if (std::exchange(printOptions_, false)) {
        out_ << "==== options: set NAME VALUE | press NAME ====\n";
        for (const auto& line : gf_optionHelpLines(mainWindow.text())) out_ << line << '\n';
        out_.flush();
    }
    const auto now = std::chrono::steady_clock::now();
    const uint64_t version = mainWindow.version();
    if (!force && (version == shownVersion_ || now - lastPrint_ < interval_)) return;
    std::vector<std::string> lines = mainWindow.lines();
    if (force || shown_.empty()) {
        out_ << "==== window ====\n";
        for (const auto& line : lines) out_ << line << '\n';
    } else {
        // The tick count changes every second and says nothing new.
        const std::set<std::string> before(shown_.begin(), shown_.end());
        for (const auto& line : lines)
            if (!before.contains(line) && !line.starts_with(tickLine)) out_ << line << '\n';
    }
    if (ended_)
        for (const auto& line : footer()) out_ << line << '\n';
    out_.flush();
    shown_ = std::move(lines);
    shownVersion_ = version;
    lastPrint_ = now;
}

// The frame above the last rows, which keep what is being typed: a scroll region of their own,
// and the cursor put back where the typing goes on. Only changed lines are written.
void TerminalView::draw(bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastPrint_ < interval_) return;
    lastPrint_ = now;
    std::optional<TerminalSize> size = size_ ? size_() : gf_terminalSize();
    if (!size || size->rows < terminalInputRows + 1 || size->columns < 1) size = fallbackSize;
    const TerminalExtras extras{footer(), now < optionsUntil_, !ended_, helpPage_};
    std::vector<std::string> lines = gf_layoutTerminal(size->rows, size->columns, mainWindow.text(), extras);

    const bool whole = size->rows != shownSize_.rows || size->columns != shownSize_.columns;
    std::string frame;
    if (whole) {
        frame += fmt::format("\x1b[r\x1b[H\x1b[2J\x1b[{};{}r", size->rows - terminalInputRows + 1, size->rows);
        shown_.clear();
    }
    for (size_t i = 0; i < std::max(lines.size(), shown_.size()); ++i) {
        const std::string_view line = i < lines.size() ? std::string_view(lines[i]) : std::string_view();
        if (!whole && i < shown_.size() && i < lines.size() && shown_[i] == line) continue;
        frame += fmt::format("\x1b[{};1H{}\x1b[K", i + 1, line);
    }
    if (whole)
        frame += fmt::format("\x1b[{};1H", size->rows);
    else if (!frame.empty())
        frame = "\x1b" "7" + frame + "\x1b" "8";
    out_ << frame;
    out_.flush();
    shown_ = std::move(lines);
    shownSize_ = *size;
}

// On a terminal the frame gives way to a short ending, with how the run ended last, so that
// what a script prints after the program still leaves it on screen.
void TerminalView::finish() {
    gf_showConnectionStates();
    ended_ = true;
    if (!redraw_) {
        refresh(true);
        return;
    }
    std::optional<TerminalSize> size = size_ ? size_() : gf_terminalSize();
    if (!size || size->rows < terminalInputRows + 1 || size->columns < 1) size = fallbackSize;
    // Rows kept free below for what follows the program.
    constexpr int rowsAfter = 4;
    const std::vector<std::string> lines =
        gf_layoutEnding(std::max(1, size->rows - rowsAfter), size->columns, mainWindow.text(), footer());
    std::string frame = "\x1b[r\x1b[H\x1b[2J";
    for (const auto& line : lines) frame += line + '\n';
    out_ << frame;
    out_.flush();
    shown_.clear();
    shownSize_ = *size;
}

}  // namespace vdl
