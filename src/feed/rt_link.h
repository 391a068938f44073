// The TCP link to RealTraffic: we listen on PORT_NUMBER and RealTraffic connects. Lines end
// with CR LF: "Qs999=version" (the handshake), "Qs121=" (the user aircraft), "Qs123=" (the
// simulator's UTC, professional edition only) and "exit" at the end.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "foundation/net.h"
#include "foundation/version.h"

namespace vdl {

// What the link sends of the user aircraft; the shell fills it from the simulator's state.
struct FeedUserState {
    double lat = 0.0;          // degrees
    double lon = 0.0;          // degrees
    double pitch = 0.0;        // radians, as the simulator reports it
    double bank = 0.0;         // radians, as the simulator reports it
    double heading = 0.0;      // true heading, radians
    double altitude = 0.0;     // ft
    double groundSpeed = 0.0;  // kt, sent as the true airspeed
    int64_t simUtcMs = 0;      // the simulator's UTC, ms since 1970; 0 = unknown
};

// The simulator's UTC as ms since 1970 from its date and seconds of the day; 0 (unknown) for
// an impossible date or time.
int64_t gf_simUtcMs(int32_t year, int32_t month, int32_t day, double secondsOfDay);

inline constexpr int professionalLevel = 2;  // RealTraffic's edition level of the professional edition

// "Qs121=pitch;bank;heading;alt;tas;lat;lon": pitch and bank in radians x 100000, heading
// in radians, altitude in ft x 1000, true airspeed in m/s (all three scaled values as
// integers), latitude and longitude in radians. No line end.
std::string gf_userStateLine(const FeedUserState& s);

// The version reply, {"version":"10.0.240","level":2}: "version" as a text or an object of
// numbers, "level" as a whole number or a text of one. Each is left alone when missing or
// unreadable.
void gf_parseVersionReply(std::string_view text, std::optional<Version>& version, std::optional<int>& level);

// A flood of connections must not crowd out RealTraffic: connections wait in a long queue, and up
// to rtLinkMaxWaiting clients wait for their version reply on the link's one loop, the longest
// waiting one going first when more come.
inline constexpr int rtLinkBacklog = 1024;
inline constexpr size_t rtLinkMaxWaiting = 512;

class RealTrafficLink {
public:
    RealTrafficLink() = default;
    RealTrafficLink(const RealTrafficLink&) = delete;
    RealTrafficLink& operator=(const RealTrafficLink&) = delete;
    ~RealTrafficLink();

    // Listens on `port` (0: an ephemeral one) and starts the link's thread. The thread keeps
    // listening: it asks each client for its version and closes one that does not answer within
    // 5 s, answers with no version, or sends a line too long; the client that answered is
    // RealTraffic and gets the queued lines (a newer one that answers takes over). False (logged)
    // when the port cannot be opened.
    // At most `maxWaiting` clients wait for their version reply.
    bool start(uint16_t port, size_t maxWaiting = rtLinkMaxWaiting);
    // Sends "exit" to a connected RealTraffic, closes the sockets and joins the thread.
    void stop();
    // Stops and forgets RealTraffic's version and level (the feed's reset).
    void reset();
    bool running() const { return running_.load(); }
    uint16_t port() const { return port_.load(); }

    // RealTraffic is connected and has answered the version query.
    bool connected() const { return connected_.load(); }
    // Waits up to `timeout` for a connection; true when connected.
    bool waitConnected(std::chrono::milliseconds timeout);

    // From the version reply; none (and level 0) until one was read.
    std::optional<Version> version() const;
    int level() const { return level_.load(); }

    // Hands the state to the link's thread and returns at once. Only the newest state waits;
    // without a connection it is sent when RealTraffic connects again.
    void queueUserState(const FeedUserState& s);

private:
  // A client asked for its version that has not answered yet.
  struct Waiting {
      Socket socket;
      std::string reply;  // bounded
      std::chrono::steady_clock::time_point deadline;
      bool done = false;  // answered or to be closed
  };

    void stopLocked();
    void run(std::stop_token stop);
    void acceptClients();
    // Accepts when no descriptor seemed left; none when nothing could be kept.
    Socket acceptWithoutDescriptors();
    void readReply(Waiting& w);
    void serve(Socket client, const std::optional<Version>& version, const std::optional<int>& level);
    void readServed();
    void dropServed();
    bool sendPending();
    void wake();

    std::mutex controlMutex_;  // serialises start and stop
    std::jthread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> connected_{false};
    std::atomic<uint16_t> port_{0};
    std::atomic<int> level_{0};
    Socket listener_;  // used by the link's thread while it runs
    WakeUp wake_;      // interrupts the thread's waits; replaced under mutex_ while no thread runs
    // The link's thread's own while it runs.
    std::vector<Waiting> waiting_;
    Socket served_;  // the RealTraffic that answered
    size_t maxWaiting_ = rtLinkMaxWaiting;
    Socket reserve_;  // a spare descriptor, given up to take a connection when none is left
    std::chrono::steady_clock::time_point acceptPausedUntil_{};

    mutable std::mutex mutex_;  // guards the fields below
    std::condition_variable connectedCv_;
    std::optional<Version> version_;
    std::optional<std::string> pendingState_;  // "Qs121=..." without line end
    int64_t pendingUtcMs_ = 0;
};

extern RealTrafficLink realTrafficLink;

// RealTraffic is installed on this PC: a folder "RealTraffic" in the per-user data folder.
bool gf_realTrafficInstalled();
// The link is opened and waited for only when RealTraffic is installed and EXTERNAL_LINK is off.
bool gf_realTrafficLinkWanted();
// Starts the link on PORT_NUMBER; false (logged) when that is no port or cannot be opened.
bool gf_startRealTrafficLink();

// Where gf_sendUserAcState gets the user aircraft's state; set by the shell.
using UserStateSource = std::function<FeedUserState()>;
void gf_setUserStateSource(UserStateSource source);

// Takes the state from the source (nothing when none is set), makes its position the traffic
// reader's own and hands the line to the link when it runs. Never blocks on the network.
void gf_sendUserAcState();
void gf_sendUserAcState(const FeedUserState& s);

}  // namespace vdl
