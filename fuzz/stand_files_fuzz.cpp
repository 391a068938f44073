// Airport stand files: the bytes up to the first NUL as a park airport's stand file, the rest (or
// the same bytes when there is no NUL) as its learned file; load, check the stands, save the
// learned file and load again; then the information readers on the same bytes. Whenever the
// plain reader takes one of the files, pugixml's parse of it must give the same values.
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "airports/stand_info.h"
#include "airports/stand_locations.h"
#include "foundation/parameters.h"
#include "fuzz_support.h"
#include "standins/stand_plain_check.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_checkStands() {
    const size_t n = parkPositions.size();
    for (size_t i = 0; i < n; ++i) {
        const ParkPos& s = parkPositions[i];
        gf_expect(s.id == i + 1, "stands not numbered in order");
        gf_expect(std::isfinite(s.lat) && std::isfinite(s.lon) && std::fabs(s.lat) <= 90.0 && std::fabs(s.lon) <= 180.0,
                  "stand position out of range");
        for (size_t k = 0; k < s.adjacent.size(); ++k) {
            const uint32_t b = s.adjacent[k];
            gf_expect(b >= 1 && b <= n && b != s.id, "adjacent id out of range");
            gf_expect(k == 0 || s.adjacent[k - 1] < b, "adjacent ids not ascending");
            const auto& other = parkPositions[b - 1].adjacent;
            gf_expect(std::find(other.begin(), other.end(), s.id) != other.end(), "adjacency not symmetric");
        }
    }
}

void lf_load() {
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport.code = "EDDL";
    }
    if (gf_readParkedFile().empty()) lf_checkStands();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::remove_all("airports", ec);
    const std::string_view bytes = fuzz::gf_text(data, size);
    const size_t nul = bytes.find('\0');
    const std::string_view base = bytes.substr(0, nul);
    const std::string_view learned = nul == std::string_view::npos ? bytes : bytes.substr(nul + 1);
    fuzz::gf_writeFile("airports/my_thirdparty/EDDL.xml", base);
    // Every publisher's learned place: the file's own publisher is not known before the load.
    const fs::path learnedPath =
        gf_learnedApfPath("airports/my_thirdparty/EDDL.xml", gf_readApfPublisher("airports/my_thirdparty/EDDL.xml"));
    fs::create_directories(learnedPath.parent_path(), ec);
    std::ofstream(learnedPath, std::ios::binary).write(learned.data(), static_cast<std::streamsize>(learned.size()));
    gf_expect(gf_plainReadDifference("airports/my_thirdparty/EDDL.xml").empty(), "plain reader differs from pugixml");
    gf_expect(gf_plainReadDifference(learnedPath).empty(), "plain reader differs from pugixml");
    lf_load();
    if (parkingActive.load()) {
        updateCount = 1;
        gf_clearParkAirportState();  // saves the learned file
        lf_load();
    }
    gf_readApfCreatorCheck("airports/my_thirdparty/EDDL.xml");
    std::string stand;
    const double d = gf_readDestApfForClosestStand("EDDL", 51.28, 6.76, stand);
    gf_expect(d <= 100.0 || std::isnan(d), "closest stand farther than 100 nm");
    gf_resetAirports();
    gf_resetParametersToDefaults();
    return 0;
}
