#include "standins/track_checks.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

#include "foundation/geo.h"
#include "foundation/units.h"

namespace vdl::tracks {

namespace {

constexpr std::array<std::string_view, checkCount> checkNames = {
    "jump m", "air turn deg/s", "ground turn deg/s", "bank deg", "below ground ft", "ground climb ft",
    "lift-off kt short", "slow climb fpm", "touchdown drop ft", "nose off path deg", "bound after s",
    "flown twice s", "air climb fpm", "air descent fpm", "ground vs fpm", "ground accel kt/s", "ground brake kt/s",
    "still in air s",
    "air slow kt"};

// Speeds and rates are judged over a little time, so that a single short frame does not count.
constexpr double speedWindowSeconds = 1.0;
constexpr double chordSeconds = 0.5;
constexpr double turnWindowSeconds = 1.0;

using Track = std::vector<TrackPoint>;

LatLon lf_pos(const TrackPoint& p) { return {p.latitude, p.longitude}; }

double lf_metres(const TrackPoint& a, const TrackPoint& b) { return nmToMetres(gf_distanceNm(lf_pos(a), lf_pos(b))); }

void lf_note(CheckResult& r, double value, double time) {
    if (value > r.worst) {
        r.worst = value;
        r.at = time;
    }
}

// Metres per second along the track around each point (path length over +-speedWindowSeconds / 2).
std::vector<double> lf_localSpeeds(const Track& t) {
    std::vector<double> pathTo(t.size(), 0.0);
    for (std::size_t i = 1; i < t.size(); ++i) pathTo[i] = pathTo[i - 1] + lf_metres(t[i - 1], t[i]);
    std::vector<double> v(t.size(), 0.0);
    std::size_t a = 0, b = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        while (t[i].time - t[a].time > speedWindowSeconds / 2) ++a;
        if (b < i) b = i;
        while (b + 1 < t.size() && t[b + 1].time - t[i].time <= speedWindowSeconds / 2) ++b;
        if (a > 0 && a == i) --a;  // at least one step on each side where there is one
        if (b == i && b + 1 < t.size()) ++b;
        const double span = t[b].time - t[a].time;
        v[i] = span > 0.0 ? (pathTo[b] - pathTo[a]) / span : 0.0;
    }
    return v;
}

void lf_checkJumps(const Track& t, const std::vector<double>& speed, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::jump];
    r.limit = s.jumpAllowanceM;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const double dt = std::max(0.0, t[i].time - t[i - 1].time);
        const double allowed = 2.0 * std::max(speed[i - 1], speed[i]) * dt;
        lf_note(r, lf_metres(t[i - 1], t[i]) - allowed, t[i].time);
    }
}

void lf_checkTurns(const Track& t, const ObjectLimits& lim, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& air = v[Check::airTurn];
    CheckResult& ground = v[Check::groundTurn];
    air.limit = lim.airTurnDegPerS * (1.0 + s.turnAllowance);
    ground.limit = s.groundTurnDegPerS * (1.0 + s.turnAllowance);
    std::size_t j = 0;
    for (std::size_t i = 1; i < t.size(); ++i) {
        while (j + 1 < i && t[i].time - t[j + 1].time >= s.rateSpanSeconds) ++j;
        if (j >= i) continue;
        const double dt = t[i].time - t[j].time;
        if (dt <= 0.0) continue;
        const double rate = radToDeg(std::fabs(gf_angleDiff(t[j].heading, t[i].heading))) / dt;
        if (t[i].onGround && t[j].onGround) lf_note(ground, rate, t[i].time);
        if (!t[i].onGround && !t[j].onGround) lf_note(air, rate, t[i].time);
    }
}

