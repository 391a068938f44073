// The RealTraffic stand-in: plays RealTraffic's part for the program on this machine. It
// connects to the program's TCP link, answers the version query, follows the user aircraft
// from "Qs121=" and sends RTTFC traffic (UDP 49005) and weather (UDP 49004) on loopback from
// a scenario of flights around Düsseldorf (EDDL). Used by tools/rt_standin.cpp and the tests.
#pragma once

#include <arpa/inet.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "foundation/geo.h"
#include "foundation/text.h"
#include "simulator/sim_scenario.h"

namespace vdl::rtstandin {

inline constexpr double radPerDeg = pi / 180.0;
inline constexpr double feetPerMetre = 3.280839895;
inline constexpr double tanGlide = 0.052407779;      // tan 3 degrees
inline constexpr double magneticVariationDeg = 2.6;  // east, around EDDL

// One point of a flight's path, at a time of the scenario (s from its start).
struct Waypoint {
    double t = 0.0;
    LatLon pos;
    double altFt = 0.0;
    bool airborne = false;  // the leg that ends here is flown, not rolled
    bool tailFirst = false;  // the leg that ends here is pushed back: the nose points against the track
};

struct Flight {
    uint32_t hexid = 0;  // ICAO address as a decimal number
    std::string callsign, type, reg, from, to, flightNumber, category;
    bool mlat = false;        // multilateration: many fields unknown
    bool glider = false;      // FLARM data: no category, no route
    bool staysAtEnd = false;  // parked at its last point after the path (else it leaves the feed)
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
    PathBuilder(double t, LatLon pos, double altFt, bool airborne) {
        path_.push_back({t, pos, altFt, airborne});
    }
    // Straight to `to`, at an even speed from `fromKt` to `toKt`.
    PathBuilder& to(LatLon to, double fromKt, double toKt, double altFt, bool airborne) {
        const Waypoint& last = path_.back();
        const double metres = gf_distanceNm(last.pos, to) * metresPerNm;
        const double mps = std::max(0.5, (fromKt + toKt) / 2.0) * metresPerNm / 3600.0;
        path_.push_back({last.t + metres / mps, to, altFt, airborne});
        return *this;
    }
    // Along a bearing for a time at a speed, changing the altitude at a rate.
    PathBuilder& fly(double bearingDeg, double kt, double seconds, double fpm, bool airborne = true) {
        const Waypoint& last = path_.back();
        const LatLon to = gf_destination(last.pos, bearingDeg * radPerDeg, kt * feetPerNm / 3600.0 * seconds);
        path_.push_back({last.t + seconds, to, last.altFt + fpm * seconds / 60.0, airborne});
        return *this;
    }
    // Pushed back straight to `to` at `kt`, tail first.
    PathBuilder& push(LatLon to, double kt) {
        this->to(to, kt, kt, path_.back().altFt, false);
        path_.back().tailFirst = true;
        return *this;
    }
    PathBuilder& hold(double seconds) {
        Waypoint w = path_.back();
        w.t += seconds;
        path_.push_back(w);
        return *this;
    }
    std::vector<Waypoint> path() const { return path_; }

