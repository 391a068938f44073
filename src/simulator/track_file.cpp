#include "simulator/track_file.h"

#include <fmt/format.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <system_error>

namespace vdl {

namespace {

constexpr const char* trackFormat = "vandrel-tracks";
constexpr int trackFormatVersion = 1;

nlohmann::json lf_point(const TrackPoint& p) {
    return nlohmann::json::array({p.time, p.latitude, p.longitude, p.altitude, p.altAboveGround, p.pitch, p.bank,
                                  p.heading, p.trueAirspeed, p.verticalSpeed, p.groundSpeed, p.onGround ? 1 : 0});
}

TrackPoint lf_readPoint(const nlohmann::json& a) {
    if (!a.is_array() || a.size() < 12) throw std::runtime_error("track point is not an array of 12 numbers");
    TrackPoint p;
    p.time = a[0].get<double>();
    p.latitude = a[1].get<double>();
    p.longitude = a[2].get<double>();
    p.altitude = a[3].get<double>();
    p.altAboveGround = a[4].get<double>();
    p.pitch = a[5].get<double>();
    p.bank = a[6].get<double>();
    p.heading = a[7].get<double>();
    p.trueAirspeed = a[8].get<double>();
    p.verticalSpeed = a[9].get<double>();
    p.groundSpeed = a[10].get<double>();
    p.onGround = a[11].get<int>() != 0;
    return p;
}

}  // namespace

bool gf_writeTrackFile(const std::vector<StandInObject>& objects, const std::filesystem::path& path) {
    nlohmann::json doc;
    doc["format"] = trackFormat;
    doc["version"] = trackFormatVersion;
    auto& list = doc["objects"] = nlohmann::json::array();
    for (const auto& o : objects) {
        nlohmann::json j;
        j["id"] = o.id;
        j["title"] = o.title;
        j["tail"] = o.tailNumber;
        j["createdAt"] = o.createdAt;
        j["removedAt"] = o.removedAt;
        j["removed"] = o.removed;
        auto& track = j["track"] = nlohmann::json::array();
        for (const auto& p : o.track) track.push_back(lf_point(p));
        auto& events = j["events"] = nlohmann::json::array();
        for (const auto& e : o.events) events.push_back(nlohmann::json::array({e.time, e.name, e.data}));
        list.push_back(std::move(j));
    }
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        // Titles are the simulator's; bytes that are not UTF-8 must not stop the file.
        out << doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) std::filesystem::remove(temp, ec);
    return !ec;
}

bool gf_writeTrackFile(const SimStandIn& sim, const std::filesystem::path& path) {
    return gf_writeTrackFile(sim.aiObjects(), path);
}

std::vector<RecordedTrack> gf_readTrackFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read \"{}\"", path.string()));
    try {
        const nlohmann::json doc = nlohmann::json::parse(in);
        if (!doc.is_object() || doc.value("format", "") != trackFormat)
            throw std::runtime_error("not a track file");
        std::vector<RecordedTrack> result;
        for (const auto& j : doc.at("objects")) {
            RecordedTrack t;
            t.id = j.at("id").get<uint32_t>();
            t.title = j.value("title", "");
            t.tailNumber = j.value("tail", "");
            t.createdAt = j.value("createdAt", 0.0);
            t.removedAt = j.value("removedAt", 0.0);
            t.removed = j.value("removed", false);
            for (const auto& p : j.at("track")) t.track.push_back(lf_readPoint(p));
            for (const auto& e : j.at("events")) {
                if (!e.is_array() || e.size() < 3) throw std::runtime_error("event is not [time, name, data]");
                t.events.push_back({e[0].get<double>(), e[1].get<std::string>(), e[2].get<uint32_t>()});
            }
            result.push_back(std::move(t));
        }
        return result;
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(fmt::format("\"{}\": {}", path.string(), e.what()));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(fmt::format("\"{}\": {}", path.string(), e.what()));
    }
}

}  // namespace vdl
