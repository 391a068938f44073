#include "traffic/stream_extension.h"

#include <algorithm>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/movement.h"
#include "traffic/neighbour_grid.h"
#include "traffic/parking_max.h"
#include "traffic/removal.h"
#include "traffic/sim_replies.h"
#include "traffic/stand_learning.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

constexpr double atStandNm = metresToNm(2.0);  // closer to the stand than this is on it
// Made-up points: the stream runs on for this many points of this spacing.
constexpr int32_t parkedExtensionPoints = 1;
constexpr int32_t groundExtensionPoints = 10;
constexpr int32_t airExtensionPoints = 8;
constexpr int32_t groundExtensionSeconds = 3;
constexpr int32_t airExtensionSeconds = 8;
constexpr double airExtensionRangeMarginNm = 0.5;  // airborne points are made inside the range less this
constexpr uint32_t holdPointSeconds = 3;  // spacing of a holding aircraft's stop points
constexpr double neighbourSpanFactor = 1.2;  // a taxiing neighbour this close (in half spans) needs the place

// Speeds of made-up airborne points: they slow down a little each (on approach only from the
// fourth last on), never below the minimum.
constexpr double airSpeedPercent = 95.0;
constexpr double approachSpeedPercent = 90.0;
constexpr int32_t approachSlowdownFromCount = 4;
constexpr double minMadeUpSpeedKt = 1.0;

// Made-up points of a landing roll slow down by steps: the speed of the first row the point
// has reached, else the floor.
struct LandingRollStep {
    double fromKt;
    double speedKt;
};
constexpr LandingRollStep landingRollSteps[] = {{140.0, 100.0}, {100.0, 80.0}, {80.0, 60.0}, {60.0, 30.0}};
constexpr double landingRollFloorKt = 20.0;

// Made-up points of a take-off roll speed up by steps: the first row the point has not passed,
// else the top; from 150 kt they climb.
struct TakeoffRollStep {
    double upToKt;
    double speedKt;
    std::optional<double> vsFpm;
};
constexpr TakeoffRollStep takeoffRollSteps[] = {
    {30.0, 40.0, {}}, {60.0, 80.0, {}}, {100.0, 110.0, {}}, {140.0, 150.0, 600.0}, {160.0, 170.0, 1200.0}};
constexpr TakeoffRollStep takeoffRollTop{0.0, 180.0, 2400.0};

// Vertical paths of made-up points: the climb-out climbs, an approach not yet flaring descends.
constexpr double climbOutVsFpm = 1500.0;
constexpr double approachVsFpm = -667.0;
constexpr double approachDescentFtPerSecond = 10.005;

LatLon lf_streamPos(const StreamPos& p) { return {p.lat, p.lon}; }
LatLon lf_streamPos(const LiveAc& ac) { return {ac.lat, ac.lon}; }

// A taxiing neighbour close enough to need the place where the aircraft would hold.
bool lf_neighbourNeedsPlace(const LiveAc& ac) { return gf_taxiingNeighbourWithin(ac, neighbourSpanFactor); }

// Holds where the data ended, up to MAX_HOLDING_MINUTES; false when the aircraft is to go.
bool lf_holdWhereDataEnded(LiveAc& ac) {
    const uint32_t clock = clock100.load();
    if (lf_neighbourNeedsPlace(ac)) {
        ac.holding = false;
        ac.holdStart = 0;
        return false;
    }
    if (!ac.holding) ac.holdStart = clock;
    else if (static_cast<double>(clock - ac.holdStart) / clockUnitsPerMinute > MAX_HOLDING_MINUTES.value())
        return false;
    ac.holding = true;
    StreamPos p = ac.stream.front();
    p.speed = 0.0;
    p.stop = 1;
    p.time += secondsToUnits(holdPointSeconds);
    ac.stream.push_back(p);
    ac.extensionCount = 1;
    return true;
}

// How many made-up points a stream that ran out gets; 0 when the aircraft is to go.
int32_t lf_extensionPoints(const LiveAc& ac) {
    if (!gf_categoryEnabled(ac.identity.category)) return 0;
    if (ac.onGround) return ac.groundState == GroundState::parked ? parkedExtensionPoints : groundExtensionPoints;
    if (atTenNm.load()) return 0;
    if (gf_isNullPosition(userAc.latitude, userAc.longitude)) return airExtensionPoints;
    const double range = lateralRangeNm.load() - airExtensionRangeMarginNm;
    return gf_distanceNm({userAc.latitude, userAc.longitude}, lf_streamPos(ac)) < range ? airExtensionPoints : 0;
}

const TakeoffRollStep& lf_takeoffRollStep(double speedKt) {
    for (const TakeoffRollStep& s : takeoffRollSteps)
        if (speedKt <= s.upToKt) return s;
    return takeoffRollTop;
}

double lf_landingRollSpeed(double speedKt) {
    for (const LandingRollStep& s : landingRollSteps)
        if (speedKt >= s.fromKt) return s.speedKt;
    return landingRollFloorKt;
}

// The speed of the next made-up point of a moving aircraft; false when a ground aircraft that
// is not rolling stops instead.
bool lf_madeUpSpeed(const LiveAc& ac, StreamPos& p, int32_t count) {
    if (!ac.onGround) {
        if (!ac.approach) p.speed = p.speed * airSpeedPercent / 100.0;
        else if (count >= approachSlowdownFromCount) p.speed = p.speed * approachSpeedPercent / 100.0;
        p.speed = std::max(minMadeUpSpeedKt, p.speed);
        return true;
    }
    if (ac.landingRoll) {
        p.speed = lf_landingRollSpeed(p.speed);
        p.vs = 0.0;
        return true;
    }
    if (ac.takeoffRoll) {
        const TakeoffRollStep& s = lf_takeoffRollStep(p.speed);
        // Made-up points never leave the ground: only received airborne points lift off.
        p.speed = s.speedKt;
        p.vs = 0.0;
        return true;
    }
    p.speed = 0.0;
    return false;
}

