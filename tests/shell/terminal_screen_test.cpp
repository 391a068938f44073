// What a user sees on an 80x24 terminal: the view's output played on a small screen model, the
// paged `help` with the options by name, and the plain output in a pipe.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "shell/run_requests.h"
#include "shell/terminal_layout.h"
#include "shell/terminal_view.h"
#include "shell/ui_thread.h"
#include "simlink/sim_link.h"
#include "window/main_window.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

// The few escape sequences the view writes, on a screen of rows x columns: scroll region
// (ESC[t;br, ESC[r), cursor moves (ESC[H, ESC[r;cH), clear (ESC[2J), erase to the line's end
// (ESC[K), save and restore (ESC 7, ESC 8); a newline on the region's last row scrolls it.
class Screen {
  public:
    Screen(int rows, int columns)
        : rows_(rows), columns_(columns), cells_(static_cast<size_t>(rows)), bottom_(rows - 1) {}

    void play(const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '\x1b') {
                i = escape(bytes, i + 1);
                continue;
            }
            if (c == '\n') {
                newline();
                continue;
            }
            if (c == '\r') {
                column_ = 0;
                continue;
            }
            std::string& line = cells_[static_cast<size_t>(row_)];
            if (column_ >= columns_) continue;
            if (line.size() <= static_cast<size_t>(column_)) line.resize(static_cast<size_t>(column_), ' ');
            line.replace(static_cast<size_t>(column_), 1, 1, c);
            ++column_;
        }
    }

    // The screen's rows, trailing blanks cut.
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (std::string line : cells_) {
            line.erase(line.find_last_not_of(' ') + 1);
            out.push_back(line);
        }
        return out;
    }

  private:
    size_t escape(const std::string& b, size_t i) {
        if (i >= b.size()) return i;
        if (b[i] == '7') {
            saved_ = {row_, column_};
            return i;
        }
        if (b[i] == '8') {
            row_ = saved_.first;
            column_ = saved_.second;
            return i;
        }
        EXPECT_EQ(b[i], '[') << "unexpected escape";
        std::vector<int> numbers{0};
        bool given = false;
        for (++i; i < b.size(); ++i) {
            const char c = b[i];
            if (c >= '0' && c <= '9') {
                numbers.back() = numbers.back() * 10 + (c - '0');
                given = true;
            } else if (c == ';') {
                numbers.push_back(0);
            } else {
                command(c, numbers, given);
                return i;
            }
        }
        return i;
    }

    void command(char c, const std::vector<int>& n, bool given) {
        switch (c) {
            case 'r':
                top_ = given ? n[0] - 1 : 0;
                bottom_ = given && n.size() > 1 ? n[1] - 1 : rows_ - 1;
                row_ = column_ = 0;
                break;
            case 'H':
                row_ = given ? std::clamp(n[0], 1, rows_) - 1 : 0;
                column_ = given && n.size() > 1 ? std::clamp(n[1], 1, columns_) - 1 : 0;
                break;
            case 'J':
                for (auto& line : cells_) line.clear();
                break;
            case 'K': {
                std::string& line = cells_[static_cast<size_t>(row_)];
                if (line.size() > static_cast<size_t>(column_)) line.resize(static_cast<size_t>(column_));
                break;
            }
            default: ADD_FAILURE() << "unexpected escape command " << c;
        }
    }

    void newline() {
        column_ = 0;
        if (row_ != bottom_) {
            row_ = std::min(row_ + 1, rows_ - 1);
            return;
        }
        cells_.erase(cells_.begin() + top_);
        cells_.insert(cells_.begin() + bottom_, std::string());
    }

    int rows_, columns_;
    std::vector<std::string> cells_;
    int row_ = 0, column_ = 0;
    int top_ = 0, bottom_;
    std::pair<int, int> saved_{0, 0};
};

