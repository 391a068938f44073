// The terminal view: its frame laid out for the terminal's size, the redraw that keeps the
// text being typed, and the last frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "shell/terminal_layout.h"
#include "shell/terminal_view.h"
#include "simlink/sim_link.h"
#include "window/main_window.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

size_t lf_chars(const std::string& s) {
    return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

class TerminalViewTest : public test::WindowShellTest {
  protected:
    // The counters a run shows, in the order the main loop first sets them.
    static void setRunCounters() {
        const std::pair<const char*, const char*> counters[] = {
            {"# liveries", "2950"},
            {"simulator", "running"},
            {"RealTraffic", "connected, version 10.0.240 level 2"},
            {"QNH", "1017 hPa"},
            {"traffic records queued", "3"},
            {"live aircraft", "11"},
            {"static aircraft", "6"},
            {"parked live", "2 (0.4 h)"},
            {"parked static", "6 (1.0 h)"},
            {"lateral range", "50 nm (auto)"},
            {"max park", "17 (50%)"},
        };
        for (const auto& [name, value] : counters) gf_setWindowValue(WindowArea::Counters, name, value);
        for (const char* name : {"tick", "airport", "park airport", "stand changes", "fit real", "fit soft"})
            gf_setWindowValue(WindowArea::Statistics, name, "12");
    }
};

TEST_F(TerminalViewTest, SmallFrameIsLaidOutExactly) {
    WindowText t;
    t.title = "Vandrel 10.10.4 for MSFS 2020";
    t.status = "status: liveries scanned";
    t.counters = {{"simulator", "running"},
                  {"RealTraffic", "connected, version 10.0.240 level 2"},
                  {"QNH", "1017 hPa"},
                  {"live aircraft", "9"},
                  {"static aircraft", "4"},
                  {"# liveries", "2950"}};
    t.optionRows = {"   [x] LOG  [ ] AUTO_RANGE"};
    t.statistics = {{"tick", "42"}, {"airport", ""}};
    const TerminalExtras extras{{"simulator time left: 8:20"}, false, true};
    const std::vector<std::string> expected = {
        "Vandrel 10.10.4 for MSFS 2020",
        "status: liveries scanned",
        "",
        "simulator: running",
        "RealTraffic: connected, version 10.0.24~",
        "simulator time left: 8:20",
        "QNH: 1017 hPa   live aircraft: 9",
        "static aircraft: 4   # liveries: 2950",
        "-- statistics --",
        "tick: 42",
        "type: set NAME VALUE | press NAME | qui~",
    };
    EXPECT_EQ(gf_layoutTerminal(14, 40, t, extras), expected);
    // Two rows more: the options fit too.
    auto taller = expected;
    taller.insert(taller.end() - 1, {"-- options --", "   [x] LOG  [ ] AUTO_RANGE"});
    EXPECT_EQ(gf_layoutTerminal(16, 40, t, extras), taller);
    // Too few rows: the title goes first, then what comes last.
    EXPECT_EQ(gf_layoutTerminal(8, 40, t, extras),
              std::vector<std::string>(expected.begin() + 1, expected.begin() + 7));
}

TEST_F(TerminalViewTest, StatusErrorCountersAndConnectionsStayOnScreenAtEverySize) {
    setRunCounters();
    gf_setStatusLine("a status line long enough to be cut on the narrowest terminal of all here", false);
    gf_setErrorLine("30: input/dbase.xml not found");
    const WindowText text = mainWindow.text();
    ASSERT_GT(text.optionRows.size(), 10u);
    const struct {
        int rows, columns;
        bool help;
        bool allOptions;  // every option row is on screen
    } cases[] = {
        {24, 80, false, false}, {24, 80, true, false}, {45, 120, false, true}, {45, 120, true, false}, {12, 60, false, false},
    };
    for (const auto& c : cases) {
        const auto lines = gf_layoutTerminal(c.rows, c.columns, text, {{"simulator time left: 9:58"}, c.help, true});
        const std::string where = testing::PrintToString(c.rows) + "x" + testing::PrintToString(c.columns) +
                                  (c.help ? " help" : "");
        EXPECT_LE(lines.size(), static_cast<size_t>(c.rows - terminalInputRows)) << where;
        for (const auto& line : lines) EXPECT_LE(lf_chars(line), static_cast<size_t>(c.columns)) << where << ": " << line;
        EXPECT_TRUE(test::hasLine(lines, "status: a status line")) << where;
        EXPECT_TRUE(test::hasLine(lines, "Error 30: input/dbase.xml not found")) << where;
        EXPECT_TRUE(test::hasLine(lines, "simulator time left: 9:58")) << where;
        for (const auto& [name, value] : text.counters) EXPECT_TRUE(test::hasLine(lines, name + ": ")) << where << ": " << name;
        EXPECT_TRUE(test::hasLine(lines, "RealTraffic: connected")) << where;
        const bool everyOption = std::all_of(text.optionRows.begin(), text.optionRows.end(),
                                             [&](const std::string& row) { return test::hasLine(lines, row); });
        EXPECT_EQ(everyOption, c.allOptions) << where;
        // On help the first page of the options by name; without it the option rows only when
        // all of them fit.
        if (c.help) {
            EXPECT_TRUE(test::hasLine(lines, "-- options 1 of ")) << where;
            EXPECT_TRUE(test::hasLine(lines, text.optionNames.front())) << where;
        } else if (!c.allOptions) {
            EXPECT_FALSE(test::hasLine(lines, "-- options --")) << where;
        }
    }
}

// A terminal of 24 rows: the frame in its top 22 rows, the last two its own scroll region for
// what is typed; later frames write only their changed lines, with the cursor put back.
TEST_F(TerminalViewTest, RedrawKeepsTheTypedLineAndEndsBelowTheLastFrame) {
    setRunCounters();
    std::ostringstream out;
    TerminalView view(out, true, std::chrono::milliseconds(0), [] { return TerminalSize{24, 80}; });
    view.refresh();
    const std::string first = out.str();
    EXPECT_NE(first.find("\x1b[2J\x1b[23;24r"), std::string::npos);
    EXPECT_TRUE(first.ends_with("\x1b[24;1H")) << "the cursor waits on the input line";

    out.str("");
    view.refresh();
    EXPECT_EQ(out.str(), "") << "nothing changed, nothing written";

    gf_setWindowValue(WindowArea::Counters, "live aircraft", "12");
    view.refresh();
    const std::string changed = out.str();
    EXPECT_TRUE(changed.starts_with("\x1b" "7")) << changed;
    EXPECT_TRUE(changed.ends_with("\x1b" "8")) << changed;
    EXPECT_NE(changed.find("live aircraft: 12"), std::string::npos);
    EXPECT_EQ(changed.find("\x1b[2J"), std::string::npos) << "no clear: the typed text stays";
    EXPECT_EQ(changed.find("status:"), std::string::npos) << "unchanged lines are not written";

    // The simulator quits: the last frame says so and how the run ended.
    out.str("");
    simQuit = true;
    view.finish();
    simQuit = false;
    const std::string last = out.str();
    for (const char* part : {"simulator: closed", "the run ended: the simulator closed", "reports and log: "})
        EXPECT_NE(last.find(part), std::string::npos) << part;
    EXPECT_EQ(last.find("type: set NAME VALUE"), std::string::npos) << "no commands once it ended";
    EXPECT_TRUE(last.starts_with("\x1b[r\x1b[H\x1b[2J")) << "the scrolling restored, a short ending from the top";
    EXPECT_TRUE(last.ends_with("\n")) << "the cursor below it";
}

}  // namespace
}  // namespace vdl
