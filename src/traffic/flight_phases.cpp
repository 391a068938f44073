#include "traffic/flight_phases.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "feed/qnh.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "simlink/sim_link.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

constexpr double radPerDeg = pi / 180.0;
constexpr double nearParkAirportNm = 10.0;

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

void lf_shrinkWindows(LiveAc& ac) {
    if (ac.earlyWindow > baseWindow) ac.earlyWindow = std::max(baseWindow, ac.earlyWindow - 100);
    if (ac.lateWindow > baseWindow) ac.lateWindow = std::max(baseWindow, ac.lateWindow - 100);
}

bool lf_nearParkAirport(const LiveAc& ac) {
    const MovementParkAirport& pa = movementParkAirport;
    return pa.loaded && gf_distanceNm({ac.lat, ac.lon}, {pa.lat, pa.lon}) <= nearParkAirportNm;
}

// The touchdown point lies at the park airport (its stand file is loaded and the point is near).
bool lf_touchdownAtParkAirport(const StreamPos& p) {
    const MovementParkAirport& pa = movementParkAirport;
    return pa.loaded && gf_distanceNm({p.lat, p.lon}, {pa.lat, pa.lon}) <= nearParkAirportNm;
}

double lf_rad(double deg) { return deg * radPerDeg; }

// The descent of a leg: the vertical speed goes into P1 and the target, the rate per step follows.
void lf_descend(LiveAc& ac, StreamPos& p1, double vs) {
    p1.vs = vs;
    ac.targetVs = vs;
    ac.altRate = vs / 6000.0;
}

}  // namespace

const FlightCategoryValues& gf_flightValues(AircraftCategory c) {
    const auto i = static_cast<int32_t>(c);
    return flightValuesOfCategory[(i >= 0 && i < categoryCount) ? static_cast<size_t>(i) : 0];
}

void gf_setFlightValues(AcIdentity& identity) {
    const FlightCategoryValues& v = gf_flightValues(identity.category);
    identity.groundPitch = lf_rad(v.groundPitchDeg);
    identity.rotationPitch = lf_rad(v.rotationPitchDeg);
    identity.climbPitch = lf_rad(v.climbPitchDeg);
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
    if (level > 4 || ac.throttleStep == level) return;
    gf_queueClientEvent(ac.objectId, THROTTLE_SET, throttleValues[level]);
    ac.throttleStep = level;
}

void gf_setFlapsLevel(LiveAc& ac, uint32_t level) {
    if (level > 3 || ac.flapsStep == level || lf_heli(ac)) return;
    gf_queueClientEvent(ac.objectId, FLAPS_SET, flapsValues[level]);
    ac.flapsStep = level;
}

double descentRate(const LiveAc& ac) {
    if (ac.aglFt <= 100.0) return -600.0;
    const double v0 = ac.stream.size() > 0 ? ac.stream[0].vs : 0.0;
    const double v1 = ac.stream.size() > 1 ? ac.stream[1].vs : v0;
    return std::min(-601.0, (v0 + v1) / 2.0 - (qnh.load() - 1013) * 6.0);
}

void setBankRate(LiveAc& ac, double turn, double steps) {
    const FlightCategoryValues& v = gf_flightValues(ac.identity.category);
    const double maxBank = lf_rad(v.maxBankDeg);
    const double maxRate = lf_rad(v.maxBankRateDeg);
    const double target = -std::clamp(std::isfinite(turn) ? turn : 0.0, -maxBank, maxBank);
    const double rate = steps > 0.0 ? (target - ac.bank) / steps : 0.0;
    ac.bankRate = std::clamp(std::isfinite(rate) ? rate : 0.0, -maxRate, maxRate);
}

