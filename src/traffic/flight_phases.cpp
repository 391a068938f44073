#include "traffic/flight_phases.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <mutex>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "airports/stand_records.h"
#include "feed/qnh.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"
#include "traffic/stand_learning.h"
#include "traffic/stand_soft.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double nearParkAirportNm = 10.0;
constexpr double lightsAltitudeFt = 10000.0;  // the low-level light set below, the high one above
// Below this height above ground the received bank and heading steer the turn (higher on approach).
constexpr double attitudeAglFt = 1000.0;
constexpr double approachAttitudeAglFt = 2000.0;

constexpr double stepSeconds = 0.01;  // one traffic step
constexpr double settledBankRad = 1e-9;  // far below anything seen, far above rounding

// Descents: the vertical speed of a descent to the ground, steeper with a higher QNH.
constexpr int32_t standardQnh = 1013;
constexpr double qnhDescentFpmPerHpa = 6.0;
constexpr double lowDescentAglFt = 100.0;
constexpr double lowDescentFpm = -600.0;
constexpr double minDescentFpm = -601.0;
constexpr double lowClimbAglFt = 1000.0;  // low down a climb is never slower than this rate
constexpr double minLowClimbFtPerStep = 0.2;
constexpr double levelVsFpm = 100.0;  // a leg whose two vertical speeds add up to less flies level
constexpr size_t groundEpisodeSearchEnd = 10;  // airborne points ahead are looked for up to this index

// Configuration by vertical speed (ft/min) and height above ground (ft).
constexpr double descendingFpm = -250.0;
constexpr double climbingFpm = 400.0;
constexpr double climbingAwayFpm = 600.0;
constexpr double notClimbingFpm = 100.0;
constexpr double cleanAglFt = 2400.0;
constexpr double takeoffFlapsAglFt = 2000.0;

// The flare: stages by height above the standing height, each with its sink rate.
struct FlareStage {
    double aboveStandingFt;
    double altRateFtPerStep;
    double vsFpm;
};
constexpr FlareStage flareStages[] = {{30.0, -0.1, -601.0}, {20.0, -0.075, -450.0}, {10.0, -0.05, -300.0},
                                      {3.0, -0.025, -150.0}};
constexpr uint32_t flareIdleStage = 2;  // the throttle goes to idle with this stage
constexpr double flarePitchDeg = -4.0;
constexpr int32_t defaultPhaseSteps = 300;  // rotation and flare steps of a category without them

// Climb-out after the rotation: the share of the altitude rate flown by steps since the rotation
// ended (the countdown runs negative), the gear going up, and the height of the climb.
struct ClimbOutShare {
    int32_t aboveCountdown;
    double share;
};
constexpr ClimbOutShare climbOutShares[] = {{-100, 0.1}, {-200, 0.2}, {-300, 0.5}};
constexpr int32_t gearUpCountdown = -300;
constexpr double climbOutEndAglFt = 800.0;

// Landing roll: off the runway when the heading is this far from the touchdown heading; the
// slow set below this speed.
constexpr double runwayVacatedDeg = 15.0;
constexpr double slowRollKt = 90.0;

// approachWork keeps which configuration events were sent, so that each goes out once per
// phase: the light sets by altitude, gear, cabin lights and the slow landing-roll set.
enum ConfigMark : uint32_t {
    markLightsBelow10000 = 1u << 0,
    markLightsAbove10000 = 1u << 1,
    markGearDown = 1u << 2,
    markGearUp = 1u << 3,
    markCabinOn = 1u << 4,
    markCabinOff = 1u << 5,
    markSlowRollDone = 1u << 6,
};

uint32_t lf_marks(const LiveAc& ac) {
    return std::isfinite(ac.approachWork) && ac.approachWork >= 0.0 ? static_cast<uint32_t>(ac.approachWork) : 0u;
}
bool lf_marked(const LiveAc& ac, uint32_t m) { return (lf_marks(ac) & m) != 0; }
void lf_mark(LiveAc& ac, uint32_t set, uint32_t clear = 0) {
    ac.approachWork = static_cast<double>((lf_marks(ac) | set) & ~clear);
}

bool lf_heli(const LiveAc& ac) { return ac.identity.category == AircraftCategory::Rotorcraft; }

void lf_gear(LiveAc& ac, bool down) {
    if (lf_heli(ac)) return;
    const uint32_t m = down ? markGearDown : markGearUp;
    if (lf_marked(ac, m)) return;
    gf_queueClientEvent(ac.objectId, GEAR_SET, down ? 1 : 0);
    lf_mark(ac, m, down ? markGearUp : markGearDown);
}

