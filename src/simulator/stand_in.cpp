#include "simulator/stand_in.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <filesystem>
#include <numbers>

namespace vdl {

namespace {

constexpr double degToRad = std::numbers::pi / 180.0;
constexpr double radToDeg = 180.0 / std::numbers::pi;
constexpr double ftPerSecondPerKnot = 1.6878098571011957;
constexpr double earthRadiusNm = 3437.7467707849392;  // 6875.493541569878 / 2
constexpr double metresPerNm = 1852.0;
constexpr double onGroundTolerance = 1.0;  // ft above the static CG height still on the ground

// Dimensions of the simulation variables; each has one canonical unit.
enum class Dim { Angle, Length, Speed, Percent, Plain, Time, Text };

enum Var : int {
    V_LATITUDE,
    V_LONGITUDE,
    V_ALTITUDE,
    V_PITCH,
    V_BANK,
    V_HEADING,
    V_VERTICAL_SPEED,
    V_TRUE_AIRSPEED,
    V_GROUND_VELOCITY,
    V_ON_GROUND,
    V_GROUND_ALTITUDE,
    V_ALT_ABOVE_GROUND,
    V_STATIC_CG,
    V_STATIC_PITCH,
    V_SPOILERS_HANDLE,
    V_THROTTLE_1,
    V_THROTTLE_2,
    V_LIGHT_NAV,
    V_LIGHT_BEACON,
    V_LIGHT_LANDING,
    V_LIGHT_TAXI,
    V_LIGHT_STROBE,
    V_LIGHT_LOGO,
    V_LIGHT_CABIN,
    V_ZULU_TIME,
    V_ZULU_DAY,
    V_ZULU_MONTH,
    V_ZULU_YEAR,
    V_ATC_ID,
    V_TITLE,
    V_COUNT
};

struct VarSpec {
    std::string_view name;
    Dim dim;
    bool settable;
};

// Canonical units: radians, feet, feet per second, percent, plain numbers, seconds.
constexpr std::array<VarSpec, V_COUNT> varTable{{
    {"PLANE LATITUDE", Dim::Angle, true},
    {"PLANE LONGITUDE", Dim::Angle, true},
    {"PLANE ALTITUDE", Dim::Length, true},
    {"PLANE PITCH DEGREES", Dim::Angle, true},
    {"PLANE BANK DEGREES", Dim::Angle, true},
    {"PLANE HEADING DEGREES TRUE", Dim::Angle, true},
    {"VERTICAL SPEED", Dim::Speed, true},
    {"AIRSPEED TRUE", Dim::Speed, true},
    {"GROUND VELOCITY", Dim::Speed, false},
    {"SIM ON GROUND", Dim::Plain, false},
    {"GROUND ALTITUDE", Dim::Length, false},
    {"PLANE ALT ABOVE GROUND", Dim::Length, false},
    {"STATIC CG TO GROUND", Dim::Length, false},
    {"STATIC PITCH", Dim::Angle, false},
    {"SPOILERS HANDLE POSITION", Dim::Percent, true},
    {"GENERAL ENG THROTTLE LEVER POSITION:1", Dim::Percent, true},
    {"GENERAL ENG THROTTLE LEVER POSITION:2", Dim::Percent, true},
    {"LIGHT NAV", Dim::Plain, false},
    {"LIGHT BEACON", Dim::Plain, false},
    {"LIGHT LANDING", Dim::Plain, false},
    {"LIGHT TAXI", Dim::Plain, false},
    {"LIGHT STROBE", Dim::Plain, false},
    {"LIGHT LOGO", Dim::Plain, false},
    {"LIGHT CABIN", Dim::Plain, false},
    {"ZULU TIME", Dim::Time, false},
    {"ZULU DAY OF MONTH", Dim::Plain, false},
    {"ZULU MONTH OF YEAR", Dim::Plain, false},
    {"ZULU YEAR", Dim::Plain, false},
    {"ATC ID", Dim::Text, false},
    {"TITLE", Dim::Text, false},
}};

std::string lf_upper(std::string_view s) {
    std::string r(s);
    for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

std::string lf_lower(std::string_view s) {
    std::string r(s);
    for (auto& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

int lf_findVar(std::string_view name) {
    const std::string upper = lf_upper(name);
    for (int i = 0; i < V_COUNT; ++i)
        if (varTable[static_cast<std::size_t>(i)].name == upper) return i;
    return -1;
}

// Factor from the canonical unit of the dimension to the named unit; none when unknown.
std::optional<double> lf_unitScale(Dim dim, std::string_view unitsName) {
    const std::string u = lf_lower(unitsName);
    switch (dim) {
        case Dim::Angle:
            if (u == "radians" || u == "radian") return 1.0;
            if (u == "degrees" || u == "degree") return radToDeg;
            break;
        case Dim::Length:
            if (u == "feet" || u == "foot" || u == "ft") return 1.0;
            if (u == "meters" || u == "meter" || u == "metres" || u == "m") return 0.3048;
            break;
        case Dim::Speed:
            if (u == "feet per second") return 1.0;
            if (u == "feet per minute") return 60.0;
            if (u == "knots" || u == "knot") return 1.0 / ftPerSecondPerKnot;
            if (u == "meters per second") return 0.3048;
            break;
        case Dim::Percent:
            if (u == "percent") return 1.0;
            if (u == "percent over 100") return 0.01;
            break;
        case Dim::Plain:
            if (u == "bool" || u == "number" || u == "enum" || u.empty()) return 1.0;
            break;
        case Dim::Time:
            if (u == "seconds" || u == "second") return 1.0;
            break;
        case Dim::Text:
            return 1.0;
    }
    return std::nullopt;
}

double lf_distanceNm(double lat1, double lon1, double lat2, double lon2) {
    const double p1 = lat1 * degToRad;
    const double p2 = lat2 * degToRad;
    const double dp = p2 - p1;
    const double dl = (lon2 - lon1) * degToRad;
    const double h = std::sin(dp / 2) * std::sin(dp / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * earthRadiusNm * std::asin(std::min(1.0, std::sqrt(h)));
}

double lf_lerp(double a, double b, double f) { return a + (b - a) * f; }

double lf_lerpAngle(double a, double b, double f) {
    double d = std::remainder(b - a, 2.0 * std::numbers::pi);
    double r = a + d * f;
    r = std::fmod(r, 2.0 * std::numbers::pi);
    return r < 0 ? r + 2.0 * std::numbers::pi : r;
}

void lf_applyEvent(StandInObject& o, std::string_view name, uint32_t data) {
    const bool on = data != 0;
    if (name == "NAV_LIGHTS_SET") o.lights.nav = on;
    else if (name == "BEACON_LIGHTS_SET") o.lights.beacon = on;
    else if (name == "LANDING_LIGHTS_SET") o.lights.landing = on;
    else if (name == "TAXI_LIGHTS_SET") o.lights.taxi = on;
    else if (name == "STROBES_SET") o.lights.strobe = on;
    else if (name == "LOGO_LIGHTS_SET") o.lights.logo = on;
    else if (name == "CABIN_LIGHTS_SET") o.lights.cabin = on;
    else if (name == "ALL_LIGHTS_TOGGLE") {
        auto& l = o.lights;
        for (bool* b : {&l.nav, &l.beacon, &l.landing, &l.taxi, &l.strobe, &l.logo, &l.cabin})
            *b = !*b;
    } else if (name == "FLAPS_SET") o.flaps = data;
    else if (name == "SPOILERS_SET") o.spoilers = data;
    else if (name == "GEAR_SET") o.gearDown = on;
    else if (name == "THROTTLE_SET") o.throttle = data;
    else if (name == "ENGINE_AUTO_START") o.enginesRunning = true;
    else if (name == "ENGINE_AUTO_SHUTDOWN") o.enginesRunning = false;
    else if (name == "FREEZE_LATITUDE_LONGITUDE_SET") o.frozenLatLon = on;
    else if (name == "FREEZE_ALTITUDE_SET") o.frozenAltitude = on;
    else if (name == "FREEZE_ATTITUDE_SET") o.frozenAttitude = on;
}

constexpr std::array<std::string_view, 7> knownSystemEvents{
    "Frame", "Pause", "Sim", "SimStart", "SimStop", "FlightLoaded", "ObjectRemoved"};

}  // namespace

std::string_view gf_simCallName(SimCall call) {
    switch (call) {
        case SimCall::Open: return "Open";
        case SimCall::Close: return "Close";
        case SimCall::AddToDataDefinition: return "AddToDataDefinition";
        case SimCall::MapClientEventToSimEvent: return "MapClientEventToSimEvent";
        case SimCall::AddClientEventToNotificationGroup: return "AddClientEventToNotificationGroup";
        case SimCall::SetNotificationGroupPriority: return "SetNotificationGroupPriority";
        case SimCall::SubscribeToSystemEvent: return "SubscribeToSystemEvent";
        case SimCall::AICreateNonATCAircraft: return "AICreateNonATCAircraft";
        case SimCall::AIRemoveObject: return "AIRemoveObject";
        case SimCall::AIReleaseControl: return "AIReleaseControl";
        case SimCall::AISetAircraftFlightPlan: return "AISetAircraftFlightPlan";
        case SimCall::SetDataOnSimObject: return "SetDataOnSimObject";
        case SimCall::RequestDataOnSimObject: return "RequestDataOnSimObject";
        case SimCall::RequestDataOnSimObjectType: return "RequestDataOnSimObjectType";
        case SimCall::TransmitClientEvent: return "TransmitClientEvent";
    }
    return "?";
}

SimStandIn::SimStandIn() {
    user_.id = userObjectId;
    user_.isUser = true;
    user_.title = "User Aircraft";
    user_.tailNumber = "USER";
    user_.userOnGround = true;
}

SimStandIn::~SimStandIn() { stopFrameThread(); }

// ---------------------------------------------------------------- the world

void SimStandIn::installTitle(std::string title, TitleInfo info) {
    std::lock_guard lock(worldMutex);
    titles_[std::move(title)] = info;
}

bool SimStandIn::isInstalled(std::string_view title) const {
    std::lock_guard lock(worldMutex);
    return titles_.find(title) != titles_.end();
}

void SimStandIn::setTerrainElevation(double feet) {
    std::lock_guard lock(worldMutex);
    terrainBase_ = feet;
}

void SimStandIn::addAirport(double latitude, double longitude, double radiusNm,
                            double elevationFt) {
    std::lock_guard lock(worldMutex);
    airports_.push_back({latitude, longitude, std::max(radiusNm, 0.01), elevationFt});
}

double SimStandIn::terrainElevation(double latitude, double longitude) const {
    std::lock_guard lock(worldMutex);
    return terrainAt(latitude, longitude);
}

double SimStandIn::terrainAt(double latitude, double longitude) const {
    double elevation = terrainBase_;
    for (const auto& a : airports_) {
        const double d = lf_distanceNm(latitude, longitude, a.latitude, a.longitude);
        double w = 0.0;
        if (d <= a.radiusNm) w = 1.0;
        else if (d < 2.0 * a.radiusNm) w = (2.0 * a.radiusNm - d) / a.radiusNm;
        if (w > 0.0) elevation = elevation * (1.0 - w) + a.elevation * w;
    }
    return elevation;
}

void SimStandIn::setUserScript(std::vector<UserKeyframe> keyframes) {
    std::lock_guard lock(worldMutex);
    std::stable_sort(keyframes.begin(), keyframes.end(),
                     [](const auto& a, const auto& b) { return a.time < b.time; });
    userScript_ = std::move(keyframes);
    updateUser();
}

void SimStandIn::setRecordLimits(RecordLimits limits) {
    std::lock_guard lock(worldMutex);
    limits_ = limits;
    limits_.maxCalls = std::max<std::size_t>(limits_.maxCalls, 1);
    limits_.maxTrackPoints = std::max<std::size_t>(limits_.maxTrackPoints, 1);
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
    frameRate_ = std::clamp(framesPerSecond, 1.0, 1000.0);
}

double SimStandIn::frameRate() const {
    std::lock_guard lock(worldMutex);
    return frameRate_;
}

// ---------------------------------------------------------------- state of the simulator

void SimStandIn::postEvent(std::string_view systemEvent, uint32_t data) {
    if (!open_) return;
    auto it = systemEvents_.find(systemEvent);
    if (it == systemEvents_.end()) return;
    SimRecv m;
    m.id = SimRecvId::Event;
    m.eventId = it->second;
    m.eventData = data;
    outbox_.push_back(std::move(m));
}

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
    if (!open_ || quit_) return;
    auto it = systemEvents_.find("FlightLoaded");
    if (it == systemEvents_.end()) return;
    SimRecv m;
    m.id = SimRecvId::EventFilename;
    m.eventId = it->second;
    m.fileName = std::move(fileName);
    outbox_.push_back(std::move(m));
}

void SimStandIn::quit() {
    std::lock_guard lock(worldMutex);
    if (quit_) return;
    quit_ = true;
    simRunning_ = false;
    jobs_.clear();
    if (open_) {
        SimRecv m;
        m.id = SimRecvId::Quit;
        outbox_.push_back(std::move(m));
    }
}

bool SimStandIn::paused() const {
    std::lock_guard lock(worldMutex);
    return paused_;
}

bool SimStandIn::running() const {
    std::lock_guard lock(worldMutex);
    return simRunning_ && !paused_ && !quit_;
}

// ---------------------------------------------------------------- faults

void SimStandIn::injectFault(SimCall call, FaultKind kind, int count, uint32_t delayFrames,
                             std::optional<uint32_t> requestId) {
    if (count <= 0) return;
    std::lock_guard lock(worldMutex);
    faults_.push_back({call, kind, count, delayFrames, requestId});
}

void SimStandIn::clearFaults() {
    std::lock_guard lock(worldMutex);
    faults_.clear();
}

std::optional<SimStandIn::FaultRule> SimStandIn::takeFault(SimCall call, uint32_t requestId) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->call != call) continue;
        if (it->requestId && *it->requestId != requestId) continue;
        FaultRule taken = *it;
        if (--it->remaining <= 0) faults_.erase(it);
        return taken;
    }
    return std::nullopt;
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
    const int frames = static_cast<int>(std::ceil(seconds * frameRate() - 1e-9));
    stepFrames(frames);
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
    updateUser();

