#pragma once
// Faults waiting for the stand-in's next calls. Not locked itself: SimStandIn guards it with
// its worldMutex.
#include <cstdint>
#include <optional>
#include <vector>

#include "simulator/stand_in_types.h"

namespace vdl {

struct FaultRule {
    SimCall call = SimCall::Open;
    FaultKind kind = FaultKind::Fail;
    int remaining = 0;  // calls it still applies to
    uint32_t delayFrames = 0;
    std::optional<uint32_t> requestId;  // only calls with this request id, when given
};

class FaultPlan {
  public:
    void add(FaultRule rule);  // nothing when it applies to no call
    void clear();
    // The first rule that applies to this call, used up by one; none when no rule applies.
    std::optional<FaultRule> take(SimCall call, uint32_t requestId);

  private:
    std::vector<FaultRule> rules_;  // in the order given
};

}  // namespace vdl
