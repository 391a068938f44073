// Flight phases and the aircraft's configuration: rates in the air, lights, flaps, gear,
// spoilers and throttle by phase, take-off roll, rotation, climb-out, flare and landing roll.
#pragma once

#include <cstdint>

#include "traffic/records.h"

namespace vdl {

// Two ground records at this speed or more show a take-off roll.
inline constexpr double takeoffRollSpeedKt = 43.0;

// Light sets, in the order NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN.
struct LightSet {
    uint8_t nav, beacon, landing, taxi, strobes, logo, cabin;
};
inline constexpr LightSet lightsBelow10000{1, 1, 1, 1, 1, 1, 1};
inline constexpr LightSet lightsAbove10000{1, 1, 0, 0, 0, 0, 1};
inline constexpr LightSet lightsTakeoffRoll{1, 1, 1, 1, 1, 1, 0};
inline constexpr LightSet lightsTaxiOut{1, 1, 0, 1, 0, 1, 0};  // pull-out and pushback
inline constexpr LightSet lightsRunwayVacated{1, 1, 0, 1, 0, 1, 1};

// Sends the set as one group under simMutex.
void gf_sendLightSet(const LiveAc& ac, const LightSet& set);
// THROTTLE_SET and FLAPS_SET by level, only when the level changes.
void gf_setThrottleLevel(LiveAc& ac, uint32_t level);
void gf_setFlapsLevel(LiveAc& ac, uint32_t level);

void setAirRates(LiveAc& ac);
void setBankRate(LiveAc& ac, double turn, double steps);
double descentRate(const LiveAc& ac);

// The take-off handling: the intake calls it when the records show a take-off roll (two ground
// points at 43 kt or more, or an airborne point, while taxiing). A landing roll is not a take-off
// roll: it starts nothing then.
void gf_takeoffHandling(LiveAc& ac);
void startTakeoffRoll(LiveAc& ac);
void startRotation(LiveAc& ac);
void climbOutStep(LiveAc& ac);
void flareStep(LiveAc& ac);
void landingRollRates(LiveAc& ac);

void configAbove10000(LiveAc& ac);
void configAboveApproachHeight(LiveAc& ac);
void configBelowApproachHeight(LiveAc& ac);

void learnCargoStand(LiveAc& ac);

// The highest climb per traffic step and the standing height above ground of the category.
double gf_maxClimbPerStep(const LiveAc& ac);
double gf_standingAgl(const LiveAc& ac);

}  // namespace vdl