// Moves the point along the heading for dt seconds at its speed, with the vertical path of the
// phase; false when it did not get anywhere.
bool lf_advanceMadeUpPoint(const LiveAc& ac, StreamPos& p, int32_t dt) {
    const double feet = nmToFeet(ktToNmPerSecond(p.speed) * dt);
    const LatLon to = gf_destination(lf_streamPos(p), ac.heading, feet);
    const bool moved = !(to.lat == p.lat && to.lon == p.lon);
    p.lat = to.lat;
    p.lon = to.lon;
    if (!ac.approach && ac.groundState == GroundState::climbOut) {
        p.vs = climbOutVsFpm;
        p.alt += dt * fpmToFps(climbOutVsFpm);
        p.airborne = p.alt > 0.0;
        p.alt = std::max(0.0, p.alt);
    } else if (ac.approach && ac.configStage == 0) {
        p.vs = approachVsFpm;
        p.alt -= dt * approachDescentFtPerSecond;
        p.airborne = p.alt > 0.0;
        p.alt = std::max(0.0, p.alt);
    } else if (!ac.onGround) {
        // Made-up points keep the altitude: they fly level, and the attitude follows.
        p.vs = 0.0;
    }
    return moved;
}

}  // namespace

bool continueStream(LiveAc& ac) {
    if (ac.groundState == GroundState::toStand) {
        arriveAtStand(ac);
    } else if (ac.groundState == GroundState::pullOut || (ac.groundState == GroundState::taxi && !ac.landingRoll && !ac.takeoffRoll)) {
        return lf_holdWhereDataEnded(ac);
    }
    if (ac.state != AcState::active && ac.state != AcState::creating) return false;  // arrival may remove it
    if (ac.extensionCount < 0) return false;
    if (ac.extensionCount == 1) {
        ac.extensionCount = -1;
        return false;
    }
    if (ac.extensionCount > 1) {
        extendStream(ac, ac.extensionCount - 1);
        return true;
    }
    const int32_t count = lf_extensionPoints(ac);
    if (count == 0) return false;
    extendStream(ac, count);
    return true;
}

void extendStream(LiveAc& ac, int32_t count) {
    ac.extensionCount = count;
    StreamPos p = ac.stream.front();
    const bool parked = ac.groundState == GroundState::parked;
    const int32_t dt = ac.onGround ? groundExtensionSeconds : airExtensionSeconds;
    bool stop = p.stop || parked;
    if (stop) p.speed = 0.0;
    else if (!lf_madeUpSpeed(ac, p, count)) stop = true;
    else stop = !lf_advanceMadeUpPoint(ac, p, dt);
    p.stop = stop ? 1 : 0;
    uint32_t spacing = secondsToUnits(static_cast<uint32_t>(dt));
    if (parked) {
        spacing = parkedExtensionUnits;
        if (ParkPos* stand = gf_findStandById(ac.standId)) stand->occupied = 0;
        ac.standChecked = false;
    }
    p.time = ac.stream.front().time + spacing;
    ac.stream.push_back(p);
}

namespace {

// The stand given to the arrival is marked occupied for it; another aircraft standing there (one
// spawned onto it meanwhile) holds it against the arrival.
bool lf_standHeldByAnother(const LiveAc& ac) {
    const bool live = std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAc& o) {
        return &o != &ac && o.standId == ac.standId && (o.state == AcState::active || o.state == AcState::creating) &&
               (o.groundState == GroundState::parked || o.groundState == GroundState::pushback ||
                o.groundState == GroundState::pullOut || o.groundState == GroundState::fresh);
    });
    return live || std::any_of(staticAircraft.begin(), staticAircraft.end(), [&](const AiAircraft& s) {
               return s.standId == ac.standId && (s.state == AcState::active || s.state == AcState::creating);
           });
}

}  // namespace

void arriveAtStand(LiveAc& ac) {
    ParkPos* stand = gf_findStandById(ac.standId);
    if (stand != nullptr && stand->occupied && lf_standHeldByAnother(ac)) {
        ac.extensionCount = 1;
        removeAircraftFromSim(ac, "its stand is held by another aircraft");
        stand->occupied = 1;
        return;
    }
    if (gf_distanceNm(lf_streamPos(ac), {ac.standLat, ac.standLon}) > atStandNm) {
        // Short of the stand it taxies on: the stand it was given is free again, for it as for
        // others, or nobody could ever park there.
        if (stand != nullptr) stand->occupied = 0;
        ac.standId = 0;
        gf_setGroundState(ac, GroundState::taxi);
        return;
    }
    gf_setGroundState(ac, GroundState::parked);
    ac.parkSlot = nowSlot.load();
    if (ac.towed && LOG.value()) gf_log(fmt::format("          towed aircraft {} parks", gf_acText(ac.identity)));
    if (!ac.stream.empty()) ac.stream.front().stop = 1;
    ac.parkTicks = gf_steadyTicks();
    learnCargoStand(ac);
    gf_parkEvents(ac);
    if (LOG.value())
        gf_log(fmt::format("{:8}: {:8} arrived at stand", stand ? stand->name : std::string{}, ac.identity.callsign));
    // Also queues the coupled-callsign search.
    createdFollowUps.push_back(ac.identity.hexid);
    gf_learnStandUse(ac, false, ac.parkSlot);
    // Every new parked aircraft counts against the maximum, learned or not.
    gf_checkMaxPark(0);
}

}  // namespace vdl
