#include "traffic/static_placing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "liveries/livery_matcher.h"
#include "simlink/sim_link.h"
#include "traffic/removal.h"
#include "traffic/static_plan.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

// A stand this share of the in-range radius away is still safe from the link's removal while
// the user moves a little.
constexpr double inRangeShare = 0.9;
constexpr double groundUserAglFt = 500.0;
constexpr double groundPathNm = 1.0;
constexpr double groundPathFt = 50.0;
constexpr double airPathNm = 4.0;
constexpr double airLevelFt = 1000.0;
constexpr double airPathFt = 700.0;
// The walk of the user's path goes over a whole region once a second: the difference of latitude
// (60 nm a degree) is a bound of the distance that spares most aircraft the great circle. The
// margin is room for rounding.
constexpr double placingNmPerDegreeLat = 60.0;
constexpr double quickRejectNm = std::max(groundPathNm, airPathNm) + 1.0;

LogLimiter outOfRangeLog("static stand out of range");

bool lf_onOrNextTo(uint32_t standId, const ParkPos& stand) {
    return standId != 0 &&
           (standId == stand.id || std::find(stand.adjacent.begin(), stand.adjacent.end(), standId) != stand.adjacent.end());
}

bool lf_liveInTheWay(const StaticCandidate& c, const ParkPos& stand) {
    for (const LiveAc& live : liveAircraft) {
        if (live.erase || live.state == AcState::removed) continue;
        if (live.groundState != GroundState::parked && live.groundState != GroundState::toStand) continue;
        if (!lf_onOrNextTo(live.standId, stand)) continue;
        if (LOG.value()) {
            if (live.standId == stand.id)
                gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here", stand.name,
                                   c.callsign1, live.identity.callsign));
            else
                gf_log(fmt::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                                   stand.name, c.callsign1, live.identity.callsign, gf_standNameById(live.standId)));
        }
        return true;
    }
    return false;
}

// A static aircraft on its way out (removed, or erased when the notice comes) no longer holds its
// stand: otherwise the one an adjustment replaces under its second callsign could never return.
bool lf_staticInTheWay(const StaticCandidate& c, const ParkPos& stand) {
    for (const AiAircraft& s : staticAircraft) {
        if (s.erase || s.state == AcState::removed || !lf_onOrNextTo(s.standId, stand)) continue;
        if (LOG.value())
            gf_log(fmt::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                               stand.name, c.callsign1, s.identity.callsign, gf_standNameById(s.standId)));
        return true;
    }
    return false;
}

double lf_wrapPi(double a) {
    a = std::fmod(a + std::numbers::pi, 2.0 * std::numbers::pi);
    if (a < 0.0) a += 2.0 * std::numbers::pi;
    return a - std::numbers::pi;
}

}  // namespace

uint32_t gf_nextStaticHexid() {
    staticHexidCounter = (staticHexidCounter + 1) % staticHexidSpan;
    return staticHexidCounter;
}

std::string gf_parkedCallsign(std::string_view text) {
    while (!text.empty() && text.back() == '_') text.remove_suffix(1);
    if (!text.empty() && text.back() == '*') return std::string(text);
    return fmt::format("{}{}", text, "*");
}

std::string gf_staticCallsign(const StaticCandidate& c, uint32_t hexid) {
    const std::string fallback = fmt::format("{}{}{}", c.airl, hexid, "*");
    if (c.callsign1.empty()) return fallback;
    const std::string& primary = c.nextSlot ? c.callsign1 : c.callsign2;
    const std::string& other = c.nextSlot ? c.callsign2 : c.callsign1;
    // A callsign of underscores alone leaves nothing but the star: the other one, else the fallback.
    for (const std::string* text : {&primary, &other}) {
        std::string callsign = gf_parkedCallsign(*text);
        if (callsign.size() > 1) return callsign;
    }
    return fallback;
}

bool gf_standOutOfRange(double lat, double lon) {
    const double metres = gf_distanceNm({userAc.latitude, userAc.longitude}, {lat, lon}) * metresPerNm;
    return metres > lateralRangeMeters.load() * inRangeShare;
}

void gf_parkStatic() {
    if (staticCandidates.empty() || parkPositions.empty()) return;
    // Without the user's position the range cannot be judged: the candidate waits for it.
    if (gf_isNullPosition(userAc.latitude, userAc.longitude)) return;
    const StaticCandidate c = std::move(staticCandidates.back());
    staticCandidates.pop_back();
    // The stand first: a stale id must not be followed to neighbours.
    const ParkPos* stand = gf_findStandById(c.standId);
    if (stand == nullptr) {
        gf_logError(fmt::format("stand with id {} not found", c.standId));
        return;
    }
    if (gf_standOutOfRange(stand->lat, stand->lon)) {
        outOfRangeLog.log(fmt::format("{:8}: no static parking for {}, beyond the in-range radius", stand->name,
                                      c.callsign1));
        return;
    }
    if (lf_liveInTheWay(c, *stand) || lf_staticInTheWay(c, *stand)) return;

    const uint32_t hexid = gf_nextStaticHexid();
    std::string callsign = gf_staticCallsign(c, hexid);
    AiAircraft& ac = staticAircraft.emplace_back(
        gf_makeAcIdentity(c.airl, c.type, "", "", callsign, c.callsign1, c.callsign2, c.reg, 0, hexid), stand->id,
        stand->lat, stand->lon, stand->heading, stand->cargo != 0);
    if (!gf_matchLiveryStatic(ac.identity, *stand)) {
        staticAircraft.pop_back();
        return;
    }
    ac.parkSlot = gf_slotBack(nowSlot.load(), c.tolerance);
    ac.state = AcState::creating;

    CreateAcCmd cmd;
    cmd.initPosition = SimInitPosition{stand->lat, stand->lon, 0.0, 0.0, 0.0, radToDeg(stand->heading), 1, 0};
    cmd.tailNumber = std::move(callsign);
    cmd.title = ac.identity.title;
    cmd.hexid = hexid;
    staticCreateQueue.push_back(std::move(cmd));
}

bool gf_removeIfInUserPath(LiveAc& ac) {
    if (ac.state != AcState::active) return false;
    if (std::abs(ac.lat - userAc.latitude) * placingNmPerDegreeLat > quickRejectNm) return false;
    const LatLon user{userAc.latitude, userAc.longitude};
    const LatLon pos{ac.lat, ac.lon};
    const double distance = gf_distanceNm(user, pos);
    const double bearing = gf_bearing(user, pos);
    bool inPath = false;
    if (ac.onGround) {
        if (userAc.altAboveGround >= groundUserAglFt || distance > groundPathNm) return false;
        // Only the distance beside the user's heading line counts, ahead or behind.
        const double off = std::abs(lf_wrapPi(bearing - userAc.heading));
        inPath = std::sin(off) * distance * feetPerNm <= groundPathFt;
    } else {
        if (distance > airPathNm || std::abs(ac.alt - userAc.altitude) >= airLevelFt) return false;
        const double d = radToDeg(lf_wrapPi(ac.heading - bearing));
        double x = 0.0;
        if (d >= 0.0)
            x = std::abs(90.0 - d);
        else if (d >= -90.0)
            x = 90.0 + d;
        else
            x = -90.0 - d;
        inPath = std::cos(degToRad(x)) * distance * feetPerNm <= airPathFt;
    }
    if (!inPath) return false;
    if (LOG.value()) gf_log(fmt::format("{} removed: in the user aircraft's path", gf_acText(ac.identity)));
    removeAircraftFromSim(ac, "in the user aircraft's path");
    return true;
}

}  // namespace vdl