    std::vector<Job> due;
    auto firstLater = std::stable_partition(jobs_.begin(), jobs_.end(),
                                            [&](const Job& j) { return j.dueFrame <= frame_; });
    std::move(jobs_.begin(), firstLater, std::back_inserter(due));
    jobs_.erase(jobs_.begin(), firstLater);
    for (auto& job : due) {
        auto messages = job.run();
        if (job.dropAnswer || !open_) continue;
        for (auto& m : messages) outbox_.push_back(std::move(m));
    }

    if (!live || !open_) return;
    if (auto it = systemEvents_.find("Frame"); it != systemEvents_.end()) {
        SimRecv m;
        m.id = SimRecvId::EventFrame;
        m.eventId = it->second;
        m.frameRate = static_cast<float>(frameRate_);
        m.simSpeed = 1.0f;
        outbox_.push_back(std::move(m));
    }
    for (auto it = periodic_.begin(); it != periodic_.end();) {
        const StandInObject* o = findObject(it->objectId);
        if (o == nullptr || o->removed) {
            it = periodic_.erase(it);
            continue;
        }
        bool send = it->period == SimPeriod::SimFrame || it->period == SimPeriod::VisualFrame;
        if (it->period == SimPeriod::Second && simTime_ >= it->nextSecond) {
            send = true;
            it->nextSecond = std::floor(simTime_) + 1.0;
        }
        if (send)
            outbox_.push_back(dataMessage(SimRecvId::SimObjectData, it->requestId, it->defineId, *o));
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
    std::mutex sleepMutex;
    std::condition_variable_any wake;
    auto next = clock::now();
    while (!stop.stop_requested()) {
        double fps = 30.0;
        {
            std::lock_guard lock(worldMutex);
            frameLocked();
            fps = frameRate_;
        }
        next += std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(1.0 / fps));
        const auto now = clock::now();
        if (next < now - std::chrono::seconds(1)) next = now;  // fell far behind: don't race
        std::unique_lock lock(sleepMutex);
        wake.wait_until(lock, stop, next, [] { return false; });
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
    std::lock_guard lock(worldMutex);
    return {calls_.begin(), calls_.end()};
}

std::vector<CallRecord> SimStandIn::callsFor(uint32_t objectId) const {
    std::lock_guard lock(worldMutex);
    std::vector<CallRecord> r;
    for (const auto& c : calls_)
        if (c.objectId == objectId) r.push_back(c);
    return r;
}

bool SimStandIn::clientOpen() const {
    std::lock_guard lock(worldMutex);
    return open_;
}

// ---------------------------------------------------------------- helpers

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

const TitleInfo& SimStandIn::titleInfo(const StandInObject& o) const {
    static const TitleInfo defaults;
    auto it = titles_.find(o.title);
    return it == titles_.end() ? defaults : it->second;
}

bool SimStandIn::aiOnGround(const StandInObject& o) const {
    if (o.isUser) return o.userOnGround;
    return o.altitude - terrainAt(o.latitude, o.longitude) <=
           titleInfo(o).staticCgHeight + onGroundTolerance;
}

double SimStandIn::varValue(const StandInObject& o, int var) const {
    const double utc = static_cast<double>(utcStart_) + simTime_;
    std::tm tm{};
    if (var == V_ZULU_DAY || var == V_ZULU_MONTH || var == V_ZULU_YEAR) {
        const std::time_t t = static_cast<std::time_t>(std::floor(utc));
        gmtime_r(&t, &tm);
    }
    switch (var) {
        case V_LATITUDE: return o.latitude * degToRad;
        case V_LONGITUDE: return o.longitude * degToRad;
        case V_ALTITUDE: return o.altitude;
        case V_PITCH: return o.pitch;
        case V_BANK: return o.bank;
        case V_HEADING: return o.heading;
        case V_VERTICAL_SPEED: return o.verticalSpeed;
        case V_TRUE_AIRSPEED: return o.trueAirspeed * ftPerSecondPerKnot;
        case V_GROUND_VELOCITY: return o.groundSpeed * ftPerSecondPerKnot;
        case V_ON_GROUND: return aiOnGround(o) ? 1.0 : 0.0;
        case V_GROUND_ALTITUDE: return terrainAt(o.latitude, o.longitude);
        case V_ALT_ABOVE_GROUND: return o.altitude - terrainAt(o.latitude, o.longitude);
        case V_STATIC_CG: return titleInfo(o).staticCgHeight;
        case V_STATIC_PITCH: return titleInfo(o).staticPitch;
        case V_SPOILERS_HANDLE: return o.spoilersHandle;
        case V_THROTTLE_1: return o.throttleLever1;
        case V_THROTTLE_2: return o.throttleLever2;
        case V_LIGHT_NAV: return o.lights.nav;
        case V_LIGHT_BEACON: return o.lights.beacon;
        case V_LIGHT_LANDING: return o.lights.landing;
        case V_LIGHT_TAXI: return o.lights.taxi;
        case V_LIGHT_STROBE: return o.lights.strobe;
        case V_LIGHT_LOGO: return o.lights.logo;
        case V_LIGHT_CABIN: return o.lights.cabin;
        case V_ZULU_TIME: {
            const double t = std::fmod(utc, 86400.0);
            return t < 0 ? t + 86400.0 : t;
        }
        case V_ZULU_DAY: return tm.tm_mday;
        case V_ZULU_MONTH: return tm.tm_mon + 1;
        case V_ZULU_YEAR: return tm.tm_year + 1900;
        default: return 0.0;
    }
}

std::string SimStandIn::varText(const StandInObject& o, int var) const {
    if (var == V_ATC_ID) return o.tailNumber;
    if (var == V_TITLE) return o.title;
    return {};
}

bool SimStandIn::encode(const StandInObject& o, uint32_t defineId,
                        std::vector<std::byte>& out) const {
    auto it = definitions_.find(defineId);
    if (it == definitions_.end()) return false;
    SimDataWriter w;
    for (const auto& d : it->second) {
        if (gf_simDataTypeIsString(d.type)) {
            w.text(varText(o, d.var), d.type);
            continue;
        }
        const double v = varValue(o, d.var) * d.scale;
        switch (d.type) {
            case SimDataType::Int32: w.i32(static_cast<int32_t>(std::llround(v))); break;
            case SimDataType::Int64: w.i64(static_cast<int64_t>(std::llround(v))); break;
            case SimDataType::Float32: w.f32(static_cast<float>(v)); break;
            default: w.f64(v); break;
        }
    }
    out = std::move(w.bytes());
    return true;
}

SimRecv SimStandIn::dataMessage(SimRecvId id, uint32_t requestId, uint32_t defineId,
                                const StandInObject& o) const {
    SimRecv m;
    m.id = id;
    m.requestId = requestId;
    m.objectId = o.id;
    m.defineId = defineId;
    m.entryNumber = 1;
    m.outOf = 1;
    encode(o, defineId, m.data);
    return m;
}

SimRecv SimStandIn::exceptionMessage(SimException exception, uint32_t sendId,
                                     uint32_t index) const {
    SimRecv m;
    m.id = SimRecvId::Exception;
    m.exception = exception;
    m.sendId = sendId;
    m.index = index;
    return m;
}

void SimStandIn::postException(SimException exception, uint32_t sendId, uint32_t index) {
    outbox_.push_back(exceptionMessage(exception, sendId, index));
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
    if (!o.track.empty()) {
        const auto& prev = o.track.back();
        const double dt = p.time - prev.time;
        if (dt > 0.0)
            p.groundSpeed = lf_distanceNm(prev.latitude, prev.longitude, p.latitude, p.longitude) /
                            (dt / 3600.0);
    }
    o.groundSpeed = p.groundSpeed;
    p.altAboveGround = o.altitude - terrainAt(o.latitude, o.longitude);
    p.onGround = aiOnGround(o);
    o.track.push_back(p);
    while (o.track.size() > limits_.maxTrackPoints) o.track.pop_front();
}

void SimStandIn::updateUser() {
    if (userScript_.empty()) return;
    const auto& s = userScript_;
    auto later = std::upper_bound(s.begin(), s.end(), simTime_,
                                  [](double t, const UserKeyframe& k) { return t < k.time; });
    const UserKeyframe& a = later == s.begin() ? s.front() : *(later - 1);
    const UserKeyframe& b = later == s.end() ? a : *later;
    double f = 0.0;
    if (&a != &b && b.time > a.time) f = std::clamp((simTime_ - a.time) / (b.time - a.time), 0.0, 1.0);
    user_.latitude = lf_lerp(a.latitude, b.latitude, f);
    user_.longitude = lf_lerp(a.longitude, b.longitude, f);
    user_.altitude = lf_lerp(a.altitude, b.altitude, f);
    user_.pitch = lf_lerp(a.pitch, b.pitch, f);
    user_.bank = lf_lerp(a.bank, b.bank, f);
    user_.heading = lf_lerpAngle(a.heading, b.heading, f);
    user_.groundSpeed = lf_lerp(a.groundSpeed, b.groundSpeed, f);
    user_.userOnGround = a.onGround;
    user_.lights = a.lights;
}

void SimStandIn::removeObject(StandInObject& o, std::string_view how) {
    o.removed = true;
    o.removedAt = simTime_;
    o.events.push_back({simTime_, std::string(how), 0});
    clientObjects_.erase(o.id);
    const uint32_t id = o.id;
    std::erase_if(periodic_, [&](const Periodic& p) { return p.objectId == id; });
    removedOrder_.push_back(id);
    while (removedOrder_.size() > limits_.maxRemovedObjects) {
        objects_.erase(removedOrder_.front());
        removedOrder_.pop_front();
    }
}

SimResult SimStandIn::submit(
    SimCall call, uint32_t objectId, uint32_t requestId, std::string detail,
    std::function<std::vector<SimRecv>(uint32_t sendId, std::size_t record)> job) {
    CallRecord rec;
    rec.frame = frame_;
    rec.time = simTime_;
    rec.call = call;
    rec.objectId = objectId;
    rec.requestId = requestId;
    rec.detail = std::move(detail);
    if (!open_ || quit_) {
        rec.failed = true;
        calls_.push_back(std::move(rec));
        return SIM_FAIL;
    }
    rec.sendId = ++sendCounter_;
    const auto fault = takeFault(call, requestId);
    rec.failed = fault && fault->kind == FaultKind::Fail;
    const uint32_t sendId = rec.sendId;
    const uint64_t index = callsDropped_ + calls_.size();
    const bool failed = rec.failed;
    calls_.push_back(std::move(rec));
    while (calls_.size() > limits_.maxCalls) {
        calls_.pop_front();
        ++callsDropped_;
    }
    if (failed) return SIM_FAIL;
    if (job) {
        Job j;
        j.dueFrame = frame_ + 1;
        if (fault && fault->kind == FaultKind::Late) j.dueFrame += fault->delayFrames;
        j.dropAnswer = fault && fault->kind == FaultKind::Missing;
        j.run = [job = std::move(job), sendId, index] { return job(sendId, index); };
        jobs_.push_back(std::move(j));
    }
    return SIM_OK;
}

// ---------------------------------------------------------------- SimBackend

SimResult SimStandIn::open(std::string_view applicationName) {
    std::lock_guard lock(worldMutex);
    if (quit_ || open_) return SIM_FAIL;
    open_ = true;
    sendCounter_ = 0;
    definitions_.clear();
    eventNames_.clear();
    eventGroups_.clear();
    systemEvents_.clear();
    periodic_.clear();
    jobs_.clear();
    outbox_.clear();
    CallRecord rec;
    rec.frame = frame_;
    rec.time = simTime_;
    rec.call = SimCall::Open;
    rec.detail = std::string(applicationName);
    calls_.push_back(std::move(rec));
    SimRecv m;
    m.id = SimRecvId::Open;
    m.applicationName = "Simulator stand-in";
    outbox_.push_back(std::move(m));
    return SIM_OK;
}

void SimStandIn::close() {
    std::lock_guard lock(worldMutex);
    if (!open_) return;
    CallRecord rec;
    rec.frame = frame_;
    rec.time = simTime_;
    rec.call = SimCall::Close;
    calls_.push_back(std::move(rec));
    // The simulator takes a client's AI objects away when the client goes.
    for (uint32_t id : std::vector<uint32_t>(clientObjects_.begin(), clientObjects_.end()))
        if (auto* o = findAi(id)) removeObject(*o, "removed at close");
    clientObjects_.clear();
    open_ = false;
    definitions_.clear();
    eventNames_.clear();
    eventGroups_.clear();
    systemEvents_.clear();
    periodic_.clear();
    jobs_.clear();
    outbox_.clear();
}

SimResult SimStandIn::addToDataDefinition(uint32_t defineId, std::string_view datumName,
                                          std::string_view unitsName, SimDataType type) {
    std::lock_guard lock(worldMutex);
    const SimResult r = submit(SimCall::AddToDataDefinition, 0, 0,
                               fmt::format("def {} \"{}\" \"{}\"", defineId, datumName, unitsName),
                               nullptr);
    if (r < 0) return r;
    auto& def = definitions_[defineId];
    const uint32_t sendId = sendCounter_;
    const uint32_t index = static_cast<uint32_t>(def.size());
    Datum d;
    d.name = std::string(datumName);
    d.units = std::string(unitsName);
    d.type = type;
    d.var = lf_findVar(datumName);
    if (d.var < 0) {
        postException(SimException::NameUnrecognized, sendId, index);
        return SIM_OK;
    }
    const VarSpec& var = varTable[static_cast<std::size_t>(d.var)];
    if ((var.dim == Dim::Text) != gf_simDataTypeIsString(type)) {
        postException(SimException::Error, sendId, index);
        return SIM_OK;
    }
    const auto scale = lf_unitScale(var.dim, unitsName);
    if (!scale) {
        postException(SimException::UnrecognizedUnits, sendId, index);
        return SIM_OK;
    }
    d.scale = *scale;
    def.push_back(std::move(d));
    return SIM_OK;
}

SimResult SimStandIn::mapClientEventToSimEvent(uint32_t eventId, std::string_view eventName) {
    std::lock_guard lock(worldMutex);
    const SimResult r = submit(SimCall::MapClientEventToSimEvent, 0, 0,
                               fmt::format("{} {}", eventId, eventName), nullptr);
    if (r < 0) return r;
    if (eventNames_.count(eventId)) {
        postException(SimException::EventIdDuplicate, sendCounter_);
        return SIM_OK;
    }
    eventNames_[eventId] = lf_upper(eventName);
    return SIM_OK;
}

SimResult SimStandIn::addClientEventToNotificationGroup(uint32_t groupId, uint32_t eventId,
                                                        bool maskable) {
    std::lock_guard lock(worldMutex);
    const SimResult r = submit(SimCall::AddClientEventToNotificationGroup, 0, 0,
                               fmt::format("group {} event {} maskable {}", groupId, eventId, maskable),
                               nullptr);
    if (r < 0) return r;
    if (!eventNames_.count(eventId)) {
        postException(SimException::UnrecognizedId, sendCounter_, 2);
        return SIM_OK;
    }
    eventGroups_[eventId] = groupId;
    return SIM_OK;
}

SimResult SimStandIn::setNotificationGroupPriority(uint32_t groupId, uint32_t priority) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::SetNotificationGroupPriority, 0, 0,
                  fmt::format("group {} priority {}", groupId, priority), nullptr);
}