void setAirRates(LiveAc& ac) {
    if (ac.stream.size() < 2) return;
    const uint32_t clock = clock100.load();
    const FlightCategoryValues& cat = gf_flightValues(ac.identity.category);
    const bool heli = lf_heli(ac);
    if (ac.groundState != gsClimbOut && ac.groundState != gsAirborne) gf_setGroundState(ac, gsAirborne);
    // A new airborne leg: the slow landing-roll set is due again at the next landing.
    lf_mark(ac, 0, markSlowRollDone);
    {
        const StreamPos& p1 = ac.stream[1];
        ac.targetTas = p1.tas > 0.0 ? p1.tas : p1.speed;
        ac.targetVs = p1.vs;
    }
    auto legUnits = [&] { return static_cast<double>(std::max(minLegUnits, gf_unitsFrom(clock, ac.stream[1].time))); };
    const double maxClimb = cat.maxClimbFtPerStep;

    if (ac.configStage == 0) {
        StreamPos& p0 = ac.stream[0];
        StreamPos& p1 = ac.stream[1];
        const double d = legUnits();
        if (p0.airborne && p1.airborne) {
            if (!ac.approach) {
                double rate = std::min((p1.alt - ac.alt) / d, maxClimb);
                // Low down a climb is never slower than 0.2 ft per step.
                if (ac.aglFt <= 1000.0 && rate > 0.0) rate = std::max(rate, 0.2);
                ac.altRate = rate;
            } else if (p0.alt == p1.alt && ac.aglFt <= 1000.0 && p0.vs + p1.vs <= 100.0) {
                lf_descend(ac, p1, descentRate(ac));
            } else {
                ac.altRate = (p1.alt - ac.alt) / d;
            }
        } else if (!p0.airborne && p1.airborne) {
            ac.altRate = p1.alt > ac.alt ? std::min((p1.alt - ac.alt) / d, maxClimb) : 0.0;
        } else if (p0.airborne && !p1.airborne) {
            // Touchdown ahead: down to the field's elevation at the park airport, otherwise a
            // steady descent until the simulator reports the ground.
            if (lf_touchdownAtParkAirport(p1) && qnh.load() <= 1013) {
                ac.altRate = (movementParkAirport.elevation - ac.alt) / d;
            } else {
                lf_descend(ac, p1, qnh.load() < 1014 ? -601.0 : descentRate(ac));
            }
            lf_gear(ac, true);
        } else {
            double totalVs = 0.0;
            for (const StreamPos& p : ac.stream) totalVs += p.vs;
            if (!ac.approach && totalVs > 100.0) {
                size_t found = 0;
                for (size_t i = 2; i < 10 && i + 1 < ac.stream.size(); ++i) {
                    if (ac.stream[i].airborne) {
                        found = i;
                        break;
                    }
                }
                if (found != 0) {
                    // A short ground episode in the data of a climbing aircraft: skip it.
                    ac.stream.erase(ac.stream.begin() + 1, ac.stream.begin() + static_cast<std::ptrdiff_t>(found));
                    nextPosAir(ac);
                    StreamPos& n1 = ac.stream[1];
                    const double dn = legUnits();
                    ac.altRate = n1.alt > ac.alt ? std::min((n1.alt - ac.alt) / dn, maxClimb) : 0.0;
                } else {
                    StreamPos& q1 = ac.stream[1];
                    lf_descend(ac, q1, std::max(q1.vs, 601.0));
                }
                lf_gear(ac, true);
            } else {
                lf_descend(ac, ac.stream[1], descentRate(ac));
                lf_gear(ac, true);
            }
        }
    }

    const StreamPos& p0 = ac.stream[0];
    const StreamPos& p1 = ac.stream[1];
    const double d = legUnits();
    // During the flare the flare alone moves the nose.
    if (ac.groundState != gsClimbOut && ac.configStage == 0) {
        double vs = std::clamp(p1.vs, -3000.0, 2400.0);
        if (vs < 0.0) vs /= 2.0;
        const double target = lf_rad(-3.0) - (vs / 600.0) * lf_rad(2.2);
        const double maxRate = lf_rad(cat.maxPitchRateDeg);
        ac.pitchRate = std::clamp((target - ac.pitch) / d, -maxRate, maxRate);
    }

    double turn = 0.0;
    const double attitudeHeight = ac.approach ? 2000.0 : 1000.0;
    if (p1.attitudeFlag && p1.bankValid && p1.headingValid && ac.aglFt < attitudeHeight) {
        turn = gf_angleDiff(ac.heading, p1.trueHeading);
    } else if (ac.stream.size() >= 3) {
        const double b = gf_bearing({p1.lat, p1.lon}, {ac.stream[2].lat, ac.stream[2].lon});
        turn = gf_angleDiff(ac.heading, b);
    } else {
        // No leg beyond this one: the heading settles on this leg's course.
        turn = gf_angleDiff(ac.heading, ac.legBearing);
    }
    ac.headingRate = turn / d;
    if (p1.bankValid) {
        const double maxBank = lf_rad(cat.maxBankDeg);
        ac.bankRate = (std::clamp(p1.bank, -maxBank, maxBank) - ac.bank) / d;
    } else {
        setBankRate(ac, turn, d);
    }

    if (p0.alt < 10000.0) {
        if (!lf_marked(ac, markLightsBelow10000)) {
            gf_sendLightSet(ac, lightsBelow10000);
            lf_mark(ac, markLightsBelow10000 | markCabinOn, markLightsAbove10000 | markCabinOff);
        }
        const bool bigJet = ac.identity.category == AircraftCategory::Buzjets ||
                            ac.identity.category == AircraftCategory::Large ||
                            ac.identity.category == AircraftCategory::Heavy;
        if (ac.aglFt > (bigJet ? 2050.0 : 625.0)) configAboveApproachHeight(ac);
        else configBelowApproachHeight(ac);
    } else {
        configAbove10000(ac);
    }
    (void)heli;
}

