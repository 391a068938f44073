// input/dbase.xml, the aircraft and airline data base, and the queries on what it loaded.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>

#include "foundation/errors.h"
#include "fuzz_support.h"
#include "refdata/dbase.h"
#include "refdata/reset.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_query(const std::string& key) {
    const double half = gf_halfWingspan(key);
    gf_expect(std::isfinite(half) && half > 0.0, "half wingspan not a positive number");
    gf_modelCategory(key);
    gf_isValidModel(key);
    gf_isValidAirline(key);
    gf_regcodeData(key);
    gf_findPvtPrefix(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    fuzz::gf_writeFile("input/dbase.xml", fuzz::gf_text(data, size));
    try {
        gf_loadDbase();
        gf_expect(gf_dbaseLoaded(), "load without a data set");
        for (const auto& group : gf_similarGroups().groups) {
            gf_expect(group.size() >= 2, "similar group of fewer than two");
            for (const auto& model : group) lf_query(model);
        }
        for (const auto& [wrong, right] : fixes()) lf_query(wrong), lf_query(right);
        for (const char* key : {"A320", "C172", "D-AINA", "N35953", "DLH", "", "ZZZZ"}) lf_query(key);
    } catch (const UserErrorException&) {
        gf_expect(!gf_dbaseLoaded(), "refused file left a data set");
    }
    gf_resetRefdata();
    return 0;
}
