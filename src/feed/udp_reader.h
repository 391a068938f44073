// A UDP receiver on its own detached thread, ended by a stop request that wakes its wait; the
// thread closes its socket as it ends.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace vdl {

// A reader failed; the run ends with "READER ERROR" and restarts.
inline std::atomic<bool> readerError{false};
inline constexpr int readerErrorDelaySeconds = 10;
// Datagrams with METARs exceed 2 KB; no datagram exceeds this.
inline constexpr size_t udpBufferSize = 65536;

// Logs "{} reader error: {}", sets readerError and ends the run with "READER ERROR".
void gf_readerFailed(std::string_view readerName, std::string_view text);

class UdpReader {
public:
    using Handler = std::function<void(std::string_view datagram)>;

    UdpReader() = default;
    UdpReader(const UdpReader&) = delete;
    UdpReader& operator=(const UdpReader&) = delete;
    ~UdpReader();

    // Binds all local addresses on `port` (0: an ephemeral port) with address reuse and starts
    // the thread, which hands each datagram to `onDatagram`. A running reader is stopped first.
    // A failure to open the socket, or a receive error later, goes to gf_readerFailed; false then.
    bool start(std::string name, uint16_t port, Handler onDatagram);
    // Requests the thread's stop, which wakes it, and waits up to 2 s for it to close its socket.
    void stop();
    bool running() const;
    // The bound port while running, else 0.
    uint16_t port() const;

    struct State;  // shared with the detached thread, which may outlive the reader's run

private:
    mutable std::mutex mutex_;  // guards state_
    std::shared_ptr<State> state_;
};

}  // namespace vdl
