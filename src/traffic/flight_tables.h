// Per-category values of the flight phases, beside the ground tables of records.h.
// Categories in order: Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft.
#pragma once

#include <cstdint>

#include "refdata/identity.h"
#include "traffic/traffic_clock.h"

namespace vdl {

// Attitudes are on the simulator's scale: degrees here, negative = nose up.
//  - ground pitch: standing attitude on the gear; tricycle jets sit about half a degree nose down
//    in the simulator's convention, light aircraft and helicopters level.
//  - rotation pitch: the attitude held at lift-off (light singles ~8 deg, business jets ~10,
//    narrow-bodies ~8, wide-bodies ~7, fighters and trainers ~12, helicopters nose down a little).
//  - climb pitch: initial climb attitude after lift-off (light 7, business jets 12, narrow-bodies
//    15, wide-bodies 13, high performance 18, helicopters 5).
//  - rotation steps: traffic steps (10 ms) of the rotation; about 3 deg per second.
//  - flare steps: traffic steps over which the flare raises the nose to 4 deg; 3 to 6 s.
//  - max climb ft per step: the best rate of climb per traffic step (700, 3500, 3000, 2500,
//    6000 and 1000 ft/min).
//  - standing height ft: height above ground the simulator reports for an aircraft on its gear.
//  - air floor kt: no airspeed and no ground speed in the air below it (well under the approach
//    speeds: 40 light singles, 90 business jets and narrow-bodies, 100 wide-bodies, 90 fighters
//    and trainers; helicopters hover).
//  - ground accel and brake kt/s: the most speed gained and lost per second on the ground, the
//    take-off roll and the landing's braking included (jets about 2.5 m/s2 accelerating, 4 m/s2
//    braking hard; light aircraft a little less).
struct FlightCategoryValues {
    double groundPitchDeg;
    double rotationPitchDeg;
    double climbPitchDeg;
    int32_t rotationSteps;
    int32_t flareSteps;
    double maxClimbFtPerStep;
    double standingAglFt;
    // Banks and attitude rates, degrees and degrees per traffic step.
    double maxBankDeg;
    double maxBankRateDeg;
    double maxPitchRateDeg;
    double rotationSpeedKt;  // the points ahead must reach it before a rotation starts
    double approachHeightFt;  // above it the aircraft flies "above approach height"
    double airFloorKt;
    double groundAccelKtPerS;
    double groundBrakeKtPerS;
};

inline constexpr FlightCategoryValues flightValuesOfCategory[categoryCount] = {
    // ground  rot    climb  rotSt flareSt maxClimb       stand  bank  bankRate pitchRate vR   appr  floor accel brake
    {0.0, -8.0, -7.0, 250, 300, fpmToFtPerStep(700.0), 4.0, 40.0, 0.035, 0.01, 90.0, 625.0, 40.0, 4.0, 6.0},       // Light
    {0.5, -10.0, -12.0, 300, 400, fpmToFtPerStep(3500.0), 6.0, 35.0, 0.0275, 0.0085, 110.0, 2050.0, 90.0, 5.0, 8.0}, // Buzjets
    {0.6, -8.0, -15.0, 300, 500, fpmToFtPerStep(3000.0), 10.0, 30.0, 0.02, 0.0075, 140.0, 2050.0, 90.0, 5.0, 8.0},  // Large
    {0.6, -7.0, -13.0, 350, 600, fpmToFtPerStep(2500.0), 15.0, 20.0, 0.015, 0.005, 150.0, 2050.0, 100.0, 4.5, 7.0},  // Heavy
    {0.5, -12.0, -18.0, 200, 300, fpmToFtPerStep(6000.0), 6.0, 90.0, 0.1, 0.03, 220.0, 625.0, 90.0, 8.0, 10.0},      // HighPerf
    {0.0, 5.0, 5.0, 200, 300, fpmToFtPerStep(1000.0), 5.0, 75.0, 0.06, 0.03, 0.0, 625.0, 0.0, 5.0, 5.0},           // Rotorcraft
};

// The airborne attitude by vertical speed: level flight 3 deg nose up, 2.2 deg more per 600 ft/min
// of climb, within the climb and descent limits (descents count half).
inline constexpr double levelPitchDeg = -3.0;
inline constexpr double pitchPerVsStepDeg = 2.2;
inline constexpr double pitchVsStepFpm = 600.0;
inline constexpr double maxAttitudeClimbFpm = 2400.0;
inline constexpr double maxAttitudeDescentFpm = -3000.0;

// The table row of a category; Light for a value outside 0..5.
const FlightCategoryValues& gf_flightValues(AircraftCategory c);

// Copies ground, rotation and climb pitch (radians) and the rotation and flare step counts of
// the identity's category into the identity.
void gf_setFlightValues(AcIdentity& identity);

}  // namespace vdl
