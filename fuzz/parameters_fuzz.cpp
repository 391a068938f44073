// parameters.xml as the user may have edited it: loaded, then one value saved into it.
#include <cmath>
#include <cstdint>
#include <filesystem>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/reset.h"
#include "fuzz_support.h"

using namespace vdl;
using fuzz::gf_expect;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    const std::filesystem::path path = gf_parametersPath();
    fuzz::gf_writeFile(path, fuzz::gf_text(data, size));

    gf_expect(gf_loadParameters(), "load did not write the file back");
    gf_expect(MAX_LIVE.value() >= -1 && MAX_LIVE.value() <= 300, "MAX_LIVE outside its range");
    gf_expect(MAX_FIT_FL.value() >= 0.5f && MAX_FIT_FL.value() <= 24.0f, "MAX_FIT_FL outside its range");
    gf_expect(lateralRangeNm.load() == LATERAL_RANGE.value(), "lateral range copy differs");
    MAX_LIVE.set(42);
    gf_expect(gf_saveParameter(MAX_LIVE), "save failed");
    // The rewritten file loads as it was saved.
    MAX_LIVE.set(7);
    gf_expect(gf_loadParameters() && MAX_LIVE.value() == 42, "saved value not read back");

    gf_resetFoundation();
    std::error_code ec;
    std::filesystem::remove_all(gf_programFolder(), ec);
    return 0;
}
