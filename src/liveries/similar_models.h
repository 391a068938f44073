// Similar models (the data base's similar-type groups) narrowed to the installed liveries.
// They belong to the reference data by name but read the livery tables, so they live here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "refdata/identity.h"

namespace vdl {

// Builds both tables from the data base's groups and the livery tables; called by the table
// build once airlineModels and genericTitles are complete.
void gf_makeSimilarModels();

// The other models of the model's group that have an installed livery, in group order. Without
// such models: for Light, Buzjets and Rotorcraft one model of the category's installed models
// (random while RANDOM is on), else none.
std::vector<std::string> gf_similarModels(std::string_view model);

// The other models of the aircraft's model group of which its airline has liveries, in group order.
std::vector<std::string> gf_airlineSimilarModels(const AcIdentity& ac);

void gf_clearSimilarModels();

}  // namespace vdl
