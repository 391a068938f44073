#include "feed/traffic_record.h"

#include <utility>

#include "refdata/identity.h"

namespace vdl {

void gf_moveAcIdentityStrings(TrafficRecord& from, AcIdentity& to) {
    to.airl = std::move(from.airl);
    to.type = std::move(from.type);
    to.origin = std::move(from.origin);
    to.dest = std::move(from.dest);
    to.callsign = std::move(from.callsign);
    to.callsignCopy = std::move(from.callsignCopy);
    to.coupledCallsign = std::move(from.coupledCallsign);
    to.reg = std::move(from.reg);
    to.coupledSearched = from.coupledSearched;
}

}  // namespace vdl
