#include "simulator/stand_in.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

#include "foundation/threads.h"

namespace vdl {

namespace {

constexpr double minFrameRate = 1.0;     // frames per second
constexpr double maxFrameRate = 1000.0;  // frames per second
// stepSeconds rounds up, but not for the rounding error of seconds x rate.
constexpr double frameRoundingTolerance = 1e-9;  // frames
// A frame thread this far behind its schedule starts afresh rather than racing to catch up.
constexpr std::chrono::seconds maxFrameLag{1};

}  // namespace

SimStandIn::SimStandIn() {
    user_.id = userObjectId;
    user_.isUser = true;
    user_.title = "User Aircraft";
    user_.tailNumber = "USER";
    user_.userOnGround = true;
}

SimStandIn::~SimStandIn() {
    stopFrameThread();
}

// ---------------------------------------------------------------- the world

void SimStandIn::installTitle(std::string title, TitleInfo info) {
    std::lock_guard lock(worldMutex);
    world_.installTitle(std::move(title), info);
}

bool SimStandIn::isInstalled(std::string_view title) const {
    std::lock_guard lock(worldMutex);
    return world_.isInstalled(title);
}

void SimStandIn::setTerrainElevation(double feet) {
    std::lock_guard lock(worldMutex);
    world_.setTerrainElevation(feet);
}

void SimStandIn::addAirport(double latitude, double longitude, double radiusNm, double elevationFt) {
    std::lock_guard lock(worldMutex);
    world_.addAirport(latitude, longitude, radiusNm, elevationFt);
}

double SimStandIn::terrainElevation(double latitude, double longitude) const {
    std::lock_guard lock(worldMutex);
    return world_.elevationAt(latitude, longitude);
}

void SimStandIn::setUserScript(std::vector<UserKeyframe> keyframes) {
    std::lock_guard lock(worldMutex);
    userScript_.setKeyframes(std::move(keyframes));
    userScript_.place(user_, simTime_);
}

void SimStandIn::setUserAtcId(std::string atcId) {
    std::lock_guard lock(worldMutex);
    user_.tailNumber = std::move(atcId);
}

void SimStandIn::setUtcStart(int64_t epochSeconds) {
    std::lock_guard lock(worldMutex);
    utcStart_ = epochSeconds;
}

void SimStandIn::setFrameRate(double framesPerSecond) {
    std::lock_guard lock(worldMutex);
    if (!std::isfinite(framesPerSecond)) return;
    frameRate_ = std::clamp(framesPerSecond, minFrameRate, maxFrameRate);
}

double SimStandIn::frameRate() const {
    std::lock_guard lock(worldMutex);
    return frameRate_;
}

// ---------------------------------------------------------------- the simulator's state

void SimStandIn::startSim() {
    std::lock_guard lock(worldMutex);
    if (simRunning_ || quit_) return;
    simRunning_ = true;
    postEvent("Sim", 1);
    postEvent("SimStart", 0);
}

void SimStandIn::stopSim() {
    std::lock_guard lock(worldMutex);
    if (!simRunning_ || quit_) return;
    simRunning_ = false;
    postEvent("Sim", 0);
    postEvent("SimStop", 0);
}

void SimStandIn::setPaused(bool paused) {
    std::lock_guard lock(worldMutex);
    if (paused_ == paused || quit_) return;
    paused_ = paused;
    postEvent("Pause", paused ? 1 : 0);
}

void SimStandIn::loadFlight(std::string fileName) {
    std::lock_guard lock(worldMutex);
    if (!client_.open || quit_) return;
    auto it = client_.systemEvents.find("FlightLoaded");
    if (it == client_.systemEvents.end()) return;
    SimRecv m;
    m.id = SimRecvId::EventFilename;
    m.eventId = it->second;
    m.fileName = std::move(fileName);
    client_.outbox.push_back(std::move(m));
}

void SimStandIn::quit() {
    std::lock_guard lock(worldMutex);
    if (quit_) return;
    // Its last frame carries out and answers what it received (a create with its id or an
    // exception), ahead of the Quit; then its objects go with it.
    ++frame_;
    if (simRunning_ && !paused_) simTime_ += 1.0 / frameRate_;
    runJobs(true);
    quit_ = true;
    simRunning_ = false;
    for (uint32_t id : std::vector<uint32_t>(client_.objects.begin(), client_.objects.end()))
        if (auto* o = findAi(id)) removeObject(*o, "removed at quit");
    if (client_.open) {
        SimRecv m;
        m.id = SimRecvId::Quit;
        client_.outbox.push_back(std::move(m));
    }
}

bool SimStandIn::paused() const {
    std::lock_guard lock(worldMutex);
    return paused_;
}

bool SimStandIn::hasQuit() const {
    std::lock_guard lock(worldMutex);
    return quit_;
}

bool SimStandIn::running() const {
    std::lock_guard lock(worldMutex);
    return simRunning_ && !paused_ && !quit_;
}

// ---------------------------------------------------------------- records and faults

void SimStandIn::setRecordLimits(RecordLimits limits) {
    recorder_.setLimits(limits);
}

bool SimStandIn::streamTracksTo(const std::filesystem::path& path) {
    return recorder_.streamTracksTo(path);
}

std::optional<std::size_t> SimStandIn::finishTracks() {
    return recorder_.finishTracks();
}

void SimStandIn::injectFault(SimCall call, FaultKind kind, int count, uint32_t delayFrames,
                             std::optional<uint32_t> requestId) {
    std::lock_guard lock(worldMutex);
    faults_.add({call, kind, count, delayFrames, requestId});
}

void SimStandIn::clearFaults() {
    std::lock_guard lock(worldMutex);
    faults_.clear();
}

// ---------------------------------------------------------------- frames

void SimStandIn::step() {
    std::lock_guard lock(worldMutex);
    frameLocked();
}

void SimStandIn::stepFrames(int frames) {
    for (int i = 0; i < frames; ++i) step();
}

void SimStandIn::stepSeconds(double seconds) {
    stepFrames(static_cast<int>(std::ceil(seconds * frameRate() - frameRoundingTolerance)));
}

uint64_t SimStandIn::frameCount() const {
    std::lock_guard lock(worldMutex);
    return frame_;
}

double SimStandIn::simTime() const {
    std::lock_guard lock(worldMutex);
    return simTime_;
}

void SimStandIn::frameLocked() {
    ++frame_;
    const bool live = simRunning_ && !paused_ && !quit_;
    if (live) simTime_ += 1.0 / frameRate_;
    userScript_.place(user_, simTime_);
    runJobs(false);
    if (!live || !client_.open) return;
    postFrameEvent();
    sendPeriodicData();
}

void SimStandIn::runJobs(bool all) {
    auto& jobs = client_.jobs;
    auto firstLater = std::stable_partition(jobs.begin(), jobs.end(),
                                            [&](const Job& j) { return all || j.dueFrame <= frame_; });
    std::vector<Job> due(std::make_move_iterator(jobs.begin()), std::make_move_iterator(firstLater));
    jobs.erase(jobs.begin(), firstLater);
    for (auto& job : due) {
        auto messages = job.run();
        if (job.dropAnswer || !client_.open) continue;
        for (auto& m : messages) client_.outbox.push_back(std::move(m));
    }
}

void SimStandIn::postFrameEvent() {
    auto it = client_.systemEvents.find("Frame");
    if (it == client_.systemEvents.end()) return;
    SimRecv m;
    m.id = SimRecvId::EventFrame;
    m.eventId = it->second;
    m.frameRate = static_cast<float>(frameRate_);
    m.simSpeed = 1.0f;
    client_.outbox.push_back(std::move(m));
}

void SimStandIn::sendPeriodicData() {
    auto& periodic = client_.periodic;
    for (auto it = periodic.begin(); it != periodic.end();) {
        const StandInObject* o = findObject(it->objectId);
        if (o == nullptr || o->removed) {
            it = periodic.erase(it);
            continue;
        }
        bool send = it->period == SimPeriod::SimFrame || it->period == SimPeriod::VisualFrame;
        if (it->period == SimPeriod::Second && simTime_ >= it->nextSecond) {
            send = true;
            it->nextSecond = std::floor(simTime_) + 1.0;
        }
        if (send)
            client_.outbox.push_back(dataMessage(SimRecvId::SimObjectData, it->requestId, it->defineId, *o));
        ++it;
    }
}

void SimStandIn::startFrameThread() {
    std::lock_guard lock(threadMutex);
    if (frameThread_.joinable()) return;
    frameThread_ = std::jthread([this](std::stop_token stop) { frameLoop(stop); });
}

void SimStandIn::stopFrameThread() {
    std::lock_guard lock(threadMutex);
    if (!frameThread_.joinable()) return;
    frameThread_.request_stop();
    frameThread_.join();
}

void SimStandIn::frameLoop(std::stop_token stop) {
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    while (!stop.stop_requested()) {
        double fps = 0.0;
        {
            std::lock_guard lock(worldMutex);
            frameLocked();
            fps = frameRate_;
        }
        next += std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / fps));
        const auto now = clock::now();
        if (next < now - maxFrameLag) next = now;
        gf_sleepUntil(stop, next);
    }
}

