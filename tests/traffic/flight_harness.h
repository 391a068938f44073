// Flies one live aircraft through the movement code step by step, with a small stand-in for
// the feed's intake and the simulator's ground reports, and records the flown track and the
// client events. Tests then judge the track, not the numbers inside the code.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_phases.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"
#include "traffic/point_intake.h"
#include "traffic/records.h"
#include "traffic/sim_replies.h"
#include "traffic/traffic_lists.h"

namespace vdl::test {

inline constexpr uint32_t harnessClockStart = 500000;
inline constexpr uint32_t harnessObjectId = 77;

struct Sample {
    uint32_t step = 0;
    double lat = 0, lon = 0, alt = 0, heading = 0;
    double speedKt = 0;  // from the distance to the previous sample
    bool onGround = false;
    GroundState groundState = GroundState::fresh;
};

struct SentEvent {
    uint32_t step = 0;
    uint32_t eventId = 0;
    uint32_t data = 0;
};

// A point of the made-up feed: due at `dueStep` steps after the start; it reaches the stream
// 30 s (3000 steps) earlier, as the feed's points do.
struct FeedPoint {
    StreamPos pos;
    uint32_t dueStep = 0;
};

inline StreamPos makePoint(double lat, double lon, double altFt, double speedKt, double trackDeg, bool airborne,
                           double vsFpm = 0.0) {
    StreamPos p;
    p.lat = lat;
    p.lon = lon;
    p.alt = airborne ? altFt : 0.0;
    p.speed = speedKt;
    p.track = trackDeg;
    p.tas = speedKt;
    p.vs = vsFpm;
    p.airborne = airborne ? 1 : 0;
    return p;
}

inline AcIdentity harnessIdentity(AircraftCategory category, double halfSpanMetres = 17.9) {
    AcIdentity id;
    id.airl = "KLM";
    id.type = category == AircraftCategory::Rotorcraft ? "EC35" : "B738";
    id.callsign = "KLM1234";
    id.reg = "PH-BXA";
    id.hexid = 40001;
    id.title = "Boeing 737-800 KLM";
    id.category = category;
    id.halfWingspan = halfSpanMetres / 1852.0;
    gf_setCategoryValues(id);
    gf_setFlightValues(id);
    id.touchdownSteps = touchdownStepsOfCategory[static_cast<size_t>(category)];
    id.staticCgHeight = 9.5;
    id.staticPitch = 0.01;
    return id;
}

class FlightHarness {
public:
    double terrainFt = 100.0;  // flat world
    std::vector<Sample> track;
    std::vector<SentEvent> events;
    std::vector<uint32_t> touchdownSteps;
    std::deque<FeedPoint> feed;
    uint32_t step = 0;
    size_t acIndex = 0;

    // Puts the aircraft into liveAircraft as active, positioned on its first point.
    LiveAc& start(const StreamPos& first, AcIdentity id, GroundState groundState) {
        clock100.store(harnessClockStart);
        StreamPos p = first;
        p.time = harnessClockStart;
        acIndex = liveAircraft.size();
        LiveAc& ac = liveAircraft.emplace_back(p, std::move(id), 1.0);
        ac.state = AcState::active;
        ac.objectId = harnessObjectId;
        ac.lat = p.lat;
        ac.lon = p.lon;
        ac.onGround = !p.airborne;
        ac.alt = p.airborne ? p.alt : terrainFt + ac.identity.staticCgHeight;
        ac.heading = std::fmod(degToRad(p.track) + 2 * pi, 2 * pi);
        ac.pitch = ac.onGround ? ac.identity.groundPitch : 0.0;
        ac.groundState = groundState;
        ac.aglFt = std::min(2500.0, ac.alt - terrainFt);
        ac.configCountdown = 1;
        ac.lateWindow = 3000;
        ac.earlyWindow = 3000;
        return ac;
    }

    LiveAc& ac() { return liveAircraft[acIndex]; }

    void addFeed(const StreamPos& p, uint32_t dueStep) { feed.push_back({p, dueStep}); }

    // The feed's intake of a point, as the traffic step calls it.
    std::function<void(LiveAc&, StreamPos&)> intake = [](LiveAc& a, StreamPos& p) { decodeExisting(a, p); };

