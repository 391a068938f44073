// The six-step livery matcher for live and static aircraft, refusals and the summary.
#include "liveries/livery_matcher.h"

#include <gtest/gtest.h>

#include <set>

#include "foundation/errors.h"
#include "foundation/not_created.h"
#include "liveries/match_reports.h"
#include "support/data_env.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

class Matcher : public DataEnv {
  protected:
    void SetUp() override {
        DataEnv::SetUp();
        std::filesystem::create_directories("input/my_regcodes");
        // Special titles without registrations stay special, not "don't use".
        writeWholeFile("input/my_regcodes/special.txt", "!DLH320a\n!BAW77Wa\n");
        buildFrom(handCatalogue());
        ASSERT_EQ(specialTitles.size(), 2u);
        RANDOM.set(false);
        newLogLines();
    }
    static AcIdentity aircraft(const std::string& airl, const std::string& type, const std::string& reg = "",
                               bool cargo = false) {
        return gf_makeAcIdentity(airl, type, "EDDL", "EGLL", airl + "123", "", "", reg, cargo ? 1 : 0, 10001);
    }
    static std::array<int32_t, 6> counts() {
        std::array<int32_t, 6> c{};
        for (size_t i = 0; i < 6; ++i) c[i] = stepCounts[i].load();
        return c;
    }
};