// ---------------------------------------------------------------- what happened

std::optional<StandInObject> SimStandIn::object(uint32_t id) const {
    std::lock_guard lock(worldMutex);
    if (id == userObjectId || id == SIM_OBJECT_ID_USER) return user_;
    auto it = objects_.find(id);
    if (it == objects_.end()) return std::nullopt;
    return it->second;
}

std::optional<StandInObject> SimStandIn::objectByTail(std::string_view tailNumber) const {
    std::lock_guard lock(worldMutex);
    for (const auto& [id, o] : objects_)
        if (!o.removed && o.tailNumber == tailNumber) return o;
    return std::nullopt;
}

std::vector<StandInObject> SimStandIn::aiObjects() const {
    std::lock_guard lock(worldMutex);
    std::vector<StandInObject> r;
    r.reserve(objects_.size());
    for (const auto& [id, o] : objects_) r.push_back(o);
    return r;
}

std::size_t SimStandIn::liveObjectCount() const {
    std::lock_guard lock(worldMutex);
    return static_cast<std::size_t>(
        std::count_if(objects_.begin(), objects_.end(), [](const auto& e) { return !e.second.removed; }));
}

StandInObject SimStandIn::userAircraft() const {
    std::lock_guard lock(worldMutex);
    return user_;
}

