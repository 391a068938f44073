#include "airports/stand_load.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <system_error>

#include "airports/stand_file.h"
#include "airports/stand_learned.h"
#include "airports/stand_plain.h"
#include "feed/traffic_reader.h"
#include "foundation/errors.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"
#include "refdata/download.h"
#include "window/main_window.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

constexpr int32_t loadDefaultParkingPercentage = 30;
// One degree of latitude on the program's sphere, in nm: no great circle is shorter than the
// latitude difference it spans.
constexpr double nmPerDegreeLat = 60.0;

bool lf_isLocalReference(const std::string& filePath) { return filePath.compare(0, 8, "airports") == 0; }

void lf_showStatistic(std::string_view name, std::string value) {
    gf_setWindowValue(WindowArea::Statistics, name, std::move(value));
    gf_repaintArea(WindowArea::Statistics);
}

// Steps 5 to 9 of the load: the document, its parameters and its base stands.
std::string lf_readBaseFile(const std::string& filePath, const fs::path& file, StandFileInfo& info,
                            QualityFactor& quality, std::vector<ParkPos>& stands) {
    StandFileReader parsed;
    const pugi::xml_parse_result loaded = parsed.load(file);
    if (!loaded) return fmt::format("{} could not be loaded: {}", filePath, loaded.description());
    const pugi::xml_document& doc = parsed.doc();
    if (!gf_checkMeta(doc)) return fmt::format("{} but refused to load, copyright problem", filePath);
    rtTrafficWeek = gf_apfIntValue(doc, "RT_traffic_week").value_or(0);
    info.publisher = gf_apfStringValue(doc, "publisher").value_or("");
    const auto altitude = gf_apfIntValue(doc, "altitude");
    if (!altitude) throw UserErrorException(65, "Parameter altitude not found");
    info.altitude = *altitude;
    {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport.elevation = static_cast<double>(*altitude);
    }
    info.airportName = gf_apfStringValue(doc, "airport_name").value_or("");
    gf_readParkPositions(parsed.parkPositions(), 1, stands);
    quality.real = gf_apfIntValue(doc, "Qf_real").value_or(-1);
    quality.soft = gf_apfIntValue(doc, "Qf_soft").value_or(-1);
    return {};
}

// Step 10: the learned file, or the default parking percentage without one.
void lf_readLearnedOrDefault(const std::string& filePath, StandFileInfo& info, QualityFactor& quality,
                             std::vector<ParkPos>& stands, fs::path& learnedPath) {
    learnedPath = gf_learnedApfPath(filePath, info.publisher);
    std::error_code ec;
    const bool found = !learnedPath.empty() && fs::exists(learnedPath, ec);
    if (ec) throw fs::filesystem_error("exists", learnedPath, ec);
    if (!found) {
        parking_percentage.set(loadDefaultParkingPercentage);
        parking_percentage.setEnabled(false);
        gf_setTbInt(parking_percentage);
        gf_logIndented(fmt::format("{:24}: {}%", parking_percentage.name(), loadDefaultParkingPercentage));
        return;
    }
    gf_readLearned(learnedPath, info, stands);
    quality = gf_qualityFactor(stands);
    if (handmadeLoaded) gf_log("A handmade airport file overruled the archived file!");
}

}  // namespace

fs::path gf_parkAirportDownloadPath() { return gf_airportsFolder() / "park_airport.xml"; }

std::string gf_downloadApf(const std::string& serverPath, const fs::path& destPath) {
    const bool folder2020 =
        serverPath.find("simaddon") != std::string::npos || serverPath.find("stock") != std::string::npos;
    const std::string folder = gf_serverFolder(folder2020);
    const std::string url = folder + serverPath;
    const std::string text = fmt::format("failed to download: \"{}\"", url);
    if (folder.empty()) return text;  // no update server: nothing fetched, nothing to report
    if (!gf_isSafeReference(serverPath)) {
        gf_log(text);
        return text;
    }
    std::error_code ec;
    if (destPath.has_parent_path()) fs::create_directories(destPath.parent_path(), ec);
    CurlHandle handle;
    if (ec || !gf_download(handle.get(), url, destPath, false)) {
        gf_log(text);
        return text;
    }
    return {};
}

