// A BGL airport file, as the add-on airport scan reads it: the quick test and the bulk read
// from a file, the walk under both simulators, and the stands of every airport handed on. The
// stands must come out as the checks promise: usable radius, a position on the globe, a finite
// heading, names unique among the parkings.
#include <cmath>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "airports/airport_scan_log.h"
#include "airports/bgl_reader.h"
#include "airports/bgl_stands.h"
#include "fuzz_support.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_checkStands(const BglAirport& airport, const std::string& icao) {
    gf_expect(icao.size() == 4, "identifier not 4 characters");
    const auto read = gf_readAirportStands(airport, icao, "in.bgl");
    if (!read) return;
    gf_expect(read->altitude >= -20 && read->altitude <= 10000, "altitude out of bounds");
    std::unordered_set<std::string> names;
    for (const ParkPos& s : read->stands) {
        const double metres = s.radius * 1852.0;
        gf_expect(metres > 0.99 && metres < 200.01, "radius out of bounds");
        gf_expect(s.lat >= -90.0 && s.lat <= 90.0 && s.lon >= -180.0 && s.lon <= 180.0, "position off the globe");
        gf_expect(std::isfinite(s.heading), "heading not finite");
        gf_expect(s.scanMark == 0, "mark left on a stand");
        if (!s.heli) gf_expect(names.insert(s.name).second, "parking name given twice");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    BglHandOffs handOffs;
    handOffs.airport = lf_checkStands;
    int notRecognised = 0;
    handOffs.notRecognised = [&] { ++notRecognised; };
    {
        const fuzz::InScratchDir inScratch;
        fuzz::gf_writeFile("in.bgl", fuzz::gf_text(data, size));
        (void)gf_hasAirportSection("in.bgl");
        try {
            gf_readBglFile("in.bgl", handOffs, false);
        } catch (const std::out_of_range&) {
            gf_expect(size <= 4, "out of range thrown for a file with a header size");
        }
    }
    gf_expect(notRecognised <= 1, "file not ended at the first not-recognised mark");
    if (size > 4) gf_walkBglBytes(std::vector<uint8_t>(data, data + size), "in.bgl", handOffs, true);
    gf_expect(notRecognised <= 1, "not-recognised mark acted on under MSFS 2020");
    (void)gf_takeAirportsScanLog();
    return 0;
}
