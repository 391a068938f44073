#pragma once
// The automatic LATERAL_RANGE (AUTO_RANGE): how far around the user aircraft live traffic is
// taken and the simulator is asked for aircraft in range.
#include <cstdint>

#include "foundation/parameters.h"  // atTenNm, savedLateralRange

namespace vdl {

inline constexpr int32_t autoRangeGroundNm = 10;
inline constexpr double autoRangeLowFt = 500.0;    // up to this height above ground: 10 nm
inline constexpr double autoRangeFtPerNm = 200.0;  // above it: one more nm per 200 ft

// The rule: on the ground, or up to 500 ft above it, 10 nm, where what matters is the airport
// around the user; higher up the view widens by 1 nm per 200 ft above those 500 ft, up to
// LATERAL_RANGE's maximum (100 nm at 18500 ft). A height that is no number counts as low.
int32_t gf_autoRangeNm(bool onGround, double heightAboveGroundFt);

// Run worker, while AUTO_RANGE is on: the range for the user aircraft's situation (userAc and
// userOnGround) into LATERAL_RANGE with its f64 and metre copies, the box rewritten when it
// changed, and atTenNm. With AUTO_RANGE off only atTenNm is cleared.
void gf_autoRange();

// The window's AUTO_RANGE box: switched on, LATERAL_RANGE's own value is kept and its box
// disabled; switched off, the kept value comes back and the box is enabled.
void gf_autoRangeSwitched(bool on);

}  // namespace vdl
