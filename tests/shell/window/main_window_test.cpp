#include "shell/window/main_window.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "shell/window/exit.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { gf_resetShellWindowForTests(); }
    void TearDown() override { gf_resetShellWindowForTests(); }

    test::TempWorkDir dir;
};

// A window on a clock the test moves.
struct ManualClock {
    MainWindow::Clock::time_point t{std::chrono::hours(1)};
    MainWindow::NowFunction fn() {
        return [this] { return t; };
    }
};

bool lf_contains(const std::vector<std::string>& lines, std::string_view text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; });
}

TEST_F(WindowTest, StatusLineRunsOutAfterItsTime) {
    ManualClock clock;
    MainWindow w(clock.fn());
    EXPECT_TRUE(w.setStatusLine("loading"));
    EXPECT_EQ(w.statusLine(), "loading");
    clock.t += MainWindow::statusLineDuration - std::chrono::milliseconds(1);
    EXPECT_EQ(w.statusLine(), "loading");
    uint64_t before = w.version();
    clock.t += std::chrono::milliseconds(1);
    EXPECT_EQ(w.statusLine(), "");
    EXPECT_GT(w.version(), before) << "a status line that ran out must count as a change";

    // A new text starts the time again.
    w.setStatusLine("first");
    clock.t += MainWindow::statusLineDuration / 2;
    w.setStatusLine("second");
    clock.t += MainWindow::statusLineDuration / 2 + std::chrono::seconds(1);
    EXPECT_EQ(w.statusLine(), "second");

    w.clearStatusLine();
    EXPECT_EQ(w.statusLine(), "");
}

TEST_F(WindowTest, StatusLineIgnoredWhileErrorLineShows) {
    ManualClock clock;
    MainWindow w(clock.fn());
    w.setStatusLine("before the error");
    w.setErrorLine("30: input/dbase.xml not found");
    EXPECT_EQ(w.errorLine(), "Error 30: input/dbase.xml not found");
    EXPECT_FALSE(w.setStatusLine("after the error"));
    EXPECT_EQ(w.statusLine(), "before the error");
    // The error line does not run out.
    clock.t += MainWindow::statusLineDuration * 10;
    EXPECT_EQ(w.errorLine(), "Error 30: input/dbase.xml not found");
    EXPECT_EQ(w.statusLine(), "");
    auto lines = w.lines();
    EXPECT_TRUE(lf_contains(lines, "Error 30: input/dbase.xml not found"));
    EXPECT_FALSE(lf_contains(lines, "after the error"));
}

TEST_F(WindowTest, LoggedStatusLineReachesLogEvenWhenNotShown) {
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    gf_setStatusLine("shown and logged", true);
    gf_setStatusLine("shown only", false);
    EXPECT_EQ(mainWindow.statusLine(), "shown only");
    gf_setErrorLine("boom");
    gf_setStatusLine("logged while error shows", true);
    EXPECT_EQ(mainWindow.statusLine(), "shown only");
    gf_closeLog();

    std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("shown and logged\n"), std::string::npos);
    EXPECT_EQ(log.find("shown only"), std::string::npos);
    EXPECT_NE(log.find("logged while error shows\n"), std::string::npos);
}

TEST_F(WindowTest, EveryParameterWithAControlIsBoundOnceWithAUniqueId) {
    auto controls = mainWindow.controls();
    size_t withControl = 0;
    for (Parameter* p : gf_parameters()) {
        if (p->control() != nullptr) ++withControl;
    }
    ASSERT_GT(withControl, 0u);
    EXPECT_EQ(controls.size(), withControl);

    std::set<int> ids;
    std::set<const Parameter*> params;
    for (const auto& c : controls) {
        EXPECT_TRUE(ids.insert(c.controlId).second) << "control id " << c.controlId << " twice";
        EXPECT_TRUE(params.insert(c.parameter).second);
        EXPECT_FALSE(c.caption.empty()) << c.parameter->name();
    }
    EXPECT_TRUE(std::is_sorted(controls.begin(), controls.end(),
                               [](const ControlView& a, const ControlView& b) { return a.row < b.row; }));
    // The parameters named by the window's Parts all have a control.
    for (const Parameter* p : std::initializer_list<const Parameter*>{
             &LATERAL_RANGE, &MAX_LIVE, &MAX_FIT_FL, &DESTINATION, &LOG, &SCAN_LIVERIES, &MSFS_2020,
             &CALLSIGN_2_OBJECTID, &parking_percentage, &CUSTOM_MAX_PARK}) {
        EXPECT_TRUE(params.count(p)) << p->name() << " has no control";
    }
}

