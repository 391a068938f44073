#include "simlink/sim_guard.h"

#include <fmt/format.h>

#include <cmath>
#include <numbers>

#include "foundation/errors.h"
#include "foundation/log.h"

namespace vdl {

namespace {

constexpr double halfPi = std::numbers::pi / 2.0;
constexpr double twoPi = 2.0 * std::numbers::pi;

// Collects the first value outside its range (or not finite).
class Checker {
public:
    Checker& check(std::string_view name, double value, double lo, double hi) {
        if (fault_.empty() && !(std::isfinite(value) && value >= lo && value <= hi)) {
            fault_ = fmt::format("{} {}", name, value);
        }
        return *this;
    }
    Checker& position(double latitude, double longitude, double altitude) {
        return check("latitude", latitude, -90.0, 90.0)
            .check("longitude", longitude, -180.0, 180.0)
            .check("altitude", altitude, simMinAltitudeFt, simMaxAltitudeFt);
    }
    std::string fault() const { return fault_; }

private:
    std::string fault_;
};

}  // namespace

std::string gf_unsoundValue(const SimInitPosition& p) {
    return Checker()
        .position(p.latitude, p.longitude, p.altitude)
        .check("pitch", p.pitch, -90.0, 90.0)
        .check("bank", p.bank, -90.0, 90.0)
        .check("heading", p.heading, -360.0, 360.0)
        .check("airspeed", p.airspeed, 0.0, simMaxSpeedKt)
        .fault();
}

std::string gf_unsoundValue(const PositionUpdate& p) {
    return Checker()
        .position(p.latitude, p.longitude, p.altitude)
        .check("pitch", p.pitch, -halfPi, halfPi)
        .check("bank", p.bank, -halfPi, halfPi)
        .check("heading", p.heading, -twoPi, twoPi)
        // The movement code may hand a slightly negative speed while it slows down (a few kt).
        .check("true airspeed", p.trueAirspeed, -simMaxSpeedKt, simMaxSpeedKt)
        .check("vertical speed", p.verticalSpeed, -HUGE_VAL, HUGE_VAL)
        .fault();
}

std::string gf_unsoundValue(const FlightPlanData& plan) {
    Checker c;
    c.check("cruising altitude", plan.cruisingAltitude, simMinAltitudeFt, simMaxAltitudeFt);
    for (const FlightPlanAirport* a : {&plan.departure, &plan.destination}) {
        if (a->positionKnown) c.position(a->latitude, a->longitude, a->elevation);
    }
    return c.fault();
}

void gf_dropUnsound(std::string_view fault, std::string_view what) {
    static LogLimiter limiter("unsound value towards the simulator");
    const std::string line = fmt::format("{} dropped: {}", what, fault);
    limiter.logError(line);
    gf_reportProgramFault(line);
}

}  // namespace vdl
