#pragma once
// What the stand-in remembers of a run: every call of the simulator layer, and each object's
// track and events, kept on the object or, in the program, streamed to a track file as they
// come so that a long run stays small.
//
// recordMutex guards the recorder's own state; it is taken after SimStandIn's worldMutex and
// nothing is locked while it is held. The objects passed in are the caller's, under its lock.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "simulator/stand_in_types.h"
#include "simulator/track_file.h"

namespace vdl {

class StandInRecorder {
  public:
    StandInRecorder() = default;
    ~StandInRecorder();  // finishes a track file still open
    StandInRecorder(const StandInRecorder&) = delete;
    StandInRecorder& operator=(const StandInRecorder&) = delete;

    void setLimits(RecordLimits limits);
    RecordLimits limits() const;

    // --- calls ---
    // Records the call; returns its index, which counts the forgotten calls too.
    uint64_t addCall(CallRecord record);
    // Names the object a recorded call turned out to be about; nothing once it is forgotten.
    void setCallObject(uint64_t index, uint32_t objectId);
    std::vector<CallRecord> calls() const;
    std::vector<CallRecord> callsFor(uint32_t objectId) const;

    // --- tracks ---
    // From now on tracks and events go to the file (truncated) instead of onto the objects;
    // false when it cannot be written. Before the first object: the file names each object
    // before its records.
    bool streamTracksTo(const std::filesystem::path& path);
    // Ends the track file; the number of objects it holds, none when no file was streaming or
    // it could not be written completely. Tracks are kept on the objects again afterwards.
    std::optional<std::size_t> finishTracks();
    void addObject(const StandInObject& o);  // a new object, before its first point or event
    // The point with the object's ground speed from the distance to its previous point, which
    // the object takes over.
    void addPoint(StandInObject& o, TrackPoint p);
    void addEvent(StandInObject& o, TrackEvent e);
    void addRemoval(const StandInObject& o);  // after its last event
    // Kept (as many as calls) and, while streaming, written to the track file.
    void addStrayCall(StrayCall c);
    std::vector<StrayCall> strayCalls() const;

  private:
    mutable std::mutex recordMutex;
    RecordLimits limits_;
    std::deque<CallRecord> calls_;
    uint64_t callsDropped_ = 0;  // calls forgotten from the front of calls_
    std::deque<StrayCall> strays_;
    TrackFileWriter trackFile_;  // open while the tracks stream to it
    std::unordered_map<uint32_t, double> lastStreamedPoint_;  // object id: time of its last point in the file
};

}  // namespace vdl
