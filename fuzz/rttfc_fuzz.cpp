// RTTFC traffic lines and the datagrams of the traffic port: the parser alone, then the
// reader's datagram splitting, collection and queueing.
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "feed/reset.h"
#include "feed/rttfc.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/time.h"
#include "fuzz_support.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_checkRecord(const TrafficRecord& r) {
    const StreamPos& p = r.pos;
    gf_expect(r.hexid >= firstLiveHexid, "hexid below the live range");
    gf_expect(p.lat >= -90.0 && p.lat <= 90.0 && p.lon >= -180.0 && p.lon <= 180.0, "position off the globe");
    gf_expect(p.track >= 0.0 && p.track < 360.0, "track outside [0, 360)");
    gf_expect(p.speed >= 0.0 && std::isfinite(p.speed) && std::isfinite(p.tas), "speed not finite");
    gf_expect(std::isfinite(p.alt) && std::isfinite(p.vs) && std::isfinite(p.bank),
              "flight state not finite");
    gf_expect(std::isfinite(r.sampleTime) && r.sampleTime > 0.0, "time stamp not positive");
    gf_expect(p.airborne <= 1 && p.attitudeFlag == (p.bankValid && p.headingValid), "flags");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto text = fuzz::gf_text(data, size);

    try {
        lf_checkRecord(gf_parseRttfc(text, 1000));
        gf_expect(gf_isRttfcLine(text), "a parsed line that is no RTTFC line");
    } catch (const std::runtime_error&) {
        // a refused line: what the reader logs and drops
    }

    // The reader with everything switched on: the main loop runs, callsigns are collected
    // around a known position.
    gf_setMainLoopRunning(true);
    trafficReader.setOwnPosition(51.2895, 6.7668);
    trafficReader.startCollecting();
    trafficReader.processDatagram(text);
    for (const TrafficRecord& r : trafficQueue) lf_checkRecord(r);

    gf_resetFeed();
    liveDataUtc = 0;
    return 0;
}
