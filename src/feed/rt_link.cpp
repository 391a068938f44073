#include "feed/rt_link.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

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
// A client that has not answered the version query by then is closed.
constexpr auto versionReplyWait = std::chrono::seconds(5);
// A RealTraffic that stops reading must not hold the thread (and stop()) for long.
constexpr auto sendTimeout = std::chrono::seconds(2);
// The reply is about 40 bytes; a longer one is no RealTraffic.
constexpr size_t maxReplyBytes = 1024;
constexpr int maxAcceptsAtOnce = 64;
// After an accept that got nothing although the listener was ready (no descriptor left even with
// the reserve): the listener rests this long, so the loop does not spin on it.
constexpr auto acceptPause = std::chrono::milliseconds(100);

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
            const auto n = l->get<int64_t>();
            if (n >= 0 && n <= std::numeric_limits<int>::max()) level = static_cast<int>(n);
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

bool RealTrafficLink::start(uint16_t port, size_t maxWaiting) {
    std::lock_guard control(controlMutex_);
    stopLocked();
    std::error_code ec;
    WakeUp wake = WakeUp::open(ec);
    Socket listener;
    if (!ec) listener = gf_listenTcp(port, rtLinkBacklog, ec);
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
    maxWaiting_ = std::max<size_t>(maxWaiting, 1);
    std::error_code reserveEc;
    reserve_ = gf_openUdp(reserveEc);  // none is no failure: the listener's pause still holds
    running_ = true;
    thread_ = std::jthread([this](std::stop_token stop) { run(std::move(stop)); });
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
    // Woken here rather than from a std::stop_callback: MinGW's libstdc++ 12 can leave the thread
    // hanging in the callback's removal.
    thread_.request_stop();
    wake();
    thread_.join();
    listener_.reset();
    reserve_.reset();
    acceptPausedUntil_ = {};
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
    std::vector<const Socket*> sockets;
    std::vector<uint8_t> ready;
    while (!stop.stop_requested()) {
        if (served_ && !sendPending()) dropServed();
        // The listener (unless it rests), RealTraffic, then the clients still to answer.
        const auto now = std::chrono::steady_clock::now();
        const bool listening = now >= acceptPausedUntil_;
        static const Socket resting;
        sockets.assign({listening ? &listener_ : &resting, &served_});
        auto timeout = pollPeriod;
        if (!listening)
            timeout = std::min(timeout, std::chrono::ceil<std::chrono::milliseconds>(acceptPausedUntil_ - now));
        for (const Waiting& w : waiting_) {
            sockets.push_back(&w.socket);
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(w.deadline - now);
            timeout = std::clamp(left, std::chrono::milliseconds(0), timeout);
        }
        ready.assign(sockets.size(), 0);
        std::error_code ec;
        // An invalid socket (no RealTraffic yet) is never ready.
        const bool woken = gf_waitReadable(sockets, ready, &wake_, timeout, ec);
        if (stop.stop_requested()) break;
        if (ec) {
            gf_logError(fmt::format("RealTraffic link: {}", ec.message()));
            break;
        }
        if (woken) wake_.drain();
        if (served_ && ready[1]) readServed();
        for (size_t i = 0; i < waiting_.size(); ++i)
            if (ready[2 + i]) readReply(waiting_[i]);
        const auto after = std::chrono::steady_clock::now();
        for (Waiting& w : waiting_) {
            if (w.done || after < w.deadline) continue;
            static LogLimiter timeoutLog("RealTraffic link: no version reply within");
            timeoutLog.log(fmt::format("RealTraffic link: no version reply within {} s, connection closed",
                                       versionReplyWait.count()));
            w.done = true;
        }
        std::erase_if(waiting_, [](const Waiting& w) { return w.done; });
        if (ready[0]) acceptClients();
    }
    const bool wasServed = served_.valid();
    if (served_) gf_sendAll(served_, "exit\r\n");
    for (const Waiting& w : waiting_) gf_sendAll(w.socket, "exit\r\n");
    served_.reset();
    waiting_.clear();
    {
        std::lock_guard lock(mutex_);  // pairs with waitConnected's predicate
        connected_ = false;
        running_ = false;
    }
    connectedCv_.notify_all();
    if (wasServed) gf_log("RealTraffic link closed");
}