    // One traffic step as the traffic step does it for an active aircraft, then the simulator.
    void runStep() {
        const uint32_t clock = clock100.load();
        while (!feed.empty() && static_cast<int32_t>(harnessClockStart + feed.front().dueStep - 3000 - clock) <= 0) {
            StreamPos p = feed.front().pos;
            p.time = harnessClockStart + feed.front().dueStep;
            feed.pop_front();
            if (ac().state == AcState::active) intake(ac(), p);
        }
        LiveAc& a = ac();
        if (a.state == AcState::active && !a.stream.empty() && static_cast<int32_t>(clock - a.stream.front().time) >= 0) {
            nextPosMain(a);
            a.vsFps = a.targetVs / 60.0;
            a.tas = gf_movesThisStep(a) ? a.targetTas : 0.0;
        }
        LiveAc& b = ac();
        if (b.state == AcState::active && gf_movesThisStep(b)) stepPosition(b);
        simulatorFrame(b);
        Sample s{step, b.lat, b.lon, b.alt, b.heading, 0.0, b.onGround, b.groundState};
        if (!track.empty()) s.speedKt = gf_distanceNm({track.back().lat, track.back().lon}, {s.lat, s.lon}) * 360000.0;
        track.push_back(s);
        collectEvents();
        clock100.fetch_add(1);
        ++step;
    }

    // Runs until the aircraft is gone or `maxSteps` passed.
    void run(uint32_t maxSteps) {
        for (uint32_t i = 0; i < maxSteps && ac().state == AcState::active; ++i) runStep();
    }

    bool gone() { return ac().state != AcState::active; }

    size_t countEvents(uint32_t id) const {
        size_t n = 0;
        for (const auto& e : events) n += e.eventId == id;
        return n;
    }

private:
    // What the simulator reports every 0.2 s below 2500 ft: height and, on the ground, the
    // touchdown and the altitude of the gear on the ground.
    void simulatorFrame(LiveAc& a) {
        if (step % 20 != 0 || a.state != AcState::active) return;
        const double agl = a.alt - terrainFt;
        if (agl >= 2500.0) return;
        const bool simOnGround = agl <= a.identity.staticCgHeight + 0.5;
        if (simOnGround && !a.onGround && a.configCountdown < 2) {
            if (a.groundState != GroundState::climbOut) touchdownSteps.push_back(step);
            gf_touchdown(a);
        }
        a.aglFt = agl;
        if (a.onGround) a.alt = a.identity.staticCgHeight + terrainFt;
    }

    void collectEvents() {
        std::lock_guard lock(simMutex);
        for (const auto& e : simEventQueue) events.push_back({step, e.eventId, e.data});
        simEventQueue.clear();
    }
};

inline std::vector<uint32_t> eventValues(const FlightHarness& h, uint32_t id, uint32_t fromStep = 0, uint32_t toStep = ~0u) {
    std::vector<uint32_t> v;
    for (const auto& e : h.events)
        if (e.eventId == id && e.step >= fromStep && e.step < toStep) v.push_back(e.data);
    return v;
}

// Light sets arrive as seven events in a row, NAV first; answers them in order as bit masks.
inline std::vector<uint32_t> lightSets(const FlightHarness& h) {
    std::vector<uint32_t> sets;
    const auto& e = h.events;
    for (size_t i = 0; i + 6 < e.size(); ++i) {
        if (e[i].eventId != NAV_LIGHTS_SET || e[i + 6].eventId != CABIN_LIGHTS_SET) continue;
        uint32_t m = 0;
        for (size_t k = 0; k < 7; ++k) m |= (e[i + k].data ? 1u : 0u) << k;
        sets.push_back(m);
        i += 6;
    }
    return sets;
}

inline uint32_t maskOf(const LightSet& s) {
    return s.nav | s.beacon << 1 | s.landing << 2 | s.taxi << 3 | s.strobes << 4 | s.logo << 5 | s.cabin << 6;
}

// No move from point `first` on larger than twice the mean move of the hundred around it (no jumps).
template <class Points, class Pos>
void expectNoJumps(const Points& t, Pos pos, size_t first = 1) {
    std::vector<double> d(t.size(), 0.0);
    for (size_t i = 1; i < t.size(); ++i) d[i] = gf_distanceNm(pos(t[i - 1]), pos(t[i]));
    for (size_t i = first; i < t.size(); ++i) {
        const size_t a = i > 50 ? i - 50 : 1, b = std::min(t.size(), i + 50);
        double mean = 0;
        for (size_t k = a; k < b; ++k) mean += d[k];
        ASSERT_LE(d[i], 2.0 * mean / static_cast<double>(b - a) + 1e-7) << "jump at point " << i;
    }
}

inline LatLon offsetMetres(LatLon from, double bearingDeg, double metres) {
    return gf_destination(from, degToRad(bearingDeg), metresToFeet(metres));
}

}  // namespace vdl::test