SimResult SimStandIn::subscribeToSystemEvent(uint32_t eventId, std::string_view eventName) {
    std::lock_guard lock(worldMutex);
    const SimResult r = submit(SimCall::SubscribeToSystemEvent, 0, 0,
                               fmt::format("{} {}", eventId, eventName), nullptr);
    if (r < 0) return r;
    auto known = std::find_if(knownSystemEvents.begin(), knownSystemEvents.end(), [&](auto n) {
        return lf_lower(n) == lf_lower(eventName);
    });
    if (known == knownSystemEvents.end()) {
        postException(SimException::NameUnrecognized, sendCounter_, 2);
        return SIM_OK;
    }
    systemEvents_[std::string(*known)] = eventId;
    // A late subscriber learns the current state at once.
    if (*known == "Sim") postEvent("Sim", simRunning_ ? 1 : 0);
    if (*known == "Pause") postEvent("Pause", paused_ ? 1 : 0);
    return SIM_OK;
}

SimResult SimStandIn::aiCreateNonAtcAircraft(std::string_view title, std::string_view tailNumber,
                                             const SimInitPosition& position,
                                             uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(
        SimCall::AICreateNonATCAircraft, 0, requestId,
        fmt::format("\"{}\" tail \"{}\" {:.6f},{:.6f} alt {:.0f} hdg {:.1f} ground {}", title,
                    tailNumber, position.latitude, position.longitude, position.altitude,
                    position.heading, position.onGround),
        [this, title = std::string(title), tail = std::string(tailNumber), position,
         requestId](uint32_t sendId, std::size_t record) -> std::vector<SimRecv> {
            auto info = titles_.find(title);
            if (info == titles_.end()) return {exceptionMessage(SimException::CreateObjectFailed, sendId)};
            StandInObject o;
            o.id = nextObjectId_++;
            o.title = title;
            o.tailNumber = tail;
            o.latitude = position.latitude;
            o.longitude = position.longitude;
            o.pitch = position.pitch * degToRad;
            o.bank = position.bank * degToRad;
            o.heading = position.heading * degToRad;
            o.trueAirspeed = position.airspeed;
            o.altitude = position.onGround != 0
                             ? terrainAt(o.latitude, o.longitude) + info->second.staticCgHeight
                             : position.altitude;
            o.gearDown = position.onGround != 0;
            o.createdAt = simTime_;
            o.events.push_back({simTime_, "created", 0});
            recordTrack(o);
            if (record >= callsDropped_) calls_[record - callsDropped_].objectId = o.id;
            clientObjects_.insert(o.id);
            SimRecv m;
            m.id = SimRecvId::AssignedObjectId;
            m.requestId = requestId;
            m.objectId = o.id;
            objects_.emplace(o.id, std::move(o));
            return {m};
        });
}