// The reason logged for an aircraft without a livery names what the steps its depth and category
// allow looked for.
TEST_F(Matcher, NoMatchReasonNamesWhatWasLookedFor) {
    struct Case {
        int depth;
        const char *airl, *type;
        bool cargo;
        const char* reason;
    };
    const Case cases[] = {
        {1, "DLH", "A320", false, "no livery for its registration (MATCHING_DEPTH 1)"},
        {2, "BBB", "C172", false, "no livery of BBB for C172"},
        {2, "", "A320", false, "no airline to match"},
        {3, "BBB", "A320", false, "no livery of BBB for A320 or a similar model"},
        {4, "BBB", "A20N", false, "no livery of BBB for A20N or a similar model, nor of ZZZ for A20N"},
        {4, "BBB", "C152", true,
         "no livery of BBB for C152 or a similar model, nor of ZZZ for C152, nor of any airline for C152 or a "
         "similar model"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{} {} depth {}", c.airl, c.type, c.depth));
        MATCHING_DEPTH.set(c.depth);
        auto ac = aircraft(c.airl, c.type, "", c.cargo);
        gf_matchLivery(ac);
        ASSERT_TRUE(ac.title.empty());
        EXPECT_EQ(gf_noMatchReason(ac), c.reason);
    }
}

TEST_F(Matcher, TitleAndStepPerDepthAndCargo) {
    struct Case {
        int depth;
        const char *airl, *type, *reg;
        bool cargo;
        std::set<std::string> titles;  // empty: no livery
        int step;
    };
    const Case cases[] = {
        // Step 1, registration variants, and the depth gates.
        {1, "DLH", "A320", "D-AIZB", false, {"DLH320b"}, 1},
        {1, "BBB", "B738", "DAIZB", false, {"DLH320b"}, 1},
        {1, "", "B77W", "N851FD", false, {"FDX77Wc"}, 1},
        {1, "DLH", "A320", "", false, {}, 0},
        {2, "DLH", "A320", "", false, {"DLH320b"}, 2},  // skips the special title
        {2, "BBB", "C172", "", false, {}, 0},
        {3, "BBB", "A320", "", false, {}, 0},
        {3, "BBB", "C172", "", false, {"ZZZ172a"}, 4},
        {4, "BBB", "A320", "", false, {"ZZZ320a"}, 4},
        // Private aircraft go to generic liveries first.
        {2, "PVT", "C172", "", false, {"ZZZ172a"}, 4},
        {3, "PVT", "C152", "", false, {"PVT172a"}, 3},
        {2, "CLH", "A320", "D-AIZX", false, {"DLH320b"}, 2},  // the airline of the registration
        {3, "DLH", "A321", "", false, {"DLH320b"}, 3},
        // Cargo: pax fallback at steps 2 to 4, none at 5 and 6.
        {2, "DLH", "A320", "", true, {"DLH320b"}, 2},
        {4, "FDX", "B77W", "", true, {"FDX77Wc"}, 2},
        {4, "BBB", "B77W", "", true, {"ZZZ77Wa"}, 4},
        {4, "BBB", "C152", "", true, {}, 0},
        {4, "BBB", "C152", "", false, {"AAA152a"}, 5},
        {4, "BBB", "PA28", "", false, {"ZZZ172a", "PVT172a"}, 6},
        {4, "BBB", "EC35", "", false, {"ZZZR44a"}, 6},
        {4, "BBB", "A20N", "", false, {}, 0},  // large types never take other airlines
        {4, "BAW", "B77W", "", false, {"ZZZ77Wa"}, 4},  // only special titles: the next step goes on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{} {} {} {} depth {}", c.airl, c.type, c.reg, c.cargo, c.depth));
        MATCHING_DEPTH.set(c.depth);
        auto ac = aircraft(c.airl, c.type, c.reg, c.cargo);
        auto expected = counts();
        gf_matchLivery(ac);
        if (c.titles.empty()) {
            EXPECT_TRUE(ac.title.empty()) << ac.title;
        } else {
            EXPECT_TRUE(c.titles.count(std::string(ac.title))) << ac.title;
            expected[static_cast<size_t>(c.step - 1)] += 1;
            EXPECT_TRUE(contains(newLogLines(), fmt::format("          {} ={}= {}", gf_acInfo(ac), c.step, ac.title)));
        }
        EXPECT_EQ(counts(), expected);
    }
}

TEST_F(Matcher, SpecialTitlesAreAvoidedWithRandomOff) {
    // The first plain candidate; a title marked special later is avoided from then on.
    MATCHING_DEPTH.set(2);
    for (const char* expected : {"DLH320b", "DLH320c", ""}) {
        auto ac = aircraft("DLH", "A320");
        gf_matchLivery(ac);
        EXPECT_EQ(ac.title, expected);
        if (!ac.title.empty()) gf_addSpecialTitle(gf_findCatalogueTitle(ac.title));
    }
}

TEST_F(Matcher, UncreatableTitleEndsTheMatchAndSurvivesARebuild) {
    auto refused = aircraft("DLH", "A320");
    refused.title = gf_findCatalogueTitle("DLH320b");
    gf_reportUncreatable(refused);
    const auto before = counts();
    auto ac = aircraft("DLH", "A320");
    gf_matchLivery(ac);
    // DLH320c would have been next, and ZZZ320a at step 4: the refused pick ends the match.
    EXPECT_TRUE(ac.title.empty());
    EXPECT_EQ(counts(), before);
    auto st = aircraft("DLH", "A320");
    EXPECT_FALSE(gf_matchLiveryStatic(st, MatchStand{"A12", false}));

    // The refused title is kept as an owned string across a rebuild that frees the catalogue.
    gf_clearLiveryTables();
    gf_processScannedLiveries();
    auto again = aircraft("DLH", "A320");
    gf_matchLivery(again);
    EXPECT_TRUE(again.title.empty());
}

TEST_F(Matcher, StaticMatchTakesTheStandsCargoFlag) {
    const auto before = counts();
    // Step 1 keeps the aircraft's own flag.
    auto onCargo = aircraft("FDX", "B77W"), onPax = aircraft("FDX", "B77W", "", true),
         byReg = aircraft("FDX", "B77W", "N851FD");
    EXPECT_TRUE(gf_matchLiveryStatic(onCargo, ParkPos("C5", {}, 51.28, 6.76, 0.0, 30.0, true, false, false)));
    EXPECT_TRUE(gf_matchLiveryStatic(onPax, MatchStand{"A1", false}));
    EXPECT_TRUE(gf_matchLiveryStatic(byReg, MatchStand{"A2", false}));
    EXPECT_EQ(std::tuple(onCargo.title, onPax.title, byReg.title), std::tuple("FDX77Wc", "ZZZ77Wa", "FDX77Wc"));
    EXPECT_EQ(std::tuple(onCargo.cargo, onPax.cargo, byReg.cargo), std::tuple(1, 0, 0));
    EXPECT_EQ(counts(), before);  // static matches are not counted

}

// Refused liveries and the matching summary.
class Reports : public DataEnv {
  protected:
    void SetUp() override {
        DataEnv::SetUp();
        buildFrom(handCatalogue());
        newLogLines();
    }
    static AcIdentity refused(int i) {
        auto ac = gf_makeAcIdentity(i % 2 ? "DLH" : "BAW", "A320", "", "", fmt::format("CS{}", i), "", "", "", 0);
        ac.title = gf_findCatalogueTitle(i % 2 ? "DLH320a" : "BAW320a");
        return ac;
    }
};

TEST_F(Reports, NineteenthRefusalOnlyShownTwentiethThrows81) {
    for (int i = 1; i <= 19; ++i) ASSERT_NO_THROW(gf_reportUncreatable(refused(i))) << i;
    EXPECT_EQ(mainWindow.statusLine(), "CS19 \"DLH320a\" could not be created by your Sim!");
    try {
        gf_reportUncreatable(refused(20));
        FAIL() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.code(), 81);
    }
    EXPECT_TRUE(contains(newLogLines(), "===> Error 81, there are too many liveries that could not be created by MSFS!"));
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
    EXPECT_EQ(newLogLines(), (std::vector<std::string>{
                                 "", stars + " live traffic livery matching summary " + stars, "Matches at step: ",
                                 "  1: 0", "  2: 2", "  3: 0", "  4: 0", "  5: 1", "  6: 0", "",
                                 "Could not be created by MSFS:", "A320 BAW", "A320 DLH", std::string(100, '*'), ""}));
}

