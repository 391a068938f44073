#include "simulator/sim_scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/threads.h"
#include "foundation/time.h"
#include "foundation/utf8_path.h"
#include "simlink/sim_layer.h"

namespace vdl {

namespace {

// The world around the airport.
constexpr double surroundingTerrainFt = 130.0;
constexpr double airportRadiusNm = 3.0;
constexpr const char* userAtcId = "D-AIZQ";
// The program reads no call records: a short log is enough and keeps a long run small.
constexpr std::size_t programCallRecords = 10000;

double lf_heading(double degrees) {
    double rad = degToRad(degrees);
    while (rad >= 2.0 * pi) rad -= 2.0 * pi;
    while (rad < 0.0) rad += 2.0 * pi;
    return rad;
}

// Along and right of 05R/23L's centre, metres; the stand is on the apron south-east of it.
constexpr double standAlongM = 127.0;
constexpr double standRightM = 450.0;
constexpr double runwayEntryRightM = 8.0;  // the connector's end, just short of the runway
// Take-off roll on 23L from the intersection, then the climb-out at 3000 ft/min, nose up.
constexpr double lineUpTime = 67.0;  // s
constexpr double takeoffAccelMps2 = 2.66;
constexpr double takeoffRollSeconds = 28.0;  // 1043 m to 145 kt
constexpr double takeoffKeyframeSeconds = 7.0;
constexpr double liftoffTime = lineUpTime + takeoffRollSeconds;
constexpr double climbKt = 155.0;
constexpr double climbGroundMps = 80.0;  // 155 kt along the ground
constexpr double climbFpm = 3000.0;
constexpr double climbPitch = -0.2;  // radians
constexpr double climbKeyframeSeconds = 10.0;
constexpr int climbKeyframes = 6;
// On out along 23L's heading to 5000 ft, then a wide left-hand circle round the airport.
constexpr double cruiseKt = 180.0;
constexpr double cruiseAltFt = 5000.0;
constexpr double cruisePitch = -0.08;  // radians
constexpr double outboundSeconds = 60.0;
constexpr double circleBankDeg = 20.0;  // a left turn
constexpr double circleFirstKeyframeSeconds = 30.0;
constexpr double circleKeyframeSeconds = 10.0;
constexpr double userFlightEnd = 900.0;  // s, beyond the end of the run

struct ScenarioLights {
    StandInLights parked;
    StandInLights taxi;
    StandInLights takeoff;
};

ScenarioLights lf_lights() {
    ScenarioLights l;
    l.parked.nav = l.parked.beacon = true;
    l.taxi = l.parked;
    l.taxi.taxi = true;
    l.takeoff = l.taxi;
    l.takeoff.landing = l.takeoff.strobe = true;
    return l;
}

UserKeyframe lf_groundKeyframe(double t, double alongM, double rightM, double heading, double kt,
                               StandInLights lights) {
    const LatLon p = eddl::gf_runwayPoint(false, alongM, rightM);
    return UserKeyframe{t, p.lat, p.lon, eddl::elevationFt, 0.0, 0.0, heading, kt, true, lights};
}

// Parked, then the taxi to 23L's intersection, the line-up and the take-off roll.
void lf_addGroundLegs(std::vector<UserKeyframe>& k, const ScenarioLights& lights) {
    const double towardRunway = lf_heading(eddl::runwayHeadingDeg - 90.0);
    const double runway23 = lf_heading(eddl::runwayHeadingDeg + 180.0);
    k.push_back(lf_groundKeyframe(0.0, standAlongM, standRightM, towardRunway, 0.0, lights.parked));
    k.push_back(lf_groundKeyframe(10.0, standAlongM, standRightM, towardRunway, 0.0, lights.taxi));
    // To the parallel taxiway at 18 kt, then on the connector to the runway at 15 kt.
    k.push_back(lf_groundKeyframe(39.0, standAlongM, eddl::taxiwayOffsetM, towardRunway, 18.0, lights.taxi));
    k.push_back(lf_groundKeyframe(60.0, standAlongM, runwayEntryRightM, towardRunway, 10.0, lights.taxi));
    k.push_back(lf_groundKeyframe(lineUpTime, standAlongM, 0.0, runway23, 0.0, lights.takeoff));
    for (double dt = takeoffKeyframeSeconds; dt <= takeoffRollSeconds; dt += takeoffKeyframeSeconds) {
        const double along = standAlongM - 0.5 * takeoffAccelMps2 * dt * dt;
        k.push_back(lf_groundKeyframe(lineUpTime + dt, along, 0.0, runway23, mpsToKt(takeoffAccelMps2 * dt),
                                      lights.takeoff));
    }
}

// The climb-out along 23L's heading and the leg out to cruise altitude.
void lf_addClimb(std::vector<UserKeyframe>& k, const ScenarioLights& lights) {
    const double runway23 = lf_heading(eddl::runwayHeadingDeg + 180.0);
    const double liftoffAlong =
        standAlongM - 0.5 * takeoffAccelMps2 * takeoffRollSeconds * takeoffRollSeconds;
    for (int i = 1; i <= climbKeyframes; ++i) {
        const double dt = climbKeyframeSeconds * i;
        const LatLon p = eddl::gf_runwayPoint(false, liftoffAlong - climbGroundMps * dt, 0.0);
        k.push_back(UserKeyframe{liftoffTime + dt, p.lat, p.lon, eddl::elevationFt + fpmToFps(climbFpm) * dt,
                                 climbPitch, 0.0, runway23, climbKt, false, lights.takeoff});
    }
    const LatLon climbed{k.back().latitude, k.back().longitude};
    const LatLon out =
        gf_destination(climbed, runway23, nmToFeet(ktToNmPerSecond(cruiseKt) * outboundSeconds));
    k.push_back(UserKeyframe{k.back().time + outboundSeconds, out.lat, out.lon, cruiseAltFt, cruisePitch, 0.0,
                             runway23, cruiseKt, false, lights.takeoff});
}

// Round the airport anticlockwise until the flight's end: the user stays close enough for
// the airport's traffic to stay in range.
void lf_addCircle(std::vector<UserKeyframe>& k, const ScenarioLights& lights) {
    const double circleStart = k.back().time;
    const LatLon centre{eddl::latitude, eddl::longitude};
    const LatLon out{k.back().latitude, k.back().longitude};
    const double radiusNm = gf_distanceNm(centre, out);
    const double startBearing = gf_bearing(centre, out);
    const double radPerSecond = ktToNmPerSecond(cruiseKt) / radiusNm;
    for (double t = circleStart + circleFirstKeyframeSeconds; t <= userFlightEnd;
         t += circleKeyframeSeconds) {
        const double bearing = startBearing - radPerSecond * (t - circleStart);
        const LatLon p = gf_destination(centre, bearing, nmToFeet(radiusNm));
        const double heading = lf_heading(radToDeg(bearing - pi / 2.0));
        k.push_back(UserKeyframe{t, p.lat, p.lon, cruiseAltFt, 0.0, degToRad(circleBankDeg), heading,
                                 cruiseKt, false, lights.takeoff});
    }
}

}  // namespace

namespace eddl {

LatLon gf_runwayPoint(bool northRunway, double alongM, double rightM) {
    const double along = degToRad(runwayHeadingDeg);
    const double right = along + pi / 2.0;
    LatLon centre = southRunwayCentre;
    if (northRunway) {
        centre = gf_destination(centre, along - pi / 2.0, metresToFeet(northRunwayOffsetM));
        centre = gf_destination(centre, along, metresToFeet(northRunwayShiftM));
    }
    LatLon p = gf_destination(centre, along, metresToFeet(alongM));
    return gf_destination(p, right, metresToFeet(rightM));
}

LatLon gf_threshold(bool northRunway, bool runway23) {
    const double half = (northRunway ? northRunwayLengthM : southRunwayLengthM) / 2.0;
    return gf_runwayPoint(northRunway, runway23 ? half : -half, 0.0);
}

}  // namespace eddl

std::vector<UserKeyframe> gf_scenarioUserFlight() {
    const ScenarioLights lights = lf_lights();
    std::vector<UserKeyframe> k;
    lf_addGroundLegs(k, lights);
    lf_addClimb(k, lights);
    lf_addCircle(k, lights);
    return k;
}

std::optional<std::vector<std::string>> gf_readInstalledTitles(const std::filesystem::path& path) {
    if (!gf_isRegularFile(path)) return std::nullopt;
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

std::string gf_applyScenarioEnvironment(SimScenarioConfig& config) {
    if (const auto titles = gf_environmentText(installedTitlesVariable))
        config.installedTitles = gf_pathFromUtf8(*titles);
    std::string ignored;
    const auto seconds = [&](const char* name, double& into) {
        const auto text = gf_environmentText(name);
        if (!text) return;
        char* end = nullptr;
        const double value = std::strtod(text->c_str(), &end);
        if (end != text->c_str() && *end == '\0' && value > 0.0 && std::isfinite(value)) {
            into = value;
            return;
        }
        if (!ignored.empty()) ignored += '\n';
        ignored += fmt::format("ignored {}=\"{}\": not a number of seconds", name, *text);
    };
    // A soak flies longer than the ten minutes of the main job, and thins its tracks.
    seconds(simSecondsVariable, config.endAtSimSeconds);
    seconds(trackPointSecondsVariable, config.trackPointSeconds);
    return ignored;
}

std::shared_ptr<SimStandIn> gf_makeScenarioWorld(const SimScenarioConfig& config) {
    auto sim = std::make_shared<SimStandIn>();
    sim->setFrameRate(config.frameRate);
    sim->setTerrainElevation(surroundingTerrainFt);
    sim->addAirport(eddl::latitude, eddl::longitude, airportRadiusNm, eddl::elevationFt);
    sim->setUtcStart(gf_nowUtc());
    sim->setUserAtcId(userAtcId);
    for (const auto& field : config.moreAirports)
        sim->addAirport(field.latitude, field.longitude, airportRadiusNm, field.elevationFt);
    sim->setUserScript(config.userFlight.empty() ? gf_scenarioUserFlight() : config.userFlight);
    if (!config.installedTitles.empty()) {
        if (auto titles = gf_readInstalledTitles(config.installedTitles)) {
            for (std::string& title : *titles) sim->installTitle(std::move(title));
            gf_log(fmt::format("gf_makeScenarioWorld: the simulator has {} titles installed, from \"{}\"",
                               titles->size(), gf_utf8FromPath(config.installedTitles)));
        } else {
            gf_logError(fmt::format(
                "gf_makeScenarioWorld: the simulator's titles: cannot read \"{}\"; none installed",
                gf_utf8FromPath(config.installedTitles)));
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
        limits.streamedPointSeconds = config_.trackPointSeconds;
        sim_->setRecordLimits(limits);
        tracksDue_ = sim_->streamTracksTo(config_.tracksFile);
        if (!tracksDue_)
            gf_logError(fmt::format("SimulatorScenario::start: cannot write the tracks to \"{}\"",
                                    gf_utf8FromPath(config_.tracksFile)));
    }
    auto sim = sim_;
    gf_setSimBackendProvider([sim] { return std::static_pointer_cast<SimBackend>(sim); });
    sim_->startFrameThread();
    driver_ = std::jthread([this](std::stop_token stop) { drive(stop); });
}

std::optional<double> SimulatorScenario::secondsLeft() const {
    if (!sim_) return std::nullopt;
    return std::max(0.0, config_.endAtSimSeconds - sim_->simTime());
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
                               gf_utf8FromPath(config_.tracksFile)));
        else
            gf_logError(fmt::format("SimulatorScenario::stop: cannot write the tracks to \"{}\"",
                                    gf_utf8FromPath(config_.tracksFile)));
    }
}

void SimulatorScenario::drive(std::stop_token stop) {
    // The simulator's clock is checked often enough to quit within a frame or two of the end.
    constexpr auto endPoll = std::chrono::milliseconds(50);
    const auto startAfter = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(config_.startAfterSeconds));
    if (!gf_sleepFor(stop, startAfter)) return;
    while (config_.flightAfterConnect && !sim_->clientOpen())
        if (!gf_sleepFor(stop, endPoll)) return;
    sim_->startSim();
    while (sim_->simTime() < config_.endAtSimSeconds) {
        if (!gf_sleepFor(stop, endPoll)) return;
    }
    sim_->quit();
}

}  // namespace vdl
