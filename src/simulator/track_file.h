#pragma once
// The stand-in's recorded tracks as a file: every AI object with its positions, attitude,
// speeds, on-ground state and the events it received, so that a run's flights can be looked at
// afterwards (tools/track_map draws them).
//
// The file is written as the run goes, one JSON value a line: a header
// {"format":"vandrel-tracks","version":2}, then records in the order they happened,
//   ["object", id, title, tail, createdAt]
//   ["point", id, time, lat, lon, alt, altAboveGround, pitch, bank, heading, tas, vs, gs, onGround]
//   ["event", id, time, name, data]   (name "hexid": the feed's aircraft the object flies)
//   ["removed", id, removedAt]
//   ["stray", id, time, call]   a call that failed on an unknown or removed object
// and last ["end", number of objects]. A file without its end line was not finished.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "simulator/stand_in_types.h"

namespace vdl {

// One object as the file keeps it.
struct RecordedTrack {
    uint32_t id = 0;
    std::string title;
    std::string tailNumber;
    double createdAt = 0.0;
    double removedAt = 0.0;
    bool removed = false;
    std::vector<TrackPoint> track;
    std::vector<TrackEvent> events;
};

// Writes a track file record by record. Not locked itself: its owner guards it.
class TrackFileWriter {
  public:
    // Starts the file (truncating it) with its header; false when it cannot be written.
    bool open(const std::filesystem::path& path);
    bool isOpen() const { return out_.is_open(); }
    void object(const StandInObject& o);  // before the object's first point or event
    void point(uint32_t objectId, const TrackPoint& p);
    void event(uint32_t objectId, const TrackEvent& e);
    void removed(uint32_t objectId, double time);
    void stray(const StrayCall& c);
    // Ends the file with its end line; false when any of it could not be written.
    bool close();
    std::size_t objectCount() const { return objects_; }

  private:
    std::ofstream out_;
    std::size_t objects_ = 0;
};

// Writes the objects' tracks (removed ones too) through a temporary file in the same folder;
// false when it cannot be written.
bool gf_writeTrackFile(const std::vector<StandInObject>& objects, const std::filesystem::path& path);

struct TrackFileContents {
    std::vector<RecordedTrack> tracks;  // in the order they were created
    std::vector<StrayCall> strays;
};

// Reads a track file; without points, the objects' tracks stay empty (a long run's file is
// mostly points). Throws std::runtime_error naming the file when it cannot be read, is not a
// track file or was not finished.
TrackFileContents gf_readTrackContents(const std::filesystem::path& path, bool withPoints = true);
// Its objects alone, in the order they were created.
std::vector<RecordedTrack> gf_readTrackFile(const std::filesystem::path& path);

}  // namespace vdl
