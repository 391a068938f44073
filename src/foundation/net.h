// Sockets, written once: an owner that closes once, UDP and TCP set-up on IPv4, sends, reads
// and an interruptible wait. net_posix.cpp implements it on POSIX, net_windows.cpp with
// Winsock (NativeSocket a SOCKET; Winsock is started by the first socket made).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "foundation/unique_handle.h"

namespace vdl {

#ifdef _WIN32
using NativeSocket = std::uintptr_t;                                   // SOCKET
inline constexpr NativeSocket invalidNativeSocket = ~NativeSocket{0};  // INVALID_SOCKET
#else
using NativeSocket = int;
inline constexpr NativeSocket invalidNativeSocket = -1;
#endif

struct SocketTraits {
    using Native = NativeSocket;
    static constexpr Native invalid = invalidNativeSocket;
    static void close(Native socket) noexcept;
};
// Move-only; closes its socket once. None of the sockets below is inherited by child processes.
using Socket = UniqueHandle<SocketTraits>;

// A UDP socket bound to `port` (0: an ephemeral one, its own) on all local addresses, a given
// port shared since other programs listen to the same broadcasts. Reads never
// block: wait with gf_waitReadable. Invalid, with `ec` set, on failure.
Socket gf_bindUdp(uint16_t port, std::error_code& ec);
// An unbound UDP socket for gf_sendDatagram.
Socket gf_openUdp(std::error_code& ec);
// A TCP socket listening on `port` (0: an ephemeral one) on all local addresses, a given port
// with address reuse after a restart (on Windows exclusive: no other program can take the port
// over); accepting never blocks.
Socket gf_listenTcp(uint16_t port, int backlog, std::error_code& ec);
// One waiting connection of a listening socket; invalid when none waits.
Socket gf_acceptTcp(const Socket& listener);
// A TCP connection to `port` on 127.0.0.1; invalid, with `ec` set, when refused.
Socket gf_connectLoopback(uint16_t port, std::error_code& ec);

// The port a socket is bound to; 0 when it is not bound.
uint16_t gf_localPort(const Socket& socket);
// Sends on the connection give up after `timeout` (a peer that stops reading).
void gf_setSendTimeout(const Socket& socket, std::chrono::milliseconds timeout);
// Small writes go out at once rather than waiting to be joined (no Nagle delay).
void gf_setNoDelay(const Socket& socket);

// Sends all of `data`, again after a signal; false when the peer is gone or a send timed out.
// A closed peer never raises SIGPIPE.
bool gf_sendAll(const Socket& socket, std::string_view data);
// One datagram to `port` on 127.0.0.1; false when it did not go out whole.
bool gf_sendDatagram(const Socket& socket, uint16_t port, std::string_view datagram);

// Reads what waits, at most the buffer's size: the byte count (0 is the peer's close of a
// stream, or an empty datagram), or none with `ec` set; gf_isRetry tells when trying again
// may succeed.
std::optional<size_t> gf_receive(const Socket& socket, std::span<char> buffer, std::error_code& ec);
// The call was interrupted by a signal or had nothing to read yet.
bool gf_isRetry(const std::error_code& ec);

// Wakes a thread waiting in gf_waitReadable: a connected socket pair (AF_UNIX on POSIX, UDP on
// loopback on Windows) whose read end is readable from signal() until drain(). A signal while one
// is pending sends nothing (a send is a system call, and on Windows a slow one). The waiting thread
// drains, then looks at what it was woken for: a signal that comes after the state it announces
// is never lost.
class WakeUp {
  public:
    WakeUp() = default;
    // The pair; an invalid one, with `ec` set, when the system refuses.
    static WakeUp open(std::error_code& ec);
    bool valid() const { return readEnd_.valid(); }
    // Any thread; never blocks.
    void signal() const;
    // The waiting thread, after it was woken.
    void drain() const;
    const Socket& readEnd() const { return readEnd_; }

  private:
    Socket readEnd_;
    Socket writeEnd_;
    std::unique_ptr<std::atomic<bool>> pending_;  // a signal is on its way or unread
};

struct Readiness {
    bool socket = false;  // data, a connection to accept, the peer's close or an error
    bool woken = false;   // the wake-up was signalled
};

// Waits up to `timeout` (negative: without limit) until `socket` is readable or `wake` (may be
// null) is signalled. Nothing is ready after the timeout or a signal that interrupted the
// wait; `ec` is set when the wait failed.
Readiness gf_waitReadable(const Socket& socket, const WakeUp* wake, std::chrono::milliseconds timeout,
                          std::error_code& ec);
// The same for several sockets at once: ready[i] (of the size of `sockets`) tells for sockets[i];
// the result tells whether `wake` was signalled.
bool gf_waitReadable(std::span<const Socket* const> sockets, std::span<uint8_t> ready, const WakeUp* wake,
                     std::chrono::milliseconds timeout, std::error_code& ec);

}  // namespace vdl
