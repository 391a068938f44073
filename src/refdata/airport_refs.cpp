#include "refdata/airport_refs.h"

#include <fmt/format.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

#include "foundation/log.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"
#include "refdata/hooks.h"

namespace vdl {

namespace {

double lf_distanceNm(double lat1, double lon1, double lat2, double lon2) {
    constexpr double earthDiameterNm = 6875.493541569878;
    constexpr double rad = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * rad;
    const double dLon = (lon2 - lon1) * rad;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return earthDiameterNm * std::asin(std::sqrt(std::min(1.0, a)));
}

bool lf_validCode(std::string_view code) {
    return code.size() == 4 &&
           std::all_of(code.begin(), code.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

}  // namespace

void gf_clearAirportRefs() {
    {
        std::lock_guard lock(airportRefsMutex);
        airportRefs.clear();
    }
    gf_clearAirportNames();
}

bool gf_readAirportRefs(const std::filesystem::path& file) {
    pugi::xml_document doc;
    const auto result = gf_loadXmlFile(doc, file);
    if (!result) {
        gf_logError(fmt::format("cannot load \"{}\": {}", gf_utf8FromPath(file), result.description()));
        return false;
    }
    std::vector<AirportRef> list;
    int skipped = 0;
    for (auto node : doc.child("Airports").children("airport")) {
        AirportRef a;
        a.code = node.attribute("ICAO").as_string();
        a.iata = node.attribute("IATA").as_string();
        a.lat = node.attribute("lat").as_double(1000.0);
        a.lon = node.attribute("lon").as_double(1000.0);
        a.elev = node.attribute("elev").as_double(0.0);
        if (!lf_validCode(a.code) || !(std::abs(a.lat) <= 90.0) || !(std::abs(a.lon) <= 180.0) ||
            !std::isfinite(a.elev)) {
            if (skipped++ < 10) gf_logError(fmt::format("bad airport \"{}\" in \"{}\" skipped", a.code, gf_utf8FromPath(file)));
            continue;
        }
        list.push_back(std::move(a));
    }
    std::stable_sort(list.begin(), list.end(), [](const AirportRef& x, const AirportRef& y) { return x.code < y.code; });
    const auto repeated = std::unique(list.begin(), list.end(),
                                      [](const AirportRef& x, const AirportRef& y) { return x.code == y.code; });
    skipped += static_cast<int>(list.end() - repeated);
    list.erase(repeated, list.end());
    if (list.empty()) {
        gf_logError(fmt::format("no airport in \"{}\"", gf_utf8FromPath(file)));
        return false;
    }
    gf_log(fmt::format("{} reference airports read from \"{}\"{}", list.size(), gf_utf8FromPath(file),
                       skipped > 0 ? fmt::format(", {} skipped", skipped) : std::string()));
    std::lock_guard lock(airportRefsMutex);
    airportRefs = std::move(list);
    return true;
}

std::optional<AirportRef> gf_findAirportRef(std::string_view code) {
    std::lock_guard lock(airportRefsMutex);
    auto it = std::lower_bound(airportRefs.begin(), airportRefs.end(), code,
                               [](const AirportRef& a, std::string_view c) { return a.code < c; });
    if (it == airportRefs.end() || it->code != code) return std::nullopt;
    return *it;
}

bool gf_readAirportNames(const std::filesystem::path& file) {
    pugi::xml_document doc;
    const auto result = gf_loadXmlFile(doc, file);
    std::unordered_map<std::string, std::string> names;
    if (!result) {
        gf_logError(fmt::format("cannot load \"{}\": {}", gf_utf8FromPath(file), result.description()));
    } else {
        for (auto node : doc.child("AirportNames").children("airport")) {
            std::string code = node.attribute("ICAO").as_string();
            if (code.empty()) continue;
            names.emplace(std::move(code), node.attribute("name").as_string());
        }
    }
    std::lock_guard lock(airportNamesMutex);
    airportNames = std::move(names);
    return !airportNames.empty();
}

void gf_clearAirportNames() {
    std::lock_guard lock(airportNamesMutex);
    airportNames.clear();
}

std::optional<AirportRef> gf_closestAirport(double lat, double lon, double reachNm) {
    std::vector<std::pair<double, AirportRef>> near;
    {
        std::lock_guard lock(airportRefsMutex);
        for (const auto& a : airportRefs) {
            if (std::abs(a.lat - lat) * 60.0 > reachNm + 1.0) continue;  // cheap cut before the great circle
            const double d = lf_distanceNm(lat, lon, a.lat, a.lon);
            if (d <= reachNm) near.emplace_back(d, a);
        }
    }
    if (near.empty()) return std::nullopt;
    std::stable_sort(near.begin(), near.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    if (near.size() == 1) return near.front().second;
    auto hook = gf_closestStandHook();
    if (!hook) return near.front().second;
    // Of the two nearest airports, the one whose stands are closer: a big airport's reference
    // point can lie farther away than a small neighbour's.
    std::string standA, standB;
    const double a = hook(near[0].second.code, lat, lon, standA);
    const double b = hook(near[1].second.code, lat, lon, standB);
    return b < a ? near[1].second : near[0].second;
}

}  // namespace vdl
