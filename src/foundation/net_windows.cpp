// The Winsock implementation of foundation/net.h (net_posix.cpp is its POSIX twin).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "foundation/net.h"

namespace vdl {

namespace {

// Winsock is started once, by the first socket, and stays for the process.
void lf_startWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

// Winsock's codes as the portable conditions the callers compare with; others stay as they are.
std::error_code lf_error(int code) {
    switch (code) {
        case WSAEWOULDBLOCK: return std::make_error_code(std::errc::operation_would_block);
        case WSAEINTR: return std::make_error_code(std::errc::interrupted);
        case WSAECONNREFUSED: return std::make_error_code(std::errc::connection_refused);
        case WSAECONNRESET: return std::make_error_code(std::errc::connection_reset);
        case WSAECONNABORTED: return std::make_error_code(std::errc::connection_aborted);
        case WSAEADDRINUSE: return std::make_error_code(std::errc::address_in_use);
        case WSAEACCES: return std::make_error_code(std::errc::permission_denied);
        case WSAETIMEDOUT: return std::make_error_code(std::errc::timed_out);
        case WSAENOTCONN: return std::make_error_code(std::errc::not_connected);
        default: return {code, std::system_category()};
    }
}

std::error_code lf_lastError() {
    return lf_error(WSAGetLastError());
}

sockaddr_in lf_address(uint32_t host, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(host);
    addr.sin_port = htons(port);
    return addr;
}

bool lf_setBlocking(SOCKET s, bool blocking) {
    u_long nonBlocking = blocking ? 0 : 1;
    return ioctlsocket(s, FIONBIO, &nonBlocking) == 0;
}

Socket lf_open(int type, bool blocking, std::error_code& ec) {
    lf_startWinsock();
    Socket s(::socket(AF_INET, type, 0));
    if (!s) {
        ec = lf_lastError();
        return s;
    }
    // Child processes get none of the program's sockets.
    SetHandleInformation(reinterpret_cast<HANDLE>(s.get()), HANDLE_FLAG_INHERIT, 0);
    if (!blocking && !lf_setBlocking(s.get(), false)) {
        ec = lf_lastError();
        return {};
    }
    ec.clear();
    return s;
}

int lf_setOption(SOCKET s, int level, int name, int value) {
    return ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

// Binds to all local addresses. A given UDP port is shared (SO_REUSEADDR: other programs get the
// same broadcasts); a given TCP port is exclusive, since on Windows SO_REUSEADDR would let
// another program take it over. An ephemeral port goes without either.
Socket lf_bindAny(Socket s, uint16_t port, bool shared, std::error_code& ec) {
    if (!s) return s;
    const sockaddr_in addr = lf_address(INADDR_ANY, port);
    if (port != 0 && lf_setOption(s.get(), SOL_SOCKET, shared ? SO_REUSEADDR : SO_EXCLUSIVEADDRUSE, 1) != 0) {
        ec = lf_lastError();
        return {};
    }
    if (::bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ec = lf_lastError();
        return {};
    }
    return s;
}

// A datagram that bounced off a closed port must not end the reading: without this, the next
// recv on the socket fails with WSAECONNRESET.
void lf_ignorePortUnreachable(SOCKET s) {
    BOOL off = FALSE;
    DWORD bytes = 0;
    WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &bytes, nullptr, nullptr);
}

}  // namespace

void SocketTraits::close(Native socket) noexcept {
    ::closesocket(static_cast<SOCKET>(socket));
}

Socket gf_bindUdp(uint16_t port, std::error_code& ec) {
    Socket s = lf_bindAny(lf_open(SOCK_DGRAM, false, ec), port, true, ec);
    if (s) lf_ignorePortUnreachable(s.get());
    return s;
}

Socket gf_openUdp(std::error_code& ec) {
    return lf_open(SOCK_DGRAM, true, ec);
}

Socket gf_listenTcp(uint16_t port, int backlog, std::error_code& ec) {
    Socket s = lf_bindAny(lf_open(SOCK_STREAM, false, ec), port, false, ec);
    if (s && ::listen(s.get(), backlog) != 0) {
        ec = lf_lastError();
        return {};
    }
    return s;
}

Socket gf_acceptTcp(const Socket& listener) {
    Socket s(::accept(listener.get(), nullptr, nullptr));
    if (!s) return s;
    SetHandleInformation(reinterpret_cast<HANDLE>(s.get()), HANDLE_FLAG_INHERIT, 0);
    // An accepted socket inherits the listener's non-blocking mode on Windows; the connection
    // blocks as on POSIX.
    lf_setBlocking(s.get(), true);
    return s;
}

Socket gf_connectLoopback(uint16_t port, std::error_code& ec) {
    Socket s = lf_open(SOCK_STREAM, true, ec);
    const sockaddr_in addr = lf_address(INADDR_LOOPBACK, port);
    if (s && ::connect(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ec = lf_lastError();
        return {};
    }
    return s;
}

uint16_t gf_localPort(const Socket& socket) {
    sockaddr_in addr{};
    int len = sizeof addr;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    return ntohs(addr.sin_port);
}

void gf_setSendTimeout(const Socket& socket, std::chrono::milliseconds timeout) {
    const DWORD ms = static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 1));
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

void gf_setNoDelay(const Socket& socket) {
    lf_setOption(socket.get(), IPPROTO_TCP, TCP_NODELAY, 1);
}

bool gf_sendAll(const Socket& socket, std::string_view data) {
    while (!data.empty()) {
        const int chunk = static_cast<int>(std::min<size_t>(data.size(), 1 << 30));
        const int n = ::send(socket.get(), data.data(), chunk, 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool gf_sendDatagram(const Socket& socket, uint16_t port, std::string_view datagram) {
    const sockaddr_in addr = lf_address(INADDR_LOOPBACK, port);
    const int n = ::sendto(socket.get(), datagram.data(), static_cast<int>(datagram.size()), 0,
                           reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    return n == static_cast<int>(datagram.size());
}

std::optional<size_t> gf_receive(const Socket& socket, std::span<char> buffer, std::error_code& ec) {
    const int size = static_cast<int>(std::min<size_t>(buffer.size(), 1 << 30));
    const int n = ::recv(socket.get(), buffer.data(), size, 0);
    if (n == SOCKET_ERROR) {
        const int code = WSAGetLastError();
        // A datagram larger than the buffer: its first part, as POSIX gives it.
        if (code == WSAEMSGSIZE) {
            ec.clear();
            return static_cast<size_t>(size);
        }
        ec = lf_error(code);
        return std::nullopt;
    }
    ec.clear();
    return static_cast<size_t>(n);
}

bool gf_isRetry(const std::error_code& ec) {
    return ec == std::errc::interrupted || ec == std::errc::operation_would_block ||
           ec == std::errc::resource_unavailable_try_again;
}

// Two UDP sockets on 127.0.0.1 connected to each other: each takes datagrams from its peer only.
WakeUp WakeUp::open(std::error_code& ec) {
    WakeUp w;
    Socket read = lf_open(SOCK_DGRAM, false, ec);
    Socket write = read ? lf_open(SOCK_DGRAM, false, ec) : Socket();
    if (!write) return w;
    const sockaddr_in loopback = lf_address(INADDR_LOOPBACK, 0);
    const auto* any = reinterpret_cast<const sockaddr*>(&loopback);
    if (::bind(read.get(), any, sizeof loopback) != 0 || ::bind(write.get(), any, sizeof loopback) != 0) {
        ec = lf_lastError();
        return w;
    }
    const sockaddr_in readAddr = lf_address(INADDR_LOOPBACK, gf_localPort(read));
    const sockaddr_in writeAddr = lf_address(INADDR_LOOPBACK, gf_localPort(write));
    if (::connect(read.get(), reinterpret_cast<const sockaddr*>(&writeAddr), sizeof writeAddr) != 0 ||
        ::connect(write.get(), reinterpret_cast<const sockaddr*>(&readAddr), sizeof readAddr) != 0) {
        ec = lf_lastError();
        return w;
    }
    lf_ignorePortUnreachable(read.get());
    lf_ignorePortUnreachable(write.get());
    ec.clear();
    w.pending_ = std::make_unique<std::atomic<bool>>(false);
    w.readEnd_ = std::move(read);
    w.writeEnd_ = std::move(write);
    return w;
}

void WakeUp::signal() const {
    if (!pending_ || pending_->exchange(true)) return;
    const char byte = 1;
    if (::send(writeEnd_.get(), &byte, 1, 0) != 1) pending_->store(false);
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
    const Socket* sockets[] = {&socket};
    uint8_t ready[1] = {0};
    const bool woken = gf_waitReadable(sockets, ready, wake, timeout, ec);
    return {ready[0] != 0, woken};
}

bool gf_waitReadable(std::span<const Socket* const> sockets, std::span<uint8_t> ready, const WakeUp* wake,
                     std::chrono::milliseconds timeout, std::error_code& ec) {
    // WSAPoll gets no entry for an absent wake-up: an invalid socket there fails the whole call.
    // Invalid sockets (never ready) get no entry either.
    std::vector<WSAPOLLFD> fds;
    std::vector<size_t> index;  // fds[k] is sockets[index[k]]
    fds.reserve(sockets.size() + 1);
    index.reserve(sockets.size());
    for (size_t i = 0; i < sockets.size(); ++i) {
        if (!sockets[i]->valid()) continue;
        fds.push_back({sockets[i]->get(), POLLRDNORM, 0});
        index.push_back(i);
    }
    const bool hasWake = wake != nullptr && wake->valid();
    if (hasWake) fds.push_back({wake->readEnd().get(), POLLRDNORM, 0});
    const int wait = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    ec.clear();
    std::fill(ready.begin(), ready.end(), uint8_t{0});
    if (fds.empty()) {
        Sleep(wait < 0 ? INFINITE : static_cast<DWORD>(wait));
        return false;
    }
    const int n = WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), wait);
    if (n == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEINTR) ec = lf_lastError();
        return false;
    }
    for (size_t k = 0; k < index.size(); ++k)
        if (index[k] < ready.size()) ready[index[k]] = fds[k].revents != 0;
    return hasWake && fds.back().revents != 0;
}

}  // namespace vdl