  private:
    std::vector<Waypoint> path_;
};

inline double lf_trackOf(const Waypoint& a, const Waypoint& b, double fallback) {
    if (gf_distanceNm(a.pos, b.pos) < 1e-6) return fallback;
    return gf_bearing(a.pos, b.pos) / radPerDeg;
}

// The nose's heading on a leg: the track, or its reverse when pushed back (also while standing
// after a pushback).
inline double lf_headingOf(double trackDeg, bool tailFirst) {
    return tailFirst ? std::fmod(trackDeg + 180.0, 360.0) : trackDeg;
}

// The flight at scenario time t; none before its path begins or after it ends (unless it stays).
inline std::optional<Sample> gf_sampleAt(const Flight& f, double t) {
    const auto& p = f.path;
    if (p.empty() || t < p.front().t) return std::nullopt;
    if (t > p.back().t && !f.staysAtEnd) return std::nullopt;
    size_t i = 0;
    while (i + 1 < p.size() && p[i + 1].t <= t) ++i;
    Sample s;
    if (i + 1 >= p.size()) {
        // At the end: standing still where the path ends, facing the last leg's way.
        const Waypoint& last = p.back();
        s.pos = last.pos;
        s.altFt = last.altFt;
        s.airborne = last.airborne;
        s.trackDeg = p.size() > 1 ? lf_trackOf(p[p.size() - 2], last, 0.0) : 0.0;
        for (size_t k = p.size() - 1; k > 0 && s.trackDeg == 0.0; --k)
            s.trackDeg = lf_trackOf(p[k - 1], p[k], 0.0);
        s.headingDeg = lf_headingOf(s.trackDeg, last.tailFirst);
        return s;
    }
    const Waypoint& a = p[i];
    const Waypoint& b = p[i + 1];
    const double span = b.t - a.t;
    const double u = span > 0.0 ? (t - a.t) / span : 0.0;
    s.pos = {a.pos.lat + (b.pos.lat - a.pos.lat) * u, a.pos.lon + (b.pos.lon - a.pos.lon) * u};
    s.altFt = a.altFt + (b.altFt - a.altFt) * u;
    s.airborne = b.airborne;  // a leg is flown (or rolled) as its end point says
    s.groundSpeedKt = span > 0.0 ? gf_distanceNm(a.pos, b.pos) / (span / 3600.0) : 0.0;
    s.verticalFpm = span > 0.0 ? (b.altFt - a.altFt) / span * 60.0 : 0.0;
    // A leg without movement keeps the heading of the leg before it.
    double before = 0.0;
    for (size_t k = i; k > 0 && before == 0.0; --k) before = lf_trackOf(p[k - 1], p[k], 0.0);
    s.trackDeg = lf_trackOf(a, b, before);
    s.headingDeg = lf_headingOf(s.trackDeg, b.tailFirst);
    // Turning toward the next leg over the last 10 s of this one.
    if (i + 2 < p.size() && b.t - t < 10.0) {
        const double next = lf_trackOf(b, p[i + 2], s.trackDeg);
        s.trackRateDps = gf_angleDiff(s.trackDeg * radPerDeg, next * radPerDeg) / radPerDeg / 10.0;
    }
    return s;
}

inline std::string lf_number(double v, int decimals) {
    return fmt::format("{:.{}f}", v, decimals);
}

// One RTTFC line in the field order of RealTraffic's documentation (41 fields).
inline std::string gf_rttfcLine(const Flight& f, const Sample& s, double epochSeconds, double qnhHpa) {
    const double alt = s.airborne ? std::round(s.altFt / 25.0) * 25.0 : 0.0;
    const double tempK = 288.15 - 0.0019812 * std::min(std::max(alt, 0.0), 36089.0);
    const double tas = s.groundSpeedKt;
    const double ias = tas / std::sqrt(std::pow(1.0 - 6.8756e-6 * std::max(alt, 0.0), -4.2561));
    const double mach = tas / (38.967854 * std::sqrt(tempK));
    const double rollDeg =
        std::atan(tas * metresPerNm / 3600.0 * s.trackRateDps * radPerDeg / 9.80665) / radPerDeg;
    double magHeading = s.headingDeg - magneticVariationDeg;
    if (magHeading < 0.0) magHeading += 360.0;
    const std::string msgType = f.glider ? "T_flarm" : (f.mlat ? "X_mlat" : "X_adsb_icao");
    std::vector<std::string> v;
    v.reserve(41);
    v.insert(v.end(),
             {"RTTFC", std::to_string(f.hexid), lf_number(s.pos.lat, 6), lf_number(s.pos.lon, 6),
              lf_number(alt, 0), lf_number(std::round(s.verticalFpm / 32.0) * 32.0, 0),
              s.airborne ? "1" : "0", lf_number(s.trackDeg, 2), lf_number(s.groundSpeedKt, 1), f.callsign,
              f.type, f.reg, f.from, f.to, lf_number(epochSeconds, 1), "X", f.flightNumber, msgType});
    if (f.mlat || f.glider) {
        // alt_geom .. emergency unknown, as multilateration and FLARM report them.
        for (int i = 18; i <= 26; ++i) v.emplace_back();
        v.emplace_back("none");
        v.emplace_back(f.category);
        for (int i = 29; i <= 33; ++i) v.emplace_back();
    } else {
        v.insert(v.end(),
                 {lf_number(alt + 175.0, 0), lf_number(ias, 0), lf_number(tas, 0), lf_number(mach, 3),
                  lf_number(s.trackRateDps, 2), lf_number(rollDeg, 2), lf_number(magHeading, 2),
                  lf_number(s.headingDeg, 2), lf_number(std::round(s.verticalFpm / 32.0) * 32.0, 0), "none",
                  f.category, lf_number(qnhHpa, 1), s.airborne ? "5008" : "", "-1", lf_number(magHeading, 2),
                  s.airborne ? "autopilot|vnav|lnav|tcas" : ""});
    }
    v.insert(v.end(), {"0.3", "-14.2", "230", "12", "8", "10", f.glider ? "0" : "1"});
    std::string line;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) line += ',';
        line += v[i];
    }
    return line;
}