SimResult SimStandIn::aiRemoveObject(uint32_t objectId, uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AIRemoveObject, objectId, requestId, {},
                  [this, objectId](uint32_t sendId, std::size_t) -> std::vector<SimRecv> {
                      StandInObject* o = findAi(objectId);
                      if (o == nullptr) return {exceptionMessage(SimException::UnrecognizedId, sendId, 1)};
                      if (!clientObjects_.count(objectId))
                          return {exceptionMessage(SimException::ObjectNotAi, sendId, 1)};
                      removeObject(*o, "removed");
                      auto it = systemEvents_.find("ObjectRemoved");
                      if (it == systemEvents_.end()) return {};
                      SimRecv m;
                      m.id = SimRecvId::EventObjectAddRemove;
                      m.eventId = it->second;
                      m.objectId = objectId;
                      m.eventData = static_cast<uint32_t>(SimObjectType::Aircraft);
                      return {m};
                  });
}

SimResult SimStandIn::aiReleaseControl(uint32_t objectId, uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AIReleaseControl, objectId, requestId, {},
                  [this, objectId](uint32_t sendId, std::size_t) -> std::vector<SimRecv> {
                      StandInObject* o = findAi(objectId);
                      if (o == nullptr) return {exceptionMessage(SimException::UnrecognizedId, sendId, 1)};
                      o->aiReleased = true;
                      o->events.push_back({simTime_, "AI released", 0});
                      return {};
                  });
}

