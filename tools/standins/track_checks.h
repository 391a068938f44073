// Movement checks on the tracks the simulator stand-in recorded: for every object of a run, the
// worst value of each check and whether it held. Used by the replay and main-job tests and by
// tools/track_check on any track file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/track_file.h"
#include "traffic/flight_tables.h"
#include "traffic/records.h"

namespace vdl::tracks {

// What one object may do, from its category.
struct ObjectLimits {
    double airTurnDegPerS = 7.0;
    double maxBankDeg = 30.0;
    double maxBankRateDegPerS = 2.0;
    double rotationKt = 140.0;
    bool rotorcraft = false;
    double maxClimbFpm = 3000.0;
    double airFloorKt = 0.0;           // neither airspeed nor ground speed below it in the air
    double groundAccelKtPerS = 100.0;  // speed gained per second on the ground
    double groundBrakeKtPerS = 100.0;  // speed lost per second on the ground
};

// The category's limits, from the movement's own tables (one traffic step is 10 ms).
inline ObjectLimits gf_limitsOfCategory(AircraftCategory c) {
    const auto i = gf_categoryIndex(c);
    const FlightCategoryValues& f = flightValuesOfCategory[i];
    return {baseTurnRateDegOfCategory[i] * 100.0, f.maxBankDeg, f.maxBankRateDeg * 100.0, f.rotationSpeedKt,
            c == AircraftCategory::Rotorcraft, f.maxClimbFtPerStep * 6000.0, f.airFloorKt, f.groundAccelKtPerS,
            f.groundBrakeKtPerS};
}

// The run-wide tolerances.
struct CheckSettings {
    double jumpAllowanceM = 1.0;     // on top of twice the local speed times the time step
    double turnAllowance = 0.05;     // share above the turn-rate limits
    double groundTurnDegPerS = 30.0;
    double rateSpanSeconds = 0.0;    // turn rates over at least this span (0: every step)
    double bankToleranceDeg = 10.0;  // beyond what the roll rate allows
    double bankCheckKt = 60.0;       // banks are judged above this speed
    double belowGroundFt = 0.5;
    double groundClimbFt = 3.0;        // rise of an object on the ground
    double liftOffShare = 0.85;        // of the rotation speed, at least, at a lift-off
    double slowClimbShare = 0.6;       // of the rotation speed, no climb below it near the ground
    double slowClimbFpm = 500.0;
    double slowClimbBelowFt = 1500.0;  // above ground
    double touchdownDropFt = 20.0;     // largest height lost in the step of a touchdown
    double noseOffDeg = 20.0;
    double noseCheckKt = 3.0;
    double bindSeconds = 2.0;
    double climbAllowance = 0.25;      // share above the category's best climb
    double maxDescentFpm = 12000.0;    // recorded airliners descend at up to 9,800 ft/min
    double groundVsFpm = 1.0;          // vertical speed handed over on the ground
    double groundSettleSeconds = 1.0;  // after a touchdown, before the ground's vertical speed counts
    double accelAllowance = 0.25;      // share above the category's ground acceleration and braking
    bool judgeGroundSpeedChange = true;
    double airStillSeconds = 0.5;      // standing still in the air after the binding
    double floorAboveGroundFt = 50.0;  // the air speed floor holds above this height
    double floorToleranceKt = 5.0;     // the ground speed may dip this far below the floor
};

enum class Check : std::size_t {
    jump,         // m beyond twice the local speed times the step
    airTurn,      // deg/s
    groundTurn,   // deg/s
    bank,         // deg away from a coordinated bank the roll rate can reach
    belowGround,  // ft under the terrain
    groundClimb,  // ft risen while on the ground
    liftOff,      // kt short of the lift-off speed
    slowClimb,    // ft/min of climb below the slow-climb speed near the ground
    touchdown,    // ft dropped in the step of a touchdown
    nose,         // deg between the nose and the path on the ground
    bound,        // s from creation to the binding
    twice,        // s during which another object flew the same aircraft
    airClimb,     // ft/min of climb in the air
    airDescent,   // ft/min of descent in the air
    groundVs,     // ft/min of vertical speed handed over on the ground
    groundAccel,  // kt/s gained on the ground
    groundBrake,  // kt/s lost on the ground
    airStill,     // s standing still in the air after the binding
    airSlow,      // kt below the category's floor in the air (airspeed or ground speed)
};
inline constexpr std::size_t checkCount = 19;
std::string_view gf_checkName(Check c);

struct CheckResult {
    double worst = 0.0;  // the worst value seen (0 when the check found nothing to judge)
    double limit = 0.0;  // the largest value that passes
    double at = 0.0;     // simulation seconds of the worst value
    bool failed() const { return worst > limit; }
};

struct ObjectVerdict {
    uint32_t id = 0;
    std::string title;
    std::string tailNumber;
    std::array<CheckResult, checkCount> results{};
    const CheckResult& operator[](Check c) const { return results[static_cast<std::size_t>(c)]; }
    CheckResult& operator[](Check c) { return results[static_cast<std::size_t>(c)]; }
    bool passed() const;
};

struct RunVerdict {
    std::vector<ObjectVerdict> objects;
    bool passed() const;
    // The failed checks, one "object check worst (limit) at t" a line; empty when it passed.
    std::string failures() const;
    // Every object with the worst value of each check, failed ones marked.
    std::string report() const;
};

using LimitsOf = std::function<ObjectLimits(const RecordedTrack&)>;

// The track of an object kept in memory (a stepped stand-in) as the file would hold it.
RecordedTrack gf_recordedTrack(const StandInObject& o);

RunVerdict gf_checkTracks(const std::vector<RecordedTrack>& tracks, const LimitsOf& limitsOf,
                          const CheckSettings& settings = {});

}  // namespace vdl::tracks
