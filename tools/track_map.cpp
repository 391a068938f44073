// Draws the tracks of a run as an SVG map: the scenario airport's runways and stands, each
// aircraft's path (ground solid, air dashed), and where it touched down, stopped and parked;
// static parked aircraft (callsigns ending in '*') as a filled shape on their stand; labels
// placed so that none covers another (moved ones joined to their point by a thin line), a scale
// bar and a north arrow. With --airport a second map of the ground movement alone, its frame
// fitted to where the aircraft moved and stood on the ground, drawn large enough to read.
//
//   track_map TRACKS.json OUT.svg [--stands STANDFILE.xml] [--radius NM] [--centre LAT,LON]
//             [--airport AIRPORT.svg]
//
// TRACKS.json is written by the simulator stand-in (gf_writeTrackFile); the stand file is an
// airport stand file ("parkpos" elements with "id", "latitude", "longitude", "radius").
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "simulator/sim_scenario.h"
#include "simulator/track_file.h"
#include "standins/map_labels.h"

namespace {

using vdl::LatLon;
using vdl::maps::LabelWish;
using Labels = std::vector<LabelWish>;

constexpr double metresPerDegree = 111132.95;
constexpr const char* palette[] = {"#1f77b4", "#2ca02c", "#9467bd", "#8c564b", "#e377c2",
                                   "#17becf", "#bcbd22", "#7f7f7f", "#ff7f0e", "#d62728"};

struct Stand {
    std::string name;
    LatLon pos;
    double radiusM = 20.0;
};

struct Options {
    std::string tracks;
    std::string out;
    std::string stands;
    double radiusNm = 3.0;
    LatLon centre{vdl::eddl::latitude, vdl::eddl::longitude};
    std::string airport;
};

// Sizes on the map in metres: the overview keeps its own; the airport map sets them from the
// pixels they should take.
struct Sizes {
    double callsign = 70, mark = 60, stand = 24, statics = 20;
    double shape = 1.0;  // markers and the static aircraft's cross
    double line = 6.0;   // ground paths; air paths two thirds of it
};

// The picture is this many pixels square.
constexpr double picturePixels = 1200.0;

// East and north metres from the centre; SVG's y grows southwards.
struct Projection {
    LatLon centre;
    double x(LatLon p) const {
        double d = p.lon - centre.lon;
        if (d > 180) d -= 360;
        if (d < -180) d += 360;
        return d * std::cos(vdl::degToRad(centre.lat)) * metresPerDegree;
    }
    double y(LatLon p) const { return -(p.lat - centre.lat) * metresPerDegree; }
};

std::string lf_escape(std::string_view s) {
    std::string r;
    for (char c : s) {
        switch (c) {
            case '&': r += "&amp;"; break;
            case '<': r += "&lt;"; break;
            case '>': r += "&gt;"; break;
            case '"': r += "&quot;"; break;
            default: r += c;
        }
    }
    return r;
}

std::vector<Stand> lf_readStands(const std::string& path) {
    std::vector<Stand> stands;
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) throw std::runtime_error(fmt::format("cannot read stand file \"{}\"", path));
    for (const auto& node : doc.select_nodes("//parkpos")) {
        const pugi::xml_node n = node.node();
        Stand s{n.attribute("id").as_string(), {n.attribute("latitude").as_double(), n.attribute("longitude").as_double()},
                n.attribute("radius").as_double(20.0)};
        if (s.pos.lat == 0.0 && s.pos.lon == 0.0) continue;
        stands.push_back(std::move(s));
    }
    return stands;
}

Options lf_parse(int argc, char** argv) {
    Options o;
    std::vector<std::string> plain;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(fmt::format("{} needs a value", a));
            return argv[++i];
        };
        if (a == "--stands") o.stands = next();
        else if (a == "--airport") o.airport = next();
        else if (a == "--radius") o.radiusNm = std::stod(next());
        else if (a == "--centre") {
            const std::string v = next();
            const auto comma = v.find(',');
            if (comma == std::string::npos) throw std::runtime_error("--centre wants LAT,LON");
            o.centre = {std::stod(v.substr(0, comma)), std::stod(v.substr(comma + 1))};
        } else plain.push_back(a);
    }
    if (plain.size() != 2 || !(o.radiusNm > 0.0)) throw std::runtime_error("usage");
    o.tracks = plain[0];
    o.out = plain[1];
    return o;
}

