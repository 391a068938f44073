#include "foundation/reset.h"

#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/not_created.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "foundation/time.h"
#include "foundation/workers.h"

namespace vdl {

// files.cpp's temporary-name counter stays: it only keeps names apart within the process.
void gf_resetFoundation() {
    gf_closeLog();
    gf_resetParametersToDefaults();
    gf_setTestClock(std::nullopt);
    liveDataUtc = 0;
    nowSlot = WeekSlot{};
    clock100 = 0;
    gf_unseedRandomForTests();
    hwThreads = 1;
    runningWorkers = 0;
    gf_clearNotCreatedTitles();
}

}  // namespace vdl