void lf_cabin(LiveAc& ac, bool on) {
    const uint32_t m = on ? markCabinOn : markCabinOff;
    if (lf_marked(ac, m)) return;
    gf_setCabinLights(ac.objectId, on ? 1 : 0);
    lf_mark(ac, m, on ? markCabinOff : markCabinOn);
}

void lf_spoilers(const LiveAc& ac, uint32_t value) {
    if (!lf_heli(ac)) gf_queueClientEvent(ac.objectId, SPOILERS_SET, value);
}

// Spoiler handle and both throttle levers to 0 through the AI controls.
void lf_aiControlsZero(const LiveAc& ac) {
    if (ac.identity.category == AircraftCategory::Light) return;
    const double values[3] = {0.0, 0.0, 0.0};
    std::lock_guard lock(simMutex);
    if (hSimConnect == nullptr) return;
    SimConnect_SetDataOnSimObject(hSimConnect, DEF_SPOILERS_THROTTLE, ac.objectId, 0, 0, sizeof values, values);
}

// The position lies at the park airport (its stand file is loaded and the position is near).
bool lf_atParkAirport(LatLon at) {
    const MovementParkAirport& pa = movementParkAirport;
    return pa.loaded && gf_distanceNm(at, {pa.lat, pa.lon}) <= nearParkAirportNm;
}

int32_t lf_stepsOr(int32_t steps) { return steps > 0 ? steps : defaultPhaseSteps; }

// The descent of a leg: the vertical speed goes into P1 and the target, the rate per step follows.
void lf_descend(LiveAc& ac, StreamPos& p1, double vs) {
    p1.vs = vs;
    ac.targetVs = vs;
    ac.altRate = fpmToFtPerStep(vs);
}

// A climb towards P1, at most the category's best climb rate.
double lf_climbRate(const LiveAc& ac, const StreamPos& p1, double legUnits) {
    return p1.alt > ac.alt ? std::min((p1.alt - ac.alt) / legUnits, gf_maxClimbPerStep(ac)) : 0.0;
}

double lf_legUnits(const LiveAc& ac) {
    return static_cast<double>(std::max(minLegUnits, gf_unitsFrom(clock100.load(), ac.stream[1].time)));
}

// Both points airborne: climb or descend towards P1; on approach low and level, descend.
void lf_airborneLegRate(LiveAc& ac) {
    StreamPos& p0 = ac.stream[0];
    StreamPos& p1 = ac.stream[1];
    const double d = lf_legUnits(ac);
    if (!ac.approach) {
        double rate = std::min((p1.alt - ac.alt) / d, gf_maxClimbPerStep(ac));
        if (ac.aglFt <= lowClimbAglFt && rate > 0.0) rate = std::max(rate, minLowClimbFtPerStep);
        ac.altRate = rate;
    } else if (p0.alt == p1.alt && ac.aglFt <= lowClimbAglFt && p0.vs + p1.vs <= levelVsFpm) {
        lf_descend(ac, p1, descentRate(ac));
    } else {
        // On final too no climb beyond the aircraft's best (a bad altitude in the data).
        ac.altRate = std::min((p1.alt - ac.alt) / d, gf_maxClimbPerStep(ac));
    }
}

// Touchdown ahead: down to the field's elevation at the park airport, otherwise a steady
// descent until the simulator reports the ground.
void lf_touchdownLegRate(LiveAc& ac) {
    StreamPos& p1 = ac.stream[1];
    if (lf_atParkAirport({p1.lat, p1.lon}) && qnh.load() <= standardQnh) {
        ac.altRate = (movementParkAirport.elevation - ac.alt) / lf_legUnits(ac);
    } else {
        lf_descend(ac, p1, qnh.load() <= standardQnh ? minDescentFpm : descentRate(ac));
    }
    lf_gear(ac, true);
}

