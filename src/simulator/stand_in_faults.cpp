#include "simulator/stand_in_faults.h"

namespace vdl {

void FaultPlan::add(FaultRule rule) {
    if (rule.remaining <= 0) return;
    rules_.push_back(rule);
}

void FaultPlan::clear() {
    rules_.clear();
}

std::optional<FaultRule> FaultPlan::take(SimCall call, uint32_t requestId) {
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->call != call) continue;
        if (it->requestId && *it->requestId != requestId) continue;
        FaultRule taken = *it;
        if (--it->remaining <= 0) rules_.erase(it);
        return taken;
    }
    return std::nullopt;
}

}  // namespace vdl
