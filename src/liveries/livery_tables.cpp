#include "liveries/livery_tables.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <unordered_set>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "liveries/livery_data.h"
#include "liveries/livery_regcodes.h"
#include "liveries/match_reports.h"
#include "liveries/scan_reports.h"
#include "liveries/similar_models.h"
#include "refdata/dbase.h"
#include "refdata/identity.h"
#include "window/main_window.h"

namespace vdl {

namespace {

std::atomic<bool> resetDue{false};
std::atomic<uint64_t> tablesGeneration{0};
bool tablesReserved = false;

// Title -> the first stored title with these bytes (airlines, models, titles in table order);
// built once per build so that the registration sources need no linear search.
FlatTextMap<TitleView, TitleView> catalogueIndex;

// The title store: every title of the catalogue, one after the other.
std::unique_ptr<char[]> titleStore;

std::unordered_set<TitleView> specialTitleSet;
// Table list -> its titles that are not special; the lists do not move until the next reset.
std::unordered_map<const std::vector<TitleView>*, std::vector<TitleView>> plainCandidates;

void lf_clearTables() {
    catalogueIndex.clear();
    gf_clearSimilarModels();
    for (auto& models : categoryModels) models.clear();
    plainCandidates.clear();
    specialTitleSet.clear();
    specialTitles.clear();
    regcodeTitles.clear();
    // Fresh maps, not cleared ones: a cleared map keeps its buckets, and the order of the lists
    // built from their iteration would depend on the catalogue of the build before.
    for (auto& table : genericTitles) table = ModelViews();
    for (auto& table : airlineModelTitles) table = TextMap<ModelViews>();
    airlineModels = decltype(airlineModels)();
    titleStore.reset();  // last: the owner of the titles
    tablesGeneration.fetch_add(1);
}

// Copies the titles into the title store and points the records at their copies.
void lf_storeTitles(std::vector<LiveryRecord>& records) {
    size_t bytes = 0;
    for (const auto& r : records) bytes += r.title.size();
    titleStore = std::make_unique_for_overwrite<char[]>(std::max<size_t>(bytes, 1));
    char* at = titleStore.get();
    for (auto& r : records) {
        if (!r.title.empty()) std::memcpy(at, r.title.data(), r.title.size());
        r.title = TitleView(at, r.title.size());
        at += r.title.size();
    }
}

// The sorted records cut into runs of one airline and model. Keys already present keep their
// first value, so the input must be sorted (the reader does it).
void lf_buildAirlineModels(const std::vector<LiveryRecord>& records) {
    TextMap<std::vector<CatalogueTitle>> inner;
    size_t i = 0;
    while (i < records.size()) {
        const std::string_view airline = records[i].airl;
        const std::string_view model = records[i].type;
        size_t end = i + 1;
        while (end < records.size() && records[end].airl == airline && records[end].type == model) ++end;
        std::vector<CatalogueTitle> titles;
        titles.reserve(end - i);
        for (; i < end; ++i) titles.push_back(CatalogueTitle{records[i].title, records[i].cargo});
        inner.try_emplace(std::string(model), std::move(titles));
        if (i == records.size() || records[i].airl != airline) {
            airlineModels.try_emplace(std::string(airline), std::move(inner));
            inner = {};
        }
    }
}

void lf_buildCatalogueIndex() {
    catalogueIndex.reserve(gf_catalogueTitleCount());
    for (const auto& [airline, models] : airlineModels)
        for (const auto& [model, titles] : models)
            for (const auto& t : titles) catalogueIndex.try_emplace(t.title, t.title);
}

void lf_buildAirlineModelTitles() {
    for (const auto& [airline, models] : airlineModels) {
        ModelViews pax;
        ModelViews cargo;
        for (const auto& [model, titles] : models) {
            std::vector<TitleView> paxViews;
            std::vector<TitleView> cargoViews;
            for (const auto& t : titles) (t.cargo ? cargoViews : paxViews).emplace_back(t.title);
            if (!paxViews.empty()) {
                paxViews.shrink_to_fit();
                pax.emplace(model, std::move(paxViews));
            }
            if (!cargoViews.empty()) {
                cargoViews.shrink_to_fit();
                cargo.emplace(model, std::move(cargoViews));
            }
        }
        if (!pax.empty()) airlineModelTitles[paxTable].emplace(airline, std::move(pax));
        if (!cargo.empty()) airlineModelTitles[cargoTable].emplace(airline, std::move(cargo));
    }
}

void lf_buildGenericTitles() {
    struct Entry {
        std::string_view model;
        TitleView title;
        bool cargo;
    };
    std::vector<Entry> entries;
    entries.reserve(gf_catalogueTitleCount());
    for (const auto& [airline, models] : airlineModels)
        for (const auto& [model, titles] : models)
            for (const auto& t : titles) entries.push_back(Entry{model, t.title, t.cargo});
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.model < b.model; });

