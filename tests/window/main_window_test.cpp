#include "window/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "foundation/parameters.h"
#include "window/exit.h"
#include "window/reset.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { gf_resetWindow(); }
    void TearDown() override { gf_resetWindow(); }

    test::TempWorkDir dir;
};

bool lf_contains(const std::vector<std::string>& lines, std::string_view text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; });
}

TEST_F(WindowTest, StatusLineRunsOutAndIsIgnoredWhileTheErrorLineShows) {
    MainWindow::Clock::time_point now{std::chrono::hours(1)};
    MainWindow w([&] { return now; });
    w.setStatusLine("first");
    now += MainWindow::statusLineDuration / 2;
    EXPECT_TRUE(w.setStatusLine("loading"));  // a new text starts the time again
    now += MainWindow::statusLineDuration - std::chrono::milliseconds(1);
    EXPECT_EQ(w.statusLine(), "loading");
    const uint64_t before = w.version();
    now += std::chrono::milliseconds(1);
    EXPECT_EQ(w.statusLine(), "");
    EXPECT_GT(w.version(), before) << "a status line that ran out is a change";

    w.setStatusLine("before the error");
    w.setErrorLine("30: input/dbase.xml not found");
    EXPECT_FALSE(w.setStatusLine("after the error"));
    EXPECT_EQ(w.statusLine(), "before the error");
    now += MainWindow::statusLineDuration * 10;
    EXPECT_EQ(w.errorLine(), "Error 30: input/dbase.xml not found") << "the error line does not run out";
    EXPECT_TRUE(lf_contains(w.lines(), "Error 30: input/dbase.xml not found"));
    EXPECT_FALSE(lf_contains(w.lines(), "after the error"));
}

TEST_F(WindowTest, EveryParameterWithAControlIsBoundOnceAndFollowed) {
    std::set<int> ids;
    std::set<const Parameter*> params;
    for (const auto& c : mainWindow.controls()) {
        EXPECT_TRUE(ids.insert(c.controlId).second) << "control id " << c.controlId << " twice";
        EXPECT_TRUE(params.insert(c.parameter).second);
    }
    for (Parameter* p : gf_parameters()) EXPECT_EQ(params.count(p), p->control() != nullptr ? 1u : 0u) << p->name();

    auto logControl = [] {
        for (const auto& c : mainWindow.controls())
            if (c.parameter == &LOG) return c;
        return ControlView{};
    };
    for (bool on : {!LOG.value(), LOG.value()}) {
        const uint64_t before = mainWindow.version();
        LOG.set(on);
        EXPECT_EQ(logControl().checked, on);
        EXPECT_GT(mainWindow.version(), before);
    }
    LOG.setEnabled(false);
    EXPECT_FALSE(logControl().enabled);
    EXPECT_TRUE(lf_contains(mainWindow.lines(), LOG.caption() + " (disabled)"));
}

TEST_F(WindowTest, EditBoxesShowTheValueOnlyWhenWritten) {
    struct Case {
        void (*change)();
        void (*write)();
        int controlId;
        const char* expected;
    };
    const Case cases[] = {
        {[] { LATERAL_RANGE.set(250); }, [] { gf_setTbInt(LATERAL_RANGE); }, LATERAL_RANGE.controlId(), "100"},
        {[] { MAX_FIT_FL.set(0.5f); }, [] { gf_setTbFloat(MAX_FIT_FL); }, MAX_FIT_FL.controlId(), "0.5"},
        {[] { MAX_FIT_FL.set(24.0f); }, [] { gf_setTbFloat(MAX_FIT_FL); }, MAX_FIT_FL.controlId(), "24"},
        {[] { DESTINATION.set("EDDL"); }, [] { gf_setTbText(DESTINATION); }, DESTINATION.controlId(), "EDDL"},
    };
    mainWindow.bindControls();
    for (const auto& c : cases) {
        (void)mainWindow.takeRepaintRequest(WindowArea::Options);
        const std::string shown = mainWindow.boxText(c.controlId);
        c.change();
        EXPECT_EQ(mainWindow.boxText(c.controlId), shown) << "the box changes only when written";
        c.write();
        EXPECT_EQ(mainWindow.boxText(c.controlId), c.expected);
        EXPECT_TRUE(mainWindow.takeRepaintRequest(WindowArea::Options));
        EXPECT_FALSE(mainWindow.takeRepaintRequest(WindowArea::Options));
    }
    // Typed text stays in the box; the parameter takes it only when confirmed.
    MAX_LIVE.set(-1);
    EXPECT_TRUE(mainWindow.setBoxText(MAX_LIVE.controlId(), "25"));
    EXPECT_EQ(mainWindow.boxText(MAX_LIVE.controlId()), "25");
    EXPECT_EQ(MAX_LIVE.value(), -1);
    EXPECT_FALSE(mainWindow.setBoxText(LOG.controlId(), "x")) << "a check box has no text";
}

TEST_F(WindowTest, ValuesPrintUnderTheirAreaAndAskForARepaint) {
    gf_setWindowValue(WindowArea::Counters, "live", "3");
    gf_setWindowValue(WindowArea::Counters, "QNH", "1013");
    gf_setWindowValue(WindowArea::Statistics, "matched", "12");
    const uint64_t v = mainWindow.version();
    gf_setWindowValue(WindowArea::Counters, "live", "3");
    EXPECT_EQ(mainWindow.version(), v) << "the same value again is no change";
    gf_setWindowValue(WindowArea::Counters, "live", "4");
    EXPECT_GT(mainWindow.version(), v);

    gf_repaintArea(WindowArea::Counters);
    EXPECT_FALSE(mainWindow.takeRepaintRequest(WindowArea::Statistics));
    EXPECT_TRUE(mainWindow.takeRepaintRequest(WindowArea::Counters));
    EXPECT_FALSE(mainWindow.takeRepaintRequest(WindowArea::Counters));

    const auto lines = mainWindow.lines();
    auto at = [&](std::string_view text) {
        return std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != l.npos; }) -
               lines.begin();
    };
    EXPECT_LT(at("-- counters --"), at("live: 4"));
    EXPECT_LT(at("live: 4"), at("QNH: 1013")) << "in the order first set";
    EXPECT_LT(at("QNH: 1013"), at("-- options --"));
    EXPECT_LT(at("-- statistics --"), at("matched: 12"));
}

TEST_F(WindowTest, ExitHookMayStartAnotherExitWithoutDeadlock) {
    // The exit procedure itself may report a failure through gf_startFinalExit.
    int calls = 0;
    gf_setFinalExitHook([&](ExitReason, int) {
        ++calls;
        gf_startFinalExit(ExitReason::SystemError, 0);
        gf_setFinalExitHook([&](ExitReason, int) { calls += 100; });
    });
    gf_startFinalExit(ExitReason::NewFlight, 0);
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace vdl
