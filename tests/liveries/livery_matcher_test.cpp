// The six-step livery matcher for live and static aircraft.
#include "liveries/livery_matcher.h"

#include <gtest/gtest.h>

#include <set>

#include "liveries/match_reports.h"
#include "liveries_fixture.h"

namespace vdl::test {
namespace {

class Matcher : public LiveriesEnv {
  protected:
    void SetUp() override {
        LiveriesEnv::SetUp();
        std::filesystem::create_directories("input/my_regcodes");
        // Special titles: random picks avoid them (no registrations: still special, not "don't use").
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

struct LiveCase {
    const char* name;
    int depth;
    const char* airl;
    const char* type;
    const char* reg;
    bool cargo;
    std::set<std::string> titles;  // empty: no livery
    int step;
};

void PrintTo(const LiveCase& c, std::ostream* os) {
    *os << c.name;
}

class LiveMatch : public Matcher, public ::testing::WithParamInterface<LiveCase> {};

TEST_P(LiveMatch, TitleAndStep) {
    const auto& c = GetParam();
    MATCHING_DEPTH.set(c.depth);
    auto ac = aircraft(c.airl, c.type, c.reg, c.cargo);
    const auto before = counts();
    gf_matchLivery(ac);
    auto after = counts();
    if (c.titles.empty()) {
        EXPECT_TRUE(ac.title.empty()) << ac.title;
        EXPECT_EQ(after, before);
        return;
    }
    EXPECT_TRUE(c.titles.count(std::string(ac.title))) << ac.title;
    after[static_cast<size_t>(c.step - 1)] -= 1;
    EXPECT_EQ(after, before) << "counted at another step than " << c.step;
    EXPECT_TRUE(
        contains(newLogLines(), fmt::format("          {} ={}= {}", gf_acInfo(ac), c.step, ac.title)));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, LiveMatch,
    ::testing::Values(
        // Step 1 and the depth gates.
        LiveCase{"RegExact", 1, "DLH", "A320", "D-AIZB", false, {"DLH320b"}, 1},
        LiveCase{"RegVariantWithHyphen", 1, "BBB", "B738", "DAIZB", false, {"DLH320b"}, 1},
        LiveCase{"RegUsRegistrationAsGiven", 1, "", "B77W", "N851FD", false, {"FDX77Wc"}, 1},
        LiveCase{"Depth1WithoutRegNone", 1, "DLH", "A320", "", false, {}, 0},
        LiveCase{"Depth2AirlineModelSkipsSpecial", 2, "DLH", "A320", "", false, {"DLH320b"}, 2},
        LiveCase{"Depth2LightOfOtherAirlineNone", 2, "BBB", "C172", "", false, {}, 0},
        LiveCase{"Depth3LargeSkipsStep4", 3, "BBB", "A320", "", false, {}, 0},
        LiveCase{"Depth3LightTakesStep4", 3, "BBB", "C172", "", false, {"ZZZ172a"}, 4},
        LiveCase{"Depth4LargeTakesStep4", 4, "BBB", "A320", "", false, {"ZZZ320a"}, 4},
        // Private aircraft go to generic liveries first.
        LiveCase{"PrivateToGenericFirst", 2, "PVT", "C172", "", false, {"ZZZ172a"}, 4},
        LiveCase{"PrivateSimilarModelAtDepth3", 3, "PVT", "C152", "", false, {"PVT172a"}, 3},
        // The airline of the registration.
        LiveCase{"AirlineOfRegistration", 2, "CLH", "A320", "D-AIZX", false, {"DLH320b"}, 2},
        LiveCase{"SimilarModelOfAirline", 3, "DLH", "A321", "", false, {"DLH320b"}, 3},
        // Cargo: pax fallback at steps 2 to 4, none at 5 and 6.
        LiveCase{"CargoFallsBackToPaxAtStep2", 2, "DLH", "A320", "", true, {"DLH320b"}, 2},
        LiveCase{"CargoAirlineCargoLivery", 4, "FDX", "B77W", "", true, {"FDX77Wc"}, 2},
        LiveCase{"CargoFallsBackToPaxAtStep4", 4, "BBB", "B77W", "", true, {"ZZZ77Wa"}, 4},
        LiveCase{"CargoNoFallbackAtSteps5And6", 4, "BBB", "C152", "", true, {}, 0},
        LiveCase{"PaxAnyLiveryOfModel", 4, "BBB", "C152", "", false, {"AAA152a"}, 5},
        LiveCase{"AnyLiveryOfSimilarModel", 4, "BBB", "PA28", "", false, {"ZZZ172a", "PVT172a"}, 6},
        LiveCase{"HelicopterSimilarModel", 4, "BBB", "EC35", "", false, {"ZZZR44a"}, 6},
        LiveCase{"LargeNeverTakesOtherAirlines", 4, "BBB", "A20N", "", false, {}, 0},
        // A list of special titles only gives nothing; the next step goes on.
        LiveCase{"AllSpecialGoesOn", 4, "BAW", "B77W", "", false, {"ZZZ77Wa"}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Matcher, FsltlFlagIsCaseSensitive) {
    auto a = aircraft("EWG", "A20N");
    gf_matchLivery(a);
    EXPECT_EQ(a.title, "FSLTL_EWG");
    EXPECT_EQ(a.fsltl, 1);
    auto b = aircraft("EWG", "A320");
    b.fsltl = 1;
    gf_matchLivery(b);
    EXPECT_EQ(b.title, "fsltl_ewg");
    EXPECT_EQ(b.fsltl, 0);
}

TEST_F(Matcher, RandomPicksAvoidSpecialTitles) {
    RANDOM.set(true);
    gf_seedRandomForTests(42);
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        auto ac = aircraft("DLH", "A320");
        gf_matchLivery(ac);
        seen.insert(std::string(ac.title));
        auto only = aircraft("BAW", "B77W");
        gf_matchLivery(only);
        ASSERT_EQ(only.title, "ZZZ77Wa");
    }
    EXPECT_EQ(seen, (std::set<std::string>{"DLH320b", "DLH320c"}));
}

TEST_F(Matcher, FirstPlainCandidateWithRandomOff) {
    auto first = aircraft("DLH", "A320");
    gf_matchLivery(first);
    EXPECT_EQ(first.title, "DLH320b");
    // A title marked special later is avoided from then on.
    gf_addSpecialTitle(gf_findCatalogueTitle("DLH320b"));
    auto second = aircraft("DLH", "A320");
    gf_matchLivery(second);
    EXPECT_EQ(second.title, "DLH320c");
    gf_addSpecialTitle(gf_findCatalogueTitle("DLH320c"));
    auto third = aircraft("DLH", "A320");
    MATCHING_DEPTH.set(2);
    gf_matchLivery(third);
    EXPECT_TRUE(third.title.empty());
}

TEST_F(Matcher, TitleTakenFromCatalogue) {
    auto ac = aircraft("DLH", "A20N");
    gf_matchLivery(ac);
    EXPECT_EQ(ac.title.data(), airlineModels.at("DLH").at("A20N")[0].title.data());
}

TEST_F(Matcher, UncreatableTitleEndsMatch) {
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
    newLogLines();
    EXPECT_FALSE(gf_matchLiveryStatic(st, MatchStand{"A12", false}));
    EXPECT_TRUE(st.title.empty());
    EXPECT_TRUE(newLogLines().empty());
}

TEST_F(Matcher, UncreatableTitleSurvivesRebuild) {
    auto refused = aircraft("DLH", "A20N");
    refused.title = gf_findCatalogueTitle("DLH20Na");
    gf_reportUncreatable(refused);
    gf_resetLiveries();
    gf_processScannedLiveries();
    auto ac = aircraft("DLH", "A20N");
    gf_matchLivery(ac);
    EXPECT_TRUE(ac.title.empty());
}

ParkPos stand(const std::string& name, bool cargo) {
    return ParkPos(name, {}, 51.28, 6.76, 0.0, 30.0, cargo, false, false);
}

TEST_F(Matcher, StaticTakesStandCargoFlag) {
    const auto before = counts();
    auto onCargo = aircraft("FDX", "B77W");
    EXPECT_TRUE(gf_matchLiveryStatic(onCargo, stand("C5", true)));
    EXPECT_EQ(onCargo.title, "FDX77Wc");
    EXPECT_EQ(onCargo.cargo, 1);

    auto onPax = aircraft("FDX", "B77W", "", true);
    EXPECT_TRUE(gf_matchLiveryStatic(onPax, stand("A1", false)));
    EXPECT_EQ(onPax.title, "ZZZ77Wa");
    EXPECT_EQ(onPax.cargo, 0);

    // Step 1 keeps the aircraft's own flag.
    auto byReg = aircraft("FDX", "B77W", "N851FD");
    EXPECT_TRUE(gf_matchLiveryStatic(byReg, MatchStand{"A2", false}));
    EXPECT_EQ(byReg.title, "FDX77Wc");
    EXPECT_EQ(byReg.cargo, 0);
    EXPECT_EQ(counts(), before);  // static matches are not counted
}

TEST_F(Matcher, StaticRulesDifferFromLive) {
    MATCHING_DEPTH.set(3);
    // Empty airline: step 2 still looks up ("", model), here nothing; then steps 3 to 5 run.
    auto noAirline = aircraft("", "C152");
    EXPECT_TRUE(gf_matchLiveryStatic(noAirline, MatchStand{"G1", false}));
    EXPECT_EQ(noAirline.title, "AAA152a");
    auto lines = newLogLines();
    EXPECT_TRUE(contains(lines, fmt::format("          {} =5= AAA152a", gf_acInfo(noAirline))));

    auto preset = aircraft("BBB", "A320");
    preset.title = gf_findCatalogueTitle("ZZZ320a");
    EXPECT_TRUE(gf_matchLiveryStatic(preset, MatchStand{"G2", false}));
    EXPECT_TRUE(contains(newLogLines(), fmt::format("          {} =s= ZZZ320a", gf_acInfo(preset))));

    auto none = aircraft("BBB", "A321");
    EXPECT_FALSE(gf_matchLiveryStatic(none, MatchStand{"G3", false}));
    EXPECT_TRUE(
        contains(newLogLines(), fmt::format("G3      : {} no livery match ...", gf_acShortInfo(none))));
}

TEST_F(Matcher, NoLogLinesWithLogOff) {
    LOG.set(false);
    auto ac = aircraft("DLH", "A320");
    gf_matchLivery(ac);
    EXPECT_FALSE(ac.title.empty());
    auto none = aircraft("BBB", "A321");
    EXPECT_FALSE(gf_matchLiveryStatic(none, MatchStand{"G3", false}));
    EXPECT_TRUE(newLogLines().empty());
}

}  // namespace
}  // namespace vdl::test
