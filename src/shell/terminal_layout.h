#pragma once
// The terminal view's frame: the window's text laid out for a terminal of a given size, so that
// the status line, the error line, the connection states and the counters stay on screen.
#include <string>
#include <string_view>
#include <vector>

#include "window/main_window.h"

namespace vdl {

// The terminal's last rows are left to the text being typed and its echo.
inline constexpr int terminalInputRows = 2;

struct TerminalExtras {
    // Below the connection states: the simulator's time left, or how the run ended.
    std::vector<std::string> footer;
    // `help` was typed: a page of the options by name takes the statistics' and options' rows.
    bool optionsAsked = false;
    // The commands' line at the end (none once the run ended).
    bool commands = true;
    // The page of the options `help N` asked for, from 1 (beyond the last: the last).
    int helpPage = 1;
};

// The run's end, compact: the title, status and error lines, the connection states and the
// counters, and last the `ending` lines; at most `rows` lines (the first ones go first).
std::vector<std::string> gf_layoutEnding(int rows, int columns, const WindowText& text,
                                         const std::vector<std::string>& ending);

// The options as `help` lists them: each control by the name `set` and `press` take, then the
// window's own buttons.
std::vector<std::string> gf_optionHelpLines(const WindowText& text);

// At most rows - terminalInputRows lines (at least one), none wider than `columns` characters:
// the title (when there is room), the status line, the error line's row (empty without one),
// the connection states, the footer, the other counters; then, while rows are left, the
// statistics and the options (all of them when they fit), or on `help` a page of the options by
// name; then the commands.
std::vector<std::string> gf_layoutTerminal(int rows, int columns, const WindowText& text,
                                           const TerminalExtras& extras);

// The text cut to at most `columns` characters (UTF-8 code points), "~" marking a cut.
std::string gf_fitColumns(std::string_view text, int columns);

}  // namespace vdl
