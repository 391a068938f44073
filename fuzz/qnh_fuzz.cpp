// The weather datagrams of UDP 49004 and the QNH taken from them.
#include <cstdint>
#include <stdexcept>

#include "feed/qnh.h"
#include "feed/reset.h"
#include "fuzz_support.h"

using namespace vdl;
using fuzz::gf_expect;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto text = fuzz::gf_text(data, size);
    try {
        const int32_t hpa = gf_parseQnh(text);
        gf_expect(hpa >= 800 && hpa <= 1100, "QNH outside 800 to 1100 hPa");
    } catch (const std::runtime_error&) {
        // refused: the old value stays
    }
    qnh = 1002;
    if (!gf_processQnhDatagram(text)) gf_expect(qnh.load() == 1002, "a refused datagram changed the QNH");
    gf_resetFeed();
    return 0;
}
