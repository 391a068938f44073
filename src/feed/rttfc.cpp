#include "feed/rttfc.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/units.h"
#include "refdata/identity.h"

namespace vdl {

namespace {

// Field numbers of the RTTFC line.
enum Field : size_t {
    fTag = 0,
    fHexid = 1,
    fLat = 2,
    fLon = 3,
    fBaroAlt = 4,
    fBaroRate = 5,
    fAirborne = 6,
    fTrack = 7,
    fGsp = 8,
    fCallsign = 9,
    fType = 10,
    fTailNo = 11,
    fFrom = 12,
    fTo = 13,
    fTimestamp = 14,
    fTas = 20,
    fRoll = 23,
    fTrueHeading = 25,
    fGeomRate = 26,
    fCategory = 28,
    fieldCount = 41,  // 0-40 are read by index, later ones are optional
};

// No aircraft rolls on the ground faster than this; a ground flag at a higher speed is an
// older release's 0 in flight.
constexpr double maxGroundSpeedKt = 200.0;

// Beyond these no aircraft flies: such a value is a broken feed, and flown it would carry the
// object out of the simulator's world.
constexpr double minAltitudeFt = -2000.0;
constexpr double maxAltitudeFt = 100000.0;
constexpr double maxSpeedKt = 2000.0;
constexpr double maxVerticalRateFpm = 30000.0;
constexpr double maxRollDeg = 90.0;

void lf_refuseOutside(std::optional<double> v, double lo, double hi, std::string_view name) {
    if (v && (*v < lo || *v > hi)) throw std::runtime_error(fmt::format("{} {} out of range", name, *v));
}

std::string_view lf_trim(std::string_view s) {
    constexpr std::string_view blanks = " \t\r\n";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool lf_isNullText(std::string_view s) {
    return s.size() == 4 && (s[0] == 'n' || s[0] == 'N') && (s[1] == 'u' || s[1] == 'U') &&
           (s[2] == 'l' || s[2] == 'L') && (s[3] == 'l' || s[3] == 'L');
}

class Fields {
public:
    explicit Fields(std::string_view line) {
        size_t start = 0;
        while (true) {
            const auto comma = line.find(',', start);
            items_.push_back(lf_trim(line.substr(start, comma == std::string_view::npos ? comma : comma - start)));
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
    }

    size_t size() const { return items_.size(); }
    std::string_view raw(size_t i) const { return items_.at(i); }

    // Empty and "null" are unknown everywhere.
    bool unknown(size_t i) const { return items_[i].empty() || lf_isNullText(items_[i]); }

    std::string text(size_t i) const { return unknown(i) ? std::string() : std::string(items_[i]); }

    // A finite number or none. `minusOneUnknown` for quantities that cannot be negative, where
    // the feed writes -1 for "not known".
    std::optional<double> number(size_t i, std::string_view name, bool minusOneUnknown) const {
        if (unknown(i)) return std::nullopt;
        const std::string_view s = items_[i];
        if (minusOneUnknown && (s == "-1" || s == "-1.0")) return std::nullopt;
        double v = 0.0;
        const char* first = s.data();
        if (*first == '+') ++first;  // from_chars takes no plus sign
        const auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), v);
        if (ec != std::errc() || ptr != s.data() + s.size()) {
            throw std::runtime_error(fmt::format("{} is not a number: \"{}\"", name, s));
        }
        if (!std::isfinite(v)) throw std::runtime_error(fmt::format("{} is not finite: \"{}\"", name, s));
        return v;
    }

    double required(size_t i, std::string_view name, bool minusOneUnknown) const {
        const auto v = number(i, name, minusOneUnknown);
        if (!v) throw std::runtime_error(fmt::format("{} missing", name));
        return *v;
    }

private:
    std::vector<std::string_view> items_;
};

uint32_t lf_hexid(const Fields& f) {
    const std::string_view s = f.raw(fHexid);
    if (f.unknown(fHexid) || s == "-1") throw std::runtime_error("hexid missing");
    uint64_t v = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size() || v > UINT32_MAX) {
        throw std::runtime_error(fmt::format("hexid is not a decimal number: \"{}\"", s));
    }
    if (v < firstLiveHexid) throw std::runtime_error(fmt::format("hexid {} below {}", v, firstLiveHexid));
    return static_cast<uint32_t>(v);
}

// Latitude and longitude, both required and within their ranges.
void lf_readPosition(const Fields& f, StreamPos& p) {
    p.lat = f.required(fLat, "latitude", false);
    p.lon = f.required(fLon, "longitude", false);
    if (p.lat < -90.0 || p.lat > 90.0) throw std::runtime_error(fmt::format("latitude {} out of range", p.lat));
    if (p.lon < -180.0 || p.lon > 180.0) throw std::runtime_error(fmt::format("longitude {} out of range", p.lon));
}

// Categories C1 to C5 are ground vehicles and obstacles, no aircraft.
void lf_refuseGroundVehicles(const Fields& f) {
    const std::string category = f.text(fCategory);
    if (category.size() == 2 && (category[0] == 'C' || category[0] == 'c') && category[1] >= '1' && category[1] <= '5') {
        throw std::runtime_error(fmt::format("category {}: ground vehicle or obstacle", category));
    }
}

// Ground speed, track, the airborne flag and the sample time, all required.
void lf_readMovement(const Fields& f, TrafficRecord& r) {
    StreamPos& p = r.pos;
    const double airborneFlag = f.required(fAirborne, "airborne flag", false);
    if (airborneFlag != 0.0 && airborneFlag != 1.0) {
        throw std::runtime_error(fmt::format("airborne flag {} is neither 0 nor 1", airborneFlag));
    }
    // On the ground the feed often leaves track and speed empty; the traffic manager keeps the
    // aircraft's last ones. In the air both are required.
    const bool ground = airborneFlag == 0.0;
    const auto speed = f.number(fGsp, "ground speed", true);
    if (!speed && !ground) throw std::runtime_error("ground speed missing");
    p.speed = speed.value_or(0.0);
    p.speedUnknown = speed ? 0 : 1;
    if (p.speed < 0.0) throw std::runtime_error(fmt::format("ground speed {} negative", p.speed));
    lf_refuseOutside(speed, 0.0, maxSpeedKt, "ground speed");
    const auto track = f.number(fTrack, "track", true);
    if (!track && !ground) throw std::runtime_error("track missing");
    p.track = track.value_or(0.0);
    p.trackUnknown = track ? 0 : 1;
    if (p.track < 0.0 || p.track > 360.0) throw std::runtime_error(fmt::format("track {} out of range", p.track));
    if (p.track == 360.0) p.track = 0.0;

    // Without an altitude a fast ground line is no flight: its velocity is a stale one.
    p.airborneFlag = airborneFlag == 1.0 ? 1 : 0;
    p.airborne = (airborneFlag == 1.0 || (p.speed > maxGroundSpeedKt && !f.unknown(fBaroAlt))) ? 1 : 0;

    r.sampleTime = f.required(fTimestamp, "time stamp", true);
    if (r.sampleTime <= 0.0) throw std::runtime_error(fmt::format("time stamp {} not positive", r.sampleTime));
}

// Altitude, vertical speed and bank (airborne only), true airspeed and true heading; needs the
// movement read first.
void lf_readFlightState(const Fields& f, StreamPos& p) {
    // Read every number used, so that a non-finite one refuses the line whatever the state.
    const auto baroAlt = f.number(fBaroAlt, "altitude", false);
    const auto baroRate = f.number(fBaroRate, "vertical rate", false);
    const auto geomRate = f.number(fGeomRate, "geometric vertical rate", false);
    const auto tas = f.number(fTas, "true airspeed", true);
    const auto roll = f.number(fRoll, "roll", false);
    const auto heading = f.number(fTrueHeading, "true heading", true);
    lf_refuseOutside(baroAlt, minAltitudeFt, maxAltitudeFt, "altitude");
    lf_refuseOutside(baroRate, -maxVerticalRateFpm, maxVerticalRateFpm, "vertical rate");
    lf_refuseOutside(geomRate, -maxVerticalRateFpm, maxVerticalRateFpm, "geometric vertical rate");
    lf_refuseOutside(tas, 0.0, maxSpeedKt, "true airspeed");

    if (p.airborne) {
        if (!baroAlt) throw std::runtime_error("altitude missing");
        p.alt = *baroAlt;
        // The barometric rate first, the geometric one only when it is unknown: a descent
        // stays a descent.
        p.vs = baroRate ? *baroRate : geomRate.value_or(0.0);
        if (roll && std::abs(*roll) <= maxRollDeg) {
            p.bank = -degToRad(*roll);
            p.bankValid = 1;
        }
    }
    p.tas = tas ? *tas : p.speed;
    if (heading && *heading >= 0.0 && *heading <= 360.0) {
        p.trueHeading = degToRad(*heading == 360.0 ? 0.0 : *heading);
        p.headingValid = 1;
    }
    p.attitudeFlag = (p.bankValid && p.headingValid) ? 1 : 0;
}

// Made printable once, here: the tail number in the simulator, the ATC id binding and the log
// then all see the same text.
void lf_readIdentity(const Fields& f, TrafficRecord& r) {
    r.callsign = gf_printableText(f.text(fCallsign));
    r.callsignCopy = r.callsign;
    r.type = gf_printableText(f.text(fType));
    r.reg = gf_printableText(f.text(fTailNo));
    r.origin = gf_printableText(f.text(fFrom));
    r.dest = gf_printableText(f.text(fTo));
    if (auto airl = gf_airlineOfCallsign(r.callsign)) r.airl = std::move(*airl);
}

}  // namespace