    std::string_view currentModel;
    std::vector<TitleView> pax;
    std::vector<TitleView> cargo;
    auto store = [&] {
        if (!cargo.empty()) {
            cargo.shrink_to_fit();
            genericTitles[cargoTable].emplace(std::string(currentModel), std::move(cargo));
            cargo = {};
        }
        if (!pax.empty()) {
            pax.shrink_to_fit();
            genericTitles[paxTable].emplace(std::string(currentModel), std::move(pax));
            pax = {};
        }
    };
    for (const auto& e : entries) {
        if (e.model != currentModel) {
            store();
            currentModel = e.model;
        }
        (e.cargo ? cargo : pax).push_back(e.title);
    }
    store();
}

// Lines of at most 20 models: two blanks, then the models joined by ",".
void lf_logModelList(const std::vector<std::string>& models, std::vector<std::string>* fill) {
    std::string line;
    size_t inLine = 0;
    for (const auto& model : models) {
        if (fill) fill->push_back(model);
        line += inLine == 0 ? "  " : ",";
        line += model;
        if (++inLine == 20) {
            gf_log(line);
            line.clear();
            inLine = 0;
        }
    }
    if (inLine > 0) gf_log(line);
}

void lf_logGenericModels() {
    auto it = airlineModels.find(std::string_view("ZZZ"));
    if (it == airlineModels.end()) {
        gf_log("No generic liveries");
        return;
    }
    std::vector<std::string> models;
    models.reserve(it->second.size());
    for (const auto& [model, titles] : it->second) models.push_back(model);
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
    gf_log(fmt::format("{} model{} have a generic livery", models.size(), gf_plural(models.size())));
    lf_logModelList(models, nullptr);
}

void lf_showLiveryCount() {
    gf_setWindowValue(WindowArea::Counters, "# liveries", std::to_string(liveryCount.load()));
    gf_repaintArea(WindowArea::Counters);
}

void lf_enableOption(CheckBoxParameter& option, bool on) {
    option.setEnabled(on);
    gf_repaintArea(WindowArea::Options);
}

struct CategoryOption {
    CheckBoxParameter* option;
    std::string_view what;
};

// The option that takes live aircraft of a category, for Light, HighPerf and Rotorcraft.
std::optional<CategoryOption> lf_categoryOption(AircraftCategory c) {
    switch (c) {
        case AircraftCategory::Light:
            return CategoryOption{&LIGHT_AIRCRAFT, "light aircraft"};
        case AircraftCategory::HighPerf:
            return CategoryOption{&HIGH_PERF_AIRCRAFT, "High Perf aircraft"};
        case AircraftCategory::Rotorcraft:
            return CategoryOption{&HELICOPTERS, "Helicopters"};
        default:
            return std::nullopt;
    }
}

std::vector<std::string>* lf_categoryModelList(AircraftCategory c) {
    switch (c) {
        case AircraftCategory::Light:
            return &categoryModels[categoryLight];
        case AircraftCategory::Buzjets:
            return &categoryModels[categoryBuzjets];
        case AircraftCategory::Rotorcraft:
            return &categoryModels[categoryRotorcraft];
        default:
            return nullptr;
    }
}

void lf_categorySummary(AircraftCategory c) {
    std::vector<std::string> models;
    size_t counts[2] = {0, 0};
    for (size_t kind : {paxTable, cargoTable}) {
        for (const auto& [model, titles] : genericTitles[kind]) {
            if (gf_modelCategory(model) != c) continue;
            counts[kind] += titles.size();
            models.push_back(model);
        }
    }
    const size_t p = counts[paxTable];
    const size_t k = counts[cargoTable];
    const auto option = lf_categoryOption(c);

    if (p == 0 && k == 0) {
        gf_log(fmt::format("Category {}: No livery found", gf_categoryName(c)));
        if (option) {
            if (option->option->value()) {
                option->option->set(false);
                gf_saveBoolParameter(*option->option);
                gf_log(fmt::format("{} temporary switched off because you do not have {} installed",
                                   option->option->name(), option->what));
            }
            lf_enableOption(*option->option, false);
        }
        return;
    }
    std::string line = fmt::format("Category {}: {} pax liverie{}", gf_categoryName(c), p, gf_plural(p));
    if (k > 0) line += fmt::format(" and {} cargo liverie{}", k, gf_plural(k));
    gf_log(line);
    std::sort(models.begin(), models.end());
    models.erase(std::unique(models.begin(), models.end()), models.end());
    lf_logModelList(models, lf_categoryModelList(c));
    if (option) lf_enableOption(*option->option, true);
}

