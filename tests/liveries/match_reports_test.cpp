// Refused liveries, the no-match list and the matching summary.
#include "liveries/match_reports.h"

#include <gtest/gtest.h>

#include "foundation/errors.h"
#include "foundation/not_created.h"
#include "liveries/livery_matcher.h"
#include "liveries_fixture.h"
#include "shell/window/exit.h"

namespace vdl::test {
namespace {

class Reports : public LiveriesEnv {
  protected:
    void SetUp() override {
        LiveriesEnv::SetUp();
        buildFrom(handCatalogue());
        newLogLines();
    }
    static AcIdentity refused(int i) {
        auto ac =
            gf_makeAcIdentity(i % 2 ? "DLH" : "BAW", "A320", "", "", fmt::format("CS{}", i), "", "", "", 0);
        ac.title = gf_findCatalogueTitle(i % 2 ? "DLH320a" : "BAW320a");
        return ac;
    }
};

TEST_F(Reports, NineteenthRefusalOnlyShownTwentiethThrows81) {
    for (int i = 1; i <= 19; ++i) ASSERT_NO_THROW(gf_reportUncreatable(refused(i))) << i;
    EXPECT_EQ(mainWindow.statusLine(), "CS19 \"DLH320a\" could not be created by your Sim!");
    EXPECT_EQ(gf_uncreatableCount(), 19u);
    EXPECT_TRUE(contains(newLogLines(), "CS19 \"DLH320a\" could not be created by your Sim!"));
    try {
        gf_reportUncreatable(refused(20));
        FAIL() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.code(), 81);
        EXPECT_STREQ(e.what(),
                     "81: there are too many liveries that could not be created by MSFS!, see Log.txt");
    }
    const auto log = newLogLines();
    EXPECT_TRUE(
        contains(log, "===> Error 81, there are too many liveries that could not be created by MSFS!"));
    // After a restart of the run the list still holds 20 titles: the next refusal throws again.
    EXPECT_THROW(gf_reportUncreatable(refused(21)), UserErrorException);
}

TEST_F(Reports, RefusalWhileExitingIgnored) {
    exiting = true;
    gf_reportUncreatable(refused(1));
    exiting = false;
    userClosed = true;
    gf_reportUncreatable(refused(2));
    EXPECT_EQ(gf_uncreatableCount(), 0u);
    EXPECT_TRUE(mainWindow.statusLine().empty());
    EXPECT_TRUE(gf_notCreatedTitles().empty());
}

TEST_F(Reports, SummaryTextExact) {
    RANDOM.set(false);
    for (auto [airl, type] : {std::pair{"DLH", "A320"}, {"DLH", "A320"}, {"BBB", "C152"}}) {
        auto ac = gf_makeAcIdentity(airl, type, "", "", "X1", "", "", "", 0);
        gf_matchLivery(ac);
    }
    gf_reportUncreatable(refused(1));
    gf_reportUncreatable(refused(3));  // same model and airline: listed once
    gf_reportUncreatable(refused(2));
    newLogLines();
    gf_matchingSummary();
    const std::string stars(31, '*');
    const std::vector<std::string> expected = {
        "",
        stars + " live traffic livery matching summary " + stars,
        "Matches at step: ",
        "  1: 0",
        "  2: 2",
        "  3: 0",
        "  4: 0",
        "  5: 1",
        "  6: 0",
        "",
        "Could not be created by MSFS:",
        "A320 BAW",
        "A320 DLH",
        std::string(100, '*'),
        "",
    };
    EXPECT_EQ(newLogLines(), expected);
}

TEST_F(Reports, SummaryWithoutRefusalsAndLogOff) {
    LOG.set(false);
    gf_addNoMatchKey("DLH A320 D-AIZZ");
    gf_logNoMatch();
    gf_matchingSummary();
    const std::string stars(31, '*');
    EXPECT_EQ(newLogLines(),
              (std::vector<std::string>{"", stars + " live traffic livery matching summary " + stars,
                                        "Matches at step: ", "  1: 0", "  2: 0", "  3: 0", "  4: 0", "  5: 0",
                                        "  6: 0", std::string(100, '*'), ""}));
}

TEST_F(Reports, NoMatchListSorted) {
    gf_logNoMatch();
    EXPECT_TRUE(newLogLines().empty());
    gf_addNoMatchKey("ZZZ C172 D-EABC");
    gf_addNoMatchKey("BAW B38M G-ABCD");
    gf_addNoMatchKey("BAW B38M G-ABCD");
    gf_logNoMatch();
    EXPECT_EQ(newLogLines(), (std::vector<std::string>{"", "No match found for: ", "BAW B38M G-ABCD",
                                                       "ZZZ C172 D-EABC", ""}));
    // A due livery reset empties the list between runs.
    gf_requestLiveryReset();
    gf_runPendingLiveryReset();
    gf_logNoMatch();
    EXPECT_TRUE(newLogLines().empty());
}

}  // namespace
}  // namespace vdl::test
