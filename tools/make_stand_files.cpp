// Writes the demonstration stand files shipped in data/airports/stock: EDDL, laid out where the
// simulator scenario's flights park and start (tools/standins/rt_flights.cpp), with stand use
// for every half hour of the week on part of the stands; and, when a folder of recorded LSZH
// traffic is given, LSZH with a stand where each recorded departure starts or arrival comes to
// rest, and neighbours beside them. Not surveyed data.
//   make_stand_files <output folder> [<folder of realtraffic/lszh recordings>]
#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "airports/stand_file.h"
#include "airports/stand_locations.h"
#include "foundation/files.h"
#include "foundation/time.h"
#include "foundation/geo.h"
#include "foundation/text.h"
#include "foundation/units.h"
#include "foundation/utf8_path.h"
#include "simulator/sim_scenario.h"

namespace vdl {
namespace {

namespace fs = std::filesystem;

constexpr double standRadiusM = 35.0;
constexpr double spacingM = 80.0;  // 1.1 x 80 > 2 x 35: neighbours do not overlap

struct Layout {
    std::vector<ParkPos> stands;
    int next = 1;

    void add(const std::string& prefix, LatLon at, double noseDeg, bool cargo = false) {
        stands.emplace_back(fmt::format("{}{}", prefix, next++), std::vector<ParkPosOption>{}, at.lat, at.lon,
                            degToRad(std::fmod(noseDeg + 360.0, 360.0)), standRadiusM, cargo, false, false);
    }
    // count stands on each side of `at`, along `alongDeg`, `at` itself included.
    void row(const std::string& prefix, LatLon at, double alongDeg, int before, int after, double noseDeg,
             bool cargo = false) {
        for (int i = -before; i <= after; ++i)
            add(prefix, gf_destination(at, degToRad(i < 0 ? alongDeg + 180.0 : alongDeg), metresToFeet(std::abs(i) * spacingM)),
                noseDeg, cargo);
    }
};

// Options for every half hour of the week on three stands out of five: one per weekday, each
// with an airline and type of the main job's catalogue.
void lf_addWeekOptions(std::vector<ParkPos>& stands) {
    const std::pair<const char*, const char*> users[] = {{"DLH", "A320"}, {"EWG", "A320"}, {"BAW", "A319"},
                                                        {"AFR", "E170"}, {"THY", "B738"}, {"SWR", "A320"},
                                                        {"AUA", "A320"}, {"EWG", "A20N"}};
    for (size_t i = 0; i < stands.size(); ++i) {
        if (i % 5 >= 3) continue;
        for (uint32_t day = 1; day <= 7; ++day) {
            ParkPosOption o;
            const auto& [airline, type] = users[(i + day) % std::size(users)];
            o.setAirline(airline);
            o.setType(type);
            o.hours.set();
            o.day = day;
            o.id = day;
            o.kind = optionReal;
            stands[i].options.push_back(o);
        }
    }
}

AirportRecord lf_eddl() {
    using eddl::gf_runwayPoint;
    const double north23R = eddl::northRunwayLengthM / 2.0;
    const double nose = 322.0;  // towards the terminal
    Layout l;
    // The gates of the scenario's parked aircraft and departures, on the apron's two rows.
    const LatLon a{51.276331, 6.758016}, b{51.276880, 6.759350}, c{51.277910, 6.761120}, d{51.277954, 6.756878};
    const double rowDeg = radToDeg(gf_bearing(a, c));
    l.row("A", a, rowDeg + 180.0, 0, 3, nose);
    l.add("A", b, nose);
    l.add("A", gf_destination(b, gf_bearing(b, c), metresToFeet(gf_distanceNm(b, c) * 1852.0 / 2.0)), nose);
    l.add("A", c, nose);
    l.row("A", gf_destination(c, degToRad(rowDeg), metresToFeet(spacingM)), rowDeg, 0, 3, nose);
    l.next = 1;
    l.row("B", d, rowDeg, 4, 4, nose);
    // Where the two arrivals on 23R end their taxi in, south-east of the runway.
    l.next = 1;
    const double southEast = eddl::runwayHeadingDeg + 90.0;
    l.row("E", gf_runwayPoint(true, north23R - 2400.0, 540.0), eddl::runwayHeadingDeg, 2, 2, southEast);
    l.row("E", gf_runwayPoint(true, north23R - 1650.0, 420.0), eddl::runwayHeadingDeg, 2, 2, southEast);
    l.next = 1;
    l.row("C", gf_runwayPoint(true, north23R - 2400.0, 700.0), eddl::runwayHeadingDeg, 1, 1, southEast, true);
    lf_addWeekOptions(l.stands);
    AirportRecord r;
    r.icao = eddl::icao;
    r.name = "Düsseldorf International (demonstration)";
    r.publisher = "stock";
    r.altitude = static_cast<int32_t>(eddl::elevationFt);
    r.stands = std::move(l.stands);
    return r;
}

struct Sample {
    double t;
    LatLon pos;
    double kt;  // 0 when not given
};

// The recorded positions of each callsign, in time order.
std::map<std::string, std::vector<Sample>> lf_readRecordings(const fs::path& folder) {
    std::map<std::string, std::vector<Sample>> tracks;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() != ".rttfc") continue;
        std::ifstream in(e.path());
        std::string line;
        while (std::getline(in, line)) {
            const size_t tab = line.find('\t');
            const auto f = gf_split(tab == std::string::npos ? line : line.substr(tab + 1), ',');
            if (f.size() < 15 || gf_trim(f[0]) != "RTTFC") continue;
            try {
                const std::string kt = gf_trim(f[8]);
                tracks[gf_trim(f[9])].push_back(
                    {std::stod(f[14]), {std::stod(f[2]), std::stod(f[3])}, kt.empty() ? 0.0 : std::stod(kt)});
            } catch (const std::exception&) {
            }
        }
    }
    for (auto& [cs, samples] : tracks)
        std::stable_sort(samples.begin(), samples.end(), [](const Sample& x, const Sample& y) { return x.t < y.t; });
    return tracks;
}