TEST_F(WindowTest, ControlsFollowTheirParameters) {
    for (CheckBoxParameter* option : {&LOG, &RANDOM, &WEEK}) {
        auto find = [&] {
            for (const auto& c : mainWindow.controls()) {
                if (c.parameter == option) return c;
            }
            ADD_FAILURE() << option->name() << " not bound";
            return ControlView{};
        };
        for (bool on : {true, false, true}) {
            uint64_t before = mainWindow.version();
            bool changes = option->value() != on;
            option->set(on);
            EXPECT_EQ(find().checked, on) << option->name();
            if (changes) {
                EXPECT_GT(mainWindow.version(), before);
            }
        }
        option->setEnabled(false);
        EXPECT_FALSE(find().enabled);
        EXPECT_TRUE(lf_contains(mainWindow.lines(), option->caption() + " (disabled)"));
        option->setEnabled(true);
        EXPECT_TRUE(find().enabled);
    }
}

TEST_F(WindowTest, EditBoxesShowTheValueOnlyWhenWritten) {
    struct Case {
        std::function<void()> change;
        std::function<void()> write;
        int controlId;
        std::string expected;
    };
    std::vector<Case> cases = {
        {[] { LATERAL_RANGE.set(250); }, [] { gf_setTbInt(LATERAL_RANGE); }, LATERAL_RANGE.controlId(), "100"},
        {[] { MAX_LIVE.set(-1); }, [] { gf_setTbInt(MAX_LIVE); }, MAX_LIVE.controlId(), "-1"},
        {[] { MAX_FIT_FL.set(24.0f); }, [] { gf_setTbFloat(MAX_FIT_FL); }, MAX_FIT_FL.controlId(), "24"},
        {[] { MAX_FIT_FL.set(0.5f); }, [] { gf_setTbFloat(MAX_FIT_FL); }, MAX_FIT_FL.controlId(), "0.5"},
        {[] { MAX_FIT_FL.set(1.5f); }, [] { gf_setTbFloat(MAX_FIT_FL); }, MAX_FIT_FL.controlId(), "1.5"},
        {[] { DESTINATION.set("EDDL"); }, [] { gf_setTbText(DESTINATION); }, DESTINATION.controlId(), "EDDL"},
        {[] { DESTINATION.set(""); }, [] { gf_setTbText(DESTINATION); }, DESTINATION.controlId(), ""},
    };
    mainWindow.bindControls();
    for (const auto& c : cases) {
        (void)mainWindow.takeRepaintRequest(WindowArea::Options);
        std::string shown = mainWindow.boxText(c.controlId);
        c.change();
        EXPECT_EQ(mainWindow.boxText(c.controlId), shown) << "the box changes only when written";
        c.write();
        EXPECT_EQ(mainWindow.boxText(c.controlId), c.expected);
        EXPECT_TRUE(mainWindow.takeRepaintRequest(WindowArea::Options));
        EXPECT_FALSE(mainWindow.takeRepaintRequest(WindowArea::Options));
    }
    // Text typed by the user stays in the box; the parameter takes it only when confirmed.
    EXPECT_TRUE(mainWindow.setBoxText(MAX_LIVE.controlId(), "25"));
    EXPECT_EQ(mainWindow.boxText(MAX_LIVE.controlId()), "25");
    EXPECT_EQ(MAX_LIVE.value(), -1);
    EXPECT_FALSE(mainWindow.setBoxText(LOG.controlId(), "x")) << "a check box has no text";
    EXPECT_FALSE(mainWindow.setBoxText(-12345, "x"));
}

