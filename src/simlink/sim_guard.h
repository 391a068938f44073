// The last check on values leaving for the simulator: whatever passes the feed's intake, the
// traffic manager must never hand the simulator a value no aircraft can have.
#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <string_view>

#include "simlink/flight_plan.h"
#include "simlink/sim_types.h"

namespace vdl {

inline constexpr double simMinAltitudeFt = -2000.0;
inline constexpr double simMaxAltitudeFt = 100000.0;
inline constexpr double simMaxSpeedKt = 2000.0;

// The name and value of the first unsound value, "" when all are sound.
std::string gf_unsoundValue(const SimInitPosition& position);
std::string gf_unsoundValue(const PositionUpdate& position);
std::string gf_unsoundValue(const FlightPlanData& plan);

// Logs a rate-limited error line "{what} dropped: {fault}" and reports a program fault.
void gf_dropUnsound(std::string_view fault, std::string_view what);

// True when all values are sound; otherwise gf_dropUnsound with `what()` naming the command,
// which the caller then drops.
template <class T, class What>
bool gf_passesSimGuard(const T& values, What what) {
    const std::string fault = gf_unsoundValue(values);
    if (fault.empty()) return true;
    gf_dropUnsound(fault, what());
    return false;
}

// The ranges gf_unsoundValue checks a position against, without its text: every aircraft's
// position passes here every step.
inline bool gf_soundPosition(const PositionUpdate& p) {
    constexpr double halfPi = std::numbers::pi / 2.0;
    constexpr double twoPi = 2.0 * std::numbers::pi;
    const auto within = [](double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; };
    return within(p.latitude, -90.0, 90.0) && within(p.longitude, -180.0, 180.0) &&
           within(p.altitude, simMinAltitudeFt, simMaxAltitudeFt) && within(p.pitch, -halfPi, halfPi) &&
           within(p.bank, -halfPi, halfPi) && within(p.heading, -twoPi, twoPi) &&
           within(p.trueAirspeed, -simMaxSpeedKt, simMaxSpeedKt) && std::isfinite(p.verticalSpeed);
}

template <class What>
bool gf_passesSimGuard(const PositionUpdate& values, What what) {
    if (gf_soundPosition(values)) return true;
    gf_dropUnsound(gf_unsoundValue(values), what());
    return false;
}

}  // namespace vdl
