// The registration files: the bytes as input/AIG-regcodes.xml and as a my_regcodes TXT file,
// whose encoding (UTF-8, UTF-16 LE or BE) follows its byte-order mark.
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "fuzz_support.h"
#include "refdata/regcodes.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_checkRecords(const std::vector<LiveryRegcodes>& records) {
    for (const auto& r : records) {
        gf_expect(!r.title.empty(), "record without title");
        for (const auto& reg : r.regs) {
            gf_expect(!reg.empty() && reg.size() <= 16, "registration length");
            for (unsigned char c : reg) gf_expect(std::isalnum(c) != 0 || c == '-', "registration character");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    const auto bytes = fuzz::gf_text(data, size);
    std::vector<LiveryRegcodes> records;

    fuzz::gf_writeFile("input/AIG-regcodes.xml", bytes);
    gf_readAigRegcodes("input/AIG-regcodes.xml", records);
    lf_checkRecords(records);

    records.clear();
    fuzz::gf_writeFile("input/my_regcodes/user.TXT", bytes);
    gf_readRegcodeFiles("input/my_regcodes", records);
    lf_checkRecords(records);
    return 0;
}
