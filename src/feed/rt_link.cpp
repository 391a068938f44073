#include "feed/rt_link.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "feed/traffic_reader.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/units.h"

namespace vdl {

RealTrafficLink realTrafficLink;

namespace {

constexpr auto pollPeriod = std::chrono::milliseconds(500);
constexpr auto versionReplyWait = std::chrono::seconds(5);
// A RealTraffic that stops reading must not hold the thread (and stop()) for long.
constexpr auto sendTimeout = std::chrono::seconds(2);

std::mutex sourceMutex;  // guards userStateSource
UserStateSource userStateSource;

}  // namespace

void gf_parseVersionReply(std::string_view text, std::optional<Version>& version, std::optional<int>& level) {
    const auto doc = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return;
    if (const auto v = doc.find("version"); v != doc.end()) {
        if (v->is_string()) version = Version::fromText(v->get<std::string>());
        else if (v->is_object()) version = Version::fromJson(*v);
    }
    if (const auto l = doc.find("level"); l != doc.end()) {
        if (l->is_number_integer()) {
            level = l->get<int>();
        } else if (l->is_string()) {
            const std::string s = gf_trim(l->get<std::string>());
            int n = 0;
            const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
            if (!s.empty() && ec == std::errc() && ptr == s.data() + s.size()) level = n;
        }
    }
}

std::string gf_userStateLine(const FeedUserState& s) {
    return fmt::format("Qs121={};{};{};{};{};{};{}", std::lround(s.pitch * 100000.0), std::lround(s.bank * 100000.0),
                       s.heading, std::llround(s.altitude * 1000.0), std::lround(ktToMps(s.groundSpeed)),
                       degToRad(s.lat), degToRad(s.lon));
}

int64_t gf_simUtcMs(int32_t year, int32_t month, int32_t day, double secondsOfDay) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                              std::chrono::day{static_cast<unsigned>(day)}};
    if (year < 1970 || month < 1 || day < 1 || !date.ok() || !std::isfinite(secondsOfDay) || secondsOfDay < 0.0 ||
        secondsOfDay >= 86400.0) {
        return 0;
    }
    const auto days = sys_days(date).time_since_epoch();
    return duration_cast<milliseconds>(days).count() + std::llround(secondsOfDay * 1000.0);
}

RealTrafficLink::~RealTrafficLink() { stop(); }

bool RealTrafficLink::start(uint16_t port) {
    std::lock_guard control(controlMutex_);
    stopLocked();
    std::error_code ec;
    WakeUp wake = WakeUp::open(ec);
    Socket listener;
    if (!ec) listener = gf_listenTcp(port, 4, ec);
    if (ec) {
        gf_logError(fmt::format("RealTraffic link: cannot listen on port {}: {}", port, ec.message()));
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        wake_ = std::move(wake);
    }
    port_ = gf_localPort(listener);
    listener_ = std::move(listener);
    running_ = true;
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
    return true;
}

void RealTrafficLink::stop() {
    std::lock_guard control(controlMutex_);
    stopLocked();
}

void RealTrafficLink::stopLocked() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
    listener_.reset();
    {
        std::lock_guard lock(mutex_);
        wake_ = WakeUp();
        pendingState_.reset();
        pendingUtcMs_ = 0;
    }
    connected_ = false;
    running_ = false;
    port_ = 0;
    connectedCv_.notify_all();
}

bool RealTrafficLink::waitConnected(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return connectedCv_.wait_for(lock, timeout, [&] { return connected_.load() || !running_.load(); }) &&
           connected_.load();
}

std::optional<Version> RealTrafficLink::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

void RealTrafficLink::queueUserState(const FeedUserState& s) {
    std::string line = gf_userStateLine(s);
    std::lock_guard lock(mutex_);
    if (!wake_.valid()) return;  // not running
    pendingState_ = std::move(line);
    pendingUtcMs_ = s.simUtcMs;
    wake_.signal();
}

void RealTrafficLink::wake() {
    std::lock_guard lock(mutex_);
    if (wake_.valid()) wake_.signal();
}

void RealTrafficLink::run(std::stop_token stop) {
    const std::stop_callback wakeOnStop(stop, [this] { wake(); });
    while (!stop.stop_requested()) {
        std::error_code ec;
        const Readiness ready = gf_waitReadable(listener_, &wake_, pollPeriod, ec);
        if (stop.stop_requested()) break;
        if (ec) {
            gf_logError(fmt::format("RealTraffic link: {}", ec.message()));
            break;
        }
        if (ready.woken) wake_.drain();
        if (ready.socket) {
            const Socket client = gf_acceptTcp(listener_);
            if (client) serveClient(client, stop);
        }
    }
    running_ = false;
    {
        std::lock_guard lock(mutex_);  // pairs with waitConnected's predicate
    }
    connectedCv_.notify_all();
}

