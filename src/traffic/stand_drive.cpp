// The drive from the end of an arrival's data onto its stand: the nose follows the path, so the
// path ends along the stand's axis.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

#include "airports/stand_records.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/units.h"
#include "traffic/ground_movement.h"
#include "traffic/movement.h"
#include "traffic/traffic_clock.h"

namespace vdl {

namespace {

// Onto the stand: the drive takes at least 1 s and the aircraft comes to rest 0.5 s later.
constexpr int32_t minStandDriveUnits = 100;
constexpr uint32_t standRestUnits = 50;
// The lead-in onto the stand's axis: at least 5 m long, at most 30 m when it cannot start where
// the aircraft's way meets the axis; ways meeting at less than 5 degrees do not meet.
constexpr double leadInMinNm = metresToNm(5.0);
constexpr double leadInMaxMetres = 30.0;
constexpr double leadInMinSine = 0.0871557427476582;
// The share of the lead-in next to the stand that is driven straight, nose on the axis.
constexpr double axisShare = 0.4;

LatLon lf_at(const StreamPos& p) { return {p.lat, p.lon}; }

// The nose follows the path, so the path's last leg must run along the stand's axis: a lead-in
// point behind the stand where the aircraft's way meets that axis, else a little way back on it.
// None when the data stopped almost on the stand or already on its axis.
std::optional<LatLon> lf_leadInPoint(const LiveAc& ac, LatLon from, LatLon stand, double standHeading) {
    const double dist = gf_distanceNm(from, stand);
    if (dist < leadInMinNm) return std::nullopt;
    if (std::fabs(radToDeg(gf_angleDiff(gf_bearing(from, stand), standHeading))) <= straightTurnDeg)
        return std::nullopt;
    // Local metres around the stand: east x, north y.
    double fx = 0.0;
    double fy = 0.0;
    gf_toLocalMetres(stand.lat, stand.lon, from.lat, from.lon, fx, fy);
    const double ax = std::sin(ac.heading), ay = std::cos(ac.heading);
    const double bx = std::sin(standHeading), by = std::cos(standHeading);
    // from + t * a = stand - u * b: ahead of the nose (t) and behind the stand (u).
    const double det = ax * by - ay * bx;
    const double distM = dist / nmPerMetre;
    double back = std::clamp(distM / 2.0, leadInMinNm / nmPerMetre, leadInMaxMetres);
    const double turn = std::fabs(radToDeg(gf_angleDiff(ac.heading, standHeading)));
    if (std::fabs(det) > leadInMinSine && turn <= maxCurveDeg) {
        const double t = (-fx * by + fy * bx) / det;
        const double u = (-ax * fy + ay * fx) / det;
        if (t >= 0.0 && t <= 2.0 * distM && u >= leadInMinNm / nmPerMetre && u <= 2.0 * distM) back = u;
    }
    const LatLon p = gf_destination(stand, std::fmod(standHeading + pi, 2.0 * pi), metresToFeet(back));
    return p;
}

// A taxi point of the drive onto the stand, `units` after `after`.
StreamPos lf_drivePoint(const StreamPos& after, LatLon at, double trackRad, double kt, uint32_t units) {
    StreamPos p = after;
    p.lat = at.lat;
    p.lon = at.lon;
    p.speed = kt;
    p.tas = kt;
    p.vs = 0.0;
    p.airborne = 0;
    p.stop = 0;
    p.track = radToDeg(trackRad);
    p.time = after.time + units;
    return p;
}

// The curve from where the aircraft is through the lead-in point ends on the stand's axis; the
// straight rest of the axis lets the nose settle before the stand.
void lf_curveOntoAxis(LiveAc& ac, double taxi) {
    const double a = std::fabs(radToDeg(turnAngleAhead(ac)));
    if (a <= straightTurnDeg || a > maxCurveDeg) return;
    makeCurve(ac);
    ac.turnWork = a;
    ac.turnSlow = false;
    // The leg is timed by its straight length at the mean of its two speeds: slower speeds leave
    // the curve, longer than the straight way, and the first turn the time planned for them.
    const int32_t planned = gf_unitsFrom(ac.stream[0].time, ac.stream[1].time);
    const double straight = gf_distanceNm(lf_at(ac.stream[0]), lf_at(ac.stream[1]));
    const double v = planned > 0 ? straight * clockUnitsPerHour / planned : taxi;
    if (v > 0.0 && v < taxi) ac.stream[0].speed = ac.stream[1].speed = v;
}

}  // namespace

void drive2Stand(LiveAc& ac, double standLat, double standLon, double standHeading) {
    if (ac.stream.empty()) {
        gf_logError("drive2Stand empty sz?");
        return;
    }
    const double taxi = ac.identity.standTaxiSpeed;
    const bool fromHere = ac.stream.size() == 1;
    const LatLon stand{standLat, standLon};
    const std::optional<LatLon> lead = lf_leadInPoint(ac, lf_at(ac.stream.back()), stand, standHeading);
    uint32_t start = ac.stream.front().time;
    if (lead) {
        StreamPos& from = ac.stream.back();
        from.speed = taxi;
        // The nose first turns onto the way to the lead-in point, at the ground's turn rate.
        const double pivot = std::fabs(gf_angleDiff(ac.heading, gf_bearing(lf_at(from), *lead)));
        const double rate = ac.identity.baseTurnRate;
        const auto pivotUnits = rate > 0.0 ? static_cast<uint32_t>(std::ceil(pivot / rate)) : 0u;
        StreamPos p = lf_drivePoint(ac.stream.front(), *lead, standHeading, taxi,
                                    pivotUnits + static_cast<uint32_t>(gf_legUnits(gf_distanceNm(lf_at(from), *lead), taxi, minLegUnits)));
        const LatLon onAxis = gf_destination(stand, std::fmod(standHeading + pi, 2.0 * pi),
                                             nmToFeet(gf_distanceNm(*lead, stand) * axisShare));
        // A reversal onto the axis is never curved: the nose turns round at the lead-in point, and
        // the drive waits for it, or its time runs out short of the stand. With the data's last
        // point reached, the way to the lead-in point starts where the aircraft is.
        const LatLon origin = fromHere ? LatLon{ac.lat, ac.lon} : lf_at(from);
        const double corner = std::fabs(gf_angleDiff(gf_bearing(origin, *lead), standHeading));
        const auto cornerUnits = rate > 0.0 && radToDeg(corner) > maxCurveDeg
                                     ? static_cast<uint32_t>(std::ceil(corner / rate))
                                     : 0u;
        const auto axisUnits = static_cast<uint32_t>(gf_legUnits(gf_distanceNm(*lead, onAxis), taxi, minLegUnits));
        StreamPos q = lf_drivePoint(p, onAxis, standHeading, taxi, cornerUnits + axisUnits);
        ac.stream.push_back(p);
        ac.stream.push_back(q);
        start = q.time;
    }
    StreamPos& last = ac.stream.back();
    const int32_t d =
        std::max(minStandDriveUnits, gf_legUnits(gf_distanceNm(lf_at(last), stand), taxi, minStandDriveUnits));
    last.speed = taxi;
    const bool atS = last.lat == standLat && last.lon == standLon;
    const StreamPos first = ac.stream.front();
    StreamPos s{};
    s.lat = standLat;
    s.lon = standLon;
    s.bank = ac.bank;
    s.bankValid = 1;
    s.alt = ac.alt;
    s.speed = taxi;
    s.tas = taxi;
    s.track = radToDeg(standHeading);
    s.vs = 0.0;
    s.time = start + static_cast<uint32_t>(d);
    s.airborne = 0;
    s.stop = atS ? 1 : 0;
    s.attitudeFlag = first.attitudeFlag;
    StreamPos f = s;
    f.speed = 0.0;
    f.tas = 0.0;
    f.stop = 1;
    f.time = start + standRestUnits + static_cast<uint32_t>(d);
    ac.stream.push_back(s);
    ac.stream.push_back(f);
    ac.legBearing = standHeading;
    if (ac.extensionCount > 0) {
        ac.extensionCount = 0;
        gf_resetWindows(ac);
    }
    if (lead && fromHere) lf_curveOntoAxis(ac, taxi);
}

}  // namespace vdl
