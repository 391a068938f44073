#include "liveries/similar_models.h"

#include "foundation/random.h"
#include "liveries/livery_tables.h"
#include "refdata/dbase.h"

namespace vdl {

namespace {

// model -> the other models of its group with an installed livery.
TextMap<std::vector<std::string>> similarModels;
// airline -> model -> the other models of the model's group of which the airline has liveries.
TextMap<TextMap<std::vector<std::string>>> airlineSimilarModels;

std::vector<std::string> lf_othersOf(const std::vector<std::string>& members, const std::string& model) {
    std::vector<std::string> others;
    for (const auto& m : members)
        if (m != model) others.push_back(m);
    return others;
}

}  // namespace

void gf_makeSimilarModels() {
    gf_clearSimilarModels();
    const auto& groups = gf_similarGroups().groups;

    for (const auto& group : groups) {
        std::vector<std::string> installed;
        for (const auto& m : group)
            if (gf_hasGenericLivery(m)) installed.push_back(m);
        if (installed.empty()) continue;
        for (const auto& model : group) {
            auto others = lf_othersOf(installed, model);
            if (!others.empty()) similarModels.try_emplace(model, std::move(others));
        }
    }

    for (const auto& airline : gf_liveryAirlines()) {
        TextMap<std::vector<std::string>> byModel;
        for (const auto& group : groups) {
            std::vector<std::string> installed;
            for (const auto& m : group)
                if (gf_airlineHasModel(airline, m)) installed.push_back(m);
            if (installed.empty()) continue;
            for (const auto& model : group) {
                auto others = lf_othersOf(installed, model);
                if (!others.empty()) byModel.try_emplace(model, std::move(others));
            }
        }
        if (!byModel.empty()) airlineSimilarModels.try_emplace(airline, std::move(byModel));
    }
}

std::vector<std::string> gf_similarModels(std::string_view model) {
    auto it = similarModels.find(model);
    if (it != similarModels.end()) return it->second;
    const std::vector<std::string>* pool = nullptr;
    switch (gf_modelCategory(model)) {
        case AircraftCategory::Light:
            pool = &categoryModels[categoryLight];
            break;
        case AircraftCategory::Buzjets:
            pool = &categoryModels[categoryBuzjets];
            break;
        case AircraftCategory::Rotorcraft:
            pool = &categoryModels[categoryRotorcraft];
            break;
        default:
            break;
    }
    if (pool == nullptr || pool->empty()) return {};
    return {(*pool)[gf_randomIndex(pool->size())]};
}

std::vector<std::string> gf_airlineSimilarModels(const AcIdentity& ac) {
    auto a = airlineSimilarModels.find(ac.airl);
    if (a == airlineSimilarModels.end()) return {};
    auto m = a->second.find(ac.type);
    if (m == a->second.end()) return {};
    return m->second;
}

void gf_clearSimilarModels() {
    similarModels.clear();
    airlineSimilarModels.clear();
}

}  // namespace vdl