class TerminalScreenTest : public test::WindowShellTest {
  protected:
    void SetUp() override {
        WindowShellTest::SetUp();
        const std::pair<const char*, const char*> counters[] = {
            {"# liveries", "2950"},           {"simulator", "running"},
            {"RealTraffic", "connected, version 10.0.240 level 2"},
            {"QNH", "1017 hPa"},              {"traffic records queued", "3"},
            {"live aircraft", "11"},          {"static aircraft", "6"},
            {"parked live", "2 (0.4 h)"},     {"parked static", "6 (1.0 h)"},
            {"lateral range", "50 nm (auto)"}, {"max park", "17 (50%)"},
        };
        for (const auto& [name, value] : counters) gf_setWindowValue(WindowArea::Counters, name, value);
        for (const char* name : {"tick", "airport", "park airport", "stand changes", "fit real", "fit soft"})
            gf_setWindowValue(WindowArea::Statistics, name, "12");
    }

    // Every page of `help` at this size, as the view lays it out.
    static std::vector<std::vector<std::string>> helpPages(int rows, int columns) {
        std::vector<std::vector<std::string>> pages;
        const WindowText text = mainWindow.text();
        for (int page = 1; page < 50; ++page) {
            auto lines = gf_layoutTerminal(rows, columns, text, {{}, true, true, page});
            const std::string last = "-- options " + std::to_string(page) + " of " + std::to_string(page) + ":";
            pages.push_back(std::move(lines));
            if (test::hasLine(pages.back(), last)) return pages;
        }
        ADD_FAILURE() << "no last page";
        return pages;
    }
};

// The last frame, then what scripts/run.sh prints after the program: the run's end and where
// its log is stay on screen, below what the program showed last, with nothing of the frame left.
TEST_F(TerminalScreenTest, TheEndingsLastLinesStayOnAnEightyByTwentyFourScreen) {
    gf_setStatusLine("a status line long enough to be cut on an eighty-column terminal, and then some more", false);
    std::ostringstream out;
    TerminalView view(out, true, std::chrono::milliseconds(0), [] { return TerminalSize{24, 80}; });
    view.refresh();
    view.askOptions(2);
    view.refresh(true);
    simQuit = true;
    view.finish();
    simQuit = false;
    Screen screen(24, 80);
    screen.play(out.str());
    screen.play("rt_standin: 4210 lines sent\nTracks: work/output/tracks.svg\n");

    const std::vector<std::string> rows = screen.rows();
    std::string shown;
    for (const auto& row : rows) shown += row + "\n";
    auto at = [&](const std::string& part) {
        return std::find_if(rows.begin(), rows.end(), [&](const std::string& r) { return r.find(part) != std::string::npos; }) -
               rows.begin();
    };
    const long ended = at("the run ended: the simulator closed");
    ASSERT_LT(ended, 24) << shown;
    EXPECT_EQ(at("reports and log: "), ended + 1) << shown;
    EXPECT_EQ(at("rt_standin: 4210 lines sent"), ended + 2) << shown;
    EXPECT_EQ(at("Tracks: work/output/tracks.svg"), ended + 3) << shown;
    EXPECT_LT(at("simulator: closed"), ended) << shown;
    EXPECT_LT(at("live aircraft: 11"), ended) << shown;
    for (const char* gone : {"-- options", "-- statistics", "type: set NAME VALUE"})
        EXPECT_EQ(at(gone), 24) << gone << "\n" << shown;
    for (const auto& row : rows) EXPECT_LE(row.size(), 80u) << row;
}