inline Flight lf_flight(uint32_t hexid, std::string cs, std::string type, std::string reg, std::string from,
                        std::string to, std::string flightNumber, std::string category,
                        std::vector<Waypoint> path, bool stays = false) {
    Flight f;
    f.hexid = hexid;
    f.callsign = std::move(cs);
    f.type = std::move(type);
    f.reg = std::move(reg);
    f.from = std::move(from);
    f.to = std::move(to);
    f.flightNumber = std::move(flightNumber);
    f.category = std::move(category);
    f.path = std::move(path);
    f.staysAtEnd = stays;
    return f;
}

// Around EDDL, from the scenario's start: arrivals on 23R's 3-degree glide path that land and
// vacate (one from 15 nm out that taxis in), a departure from 23L, a departure from a gate with
// pushback, a taxi-out, aircraft parked at the gates, overflights and general aviation (two on
// multilateration, a glider).
inline std::vector<Flight> gf_eddlScenario() {
    using namespace eddl;
    const double elev = elevationFt;
    const double rwy23 = runwayHeadingDeg + 180.0;
    const double half23R = northRunwayLengthM / 2.0;
    const double half23L = southRunwayLengthM / 2.0;
    auto north = [](double along, double right) { return gf_runwayPoint(true, along, right); };
    auto south = [](double along, double right) { return gf_runwayPoint(false, along, right); };
    // On the glide path `nm` before 23R's threshold (crossing it at 50 ft).
    auto onFinal = [&](double nm) {
        return std::pair{north(half23R + nm * metresPerNm, 0.0), elev + 50.0 + nm * feetPerNm * tanGlide};
    };
    std::vector<Flight> flights;

    // Arrival 23R: lands, rolls out and vacates to the south-east.
    {
        const auto [start, alt] = onFinal(2.6);
        PathBuilder b(0.0, start, alt, true);
        b.to(north(half23R - 300.0, 0.0), 135, 135, elev, true)
            .to(north(half23R - 1500.0, 0.0), 130, 25, elev, false)
            .to(north(half23R - 1650.0, 150.0), 20, 15, elev, false)
            .to(north(half23R - 1650.0, 420.0), 15, 15, elev, false);
        flights.push_back(
            lf_flight(3770080, "AFR18TC", "E170", "F-HBXA", "CDG", "DUS", "AF1806", "A3", b.path(), true));
    }
    // A second arrival further out on the same approach.
    {
        const auto [start, alt] = onFinal(7.0);
        PathBuilder b(0.0, start, alt, true);
        b.to(north(half23R - 300.0, 0.0), 150, 140, elev, true)
            .to(north(half23R - 1800.0, 0.0), 140, 25, elev, false);
        flights.push_back(
            lf_flight(3951276, "EWG9LM", "A320", "D-AEWM", "LHR", "DUS", "EW9463", "A3", b.path(), true));
    }
    // Departure 23L from the threshold: line-up, roll, climb-out straight ahead.
    {
        PathBuilder b(4.0, south(half23L - 60.0, 0.0), elev, false);
        b.hold(6.0)
            .to(south(half23L - 1210.0, 0.0), 0, 150, elev, false)
            .fly(rwy23, 165, 60, 2500)
            .fly(rwy23 - 30.0, 220, 120, 2000);
        flights.push_back(
            lf_flight(3958369, "DLH9UE", "A20N", "D-AINA", "DUS", "MUC", "LH2009", "A3", b.path()));
    }
    // Taxi-out from a gate to 23L's holding point.
    {
        const LatLon gate{51.277954, 6.756878};
        PathBuilder b(0.0, gate, elev, false);
        b.hold(15.0)
            .to(south(-60.0, taxiwayOffsetM + 120.0), 5, 12, elev, false)
            .to(south(-60.0, taxiwayOffsetM), 12, 15, elev, false)
            .to(south(half23L - 80.0, taxiwayOffsetM), 15, 15, elev, false)
            .to(south(half23L - 80.0, 70.0), 12, 6, elev, false);
        flights.push_back(
            lf_flight(4958403, "TKJ2WT", "B738", "TC-JFC", "DUS", "SAW", "VF2166", "A3", b.path(), true));
    }
    // A complete arrival: from 15 nm on 23R's 3-degree glide path (165 kt to 5 nm, then slowing
    // to the approach speed) to the touchdown 300 m past the threshold, roll-out to taxi speed,
    // the exit to the south-east and the taxi in on the apron. It ends well within the
    // simulator's ten minutes, the feed's 30 s delay included.
    {
        const auto [start, alt] = onFinal(15.0);
        const auto [slowDown, slowDownAlt] = onFinal(5.0);
        PathBuilder b(0.0, start, alt, true);
        // The roll-out in parts, so that each record's speed is that of its part of the runway.
        b.to(slowDown, 165, 165, slowDownAlt, true)
            .to(north(half23R - 300.0, 0.0), 160, 135, elev, true)
            .to(north(half23R - 700.0, 0.0), 135, 110, elev, false)
            .to(north(half23R - 1100.0, 0.0), 110, 80, elev, false)
            .to(north(half23R - 1450.0, 0.0), 80, 45, elev, false)
            .to(north(half23R - 1600.0, 0.0), 45, 28, elev, false)
            .to(north(half23R - 1700.0, 0.0), 28, 18, elev, false)
            .to(north(half23R - 1840.0, 140.0), 18, 16, elev, false)
            .to(north(half23R - 1840.0, 420.0), 16, 18, elev, false)
            .to(north(half23R - 2400.0, 420.0), 20, 16, elev, false)
            .to(north(half23R - 2400.0, 540.0), 10, 5, elev, false);
        flights.push_back(lf_flight(3949830, "DLH4TC", "A320", "D-AIZC", "MUC", "DUS", "LH2010", "A3", b.path(), true));
    }
    // A complete departure: parked at a gate, pushed back straight and turned tail to the south-west,
    // engines started, taxi to 23L's holding point, line-up, take-off roll, rotation and climb-out;
    // airborne well before the simulator's ten minutes end, the feed's 30 s delay included.
    {
        const LatLon gate{51.276880, 6.759350};
        const double nose = 322.0;  // towards the terminal
        const LatLon backed = gf_destination(gate, (nose + 180.0) * radPerDeg, 45.0 * feetPerMetre);
        const LatLon turned = gf_destination(backed, (nose + 270.0) * radPerDeg, 18.0 * feetPerMetre);
        PathBuilder b(0.0, gate, elev, false);
        b.hold(20.0).push(backed, 3).push(turned, 3).hold(15.0)
            .to(south(-60.0, taxiwayOffsetM + 120.0), 8, 12, elev, false)
            .to(south(-60.0, taxiwayOffsetM), 12, 16, elev, false)
            .to(south(half23L - 80.0, taxiwayOffsetM), 18, 18, elev, false)
            .to(south(half23L - 80.0, 70.0), 14, 8, elev, false)
            .to(south(half23L - 60.0, 0.0), 6, 4, elev, false)
            .hold(10.0)
            .to(south(half23L - 260.0, 0.0), 0, 60, elev, false)
            .to(south(half23L - 560.0, 0.0), 60, 100, elev, false)
            .to(south(half23L - 910.0, 0.0), 100, 130, elev, false)
            .to(south(half23L - 1260.0, 0.0), 130, 155, elev, false)
            .fly(rwy23, 165, 60, 2500)
            .fly(rwy23 - 30.0, 220, 120, 2000);
        flights.push_back(lf_flight(3949831, "EWG7KT", "A320", "D-AEWK", "DUS", "PMI", "EW582", "A3", b.path()));
    }
    // Parked at the gates.
    flights.push_back(lf_flight(4962381, "PGT31FP", "A20N", "TC-NBM", "AYT", "DUS", "PC1040", "A3",
                                {{0.0, {51.276054, 6.758448}, elev, false}}, true));
    flights.push_back(lf_flight(4196594, "BAW1DL", "A319", "G-EUPY", "LHR", "DUS", "BA936", "A3",
                                {{0.0, {51.277485, 6.760433}, elev, false}}, true));
    // Overflights.
    flights.push_back(
        lf_flight(4768034, "RYR75ZZ", "B738", "SP-RKC", "BUD", "MAN", "FR8357", "A3",
                  PathBuilder(0.0, {51.208346, 6.9104}, 38000, true).fly(290.17, 429, 600, 0).path()));
    flights.push_back(
        lf_flight(9004118, "UAE31V", "A388", "A6-EUA", "AMS", "DXB", "EK148", "A5",
                  PathBuilder(0.0, {51.604294, 6.514744}, 25825, true).fly(133.38, 450, 240, 1344).path()));
    // General aviation: one on ADS-B, two on multilateration, a glider with a ghost callsign.
    flights.push_back(
        lf_flight(4003139, "DEGHN", "C172", "D-EGHN", "", "", "DEGHN", "A1",
                  PathBuilder(0.0, {51.197918, 7.664871}, 6250, true).fly(300.87, 107, 600, 0).path()));
    {
        Flight f = lf_flight(4011981, "DETJP", "C172", "D-ETJP", "", "", "DETJP", "A1",
                             PathBuilder(0.0, {51.380, 6.720}, 1500, true).fly(157, 95, 400, 0).path());
        f.mlat = true;
        flights.push_back(std::move(f));
        Flight g = lf_flight(4000114, "DEBVE", "A210", "D-EBVE", "", "", "DEBVE", "",
                             PathBuilder(0.0, {51.422986, 6.921465}, 1625, true).fly(62, 152, 400, 0).path());
        g.mlat = true;
        flights.push_back(std::move(g));
        Flight h = lf_flight(16712241, "D4492_", "ASW20", "", "", "", "", "",
                             PathBuilder(0.0, {51.386032, 6.591233}, 2100, true)
                                 .fly(231, 48, 60, -150)
                                 .fly(51, 48, 60, 300)
                                 .fly(231, 48, 60, -150)
                                 .fly(51, 48, 60, 300)
                                 .path());
        h.glider = true;
        flights.push_back(std::move(h));
    }
    return flights;
}

