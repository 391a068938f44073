#include "traffic/records.h"

#include <chrono>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "foundation/parameters.h"
#include "foundation/units.h"
#include "traffic/flight_tables.h"

namespace vdl {

void gf_setCategoryValues(AcIdentity& identity) {
    const auto c = static_cast<int32_t>(identity.category);
    if (c < 0 || c >= categoryCount) throw std::invalid_argument(fmt::format("aircraft category {} out of range", c));
    const auto i = static_cast<size_t>(c);
    identity.baseTurnRate = degToRad(baseTurnRateDegOfCategory[i]);
    identity.turnRate = identity.baseTurnRate;
    identity.groundAccel = groundAccelOfCategory[i];
    identity.standTaxiSpeed = standTaxiSpeedOfCategory[i];
    gf_setFlightValues(identity);
}

uint64_t gf_steadyTicks() {
    if (const uint64_t set = steadyTicksOverride.load(std::memory_order_relaxed)) return set;
    using Ticks = std::chrono::duration<uint64_t, std::ratio<1, steadyTicksPerSecond>>;
    return std::chrono::duration_cast<Ticks>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

AiAircraft::AiAircraft(AcIdentity&& id, uint32_t stand, double lat, double lon, double heading, bool cargo)
    : standLat(lat), standLon(lon), standHeading(heading), standId(stand), identity(std::move(id)), cargoStand(cargo) {}

LiveAc::LiveAc(const StreamPos& first, AcIdentity&& id, double sampleTime)
    : AiAircraft(std::move(id), 0, 0.0, 0.0, 0.0, false), lastSampleTime(sampleTime) {
    stream.push_back(first);
}

bool gf_categoryEnabled(AircraftCategory c) {
    switch (c) {
        case AircraftCategory::Light: return LIGHT_AIRCRAFT.value();
        case AircraftCategory::HighPerf: return HIGH_PERF_AIRCRAFT.value();
        case AircraftCategory::Rotorcraft: return HELICOPTERS.value();
        case AircraftCategory::Buzjets:
        case AircraftCategory::Large:
        case AircraftCategory::Heavy: return true;
    }
    return false;
}

}  // namespace vdl
