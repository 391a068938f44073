#include "shell/auto_range.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "foundation/parameters.h"
#include "window/main_window.h"
#include "simlink/sim_link.h"

namespace vdl {

namespace {
// Serialises the automatic range with the window's switch, so a range computed just before
// the switch cannot overwrite the value it restores.
std::mutex autoRangeMutex;
}  // namespace

int32_t gf_autoRangeNm(bool onGround, double heightAboveGroundFt) {
    const int32_t maximum = LATERAL_RANGE.maximum();
    if (onGround || !(heightAboveGroundFt > autoRangeLowFt)) return std::min(autoRangeGroundNm, maximum);
    const double nm = autoRangeGroundNm + (heightAboveGroundFt - autoRangeLowFt) / autoRangeFtPerNm;
    if (nm >= maximum) return maximum;
    return static_cast<int32_t>(std::floor(nm));
}

void gf_autoRange() {
    std::lock_guard lock(autoRangeMutex);
    if (!AUTO_RANGE.value()) {
        atTenNm = false;
        return;
    }
    if (savedLateralRange < 0) savedLateralRange = LATERAL_RANGE.value();
    const UserOnGround ground = userOnGround.load();
    // Until the simulator said otherwise the user is taken to be on the ground.
    const bool onGround = !ground.known || ground.value != 0;
    const int32_t nm = gf_autoRangeNm(onGround, userAc.altAboveGround);
    if (nm != LATERAL_RANGE.value() || lateralRangeNm.load() != nm) {
        gf_setLateralRange(nm);
        gf_setTbInt(LATERAL_RANGE);
    }
    atTenNm = nm == autoRangeGroundNm;
}

void gf_autoRangeSwitched(bool on) {
    std::lock_guard lock(autoRangeMutex);
    LATERAL_RANGE.setEnabled(!on);
    if (on) {
        savedLateralRange = LATERAL_RANGE.value();
        return;
    }
    if (savedLateralRange >= 0) gf_setLateralRange(savedLateralRange);
    savedLateralRange = -1;
    atTenNm = false;
    gf_setTbInt(LATERAL_RANGE);
    gf_clearStatusLine();
}

}  // namespace vdl