// The bank of a coordinated turn at each airborne point (the simulator's sign: right turns
// negative), within the category's bank; wings level on the ground and when slow.
std::vector<double> lf_coordinatedBanks(const Track& t, const ObjectLimits& lim, const CheckSettings& s) {
    std::vector<double> e(t.size(), 0.0);
    std::size_t a = 0, b = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        while (t[i].time - t[a].time > turnWindowSeconds) ++a;
        if (b < i) b = i;
        while (b + 1 < t.size() && t[b + 1].time - t[i].time <= turnWindowSeconds) ++b;
        const double span = t[b].time - t[a].time;
        if (t[i].onGround || span <= 0.0 || std::fabs(t[i].trueAirspeed) < s.bankCheckKt) continue;
        const double omega = gf_angleDiff(t[a].heading, t[b].heading) / span;  // rad/s, right positive
        const double bank = std::atan(omega * ktToMps(std::fabs(t[i].trueAirspeed)) / standardGravity);
        e[i] = -std::clamp(bank, -degToRad(lim.maxBankDeg), degToRad(lim.maxBankDeg));
    }
    return e;
}

void lf_checkBank(const Track& t, const ObjectLimits& lim, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::bank];
    r.limit = s.bankToleranceDeg;
    if (lim.rotorcraft || t.empty()) return;
    const std::vector<double> e = lf_coordinatedBanks(t, lim, s);
    const double rate = degToRad(lim.maxBankRateDegPerS);
    // The bank the roll rate can reach from the coordinated one, rolling in late or early.
    std::vector<double> late(t.size()), early(t.size());
    late.front() = e.front();
    for (std::size_t i = 1; i < t.size(); ++i) {
        const double step = rate * std::max(0.0, t[i].time - t[i - 1].time);
        late[i] = late[i - 1] + std::clamp(e[i] - late[i - 1], -step, step);
    }
    early.back() = e.back();
    for (std::size_t i = t.size() - 1; i-- > 0;) {
        const double step = rate * std::max(0.0, t[i + 1].time - t[i].time);
        early[i] = early[i + 1] + std::clamp(e[i] - early[i + 1], -step, step);
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i].onGround || std::fabs(t[i].trueAirspeed) < s.bankCheckKt) continue;
        const double lo = std::min({e[i], late[i], early[i]});
        const double hi = std::max({e[i], late[i], early[i]});
        const double off = t[i].bank < lo ? lo - t[i].bank : (t[i].bank > hi ? t[i].bank - hi : 0.0);
        lf_note(r, radToDeg(off), t[i].time);
    }
}

void lf_checkGround(const Track& t, const std::vector<double>& speed, const ObjectLimits& lim,
                    const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& below = v[Check::belowGround];
    CheckResult& climb = v[Check::groundClimb];
    CheckResult& liftOff = v[Check::liftOff];
    CheckResult& touchdown = v[Check::touchdown];
    below.limit = s.belowGroundFt;
    climb.limit = s.groundClimbFt;
    liftOff.limit = lim.rotationKt * (1.0 - s.liftOffShare);
    touchdown.limit = s.touchdownDropFt;
    double lowestOnGround = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < t.size(); ++i) {
        const TrackPoint& p = t[i];
        lf_note(below, -p.altAboveGround, p.time);
        if (p.onGround) {
            lowestOnGround = std::min(lowestOnGround, p.altAboveGround);
            lf_note(climb, p.altAboveGround - lowestOnGround, p.time);
        } else {
            lowestOnGround = std::numeric_limits<double>::infinity();
        }
        if (i == 0) continue;
        const TrackPoint& q = t[i - 1];
        if (q.onGround && !p.onGround && !lim.rotorcraft)
            lf_note(liftOff, lim.rotationKt - mpsToKt(std::max(speed[i - 1], speed[i])), p.time);
        if (!q.onGround && p.onGround) lf_note(touchdown, q.altAboveGround - p.altAboveGround, p.time);
    }
}

void lf_checkSlowClimb(const Track& t, const std::vector<double>& speed, const ObjectLimits& lim,
                       const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::slowClimb];
    r.limit = s.slowClimbFpm;
    if (lim.rotorcraft) return;
    const double slowKt = lim.rotationKt * s.slowClimbShare;
    std::size_t j = 0;
    for (std::size_t i = 1; i < t.size(); ++i) {
        while (j + 1 < i && t[i].time - t[j + 1].time >= turnWindowSeconds) ++j;
        const double dt = t[i].time - t[j].time;
        if (dt < turnWindowSeconds || t[i].onGround || t[i].altAboveGround > s.slowClimbBelowFt) continue;
        if (mpsToKt(speed[i]) >= slowKt) continue;
        lf_note(r, (t[i].altitude - t[j].altitude) / dt * 60.0, t[i].time);
    }
}