void gf_numberAndLinkStands(std::vector<ParkPos>& stands) {
    const size_t n = stands.size();
    for (size_t i = 0; i < n; ++i) {
        stands[i].id = static_cast<uint32_t>(i + 1);
        stands[i].adjacent.clear();
    }
    double maxRadius = 0.0;
    for (const auto& s : stands) maxRadius = std::max(maxRadius, s.radius);
    // Two stands can overlap only when they lie closer than reachNm. A pair is compared by the
    // exact rule only when neither its latitudes nor its longitudes rule that out; the margins
    // keep rounding from hiding a pair the rule would link.
    const double reachNm = 2.0 * maxRadius / 1.1 * (1.0 + 1e-9) + 1e-12;
    const double reachDeg = reachNm / nmPerDegreeLat;
    // haversine: hav(d/R) >= cos(lat1) cos(lat2) hav(dLon), and sin(x) >= 2x/pi on [0, pi/2].
    const double reachHalfSin = std::sin(std::min(reachNm / (earthDiameterNm / 2.0), 3.14159) / 2.0);
    const double reachHav = reachHalfSin * reachHalfSin * (1.0 + 1e-9) + 1e-15;
    // The positions apart from the large stand records, in bands of latitude and by
    // longitude within a band: a stand is compared with the stands of its own band and the next
    // one whose longitudes lie within its reach, not with whole rows of stands at its latitude.
    if (n == 0) return;
    double minLat = stands[0].lat, maxLat = stands[0].lat;
    for (const auto& s : stands) minLat = std::min(minLat, s.lat), maxLat = std::max(maxLat, s.lat);
    // Bands a little higher than reachDeg, and few enough for their numbers to be exact: two
    // stands within reachDeg of latitude lie in one band or in two neighbouring ones.
    const double bandDeg = std::max(reachDeg, (maxLat - minLat) / 1e6) * (1.0 + 1e-6);
    struct Place {
        double band, lat, lon, cosLat;
        size_t index;
    };
    std::vector<Place> places(n);
    for (size_t i = 0; i < n; ++i)
        places[i] = {std::floor((stands[i].lat - minLat) / bandDeg), stands[i].lat, stands[i].lon,
                     std::cos(stands[i].lat * radiansPerDegree), i};
    std::sort(places.begin(), places.end(),
              [](const Place& x, const Place& y) { return x.band < y.band || (x.band == y.band && x.lon < y.lon); });
    // The bands as runs of places, with the least cosine of latitude in each.
    struct Band {
        size_t begin, end;
        double minCos;
    };
    std::vector<Band> bands;
    for (size_t i = 0; i < n; ++i) {
        if (bands.empty() || places[i].band != places[bands.back().begin].band) bands.push_back({i, i, 1.0});
        bands.back().end = i + 1;
        bands.back().minCos = std::min(bands.back().minCos, places[i].cosLat);
    }
    auto compare = [&](size_t i, size_t j) {
        const Place& pa = places[i];
        const Place& pb = places[j];
        if (std::fabs(pb.lat - pa.lat) > reachDeg) return;
        double dLon = std::fabs(pb.lon - pa.lon);
        if (dLon > 180.0) dLon = 360.0 - dLon;
        const double x = dLon / 180.0;  // (dLon / 2) / (pi / 2), dLon in degrees
        if (pa.cosLat * pb.cosLat * x * x > reachHav) return;
        ParkPos& a = stands[pa.index];
        ParkPos& b = stands[pb.index];
        // The rule in both orders. The distance is the same both ways but for rounding, which
        // only matters at the threshold: only there is the other order computed.
        const double sum = a.radius + b.radius;
        const double reach = 1.1 * gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon});
        const bool ab = sum > reach;
        const bool ba =
            std::fabs(sum - reach) > 1e-9 * sum ? ab : sum > 1.1 * gf_distanceNm({b.lat, b.lon}, {a.lat, a.lon});
        if (ab) a.adjacent.push_back(b.id);
        if (ba) b.adjacent.push_back(a.id);
    };
    // Places of band k with a longitude in [lo, hi]; within the same band each pair once.
    auto compareRange = [&](size_t i, const Band& band, double lo, double hi, bool sameBand) {
        auto lonBelow = [](const Place& p, double lon) { return p.lon < lon; };
        const auto first = std::lower_bound(places.begin() + band.begin, places.begin() + band.end, lo, lonBelow);
        for (auto it = first; it != places.begin() + band.end && it->lon <= hi; ++it) {
            const size_t j = static_cast<size_t>(it - places.begin());
            if (!sameBand || j > i) compare(i, j);
        }
    };
    for (size_t k = 0; k < bands.size(); ++k) {
        const bool nextIsNeighbour = k + 1 < bands.size() && places[bands[k + 1].begin].band == places[bands[k].begin].band + 1;
        const double minCos = nextIsNeighbour ? std::min(bands[k].minCos, bands[k + 1].minCos) : bands[k].minCos;
        for (size_t i = bands[k].begin; i < bands[k].end; ++i) {
            // No longitude further than this passes the filter in compare against these bands.
            const double product = places[i].cosLat * minCos;
            const double reachLon =
                product > 0.0 ? 180.0 * std::sqrt(reachHav / product) * (1.0 + 1e-9) + 1e-12 : 360.0;
            const double lon = places[i].lon;
            for (size_t m = k; m <= k + (nextIsNeighbour ? 1 : 0); ++m) {
                const bool sameBand = m == k;
                if (reachLon >= 90.0) {
                    compareRange(i, bands[m], -std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::infinity(), sameBand);
                    continue;
                }
                compareRange(i, bands[m], lon - reachLon, lon + reachLon, sameBand);
                // Across the 180th meridian.
                if (lon - reachLon < -180.0) compareRange(i, bands[m], lon - reachLon + 360.0, 360.0, sameBand);
                if (lon + reachLon > 180.0) compareRange(i, bands[m], -360.0, lon + reachLon - 360.0, sameBand);
            }
        }
    }
    for (auto& s : stands) {
        std::sort(s.adjacent.begin(), s.adjacent.end());
        s.adjacent.shrink_to_fit();
    }
}

