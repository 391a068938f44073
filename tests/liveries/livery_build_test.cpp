// The table build against a plain one (the catalogue as a list of strings sorted by string
// compares, every table filled from it in turn): on generated catalogues with repeated titles,
// clashing registrations, empty fields and bytes above 127, the same tables in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <vector>

#include "foundation/text.h"
#include "liveries/livery_regcodes.h"
#include "standins/livery_samples.h"
#include "support/data_env.h"

namespace vdl::test {
namespace {

using LiveryBuild = DataEnv;

struct PlainTitle {
    std::string title;
    bool cargo;
};

// The plain build; its maps have the program's types, so that the same keys in the same order
// give the same iteration order.
struct PlainTables {
    std::list<LiveryData> list;
    TextMap<TextMap<std::vector<PlainTitle>>> airlineModels;
    std::array<TextMap<TextMap<std::vector<std::string>>>, 2> airlineModelTitles;
    std::array<TextMap<std::vector<std::string>>, 2> genericTitles;
    std::map<std::string, std::string> regcodeTitles;
    std::vector<std::string> clashes;
};

PlainTables lf_plainBuild() {
    PlainTables p;
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(scannedLiveriesPath.c_str()));
    for (auto node : doc.child("liveries").children("liv"))
        p.list.push_back({node.attribute("airl").as_string(), node.attribute("type").as_string(),
                          node.attribute("title").as_string(), node.attribute("atcid").as_string(), 0,
                          node.attribute("cargo") && gf_textToBool(node.attribute("cargo").as_string())});
    p.list.sort([](const LiveryData& a, const LiveryData& b) {
        if (a.airl != b.airl) return a.airl < b.airl;
        if (a.type != b.type) return a.type < b.type;
        return a.title < b.title;
    });

    for (auto it = p.list.begin(); it != p.list.end();) {
        TextMap<std::vector<PlainTitle>> models;
        const std::string airline = it->airl;
        while (it != p.list.end() && it->airl == airline) {
            const std::string model = it->type;
            std::vector<PlainTitle> titles;
            for (; it != p.list.end() && it->airl == airline && it->type == model; ++it)
                titles.push_back({it->title, it->cargo});
            models.try_emplace(model, std::move(titles));
        }
        p.airlineModels.try_emplace(airline, std::move(models));
    }
    for (const auto& [airline, models] : p.airlineModels) {
        for (const auto& [model, titles] : models) {
            for (const auto& t : titles) {
                auto& byModel = p.airlineModelTitles[t.cargo ? cargoTable : paxTable];
                byModel[airline][model].push_back(t.title);
            }
        }
    }
    for (const auto& liv : p.list) {
        if (liv.atcid.empty()) continue;
        if (liv.title.empty()) {
            p.clashes.push_back(fmt::format("==> [{}] {} \"{}\" not available, system error, should not happen?",
                                            gf_airlModelKey(liv), liv.atcid, liv.title));
            continue;
        }
        auto [it, inserted] = p.regcodeTitles.try_emplace(liv.atcid, liv.title);
        if (!inserted && it->second != liv.title)
            p.clashes.push_back(fmt::format("{} \"{}\" => already in use by \"{}\"", liv.atcid, liv.title, it->second));
    }
    // Generic titles: every title in the airline maps' order, sorted by model (not stably).
    struct Entry {
        std::string model;
        std::string title;
        bool cargo;
    };
    std::vector<Entry> entries;
    for (const auto& [airline, models] : p.airlineModels)
        for (const auto& [model, titles] : models)
            for (const auto& t : titles) entries.push_back({model, t.title, t.cargo});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.model < b.model; });
    for (const auto& e : entries) p.genericTitles[e.cargo ? cargoTable : paxTable][e.model].push_back(e.title);
    return p;
}

// A generated catalogue with the awkward cases added, in shuffled order.
std::list<LiveryData> lf_catalogue(uint32_t seed, size_t count) {
    samples::SampleMaker maker(seed);
    auto list = maker.liveries({count, 0.7, seed});
    std::vector<LiveryData> v(list.begin(), list.end());
    std::mt19937 rng(seed);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    for (size_t i = 0; i < count / 10; ++i) {
        LiveryData l = v[pick(v.size())];
        switch (i % 6) {
            case 0:  // the same title under another airline and type
                l.airl = v[pick(v.size())].airl;
                l.type = v[pick(v.size())].type;
                break;
            case 1:  // the same record again, or with another registration
                if (pick(2)) l.atcid = v[pick(v.size())].atcid;
                break;
            case 2:  // a registration another title has
                l.title += " b";
                l.atcid = v[pick(v.size())].atcid;
                break;
            case 3:
                l.title = pick(2) ? "" : "\xc3\x84" + l.title;  // bytes above 127 sort last
                break;
            case 4:
                (pick(2) ? l.airl : l.type).clear();
                break;
            default:
                l.cargo = !l.cargo;
                break;
        }
        v.push_back(std::move(l));
    }
    std::shuffle(v.begin(), v.end(), rng);
    return {v.begin(), v.end()};
}