SimResult SimStandIn::aiSetAircraftFlightPlan(uint32_t objectId, std::string_view path,
                                              uint32_t requestId) {
    std::lock_guard lock(worldMutex);
    return submit(SimCall::AISetAircraftFlightPlan, objectId, requestId, std::string(path),
                  [this, objectId, path = std::string(path)](uint32_t sendId, std::size_t)
                      -> std::vector<SimRecv> {
                      StandInObject* o = findAi(objectId);
                      if (o == nullptr) return {exceptionMessage(SimException::UnrecognizedId, sendId, 1)};
                      std::error_code ec;
                      if (!std::filesystem::is_regular_file(path, ec))
                          return {exceptionMessage(SimException::LoadFlightplanFailed, sendId, 2)};
                      o->flightPlan = path;
                      o->events.push_back({simTime_, "flight plan", 0});
                      return {};
                  });
}

SimResult SimStandIn::setDataOnSimObject(uint32_t defineId, uint32_t objectId, uint32_t flags,
                                         uint32_t arrayCount, uint32_t unitSize,
                                         const void* data) {
    std::lock_guard lock(worldMutex);
    (void)flags;
    std::vector<std::byte> bytes;
    const std::size_t count = std::max<uint32_t>(arrayCount, 1);
    if (data != nullptr && unitSize > 0) {
        const auto* b = static_cast<const std::byte*>(data);
        bytes.assign(b, b + static_cast<std::size_t>(unitSize) * count);
    }
    return submit(
        SimCall::SetDataOnSimObject, objectId, 0, fmt::format("def {}", defineId),
        [this, defineId, objectId, unitSize, bytes = std::move(bytes)](
            uint32_t sendId, std::size_t) -> std::vector<SimRecv> {
            auto def = definitions_.find(defineId);
            if (def == definitions_.end()) return {exceptionMessage(SimException::UnrecognizedId, sendId, 1)};
            StandInObject* o = objectId == SIM_OBJECT_ID_USER || objectId == userObjectId
                                   ? &user_ : findAi(objectId);
            if (o == nullptr) return {exceptionMessage(SimException::UnrecognizedId, sendId, 2)};
            std::size_t size = 0;
            for (const auto& d : def->second) size += gf_simDataTypeSize(d.type);
            if (size != unitSize || bytes.size() < size)
                return {exceptionMessage(SimException::OutOfBounds, sendId, 5)};
            SimDataReader reader(bytes);
            std::vector<std::pair<int, double>> values;
            for (const auto& d : def->second) {
                const VarSpec& var = varTable[static_cast<std::size_t>(d.var)];
                if (!var.settable) return {exceptionMessage(SimException::Error, sendId, 1)};
                double v = 0.0;
                switch (d.type) {
                    case SimDataType::Int32: v = reader.i32(); break;
                    case SimDataType::Int64: v = static_cast<double>(reader.i64()); break;
                    case SimDataType::Float32: v = reader.f32(); break;
                    default: v = reader.f64(); break;
                }
                values.emplace_back(d.var, v / d.scale);
            }
            bool moved = false;
            for (auto [var, v] : values) {
                switch (var) {
                    case V_LATITUDE: o->latitude = v * radToDeg; moved = true; break;
                    case V_LONGITUDE: o->longitude = v * radToDeg; moved = true; break;
                    case V_ALTITUDE: o->altitude = v; moved = true; break;
                    case V_PITCH: o->pitch = v; moved = true; break;
                    case V_BANK: o->bank = v; moved = true; break;
                    case V_HEADING: o->heading = v; moved = true; break;
                    case V_VERTICAL_SPEED: o->verticalSpeed = v; break;
                    case V_TRUE_AIRSPEED: o->trueAirspeed = v / ftPerSecondPerKnot; break;
                    case V_SPOILERS_HANDLE: o->spoilersHandle = v; break;
                    case V_THROTTLE_1: o->throttleLever1 = v; break;
                    case V_THROTTLE_2: o->throttleLever2 = v; break;
                    default: break;
                }
            }
            if (moved && !o->isUser) recordTrack(*o);
            return {};
        });
}