std::string gf_readApf(const std::string& filePath, StandFileInfo& info, QualityFactor& quality,
                       std::vector<ParkPos>& stands) {
    if (filePath.empty()) return "gf_readApf xml is empty...";
    if (gf_parkAirportCode().empty()) return "gf_readApf no park airport set";
    try {
        const bool local = lf_isLocalReference(filePath);
        const fs::path dl = gf_parkAirportDownloadPath();
        if (!local) {
            std::string error = gf_downloadApf(filePath, dl);
            if (!error.empty()) return error;
        }
        handmadeLoaded = false;
        std::string error = lf_readBaseFile(filePath, local ? gf_pathFromUtf8(filePath) : dl, info, quality, stands);
        if (!error.empty()) return error;
        fs::path learnedPath;
        lf_readLearnedOrDefault(filePath, info, quality, stands, learnedPath);
        lf_showStatistic("stands", std::to_string(stands.size()));
        gf_numberAndLinkStands(stands);
        gf_log(fmt::format("Airport file read from \"{}\" for {}",
                           handmadeLoaded ? gf_utf8FromPath(learnedPath) : filePath, info.airportName));
        gf_setWindowValue(WindowArea::Statistics, "publisher", info.publisher);
        lf_showStatistic("handmade", std::string(handmadeLoaded ? "handmade" : ""));
        gf_logIndented(fmt::format("{:24}: {}", "publisher", info.publisher));
        gf_logIndented(fmt::format("{:24}: {} ft", "altitude", info.altitude));
        gf_logIndented(fmt::format("{:24}: {}", "num_parkpos", stands.size()));
        const std::string qualityText = gf_qualityFactorText(quality);
        gf_logIndented(fmt::format("{:24}: {}", "quality factor", qualityText));
        gf_logIndented(fmt::format("{:24}: {}", "RT traffic week", rtTrafficWeek));
        lf_showStatistic("quality", qualityText);
        parkingActive.store(true);
        lf_showStatistic("Flush static", "enabled");
        parametersChanged = false;
        double elevation = 0.0;
        {
            std::lock_guard lock(parkAirportMutex);
            elevation = currentParkAirport.elevation;
        }
        trafficReader.setAirportElevation(elevation);
        return stands.empty() ? "no stands found" : "";
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
}

}  // namespace vdl