// Both points on the ground while airborne: a short ground episode in the data of a climbing
// aircraft is skipped; otherwise the aircraft descends to the ground.
void lf_groundLegRate(LiveAc& ac) {
    double totalVs = 0.0;
    for (const StreamPos& p : ac.stream) totalVs += p.vs;
    const bool climbing = !ac.approach && totalVs > levelVsFpm;
    if (!climbing) {
        lf_descend(ac, ac.stream[1], descentRate(ac));
        lf_gear(ac, true);
        return;
    }
    size_t found = 0;
    for (size_t i = 2; i < groundEpisodeSearchEnd && i + 1 < ac.stream.size(); ++i) {
        if (ac.stream[i].airborne) {
            found = i;
            break;
        }
    }
    if (found != 0) {
        ac.stream.erase(ac.stream.begin() + 1, ac.stream.begin() + static_cast<std::ptrdiff_t>(found));
        nextPosAir(ac);
        ac.altRate = lf_climbRate(ac, ac.stream[1], lf_legUnits(ac));
    } else {
        // Ground points ahead and no lift-off among them: the aircraft comes down to the ground,
        // it never climbs over points that say it is on the ground.
        lf_descend(ac, ac.stream[1], descentRate(ac));
    }
    lf_gear(ac, true);
}

// The altitude rate of the leg, outside the flare.
void lf_altitudeRate(LiveAc& ac) {
    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    if (p0.airborne && p1.airborne) lf_airborneLegRate(ac);
    else if (!p0.airborne && p1.airborne) ac.altRate = lf_climbRate(ac, p1, lf_legUnits(ac));
    else if (p0.airborne && !p1.airborne) lf_touchdownLegRate(ac);
    else lf_groundLegRate(ac);
}

// The pitch follows the vertical speed ahead (descents count half).
void lf_pitchRate(LiveAc& ac, double d) {
    double vs = std::clamp(ac.stream[1].vs, maxAttitudeDescentFpm, maxAttitudeClimbFpm);
    if (vs < 0.0) vs /= 2.0;
    const double target = degToRad(levelPitchDeg) - (vs / pitchVsStepFpm) * degToRad(pitchPerVsStepDeg);
    const double maxRate = degToRad(gf_flightValues(ac.identity.category).maxPitchRateDeg);
    ac.pitchRate = std::clamp((target - ac.pitch) / d, -maxRate, maxRate);
}

// Heading and bank rates: low down towards the received heading, otherwise towards the next
// leg's course (or this leg's when there is none).
void lf_turnRates(LiveAc& ac, double d) {
    const StreamPos& p1 = ac.stream[1];
    double turn = 0.0;
    const double attitudeHeight = ac.approach ? approachAttitudeAglFt : attitudeAglFt;
    if (p1.attitudeFlag && p1.bankValid && p1.headingValid && ac.aglFt < attitudeHeight) {
        turn = gf_angleDiff(ac.heading, p1.trueHeading);
    } else if (ac.stream.size() >= 3) {
        const double b = gf_bearing({p1.lat, p1.lon}, {ac.stream[2].lat, ac.stream[2].lon});
        turn = gf_angleDiff(ac.heading, b);
    } else {
        turn = gf_angleDiff(ac.heading, ac.legBearing);
    }
    ac.headingRate = turn / d;
    if (p1.bankValid) {
        const double maxBank = degToRad(gf_flightValues(ac.identity.category).maxBankDeg);
        ac.bankRate = (std::clamp(p1.bank, -maxBank, maxBank) - ac.bank) / d;
    } else {
        setBankRate(ac, turn, d);
    }
}

// Lights and configuration by altitude and height.
void lf_configByAltitude(LiveAc& ac) {
    if (ac.stream[0].alt < lightsAltitudeFt) {
        if (!lf_marked(ac, markLightsBelow10000)) {
            gf_sendLightSet(ac, lightsBelow10000);
            lf_mark(ac, markLightsBelow10000 | markCabinOn, markLightsAbove10000 | markCabinOff);
        }
        if (ac.aglFt > gf_flightValues(ac.identity.category).approachHeightFt) configAboveApproachHeight(ac);
        else configBelowApproachHeight(ac);
    } else {
        configAbove10000(ac);
    }
}

}  // namespace

const FlightCategoryValues& gf_flightValues(AircraftCategory c) {
    const auto i = static_cast<int32_t>(c);
    return flightValuesOfCategory[(i >= 0 && i < categoryCount) ? static_cast<size_t>(i) : 0];
}

void gf_setFlightValues(AcIdentity& identity) {
    const FlightCategoryValues& v = gf_flightValues(identity.category);
    identity.groundPitch = degToRad(v.groundPitchDeg);
    identity.rotationPitch = degToRad(v.rotationPitchDeg);
    identity.climbPitch = degToRad(v.climbPitchDeg);
    identity.rotationSteps = v.rotationSteps;
    identity.flareSteps = v.flareSteps;
}