template <typename Inner, typename Flatten>
std::vector<std::string> lf_inOrder(const TextMap<Inner>& map, Flatten flatten) {
    std::vector<std::string> out;
    for (const auto& [key, value] : map) {
        out.push_back("[" + key + "]");
        flatten(value, out);
    }
    return out;
}

// Equal sequences, or the first place where they differ.
void lf_expectSame(const std::vector<std::string>& built, const std::vector<std::string>& plain, const char* what) {
    const auto [a, b] = std::mismatch(built.begin(), built.end(), plain.begin(), plain.end());
    if (a == built.end() && b == plain.end()) return;
    ADD_FAILURE() << what << " differs at " << (a - built.begin()) << " of " << built.size() << "/" << plain.size()
                  << ": \"" << (a == built.end() ? "(end)" : *a) << "\" instead of \""
                  << (b == plain.end() ? "(end)" : *b) << "\"";
}

TEST_F(LiveryBuild, SameTablesInTheSameOrderAsThePlainBuild) {
    for (const uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        gf_clearLiveryTables();
        buildFrom(lf_catalogue(seed, 1500 * seed));
        const PlainTables plain = lf_plainBuild();

        auto viewList = [](const std::vector<TitleView>& titles, std::vector<std::string>& out) {
            out.insert(out.end(), titles.begin(), titles.end());
        };
        auto stringList = [](const std::vector<std::string>& titles, std::vector<std::string>& out) {
            out.insert(out.end(), titles.begin(), titles.end());
        };
        lf_expectSame(lf_inOrder(airlineModels,
                             [](const TextMap<std::vector<CatalogueTitle>>& models, std::vector<std::string>& out) {
                                 for (const auto& [model, titles] : models) {
                                     out.push_back(model);
                                     for (const auto& t : titles) out.push_back(std::string(t.title) + (t.cargo ? "*" : ""));
                                 }
                             }),
                  lf_inOrder(plain.airlineModels,
                             [](const TextMap<std::vector<PlainTitle>>& models, std::vector<std::string>& out) {
                                 for (const auto& [model, titles] : models) {
                                     out.push_back(model);
                                     for (const auto& t : titles) out.push_back(t.title + (t.cargo ? "*" : ""));
                                 }
                             }),
                      "airline models");
        for (size_t k : {paxTable, cargoTable}) {
            lf_expectSame(lf_inOrder(airlineModelTitles[k],
                                 [&](const ModelViews& models, std::vector<std::string>& out) {
                                     for (const auto& [model, titles] : models) viewList(titles, out);
                                 }),
                      lf_inOrder(plain.airlineModelTitles[k],
                                 [&](const TextMap<std::vector<std::string>>& models, std::vector<std::string>& out) {
                                     for (const auto& [model, titles] : models) stringList(titles, out);
                                 }),
                          "airline model titles");
            lf_expectSame(lf_inOrder(genericTitles[k], viewList), lf_inOrder(plain.genericTitles[k], stringList),
                          "generic titles");
        }
        const std::map<std::string, std::string> regs(regcodeTitles.begin(), regcodeTitles.end());
        EXPECT_EQ(regs, plain.regcodeTitles);
        EXPECT_EQ(gf_readFileLines(inlineRegcodesPath).value_or(std::vector<std::string>{}), plain.clashes);
        EXPECT_GT(plain.clashes.size(), 10u);

        // Every title is found, as the first of its copies in the tables' order.
        std::map<std::string_view, const char*> first;
        for (const auto& [airline, models] : airlineModels)
            for (const auto& [model, titles] : models)
                for (const auto& t : titles) first.try_emplace(t.title, t.title.data());
        for (const auto& [title, data] : first) {
            if (title.empty()) continue;
            EXPECT_EQ(gf_findCatalogueTitle(title).data(), data) << title;
        }
        EXPECT_TRUE(gf_findCatalogueTitle("not installed").empty());
        EXPECT_TRUE(gf_findCatalogueTitle("").empty());

        // The list reader gives the plain sorted list, equal records in file order.
        gf_readScannedLiveries();
        EXPECT_TRUE(std::equal(liveries.begin(), liveries.end(), plain.list.begin(), plain.list.end()));
        liveries.clear();
    }
}

}  // namespace
}  // namespace vdl::test
