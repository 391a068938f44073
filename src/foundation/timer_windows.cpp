#include <windows.h>
#include <mmsystem.h>

#include "foundation/timer.h"

namespace vdl {

bool gf_beginTimerResolution(uint32_t milliseconds) {
    return timeBeginPeriod(milliseconds) == TIMERR_NOERROR;
}
bool gf_endTimerResolution(uint32_t milliseconds) {
    return timeEndPeriod(milliseconds) == TIMERR_NOERROR;
}

}  // namespace vdl