double gf_maxClimbPerStep(const LiveAc& ac) { return gf_flightValues(ac.identity.category).maxClimbFtPerStep; }
double gf_standingAgl(const LiveAc& ac) { return gf_flightValues(ac.identity.category).standingAglFt; }

void gf_sendLightSet(const LiveAc& ac, const LightSet& set) {
    SimLock lock(simMutex);
    gf_pushClientEvent(lock, ac.objectId, NAV_LIGHTS_SET, set.nav);
    gf_pushClientEvent(lock, ac.objectId, BEACON_LIGHTS_SET, set.beacon);
    gf_pushClientEvent(lock, ac.objectId, LANDING_LIGHTS_SET, set.landing);
    gf_pushClientEvent(lock, ac.objectId, TAXI_LIGHTS_SET, set.taxi);
    gf_pushClientEvent(lock, ac.objectId, STROBES_SET, set.strobes);
    gf_pushClientEvent(lock, ac.objectId, LOGO_LIGHTS_SET, set.logo);
    gf_pushClientEvent(lock, ac.objectId, CABIN_LIGHTS_SET, set.cabin);
}

void gf_setThrottleLevel(LiveAc& ac, uint32_t level) {
    if (level > throttleFull || ac.throttleStep == level) return;
    gf_queueClientEvent(ac.objectId, THROTTLE_SET, throttleValues[level]);
    ac.throttleStep = level;
}

void gf_setFlapsLevel(LiveAc& ac, uint32_t level) {
    if (level > flapsLanding || ac.flapsStep == level || lf_heli(ac)) return;
    gf_queueClientEvent(ac.objectId, FLAPS_SET, flapsValues[level]);
    ac.flapsStep = level;
}

double descentRate(const LiveAc& ac) {
    if (ac.aglFt <= lowDescentAglFt) return lowDescentFpm;
    const double v0 = ac.stream.size() > 0 ? ac.stream[0].vs : 0.0;
    const double v1 = ac.stream.size() > 1 ? ac.stream[1].vs : v0;
    return std::min(minDescentFpm, (v0 + v1) / 2.0 - (qnh.load() - standardQnh) * qnhDescentFpmPerHpa);
}

void setBankRate(LiveAc& ac, double turn, double steps) {
    const FlightCategoryValues& v = gf_flightValues(ac.identity.category);
    const double maxBank = degToRad(v.maxBankDeg);
    const double maxRate = degToRad(v.maxBankRateDeg);
    // The bank of a coordinated turn at the leg's turn rate and the true airspeed.
    const double turnPerSecond = steps > 0.0 && std::isfinite(turn) ? turn / (steps * stepSeconds) : 0.0;
    const double coordinated = std::atan(turnPerSecond * ktToMps(std::fabs(ac.targetTas)) / standardGravity);
    const double target = -std::clamp(coordinated, -maxBank, maxBank);
    // Added step by step, a rate leaves the bank a few ulps short of (or past) its target, and the
    // next leg's rate to close that gap is lost in the sum: a bank that near is set on the target,
    // so a turn at the category's limit banks exactly that limit.
    if (std::fabs(target - ac.bank) <= settledBankRad) {
        ac.bank = target;
        ac.bankRate = 0.0;
        return;
    }
    const double rate = steps > 0.0 ? (target - ac.bank) / steps : 0.0;
    ac.bankRate = std::clamp(std::isfinite(rate) ? rate : 0.0, -maxRate, maxRate);
}

void setAirRates(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    if (ac.groundState != GroundState::climbOut && ac.groundState != GroundState::airborne) gf_setGroundState(ac, GroundState::airborne);
    // A new airborne leg: the slow landing-roll set is due again at the next landing.
    lf_mark(ac, 0, markSlowRollDone);
    {
        const StreamPos& p1 = ac.stream[1];
        // In the air no airspeed below the category's floor, whatever the data says.
        ac.targetTas = std::max(p1.tas > 0.0 ? p1.tas : p1.speed, gf_flightValues(ac.identity.category).airFloorKt);
        ac.targetVs = p1.vs;
    }
    if (ac.configStage == 0) lf_altitudeRate(ac);
    // The altitude rate may have dropped points: the rest follows the leg as it is now.
    const double d = lf_legUnits(ac);
    // During the flare the flare alone moves the nose.
    if (ac.groundState != GroundState::climbOut && ac.configStage == 0) lf_pitchRate(ac, d);
    lf_turnRates(ac, d);
    // A bound object still waiting for its switches gets them first.
    if (ac.state == AcState::active) lf_configByAltitude(ac);
}

