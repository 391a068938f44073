// The table build from LiveriesScanned.xml, its queries, the category summary and the reset.
#include "liveries/livery_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "foundation/errors.h"
#include "foundation/files.h"
#include "foundation/paths.h"
#include "liveries/similar_models.h"
#include "liveries_fixture.h"

namespace vdl::test {
namespace {

using Tables = LiveriesEnv;

// Every table as plain text, for comparing two builds.
std::map<std::string, std::vector<std::string>> snapshot() {
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& [airline, models] : airlineModels)
        for (const auto& [model, titles] : models)
            for (const auto& t : titles)
                out["am " + airline + " " + model].push_back(t.title + (t.cargo ? "*" : ""));
    for (size_t k : {paxTable, cargoTable}) {
        for (const auto& [airline, models] : airlineModelTitles[k])
            for (const auto& [model, titles] : models)
                for (auto t : titles) out[fmt::format("amt{} {} {}", k, airline, model)].emplace_back(t);
        for (const auto& [model, titles] : genericTitles[k]) {
            auto& v = out[fmt::format("gen{} {}", k, model)];
            v.assign(titles.begin(), titles.end());
            std::sort(v.begin(), v.end());  // order within a model is not fixed
        }
    }
    for (const auto& [reg, title] : regcodeTitles) out["reg " + reg].emplace_back(title);
    for (size_t i = 0; i < categoryModels.size(); ++i) out[fmt::format("cat{}", i)] = categoryModels[i];
    return out;
}

TEST_F(Tables, BuildsEveryTableFromHandCatalogue) {
    buildFrom(handCatalogue());
    EXPECT_TRUE(liveriesProcessed);
    EXPECT_EQ(liveryCount.load(), 16u);
    EXPECT_TRUE(liveries.empty());
    EXPECT_EQ(mainWindow.value(WindowArea::Counters, "# liveries"), "16");

    const auto& dlh = airlineModels.at("DLH").at("A320");
    ASSERT_EQ(dlh.size(), 3u);
    EXPECT_EQ(dlh[0].title, "DLH320a");
    EXPECT_EQ(dlh[2].title, "DLH320c");
    EXPECT_EQ(airlineModelTitles[paxTable].at("DLH").at("A320"),
              (std::vector<TitleView>{"DLH320a", "DLH320b", "DLH320c"}));
    EXPECT_EQ(regcodeTitles.size(), 4u);
    EXPECT_EQ(regcodeTitles.at("N851FD"), "FDX77Wc");

    EXPECT_TRUE(gf_airlineHasModel("DLH", "A20N"));
    EXPECT_FALSE(gf_airlineHasModel("DLH", "B77W"));
    EXPECT_FALSE(gf_airlineHasModel("XXX", "A320"));
    EXPECT_TRUE(gf_hasGenericLivery("B77W"));
    EXPECT_TRUE(gf_hasGenericLivery("C152"));
    EXPECT_FALSE(gf_hasGenericLivery("A321"));
    auto airlines = gf_liveryAirlines();
    std::sort(airlines.begin(), airlines.end());
    EXPECT_EQ(airlines, (std::vector<std::string>{"AAA", "BAW", "DLH", "EWG", "FDX", "NJE", "PVT", "ZZZ"}));

    // The view of a title points into the catalogue.
    const TitleView found = gf_findCatalogueTitle("BAW320a");
    EXPECT_EQ(found.data(), airlineModels.at("BAW").at("A320")[0].title.data());
    EXPECT_TRUE(gf_findCatalogueTitle("").empty());
    EXPECT_TRUE(gf_findCatalogueTitle("nothing").empty());

    const auto log = newLogLines();
    for (const char* line : {"16 liveries read from output/LiveriesScanned.xml", "4 registration codes",
                             "8 airlines, 7 pax aircraft models and 1 cargo aircraft models",
                             "4 models have a generic livery", "  A320,B77W,C172,R44"})
        EXPECT_TRUE(contains(log, line)) << line;
}

TEST_F(Tables, CargoOnlyPairsMakeNoPaxEntry) {
    buildFrom(handCatalogue());
    EXPECT_EQ(airlineModelTitles[paxTable].count("FDX"), 0u);
    EXPECT_EQ(airlineModelTitles[cargoTable].at("FDX").at("B77W"), std::vector<TitleView>{"FDX77Wc"});
    EXPECT_EQ(airlineModelTitles[cargoTable].size(), 1u);
    EXPECT_EQ(genericTitles[cargoTable].size(), 1u);
    // B77W has pax titles of other airlines; the pax list holds only those.
    auto pax = genericTitles[paxTable].at("B77W");
    std::sort(pax.begin(), pax.end());
    EXPECT_EQ(pax, (std::vector<TitleView>{"BAW77Wa", "ZZZ77Wa"}));
}

TEST_F(Tables, UnsortedInputGivesSameTables) {
    buildFrom(handCatalogue());
    const auto sorted = snapshot();
    auto shuffled = handCatalogue();
    std::vector<LiveryData> v(shuffled.begin(), shuffled.end());
    std::mt19937 rng(7);
    for (int round = 0; round < 3; ++round) {
        std::shuffle(v.begin(), v.end(), rng);
        gf_resetLiveries();
        buildFrom({v.begin(), v.end()});
        EXPECT_EQ(snapshot(), sorted);
    }
}

TEST_F(Tables, CategorySummarySwitchesOffMissingCategoriesOnce) {
    buildFrom(handCatalogue());
    const auto log = newLogLines();
    for (const char* line :
         {"Category Light: 3 pax liveries", "  C152,C172", "Category Buzjets: 1 pax liverie", "  C56X",
          "Category Large: 8 pax liveries", "  A20N,A320",
          "Category Heavy: 2 pax liveries and 1 cargo liverie", "  B77W",
          "Category HighPerf: No livery found",
          "HIGH_PERF_AIRCRAFT temporary switched off because you do not have High Perf aircraft installed",
          "Category Rotorcraft: 1 pax liverie", "  R44"})
        EXPECT_TRUE(contains(log, line)) << line;
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.value());
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.enabled());
    EXPECT_TRUE(LIGHT_AIRCRAFT.value());
    EXPECT_TRUE(LIGHT_AIRCRAFT.enabled());
    EXPECT_NE(readWholeFile(gf_parametersPath()).find(R"(name="HIGH_PERF_AIRCRAFT" value="false")"),
              std::string::npos);
    EXPECT_EQ(categoryModels[categoryLight], (std::vector<std::string>{"C152", "C172"}));
    EXPECT_EQ(categoryModels[categoryBuzjets], std::vector<std::string>{"C56X"});
    EXPECT_EQ(categoryModels[categoryRotorcraft], std::vector<std::string>{"R44"});

    // Next build: already off, so no message, but the box is disabled again.
    HIGH_PERF_AIRCRAFT.setEnabled(true);
    gf_resetLiveries();
    buildFrom(handCatalogue());
    const auto again = newLogLines();
    EXPECT_TRUE(contains(again, "Category HighPerf: No livery found"));
    EXPECT_FALSE(std::any_of(again.begin(), again.end(), [](const std::string& l) {
        return l.find("temporary switched off") != std::string::npos;
    }));
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.enabled());
    EXPECT_EQ(categoryModels[categoryLight], (std::vector<std::string>{"C152", "C172"}));
}