double lf_metres(LatLon a, LatLon b) { return gf_distanceNm(a, b) * 1852.0; }

// The place where a track rests at one end, and the nose there: the way it moved on arriving,
// or the reverse of its first movement (a pushback) when leaving. A rest stays within 15 m for
// 20 s, or for two samples without a speed above taxi speed (a stale speed is kept for minutes).
std::optional<std::pair<LatLon, double>> lf_rest(const std::vector<Sample>& s, bool atEnd) {
    if (s.size() < 3) return std::nullopt;
    auto at = [&](size_t k) -> const Sample& { return atEnd ? s[s.size() - 1 - k] : s[k]; };
    const LatLon rest = at(0).pos;
    size_t still = 1;
    while (still < s.size() && lf_metres(rest, at(still).pos) <= 15.0) ++still;
    const double seconds = std::fabs(at(still - 1).t - at(0).t);
    if (still < 2 || (seconds < 20.0 && at(0).kt > 30.0)) return std::nullopt;
    for (size_t k = still; k < s.size(); ++k) {
        const LatLon p = at(k).pos;
        if (lf_metres(rest, p) < 20.0) continue;
        const double moved = radToDeg(gf_bearing(atEnd ? p : rest, atEnd ? rest : p));
        return std::pair{rest, atEnd ? moved : moved + 180.0};
    }
    return std::nullopt;
}

