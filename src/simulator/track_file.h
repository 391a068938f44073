#pragma once
// The stand-in's recorded tracks as a file: every AI object with its positions, attitude,
// speeds, on-ground state and the events it received, so that a run's flights can be looked at
// afterwards (tools/track_map draws them).
#include <filesystem>
#include <string>
#include <vector>

#include "simulator/stand_in.h"

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

// Writes the AI objects' tracks (removed ones too) as JSON through a temporary file in the same
// folder; false when it cannot be written.
bool gf_writeTrackFile(const std::vector<StandInObject>& objects, const std::filesystem::path& path);
bool gf_writeTrackFile(const SimStandIn& sim, const std::filesystem::path& path);

// Reads a file written by gf_writeTrackFile. Throws std::runtime_error naming the file when it
// cannot be read or is not a track file.
std::vector<RecordedTrack> gf_readTrackFile(const std::filesystem::path& path);

}  // namespace vdl