void lf_buildTables() {
    gf_removeInlineRegcodes();
    // The file is the catalogue: a scan's list has been written to it.
    liveries.clear();
    ScannedLiveries scanned;
    scanned.read();
    auto& records = scanned.records();
    liveryCount.store(records.size());
    lf_showLiveryCount();

    lf_storeTitles(records);
    lf_buildAirlineModels(records);
    lf_buildCatalogueIndex();
    lf_buildAirlineModelTitles();
    gf_buildRegcodeTitles(records);
    gf_processRegcodeFiles();
    gf_log(fmt::format("{} registration codes", regcodeTitles.size()));

    lf_buildGenericTitles();
    gf_log(fmt::format("{} airlines, {} pax aircraft models and {} cargo aircraft models",
                       airlineModels.size(), genericTitles[paxTable].size(),
                       genericTitles[cargoTable].size()));
    gf_makeSimilarModels();
    lf_logGenericModels();
    for (int32_t c = 0; c < categoryCount; ++c) lf_categorySummary(static_cast<AircraftCategory>(c));
}

}  // namespace

void gf_processScannedLiveries(bool rescanned) {
    if (liveriesProcessed && !rescanned) {
        gf_log("Processing scanned liveries skipped; already done in previous start-up");
        liveries.clear();
        return;
    }
    // A build on filled tables would keep stale titles and duplicate views.
    lf_clearTables();
    liveriesProcessed = false;
    try {
        lf_buildTables();
    } catch (...) {
        lf_clearTables();
        liveries.clear();
        throw;
    }
    liveriesProcessed = true;
    tablesGeneration.fetch_add(1);
    lf_showLiveryCount();
    liveries.clear();
}

void gf_reserveLiveryTables() {
    if (tablesReserved) return;
    tablesReserved = true;
    // Only view and model tables: a title string never moves.
    specialTitles.reserve(4096);
    categoryModels[categoryLight].reserve(64);
    categoryModels[categoryBuzjets].reserve(128);
    categoryModels[categoryRotorcraft].reserve(32);
}

void gf_clearLiveryTables() {
    lf_clearTables();
    liveriesProcessed = false;
}

void gf_requestLiveryReset() {
    resetDue.store(true);
}

bool gf_liveryResetDue() {
    return resetDue.load();
}

bool gf_runPendingLiveryReset() {
    if (!resetDue.exchange(false)) return false;
    gf_clearLiveryTables();
    gf_clearNoMatchKeys();
    return true;
}

uint64_t gf_liveryTablesGeneration() {
    return tablesGeneration.load();
}

bool gf_airlineHasModel(std::string_view airline, std::string_view model) {
    auto it = airlineModels.find(airline);
    return it != airlineModels.end() && it->second.find(model) != it->second.end();
}

bool gf_hasGenericLivery(std::string_view model) {
    return genericTitles[paxTable].find(model) != genericTitles[paxTable].end() ||
           genericTitles[cargoTable].find(model) != genericTitles[cargoTable].end();
}

std::vector<std::string> gf_liveryAirlines() {
    std::vector<std::string> airlines;
    airlines.reserve(airlineModels.size());
    for (const auto& [airline, models] : airlineModels) airlines.push_back(airline.substr(0, 3));
    return airlines;
}

TitleView gf_findCatalogueTitle(std::string_view title) {
    if (title.empty()) return {};
    auto it = catalogueIndex.find(title);
    return it == catalogueIndex.end() ? TitleView{} : it->second;
}

void gf_addSpecialTitle(TitleView title) {
    specialTitles.push_back(title);
    if (specialTitleSet.insert(title).second) plainCandidates.clear();
}

bool gf_isSpecialTitle(TitleView title) {
    return specialTitleSet.find(title) != specialTitleSet.end();
}

bool gf_haveSpecialTitles() {
    return !specialTitleSet.empty();
}

const std::vector<TitleView>& gf_plainCandidates(const std::vector<TitleView>& list) {
    auto [it, inserted] = plainCandidates.try_emplace(&list);
    if (inserted)
        for (TitleView t : list)
            if (!gf_isSpecialTitle(t)) it->second.push_back(t);
    return it->second;
}

size_t gf_catalogueTitleCount() {
    size_t count = 0;
    for (const auto& [airline, models] : airlineModels)
        for (const auto& [model, titles] : models) count += titles.size();
    return count;
}

void gf_resetLiveries() {
    gf_clearLiveryTables();
    resetDue.store(false);
    tablesReserved = false;
    liveries.clear();
    liveryCount.store(0);
    regcodeMessages.clear();
    gf_resetScanReports();
    gf_clearMatchReports();
}

void gf_resetLiveriesBetweenRuns() {
    gf_clearNoMatchKeys();
}

}  // namespace vdl