SimResult SimStandIn::requestDataOnSimObject(uint32_t requestId, uint32_t defineId,
                                             uint32_t objectId, SimPeriod period) {
    std::lock_guard lock(worldMutex);
    return submit(
        SimCall::RequestDataOnSimObject, objectId, requestId,
        fmt::format("def {} period {}", defineId, static_cast<uint32_t>(period)),
        [this, requestId, defineId, objectId, period](uint32_t sendId,
                                                      std::size_t) -> std::vector<SimRecv> {
            std::erase_if(periodic_, [&](const Periodic& p) { return p.requestId == requestId; });
            if (period == SimPeriod::Never) return {};
            if (!definitions_.count(defineId)) return {exceptionMessage(SimException::UnrecognizedId, sendId, 2)};
            const StandInObject* o = findObject(objectId);
            if (o == nullptr || o->removed) return {exceptionMessage(SimException::UnrecognizedId, sendId, 3)};
            if (period != SimPeriod::Once)
                periodic_.push_back({requestId, defineId, o->id, period, std::floor(simTime_) + 1.0});
            return {dataMessage(SimRecvId::SimObjectData, requestId, defineId, *o)};
        });
}

SimResult SimStandIn::requestDataOnSimObjectType(uint32_t requestId, uint32_t defineId,
                                                 uint32_t radiusMeters, SimObjectType type) {
    std::lock_guard lock(worldMutex);
    return submit(
        SimCall::RequestDataOnSimObjectType, 0, requestId,
        fmt::format("def {} radius {} type {}", defineId, radiusMeters, static_cast<uint32_t>(type)),
        [this, requestId, defineId, radiusMeters, type](uint32_t sendId,
                                                        std::size_t) -> std::vector<SimRecv> {
            if (!definitions_.count(defineId)) return {exceptionMessage(SimException::UnrecognizedId, sendId, 2)};
            if (radiusMeters > maxRadiusMeters) return {exceptionMessage(SimException::OutOfBounds, sendId, 3)};
            std::vector<const StandInObject*> found;
            if (type == SimObjectType::User || type == SimObjectType::Aircraft || type == SimObjectType::All)
                found.push_back(&user_);
            // Radius 0 asks for the user aircraft alone.
            if (radiusMeters > 0 && (type == SimObjectType::Aircraft || type == SimObjectType::All)) {
                for (const auto& [id, o] : objects_) {
                    if (o.removed) continue;
                    const double metres =
                        lf_distanceNm(user_.latitude, user_.longitude, o.latitude, o.longitude) * metresPerNm;
                    if (metres <= static_cast<double>(radiusMeters)) found.push_back(&o);
                }
            }
            std::vector<SimRecv> messages;
            for (std::size_t i = 0; i < found.size(); ++i) {
                SimRecv m = dataMessage(SimRecvId::SimObjectDataByType, requestId, defineId, *found[i]);
                m.entryNumber = static_cast<uint32_t>(i + 1);
                m.outOf = static_cast<uint32_t>(found.size());
                messages.push_back(std::move(m));
            }
            return messages;
        });
}