TEST_F(Tables, NoLightNoHelicoptersAndNoGenericLiveries) {
    buildFrom({{"DLH", "A320", "a", "", 0, false}, {"DLH", "A320", "b", "", 0, false}});
    const auto log = newLogLines();
    EXPECT_TRUE(contains(log, "No generic liveries"));
    EXPECT_TRUE(contains(log, "Category Large: 2 pax liveries"));
    EXPECT_TRUE(contains(
        log, "LIGHT_AIRCRAFT temporary switched off because you do not have light aircraft installed"));
    EXPECT_TRUE(
        contains(log, "HELICOPTERS temporary switched off because you do not have Helicopters installed"));
    EXPECT_TRUE(contains(log, "Category Buzjets: No livery found"));
    EXPECT_FALSE(LIGHT_AIRCRAFT.value());
    EXPECT_FALSE(HELICOPTERS.value());
    EXPECT_EQ(genericTitles[paxTable].size(), 1u);
}

TEST_F(Tables, ModelLinesHoldTwentyModels) {
    std::list<LiveryData> many;
    std::string expected1 = "  ";
    for (int i = 0; i < 21; ++i) {
        const std::string type = fmt::format("M{:02}", i);
        many.push_back({"ZZZ", type, "t" + type, "", 0, false});
        if (i < 20) expected1 += (i ? "," : "") + type;
    }
    buildFrom(many);
    const auto log = newLogLines();
    EXPECT_TRUE(contains(log, "21 models have a generic livery"));
    EXPECT_TRUE(contains(log, expected1));
    EXPECT_TRUE(contains(log, "  M20"));
    // Unknown types count as Light.
    EXPECT_TRUE(contains(log, "Category Light: 21 pax liveries"));
}

