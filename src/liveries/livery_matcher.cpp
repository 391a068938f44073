#include "liveries/livery_matcher.h"

#include <fmt/format.h>

#include <string>
#include <vector>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "liveries/livery_tables.h"
#include "liveries/match_reports.h"
#include "liveries/similar_models.h"
#include "refdata/dbase.h"

namespace vdl {

namespace {

constexpr std::string_view genericAirline = "ZZZ";
constexpr std::string_view privateAirline = "PVT";
constexpr int maxSpecialRedraws = 5;

// Up to five redraws while the pick is special, then the first-drawn among the plain candidates.
void lf_pickTitle(AcIdentity& ac, const std::vector<TitleView>& candidates) {
    const size_t n = candidates.size();
    if (n == 0) return;
    ac.title = candidates[gf_randomIndex(n)];
    if (!gf_haveSpecialTitles()) return;
    for (int draw = 0; draw < maxSpecialRedraws; ++draw) {
        if (!gf_isSpecialTitle(ac.title)) return;
        ac.title = candidates[gf_randomIndex(n)];
    }
    if (!gf_isSpecialTitle(ac.title)) return;
    const auto& plain = gf_plainCandidates(candidates);
    ac.title = plain.empty() ? TitleView{} : plain[gf_randomIndex(plain.size())];
}

void lf_matchAirlineModel(AcIdentity& ac, std::string_view airline, std::string_view model, size_t table) {
    const auto& airlines = airlineModelTitles[table];
    auto a = airlines.find(airline);
    if (a == airlines.end()) return;
    auto m = a->second.find(model);
    if (m == a->second.end()) return;
    lf_pickTitle(ac, m->second);
}

// The table of the aircraft's kind, then pax for a cargo aircraft without a title.
void lf_tryAirlineModel(AcIdentity& ac, std::string_view airline, std::string_view model) {
    lf_matchAirlineModel(ac, airline, model, ac.cargo ? cargoTable : paxTable);
    if (ac.cargo && ac.title.empty()) lf_matchAirlineModel(ac, airline, model, paxTable);
}

bool lf_matchGenericModel(AcIdentity& ac, std::string_view model) {
    const auto& table = genericTitles[ac.cargo ? cargoTable : paxTable];
    auto it = table.find(model);
    if (it != table.end()) lf_pickTitle(ac, it->second);
    return !ac.title.empty();
}

bool lf_matchRegcode(AcIdentity& ac) {
    if (ac.reg.empty() || regcodeTitles.empty()) return false;
    for (const auto& variant : gf_regVariants(ac.reg)) {
        auto it = regcodeTitles.find(variant);
        if (it != regcodeTitles.end()) {
            ac.title = it->second;
            break;
        }
    }
    return !ac.title.empty();
}

bool lf_smallCategory(AircraftCategory c) {
    return c == AircraftCategory::Light || c == AircraftCategory::Buzjets ||
           c == AircraftCategory::Rotorcraft;
}

// Steps 4 to 6, only at depth 3 and 4.
void lf_matchGeneric(AcIdentity& ac, int depth, int& step) {
    if (depth == 4 || (depth == 3 && lf_smallCategory(ac.category) && ac.airl != privateAirline)) {
        lf_tryAirlineModel(ac, genericAirline, ac.type);
        if (!ac.title.empty()) {
            step = 4;
            return;
        }
    }
    if (!lf_smallCategory(ac.category)) return;
    if (lf_matchGenericModel(ac, ac.type)) {
        step = 5;
        return;
    }
    for (const auto& similar : gf_similarModels(ac.type)) {
        if (lf_matchGenericModel(ac, similar)) {
            step = 6;
            return;
        }
    }
}

// Steps 2 to 6 (the live rules, or the static ones: airline may be empty, no category filter).
void lf_matchFromStep2(AcIdentity& ac, int depth, int& step, bool isStatic) {
    if (depth < 2) return;
    if (ac.airl == privateAirline) {
        lf_tryAirlineModel(ac, genericAirline, ac.type);
        if (!ac.title.empty()) {
            step = 4;
            return;
        }
    }
    const std::string opr = ac.reg.empty() ? std::string() : gf_operatorOfReg(ac.reg);
    const bool airlineKnown = isStatic || !ac.airl.empty();

    std::string regAirline;
    auto airlineOfReg = [&]() -> const std::string& {
        if (regAirline.empty()) regAirline = gf_airlineOfReg(ac.reg);
        return regAirline;
    };

    if (airlineKnown) {
        lf_tryAirlineModel(ac, ac.airl, ac.type);
        if (ac.title.empty() && !opr.empty()) lf_tryAirlineModel(ac, airlineOfReg(), ac.type);
        if (!ac.title.empty()) {
            step = 2;
            return;
        }
    }
    if (depth < 3) return;

    if (airlineKnown) {
        const auto similar = gf_airlineSimilarModels(ac);
        auto trySimilar = [&](std::string_view airline) {
            for (const auto& model : similar) {
                if (!isStatic && gf_modelCategory(model) != ac.category) continue;
                lf_tryAirlineModel(ac, airline, model);
                if (!ac.title.empty()) return;
            }
        };
        trySimilar(ac.airl);
        if (ac.title.empty() && !opr.empty()) trySimilar(airlineOfReg());
        if (!ac.title.empty()) {
            step = 3;
            return;
        }
    }
    lf_matchGeneric(ac, depth, step);
}

}  // namespace

void gf_matchLivery(AcIdentity& ac) {
    const int depth = MATCHING_DEPTH.value();
    int step = 0;
    if (lf_matchRegcode(ac))
        step = 1;
    else
        lf_matchFromStep2(ac, depth, step, false);

    if (ac.title.empty()) return;
    if (gf_isUncreatable(ac.title)) {
        ac.title = {};
        return;
    }
    stepCounts[static_cast<size_t>(step - 1)].fetch_add(1);
    if (LOG.value()) gf_log(fmt::format("          {} ={}= {}", gf_acInfo(ac), step, ac.title));
    ac.fsltl = ac.title.find("FSLTL_") != TitleView::npos ? 1 : 0;
}

std::string gf_noMatchReason(const AcIdentity& ac) {
    const int depth = MATCHING_DEPTH.value();
    if (depth < 2) return fmt::format("no livery for its registration (MATCHING_DEPTH {})", depth);
    const bool small = lf_smallCategory(ac.category);
    const bool privateAc = ac.airl == privateAirline;
    const std::string similar = depth >= 3 ? " or a similar model" : "";
    std::vector<std::string> parts;
    if (!ac.airl.empty()) {
        std::string airlines = ac.airl;
        if (!ac.reg.empty() && !gf_operatorOfReg(ac.reg).empty()) {
            const std::string ofReg = gf_airlineOfReg(ac.reg);
            if (!ofReg.empty() && ofReg != ac.airl) airlines += "/" + ofReg;
        }
        parts.push_back(fmt::format("of {} for {}{}", airlines, ac.type, similar));
    }
    if (privateAc || depth == 4 || (depth == 3 && small))
        parts.push_back(fmt::format("of {} for {}", genericAirline, ac.type));
    if (depth >= 3 && small) parts.push_back(fmt::format("of any airline for {} or a similar model", ac.type));
    if (parts.empty()) return "no airline to match";
    std::string text = "no livery " + parts.front();
    for (size_t i = 1; i < parts.size(); ++i) text += ", nor " + parts[i];
    return text;
}

bool gf_matchLiveryStatic(AcIdentity& ac, const MatchStand& stand) {
    if (!ac.title.empty()) {
        if (LOG.value()) gf_log(fmt::format("          {} =s= {}", gf_acInfo(ac), ac.title));
        return true;
    }
    const int depth = MATCHING_DEPTH.value();
    int step = 0;
    if (lf_matchRegcode(ac)) {
        step = 1;
    } else {
        ac.cargo = stand.cargo ? 1 : 0;
        lf_matchFromStep2(ac, depth, step, true);
    }

    if (!ac.title.empty() && gf_isUncreatable(ac.title)) {
        ac.title = {};
        return false;
    }
    if (ac.title.empty()) {
        if (LOG.value()) gf_log(fmt::format("{:8}: {} no livery match ...", stand.name, gf_acShortInfo(ac)));
        return false;
    }
    if (LOG.value()) gf_log(fmt::format("          {} ={}= {}", gf_acInfo(ac), step, ac.title));
    return true;
}

bool gf_matchLiveryStatic(AcIdentity& ac, const ParkPos& stand) {
    return gf_matchLiveryStatic(ac, MatchStand{stand.name, stand.cargo != 0});
}

}  // namespace vdl
