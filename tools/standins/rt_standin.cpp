#include "standins/rt_standin.h"

#include <fmt/format.h>

#include <cmath>
#include <exception>

#include "foundation/text.h"
#include "foundation/threads.h"
#include "foundation/units.h"

namespace vdl::rtstandin {

namespace {

using Clock = std::chrono::steady_clock;

double lf_seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

std::optional<LatLon> gf_userPositionOf(std::string_view line) {
    constexpr std::string_view tag = "Qs121=";
    if (!line.starts_with(tag)) return std::nullopt;
    const auto items = gf_split(line.substr(tag.size()), ';');
    if (items.size() != 7) return std::nullopt;
    try {
        const double lat = radToDeg(std::stod(items[5]));
        const double lon = radToDeg(std::stod(items[6]));
        if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0 || std::fabs(lon) > 180.0)
            return std::nullopt;
        return LatLon{lat, lon};
    } catch (const std::exception&) {
        return std::nullopt;  // no number: no position line
    }
}

RealTrafficStandIn::RealTrafficStandIn(Config config)
    : config_(std::move(config)),
      flights_(config_.sky ? gf_syntheticSky(*config_.sky) : gf_eddlScenario()) {}

bool RealTrafficStandIn::run(std::stop_token stop) {
    std::error_code ec;
    udp_ = gf_openUdp(ec);
    const auto started = Clock::now();
    auto lostAt = Clock::time_point{};
    std::optional<Clock::time_point> scenarioStart;
    double nextTraffic = 0.0;
    double nextWeather = 0.0;
    bool qnhAsText = false;
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        if (!link_) {
            const uint16_t port = config_.linkPort();
            if (port != 0) link_ = gf_connectLoopback(port, ec);
            if (link_) {
                ++stats_.connections;
                say("connected to the program's link");
            } else if (stats_.connections.load() > 0
                           ? lf_seconds(now - lostAt) > config_.lingerSeconds
                           : lf_seconds(now - started) > config_.connectTimeoutSeconds) {
                break;
            }
        }
        if (link_ && !serveLink()) {
            closeLink();
            lostAt = Clock::now();
            say("the program's link closed");
        }
        if (user_ && !scenarioStart) {
            scenarioStart = Clock::now();
            say(fmt::format("user aircraft at {:.4f},{:.4f}: the scenario starts", user_->lat, user_->lon));
        }
        if (scenarioStart) {
            const double t = lf_seconds(Clock::now() - *scenarioStart);
            if (t >= nextTraffic) {
                sendTraffic(t);
                nextTraffic += 1.0;
            }
            if (t >= nextWeather) {
                send(config_.qnhPort(), gf_weatherJson(config_.qnhHpa, qnhAsText));
                ++stats_.weatherDatagrams;
                qnhAsText = !qnhAsText;
                nextWeather += 10.0;
            }
        }
        gf_sleepFor(stop, std::chrono::milliseconds(50));
    }
    closeLink();
    return stats_.connections.load() > 0;
}

void RealTrafficStandIn::say(std::string_view text) {
    if (config_.log) *config_.log << "rt_standin: " << text << std::endl;
}

void RealTrafficStandIn::closeLink() {
    link_.reset();
    pending_.clear();
}

bool RealTrafficStandIn::serveLink() {
    std::error_code ec;
    while (gf_waitReadable(link_, nullptr, std::chrono::milliseconds(0), ec).socket) {
        char buffer[4096];
        const auto got = gf_receive(link_, buffer, ec);
        if (!got || *got == 0) return false;
        pending_.append(buffer, *got);
        for (size_t nl; (nl = pending_.find('\n')) != std::string::npos;) {
            const std::string line = gf_trim(pending_.substr(0, nl));
            pending_.erase(0, nl + 1);
            if (!handleLine(line)) return false;
        }
    }
    return true;
}

bool RealTrafficStandIn::handleLine(const std::string& line) {
    if (line == "Qs999=version") {
        ++stats_.versionQueries;
        return gf_sendAll(
            link_, fmt::format("{{\"version\":\"{}\",\"level\":{}}}\r\n", config_.version, config_.level));
    }
    if (auto pos = gf_userPositionOf(line)) {
        ++stats_.userStates;
        user_ = pos;
        return true;
    }
    if (line.starts_with("Qs123=")) {
        ++stats_.simTimes;
        return true;
    }
    if (line == "exit") {
        ++stats_.exits;
        return false;
    }
    return true;
}

void RealTrafficStandIn::send(uint16_t port, const std::string& datagram) {
    if (port == 0 || !udp_) return;
    gf_sendDatagram(udp_, port, datagram);
}

void RealTrafficStandIn::sendTraffic(double t) {
    const uint16_t port = config_.trafficPort();
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const auto tick = static_cast<int64_t>(std::floor(t));
    for (const Flight& f : flights_) {
        if (f.everySeconds > 1 && (tick + f.hexid) % f.everySeconds != 0) continue;
        const auto s = gf_sampleAt(f, t);
        if (!s || gf_distanceNm(*user_, s->pos) > config_.rangeNm) continue;
        send(port, gf_rttfcLine(f, *s, now, config_.qnhHpa));
        if (port != 0) ++stats_.trafficLines;
    }
}

}  // namespace vdl::rtstandin