void lf_marker(std::ostream& svg, Labels& labels, const Sizes& z, double x, double y, const char* shape,
               const char* colour, const std::string& label) {
    const double k = z.shape;
    if (std::string_view(shape) == "triangle")
        svg << fmt::format("<path d=\"M{:.1f},{:.1f} l{:.1f},{:.1f} l{:.1f},0 z\" fill=\"{}\"/>\n", x, y - 35 * k, 30 * k,
                           52 * k, -60 * k, colour);
    else if (std::string_view(shape) == "square")
        svg << fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" fill=\"{}\"/>\n", x - 22 * k,
                           y - 22 * k, 44 * k, 44 * k, colour);
    else
        svg << fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{:.1f}\" fill=\"{}\"/>\n", x, y, 26 * k, colour);
    labels.push_back({label, x, y, z.mark, colour});
}

bool lf_isStatic(const vdl::RecordedTrack& t) { return !t.tailNumber.empty() && t.tailNumber.back() == '*'; }

// A static aircraft stands still: a wing-and-fuselage cross along its heading where it stands.
void lf_drawStatic(std::ostream& svg, Labels& labels, const Projection& pr, const Sizes& z, const vdl::RecordedTrack& t) {
    if (t.track.empty()) return;
    const auto& at = t.track.front();
    const LatLon p{at.latitude, at.longitude};
    const double deg = vdl::radToDeg(at.heading);
    svg << fmt::format("<g transform=\"translate({:.1f},{:.1f}) rotate({:.1f}) scale({:.3f})\" fill=\"#404040\">"
                       "<rect x=\"-4\" y=\"-19\" width=\"8\" height=\"38\"/><rect x=\"-17\" y=\"-4\" width=\"34\" "
                       "height=\"7\"/></g>\n",
                       pr.x(p), pr.y(p), deg, z.shape);
    labels.push_back({t.tailNumber, pr.x(p), pr.y(p), z.statics, "#404040"});
}

void lf_drawTrack(std::ostream& svg, Labels& labels, const Projection& pr, const Sizes& z,
                  const vdl::RecordedTrack& t, const char* colour) {
    if (t.track.empty()) return;
    // Ground parts solid, airborne parts dashed; points closer than 2 m to the last drawn are left out.
    size_t i = 0;
    while (i < t.track.size()) {
        const bool ground = t.track[i].onGround;
        std::string points;
        double lastX = 1e18, lastY = 1e18;
        size_t j = i;
        for (; j < t.track.size() && t.track[j].onGround == ground; ++j) {
            const LatLon p{t.track[j].latitude, t.track[j].longitude};
            const double x = pr.x(p), y = pr.y(p);
            if (std::hypot(x - lastX, y - lastY) < 2.0 && j + 1 < t.track.size()) continue;
            points += fmt::format("{:.1f},{:.1f} ", x, y);
            lastX = x;
            lastY = y;
        }
        if (j < t.track.size()) {  // join the next part
            const LatLon p{t.track[j].latitude, t.track[j].longitude};
            points += fmt::format("{:.1f},{:.1f} ", pr.x(p), pr.y(p));
        }
        svg << fmt::format("<polyline points=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"{:.1f}\"{}/>\n", points,
                           colour, ground ? z.line : z.line * 2 / 3,
                           ground ? "" : fmt::format(" stroke-dasharray=\"{:.0f},{:.0f}\"", z.line * 20 / 3, z.line * 10 / 3));
        i = j;
    }
    const auto& first = t.track.front();
    const LatLon p0{first.latitude, first.longitude};
    labels.push_back({t.tailNumber, pr.x(p0), pr.y(p0), z.callsign, colour});

    bool wasAirborne = false;
    double stillSince = -1.0;
    bool stillMarked = false;
    for (size_t k = 0; k < t.track.size(); ++k) {
        const auto& s = t.track[k];
        const LatLon p{s.latitude, s.longitude};
        if (!s.onGround) wasAirborne = true;
        if (s.onGround && wasAirborne) {
            lf_marker(svg, labels, z, pr.x(p), pr.y(p), "triangle", "#d62728", fmt::format("{} touchdown", t.tailNumber));
            wasAirborne = false;
        }
        if (s.onGround && s.groundSpeed < 1.0) {
            if (stillSince < 0.0) stillSince = s.time;
            if (!stillMarked && s.time - stillSince >= 10.0) {
                lf_marker(svg, labels, z, pr.x(p), pr.y(p), "square", "#ff7f0e", fmt::format("{} stop", t.tailNumber));
                stillMarked = true;
            }
        } else {
            stillSince = -1.0;
            stillMarked = false;
        }
    }
    for (const auto& e : t.events) {
        if (e.name != "ENGINE_AUTO_SHUTDOWN") continue;
        auto at = std::lower_bound(t.track.begin(), t.track.end(), e.time,
                                   [](const vdl::TrackPoint& p, double time) { return p.time < time; });
        if (at == t.track.end()) at = std::prev(t.track.end());
        const LatLon p{at->latitude, at->longitude};
        lf_marker(svg, labels, z, pr.x(p), pr.y(p), "circle", "#0050d0", fmt::format("{} parked", t.tailNumber));
    }
}