void configAbove10000(LiveAc& ac) {
    if (lf_marked(ac, markLightsAbove10000)) return;
    gf_sendLightSet(ac, lightsAbove10000);
    lf_mark(ac, markLightsAbove10000 | markCabinOn, markLightsBelow10000 | markCabinOff);
    gf_setThrottleLevel(ac, lf_heli(ac) ? 4 : 3);
    lf_gear(ac, false);
    gf_setFlapsLevel(ac, 0);
}

void configAboveApproachHeight(LiveAc& ac) {
    lf_shrinkWindows(ac);
    lf_cabin(ac, true);
    ac.takeoffRoll = 0;
    ac.approach = 0;
    const double v = ac.stream.empty() ? 0.0 : ac.stream[0].vs;
    const bool heli = lf_heli(ac);
    if (v <= -250.0 && ac.throttleStep == 3) gf_setThrottleLevel(ac, heli ? 4 : 2);
    else if (v > 400.0 && ac.throttleStep == 4 && !heli) gf_setThrottleLevel(ac, 3);
    if (heli) return;
    const double h = ac.aglFt;
    if (h >= 2400.0) {
        lf_gear(ac, false);
        gf_setFlapsLevel(ac, 0);
    } else if (h >= 2000.0) {
        if (v <= 100.0 && ac.flapsStep == 0) gf_setFlapsLevel(ac, 1);
    } else if (v <= 100.0) {
        if (ac.flapsStep == 0) gf_setFlapsLevel(ac, 1);
        else if (ac.flapsStep == 1) gf_setFlapsLevel(ac, 2);
    }
}

void configBelowApproachHeight(LiveAc& ac) {
    lf_cabin(ac, false);
    const double v = ac.stream.empty() ? 0.0 : ac.stream[0].vs;
    const bool heli = lf_heli(ac);
    if (v > -250.0) {
        if (v <= 600.0 && !ac.approach) return;
        if (v <= 600.0 && ac.approach && lf_nearParkAirport(ac)) return;
        // Climbing away, or an approach away from the park airport: a missed approach.
        if (ac.moveFlag) return;
        lf_shrinkWindows(ac);
        gf_setThrottleLevel(ac, 4);
        lf_gear(ac, false);
        ac.moveFlag = 1;
        ac.approach = 0;
        gf_setFlapsLevel(ac, 0);
        ac.configStage = 0;
        return;
    }
    if (ac.approach || !lf_nearParkAirport(ac)) return;
    gf_setThrottleLevel(ac, heli ? 4 : 1);
    gf_setFlapsLevel(ac, 3);
    lf_gear(ac, true);
    createdFollowUps.push_back(ac.identity.hexid);
    ac.approach = 1;
    ac.moveFlag = 0;
    ac.standLat = 0.0;
    ac.standLon = 0.0;
    ac.standHeading = 0.0;
    ac.standId = 0;
    ac.cargoStand = 0;
    ac.lateWindow = ac.takeoffRoll ? 5000 : 3000;
    ac.earlyWindow = 3000;
    ac.configCountdown = 1;
}

void flareStep(LiveAc& ac) {
    const double h = ac.refAltSet ? ac.alt - ac.refAlt : ac.aglFt;
    const double g = gf_standingAgl(ac);
    StreamPos* p0 = ac.stream.empty() ? nullptr : &ac.stream.front();
    auto setVs = [&](double vs) {
        if (p0 != nullptr) p0->vs = vs;
        ac.targetVs = vs;
        ac.vsFps = vs / 60.0;
    };
    switch (ac.configStage) {
        case 0:
            if (h <= g + 30.0) {
                const int32_t steps = ac.identity.flareSteps > 0 ? ac.identity.flareSteps : 300;
                ac.pitchRate = (lf_rad(-4.0) - ac.pitch) / steps;
                ac.altRate = -0.1;
                setVs(-601.0);
                ac.configStage = 1;
            }
            break;
        case 1:
            if (h <= g + 20.0) {
                ac.altRate = -0.075;
                setVs(-450.0);
                ac.configStage = 2;
            }
            break;
        case 2:
            if (h <= g + 10.0) {
                gf_setThrottleLevel(ac, 0);
                ac.altRate = -0.05;
                setVs(-300.0);
                ac.configStage = 3;
            }
            break;
        case 3:
            if (h <= g + 3.0) {
                ac.altRate = -0.025;
                setVs(-150.0);
                ac.configStage = 4;
            }
            break;
        default: break;
    }
}