void lf_checkNose(const Track& t, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::nose];
    r.limit = s.noseOffDeg;
    std::size_t j = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (j < i) j = i;
        while (j < t.size() && t[j].time - t[i].time < chordSeconds) ++j;
        if (j >= t.size()) break;
        if (!t[i].onGround || !t[j].onGround) continue;
        const double metres = lf_metres(t[i], t[j]);
        if (mpsToKt(metres / (t[j].time - t[i].time)) <= s.noseCheckKt) continue;
        const TrackPoint& mid = t[(i + j) / 2];
        // Forwards and backwards within the chord (a pushback's end): no path to judge.
        if ((t[i].trueAirspeed < 0.0) != (t[j].trueAirspeed < 0.0) || (mid.trueAirspeed < 0.0) != (t[i].trueAirspeed < 0.0))
            continue;
        const double path = gf_bearing(lf_pos(t[i]), lf_pos(t[j]));
        double off = radToDeg(std::fabs(gf_angleDiff(path, mid.heading)));
        if (mid.trueAirspeed < 0.0) off = 180.0 - off;  // a pushback: tail first
        lf_note(r, off, mid.time);
    }
}

void lf_checkBinding(const RecordedTrack& o, double runEnd, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::bound];
    r.limit = s.bindSeconds;
    const auto bound = std::find_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return e.name == "AI released"; });
    if (bound != o.events.end()) {
        lf_note(r, bound->time - o.createdAt, bound->time);
        return;
    }
    // Never bound: judged by how long it stood there unbound.
    const double end = o.removed ? o.removedAt : runEnd;
    lf_note(r, end - o.createdAt, end);
}

// The aircraft an object flew: its hexid when the simulator recorded one, else its tail number
// (files of simulators that did not); empty when neither is known.
std::string lf_aircraftOf(const RecordedTrack& o) {
    const auto e = std::find_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return e.name == "hexid"; });
    if (e != o.events.end()) return fmt::format("hexid {}", e->data);
    return o.tailNumber.empty() ? std::string() : "tail " + o.tailNumber;
}

void lf_checkTwice(const std::vector<RecordedTrack>& all, double runEnd, std::vector<ObjectVerdict>& verdicts) {
    std::map<std::string, std::vector<std::size_t>> byAircraft;
    for (std::size_t i = 0; i < all.size(); ++i) {
        verdicts[i][Check::twice].limit = 0.0;
        byAircraft[lf_aircraftOf(all[i])].push_back(i);
    }
    for (const auto& [aircraft, idx] : byAircraft) {
        if (aircraft.empty()) continue;
        for (std::size_t a = 0; a < idx.size(); ++a)
            for (std::size_t b = a + 1; b < idx.size(); ++b) {
                const RecordedTrack& x = all[idx[a]];
                const RecordedTrack& y = all[idx[b]];
                const double from = std::max(x.createdAt, y.createdAt);
                const double to = std::min(x.removed ? x.removedAt : runEnd, y.removed ? y.removedAt : runEnd);
                if (to <= from) continue;
                lf_note(verdicts[idx[a]][Check::twice], to - from, from);
                lf_note(verdicts[idx[b]][Check::twice], to - from, from);
            }
    }
}

// Climb and descent over a second in the air; from the first whole second on.
void lf_checkAirVerticalSpeed(const Track& t, const ObjectLimits& lim, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& climb = v[Check::airClimb];
    CheckResult& descent = v[Check::airDescent];
    climb.limit = lim.maxClimbFpm * (1.0 + s.climbAllowance);
    descent.limit = s.maxDescentFpm;
    std::size_t j = 0;
    for (std::size_t i = 1; i < t.size(); ++i) {
        while (j + 1 < i && t[i].time - t[j + 1].time >= turnWindowSeconds) ++j;
        const double dt = t[i].time - t[j].time;
        if (dt < turnWindowSeconds || t[i].onGround || t[j].onGround) continue;
        const double fpm = (t[i].altitude - t[j].altitude) / dt * 60.0;
        lf_note(climb, fpm, t[i].time);
        lf_note(descent, -fpm, t[i].time);
    }
}

