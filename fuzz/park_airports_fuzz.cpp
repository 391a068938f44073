// airports/my_park_airports.txt: the bytes as the user's list; read it, then write the front
// entry back with a stand and read the file again.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "airports/park_airports.h"
#include "airports/reset.h"
#include "foundation/files.h"
#include "foundation/text.h"
#include "fuzz_support.h"
#include "refdata/airport_refs.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_readRefsOnce() {
    static const bool read = [] {
        fuzz::gf_writeFile("input/airports_msfs.xml",
                           "<Airports><airport ICAO=\"EDDL\" IATA=\"DUS\" lat=\"51.29\" lon=\"6.77\"/>"
                           "<airport ICAO=\"EDDK\" IATA=\"CGN\" lat=\"50.87\" lon=\"7.14\"/>"
                           "<airport ICAO=\"LSZH\" IATA=\"ZRH\" lat=\"47.46\" lon=\"8.55\"/></Airports>");
        return gf_readAirportRefs("input/airports_msfs.xml");
    }();
    gf_expect(read, "reference list not read");
}

// Every listed code once, each a reference airport.
void lf_checkList() {
    std::lock_guard lock(parkAirportListMutex);
    std::set<std::string> codes;
    for (const auto& p : parkAirports) {
        gf_expect(codes.insert(p.code).second, "an airport listed twice");
        gf_expect(gf_findAirportRef(p.code).has_value(), "an unknown airport listed");
        gf_expect(p.reservedStand.find(',') == std::string::npos, "a stand with a comma");
    }
}

size_t lf_linesOf(const std::string& code) {
    size_t n = 0;
    std::vector<std::string> lines;
    const auto path = gf_myParkAirportsPath();
    gf_readFileByEncoding(gf_detectEncoding(path), path, lines);
    for (const auto& line : lines)
        if (!gf_trim(line).empty() && gf_splitComma(line)[0] == code) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    lf_readRefsOnce();
    fuzz::gf_writeFile(gf_myParkAirportsPath(), fuzz::gf_text(data, size));
    gf_readMyParkAirports();
    lf_checkList();
    const size_t before = lf_linesOf("EDDK");
    gf_putParkAirportFirst("EDDK", "B7", 50.87, 7.14);
    const size_t after = lf_linesOf("EDDK");
    gf_expect(after >= 1 && after <= std::max<size_t>(before, 1), "a second line for a listed airport");
    gf_readMyParkAirports();
    lf_checkList();
    gf_resetAirports();
    return 0;
}
