#include "simulator/track_file.h"
#include "foundation/utf8_path.h"

#include <fmt/format.h>

#include <cmath>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace vdl {

namespace {

constexpr const char* trackFormat = "vandrel-tracks";
constexpr int trackFormatVersion = 2;
constexpr std::size_t pointFields = 12;  // the numbers of a point after its object id

using Json = nlohmann::json;

// JSON has no NaN or infinity: null, as the JSON library writes them.
void lf_appendNumber(fmt::memory_buffer& line, double v) {
    if (std::isfinite(v))
        fmt::format_to(std::back_inserter(line), ",{}", v);
    else
        fmt::format_to(std::back_inserter(line), ",null");
}

// Titles and tails are the simulator's; bytes that are not UTF-8 must not stop the file.
std::string lf_dump(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The tracks read so far, by object id.
struct TrackReading {
    std::vector<RecordedTrack> tracks;
    std::vector<StrayCall> strays;
    std::map<uint32_t, std::size_t> byId;
    bool ended = false;

    RecordedTrack& track(const Json& id) {
        auto it = byId.find(id.get<uint32_t>());
        if (it == byId.end())
            throw std::runtime_error(fmt::format("a record of object {} before the object", id.dump()));
        return tracks[it->second];
    }
};

void lf_checkSize(const Json& r, std::size_t size, std::string_view what) {
    if (r.size() < size) throw std::runtime_error(fmt::format("{} is not {}", r.dump(), what));
}

TrackPoint lf_readPoint(const Json& r) {
    lf_checkSize(r, 2 + pointFields, "a track point of 12 numbers");
    TrackPoint p;
    double* const fields[] = {&p.time,           &p.latitude,      &p.longitude,  &p.altitude,
                              &p.altAboveGround, &p.pitch,         &p.bank,       &p.heading,
                              &p.trueAirspeed,   &p.verticalSpeed, &p.groundSpeed};
    for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = r[2 + i].get<double>();
    p.onGround = r[2 + pointFields - 1].get<int>() != 0;
    return p;
}

void lf_readRecord(const Json& r, TrackReading& reading) {
    if (!r.is_array() || r.empty() || !r[0].is_string())
        throw std::runtime_error("a line that is not a record");
    const std::string kind = r[0].get<std::string>();
    if (kind == "object") {
        lf_checkSize(r, 5, "[\"object\", id, title, tail, createdAt]");
        RecordedTrack t;
        t.id = r[1].get<uint32_t>();
        t.title = r[2].get<std::string>();
        t.tailNumber = r[3].get<std::string>();
        t.createdAt = r[4].get<double>();
        if (!reading.byId.emplace(t.id, reading.tracks.size()).second)
            throw std::runtime_error(fmt::format("object {} twice", t.id));
        reading.tracks.push_back(std::move(t));
    } else if (kind == "point") {
        lf_checkSize(r, 2, "a track point");
        reading.track(r[1]).track.push_back(lf_readPoint(r));
    } else if (kind == "event") {
        lf_checkSize(r, 5, "[\"event\", id, time, name, data]");
        reading.track(r[1]).events.push_back(
            {r[2].get<double>(), r[3].get<std::string>(), r[4].get<uint32_t>()});
    } else if (kind == "removed") {
        lf_checkSize(r, 3, "[\"removed\", id, time]");
        RecordedTrack& t = reading.track(r[1]);
        t.removed = true;
        t.removedAt = r[2].get<double>();
    } else if (kind == "stray") {
        lf_checkSize(r, 4, "[\"stray\", id, time, call]");
        reading.strays.push_back({r[1].get<uint32_t>(), r[2].get<double>(), r[3].get<std::string>()});
    } else if (kind == "end") {
        lf_checkSize(r, 2, "[\"end\", objects]");
        if (r[1].get<std::size_t>() != reading.tracks.size())
            throw std::runtime_error(fmt::format("the end line counts {} objects, the file has {}",
                                                 r[1].dump(), reading.tracks.size()));
        reading.ended = true;
    } else {
        throw std::runtime_error(fmt::format("unknown record \"{}\"", kind));
    }
}

void lf_checkHeader(const std::string& line) {
    const Json header = Json::parse(line);
    if (!header.is_object() || header.value("format", "") != trackFormat)
        throw std::runtime_error("not a track file");
    const int version = header.value("version", 0);
    if (version != trackFormatVersion)
        throw std::runtime_error(fmt::format("a track file of version {}; this program reads version {}",
                                             version, trackFormatVersion));
}

}  // namespace

bool TrackFileWriter::open(const std::filesystem::path& path) {
    objects_ = 0;
    out_.open(path, std::ios::binary | std::ios::trunc);
    if (!out_) return false;
    out_ << lf_dump(Json{{"format", trackFormat}, {"version", trackFormatVersion}}) << '\n';
    return static_cast<bool>(out_);
}

void TrackFileWriter::object(const StandInObject& o) {
    ++objects_;
    out_ << lf_dump(Json::array({"object", o.id, o.title, o.tailNumber, o.createdAt})) << '\n';
}

void TrackFileWriter::point(uint32_t objectId, const TrackPoint& p) {
    // The bulk of the file: formatted directly rather than through a JSON value.
    fmt::memory_buffer line;
    fmt::format_to(std::back_inserter(line), "[\"point\",{}", objectId);
    for (double v : {p.time, p.latitude, p.longitude, p.altitude, p.altAboveGround, p.pitch, p.bank,
                     p.heading, p.trueAirspeed, p.verticalSpeed, p.groundSpeed})
        lf_appendNumber(line, v);
    fmt::format_to(std::back_inserter(line), ",{}]\n", p.onGround ? 1 : 0);
    out_.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void TrackFileWriter::event(uint32_t objectId, const TrackEvent& e) {
    out_ << lf_dump(Json::array({"event", objectId, e.time, e.name, e.data})) << '\n';
}

void TrackFileWriter::removed(uint32_t objectId, double time) {
    out_ << lf_dump(Json::array({"removed", objectId, time})) << '\n';
}

void TrackFileWriter::stray(const StrayCall& c) {
    out_ << lf_dump(Json::array({"stray", c.objectId, c.time, c.call})) << '\n';
}

bool TrackFileWriter::close() {
    if (!out_.is_open()) return false;
    out_ << lf_dump(Json::array({"end", objects_})) << '\n';
    out_.close();
    const bool written = static_cast<bool>(out_);
    out_.clear();
    return written;
}

bool gf_writeTrackFile(const std::vector<StandInObject>& objects, const std::filesystem::path& path) {
    std::filesystem::path temp = path;
    temp += ".tmp";
    std::error_code ec;
    TrackFileWriter writer;
    if (!writer.open(temp)) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    for (const auto& o : objects) {
        writer.object(o);
        for (const auto& p : o.track) writer.point(o.id, p);
        for (const auto& e : o.events) writer.event(o.id, e);
        if (o.removed) writer.removed(o.id, o.removedAt);
    }
    bool written = writer.close();
    if (written) {
        std::filesystem::rename(temp, path, ec);
        written = !ec;
    }
    if (!written) std::filesystem::remove(temp, ec);
    return written;
}

std::vector<RecordedTrack> gf_readTrackFile(const std::filesystem::path& path) {
    return gf_readTrackContents(path).tracks;
}

TrackFileContents gf_readTrackContents(const std::filesystem::path& path, bool withPoints) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(fmt::format("cannot read \"{}\"", gf_utf8FromPath(path)));
    std::size_t lineNumber = 0;
    try {
        std::string line;
        ++lineNumber;
        if (!std::getline(in, line)) throw std::runtime_error("not a track file");
        lf_checkHeader(line);
        TrackReading reading;
        while (!reading.ended && std::getline(in, line)) {
            ++lineNumber;
            if (!withPoints && line.starts_with("[\"point\",")) continue;
            lf_readRecord(Json::parse(line), reading);
        }
        if (!reading.ended)
            throw std::runtime_error("the file ends before its end line: it was not finished");
        return {std::move(reading.tracks), std::move(reading.strays)};
    } catch (const Json::exception& e) {
        throw std::runtime_error(fmt::format("\"{}\" line {}: {}", gf_utf8FromPath(path), lineNumber, e.what()));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(fmt::format("\"{}\" line {}: {}", gf_utf8FromPath(path), lineNumber, e.what()));
    }
}

}  // namespace vdl
