#include "foundation/timer.h"

namespace vdl {

bool gf_beginTimerResolution(uint32_t) {
    return true;
}
bool gf_endTimerResolution(uint32_t) {
    return true;
}

}  // namespace vdl