TEST_F(WindowTest, DisplayValuesAndRepaintRequests) {
    uint64_t v0 = mainWindow.version();
    gf_setWindowValue(WindowArea::Counters, "live", "3");
    gf_setWindowValue(WindowArea::Counters, "QNH", "1013");
    gf_setWindowValue(WindowArea::Statistics, "matched", "12");
    uint64_t v1 = mainWindow.version();
    EXPECT_GT(v1, v0);
    gf_setWindowValue(WindowArea::Counters, "live", "3");
    EXPECT_EQ(mainWindow.version(), v1) << "the same value again is no change";
    gf_setWindowValue(WindowArea::Counters, "live", "4");
    EXPECT_GT(mainWindow.version(), v1);
    EXPECT_EQ(mainWindow.value(WindowArea::Counters, "live"), "4");
    EXPECT_EQ(mainWindow.value(WindowArea::Options, "live"), "");

    for (WindowArea a : {WindowArea::Counters, WindowArea::Options, WindowArea::Statistics}) {
        EXPECT_FALSE(mainWindow.takeRepaintRequest(a));
    }
    gf_repaintArea(WindowArea::Counters);
    EXPECT_FALSE(mainWindow.takeRepaintRequest(WindowArea::Statistics));
    EXPECT_TRUE(mainWindow.takeRepaintRequest(WindowArea::Counters));
    EXPECT_FALSE(mainWindow.takeRepaintRequest(WindowArea::Counters));

    // Values print under their area, in the order first set.
    auto lines = mainWindow.lines();
    auto at = [&](std::string_view text) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; }) -
               lines.begin();
    };
    EXPECT_LT(at("-- counters --"), at("live: 4"));
    EXPECT_LT(at("live: 4"), at("QNH: 1013"));
    EXPECT_LT(at("QNH: 1013"), at("-- options --"));
    EXPECT_LT(at("-- statistics --"), at("matched: 12"));
    EXPECT_LT(at("matched: 12"), static_cast<long>(lines.size()));
}

TEST_F(WindowTest, PrintedLines) {
    LOG.set(true);
    LATERAL_RANGE.set(40);
    gf_initMainWindow();
    gf_setStatusLine("scanning liveries", false);
    auto lines = mainWindow.lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Vandrel 10.10.4 for " + gf_simulatorName());
    EXPECT_EQ(lines[1], "status: scanning liveries");
    EXPECT_TRUE(lf_contains(lines, "[x] " + LOG.caption()));
    EXPECT_TRUE(lf_contains(lines, LATERAL_RANGE.caption() + ": [40]"));
    EXPECT_TRUE(lf_contains(lines, "<" + MSFS_2020.caption() + ">"));
    EXPECT_FALSE(lf_contains(lines, "Error"));
}

// Writers on several threads and a reader printing the window; run under the sanitizers.
TEST_F(WindowTest, SeveralThreadsWriteWhileTheViewPrints) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < 300; ++i) {
                gf_setStatusLine(fmt::format("thread {} step {}", t, i), false);
                gf_setWindowValue(WindowArea::Counters, fmt::format("c{}", t), std::to_string(i));
                gf_repaintArea(WindowArea::Counters);
                LATERAL_RANGE.set(2 + i % 50);
                gf_setTbInt(LATERAL_RANGE);
                LOG.setEnabled(i % 2 == 0);
            }
        });
    }
    std::thread view([&] {
        uint64_t seen = 0;
        while (!stop) {
            uint64_t v = mainWindow.version();
            EXPECT_GE(v, seen);
            if (v != seen) {
                EXPECT_FALSE(mainWindow.lines().empty());
                seen = v;
            }
        }
    });
    for (auto& w : writers) w.join();
    stop = true;
    view.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(mainWindow.value(WindowArea::Counters, fmt::format("c{}", t)), "299");
    LOG.setEnabled(true);
}

}  // namespace
}  // namespace vdl