std::vector<CallRecord> SimStandIn::calls() const {
    return recorder_.calls();
}

std::vector<CallRecord> SimStandIn::callsFor(uint32_t objectId) const {
    return recorder_.callsFor(objectId);
}

std::vector<StrayCall> SimStandIn::strayCalls() const {
    return recorder_.strayCalls();
}

bool SimStandIn::clientOpen() const {
    std::lock_guard lock(worldMutex);
    return client_.open;
}

// ---------------------------------------------------------------- the objects

StandInObject* SimStandIn::findObject(uint32_t id) {
    if (id == SIM_OBJECT_ID_USER || id == userObjectId) return &user_;
    auto it = objects_.find(id);
    return it == objects_.end() ? nullptr : &it->second;
}

const StandInObject* SimStandIn::findObject(uint32_t id) const {
    return const_cast<SimStandIn*>(this)->findObject(id);
}

StandInObject* SimStandIn::findAi(uint32_t id) {
    auto it = objects_.find(id);
    if (it == objects_.end() || it->second.removed) return nullptr;
    return &it->second;
}

SimVarContext SimStandIn::varContext() const {
    return {world_, static_cast<double>(utcStart_) + simTime_};
}

void SimStandIn::recordTrack(StandInObject& o) {
    TrackPoint p;
    p.time = simTime_;
    p.latitude = o.latitude;
    p.longitude = o.longitude;
    p.altitude = o.altitude;
    p.pitch = o.pitch;
    p.bank = o.bank;
    p.heading = o.heading;
    p.trueAirspeed = o.trueAirspeed;
    p.verticalSpeed = o.verticalSpeed;
    p.groundSpeed = o.groundSpeed;
    p.altAboveGround = o.altitude - world_.elevationAt(o.latitude, o.longitude);
    p.onGround = world_.onGround(o);
    recorder_.addPoint(o, p);
}

void SimStandIn::removeObject(StandInObject& o, std::string_view how) {
    o.removed = true;
    o.removedAt = simTime_;
    recorder_.addEvent(o, {simTime_, std::string(how), 0});
    recorder_.addRemoval(o);
    client_.objects.erase(o.id);
    const uint32_t id = o.id;
    std::erase_if(client_.periodic, [&](const Periodic& p) { return p.objectId == id; });
    removedOrder_.push_back(id);
    const std::size_t keepRemoved = recorder_.limits().maxRemovedObjects;
    while (removedOrder_.size() > keepRemoved) {
        objects_.erase(removedOrder_.front());
        removedOrder_.pop_front();
    }
}

}  // namespace vdl
