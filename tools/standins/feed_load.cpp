#include "standins/feed_load.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "foundation/geo.h"
#include "foundation/net.h"
#include "foundation/threads.h"
#include "foundation/units.h"

namespace vdl::rtstandin {

namespace {

using Clock = std::chrono::steady_clock;

double lf_systemTime() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

Flight gf_loadAircraft(size_t index) {
    Flight f;
    f.hexid = 10001 + static_cast<uint32_t>(index);
    f.callsign = fmt::format("DLH{}", 1000 + index);
    f.type = "A320";
    f.reg = fmt::format("D-A{:03}", index % 1000);
    f.from = "DUS";
    f.to = "MUC";
    f.flightNumber = fmt::format("LH{}", 1000 + index);
    f.category = "A3";
    return f;
}

Sample gf_loadSample(size_t index, double t) {
    const size_t kind = index % 10;
    Sample s;
    s.airborne = kind < 6;
    s.groundSpeedKt = s.airborne ? 250.0 : (kind < 9 ? 15.0 : 0.0);
    s.altFt = s.airborne ? 3000.0 + static_cast<double>((index * 97) % 30000) : 0.0;
    s.trackDeg = static_cast<double>((index * 37) % 360);
    s.headingDeg = s.trackDeg;
    const LatLon start{50.5 + 0.04 * static_cast<double>(index % 40),
                       6.0 + 0.06 * static_cast<double>(index / 40 % 40)};
    s.pos = gf_destination(start, degToRad(s.trackDeg), nmToFeet(s.groundSpeedKt * t / secondsPerHour));
    return s;
}

void gf_sendLoad(const LoadConfig& config, LoadStats& stats, std::stop_token stop) {
    std::error_code ec;
    const Socket udp = gf_openUdp(ec);
    if (!udp) return;
    std::vector<Flight> fleet;
    for (size_t i = 0; i < config.aircraft; ++i) fleet.push_back(gf_loadAircraft(i));
    stats.lastTimeStamp.assign(config.aircraft, 0.0);
    const auto timeStamp = config.timeStamp ? config.timeStamp : lf_systemTime;
    const double rate = static_cast<double>(config.aircraft) * config.linesPerSecond;  // lines a second
    const auto total = static_cast<uint64_t>(rate * config.seconds);
    const auto start = Clock::now();
    double nextWeather = 0.0;
    for (uint64_t k = 0; k < total && !stop.stop_requested();) {
        const double t = std::chrono::duration<double>(Clock::now() - start).count();
        if (t >= nextWeather) {
            const bool sent = gf_sendDatagram(
                udp, config.qnhPort,
                fmt::format(
                    R"({{"ICAO":"EDDL","QNH":{:.1f},"METAR":"EDDL 241640Z 27012KT CAVOK 18/09 Q{:.0f}"}})",
                    config.qnhHpa, config.qnhHpa));
            ++(sent ? stats.weather : stats.failedSends);
            nextWeather += config.weatherPeriodSeconds;
        }
        // Every line due by now.
        const auto due = std::min(total, static_cast<uint64_t>(t * rate) + 1);
        for (; k < due; ++k) {
            const size_t i = k % config.aircraft;
            const double stamp = timeStamp();
            const std::string line = gf_rttfcLine(fleet[i], gf_loadSample(i, t), stamp, config.qnhHpa);
            if (gf_sendDatagram(udp, config.trafficPort, line)) {
                ++stats.lines;
                stats.lastTimeStamp[i] = stamp;
            } else {
                ++stats.failedSends;
            }
        }
        gf_sleepUntil(stop, start + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(static_cast<double>(k) / rate)));
    }
}

}  // namespace vdl::rtstandin
