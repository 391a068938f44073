#include "standins/rttfc_replay.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>

#include "foundation/geo.h"
#include "foundation/units.h"
#include "foundation/utf8_path.h"

namespace vdl::replay {

namespace {

// Field numbers of the RTTFC line that a variant changes.
constexpr std::size_t fLat = 2, fLon = 3, fBaroAlt = 4, fType = 10, fTimestamp = 14, fAltGeom = 18;

std::vector<std::string> lf_split(std::string_view line) {
    std::vector<std::string> f;
    std::size_t start = 0;
    while (true) {
        const auto comma = line.find(',', start);
        f.emplace_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos) return f;
        start = comma + 1;
    }
}

std::string lf_join(const std::vector<std::string>& f) {
    std::string out;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i) out += ',';
        out += f[i];
    }
    return out;
}

std::optional<double> lf_number(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.remove_suffix(1);
    double v = 0.0;
    if (s.empty()) return std::nullopt;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool lf_isTraffic(std::string_view line) { return line.substr(0, 6) == "RTTFC,"; }

void lf_shiftAltitude(std::vector<std::string>& f, double shiftFt) {
    for (const std::size_t i : {fBaroAlt, fAltGeom}) {
        if (i >= f.size()) continue;
        if (const auto alt = lf_number(f[i])) f[i] = fmt::format("{:.0f}", *alt + shiftFt);
    }
}

void lf_jitter(std::vector<std::string>& f, double metres, std::mt19937& random) {
    if (f.size() <= fLon) return;
    const auto lat = lf_number(f[fLat]);
    const auto lon = lf_number(f[fLon]);
    if (!lat || !lon) return;
    std::uniform_real_distribution<double> direction(0.0, 2.0 * pi);
    const LatLon moved = gf_destination({*lat, *lon}, direction(random), metresToFeet(metres));
    f[fLat] = fmt::format("{:.6f}", moved.lat);
    f[fLon] = fmt::format("{:.6f}", moved.lon);
}

}  // namespace

std::vector<ReplayLine> gf_readReplayFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", gf_utf8FromPath(path)));
    std::vector<ReplayLine> lines;
    std::optional<double> firstStamp;
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const auto tab = text.find('\t');
        if (tab != std::string::npos) {
            const auto seconds = lf_number(std::string_view(text).substr(0, tab));
            std::string line = text.substr(tab + 1);
            if (seconds && lf_isTraffic(line)) lines.push_back({*seconds, std::move(line)});
            continue;
        }
        if (!lf_isTraffic(text)) continue;
        const auto f = lf_split(text);
        const auto stamp = f.size() > fTimestamp ? lf_number(f[fTimestamp]) : std::nullopt;
        if (!stamp) continue;
        if (!firstStamp) firstStamp = stamp;
        lines.push_back({std::max(0.0, *stamp - *firstStamp), std::move(text)});
    }
    return lines;
}

std::vector<ReplayLine> gf_applyVariant(const std::vector<ReplayLine>& lines, const Variant& variant) {
    std::vector<ReplayLine> out;
    std::mt19937 random(variant.seed);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (variant.dropEveryOther && i % 2 == 1) continue;
        auto f = lf_split(lines[i].line);
        if (variant.altShiftFt != 0.0) lf_shiftAltitude(f, variant.altShiftFt);
        if (variant.jitterMetres > 0.0) lf_jitter(f, variant.jitterMetres, random);
        if (!variant.fillType.empty() && f.size() > fType && f[fType].empty()) f[fType] = variant.fillType;
        out.push_back({lines[i].seconds, lf_join(f)});
    }
    return out;
}

std::string gf_stampLine(std::string_view line, double unixSeconds) {
    auto f = lf_split(line);
    if (f.size() <= fTimestamp) return std::string(line);
    f[fTimestamp] = fmt::format("{:.1f}", unixSeconds);
    return lf_join(f);
}

}  // namespace vdl::replay
