#include "standins/link_flood.h"

#include <algorithm>
#include <deque>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vdl::rtstandin {

namespace {

using Clock = std::chrono::steady_clock;

void lf_floodClient(const FloodConfig& config, FloodStats& stats, std::stop_token stop, size_t index) {
    const auto interval = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
        static_cast<double>(config.clients) / std::max(config.connectionsPerSecond, 1e-3)));
    // The clients start spread over one interval, so the connections come evenly.
    auto next = Clock::now() + interval * static_cast<int64_t>(index) / static_cast<int64_t>(config.clients);
    std::deque<std::pair<Clock::time_point, Socket>> held;
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        while (!held.empty() && held.front().first <= now) held.pop_front();
        if (now >= next) {
            std::error_code ec;
            Socket s = gf_connectLoopback(config.port, ec);
            if (s) {
                held.emplace_back(Clock::now() + config.idle, std::move(s));
                stats.opened.fetch_add(1);
            } else {
                stats.failed.fetch_add(1);
            }
            next += interval;
            // After a stall the rate goes on; the connections missed are not made up in a burst.
            if (next < now - std::chrono::milliseconds(100)) next = now;
        }
        auto until = next;
        if (!held.empty()) until = std::min(until, held.front().first);
        std::this_thread::sleep_until(std::min(until, Clock::now() + std::chrono::milliseconds(50)));
    }
}

bool lf_readLine(const Socket& s, std::string& line, Clock::time_point deadline) {
    line.clear();
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        std::error_code ec;
        if (!gf_waitReadable(s, nullptr, left, ec).socket) continue;
        char c = 0;
        const auto got = gf_receive(s, std::span<char>(&c, 1), ec);
        if (!got) {
            if (gf_isRetry(ec)) continue;
            return false;
        }
        if (*got == 0) return false;
        if (c == '\n') return true;
        line.push_back(c);
    }
}

}  // namespace

void gf_runFlood(const FloodConfig& config, FloodStats& stats, std::stop_token stop) {
    std::vector<std::jthread> clients;
    for (size_t i = 0; i < config.clients; ++i)
        clients.emplace_back([&config, &stats, stop, i] { lf_floodClient(config, stats, stop, i); });
}

std::optional<std::chrono::milliseconds> gf_probeLink(const RealTrafficLink& link, uint16_t port,
                                                      std::chrono::milliseconds timeout, Socket& held,
                                                      std::chrono::milliseconds answerDelay) {
    held.reset();
    for (const auto until = Clock::now() + std::chrono::seconds(5); link.connected() && Clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto start = Clock::now();
    const auto deadline = start + timeout;
    std::error_code ec;
    held = gf_connectLoopback(port, ec);
    if (!held) return std::nullopt;
    std::string line;
    // Stray lines are not RealTraffic's business; the version query is.
    while (line != "Qs999=version\r")
        if (!lf_readLine(held, line, deadline)) return std::nullopt;
    std::this_thread::sleep_for(answerDelay);
    if (!gf_sendAll(held, probeReply)) return std::nullopt;
    while (!link.connected()) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

}  // namespace vdl::rtstandin