TEST_F(Tables, SecondStartUpSkipsBuild) {
    buildFrom(handCatalogue());
    const auto before = snapshot();
    newLogLines();
    writeCatalogue({{"XXX", "A320", "other", "", 0, false}});
    gf_processScannedLiveries();
    EXPECT_TRUE(
        contains(newLogLines(), "Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(liveryCount.load(), 16u);
}

TEST_F(Tables, RescanRebuildsFromEmptyTables) {
    buildFrom(handCatalogue());
    const auto generation = gf_liveryTablesGeneration();
    writeCatalogue({{"XXX", "A320", "other", "X-ABC", 0, false}});
    gf_processScannedLiveries(true);
    EXPECT_EQ(airlineModels.size(), 1u);
    EXPECT_EQ(regcodeTitles.size(), 1u);
    EXPECT_EQ(genericTitles[paxTable].at("A320"), std::vector<TitleView>{"other"});
    EXPECT_EQ(categoryModels[categoryLight].size(), 0u);
    EXPECT_NE(gf_liveryTablesGeneration(), generation);
}

TEST_F(Tables, RequestedResetRunsBetweenRunsAndRebuilds) {
    buildFrom(handCatalogue());
    const auto before = snapshot();
    gf_requestLiveryReset();
    // Nothing changes until the run worker takes the request.
    EXPECT_TRUE(liveriesProcessed);
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(gf_runPendingLiveryReset());
    EXPECT_FALSE(gf_runPendingLiveryReset());
    EXPECT_FALSE(liveriesProcessed);
    EXPECT_TRUE(airlineModels.empty());
    EXPECT_TRUE(regcodeTitles.empty());
    EXPECT_TRUE(genericTitles[paxTable].empty());
    EXPECT_TRUE(categoryModels[categoryLight].empty());
    EXPECT_TRUE(gf_similarModels("A321").empty());
    gf_processScannedLiveries();
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Tables, FailedReadLeavesTablesEmptyAndRetries) {
    std::filesystem::remove("output/LiveriesScanned.xml");
    EXPECT_THROW(gf_processScannedLiveries(), UserErrorException);
    EXPECT_FALSE(liveriesProcessed);
    EXPECT_TRUE(airlineModels.empty());
    buildFrom(handCatalogue());
    EXPECT_TRUE(liveriesProcessed);
}

TEST_F(Tables, SimilarModelsFromInstalledLiveries) {
    RANDOM.set(false);
    buildFrom(handCatalogue());
    EXPECT_EQ(gf_similarModels("A321"), (std::vector<std::string>{"A320", "A20N"}));
    EXPECT_EQ(gf_similarModels("A320"), std::vector<std::string>{"A20N"});
    EXPECT_EQ(gf_similarModels("PA28"), (std::vector<std::string>{"C172", "C152"}));
    EXPECT_EQ(gf_similarModels("EC35"), std::vector<std::string>{"R44"});
    // No group: one installed model of a small category, none for the others.
    EXPECT_EQ(gf_similarModels("Z999"), std::vector<std::string>{"C152"});  // unknown types are Light
    EXPECT_TRUE(gf_similarModels("B738").empty());
    AcIdentity ac = gf_makeAcIdentity("DLH", "A321", "", "", "DLH1", "", "", "", 0);
    EXPECT_EQ(gf_airlineSimilarModels(ac), (std::vector<std::string>{"A320", "A20N"}));
    ac.type = "A20N";
    EXPECT_EQ(gf_airlineSimilarModels(ac), std::vector<std::string>{"A320"});
    ac.airl = "BAW";
    EXPECT_EQ(gf_airlineSimilarModels(ac), std::vector<std::string>{"A320"});
    ac.type = "B738";
    EXPECT_TRUE(gf_airlineSimilarModels(ac).empty());
}

// Every view must stay valid after the reservation moves the view tables (ASan catches a view
// into a moved small string).
TEST_F(Tables, ViewsStayValidAfterReservation) {
    std::filesystem::create_directories("input/my_regcodes");
    writeWholeFile("input/my_regcodes/mine.txt", "!DLH320c = D-AIZC\n!ZZZ172a\n");
    buildFrom(handCatalogue());
    ASSERT_EQ(specialTitles.size(), 2u);
    gf_reserveLiveryTables();
    gf_reserveLiveryTables();
    EXPECT_GE(specialTitles.capacity(), 4096u);
    EXPECT_GE(categoryModels[categoryBuzjets].capacity(), 128u);

    std::set<const char*> owned;
    for (const auto& [airline, models] : airlineModels)
        for (const auto& [model, titles] : models)
            for (const auto& t : titles) owned.insert(t.title.data());
    auto check = [&](TitleView v) {
        EXPECT_TRUE(owned.count(v.data())) << v;
        EXPECT_FALSE(std::string(v).empty());  // reads every byte
    };
    for (size_t k : {paxTable, cargoTable}) {
        for (const auto& [a, models] : airlineModelTitles[k])
            for (const auto& [m, titles] : models)
                for (auto t : titles) check(t);
        for (const auto& [m, titles] : genericTitles[k])
            for (auto t : titles) check(t);
    }
    for (const auto& [reg, t] : regcodeTitles) check(t);
    for (auto t : specialTitles) check(t);
    EXPECT_EQ(regcodeTitles.at("D-AIZC"), "DLH320c");
}

}  // namespace
}  // namespace vdl::test