void configAbove10000(LiveAc& ac) {
    if (lf_marked(ac, markLightsAbove10000)) return;
    gf_sendLightSet(ac, lightsAbove10000);
    lf_mark(ac, markLightsAbove10000 | markCabinOn, markLightsBelow10000 | markCabinOff);
    gf_setThrottleLevel(ac, lf_heli(ac) ? throttleFull : throttleClimb);
    lf_gear(ac, false);
    gf_setFlapsLevel(ac, flapsUp);
}

void configAboveApproachHeight(LiveAc& ac) {
    gf_shrinkWindows(ac);
    lf_cabin(ac, true);
    ac.takeoffRoll = false;
    ac.approach = false;
    const double v = ac.stream.empty() ? 0.0 : ac.stream[0].vs;
    const bool heli = lf_heli(ac);
    if (v <= descendingFpm && ac.throttleStep == throttleClimb)
        gf_setThrottleLevel(ac, heli ? throttleFull : throttleMedium);
    else if (v > climbingFpm && ac.throttleStep == throttleFull && !heli) gf_setThrottleLevel(ac, throttleClimb);
    if (heli) return;
    const double h = ac.aglFt;
    if (h >= cleanAglFt) {
        lf_gear(ac, false);
        gf_setFlapsLevel(ac, flapsUp);
    } else if (h >= takeoffFlapsAglFt) {
        if (v <= notClimbingFpm && ac.flapsStep == flapsUp) gf_setFlapsLevel(ac, flapsTakeoff);
    } else if (v <= notClimbingFpm) {
        if (ac.flapsStep == flapsUp) gf_setFlapsLevel(ac, flapsTakeoff);
        else if (ac.flapsStep == flapsTakeoff) gf_setFlapsLevel(ac, flapsApproach);
    }
}

void configBelowApproachHeight(LiveAc& ac) {
    lf_cabin(ac, false);
    const double v = ac.stream.empty() ? 0.0 : ac.stream[0].vs;
    const bool heli = lf_heli(ac);
    if (v > descendingFpm) {
        if (v <= climbingAwayFpm && (!ac.approach || lf_atParkAirport({ac.lat, ac.lon}))) return;
        // Climbing away, or an approach away from the park airport: a missed approach.
        if (ac.moveFlag) return;
        gf_shrinkWindows(ac);
        gf_setThrottleLevel(ac, throttleFull);
        lf_gear(ac, false);
        ac.moveFlag = true;
        ac.approach = false;
        gf_setFlapsLevel(ac, flapsUp);
        ac.configStage = 0;
        return;
    }
    if (ac.approach || !lf_atParkAirport({ac.lat, ac.lon})) return;
    gf_setThrottleLevel(ac, heli ? throttleFull : throttleLow);
    gf_setFlapsLevel(ac, flapsLanding);
    lf_gear(ac, true);
    createdFollowUps.push_back(ac.identity.hexid);
    ac.approach = true;
    ac.moveFlag = false;
    ac.standLat = 0.0;
    ac.standLon = 0.0;
    ac.standHeading = 0.0;
    ac.standId = 0;
    ac.cargoStand = false;
    gf_resetWindows(ac);
    ac.configCountdown = 1;
}

void flareStep(LiveAc& ac) {
    if (ac.configStage >= std::size(flareStages)) return;
    const FlareStage& stage = flareStages[ac.configStage];
    const double h = ac.refAltSet ? ac.alt - ac.refAlt : ac.aglFt;
    if (!(h <= gf_standingAgl(ac) + stage.aboveStandingFt)) return;
    if (ac.configStage == 0)
        ac.pitchRate = (degToRad(flarePitchDeg) - ac.pitch) / lf_stepsOr(ac.identity.flareSteps);
    if (ac.configStage == flareIdleStage) gf_setThrottleLevel(ac, throttleIdle);
    ac.altRate = stage.altRateFtPerStep;
    if (!ac.stream.empty()) ac.stream.front().vs = stage.vsFpm;
    ac.targetVs = stage.vsFpm;
    ac.vsFps = fpmToFps(stage.vsFpm);
    ++ac.configStage;
}

void gf_takeoffHandling(LiveAc& ac) {
    if (ac.takeoffRoll || ac.landingRoll) return;
    startTakeoffRoll(ac);
}

