#include "airports/bgl_stands.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "airports/airport_scan_log.h"
#include "refdata/airport_refs.h"

namespace vdl {

namespace {

constexpr const char* bglStandWarn = "===> ";
constexpr double twoPi = 6.283185307179586;
constexpr double bglRadiansPerDegree = 0.017453292519943295;
constexpr std::array<std::string_view, 7> suffixes = {"", "a", "b", "c", "d", "e", "f"};

// The working state of one airport while its record is read.
struct AirportWork {
    std::string_view bglPath;
    std::string_view icao;
    BglAirportStands& out;
    std::unordered_set<std::string> names;  // given to parking entries
    std::vector<std::pair<double, double>> helipads;
    bool suffixGiven = false;
    bool entrySeen = false;  // a helipad or parking entry, stand or not, each said or skipped by rule
};

constexpr uint64_t minParkingBytes = 14 * 4;

// Off the globe, or near 0/0 where a position left unset ends up.
bool lf_positionIncorrect(double lat, double lon) {
    return lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0 ||
           (lat >= 0.0 && lat <= 0.0009 && lon >= 0.0 && lon <= 0.05);
}

// Written so that NaN fails.
bool lf_radiusUsable(double metres) { return metres > 1.0 && metres < 200.0; }

void lf_helipadToStand(const BglHelipad& helipad, AirportWork& work) {
    work.entrySeen = true;
    const double lat = gf_bglLatitude(helipad.latitude());
    const double lon = gf_bglLongitude(helipad.longitude());
    if (lf_positionIncorrect(lat, lon)) {
        gf_addAirportsScanLog(fmt::format("lat/lon helipad incorrect (skipped): {:.6f},{:.6f}", lat, lon));
        return;
    }
    const double radius = helipad.size() * 0.5;
    if (!lf_radiusUsable(radius)) {
        gf_addAirportsScanLog(fmt::format("skipped helipad with radius {:.1F} meters, in {}", radius, work.bglPath));
        return;
    }
    if (std::find(work.helipads.begin(), work.helipads.end(), std::pair{lat, lon}) != work.helipads.end()) {
        gf_addAirportsScanLog(fmt::format("double helipad {} (skipped) {:.6f},{:.6f}", work.out.name, lat, lon));
        return;
    }
    work.helipads.emplace_back(lat, lon);
    work.out.stands.emplace_back(fmt::format("helipad{}", work.out.helipadNumber), std::vector<ParkPosOption>{}, lat,
                                 lon, 0.0, radius, false, false, true);
    ++work.out.helipadNumber;
}

// Takes the name, or the first of its suffixed forms not taken yet; empty when all are.
std::string lf_reserveName(const std::string& name, AirportWork& work) {
    if (work.names.insert(name).second) return name;
    work.suffixGiven = true;
    for (size_t i = 1; i < suffixes.size(); ++i) {
        std::string suffixed = name + std::string(suffixes[i]);
        if (work.names.insert(suffixed).second) return suffixed;
    }
    return {};
}

void lf_parkingToStand(const BglParking& parking, AirportWork& work) {
    const double radius = parking.radius();
    if (!lf_radiusUsable(radius)) {
        gf_addAirportsScanLog(fmt::format("skipped position with radius {:.1F} meters, in {}", radius, work.bglPath));
        return;
    }
    const std::string name = gf_parkingNameText(parking.nameCode()) + fmt::format("{}", parking.number());
    const uint8_t type = parking.type();
    if (type == 0 || type == 12 || type == 13) return;
    const double lat = gf_bglLatitude(parking.latitude());
    const double lon = gf_bglLongitude(parking.longitude());
    if (lf_positionIncorrect(lat, lon)) {
        gf_addAirportsScanLog(fmt::format("lat/lon: {}, incorrect (skipped) ", fmt::format("{:.6f},{:.6f}", lat, lon)));
        return;
    }
    const float heading = parking.heading();
    if (!std::isfinite(heading)) {
        gf_addAirportsScanLog(
            fmt::format("skipped position {} with heading {} degrees, in {}", name, heading, work.bglPath));
        return;
    }
    std::string standName = lf_reserveName(name, work);
    if (standName.empty()) {
        gf_addAirportsScanLog(fmt::format("{}Warning more then 6 the same ids {}, in {}", bglStandWarn, name, work.bglPath));
        return;
    }
    const bool suffixed = standName.size() != name.size();
    const bool ramp = (type >= 1 && type <= 7) || type == 14;
    ParkPos& stand = work.out.stands.emplace_back(std::move(standName), std::vector<ParkPosOption>{}, lat, lon,
                                                  heading == 0.0f ? twoPi : heading * bglRadiansPerDegree, radius,
                                                  type == 5, ramp, false);
    if (suffixed) stand.scanMark = 1;
}

void lf_parkingsToStands(const BglParkingList& list, AirportWork& work) {
    const BglBytes entries = list.entries();
    // Room for the entries the list can hold, not for what its count claims.
    work.out.stands.reserve(work.out.stands.size() + std::min<uint64_t>(list.count(), entries.size() / minParkingBytes));
    uint64_t offset = 0;
    for (uint32_t i = 0; i < list.count(); ++i) {
        work.entrySeen = true;
        const BglParking parking(entries, offset);
        lf_parkingToStand(parking, work);
        offset += parking.size();
    }
    // A count too small leaves entries unread that would each have made a stand.
    if (entries.size() > offset && entries.size() - offset >= minParkingBytes) {
        gf_addAirportsScanLog(fmt::format("{}parking list of {} counts {} entries and leaves {} bytes unread, in {}",
                                          bglStandWarn, work.icao, list.count(), entries.size() - offset, work.bglPath));
        work.entrySeen = true;
    }
}

}  // namespace

std::string gf_parkingNameText(uint8_t code) {
    static constexpr std::array<std::string_view, 12> names = {"",   "r",  "p",   "np", "ep",  "sep",
                                                               "sp", "swp", "wp", "nwp", "g", ""};
    if (code < names.size()) return std::string(names[code]);
    return std::string(1, static_cast<char>(code + 53));
}

void gf_renameDuplicateStands(std::vector<ParkPos>& stands) {
    // Stands by name: a group is found by its seven names instead of a walk over all stands,
    // which took the square of the stand count at an airport of many repeated names.
    std::unordered_map<std::string, std::vector<size_t>> byName;
    byName.reserve(stands.size());
    for (size_t i = 0; i < stands.size(); ++i) byName[stands[i].name].push_back(i);
    std::vector<size_t> group;
    std::vector<std::string> names;
    // Marks are only ever cleared, so the first marked stand of each round comes in list order.
    for (size_t first = 0; first < stands.size(); ++first) {
        if (!stands[first].scanMark) continue;
        stands[first].scanMark = 0;
        const std::string& firstName = stands[first].name;
        const std::string base = firstName.empty() ? std::string() : firstName.substr(0, firstName.size() - 1);
        names.clear();
        for (const std::string_view suffix : suffixes) names.push_back(base + std::string(suffix));
        group.clear();
        for (const std::string& name : names)
            if (const auto it = byName.find(name); it != byName.end())
                group.insert(group.end(), it->second.begin(), it->second.end());
        std::sort(group.begin(), group.end());  // list order, as a walk over the stands finds them
        for (const size_t i : group) stands[i].scanMark = 0;
        std::stable_sort(group.begin(), group.end(),
                         [&](size_t a, size_t b) { return stands[a].radius > stands[b].radius; });
        const size_t renamed = std::min(group.size(), suffixes.size());
        for (size_t j = 0; j < renamed; ++j) {
            std::vector<size_t>& holders = byName[stands[group[j]].name];
            std::erase(holders, group[j]);
        }
        for (size_t j = 0; j < renamed; ++j) {
            stands[group[j]].name = names[j];
            byName[names[j]].push_back(group[j]);
        }
    }
}

std::optional<BglAirportStands> gf_readAirportStands(const BglAirport& airport, const std::string& icao,
                                                     std::string_view bglPath) {
    BglAirportStands out;
    const double feet = std::round(airport.elevation() * 3.2808399 / 1000.0);
    out.altitude = feet < -20.0 || feet > 10000.0 ? 0 : static_cast<int32_t>(feet);
    {
        std::lock_guard lock(airportNamesMutex);
        if (const auto it = airportNames.find(icao); it != airportNames.end()) out.name = it->second;
    }
    AirportWork work{bglPath, icao, out, {}, {}, false};
    try {
        const BglBytes area = airport.subrecords();
        for (uint64_t offset = 0; offset < area.size();) {
            const BglRecord subrecord(area, offset);
            if (subrecord.id() == BglHelipad::id) {
                lf_helipadToStand(BglHelipad(subrecord.bytes("helipad")), work);
            } else if (subrecord.id() == BglParkingList::id) {
                lf_parkingsToStands(BglParkingList(subrecord.bytes("parking list")), work);
                if (work.suffixGiven) gf_renameDuplicateStands(out.stands);
                break;  // later helipads and parking lists of the airport are not read
            }
            if (subrecord.step() < 4) break;
            if (!subrecord.fitsArea()) subrecord.bytes("subrecord");  // throws: past the airport record
            offset += static_cast<uint64_t>(subrecord.step());
        }
    } catch (const BglBoundError& e) {
        gf_addAirportsScanLog(fmt::format("{}airport {} skipped: {}, in {}", bglStandWarn, icao, e.what(), bglPath));
        return std::nullopt;
    }
    // No stand file can be made of it, and nothing else says so.
    if (out.stands.empty() && !work.entrySeen)
        gf_addAirportsScanLog(fmt::format("{}airport {} has no parkings, in {}", bglStandWarn, icao, bglPath));
    return out;
}

}  // namespace vdl