// The vertical speed handed to the simulator once the object has settled on the ground, while
// it neither rises nor sinks (a lift-off starts on the ground).
void lf_checkGroundVs(const Track& t, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::groundVs];
    r.limit = s.groundVsFpm;
    double since = -1.0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const TrackPoint& p = t[i];
        if (!p.onGround) {
            since = -1.0;
            continue;
        }
        if (since < 0.0) since = p.time;
        const bool level = i > 0 && t[i - 1].altAboveGround == p.altAboveGround;
        if (level && p.time - since >= s.groundSettleSeconds) lf_note(r, std::fabs(p.verticalSpeed) * 60.0, p.time);
    }
}

// Speed gained and lost on the ground: local speeds a second apart.
void lf_checkGroundAccel(const Track& t, const std::vector<double>& speed, const ObjectLimits& lim,
                         const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& gain = v[Check::groundAccel];
    CheckResult& loss = v[Check::groundBrake];
    gain.limit = lim.groundAccelKtPerS * (1.0 + s.accelAllowance);
    loss.limit = lim.groundBrakeKtPerS * (1.0 + s.accelAllowance);
    if (!s.judgeGroundSpeedChange) return;
    std::size_t j = 0;
    for (std::size_t i = 1; i < t.size(); ++i) {
        while (j + 1 < i && t[i].time - t[j + 1].time >= turnWindowSeconds) ++j;
        const double dt = t[i].time - t[j].time;
        if (dt < turnWindowSeconds || !t[i].onGround || !t[j].onGround) continue;
        const double rate = mpsToKt(speed[i] - speed[j]) / dt;
        lf_note(gain, rate, t[i].time);
        lf_note(loss, -rate, t[i].time);
    }
}

// The longest stretch in the air after the binding on which the object did not move.
void lf_checkAirStill(const RecordedTrack& o, const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::airStill];
    r.limit = s.airStillSeconds;
    const auto bound = std::find_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return e.name == "AI released"; });
    if (bound == o.events.end()) return;
    const Track& t = o.track;
    std::size_t from = t.size();
    for (std::size_t i = 1; i < t.size(); ++i) {
        const bool still = !t[i].onGround && !t[i - 1].onGround && t[i].time >= bound->time &&
                           t[i].latitude == t[i - 1].latitude && t[i].longitude == t[i - 1].longitude;
        if (!still) {
            from = t.size();
            continue;
        }
        if (from == t.size()) from = i - 1;
        lf_note(r, t[i].time - std::max(t[from].time, bound->time), t[i].time);
    }
}

// Airspeed and ground speed in the air from the binding on (before it the object is not yet
// flown), above the ground's own height, against the floor.
void lf_checkAirSlow(const RecordedTrack& o, const std::vector<double>& speed, const ObjectLimits& lim,
                     const CheckSettings& s, ObjectVerdict& v) {
    CheckResult& r = v[Check::airSlow];
    r.limit = s.floorToleranceKt;
    if (lim.airFloorKt <= 0.0) return;
    const Track& t = o.track;
    const auto bound = std::find_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return e.name == "AI released"; });
    if (bound == o.events.end()) return;
    // Around an object frozen in place the speeds are the still check's.
    std::vector<std::size_t> stillUpTo(t.size() + 1, 0);
    for (std::size_t i = 0; i < t.size(); ++i) {
        const bool still = i > 0 && t[i].latitude == t[i - 1].latitude && t[i].longitude == t[i - 1].longitude;
        stillUpTo[i + 1] = stillUpTo[i] + (still ? 1 : 0);
    }
    std::size_t a = 0, b = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        while (t[i].time - t[a].time > speedWindowSeconds) ++a;
        if (b < i) b = i;
        while (b + 1 < t.size() && t[b + 1].time - t[i].time <= speedWindowSeconds) ++b;
        if (t[i].onGround || t[i].altAboveGround <= s.floorAboveGroundFt || t[a].time < bound->time) continue;
        if (stillUpTo[b + 1] != stillUpTo[a]) continue;
        const double slowest = std::min(std::fabs(t[i].trueAirspeed), mpsToKt(speed[i]));
        lf_note(r, lim.airFloorKt - slowest, t[i].time);
    }
}

}  // namespace