std::optional<AirportRecord> lf_lszh(const fs::path& recordings) {
    constexpr LatLon field{47.458056, 8.548056};
    Layout l;
    for (const auto& [cs, samples] : lf_readRecordings(recordings)) {
        for (bool atEnd : {false, true}) {
            auto rest = lf_rest(samples, atEnd);
            // Only rests on the airport's aprons, not on a runway or far away.
            if (!rest || lf_metres(rest->first, field) > 3000.0) continue;
            bool taken = false;
            for (const auto& s : l.stands) taken = taken || lf_metres({s.lat, s.lon}, rest->first) < spacingM;
            // Rounded to about a metre: a stand, not a recorded position.
            const LatLon at{std::round(rest->first.lat * 1e5) / 1e5, std::round(rest->first.lon * 1e5) / 1e5};
            if (!taken) l.add("Z", at, rest->second);
        }
    }
    if (l.stands.empty()) return std::nullopt;
    // Two neighbours on each side, where there is room.
    const std::vector<ParkPos> used = l.stands;
    for (const auto& s : used) {
        const double nose = radToDeg(s.heading);
        for (int side : {-2, -1, 1, 2}) {
            const LatLon p = gf_destination({s.lat, s.lon}, degToRad(nose + (side < 0 ? -90.0 : 90.0)),
                                            metresToFeet(std::abs(side) * spacingM));
            bool free = true;
            for (const auto& t : l.stands) free = free && lf_metres({t.lat, t.lon}, p) >= spacingM - 1.0;
            if (free) l.add("Z", p, nose);
        }
    }
    lf_addWeekOptions(l.stands);
    AirportRecord r;
    r.icao = "LSZH";
    r.name = "Zürich (demonstration)";
    r.publisher = "stock";
    r.altitude = 1416;
    r.stands = std::move(l.stands);
    return r;
}

// The full-mode file with the stands' options and the quality factor, as a stock file has them.
bool lf_write(const AirportRecord& r, const fs::path& file) {
    const auto text = gf_apfText(r, apfFullMode);
    pugi::xml_document doc;
    if (!text || !doc.load_string(text->c_str())) return false;
    const QualityFactor q = gf_qualityFactor(r.stands);
    pugi::xml_node parameters = doc.child("parameters");
    pugi::xml_node after = parameters.find_child_by_attribute("parameter", "name", "num_parkpos");
    for (const auto& [name, value] : {std::pair{"Qf_soft", q.soft}, std::pair{"Qf_real", q.real}}) {
        pugi::xml_node p = parameters.insert_child_after("parameter", after);
        p.append_attribute("name") = name;
        p.append_attribute("value") = value;
    }
    size_t i = 0;
    for (pugi::xml_node e : doc.child("parkpositions").children("parkpos")) {
        for (const auto& o : r.stands[i].options) {
            pugi::xml_node opt = e.append_child("opt");
            opt.append_attribute("reg") = "";
            opt.append_attribute("airl") = std::string(o.airline()).c_str();
            opt.append_attribute("type") = std::string(o.type()).c_str();
            opt.append_attribute("day") = o.day;
            opt.append_attribute("hh") = gf_bitset2hours(o.hours).c_str();
        }
        ++i;
    }
    std::ostringstream out;
    doc.save(out);
    return gf_replaceFile(file, out.str());
}

int lf_main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_stand_files <output folder> [<recorded LSZH traffic folder>]\n");
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out);
    std::vector<AirportRecord> records{lf_eddl()};
    if (argc > 2) {
        if (auto lszh = lf_lszh(argv[2]))
            records.push_back(std::move(*lszh));
        else
            std::fprintf(stderr, "no LSZH stands found in %s\n", argv[2]);
    }
    for (const auto& r : records) {
        const fs::path file = out / (r.icao + ".xml");
        if (!lf_write(r, file)) {
            std::fprintf(stderr, "cannot write %s\n", gf_utf8FromPath(file).c_str());
            return 1;
        }
        std::printf("%s: %zu stands\n", gf_utf8FromPath(file).c_str(), r.stands.size());
    }
    return 0;
}

}  // namespace
}  // namespace vdl

int main(int argc, char** argv) { return vdl::lf_main(argc, argv); }
