// The identity of one aircraft (live or static) and the text keys built from it.
#pragma once

#include <fmt/format.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

enum class AircraftCategory : int32_t {
    Light = 0,
    Buzjets = 1,
    Large = 2,
    Heavy = 3,
    HighPerf = 4,
    Rotorcraft = 5
};

inline constexpr int32_t categoryCount = 6;

// Index into the per-category tables; callers check the range of values read from files first.
constexpr size_t gf_categoryIndex(AircraftCategory c) {
    return static_cast<size_t>(c);
}

// "Light", "Buzjets", "Large", "Heavy", "HighPerf" or "Rotorcraft"; "Unknown" outside 0..5.
std::string_view gf_categoryName(AircraftCategory c);

// Touchdown step counts per category (traffic steps to bring pitch and bank to the ground values).
inline constexpr int32_t touchdownStepsOfCategory[categoryCount] = {250, 300, 350, 450, 150, 100};

struct AcIdentity {
    std::string airl;    // ICAO airline code, may be empty
    std::string type;    // ICAO type designator
    std::string origin;  // origin airport code
    std::string dest;    // destination airport code
    std::string callsign;
    // The callsign as first seen (static aircraft: the first callsign of its stand option).
    std::string callsignCopy;
    std::string coupledCallsign;   // callsign of the same aircraft's other flight in its stand rotation
    std::string reg;               // registration
    uint64_t coupledSearched = 0;  // 1 once the coupled callsign was searched

    double halfWingspan = 0.0;  // nm

    // Per-category pitch values, radians (negative = nose up), set by the traffic manager (the
    // ground pitch below).
    double rotationPitch = 0.0;
    double climbPitch = 0.0;
    double staticPitch = 0.0;     // radians, the simulator's "Static Pitch"

    double groundAccel = 0.0;     // kt per step
    double standTaxiSpeed = 0.0;  // kt

    std::string_view title;  // matched livery title, a view into the livery catalogue; empty = none
    uint32_t hexid = 0;

    // Per-category step counts; the second is the touchdown step count.
    int32_t rotationSteps = 0;
    int32_t touchdownSteps = 0;
    int32_t flareSteps = 0;
    int32_t climbOutSteps = 0;

    uint8_t cargo = 0;
    uint8_t fsltl = 0;  // the title holds "FSLTL_"

    // Last: the values every traffic step reads, next to the aircraft record's own hot fields.
    double groundPitch = 0.0;     // radians
    double staticCgHeight = 0.0;  // ft, the simulator's "Static CG to Ground"
    double baseTurnRate = 0.0;    // radians per traffic step
    double turnRate = 0.0;        // radians per traffic step
    AircraftCategory category = AircraftCategory::Light;
};

// Builds an identity with category and half wingspan from the data base, and the touchdown step
// count of that category. The strings are moved in.
AcIdentity gf_makeAcIdentity(std::string airl, std::string type, std::string origin, std::string dest,
                             std::string callsign, std::string callsign1, std::string callsign2,
                             std::string reg, uint8_t cargo, uint32_t hexid = 0);

// "{:3} {:4}" of airline and type; any record whose airline and type are `airl` and `type`
// (AcIdentity, LiveryData, ...).
template <typename Record>
std::string gf_airlModelKey(const Record& r) {
    return fmt::format("{:3} {:4}", r.airl, r.type);
}

template <typename RecordA, typename RecordB>
bool gf_sameAirlModel(const RecordA& a, const RecordB& b) {
    return a.airl == b.airl && a.type == b.type;
}

// "{} {:8} {}": callsign padded to 8, registration, route "{:3}->{:3}" (8 blanks without one).
std::string gf_acText(const AcIdentity& ac);

// gf_acText followed by gf_airlModelKey.
std::string gf_acInfo(const AcIdentity& ac);

// "{} {} {}": callsign padded to 8, registration, gf_airlModelKey.
std::string gf_acShortInfo(const AcIdentity& ac);

// gf_airlModelKey, a blank and the registration.
std::string gf_airlModelRegKey(const AcIdentity& ac);

// The airline of an ICAO callsign: its first three characters upper-cased when it has at least
// four characters, three letters and a digit fourth; none otherwise.
std::optional<std::string> gf_airlineOfCallsign(std::string_view callsign);

// Not empty, not the placeholder of eight at-signs, at most 8 characters.
bool gf_validCallsign(std::string_view callsign);
bool gf_validCallsign(const AcIdentity& ac);

// Spelling variants of a registration in the order to try: "XX-rest" and "X-rest" (only for five
// or more characters, no '-' and not starting with 'N'), then the registration as given.
std::vector<std::string> gf_regVariants(std::string_view reg);

}  // namespace vdl