// The weather datagram; the QNH comes as a number or, every other time, as a text.
inline std::string gf_weatherJson(double qnhHpa, bool qnhAsText) {
    const std::string q = qnhAsText ? fmt::format("\"{:.1f}\"", qnhHpa) : fmt::format("{:.1f}", qnhHpa);
    return fmt::format(
        "{{\"ICAO\":\"EDDL\",\"QNH\":{},\"METAR\":\"EDDL 061220Z 23012KT 9999 FEW035 08/03 Q{:.0f} NOSIG\","
        "\"TA\":5000,\"locWX\":{{\"Info\":\"2026-12-06_1220Z\",\"ST\":8.0,\"SWSPD\":6.2,\"SWDIR\":230}}}}",
        q, std::floor(qnhHpa));
}

// The user aircraft from "Qs121=pitch;bank;heading;alt;tas;lat;lon" (latitude and longitude in
// radians); none for a line that is not one.
inline std::optional<LatLon> gf_userPositionOf(std::string_view line) {
    constexpr std::string_view tag = "Qs121=";
    if (!line.starts_with(tag)) return std::nullopt;
    const auto items = gf_split(line.substr(tag.size()), ';');
    if (items.size() != 7) return std::nullopt;
    try {
        const double lat = std::stod(items[5]) / radPerDeg;
        const double lon = std::stod(items[6]) / radPerDeg;
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0 || std::fabs(lon) > 180.0)
            return std::nullopt;
        return LatLon{lat, lon};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

struct Config {
    // Ports as they are known; 0: not open (yet).
    std::function<uint16_t()> linkPort = [] { return uint16_t{10747}; };
    std::function<uint16_t()> trafficPort = [] { return uint16_t{49005}; };
    std::function<uint16_t()> qnhPort = [] { return uint16_t{49004}; };
    double connectTimeoutSeconds = 120.0;  // no program to connect to: give up
    double lingerSeconds = 5.0;            // after the link closed: wait this long for a new one
    double rangeNm = 100.0;                // traffic sent around the user aircraft
    double qnhHpa = 1017.3;
    std::string version = "10.0.240";
    int level = 2;  // professional: the program also sends the simulator's time
    std::ostream* log = nullptr;
};

struct Stats {
    std::atomic<int> connections{0};
    std::atomic<int> versionQueries{0};
    std::atomic<int> userStates{0};
    std::atomic<int> simTimes{0};
    std::atomic<int> exits{0};
    std::atomic<int> trafficLines{0};
    std::atomic<int> weatherDatagrams{0};
};

class RealTrafficStandIn {
  public:
    explicit RealTrafficStandIn(Config config) : config_(std::move(config)), flights_(gf_eddlScenario()) {}
    ~RealTrafficStandIn() {
        closeLink();
        if (udp_ >= 0) ::close(udp_);
    }
    RealTrafficStandIn(const RealTrafficStandIn&) = delete;
    RealTrafficStandIn& operator=(const RealTrafficStandIn&) = delete;

    const Stats& stats() const { return stats_; }

    // Runs until the program is gone (its link closed and not back within lingerSeconds), no
    // program came within connectTimeoutSeconds, or a stop is asked. True when it was connected.
    bool run(std::stop_token stop) {
        using Clock = std::chrono::steady_clock;
        udp_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const auto started = Clock::now();
        auto lostAt = Clock::time_point{};
        std::optional<Clock::time_point> scenarioStart;
        double nextTraffic = 0.0;
        double nextWeather = 0.0;
        bool qnhAsText = false;
        while (!stop.stop_requested()) {
            const auto now = Clock::now();
            if (fd_ < 0) {
                if (connect()) {
                    ++stats_.connections;
                    say("connected to the program's link");
                } else if (stats_.connections.load() > 0
                               ? seconds(now - lostAt) > config_.lingerSeconds
                               : seconds(now - started) > config_.connectTimeoutSeconds) {
                    break;
                }
            }
            if (fd_ >= 0 && !serveLink()) {
                closeLink();
                lostAt = Clock::now();
                say("the program's link closed");
            }
            if (user_ && !scenarioStart) {
                scenarioStart = Clock::now();
                say(fmt::format("user aircraft at {:.4f},{:.4f}: the scenario starts", user_->lat,
                                user_->lon));
            }
            if (scenarioStart) {
                const double t = seconds(Clock::now() - *scenarioStart);
                if (t >= nextTraffic) {
                    sendTraffic(t);
                    nextTraffic += 1.0;
                }
                if (t >= nextWeather) {
                    send(config_.qnhPort(), gf_weatherJson(config_.qnhHpa, qnhAsText));
                    ++stats_.weatherDatagrams;
                    qnhAsText = !qnhAsText;
                    nextWeather += 10.0;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        closeLink();
        return stats_.connections.load() > 0;
    }

  private:
    static double seconds(std::chrono::steady_clock::duration d) {
        return std::chrono::duration<double>(d).count();
    }

    void say(std::string_view text) {
        if (config_.log) *config_.log << "rt_standin: " << text << std::endl;
    }

    bool connect() {
        const uint16_t port = config_.linkPort();
        if (port == 0) return false;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            if (fd >= 0) ::close(fd);
            return false;
        }
        fd_ = fd;
        return true;
    }

    void closeLink() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        pending_.clear();
    }

    // Reads what the program sent; false when the link closed.
    bool serveLink() {
        pollfd p{fd_, POLLIN, 0};
        while (::poll(&p, 1, 0) > 0) {
            char buffer[4096];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0) return false;
            pending_.append(buffer, static_cast<size_t>(got));
            for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
                const std::string line = gf_trim(pending_.substr(0, nl));
                pending_.erase(0, nl + 1);
                if (!handleLine(line)) return false;
            }
        }
        return true;
    }

    bool handleLine(const std::string& line) {
        if (line == "Qs999=version") {
            ++stats_.versionQueries;
            const std::string reply =
                fmt::format("{{\"version\":\"{}\",\"level\":{}}}\r\n", config_.version, config_.level);
            return ::send(fd_, reply.data(), reply.size(), MSG_NOSIGNAL) ==
                   static_cast<ssize_t>(reply.size());
        }
        if (auto pos = gf_userPositionOf(line)) {
            ++stats_.userStates;
            user_ = pos;
            return true;
        }
        if (line.starts_with("Qs123=")) {
            ++stats_.simTimes;
            return true;
        }
        if (line == "exit") {
            ++stats_.exits;
            return false;
        }
        return true;
    }

    void send(uint16_t port, const std::string& datagram) {
        if (port == 0 || udp_ < 0) return;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(port);
        ::sendto(udp_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    }

    void sendTraffic(double t) {
        const uint16_t port = config_.trafficPort();
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        for (const Flight& f : flights_) {
            const auto s = gf_sampleAt(f, t);
            if (!s || gf_distanceNm(*user_, s->pos) > config_.rangeNm) continue;
            send(port, gf_rttfcLine(f, *s, now, config_.qnhHpa));
            if (port != 0) ++stats_.trafficLines;
        }
    }

    Config config_;
    std::vector<Flight> flights_;
    Stats stats_;
    int fd_ = -1;
    int udp_ = -1;
    std::string pending_;
    std::optional<LatLon> user_;
};

}  // namespace vdl::rtstandin
