#include "standins/rt_flights.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "foundation/units.h"
#include "simulator/sim_scenario.h"

namespace vdl::rtstandin {

namespace {

double lf_trackOf(const Waypoint& a, const Waypoint& b, double fallback) {
    if (gf_distanceNm(a.pos, b.pos) < 1e-6) return fallback;
    return radToDeg(gf_bearing(a.pos, b.pos));
}

// The nose's heading on a leg: the track, or its reverse when pushed back (also while standing
// after a pushback).
double lf_headingOf(double trackDeg, bool tailFirst) {
    return tailFirst ? std::fmod(trackDeg + 180.0, 360.0) : trackDeg;
}

// Standing still where the path ends, facing the last leg's way.
Sample lf_sampleAtEnd(const std::vector<Waypoint>& p) {
    const Waypoint& last = p.back();
    Sample s;
    s.pos = last.pos;
    s.altFt = last.altFt;
    s.airborne = last.airborne;
    s.trackDeg = p.size() > 1 ? lf_trackOf(p[p.size() - 2], last, 0.0) : 0.0;
    for (size_t k = p.size() - 1; k > 0 && s.trackDeg == 0.0; --k)
        s.trackDeg = lf_trackOf(p[k - 1], p[k], 0.0);
    s.headingDeg = lf_headingOf(s.trackDeg, last.tailFirst);
    return s;
}

std::string lf_numberText(double v, int decimals) {
    return fmt::format("{:.{}f}", v, decimals);
}

Flight lf_flight(uint32_t hexid, std::string cs, std::string type, std::string reg, std::string from,
                 std::string to, std::string flightNumber, std::string category, std::vector<Waypoint> path,
                 bool stays = false) {
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

using eddl::elevationFt;
constexpr double rwy23 = eddl::runwayHeadingDeg + 180.0;
constexpr double half23R = eddl::northRunwayLengthM / 2.0;
constexpr double half23L = eddl::southRunwayLengthM / 2.0;

LatLon lf_north(double along, double right) {
    return eddl::gf_runwayPoint(true, along, right);
}
LatLon lf_south(double along, double right) {
    return eddl::gf_runwayPoint(false, along, right);
}

// On the glide path `nm` before 23R's threshold (crossing it at 50 ft): position and altitude.
std::pair<LatLon, double> lf_onFinal(double nm) {
    return {lf_north(half23R + nmToMetres(nm), 0.0), elevationFt + 50.0 + nmToFeet(nm) * tanGlide};
}

// Around the runways: two arrivals on 23R that land and stop on the runway or its exit, a
// departure from 23L's threshold and a taxi-out that stops at 23L's holding point.
void lf_addRunwayTraffic(std::vector<Flight>& flights) {
    const double elev = elevationFt;
    // Arrival 23R: lands, rolls out and vacates to the south-east.
    {
        const auto [start, alt] = lf_onFinal(2.6);
        PathBuilder b(0.0, start, alt, true);
        b.to(lf_north(half23R - 300.0, 0.0), 135, 135, elev, true)
            .to(lf_north(half23R - 1500.0, 0.0), 130, 25, elev, false)
            .to(lf_north(half23R - 1650.0, 150.0), 20, 15, elev, false)
            .to(lf_north(half23R - 1650.0, 420.0), 15, 15, elev, false);
        flights.push_back(
            lf_flight(3770080, "AFR18TC", "E170", "F-HBXA", "CDG", "DUS", "AF1806", "A3", b.path(), true));
    }
    // A second arrival further out on the same approach.
    {
        const auto [start, alt] = lf_onFinal(7.0);
        PathBuilder b(0.0, start, alt, true);
        b.to(lf_north(half23R - 300.0, 0.0), 150, 140, elev, true)
            .to(lf_north(half23R - 1800.0, 0.0), 140, 25, elev, false);
        flights.push_back(
            lf_flight(3951276, "EWG9LM", "A320", "D-AEWM", "LHR", "DUS", "EW9463", "A3", b.path(), true));
    }
    // Departure 23L from the threshold: line-up, roll, climb-out straight ahead.
    {
        PathBuilder b(4.0, lf_south(half23L - 60.0, 0.0), elev, false);
        b.hold(6.0)
            .to(lf_south(half23L - 1210.0, 0.0), 0, 150, elev, false)
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
            .to(lf_south(-60.0, eddl::taxiwayOffsetM + 120.0), 5, 12, elev, false)
            .to(lf_south(-60.0, eddl::taxiwayOffsetM), 12, 15, elev, false)
            .to(lf_south(half23L - 80.0, eddl::taxiwayOffsetM), 15, 15, elev, false)
            .to(lf_south(half23L - 80.0, 70.0), 12, 6, elev, false);
        flights.push_back(
            lf_flight(4958403, "TKJ2WT", "B738", "TC-JFC", "DUS", "SAW", "VF2166", "A3", b.path(), true));
    }
}

// Two complete flights: an arrival on 23R from 15 nm out to the apron and a departure from a
// gate with pushback that climbs out from 23L.
void lf_addCompleteFlights(std::vector<Flight>& flights) {
    const double elev = elevationFt;
    // The arrival: from 15 nm (165 kt to 5 nm, then slowing to the approach speed) to the
    // touchdown 300 m past the threshold, roll-out to taxi speed, the exit to the south-east and
    // the taxi in on the apron. It ends well within the simulator's ten minutes, the feed's 30 s
    // delay included.
    {
        const auto [start, alt] = lf_onFinal(15.0);
        const auto [slowDown, slowDownAlt] = lf_onFinal(5.0);
        PathBuilder b(0.0, start, alt, true);
        // The roll-out in parts, so that each record's speed is that of its part of the runway.
        b.to(slowDown, 165, 165, slowDownAlt, true)
            .to(lf_north(half23R - 300.0, 0.0), 160, 135, elev, true)
            .to(lf_north(half23R - 700.0, 0.0), 135, 110, elev, false)
            .to(lf_north(half23R - 1100.0, 0.0), 110, 80, elev, false)
            .to(lf_north(half23R - 1450.0, 0.0), 80, 45, elev, false)
            .to(lf_north(half23R - 1600.0, 0.0), 45, 28, elev, false)
            .to(lf_north(half23R - 1700.0, 0.0), 28, 18, elev, false)
            .to(lf_north(half23R - 1840.0, 140.0), 18, 16, elev, false)
            .to(lf_north(half23R - 1840.0, 420.0), 16, 18, elev, false)
            .to(lf_north(half23R - 2400.0, 420.0), 20, 16, elev, false)
            .to(lf_north(half23R - 2400.0, 540.0), 10, 5, elev, false);
        flights.push_back(
            lf_flight(3949830, "DLH4TC", "A320", "D-AIZC", "MUC", "DUS", "LH2010", "A3", b.path(), true));
    }
    // The departure: parked at a gate, pushed back straight and turned tail to the south-west,
    // engines started, taxi to 23L's holding point, line-up, take-off roll, rotation and
    // climb-out; airborne well before the simulator's ten minutes end, the feed's 30 s delay
    // included.
    {
        const LatLon gate{51.276880, 6.759350};
        const double nose = 322.0;  // towards the terminal
        const LatLon backed = gf_destination(gate, degToRad(nose + 180.0), metresToFeet(45.0));
        const LatLon turned = gf_destination(backed, degToRad(nose + 270.0), metresToFeet(18.0));
        PathBuilder b(0.0, gate, elev, false);
        b.hold(20.0)
            .push(backed, 3)
            .push(turned, 3)
            .hold(15.0)
            .to(lf_south(-60.0, eddl::taxiwayOffsetM + 120.0), 8, 12, elev, false)
            .to(lf_south(-60.0, eddl::taxiwayOffsetM), 12, 16, elev, false)
            .to(lf_south(half23L - 80.0, eddl::taxiwayOffsetM), 18, 18, elev, false)
            .to(lf_south(half23L - 80.0, 70.0), 14, 8, elev, false)
            .to(lf_south(half23L - 60.0, 0.0), 6, 4, elev, false)
            .hold(10.0)
            .to(lf_south(half23L - 260.0, 0.0), 0, 60, elev, false)
            .to(lf_south(half23L - 560.0, 0.0), 60, 100, elev, false)
            .to(lf_south(half23L - 910.0, 0.0), 100, 130, elev, false)
            .to(lf_south(half23L - 1260.0, 0.0), 130, 155, elev, false)
            .fly(rwy23, 165, 60, 2500)
            .fly(rwy23 - 30.0, 220, 120, 2000);
        flights.push_back(
            lf_flight(3949831, "EWG7KT", "A320", "D-AEWK", "DUS", "PMI", "EW582", "A3", b.path()));
    }
}

// Parked at the gates, overflights and general aviation: one on ADS-B, two on
// multilateration, a glider with a ghost callsign.
void lf_addOthers(std::vector<Flight>& flights) {
    const double elev = elevationFt;
    flights.push_back(lf_flight(4960467, "PGT52K", "A20N", "TC-NBM", "AYT", "DUS", "PC1040", "A3",
                                {{0.0, {51.276331, 6.758016}, elev, false}}, true));
    flights.push_back(lf_flight(4195032, "BAW9QC", "A319", "G-EUPY", "LHR", "DUS", "BA936", "A3",
                                {{0.0, {51.277910, 6.761120}, elev, false}}, true));
    flights.push_back(
        lf_flight(4766219, "RYR41QK", "B738", "SP-RKC", "BUD", "MAN", "FR8357", "A3",
                  PathBuilder(0.0, {51.213570, 6.902210}, 38000, true).fly(290.17, 429, 600, 0).path()));
    flights.push_back(
        lf_flight(9001442, "UAE7KM", "A388", "A6-EUA", "AMS", "DXB", "EK148", "A5",
                  PathBuilder(0.0, {51.581190, 6.538210}, 25825, true).fly(133.38, 450, 240, 1344).path()));
    flights.push_back(
        lf_flight(4003802, "DEGKL", "C172", "D-EGKL", "", "", "DEGKL", "A1",
                  PathBuilder(0.0, {51.204370, 7.651420}, 6250, true).fly(300.87, 107, 600, 0).path()));
    Flight f = lf_flight(4012207, "DETQW", "C172", "D-ETQW", "", "", "DETQW", "A1",
                         PathBuilder(0.0, {51.380, 6.720}, 1500, true).fly(157, 95, 400, 0).path());
    f.mlat = true;
    flights.push_back(std::move(f));
    Flight g = lf_flight(4000561, "DEBRA", "A210", "D-EBRA", "", "", "DEBRA", "",
                         PathBuilder(0.0, {51.417730, 6.929980}, 1625, true).fly(62, 152, 400, 0).path());
    g.mlat = true;
    flights.push_back(std::move(g));
    Flight h = lf_flight(16714807, "D5817_", "ASW20", "", "", "", "", "",
                         PathBuilder(0.0, {51.391250, 6.604470}, 2100, true)
                             .fly(231, 48, 60, -150)
                             .fly(51, 48, 60, 300)
                             .fly(231, 48, 60, -150)
                             .fly(51, 48, 60, 300)
                             .path());
    h.glider = true;
    flights.push_back(std::move(h));
}

}  // namespace

PathBuilder::PathBuilder(double t, LatLon pos, double altFt, bool airborne) {
    path_.push_back({t, pos, altFt, airborne});
}

PathBuilder& PathBuilder::to(LatLon to, double fromKt, double toKt, double altFt, bool airborne) {
    const Waypoint& last = path_.back();
    const double metres = nmToMetres(gf_distanceNm(last.pos, to));
    const double mps = ktToMps(std::max(0.5, (fromKt + toKt) / 2.0));
    path_.push_back({last.t + metres / mps, to, altFt, airborne});
    return *this;
}

PathBuilder& PathBuilder::fly(double bearingDeg, double kt, double seconds, double fpm, bool airborne) {
    const Waypoint& last = path_.back();
    const LatLon to = gf_destination(last.pos, degToRad(bearingDeg), nmToFeet(ktToNmPerSecond(kt) * seconds));
    path_.push_back({last.t + seconds, to, last.altFt + fpm * seconds / 60.0, airborne});
    return *this;
}

PathBuilder& PathBuilder::push(LatLon to, double kt) {
    this->to(to, kt, kt, path_.back().altFt, false);
    path_.back().tailFirst = true;
    return *this;
}

PathBuilder& PathBuilder::hold(double seconds) {
    Waypoint w = path_.back();
    w.t += seconds;
    path_.push_back(w);
    return *this;
}

std::optional<Sample> gf_sampleAt(const Flight& f, double t) {
    const auto& p = f.path;
    if (p.empty() || t < p.front().t) return std::nullopt;
    if (t > p.back().t && !f.staysAtEnd) return std::nullopt;
    size_t i = 0;
    while (i + 1 < p.size() && p[i + 1].t <= t) ++i;
    if (i + 1 >= p.size()) return lf_sampleAtEnd(p);
    const Waypoint& a = p[i];
    const Waypoint& b = p[i + 1];
    const double span = b.t - a.t;
    const double u = span > 0.0 ? (t - a.t) / span : 0.0;
    Sample s;
    s.pos = {a.pos.lat + (b.pos.lat - a.pos.lat) * u, a.pos.lon + (b.pos.lon - a.pos.lon) * u};
    s.altFt = a.altFt + (b.altFt - a.altFt) * u;
    s.airborne = b.airborne;  // a leg is flown (or rolled) as its end point says
    s.groundSpeedKt = span > 0.0 ? gf_distanceNm(a.pos, b.pos) / (span / secondsPerHour) : 0.0;
    s.verticalFpm = span > 0.0 ? (b.altFt - a.altFt) / span * 60.0 : 0.0;
    // A leg without movement keeps the heading of the leg before it.
    double before = 0.0;
    for (size_t k = i; k > 0 && before == 0.0; --k) before = lf_trackOf(p[k - 1], p[k], 0.0);
    s.trackDeg = lf_trackOf(a, b, before);
    s.headingDeg = lf_headingOf(s.trackDeg, b.tailFirst);
    // Turning toward the next leg over the last 10 s of this one.
    if (i + 2 < p.size() && b.t - t < 10.0) {
        const double next = lf_trackOf(b, p[i + 2], s.trackDeg);
        s.trackRateDps = radToDeg(gf_angleDiff(degToRad(s.trackDeg), degToRad(next))) / 10.0;
    }
    return s;
}

std::string gf_rttfcLine(const Flight& f, const Sample& s, double epochSeconds, double qnhHpa) {
    const double alt = s.airborne ? std::round(s.altFt / 25.0) * 25.0 : 0.0;
    const double tempK = 288.15 - 0.0019812 * std::min(std::max(alt, 0.0), 36089.0);
    const double tas = s.groundSpeedKt;
    const double ias = tas / std::sqrt(std::pow(1.0 - 6.8756e-6 * std::max(alt, 0.0), -4.2561));
    const double mach = tas / (38.967854 * std::sqrt(tempK));
    const double rollDeg = radToDeg(std::atan(ktToMps(tas) * degToRad(s.trackRateDps) / standardGravity));
    double magHeading = s.headingDeg - magneticVariationDeg;
    if (magHeading < 0.0) magHeading += 360.0;
    const std::string msgType = f.glider ? "T_flarm" : (f.mlat ? "X_mlat" : "X_adsb_icao");
    std::vector<std::string> v;
    v.reserve(41);
    v.insert(v.end(),
             {"RTTFC", std::to_string(f.hexid), lf_numberText(s.pos.lat, 6), lf_numberText(s.pos.lon, 6),
              lf_numberText(alt, 0), lf_numberText(std::round(s.verticalFpm / 32.0) * 32.0, 0),
              s.airborne ? "1" : "0", lf_numberText(s.trackDeg, 2), lf_numberText(s.groundSpeedKt, 1), f.callsign,
              f.type, f.reg, f.from, f.to, lf_numberText(epochSeconds, 1), "X", f.flightNumber, msgType});
    if (f.mlat || f.glider) {
        // alt_geom .. emergency unknown, as multilateration and FLARM report them.
        for (int i = 18; i <= 26; ++i) v.emplace_back();
        v.emplace_back("none");
        v.emplace_back(f.category);
        for (int i = 29; i <= 33; ++i) v.emplace_back();
    } else {
        v.insert(v.end(),
                 {lf_numberText(alt + 175.0, 0), lf_numberText(ias, 0), lf_numberText(tas, 0), lf_numberText(mach, 3),
                  lf_numberText(s.trackRateDps, 2), lf_numberText(rollDeg, 2), lf_numberText(magHeading, 2),
                  lf_numberText(s.headingDeg, 2), lf_numberText(std::round(s.verticalFpm / 32.0) * 32.0, 0), "none",
                  f.category, lf_numberText(qnhHpa, 1), s.airborne ? "5008" : "", "-1", lf_numberText(magHeading, 2),
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

std::vector<Flight> gf_eddlScenario() {
    std::vector<Flight> flights;
    lf_addRunwayTraffic(flights);
    lf_addCompleteFlights(flights);
    lf_addOthers(flights);
    return flights;
}

std::string gf_weatherJson(double qnhHpa, bool qnhAsText) {
    const std::string q = qnhAsText ? fmt::format("\"{:.1f}\"", qnhHpa) : fmt::format("{:.1f}", qnhHpa);
    return fmt::format(
        "{{\"ICAO\":\"EDDL\",\"QNH\":{},\"METAR\":\"EDDL 061220Z 23012KT 9999 FEW035 08/03 Q{:.0f} NOSIG\","
        "\"TA\":5000,\"locWX\":{{\"Info\":\"2026-12-06_1220Z\",\"ST\":8.0,\"SWSPD\":6.2,\"SWDIR\":230}}}}",
        q, std::floor(qnhHpa));
}

}  // namespace vdl::rtstandin
