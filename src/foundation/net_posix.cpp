// The POSIX implementation of foundation/net.h (net_windows.cpp is its Winsock twin).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "foundation/net.h"

namespace vdl {

namespace {

std::error_code lf_lastError() {
    return {errno, std::generic_category()};
}

sockaddr_in lf_address(uint32_t host, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(host);
    addr.sin_port = htons(port);
    return addr;
}

Socket lf_open(int type, std::error_code& ec) {
    Socket s(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    ec = s ? std::error_code() : lf_lastError();
    return s;
}

// Binds to all local addresses, a given port with address reuse; the socket is dropped on
// failure. An ephemeral port goes without: with reuse the system may hand one port to two
// sockets, and one of them then gets the other's datagrams.
Socket lf_bindAny(Socket s, uint16_t port, std::error_code& ec) {
    if (!s) return s;
    const int one = 1;
    const sockaddr_in addr = lf_address(INADDR_ANY, port);
    if ((port != 0 && ::setsockopt(s.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0) ||
        ::bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ec = lf_lastError();
        return {};
    }
    return s;
}

}  // namespace

void SocketTraits::close(Native socket) noexcept {
    ::close(socket);
}

Socket gf_bindUdp(uint16_t port, std::error_code& ec) {
    return lf_bindAny(lf_open(SOCK_DGRAM | SOCK_NONBLOCK, ec), port, ec);
}

Socket gf_openUdp(std::error_code& ec) {
    return lf_open(SOCK_DGRAM, ec);
}

Socket gf_listenTcp(uint16_t port, int backlog, std::error_code& ec) {
    Socket s = lf_bindAny(lf_open(SOCK_STREAM | SOCK_NONBLOCK, ec), port, ec);
    if (s && ::listen(s.get(), backlog) != 0) {
        ec = lf_lastError();
        return {};
    }
    return s;
}

Socket gf_acceptTcp(const Socket& listener) {
    // The connection blocks as usual; only the listener does not.
    return Socket(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

Socket gf_connectLoopback(uint16_t port, std::error_code& ec) {
    Socket s = lf_open(SOCK_STREAM, ec);
    const sockaddr_in addr = lf_address(INADDR_LOOPBACK, port);
    if (s && ::connect(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ec = lf_lastError();
        return {};
    }
    return s;
}

uint16_t gf_localPort(const Socket& socket) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

void gf_setSendTimeout(const Socket& socket, std::chrono::milliseconds timeout) {
    const timeval tv{static_cast<time_t>(timeout.count() / 1000),
                     static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void gf_setNoDelay(const Socket& socket) {
    const int one = 1;
    ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool gf_sendAll(const Socket& socket, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(socket.get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool gf_sendDatagram(const Socket& socket, uint16_t port, std::string_view datagram) {
    const sockaddr_in addr = lf_address(INADDR_LOOPBACK, port);
    const ssize_t n = ::sendto(socket.get(), datagram.data(), datagram.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    return n == static_cast<ssize_t>(datagram.size());
}

std::optional<size_t> gf_receive(const Socket& socket, std::span<char> buffer, std::error_code& ec) {
    const ssize_t n = ::recv(socket.get(), buffer.data(), buffer.size(), 0);
    if (n < 0) {
        ec = lf_lastError();
        return std::nullopt;
    }
    ec.clear();
    return static_cast<size_t>(n);
}

bool gf_isRetry(const std::error_code& ec) {
    return ec == std::errc::interrupted || ec == std::errc::operation_would_block ||
           ec == std::errc::resource_unavailable_try_again;
}

WakeUp WakeUp::open(std::error_code& ec) {
    int fds[2];
    WakeUp w;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) {
        ec = lf_lastError();
        return w;
    }
    ec.clear();
    w.pending_ = std::make_unique<std::atomic<bool>>(false);
    w.readEnd_.reset(fds[0]);
    w.writeEnd_.reset(fds[1]);
    return w;
}

void WakeUp::signal() const {
    if (!pending_ || pending_->exchange(true)) return;
    const char byte = 1;
    if (::send(writeEnd_.get(), &byte, 1, MSG_NOSIGNAL) != 1) pending_->store(false);
}

void WakeUp::drain() const {
    char buffer[256];
    while (::recv(readEnd_.get(), buffer, sizeof buffer, 0) > 0) {
    }
    // Only after the read: a signal in between found it pending, and its state is seen next.
    if (pending_) pending_->store(false);
}

Readiness gf_waitReadable(const Socket& socket, const WakeUp* wake, std::chrono::milliseconds timeout,
                          std::error_code& ec) {
    pollfd fds[2] = {{socket.get(), POLLIN, 0}, {wake ? wake->readEnd().get() : -1, POLLIN, 0}};
    const int wait = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    ec.clear();
    const int n = ::poll(fds, 2, wait);
    if (n < 0) {
        if (errno != EINTR) ec = lf_lastError();
        return {};
    }
    return {fds[0].revents != 0, fds[1].revents != 0};
}

bool gf_waitReadable(std::span<const Socket* const> sockets, std::span<uint8_t> ready, const WakeUp* wake,
                     std::chrono::milliseconds timeout, std::error_code& ec) {
    std::vector<pollfd> fds;
    fds.reserve(sockets.size() + 1);
    for (const Socket* s : sockets) fds.push_back({s->get(), POLLIN, 0});
    fds.push_back({wake ? wake->readEnd().get() : -1, POLLIN, 0});
    const int wait = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    ec.clear();
    std::fill(ready.begin(), ready.end(), uint8_t{0});
    const int n = ::poll(fds.data(), fds.size(), wait);
    if (n < 0) {
        if (errno != EINTR) ec = lf_lastError();
        return false;
    }
    for (size_t i = 0; i < sockets.size() && i < ready.size(); ++i) ready[i] = fds[i].revents != 0;
    return fds.back().revents != 0;
}

}  // namespace vdl
