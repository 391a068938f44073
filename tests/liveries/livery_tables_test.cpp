// The table build from LiveriesScanned.xml, its queries, the category summary and the reset.
#include "liveries/livery_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "foundation/paths.h"
#include "support/data_env.h"

namespace vdl::test {
namespace {

using Tables = DataEnv;

// Every table as plain text, for comparing two builds.
std::map<std::string, std::vector<std::string>> snapshot() {
    std::map<std::string, std::vector<std::string>> out;
    for (const auto& [airline, models] : airlineModels)
        for (const auto& [model, titles] : models)
            for (const auto& t : titles) out["am " + airline + " " + model].push_back(std::string(t.title) + (t.cargo ? "*" : ""));
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

TEST_F(Tables, BuildsEveryTableAndAnswersTheQueries) {
    buildFrom(handCatalogue());
    EXPECT_EQ(liveryCount.load(), 16u);
    EXPECT_EQ(airlineModelTitles[paxTable].at("DLH").at("A320"),
              (std::vector<TitleView>{"DLH320a", "DLH320b", "DLH320c"}));
    EXPECT_EQ(regcodeTitles.size(), 4u);
    EXPECT_EQ(regcodeTitles.at("N851FD"), "FDX77Wc");
    EXPECT_TRUE(gf_airlineHasModel("DLH", "A20N") && gf_hasGenericLivery("C152"));
    EXPECT_FALSE(gf_airlineHasModel("DLH", "B77W") || gf_hasGenericLivery("A321"));
    auto airlines = gf_liveryAirlines();
    std::sort(airlines.begin(), airlines.end());
    EXPECT_EQ(airlines, (std::vector<std::string>{"AAA", "BAW", "DLH", "EWG", "FDX", "NJE", "PVT", "ZZZ"}));
    // The hashed title look-up gives the view into the catalogue.
    EXPECT_EQ(gf_findCatalogueTitle("BAW320a").data(), airlineModels.at("BAW").at("A320")[0].title.data());
    EXPECT_TRUE(gf_findCatalogueTitle("nothing").empty());

    // Cargo-only pairs make no pax entry; the pax generic list holds only pax titles.
    EXPECT_EQ(airlineModelTitles[paxTable].count("FDX"), 0u);
    EXPECT_EQ(airlineModelTitles[cargoTable].at("FDX").at("B77W"), std::vector<TitleView>{"FDX77Wc"});
    auto pax = genericTitles[paxTable].at("B77W");
    std::sort(pax.begin(), pax.end());
    EXPECT_EQ(pax, (std::vector<TitleView>{"BAW77Wa", "ZZZ77Wa"}));

    // Unsorted input gives the same tables.
    const auto sorted = snapshot();
    auto list = handCatalogue();
    std::vector<LiveryData> v(list.begin(), list.end());
    std::shuffle(v.begin(), v.end(), std::mt19937(7));
    gf_clearLiveryTables();
    buildFrom({v.begin(), v.end()});
    EXPECT_EQ(snapshot(), sorted);
}

TEST_F(Tables, CategorySummarySwitchesOffMissingCategoriesOnce) {
    buildFrom(handCatalogue());
    const auto log = newLogLines();
    for (const char* line :
         {"Category Light: 3 pax liveries", "  C152,C172", "Category Heavy: 2 pax liveries and 1 cargo liverie",
          "Category HighPerf: No livery found",
          "HIGH_PERF_AIRCRAFT temporary switched off because you do not have High Perf aircraft installed"})
        EXPECT_TRUE(contains(log, line)) << line;
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.value());
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.enabled());
    EXPECT_TRUE(LIGHT_AIRCRAFT.enabled());
    EXPECT_NE(readWholeFile(gf_parametersPath()).find(R"(name="HIGH_PERF_AIRCRAFT" value="false")"),
              std::string::npos);
    EXPECT_EQ(categoryModels[categoryBuzjets], std::vector<std::string>{"C56X"});

    // Next build: already off, so no message, but the box is disabled again.
    HIGH_PERF_AIRCRAFT.setEnabled(true);
    gf_clearLiveryTables();
    buildFrom(handCatalogue());
    for (const auto& l : newLogLines()) EXPECT_EQ(l.find("temporary switched off"), std::string::npos) << l;
    EXPECT_FALSE(HIGH_PERF_AIRCRAFT.enabled());

    // Without light aircraft and helicopters both are switched off.
    gf_clearLiveryTables();
    buildFrom({{"DLH", "A320", "a", "", 0, false}});
    EXPECT_TRUE(contains(newLogLines(), "No generic liveries"));
    EXPECT_FALSE(LIGHT_AIRCRAFT.value());
    EXPECT_FALSE(HELICOPTERS.value());
}

TEST_F(Tables, SecondStartUpSkipsTheBuildAndARescanRebuildsFromEmpty) {
    buildFrom(handCatalogue());
    const auto before = snapshot();
    const auto generation = gf_liveryTablesGeneration();
    newLogLines();
    writeCatalogue({{"XXX", "A320", "other", "X-ABC", 0, false}});
    gf_processScannedLiveries();
    EXPECT_TRUE(contains(newLogLines(), "Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_EQ(snapshot(), before);

    gf_processScannedLiveries(true);  // a successful scan always rebuilds, from empty tables
    EXPECT_EQ(airlineModels.size(), 1u);
    EXPECT_EQ(regcodeTitles.size(), 1u);
    EXPECT_EQ(genericTitles[paxTable].at("A320"), std::vector<TitleView>{"other"});
    EXPECT_TRUE(categoryModels[categoryLight].empty());
    EXPECT_NE(gf_liveryTablesGeneration(), generation);
}

TEST_F(Tables, RequestedResetRunsBetweenRunsAndRebuilds) {
    buildFrom(handCatalogue());
    const auto before = snapshot();
    gf_requestLiveryReset();
    EXPECT_EQ(snapshot(), before);  // nothing changes until the run worker takes the request
    EXPECT_TRUE(gf_runPendingLiveryReset());
    EXPECT_FALSE(gf_runPendingLiveryReset());
    EXPECT_FALSE(liveriesProcessed);
    EXPECT_TRUE(airlineModels.empty() && regcodeTitles.empty() && genericTitles[paxTable].empty());
    gf_processScannedLiveries();
    EXPECT_EQ(snapshot(), before);
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