std::string_view gf_checkName(Check c) { return checkNames[static_cast<std::size_t>(c)]; }

bool ObjectVerdict::passed() const {
    return std::none_of(results.begin(), results.end(), [](const CheckResult& r) { return r.failed(); });
}

bool RunVerdict::passed() const {
    return std::all_of(objects.begin(), objects.end(), [](const ObjectVerdict& o) { return o.passed(); });
}

std::string RunVerdict::failures() const {
    std::string out;
    for (const auto& o : objects)
        for (std::size_t c = 0; c < checkCount; ++c) {
            const CheckResult& r = o.results[c];
            if (r.failed())
                out += fmt::format("{} {} {}: {:.2f} (limit {:.2f}) at {:.2f} s\n", o.id, o.tailNumber,
                                   checkNames[c], r.worst, r.limit, r.at);
        }
    return out;
}

std::string RunVerdict::report() const {
    std::string out;
    for (const auto& o : objects) {
        out += fmt::format("{} {} \"{}\" {}\n", o.id, o.tailNumber, o.title, o.passed() ? "passed" : "FAILED");
        for (std::size_t c = 0; c < checkCount; ++c) {
            const CheckResult& r = o.results[c];
            out += fmt::format("  {:<18} {:9.2f} limit {:8.2f} at {:9.2f} s{}\n", checkNames[c], r.worst, r.limit,
                               r.at, r.failed() ? "  FAILED" : "");
        }
    }
    return out;
}

RecordedTrack gf_recordedTrack(const StandInObject& o) {
    RecordedTrack r;
    r.id = o.id;
    r.title = o.title;
    r.tailNumber = o.tailNumber;
    r.createdAt = o.createdAt;
    r.removedAt = o.removedAt;
    r.removed = o.removed;
    r.track.assign(o.track.begin(), o.track.end());
    r.events = o.events;
    return r;
}

RunVerdict gf_checkTracks(const std::vector<RecordedTrack>& tracks, const LimitsOf& limitsOf,
                          const CheckSettings& settings) {
    RunVerdict run;
    double runEnd = 0.0;
    for (const auto& o : tracks) {
        runEnd = std::max({runEnd, o.createdAt, o.removedAt});
        if (!o.track.empty()) runEnd = std::max(runEnd, o.track.back().time);
    }
    for (const auto& o : tracks) {
        ObjectVerdict& v = run.objects.emplace_back();
        v.id = o.id;
        v.title = o.title;
        v.tailNumber = o.tailNumber;
        const ObjectLimits lim = limitsOf(o);
        const std::vector<double> speed = lf_localSpeeds(o.track);
        lf_checkJumps(o.track, speed, settings, v);
        lf_checkTurns(o.track, lim, settings, v);
        lf_checkBank(o.track, lim, settings, v);
        lf_checkGround(o.track, speed, lim, settings, v);
        lf_checkSlowClimb(o.track, speed, lim, settings, v);
        lf_checkNose(o.track, settings, v);
        lf_checkBinding(o, runEnd, settings, v);
        lf_checkAirVerticalSpeed(o.track, lim, settings, v);
        lf_checkGroundVs(o.track, settings, v);
        lf_checkGroundAccel(o.track, speed, lim, settings, v);
        lf_checkAirStill(o, settings, v);
        lf_checkAirSlow(o, speed, lim, settings, v);
    }
    lf_checkTwice(tracks, runEnd, run.objects);
    return run;
}

}  // namespace vdl::tracks
