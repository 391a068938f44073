// What the RealTraffic stand-in sends: a scenario of flights around Düsseldorf (EDDL), where
// each flight is at a time, and the RTTFC traffic lines and weather datagrams made of that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/geo.h"

namespace vdl::rtstandin {

inline constexpr double tanGlide = 0.052407779;      // tan 3 degrees
inline constexpr double magneticVariationDeg = 2.6;  // east, around EDDL

// One point of a flight's path, at a time of the scenario (s from its start).
struct Waypoint {
    double t = 0.0;
    LatLon pos;
    double altFt = 0.0;
    bool airborne = false;   // the leg that ends here is flown, not rolled
    bool tailFirst = false;  // the leg that ends here is pushed back: the nose points against the track
};

struct Flight {
    uint32_t hexid = 0;  // ICAO address as a decimal number
    std::string callsign, type, reg, from, to, flightNumber, category;
    bool mlat = false;        // multilateration: many fields unknown
    bool glider = false;      // FLARM data: no category, no route
    bool staysAtEnd = false;  // parked at its last point after the path (else it leaves the feed)
    int everySeconds = 1;     // a line every this many seconds
    std::vector<Waypoint> path;
};

// Where a flight is at a time.
struct Sample {
    LatLon pos;
    double altFt = 0.0;
    double groundSpeedKt = 0.0;
    double trackDeg = 0.0;
    double headingDeg = 0.0;  // true heading: the track, or its reverse on a pushback
    double verticalFpm = 0.0;
    double trackRateDps = 0.0;
    bool airborne = false;
};

// Builds a path leg by leg at given speeds.
class PathBuilder {
  public:
    PathBuilder(double t, LatLon pos, double altFt, bool airborne);
    // Straight to `to`, at an even speed from `fromKt` to `toKt`.
    PathBuilder& to(LatLon to, double fromKt, double toKt, double altFt, bool airborne);
    // Along a bearing for a time at a speed, changing the altitude at a rate.
    PathBuilder& fly(double bearingDeg, double kt, double seconds, double fpm, bool airborne = true);
    // Pushed back straight to `to` at `kt`, tail first.
    PathBuilder& push(LatLon to, double kt);
    PathBuilder& hold(double seconds);
    std::vector<Waypoint> path() const { return path_; }

  private:
    std::vector<Waypoint> path_;
};

// The flight at scenario time t; none before its path begins or after it ends (unless it stays).
std::optional<Sample> gf_sampleAt(const Flight& f, double t);

// One RTTFC line in the field order of RealTraffic's documentation (41 fields).
std::string gf_rttfcLine(const Flight& f, const Sample& s, double epochSeconds, double qnhHpa);

// Around EDDL, from the scenario's start: arrivals on 23R's 3-degree glide path that land and
// vacate (one from 15 nm out that taxis in), a departure from 23L, a departure from a gate with
// pushback, a taxi-out, aircraft parked at the gates, overflights and general aviation (two on
// multilateration, a glider).
std::vector<Flight> gf_eddlScenario();

// The weather datagram; the QNH comes as a number or, every other time, as a text.
std::string gf_weatherJson(double qnhHpa, bool qnhAsText);

}  // namespace vdl::rtstandin
