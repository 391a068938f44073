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
    // `help` was typed: the options come before the statistics, as many as fit.
    bool optionsAsked = false;
    // The commands' line at the end (none once the run ended).
    bool commands = true;
};

// At most rows - terminalInputRows lines (at least one), none wider than `columns` characters:
// the title (when there is room), the status line, the error line's row (empty without one),
// the connection states, the footer, the other counters; then, while rows are left, the
// statistics and the options (all of them, or on `help` as many as fit), and the commands.
std::vector<std::string> gf_layoutTerminal(int rows, int columns, const WindowText& text,
                                           const TerminalExtras& extras);

// The text cut to at most `columns` characters (UTF-8 code points), "~" marking a cut.
std::string gf_fitColumns(std::string_view text, int columns);

}  // namespace vdl