TEST_F(Reports, NoMatchReportCutAfter200KeysAndSetBounded) {
    struct Case {
        size_t keys;
        size_t listed;
        std::string tail;  // the line before the closing empty line
    };
    for (const Case& c : {Case{3, 3, "k00002"}, Case{200, 200, "k00199"}, Case{201, 200, "... and 1 more"},
                          Case{4285, 200, "... and 4085 more"}}) {
        gf_clearNoMatchKeys();
        for (size_t i = c.keys; i-- > 0;) gf_addNoMatchKey(fmt::format("k{:05}", i));
        newLogLines();
        gf_logNoMatch();
        const auto lines = newLogLines();
        ASSERT_EQ(lines.size(), 2 + c.listed + (c.keys > c.listed ? 1 : 0) + 1) << c.keys;
        EXPECT_EQ(lines[1], "No match found for: ") << c.keys;
        EXPECT_EQ(lines[2], "k00000") << c.keys;  // ascending order kept
        EXPECT_EQ(lines[lines.size() - 2], c.tail) << c.keys;
        EXPECT_EQ(lines.back(), "") << c.keys;
    }
    // The set stops growing at its bound; a key already there stays there.
    gf_clearNoMatchKeys();
    for (size_t i = 0; i < maxNoMatchKeys + 5; ++i) gf_addNoMatchKey(fmt::format("k{:06}", i));
    EXPECT_EQ(noMatchKeys.size(), maxNoMatchKeys);
    EXPECT_FALSE(noMatchKeys.contains(fmt::format("k{:06}", maxNoMatchKeys)));
    gf_addNoMatchKey("k000000");
    EXPECT_TRUE(noMatchKeys.contains("k000000"));
    gf_clearNoMatchKeys();
}

}  // namespace
}  // namespace vdl::test
