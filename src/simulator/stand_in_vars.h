#pragma once
// The simulation variables the stand-in knows: their names, units and values, and the data
// blocks a client's data definition lays out.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "simlink/sim_layer.h"
#include "simulator/stand_in_types.h"
#include "simulator/stand_in_world.h"

namespace vdl {

// Dimensions of the simulation variables; each has one canonical unit: radians, feet, feet per
// second, percent, plain numbers, seconds.
enum class SimVarDim { Angle, Length, Speed, Percent, Plain, Time, Text };

enum class SimVar {
    Latitude,
    Longitude,
    Altitude,
    Pitch,
    Bank,
    Heading,
    VerticalSpeed,
    TrueAirspeed,
    GroundVelocity,
    OnGround,
    GroundAltitude,
    AltAboveGround,
    StaticCg,
    StaticPitch,
    SpoilersHandle,
    Throttle1,
    Throttle2,
    LightNav,
    LightBeacon,
    LightLanding,
    LightTaxi,
    LightStrobe,
    LightLogo,
    LightCabin,
    ZuluTime,
    ZuluDay,
    ZuluMonth,
    ZuluYear,
    AtcId,
    Title,
    Count
};

struct SimVarSpec {
    std::string_view name;  // as the simulator spells it, upper case
    SimVarDim dim;
    bool settable;
};

const SimVarSpec& gf_simVarSpec(SimVar var);
// Names are matched without regard to case.
std::optional<SimVar> gf_findSimVar(std::string_view name);
// Factor from the dimension's canonical unit to the named unit; none when the unit is unknown.
std::optional<double> gf_simVarUnitScale(SimVarDim dim, std::string_view unitsName);

// One datum of a client's data definition.
struct SimDatum {
    std::string name;
    std::string units;
    SimDataType type = SimDataType::Float64;
    SimVar var = SimVar::Latitude;
    double scale = 1;  // canonical value x scale = value in the datum's units
};
using SimDefinition = std::vector<SimDatum>;

// What a variable's value depends on beside the object.
struct SimVarContext {
    const StandInWorld& world;
    double utcSeconds = 0.0;  // since the epoch
};

// In the canonical unit; 0 for a text variable.
double gf_simVarValue(const StandInObject& o, SimVar var, const SimVarContext& context);
// Empty for a variable that is not text.
std::string gf_simVarText(const StandInObject& o, SimVar var);

// The object's data block as the definition lays it out.
std::vector<std::byte> gf_encodeSimData(const SimDefinition& definition, const StandInObject& o,
                                        const SimVarContext& context);
// The values of a data block in their canonical units, in the definition's order; none when a
// datum of the definition cannot be set. The block must hold the whole definition.
std::optional<std::vector<std::pair<SimVar, double>>> gf_decodeSimData(const SimDefinition& definition,
                                                                       const std::vector<std::byte>& block);
// Sets a settable variable from its canonical value; true when that moved the object.
bool gf_setSimVar(StandInObject& o, SimVar var, double value);

}  // namespace vdl