SimResult SimStandIn::transmitClientEvent(uint32_t objectId, uint32_t eventId, uint32_t data,
                                          uint32_t groupId, uint32_t flags) {
    std::lock_guard lock(worldMutex);
    auto name = eventNames_.find(eventId);
    const std::string eventName = name == eventNames_.end() ? fmt::format("#{}", eventId) : name->second;
    (void)flags;
    return submit(SimCall::TransmitClientEvent, objectId, 0,
                  fmt::format("{} {} group {}", eventName, data, groupId),
                  [this, objectId, eventId, data](uint32_t sendId, std::size_t) -> std::vector<SimRecv> {
                      auto n = eventNames_.find(eventId);
                      if (n == eventNames_.end()) return {exceptionMessage(SimException::UnrecognizedId, sendId, 2)};
                      if (objectId == SIM_OBJECT_ID_USER || objectId == userObjectId) return {};
                      StandInObject* o = findAi(objectId);
                      if (o == nullptr) return {exceptionMessage(SimException::UnrecognizedId, sendId, 1)};
                      lf_applyEvent(*o, n->second, data);
                      o->events.push_back({simTime_, n->second, data});
                      return {};
                  });
}

SimResult SimStandIn::getLastSentPacketId(uint32_t& sendId) {
    std::lock_guard lock(worldMutex);
    if (!open_) return SIM_FAIL;
    sendId = sendCounter_;
    return SIM_OK;
}

SimResult SimStandIn::getNextDispatch(SimRecv& message) {
    std::lock_guard lock(worldMutex);
    if (outbox_.empty()) return SIM_FAIL;
    message = std::move(outbox_.front());
    outbox_.pop_front();
    return SIM_OK;
}

}  // namespace vdl