bool gf_isRttfcLine(std::string_view line) {
    const auto t = lf_trim(line);
    return lf_trim(t.substr(0, t.find(','))) == "RTTFC";
}

TrafficRecord gf_parseRttfc(std::string_view line, uint32_t receiptClock) {
    if (line.size() > maxRttfcLineChars) {
        throw std::runtime_error(
            fmt::format("line of {} characters, at most {}", line.size(), maxRttfcLineChars));
    }
    const Fields f(lf_trim(line));
    if (f.raw(fTag) != "RTTFC") throw std::runtime_error(fmt::format("not a traffic line: \"{}\"", f.raw(fTag)));
    if (f.size() < fieldCount) {
        throw std::runtime_error(fmt::format("{} fields, at least {} expected", f.size(), size_t{fieldCount}));
    }
    // The steps in this order: the first fault found names the refusal.
    TrafficRecord r;
    r.hexid = lf_hexid(f);
    lf_readPosition(f, r.pos);
    lf_refuseGroundVehicles(f);
    lf_readMovement(f, r);
    lf_readFlightState(f, r.pos);
    r.pos.time = receiptClock + dueDelay;
    lf_readIdentity(f, r);
    return r;
}

void gf_checkSampleTime(double sampleTime, int64_t nowUtc) {
    // Compared as doubles: the time stamp may be any finite number.
    if (sampleTime < static_cast<double>(nowUtc - maxSampleAgeSeconds)) {
        throw std::runtime_error(
            fmt::format("time stamp {} more than {} s old", sampleTime, maxSampleAgeSeconds));
    }
    if (sampleTime > static_cast<double>(nowUtc + maxSampleLeadSeconds)) {
        throw std::runtime_error(
            fmt::format("time stamp {} more than {} s ahead", sampleTime, maxSampleLeadSeconds));
    }
}

}  // namespace vdl
