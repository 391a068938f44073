#include "feed/udp_reader.h"

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <stop_token>
#include <thread>
#include <vector>

#include "foundation/log.h"
#include "foundation/net.h"
#include "window/exit.h"

namespace vdl {

struct UdpReader::State {
    std::string name;
    Handler handler;
    Socket socket;  // closed by the thread when it ends
    WakeUp wake;    // rung when a stop is requested
    uint16_t port = 0;
    std::stop_source stop;
    std::mutex endMutex;
    std::condition_variable endCv;
    bool ended = false;  // under endMutex
};

namespace {

void lf_readDatagrams(std::stop_token stop, std::shared_ptr<UdpReader::State> st) {
    std::vector<char> buffer(udpBufferSize);
    while (!stop.stop_requested()) {
        std::error_code ec;
        const Readiness ready = gf_waitReadable(st->socket, &st->wake, std::chrono::milliseconds(-1), ec);
        if (stop.stop_requested()) break;
        if (ec) {
            gf_readerFailed(st->name, fmt::format("poll: {}", ec.message()));
            break;
        }
        if (!ready.socket) continue;
        const auto got = gf_receive(st->socket, buffer, ec);
        if (!got) {
            if (gf_isRetry(ec)) continue;
            gf_readerFailed(st->name, fmt::format("recv: {}", ec.message()));
            break;
        }
        try {
            st->handler(std::string_view(buffer.data(), *got));
        } catch (const std::exception& e) {
            // Handlers catch per line; this keeps a fault from ending the reader.
            static LogLimiter faultLog("exception in lf_readDatagrams");
            faultLog.log(fmt::format("exception in lf_readDatagrams ({} reader): {}", st->name, e.what()));
        }
    }
    st->socket.reset();
    {
        std::lock_guard lock(st->endMutex);
        st->ended = true;
    }
    st->endCv.notify_all();
}

}  // namespace

void gf_readerFailed(std::string_view readerName, std::string_view text) {
    gf_logError(fmt::format("{} reader error: {}", readerName, text));
    readerError = true;
    gf_startFinalExit(ExitReason::ReaderError, readerErrorDelaySeconds);
}

UdpReader::~UdpReader() { stop(); }

bool UdpReader::start(std::string name, uint16_t port, Handler onDatagram) {
    stop();
    auto st = std::make_shared<State>();
    st->name = std::move(name);
    st->handler = std::move(onDatagram);
    std::error_code ec;
    st->wake = WakeUp::open(ec);
    if (ec) {
        gf_readerFailed(st->name, fmt::format("wake-up pair: {}", ec.message()));
        return false;
    }
    st->socket = gf_bindUdp(port, ec);
    if (ec) {
        gf_readerFailed(st->name, fmt::format("bind to port {}: {}", port, ec.message()));
        return false;
    }
    st->port = gf_localPort(st->socket);
    // Detached: a stop from inside a handler (a reader error ends the run) must not join its
    // own thread, and a stuck handler must not hold the stop for longer than its wait.
    std::jthread thread(lf_readDatagrams, st);
    st->stop = thread.get_stop_source();
    thread.detach();
    std::lock_guard lock(mutex_);
    state_ = std::move(st);
    return true;
}

void UdpReader::stop() {
    std::shared_ptr<State> st;
    {
        std::lock_guard lock(mutex_);
        st = std::move(state_);
    }
    if (!st) return;
    // Rung here rather than from a std::stop_callback: MinGW's libstdc++ 12 can leave the thread
    // hanging in the callback's removal.
    st->stop.request_stop();
    st->wake.signal();
    std::unique_lock lock(st->endMutex);
    st->endCv.wait_for(lock, std::chrono::seconds(2), [&] { return st->ended; });
}

bool UdpReader::running() const {
    std::lock_guard lock(mutex_);
    if (!state_) return false;
    std::lock_guard endLock(state_->endMutex);
    return !state_->ended;
}

uint16_t UdpReader::port() const {
    std::lock_guard lock(mutex_);
    return state_ ? state_->port : 0;
}

}  // namespace vdl
