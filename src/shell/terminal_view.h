#pragma once
// The terminal view of the window model: on a terminal a frame laid out for its size, redrawn
// in place; on a log or a pipe plain lines.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "shell/console.h"

namespace vdl {

// Prints the window's lines when they change. With redraw (a terminal) the frame fits the
// terminal (gf_layoutTerminal), only its changed lines are written and the last rows are left
// to the text being typed; without it the whole window is printed first and afterwards only the
// lines that are new (a log or a pipe).
class TerminalView {
  public:
    using SizeFunction = std::function<std::optional<TerminalSize>()>;
    // `size` gives the terminal's size (standard output's terminal when empty).
    TerminalView(std::ostream& out, bool redraw, std::chrono::milliseconds interval, SizeFunction size = {});
    // The simulator's time left in seconds while the stand-in's flight runs (none: not shown).
    void setTimeLeft(std::function<std::optional<double>()> secondsLeft) { secondsLeft_ = std::move(secondsLeft); }
    // The simulator's track file, named in the last frame (empty: none is written).
    void setTracksFile(std::string path) { tracksFile_ = std::move(path); }
    // `help` (page 1) or `help N` was typed: on a terminal that page of the options shows for a
    // while; in a log or a pipe every option is printed once, as plain lines.
    void askOptions(int page = 1);
    // Prints when the window changed and the interval has passed since the last print; `force`
    // prints the whole window now.
    void refresh(bool force = false);
    // The last frame: the simulator counter's last state and how the run ended; the terminal's
    // scrolling as it was, the cursor below the frame.
    void finish();

  private:
    std::vector<std::string> footer() const;
    void draw(bool force);

    std::ostream& out_;
    bool redraw_;
    std::chrono::milliseconds interval_;
    SizeFunction size_;
    std::function<std::optional<double>()> secondsLeft_;
    std::string tracksFile_;
    std::chrono::steady_clock::time_point optionsUntil_{};
    int helpPage_ = 1;
    bool printOptions_ = false;
    bool ended_ = false;
    uint64_t shownVersion_ = 0;
    std::vector<std::string> shown_;
    TerminalSize shownSize_{};
    std::chrono::steady_clock::time_point lastPrint_{};
};

// How the run ended, for the last frame: the cause, where the reports went, the track file.
std::vector<std::string> gf_runEndingLines(const std::string& tracksFile);

}  // namespace vdl
