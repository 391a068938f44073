// A connection flood on the RealTraffic link: clients that open connections at a steady rate and
// keep each one idle without answering, and a probe that plays RealTraffic, which answers the
// version query at once. Used by tools/link_flood.cpp and the link's tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>

#include "feed/rt_link.h"
#include "foundation/net.h"

namespace vdl::rtstandin {

struct FloodConfig {
    uint16_t port = 10747;
    size_t clients = 32;
    double connectionsPerSecond = 2000.0;  // of all clients together
    std::chrono::milliseconds idle{6000};  // each connection is held this long, or until closed
};

struct FloodStats {
    std::atomic<uint64_t> opened{0};
    std::atomic<uint64_t> failed{0};  // refused, or no descriptor left on this side
};

// Floods until `stop`, on one thread per client; returns when all have closed their connections.
void gf_runFlood(const FloodConfig& config, FloodStats& stats, std::stop_token stop);

inline constexpr std::string_view probeReply = "{\"version\":\"10.0.240\",\"level\":2}\r\n";

// Plays RealTraffic once: closes `held` (the previous probe) and waits until the link has let it
// go, connects, answers the version query after `answerDelay` (RealTraffic's own time to answer)
// and waits until `link` shows it connected.
// The time from the connect to being served, or none when that took longer than `timeout`. The
// new connection is left in `held`.
std::optional<std::chrono::milliseconds> gf_probeLink(const RealTrafficLink& link, uint16_t port,
                                                      std::chrono::milliseconds timeout, Socket& held,
                                                      std::chrono::milliseconds answerDelay = {});

}  // namespace vdl::rtstandin