TEST_F(TerminalScreenTest, HelpPagesNameEveryOptionAsSetAndPressTakeIt) {
    const auto pages = helpPages(24, 80);
    ASSERT_GE(pages.size(), 2u) << "thirty options do not fit 22 rows";
    std::set<std::string> names;
    for (const auto& page : pages) {
        EXPECT_LE(page.size(), 22u);
        EXPECT_TRUE(page.back().starts_with("type: set NAME VALUE")) << "the commands' line stays";
        for (const auto& line : page) EXPECT_LE(line.size(), 80u) << line;
        const auto header = std::find_if(page.begin(), page.end(), [](const std::string& l) { return l.starts_with("-- options "); });
        ASSERT_NE(header, page.end());
        for (auto line = header + 1; line != page.end() - 1; ++line) names.insert(line->substr(0, line->find("  ")));
    }
    // A page past the last shows the last.
    EXPECT_EQ(gf_layoutTerminal(24, 80, mainWindow.text(), {{}, true, true, 99}), pages.back());

    size_t controls = 0;
    for (Parameter* p : gf_parameters()) {
        if (p->control() == nullptr) continue;
        ++controls;
        ASSERT_TRUE(names.contains(p->name())) << p->name() << " is on no page";
        // The name shown is one the commands take: a box its own value, a check box toggled twice.
        const bool clicked = p->control()->controlKind() == ControlKind::CheckBox ||
                             p->control()->controlKind() == ControlKind::Button;
        if (clicked && p->name() == "MSFS_2020") continue;  // the switch starts a new run
        const std::string before = p->text();
        const std::string command = clicked ? "press " + p->name() : "set " + p->name() + " " + before;
        const std::string answer = gf_handleCommand(command);
        EXPECT_EQ(answer.find("no box named"), std::string::npos) << command << ": " << answer;
        EXPECT_EQ(answer.find("no button named"), std::string::npos) << command << ": " << answer;
        if (clicked) gf_handleCommand(command);
        EXPECT_EQ(p->text(), before) << command;
    }
    EXPECT_EQ(names.size(), controls + 2) << "every control and the window's two buttons";
    for (const char* button : {"Flush static", "show reserved stand"}) {
        ASSERT_TRUE(names.contains(button)) << button;
        EXPECT_EQ(gf_handleCommand(std::string("press ") + button), std::string(button) + ": asked");
    }
    gf_takeRunRequests();
}

TEST_F(TerminalScreenTest, HelpLinesAskForTheirPage) {
    const struct {
        const char* line;
        int page;
    } cases[] = {
        {"help", 1}, {"  HELP  ", 1}, {"help 3", 3}, {"Help\t2", 2}, {"help 0", 0}, {"help -1", 0},
        {"help two", 0}, {"help 2x", 0}, {"helpme", 0}, {"help2", 0}, {"set LOG on", 0}, {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_helpPageOf(c.line), c.page) << '"' << c.line << '"';
    EXPECT_NE(gf_handleCommand("help 2").find("help N"), std::string::npos);
    EXPECT_NE(gf_handleCommand("help zero").find("is no page"), std::string::npos);
    // The answer fits one 80-column status line.
    EXPECT_LE(("status: " + gf_handleCommand("help")).size(), 80u);
}

// In a pipe: `help` prints every option by name once; the tick's count alone prints nothing.
TEST_F(TerminalScreenTest, PipedOutputPrintsTheOptionsOnceAndNoTicks) {
    std::ostringstream out;
    TerminalView view(out, false, std::chrono::milliseconds(0));
    view.refresh();
    out.str("");
    gf_setWindowValue(WindowArea::Statistics, "tick", "13");
    view.refresh();
    EXPECT_EQ(out.str(), "") << "a tick is no change";
    gf_setWindowValue(WindowArea::Statistics, "tick", "14");
    gf_setWindowValue(WindowArea::Counters, "live aircraft", "12");
    view.refresh();
    EXPECT_EQ(out.str(), "  live aircraft: 12\n");
    out.str("");
    view.askOptions(3);
    view.refresh();
    const std::string help = out.str();
    for (Parameter* p : gf_parameters())
        if (p->control() != nullptr) {
            EXPECT_NE(help.find("\n" + p->name() + "  "), std::string::npos) << p->name();
        }
    out.str("");
    view.refresh();
    EXPECT_EQ(out.str(), "") << "printed once";
}

}  // namespace
}  // namespace vdl
