#include "simulator/stand_in_recorder.h"

#include <algorithm>

#include "foundation/geo.h"
#include "foundation/units.h"

namespace vdl {

std::string_view gf_simCallName(SimCall call) {
    switch (call) {
        case SimCall::Open:
            return "Open";
        case SimCall::Close:
            return "Close";
        case SimCall::AddToDataDefinition:
            return "AddToDataDefinition";
        case SimCall::MapClientEventToSimEvent:
            return "MapClientEventToSimEvent";
        case SimCall::AddClientEventToNotificationGroup:
            return "AddClientEventToNotificationGroup";
        case SimCall::SetNotificationGroupPriority:
            return "SetNotificationGroupPriority";
        case SimCall::SubscribeToSystemEvent:
            return "SubscribeToSystemEvent";
        case SimCall::AICreateNonATCAircraft:
            return "AICreateNonATCAircraft";
        case SimCall::AIRemoveObject:
            return "AIRemoveObject";
        case SimCall::AIReleaseControl:
            return "AIReleaseControl";
        case SimCall::AISetAircraftFlightPlan:
            return "AISetAircraftFlightPlan";
        case SimCall::SetDataOnSimObject:
            return "SetDataOnSimObject";
        case SimCall::RequestDataOnSimObject:
            return "RequestDataOnSimObject";
        case SimCall::RequestDataOnSimObjectType:
            return "RequestDataOnSimObjectType";
        case SimCall::TransmitClientEvent:
            return "TransmitClientEvent";
    }
    return "?";
}

StandInRecorder::~StandInRecorder() {
    finishTracks();
}

void StandInRecorder::setLimits(RecordLimits limits) {
    std::lock_guard lock(recordMutex);
    limits_ = limits;
    limits_.maxCalls = std::max<std::size_t>(limits_.maxCalls, 1);
    limits_.maxTrackPoints = std::max<std::size_t>(limits_.maxTrackPoints, 1);
}

RecordLimits StandInRecorder::limits() const {
    std::lock_guard lock(recordMutex);
    return limits_;
}

uint64_t StandInRecorder::addCall(CallRecord record) {
    std::lock_guard lock(recordMutex);
    const uint64_t index = callsDropped_ + calls_.size();
    calls_.push_back(std::move(record));
    while (calls_.size() > limits_.maxCalls) {
        calls_.pop_front();
        ++callsDropped_;
    }
    return index;
}

void StandInRecorder::setCallObject(uint64_t index, uint32_t objectId) {
    std::lock_guard lock(recordMutex);
    if (index >= callsDropped_ && index - callsDropped_ < calls_.size())
        calls_[index - callsDropped_].objectId = objectId;
}

std::vector<CallRecord> StandInRecorder::calls() const {
    std::lock_guard lock(recordMutex);
    return {calls_.begin(), calls_.end()};
}

std::vector<CallRecord> StandInRecorder::callsFor(uint32_t objectId) const {
    std::lock_guard lock(recordMutex);
    std::vector<CallRecord> r;
    for (const auto& c : calls_)
        if (c.objectId == objectId) r.push_back(c);
    return r;
}

bool StandInRecorder::streamTracksTo(const std::filesystem::path& path) {
    std::lock_guard lock(recordMutex);
    if (trackFile_.isOpen()) trackFile_.close();
    lastStreamedPoint_.clear();
    if (trackFile_.open(path)) return true;
    trackFile_.close();
    return false;
}

std::optional<std::size_t> StandInRecorder::finishTracks() {
    std::lock_guard lock(recordMutex);
    if (!trackFile_.isOpen()) return std::nullopt;
    const std::size_t objects = trackFile_.objectCount();
    if (!trackFile_.close()) return std::nullopt;
    return objects;
}

void StandInRecorder::addObject(const StandInObject& o) {
    std::lock_guard lock(recordMutex);
    if (trackFile_.isOpen()) trackFile_.object(o);
}

void StandInRecorder::addPoint(StandInObject& o, TrackPoint p) {
    std::lock_guard lock(recordMutex);
    if (!o.track.empty()) {
        const TrackPoint& prev = o.track.back();
        const double dt = p.time - prev.time;
        if (dt > 0.0)
            p.groundSpeed = gf_distanceNm({prev.latitude, prev.longitude}, {p.latitude, p.longitude}) /
                            (dt / secondsPerHour);
    }
    o.groundSpeed = p.groundSpeed;
    // A streamed track keeps its latest point for the next ground speed.
    const std::size_t keep = trackFile_.isOpen() ? 1 : limits_.maxTrackPoints;
    if (trackFile_.isOpen()) {
        // Thinned, a long run's file stays within a disk's means.
        const auto last = lastStreamedPoint_.find(o.id);
        if (last == lastStreamedPoint_.end() || p.time - last->second >= limits_.streamedPointSeconds) {
            trackFile_.point(o.id, p);
            lastStreamedPoint_[o.id] = p.time;
        }
    }
    o.track.push_back(p);
    while (o.track.size() > keep) o.track.pop_front();
}

void StandInRecorder::addEvent(StandInObject& o, TrackEvent e) {
    std::lock_guard lock(recordMutex);
    if (trackFile_.isOpen())
        trackFile_.event(o.id, e);
    else
        o.events.push_back(std::move(e));
}

void StandInRecorder::addRemoval(const StandInObject& o) {
    std::lock_guard lock(recordMutex);
    lastStreamedPoint_.erase(o.id);
    if (trackFile_.isOpen()) trackFile_.removed(o.id, o.removedAt);
}

void StandInRecorder::addStrayCall(StrayCall c) {
    std::lock_guard lock(recordMutex);
    if (trackFile_.isOpen()) trackFile_.stray(c);
    strays_.push_back(std::move(c));
    while (strays_.size() > limits_.maxCalls) strays_.pop_front();
}

std::vector<StrayCall> StandInRecorder::strayCalls() const {
    std::lock_guard lock(recordMutex);
    return {strays_.begin(), strays_.end()};
}

}  // namespace vdl
