#include "feed/rt_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "feed/traffic_reader.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/text.h"

namespace vdl {

RealTrafficLink realTrafficLink;

namespace {

constexpr int pollMs = 500;
constexpr auto versionReplyWait = std::chrono::seconds(5);
constexpr double metresPerSecondPerKt = 1852.0 / 3600.0;
constexpr double radPerDeg = 0.017453292519943295;

std::mutex sourceMutex;  // guards userStateSource
UserStateSource userStateSource;

bool lf_sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The version reply: {"version":"10.0.240","level":2}.
void lf_parseVersionReply(std::string_view text, std::optional<Version>& version, std::optional<int>& level) {
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

}  // namespace

std::string gf_userStateLine(const FeedUserState& s) {
    return fmt::format("Qs121={};{};{};{};{};{};{}", std::lround(s.pitch * 100000.0), std::lround(s.bank * 100000.0),
                       s.heading, std::llround(s.altitude * 1000.0), std::lround(s.groundSpeed * metresPerSecondPerKt),
                       s.lat * radPerDeg, s.lon * radPerDeg);
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
    const int wfd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (wfd < 0 || lfd < 0 || ::setsockopt(lfd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(lfd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(lfd, 4) != 0 ||
        ::getsockname(lfd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        gf_logError(fmt::format("RealTraffic link: cannot listen on port {}: {}", port, std::strerror(errno)));
        if (wfd >= 0) ::close(wfd);
        if (lfd >= 0) ::close(lfd);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        wakeFd_ = wfd;
    }
    listenFd_ = lfd;
    port_ = ntohs(addr.sin_port);
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&RealTrafficLink::run, this);
    return true;
}

void RealTrafficLink::stop() {
    std::lock_guard control(controlMutex_);
    stopLocked();
}

void RealTrafficLink::reset() {
    std::lock_guard control(controlMutex_);
    stopLocked();
    level_ = 0;
    std::lock_guard lock(mutex_);
    version_.reset();
}

void RealTrafficLink::stopLocked() {
    if (!thread_.joinable()) return;
    stop_ = true;
    wake();
    thread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    {
        std::lock_guard lock(mutex_);
        ::close(wakeFd_);
        wakeFd_ = -1;
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
    if (wakeFd_ < 0) return;  // not running
    pendingState_ = std::move(line);
    pendingUtcMs_ = s.simUtcMs;
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void RealTrafficLink::wake() {
    std::lock_guard lock(mutex_);
    if (wakeFd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void RealTrafficLink::drainWake() {
    uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
}

void RealTrafficLink::run() {
    while (!stop_.load()) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, pollMs);
        if (stop_.load()) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            gf_logError(fmt::format("RealTraffic link: {}", std::strerror(errno)));
            break;
        }
        if (fds[1].revents) drainWake();
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) serveClient(client);
        }
    }
    running_ = false;
    {
        std::lock_guard lock(mutex_);  // pairs with waitConnected's predicate
    }
    connectedCv_.notify_all();
}

void RealTrafficLink::serveClient(int client) {
    // A RealTraffic that stops reading must not hold the thread (and stop()) for long.
    const timeval sendTimeout{2, 0};
    const int one = 1;
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    gf_log("RealTraffic connected");

    bool alive = handshake(client);
    if (alive && !stop_.load()) {
        {
            std::lock_guard lock(mutex_);
            connected_ = true;
        }
        connectedCv_.notify_all();
    }
    char buffer[4096];
    while (alive && !stop_.load()) {
        if (!sendPending(client)) {
            alive = false;
            break;
        }
        pollfd fds[2] = {{client, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, pollMs);
        if (stop_.load()) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            alive = false;
            break;
        }
        if (fds[1].revents) drainWake();
        if (fds[0].revents) {
            // RealTraffic sends nothing we use after the version reply; a zero read is its close.
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) alive = false;
        }
    }
    {
        std::lock_guard lock(mutex_);
        connected_ = false;
    }
    if (stop_.load()) {
        lf_sendAll(client, "exit\r\n");
        gf_log("RealTraffic link closed");
    } else {
        gf_log("RealTraffic link lost, waiting for a reconnect");
    }
    ::close(client);
}

bool RealTrafficLink::handshake(int client) {
    if (!lf_sendAll(client, "Qs999=version\r\n")) return false;
    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + versionReplyWait;
    char buffer[4096];
    while (!stop_.load()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fds[2] = {{client, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(std::min<int64_t>(left.count(), pollMs)));
        if (n < 0 && errno != EINTR) return false;
        if (n <= 0) continue;
        if (fds[1].revents) drainWake();
        if (fds[0].revents) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got == 0) return false;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN) continue;
                return false;
            }
            reply.append(buffer, static_cast<size_t>(got));
            if (reply.find('\n') != std::string::npos || nlohmann::json::accept(reply)) break;
        }
    }
    if (stop_.load()) return true;  // the caller says "exit"

    const std::string line = gf_trim(reply.substr(0, reply.find('\n')));
    std::optional<Version> version;
    std::optional<int> level;
    lf_parseVersionReply(line, version, level);
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

bool RealTrafficLink::sendPending(int client) {
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
    if (lf_sendAll(client, out)) return true;
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
