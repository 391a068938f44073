#include "simulator/sim_scenario.h"

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "simlink/sim_layer.h"

namespace vdl {

namespace {

constexpr double radPerDeg = pi / 180.0;
constexpr double feetPerMetre = 3.280839895;
constexpr double ktPerMps = 3600.0 / 1852.0;
// The program reads no call records: a short log is enough and keeps a long run small.
constexpr std::size_t programCallRecords = 10000;

// Sleeps until the time has passed or a stop is asked; false when stopped.
bool lf_sleep(std::stop_token stop, std::chrono::milliseconds time) {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    return !cv.wait_for(lock, stop, time, [] { return false; }) && !stop.stop_requested();
}

double lf_heading(double degrees) {
    double rad = degrees * radPerDeg;
    while (rad >= 2.0 * pi) rad -= 2.0 * pi;
    while (rad < 0.0) rad += 2.0 * pi;
    return rad;
}

}  // namespace

namespace eddl {

LatLon gf_runwayPoint(bool northRunway, double alongM, double rightM) {
    const double along = runwayHeadingDeg * radPerDeg;
    const double right = along + pi / 2.0;
    LatLon centre = southRunwayCentre;
    if (northRunway) {
        centre = gf_destination(centre, along - pi / 2.0, northRunwayOffsetM * feetPerMetre);
        centre = gf_destination(centre, along, northRunwayShiftM * feetPerMetre);
    }
    LatLon p = gf_destination(centre, along, alongM * feetPerMetre);
    return gf_destination(p, right, rightM * feetPerMetre);
}

LatLon gf_threshold(bool northRunway, bool runway23) {
    const double half = (northRunway ? northRunwayLengthM : southRunwayLengthM) / 2.0;
    return gf_runwayPoint(northRunway, runway23 ? half : -half, 0.0);
}

}  // namespace eddl

std::vector<UserKeyframe> gf_scenarioUserFlight() {
    // Along and right of 05R/23L's centre, metres; the stand is on the apron south-east of it.
    constexpr double standAlong = 127.0;
    constexpr double standRight = 450.0;
    const double groundAlt = eddl::elevationFt;
    const double towardRunway = lf_heading(eddl::runwayHeadingDeg - 90.0);
    const double runway23 = lf_heading(eddl::runwayHeadingDeg + 180.0);

    StandInLights parked;
    parked.nav = parked.beacon = true;
    StandInLights taxi = parked;
    taxi.taxi = true;
    StandInLights takeoff = taxi;
    takeoff.landing = takeoff.strobe = true;

    auto ground = [&](double t, double along, double right, double heading, double kt, StandInLights lights) {
        const LatLon p = eddl::gf_runwayPoint(false, along, right);
        return UserKeyframe{t, p.lat, p.lon, groundAlt, 0.0, 0.0, heading, kt, true, lights};
    };
    std::vector<UserKeyframe> k;
    k.push_back(ground(0.0, standAlong, standRight, towardRunway, 0.0, parked));
    k.push_back(ground(10.0, standAlong, standRight, towardRunway, 0.0, taxi));
    // To the parallel taxiway at 18 kt, then on the connector to the runway at 15 kt.
    k.push_back(ground(39.0, standAlong, eddl::taxiwayOffsetM, towardRunway, 18.0, taxi));
    k.push_back(ground(60.0, standAlong, 8.0, towardRunway, 10.0, taxi));
    // Lined up on 23L at the intersection.
    k.push_back(ground(67.0, standAlong, 0.0, runway23, 0.0, takeoff));
    // Take-off roll at 2.66 m/s2 for 28 s: 1043 m to 145 kt.
    constexpr double accel = 2.66;
    for (double dt : {7.0, 14.0, 21.0, 28.0}) {
        const double along = standAlong - 0.5 * accel * dt * dt;
        k.push_back(ground(67.0 + dt, along, 0.0, runway23, accel * dt * ktPerMps, takeoff));
    }
    // Climb-out at 155 kt and 3000 ft/min, nose up.
    const double liftoffAlong = standAlong - 0.5 * accel * 28.0 * 28.0;
    for (int i = 1; i <= 6; ++i) {
        const double dt = 10.0 * i;
        const LatLon p = eddl::gf_runwayPoint(false, liftoffAlong - 80.0 * dt, 0.0);
        k.push_back(UserKeyframe{95.0 + dt, p.lat, p.lon, groundAlt + 50.0 * dt, -0.2, 0.0, runway23, 155.0,
                                 false, takeoff});
    }
    // On out along 23L's heading to 5000 ft, then a wide left-hand circle round the airport at
    // 180 kt: the user stays close enough for the airport's traffic to stay in range.
    constexpr double cruiseKt = 180.0;
    constexpr double cruiseAlt = 5000.0;
    constexpr double outboundSeconds = 60.0;
    const double outboundStart = k.back().time;
    const LatLon climbed{k.back().latitude, k.back().longitude};
    const LatLon out = gf_destination(climbed, runway23, cruiseKt * feetPerNm / 3600.0 * outboundSeconds);
    const double circleStart = outboundStart + outboundSeconds;
    k.push_back(UserKeyframe{circleStart, out.lat, out.lon, cruiseAlt, -0.08, 0.0, runway23, cruiseKt, false,
                             takeoff});
    const LatLon centre{eddl::latitude, eddl::longitude};
    const double radiusNm = gf_distanceNm(centre, out);
    const double startBearing = gf_bearing(centre, out);
    const double radPerSecond = cruiseKt / 3600.0 / radiusNm;
    constexpr double bank = 20.0 * radPerDeg;  // a left turn
    for (double t = circleStart + 30.0; t <= 900.0; t += 10.0) {
        const double bearing = startBearing - radPerSecond * (t - circleStart);  // anticlockwise
        const LatLon p = gf_destination(centre, bearing, radiusNm * feetPerNm);
        const double heading = lf_heading((bearing - pi / 2.0) / radPerDeg);
        k.push_back(UserKeyframe{t, p.lat, p.lon, cruiseAlt, 0.0, bank, heading, cruiseKt, false, takeoff});
    }
    return k;
}

std::optional<std::vector<std::string>> gf_readInstalledTitles(const std::filesystem::path& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::vector<std::string> titles;
    for (std::string line; std::getline(in, line);) {
        std::string title = gf_trim(line);
        if (!title.empty()) titles.push_back(std::move(title));
    }
    if (in.bad()) return std::nullopt;
    return titles;
}

std::shared_ptr<SimStandIn> gf_makeScenarioWorld(const SimScenarioConfig& config) {
    auto sim = std::make_shared<SimStandIn>();
    sim->setFrameRate(config.frameRate);
    sim->setTerrainElevation(130.0);
    sim->addAirport(eddl::latitude, eddl::longitude, 3.0, eddl::elevationFt);
    sim->setUtcStart(gf_nowUtc());
    sim->setUserAtcId("D-AIZQ");
    sim->setUserScript(gf_scenarioUserFlight());
    if (!config.installedTitles.empty()) {
        if (auto titles = gf_readInstalledTitles(config.installedTitles)) {
            for (std::string& title : *titles) sim->installTitle(std::move(title));
            gf_log(fmt::format("the simulator has {} titles installed, from \"{}\"", titles->size(),
                               config.installedTitles.string()));
        } else {
            gf_logError(fmt::format("the simulator's titles: cannot read \"{}\"; none installed",
                                    config.installedTitles.string()));
        }
    }
    return sim;
}

SimulatorScenario::SimulatorScenario(SimScenarioConfig config) : config_(config) {}

SimulatorScenario::~SimulatorScenario() {
    stop();
}

void SimulatorScenario::start() {
    stop();
    sim_ = gf_makeScenarioWorld(config_);
    tracksDue_ = false;
    if (!config_.tracksFile.empty()) {
        RecordLimits limits;
        limits.maxCalls = programCallRecords;
        sim_->setRecordLimits(limits);
        tracksDue_ = sim_->streamTracksTo(config_.tracksFile);
        if (!tracksDue_)
            gf_logError(fmt::format("SimulatorScenario::start: cannot write the tracks to \"{}\"",
                                    config_.tracksFile.string()));
    }
    auto sim = sim_;
    gf_setSimBackendProvider([sim] { return std::static_pointer_cast<SimBackend>(sim); });
    sim_->startFrameThread();
    driver_ = std::jthread([this](std::stop_token stop) { drive(stop); });
}

void SimulatorScenario::stop() {
    if (driver_.joinable()) {
        driver_.request_stop();
        driver_.join();
    }
    if (sim_) {
        gf_setSimBackendProvider({});
        sim_->stopFrameThread();
    }
    if (sim_ && tracksDue_) {
        tracksDue_ = false;
        if (const auto objects = sim_->finishTracks())
            gf_log(fmt::format("SimulatorScenario::stop: tracks of {} objects written to \"{}\"", *objects,
                               config_.tracksFile.string()));
        else
            gf_logError(fmt::format("SimulatorScenario::stop: cannot write the tracks to \"{}\"",
                                    config_.tracksFile.string()));
    }
}

void SimulatorScenario::drive(std::stop_token stop) {
    const auto startAfter =
        std::chrono::milliseconds(static_cast<int64_t>(config_.startAfterSeconds * 1000.0));
    if (!lf_sleep(stop, startAfter)) return;
    sim_->startSim();
    while (sim_->simTime() < config_.endAtSimSeconds) {
        if (!lf_sleep(stop, std::chrono::milliseconds(50))) return;
    }
    sim_->quit();
}

}  // namespace vdl