// A bar of a round length near a fifth of the map, bottom left; answers the room it takes.
vdl::maps::Box lf_drawScaleBar(std::ostream& svg, double r) {
    double metres = 100.0;
    for (double m : {200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0, 50000.0})
        if (m <= 2 * r / 5) metres = m;
    const double x = -r + 0.04 * 2 * r;
    const double y = r - 0.04 * 2 * r;
    const double h = 0.004 * 2 * r;
    const double font = 0.005 * 2 * r;
    svg << fmt::format("<rect x=\"{:.0f}\" y=\"{:.0f}\" width=\"{:.0f}\" height=\"{:.0f}\" fill=\"#fff\" stroke=\"#222\" "
                       "stroke-width=\"{:.0f}\"/>\n",
                       x, y, metres, h, h / 4);
    svg << fmt::format("<rect x=\"{:.0f}\" y=\"{:.0f}\" width=\"{:.0f}\" height=\"{:.0f}\" fill=\"#222\"/>\n", x, y,
                       metres / 2, h);
    const std::string label = metres >= 1000.0 ? fmt::format("{:g} km", metres / 1000.0) : fmt::format("{:g} m", metres);
    svg << fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" font-size=\"{:.0f}\" fill=\"#222\">0</text>\n", x, y - h, font);
    svg << fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" font-size=\"{:.0f}\" fill=\"#222\">{}</text>\n", x + metres, y - h,
                       font, label);
    return {x - h, y - h - font, x + metres + 0.6 * font * static_cast<double>(label.size()) + h, y + 2 * h};
}

// North is up (the projection keeps meridians vertical): an arrow and "N", top right.
vdl::maps::Box lf_drawNorthArrow(std::ostream& svg, double r) {
    const double size = 0.03 * 2 * r;
    const double x = r - 0.04 * 2 * r;
    const double y = -r + 0.04 * 2 * r + size;
    svg << fmt::format("<path d=\"M{:.0f},{:.0f} l{:.0f},{:.0f} l{:.0f},{:.0f} l{:.0f},{:.0f} z\" fill=\"#222\"/>\n", x,
                       y - size, size / 3, size, -size / 3, -size / 4, -size / 3, size / 4);
    svg << fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" font-size=\"{:.0f}\" fill=\"#222\" text-anchor=\"middle\">N</text>\n",
                       x, y + size * 0.55, size * 0.5);
    return {x - size / 2, y - size, x + size / 2, y + size * 0.7};
}

// The labels where gf_placeLabels puts them, a thin line to the point of each moved one;
// answers how many of those on the map found no free place.
size_t lf_drawLabels(std::ostream& svg, Labels labels, const std::vector<vdl::maps::Box>& furniture,
                     const vdl::maps::Box& area) {
    // Points off the map keep no label; the aircraft's names go before the marks, the marks
    // before the stands' names.
    std::erase_if(labels, [&](const LabelWish& w) {
        return w.anchorX < area.left || w.anchorX > area.right || w.anchorY < area.top || w.anchorY > area.bottom;
    });
    std::stable_sort(labels.begin(), labels.end(),
                     [](const LabelWish& a, const LabelWish& b) { return a.fontSize > b.fontSize; });
    const auto placed = vdl::maps::gf_placeLabels(labels, furniture, area);
    for (const auto& p : placed) {
        const LabelWish& w = p.wish;
        if (p.leader) {
            const double tx = std::clamp(w.anchorX, p.box.left, p.box.right);
            const double ty = std::clamp(w.anchorY, p.box.top, p.box.bottom);
            svg << fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" "
                               "stroke-width=\"{:.1f}\"/>\n",
                               w.anchorX, w.anchorY, tx, ty, w.colour, w.fontSize / 20);
        }
        svg << fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\" font-size=\"{:.0f}\" fill=\"{}\">{}</text>\n", p.x, p.y,
                           w.fontSize, w.colour, lf_escape(w.text));
    }
    return labels.size() - placed.size();
}

