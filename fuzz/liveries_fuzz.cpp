// output/LiveriesScanned.xml, the livery catalogue read at start-up; what is read is written
// again and must read back the same.
#include <cstdint>
#include <filesystem>
#include <list>

#include "foundation/errors.h"
#include "fuzz_support.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"

using namespace vdl;
using fuzz::gf_expect;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    fuzz::gf_writeFile(scannedLiveriesPath, fuzz::gf_text(data, size));
    bool loaded = false;
    try {
        gf_readScannedLiveries();
        loaded = true;
    } catch (const UserErrorException&) {
        // a catalogue the program refuses with a message to the user
    }
    if (loaded) {
        gf_expect(!liveries.empty(), "read without liveries");
        const std::list<LiveryData> read = liveries;
        gf_saveScannedLiveries();
        gf_readScannedLiveries();  // a refusal of our own file escapes: a finding
        gf_expect(liveries == read, "catalogue does not read back as written");
    }
    gf_resetLiveries();
    return 0;
}