void gf_takeoffHandling(LiveAc& ac) {
    if (ac.takeoffRoll || ac.landingRoll) return;
    startTakeoffRoll(ac);
}

void startTakeoffRoll(LiveAc& ac) {
    if (ac.towed) gf_logError("towed aircraft takes-off?");
    ac.takeoffRoll = 1;
    gf_setThrottleLevel(ac, 0);
    lf_spoilers(ac, 0);
    gf_setFlapsLevel(ac, 1);
    ac.approach = 0;
    ac.moveFlag = 0;
    ac.refAltSet = 0;
    gf_sendLightSet(ac, lightsTakeoffRoll);
    lf_mark(ac, 0, markLightsBelow10000 | markLightsAbove10000 | markCabinOn | markCabinOff);
    ac.lateWindow = 5000;
    ac.earlyWindow = 3000;
    // The soft stand option of a leaving aircraft (with an airline) is recorded here by the
    // stand-options issue.
}

void startRotation(LiveAc& ac) {
    const int32_t steps = ac.identity.rotationSteps > 0 ? ac.identity.rotationSteps : 300;
    ac.configCountdown = steps;
    ac.bank = 0.0;
    ac.bankRate = 0.0;
    ac.pitchRate = (ac.identity.rotationPitch - ac.pitch) / steps;
    if (!ac.takeoffRoll) startTakeoffRoll(ac);
    gf_setGroundState(ac, gsClimbOut);
    ac.headingRate = 0.0;
    gf_clearCurve(ac);
    if (ac.landingRoll) {
        ac.landingRoll = 0;
        ac.approach = 0;
        gf_setThrottleLevel(ac, 4);
        lf_spoilers(ac, 16383);
        gf_setFlapsLevel(ac, 1);
    }
}

void climbOutStep(LiveAc& ac) {
    const int32_t c = --ac.configCountdown;
    const int32_t steps = ac.identity.rotationSteps > 0 ? ac.identity.rotationSteps : 300;
    const double rotation = ac.identity.rotationPitch;
    const double climb = ac.identity.climbPitch;
    auto moveTowards = [&](double target, double rate) {
        rate = std::fabs(rate);
        if (ac.pitch < target) ac.pitch = std::min(target, ac.pitch + rate);
        else ac.pitch = std::max(target, ac.pitch - rate);
    };
    if (c >= 1) {
        ac.onGround = 0;
        moveTowards(rotation, ac.pitchRate);
        return;
    }
    ac.bank += ac.bankRate;
    moveTowards(climb, (climb - rotation) / steps);
    if (c == -300) lf_gear(ac, false);
    double part = 1.0;
    if (c > -100) part = 0.1;
    else if (c > -200) part = 0.2;
    else if (c > -300) part = 0.5;
    ac.alt += ac.altRate * part;
    if (c < -300 && ac.pitch == climb) {
        ac.pitchRate = 0.0;
        if (ac.aglFt >= 800.0) {
            gf_setThrottleLevel(ac, lf_heli(ac) ? 4 : 3);
            gf_setGroundState(ac, gsAirborne);
            ac.configCountdown = 1;
        }
    }
}

void landingRollRates(LiveAc& ac) {
    const bool heli = lf_heli(ac);
    if (std::fabs(gf_angleDiff(ac.touchdownHeading, ac.heading)) >= lf_rad(15.0)) {
        gf_setFlapsLevel(ac, 0);
        ac.landingRoll = 0;
        ac.touchdownHeading = 0.0;
        gf_setThrottleLevel(ac, heli ? 4 : 0);
        lf_spoilers(ac, 0);
        lf_aiControlsZero(ac);
        gf_sendLightSet(ac, lightsRunwayVacated);
        return;
    }
    if (ac.stream.empty() || ac.stream[0].speed > 90.0 || lf_marked(ac, markSlowRollDone)) return;
    lf_spoilers(ac, 0);
    lf_aiControlsZero(ac);
    gf_setFlapsLevel(ac, 1);
    lf_mark(ac, markSlowRollDone);
}

void learnCargoStand(LiveAc& ac) {
    if (!ac.identity.cargo || ac.standId == 0) return;
    auto it = std::find_if(parkPositions.begin(), parkPositions.end(),
                           [&](const ParkPos& p) { return p.id == ac.standId; });
    if (it == parkPositions.end() || it->cargo) return;
    it->cargo = 1;
    it->cargoChange = 1;
    // The window's counter of stand changes is raised here by the window's stand-counter issue.
    gf_log(fmt::format("{} stand: {}, cargo attribute set to true, {} parked here", movementParkAirport.icao, it->name,
                       gf_acText(ac.identity)));
}

}  // namespace vdl