// One map of radius r metres around the centre into the file; answers how many labels found no
// free place.
size_t lf_drawMap(const std::string& path, const std::vector<vdl::RecordedTrack>& tracks,
                  const std::vector<Stand>& stands, LatLon centre, double r, const Sizes& z) {
    const Projection pr{centre};
    std::ofstream svg(path, std::ios::trunc);
    if (!svg) throw std::runtime_error(fmt::format("cannot write \"{}\"", path));
    svg << fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{:.0f}\" height=\"{:.0f}\" viewBox=\"{:.0f} {:.0f} {:.0f} {:.0f}\">\n",
        picturePixels, picturePixels, -r, -r, 2 * r, 2 * r);
    svg << fmt::format("<rect x=\"{:.0f}\" y=\"{:.0f}\" width=\"{:.0f}\" height=\"{:.0f}\" fill=\"#f4f1e8\"/>\n", -r, -r,
                       2 * r, 2 * r);
    for (bool north : {false, true}) {
        const LatLon a = vdl::eddl::gf_threshold(north, false);
        const LatLon b = vdl::eddl::gf_threshold(north, true);
        svg << fmt::format("<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"#9a9a9a\" stroke-width=\"45\"/>\n",
                           pr.x(a), pr.y(a), pr.x(b), pr.y(b));
    }
    Labels labels;
    for (const Stand& s : stands) {
        svg << fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{:.1f}\" fill=\"none\" stroke=\"#555\" stroke-width=\"{:.1f}\"/>\n",
                           pr.x(s.pos), pr.y(s.pos), std::max(5.0, s.radiusM), 2 * z.shape);
        labels.push_back({s.name, pr.x(s.pos), pr.y(s.pos), z.stand, "#555"});
    }
    size_t n = 0;
    size_t statics = 0;
    for (const auto& t : tracks) {
        if (lf_isStatic(t)) {
            lf_drawStatic(svg, labels, pr, z, t);
            ++statics;
            continue;
        }
        lf_drawTrack(svg, labels, pr, z, t, palette[n++ % std::size(palette)]);
    }
    const std::string legend = fmt::format(
        "{} aircraft, {} of them static (dark crosses, callsign with *); grey rings: stands; ground solid, air "
        "dashed; triangle touchdown, square stop, filled circle parked",
        tracks.size(), statics);
    // The legend keeps its size on the page whatever the map's radius (90 at 4 nm).
    const double legendFont = 0.006 * 2 * r;
    svg << fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" font-size=\"{:.0f}\" fill=\"#333\">{}</text>\n", -r + legendFont,
                       -r + 1.5 * legendFont, legendFont, lf_escape(legend));
    const std::vector<vdl::maps::Box> furniture = {vdl::maps::gf_labelBox(legend, -r + legendFont, -r + 1.5 * legendFont, legendFont),
                                                   lf_drawScaleBar(svg, r), lf_drawNorthArrow(svg, r)};
    const size_t leftOut = lf_drawLabels(svg, labels, furniture, {-r, -r, r, r});
    svg << "</svg>\n";
    if (!svg) throw std::runtime_error(fmt::format("cannot write \"{}\"", path));
    return leftOut;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        o = lf_parse(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "track_map: " << e.what()
                  << "\nusage: track_map TRACKS.json OUT.svg [--stands STANDFILE.xml] [--radius NM] [--centre LAT,LON] "
                     "[--airport AIRPORT.svg]\n";
        return 2;
    }
    try {
        const auto tracks = vdl::gf_readTrackFile(o.tracks);
        const std::vector<Stand> stands = o.stands.empty() ? std::vector<Stand>{} : lf_readStands(o.stands);
        size_t leftOut = lf_drawMap(o.out, tracks, stands, o.centre, vdl::nmToMetres(o.radiusNm), Sizes{});
        if (!o.airport.empty()) {
            // The ground movement's frame, at least 400 m across the middle; sizes in pixels.
            const Projection overview{o.centre};
            std::vector<std::pair<double, double>> ground;
            for (const auto& t : tracks)
                for (const auto& p : t.track)
                    if (p.onGround) ground.emplace_back(overview.x({p.latitude, p.longitude}), overview.y({p.latitude, p.longitude}));
            const vdl::maps::Box frame = vdl::maps::gf_fitFrame(ground, 80.0, 400.0);
            const double half = (frame.right - frame.left) / 2;
            const LatLon middle{o.centre.lat - (frame.top + half) / metresPerDegree,
                                o.centre.lon + (frame.left + half) / (std::cos(vdl::degToRad(o.centre.lat)) * metresPerDegree)};
            const double perPixel = 2 * half / picturePixels;
            const Sizes airport{16 * perPixel, 13 * perPixel, 11 * perPixel, 13 * perPixel, 0.25 * perPixel, 2.5 * perPixel};
            leftOut += lf_drawMap(o.airport, tracks, stands, middle, half, airport);
        }
        std::cout << fmt::format("track_map: {} aircraft drawn into {}{}", tracks.size(), o.out,
                                 o.airport.empty() ? std::string() : " and " + o.airport);
        if (leftOut > 0) std::cout << fmt::format(" ({} labels found no free place)", leftOut);
        std::cout << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "track_map: " << e.what() << '\n';
        return 1;
    }
}
