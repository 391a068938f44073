// The aircraft and airline data base (input/dbase.xml) and its queries.
//
// The data base is loaded once at start-up and again only after an update; a load builds a new
// data set and swaps it in, so that readers on the scan workers always see one whole set.
// Loaded sets are kept until gf_resetRefdata, so the references that the accessors
// below hand out stay valid for the whole process.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "refdata/identity.h"

namespace vdl {

// One registration of the data base: attributes "airl", "type", "opr", "cargo".
struct RegcodeData {
    std::string airl;
    std::string type;
    std::string opr;  // operator, may be empty
    bool cargo = false;
};

// Archived stand files of one publisher: `arpts` holds ICAO codes each followed directly by the
// stand count of the archived file ("EKCH312").
struct ThirdpartyData {
    std::string pub;
    std::vector<std::string> arpts;
};

// Groups of similar types ("A319 A320 A321 ..."), in file order.
struct SimilarGroups {
    std::vector<std::vector<std::string>> groups;
    std::unordered_map<std::string, size_t> groupOf;  // model -> index into groups
};

// Loads the data base; throws vdl::UserErrorException (code 30) when the file is missing or is not
// a data base. Faulty records are skipped and counted in the log line. On failure the data loaded
// before stays in use.
void gf_loadDbase(const std::filesystem::path& file = "input/dbase.xml");

bool gf_dbaseLoaded();

bool gf_isValidModel(std::string_view model);
bool gf_isValidAirline(std::string_view airline);

// Light when the model is in no category.
AircraftCategory gf_modelCategory(std::string_view model);

// Half wingspan in nm; the category's mean for a type without a wingspan in the data base.
double gf_halfWingspan(std::string_view model);

// Exact spelling; fills `entry` when given and found.
bool gf_findRegcode(std::string_view reg, RegcodeData* entry = nullptr);

// The registration's spelling variants (gf_regVariants) in turn; the first found.
std::optional<RegcodeData> gf_regcodeData(std::string_view reg);

// Type, operator and airline of a registration (spelling variants tried); "" when unknown.
std::string gf_modelOfReg(std::string_view reg);
std::string gf_operatorOfReg(std::string_view reg);
std::string gf_airlineOfReg(std::string_view reg);

// The first private registration prefix (a key of at most 4 characters with airline "PVT", in
// file order) that occurs inside the text; "" when none.
std::string gf_findPvtPrefix(std::string_view text);

// Wrong model code -> correct model code (section "fixes").
const std::unordered_map<std::string, std::string>& fixes();
// ICAO codes with an archived "simaddon" stand file for the 2020 simulator.
const std::set<std::string>& simaddons20();
const std::vector<ThirdpartyData>& thirdparties20();
const std::vector<ThirdpartyData>& thirdparties24();

const SimilarGroups& gf_similarGroups();

// Publisher name as found in package folders, manifests (lower case) -> canonical name.
const std::unordered_map<std::string, std::string>& gf_publisherNames();

// Forgets every loaded data set (part of gf_resetRefdata; nothing else calls it).
void gf_forgetDbaseSets();

}  // namespace vdl