void RealTrafficLink::acceptClients() {
    static LogLimiter crowdLog("RealTraffic link: more than");
    for (int i = 0; i < maxAcceptsAtOnce; ++i) {
        Socket client = gf_acceptTcp(listener_);
        // The listener was ready: nothing accepted at first means no descriptor was left.
        if (!client && i == 0) client = acceptWithoutDescriptors();
        if (!client) return;
        gf_setSendTimeout(client, sendTimeout);
        gf_setNoDelay(client);
        if (!gf_sendAll(client, "Qs999=version\r\n")) continue;
        // RealTraffic answers at once, so the client that has waited longest is the one to lose.
        if (waiting_.size() >= maxWaiting_) {
            crowdLog.log(
                fmt::format("RealTraffic link: more than {} clients wait for their version reply, the "
                            "longest waiting one closed",
                            maxWaiting_));
            waiting_.erase(waiting_.begin());
        }
        waiting_.push_back({std::move(client), {}, std::chrono::steady_clock::now() + versionReplyWait});
    }
}

Socket RealTrafficLink::acceptWithoutDescriptors() {
    static LogLimiter descriptorLog("RealTraffic link: out of descriptors");
    // The longest waiting client gives its descriptor to the new one, which may be RealTraffic.
    if (!waiting_.empty()) {
        waiting_.erase(waiting_.begin());
        if (Socket client = gf_acceptTcp(listener_)) {
            descriptorLog.log("RealTraffic link: out of descriptors, the longest waiting client closed");
            return client;
        }
    }
    // None to give: the reserve makes room to take the connection off the queue and close it.
    if (reserve_) {
        reserve_.reset();
        const bool taken = gf_acceptTcp(listener_).valid();  // closed at once
        std::error_code ec;
        reserve_ = gf_openUdp(ec);
        if (taken) {
            descriptorLog.logError("RealTraffic link: out of descriptors, a connection refused");
            return {};
        }
    }
    // Nothing came off the queue: the listener rests rather than wake the loop at once again.
    acceptPausedUntil_ = std::chrono::steady_clock::now() + acceptPause;
    return {};
}

void RealTrafficLink::readReply(Waiting& w) {
    char buffer[1024];
    std::error_code ec;
    const auto got = gf_receive(w.socket, buffer, ec);
    if (!got) {
        w.done = !gf_isRetry(ec);
        return;
    }
    if (*got == 0) {  // gone before it answered
        w.done = true;
        return;
    }
    w.reply.append(buffer, *got);
    const auto nl = w.reply.find('\n');
    if ((nl == std::string::npos ? w.reply.size() : nl) > maxReplyBytes) {
        static LogLimiter longLog("RealTraffic link: a version reply above");
        longLog.log(fmt::format("RealTraffic link: a version reply above {} bytes, connection closed",
                                maxReplyBytes));
        w.done = true;
        return;
    }
    // Without a line end, a whole JSON object is the reply too.
    if (nl == std::string::npos && !nlohmann::json::accept(w.reply)) return;
    w.done = true;
    const std::string line = gf_trim(w.reply.substr(0, nl));
    std::optional<Version> version;
    std::optional<int> level;
    gf_parseVersionReply(line, version, level);
    if (!version && !level) {
        static LogLimiter refusedLog("RealTraffic link: no version reply");
        refusedLog.logError(
            fmt::format("RealTraffic link: no version reply (\"{}\"), connection closed", line));
        return;
    }
    serve(std::move(w.socket), version, level);
}

void RealTrafficLink::serve(Socket client, const std::optional<Version>& version,
                            const std::optional<int>& level) {
    static LogLimiter connectLog("RealTraffic connected", 20);
    if (served_) {
        gf_sendAll(served_, "exit\r\n");
        connectLog.log("RealTraffic connected again, the older link closed");
    }
    // Logged before it shows as connected.
    connectLog.log("RealTraffic connected");
    connectLog.log(
        fmt::format("RealTraffic version {} level {}", version ? version->text() : "?", level.value_or(0)));
    served_ = std::move(client);
    {
        std::lock_guard lock(mutex_);
        version_ = version;
        level_ = level.value_or(0);
        connected_ = true;
    }
    connectedCv_.notify_all();
}

void RealTrafficLink::readServed() {
    // RealTraffic sends nothing we use after the version reply; a zero read is its close.
    char buffer[4096];
    std::error_code ec;
    const auto got = gf_receive(served_, buffer, ec);
    if ((got && *got == 0) || (!got && !gf_isRetry(ec))) dropServed();
}

void RealTrafficLink::dropServed() {
    served_.reset();
    {
        std::lock_guard lock(mutex_);
        connected_ = false;
    }
    static LogLimiter lostLog("RealTraffic link lost");
    lostLog.log("RealTraffic link lost, waiting for a reconnect");
}

bool RealTrafficLink::sendPending() {
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
    if (gf_sendAll(served_, out)) return true;
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
