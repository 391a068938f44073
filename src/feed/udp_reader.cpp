#include "feed/udp_reader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <thread>
#include <vector>

#include "foundation/log.h"
#include "window/exit.h"

namespace vdl {

struct UdpReader::State {
    std::string name;
    Handler handler;
    int fd = -1;  // closed by the thread when it ends
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::mutex endMutex;
    std::condition_variable endCv;
    bool ended = false;  // under endMutex
};

namespace {

std::string lf_errnoText(std::string_view what) { return fmt::format("{}: {}", what, std::strerror(errno)); }

void lf_run(std::shared_ptr<UdpReader::State> st) {
    std::vector<char> buffer(udpBufferSize);
    // A short poll period bounds the wait for the stop flag should a wake-up be missed.
    constexpr int pollMs = 200;
    while (!st->stop.load()) {
        pollfd pfd{st->fd, POLLIN, 0};
        const int n = ::poll(&pfd, 1, pollMs);
        if (st->stop.load()) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            gf_readerFailed(st->name, lf_errnoText("poll"));
            break;
        }
        if (n == 0) continue;
        const ssize_t got = ::recv(st->fd, buffer.data(), buffer.size(), 0);
        if (st->stop.load()) break;
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            gf_readerFailed(st->name, lf_errnoText("recv"));
            break;
        }
        try {
            st->handler(std::string_view(buffer.data(), static_cast<size_t>(got)));
        } catch (const std::exception& e) {
            // Handlers catch per line; this keeps a fault from ending the reader.
            gf_log(fmt::format("exception in {} reader: {}", st->name, e.what()));
        }
    }
    {
        // Closed under endMutex, so that stop() never shuts down a closed (or reused) descriptor.
        std::lock_guard lock(st->endMutex);
        ::close(st->fd);
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

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        gf_readerFailed(st->name, lf_errnoText("socket"));
        return false;
    }
    // Other programs listen to the same broadcasts.
    const int one = 1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    socklen_t len = sizeof addr;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const std::string text = lf_errnoText(fmt::format("bind to port {}", port));
        ::close(fd);
        gf_readerFailed(st->name, text);
        return false;
    }
    st->fd = fd;
    st->port = ntohs(addr.sin_port);
    {
        std::lock_guard lock(mutex_);
        state_ = st;
    }
    std::thread(lf_run, st).detach();
    return true;
}

void UdpReader::stop() {
    std::shared_ptr<State> st;
    {
        std::lock_guard lock(mutex_);
        st = std::move(state_);
    }
    if (!st) return;
    st->stop = true;
    std::unique_lock lock(st->endMutex);
    if (!st->ended) {
        // Wakes a thread blocked on the socket; the thread itself closes it.
        ::shutdown(st->fd, SHUT_RDWR);
        st->endCv.wait_for(lock, std::chrono::seconds(2), [&] { return st->ended; });
    }
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