void startTakeoffRoll(LiveAc& ac) {
    if (ac.towed) gf_logError("startTakeoffRoll: towed aircraft takes-off?");
    ac.takeoffRoll = true;
    gf_setThrottleLevel(ac, throttleIdle);
    lf_spoilers(ac, spoilersRetracted);
    gf_setFlapsLevel(ac, flapsTakeoff);
    ac.approach = false;
    ac.moveFlag = false;
    ac.refAltSet = false;
    gf_sendLightSet(ac, lightsTakeoffRoll);
    lf_mark(ac, 0, markLightsBelow10000 | markLightsAbove10000 | markCabinOn | markCabinOff);
    ac.lateWindow = windowTakeoff;
    ac.earlyWindow = windowNormal;
    if (!ac.identity.airl.empty()) recordLeavingAircraft(ac, true);
}

void startRotation(LiveAc& ac) {
    const int32_t steps = lf_stepsOr(ac.identity.rotationSteps);
    ac.configCountdown = steps;
    ac.bank = 0.0;
    ac.bankRate = 0.0;
    ac.pitchRate = (ac.identity.rotationPitch - ac.pitch) / steps;
    if (!ac.takeoffRoll) startTakeoffRoll(ac);
    gf_setGroundState(ac, GroundState::climbOut);
    ac.headingRate = 0.0;
    gf_clearCurve(ac);
    if (ac.landingRoll) {
        ac.landingRoll = false;
        ac.approach = false;
        gf_setThrottleLevel(ac, throttleFull);
        lf_spoilers(ac, spoilersExtended);
        gf_setFlapsLevel(ac, flapsTakeoff);
    }
}

void climbOutStep(LiveAc& ac) {
    const int32_t c = --ac.configCountdown;
    const int32_t steps = lf_stepsOr(ac.identity.rotationSteps);
    const double rotation = ac.identity.rotationPitch;
    const double climb = ac.identity.climbPitch;
    auto moveTowards = [&](double target, double rate) {
        rate = std::fabs(rate);
        if (ac.pitch < target) ac.pitch = std::min(target, ac.pitch + rate);
        else ac.pitch = std::max(target, ac.pitch - rate);
    };
    if (c >= 1) {
        ac.onGround = false;
        moveTowards(rotation, ac.pitchRate);
        return;
    }
    ac.bank += ac.bankRate;
    moveTowards(climb, (climb - rotation) / steps);
    if (c == gearUpCountdown) lf_gear(ac, false);
    double share = 1.0;
    for (const ClimbOutShare& s : climbOutShares) {
        if (c > s.aboveCountdown) {
            share = s.share;
            break;
        }
    }
    ac.alt += ac.altRate * share;
    if (c < gearUpCountdown && ac.pitch == climb) {
        ac.pitchRate = 0.0;
        if (ac.aglFt >= climbOutEndAglFt) {
            gf_setThrottleLevel(ac, lf_heli(ac) ? throttleFull : throttleClimb);
            gf_setGroundState(ac, GroundState::airborne);
            ac.configCountdown = 1;
        }
    }
}

void landingRollRates(LiveAc& ac) {
    const bool heli = lf_heli(ac);
    if (std::fabs(gf_angleDiff(ac.touchdownHeading, ac.heading)) >= degToRad(runwayVacatedDeg)) {
        gf_setFlapsLevel(ac, flapsUp);
        ac.landingRoll = false;
        ac.touchdownHeading = 0.0;
        gf_setThrottleLevel(ac, heli ? throttleFull : throttleIdle);
        lf_spoilers(ac, spoilersRetracted);
        lf_aiControlsZero(ac);
        gf_sendLightSet(ac, lightsRunwayVacated);
        return;
    }
    if (ac.stream.empty() || ac.stream[0].speed > slowRollKt || lf_marked(ac, markSlowRollDone)) return;
    lf_spoilers(ac, spoilersRetracted);
    lf_aiControlsZero(ac);
    gf_setFlapsLevel(ac, flapsTakeoff);
    lf_mark(ac, markSlowRollDone);
}

void learnCargoStand(LiveAc& ac) {
    if (!ac.identity.cargo) return;
    ParkPos* stand = gf_findStandById(ac.standId);
    if (stand == nullptr || stand->cargo) return;
    stand->cargo = 1;
    stand->cargoChange = 1;
    // The aircraft's copy of the flag decides its learning, leaving and cabin light.
    ac.cargoStand = true;
    gf_countStandChange();
    gf_log(fmt::format("{} stand: {}, cargo attribute set to true, {} parked here", movementParkAirport.icao,
                       stand->name, gf_acText(ac.identity)));
}

}  // namespace vdl