void RealTrafficLink::serveClient(const Socket& client, const std::stop_token& stop) {
    gf_setSendTimeout(client, sendTimeout);
    gf_setNoDelay(client);
    gf_log("RealTraffic connected");

    bool alive = handshake(client, stop);
    if (alive && !stop.stop_requested()) {
        {
            std::lock_guard lock(mutex_);
            connected_ = true;
        }
        connectedCv_.notify_all();
    }
    char buffer[4096];
    while (alive && !stop.stop_requested()) {
        if (!sendPending(client)) {
            alive = false;
            break;
        }
        std::error_code ec;
        const Readiness ready = gf_waitReadable(client, &wake_, pollPeriod, ec);
        if (stop.stop_requested()) break;
        if (ec) {
            alive = false;
            break;
        }
        if (ready.woken) wake_.drain();
        if (ready.socket) {
            // RealTraffic sends nothing we use after the version reply; a zero read is its close.
            const auto got = gf_receive(client, buffer, ec);
            if ((got && *got == 0) || (!got && !gf_isRetry(ec))) alive = false;
        }
    }
    {
        std::lock_guard lock(mutex_);
        connected_ = false;
    }
    if (stop.stop_requested()) {
        gf_sendAll(client, "exit\r\n");
        gf_log("RealTraffic link closed");
    } else {
        gf_log("RealTraffic link lost, waiting for a reconnect");
    }
}

bool RealTrafficLink::handshake(const Socket& client, const std::stop_token& stop) {
    if (!gf_sendAll(client, "Qs999=version\r\n")) return false;
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + versionReplyWait;
    char buffer[4096];
    while (!stop.stop_requested()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        std::error_code ec;
        const Readiness ready = gf_waitReadable(client, &wake_, std::min(left, pollPeriod), ec);
        if (ec) return false;
        if (ready.woken) wake_.drain();
        if (ready.socket) {
            const auto got = gf_receive(client, buffer, ec);
            if (!got) {
                if (gf_isRetry(ec)) continue;
                return false;
            }
            if (*got == 0) return false;
            reply.append(buffer, *got);
            if (reply.find('\n') != std::string::npos || nlohmann::json::accept(reply)) break;
        }
    }
    if (stop.stop_requested()) return true;  // the caller says "exit"

    const std::string line = gf_trim(reply.substr(0, reply.find('\n')));
    std::optional<Version> version;
    std::optional<int> level;
    gf_parseVersionReply(line, version, level);
    if (!version && !level) {
        gf_logError(fmt::format("RealTraffic link: no version reply (\"{}\")", line));
        return true;
    }
    if (level) level_ = *level;
    {
        std::lock_guard lock(mutex_);
        if (version) version_ = version;
    }
    gf_log(fmt::format("RealTraffic version {} level {}", version ? version->text() : "?", level_.load()));
    return true;
}

bool RealTrafficLink::sendPending(const Socket& client) {
    std::optional<std::string> line;
    int64_t utcMs = 0;
    {
        std::lock_guard lock(mutex_);
        line.swap(pendingState_);
        utcMs = std::exchange(pendingUtcMs_, 0);
    }
    if (!line) return true;
    std::string out = *line + "\r\n";
    if (utcMs > 0 && level_.load() == professionalLevel) out += fmt::format("Qs123={}\r\n", utcMs);
    if (gf_sendAll(client, out)) return true;
    // Kept for the reconnect unless a newer state came meanwhile.
    std::lock_guard lock(mutex_);
    if (!pendingState_) {
        pendingState_ = std::move(line);
        pendingUtcMs_ = utcMs;
    }
    return false;
}

bool gf_realTrafficInstalled() {
    std::error_code ec;
    return std::filesystem::is_directory(gf_localAppDataFolder() / "RealTraffic", ec);
}

bool gf_realTrafficLinkWanted() { return gf_realTrafficInstalled() && !EXTERNAL_LINK.value(); }

bool gf_startRealTrafficLink() {
    const std::string text = gf_trim(PORT_NUMBER.value());
    int port = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || port < 1 || port > 65535) {
        gf_logError(fmt::format("PORT_NUMBER \"{}\" is no port", text));
        return false;
    }
    return realTrafficLink.start(static_cast<uint16_t>(port));
}

void gf_setUserStateSource(UserStateSource source) {
    std::lock_guard lock(sourceMutex);
    userStateSource = std::move(source);
}

void gf_sendUserAcState() {
    UserStateSource source;
    {
        std::lock_guard lock(sourceMutex);
        source = userStateSource;
    }
    if (source) gf_sendUserAcState(source());
}

void gf_sendUserAcState(const FeedUserState& s) {
    trafficReader.setOwnPosition(s.lat, s.lon);
    if (realTrafficLink.running()) realTrafficLink.queueUserState(s);
}

}  // namespace vdl
