// The airport files: the bytes as input/airports_msfs.xml and as input/airports_msfs_names.xml,
// then look-ups in what was loaded.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <mutex>

#include "fuzz_support.h"
#include "refdata/airport_refs.h"
#include "refdata/dbase.h"
#include "refdata/reset.h"

using namespace vdl;
using fuzz::gf_expect;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    const auto bytes = fuzz::gf_text(data, size);
    fuzz::gf_writeFile("input/airports_msfs.xml", bytes);
    if (gf_readAirportRefs()) {
        std::vector<AirportRef> refs;
        {
            std::lock_guard lock(airportRefsMutex);
            refs = airportRefs;
        }
        gf_expect(!refs.empty(), "loaded without airports");
        for (size_t i = 0; i < refs.size(); ++i) {
            const AirportRef& a = refs[i];
            gf_expect(i == 0 || refs[i - 1].code < a.code, "codes not sorted and unique");
            gf_expect(std::abs(a.lat) <= 90.0 && std::abs(a.lon) <= 180.0 && std::isfinite(a.elev),
                      "bad position");
            gf_expect(gf_findAirportRef(a.code).has_value(), "loaded airport not found");
            if (i < 8)
                gf_expect(gf_closestAirport(a.lat, a.lon).has_value(), "airport not closest to itself");
        }
    }
    fuzz::gf_writeFile("input/airports_msfs_names.xml", bytes);
    gf_readAirportNames();
    gf_resetRefdata();
    return 0;
}
