// The TCP link to RealTraffic against a test client on loopback.
#include "feed/rt_link.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "feed/traffic_reader.h"
#include "feed_fixture.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "standins/link_flood.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

// Plays RealTraffic: connects to the link and reads its lines.
class Client {
  public:
    explicit Client(uint16_t port) : socket_(gf_connectLoopback(port, ec_)) {}

    bool connected() const { return socket_.valid(); }
    // False when the link closed the connection.
    bool send(std::string_view text) { return gf_sendAll(socket_, text); }
    // The next line with its CR LF; "" on timeout or end of stream.
    std::string readLine(std::chrono::milliseconds timeout = 5s) {
        for (;;) {
            if (const auto pos = buffer_.find('\n'); pos != std::string::npos) {
                std::string line = buffer_.substr(0, pos + 1);
                buffer_.erase(0, pos + 1);
                return line;
            }
            char buf[4096];
            if (!gf_waitReadable(socket_, nullptr, timeout, ec_).socket) return "";
            const auto n = gf_receive(socket_, buf, ec_);
            if (!n || *n == 0) return "";
            buffer_.append(buf, *n);
        }
    }

  private:
    std::error_code ec_;
    Socket socket_;
    std::string buffer_;
};

class RtLinkTest : public test::FeedTest {
  protected:
    // Connects a client and answers the version query with `reply`.
    static std::unique_ptr<Client> connect(std::string_view reply) {
        auto c = std::make_unique<Client>(realTrafficLink.port());
        EXPECT_TRUE(c->connected());
        EXPECT_EQ(c->readLine(), "Qs999=version\r\n");
        c->send(reply);
        EXPECT_TRUE(realTrafficLink.waitConnected(5s));
        return c;
    }
    static constexpr FeedUserState known{51.2895,           6.7668,    -0.06747, 0.00289,
                                         5.449771266137578, 37988.724, 250.0,    1724517659500};
};

constexpr std::string_view professionalReply = "{\"version\":\"10.0.240\",\"level\":2}\r\n";
constexpr std::string_view standardReply = "{\"version\":\"9.0.1\",\"level\":1}\r\n";

TEST_F(RtLinkTest, UserStateLineForAKnownState) {
    const double r = 0.017453292519943295;
    const std::string line = gf_userStateLine(known);
    ASSERT_EQ(line.rfind("Qs121=", 0), 0u);
    const auto items = gf_split(line.substr(6), ';');  // pitch, bank, heading, alt, tas, lat, lon
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(std::vector(items.begin(), items.begin() + 5),
              (std::vector<std::string>{"-6747", "289", "5.449771266137578", "37988724", "129"}));
    EXPECT_DOUBLE_EQ(std::stod(items[5]), 51.2895 * r);
    EXPECT_DOUBLE_EQ(std::stod(items[6]), 6.7668 * r);

    EXPECT_EQ(gf_simUtcMs(2024, 8, 24, 16 * 3600 + 40 * 60 + 59.5), 1724517659500);
    EXPECT_EQ(gf_simUtcMs(2023, 2, 29, 0.0), 0);  // no such day
    EXPECT_EQ(gf_simUtcMs(0, 0, 0, 0.0), 0);      // not yet reported
}

// Handshake, Qs121 (with Qs123 for the professional edition only), CR LF endings, "exit" at the end.
TEST_F(RtLinkTest, SessionFromHandshakeToExitPerEdition) {
    const struct {
        std::string_view reply;
        Version version;
        int level;
        bool simTime;
    } rows[] = {{professionalReply, {10, 0, 240}, professionalLevel, true}, {standardReply, {9, 0, 1}, 1, false}};
    gf_setUserStateSource([] { return known; });
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        ASSERT_TRUE(realTrafficLink.start(0));
        EXPECT_FALSE(realTrafficLink.connected());
        auto c = connect(row.reply);
        EXPECT_EQ(realTrafficLink.version(), row.version);
        EXPECT_EQ(realTrafficLink.level(), row.level);
        gf_sendUserAcState();
        EXPECT_EQ(c->readLine(), gf_userStateLine(known) + "\r\n");
        if (row.simTime) {
            EXPECT_EQ(c->readLine(), "Qs123=1724517659500\r\n");
        }
        ASSERT_TRUE(trafficReader.ownPosition());  // the state's position is the reader's own
        EXPECT_DOUBLE_EQ(trafficReader.ownPosition()->lat, 51.2895);
        realTrafficLink.stop();
        EXPECT_EQ(c->readLine(), "exit\r\n");
        EXPECT_EQ(c->readLine(), "");  // then closed
        EXPECT_FALSE(realTrafficLink.running() || realTrafficLink.connected());
    }
    EXPECT_NE(logText().find("RealTraffic version 10.0.240 level 2"), std::string::npos);
}

// Clients that are no RealTraffic, connected first: RealTraffic connects and is served at once,
// they never get the user's position, and they are closed (the silent one after 5 s) with one
// short log line.
TEST_F(RtLinkTest, StrayClientsNeverHoldOffRealTraffic) {
    const struct {
        const char* what;
        int count;         // clients of this kind, connected in turn
        std::string sent;  // what each sends after the version query
        int closedAtOnce;  // of them, closed at once (0: one silent client, closed after 5 s)
        const char* logged;
    } cases[] = {
        {"a version reply that never ends", 1, std::string(1'570'000, 'x'), 1,
         "a version reply above 1024 bytes"},
        {"30,000 digits of version", 1, "{\"version\":\"" + std::string(30'000, '1') + "\",\"level\":2}\r\n",
         1, "a version reply above 1024 bytes"},
        {"no version in the reply", 1, "GET / HTTP/1.1\r\n", 1,
         "no version reply (\"GET / HTTP/1.1\"), connection closed"},
        {"a JSON number", 1, "12345", 1, "no version reply (\"12345\")"},
        // RealTraffic itself is the seventh to wait: three go.
        {"six silent clients", 6, "", 3, "more than 4 clients wait for their version reply"},
        {"one silent client", 1, "", 0, "no version reply within 5 s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(realTrafficLink.start(0, 4));
        std::vector<std::unique_ptr<Client>> strays;
        for (int i = 0; i < c.count; ++i) {
            strays.push_back(std::make_unique<Client>(realTrafficLink.port()));
            ASSERT_EQ(strays.back()->readLine(), "Qs999=version\r\n");
            if (!c.sent.empty()) strays.back()->send(c.sent);
        }
        gf_sendUserAcState(known);  // waits for RealTraffic

        const auto t0 = std::chrono::steady_clock::now();
        auto real = connect(professionalReply);
        EXPECT_EQ(real->readLine(), gf_userStateLine(known) + "\r\n");
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
        EXPECT_EQ(realTrafficLink.version(), (Version{10, 0, 240}));

        // None got a position: the first ones are closed at once, a silent one after 5 s, the
        // others at the stop.
        for (int i = 0; i < c.closedAtOnce; ++i) EXPECT_EQ(strays[i]->readLine(1s), "") << i;
        if (c.closedAtOnce == 0) {
            EXPECT_EQ(strays[0]->readLine(7s), "");
        }
        EXPECT_TRUE(realTrafficLink.connected());
        realTrafficLink.stop();
        EXPECT_EQ(real->readLine(), "Qs123=1724517659500\r\n");
        EXPECT_EQ(real->readLine(), "exit\r\n");
        for (int i = c.closedAtOnce; i < c.count && c.closedAtOnce > 0; ++i) {
            EXPECT_EQ(strays[i]->readLine(), "exit\r\n") << i;
            EXPECT_EQ(strays[i]->readLine(), "") << i;
        }
        EXPECT_NE(logText().find(c.logged), std::string::npos) << logText();
    }
    EXPECT_LT(logText().size(), 8000u);
}

TEST_F(RtLinkTest, DroppedClientReconnectsAndGetsTheWaitingState) {
    ASSERT_TRUE(realTrafficLink.start(0));
    connect(standardReply).reset();
    ASSERT_TRUE(test::eventually([] { return !realTrafficLink.connected(); }));
    EXPECT_TRUE(realTrafficLink.running());

    // Without RealTraffic the newest state waits; the caller does not.
    const auto t0 = std::chrono::steady_clock::now();
    FeedUserState s = known;
    gf_sendUserAcState(s);
    s.lat = 51.31;
    gf_sendUserAcState(s);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms);

    auto second = connect(standardReply);
    EXPECT_EQ(second->readLine(), gf_userStateLine(s) + "\r\n");
    EXPECT_NE(logText().find("RealTraffic link lost, waiting for a reconnect"), std::string::npos);

    // A newer RealTraffic that answers takes over; the older one is told to go.
    auto third = std::make_unique<Client>(realTrafficLink.port());
    EXPECT_EQ(third->readLine(), "Qs999=version\r\n");
    third->send(professionalReply);
    ASSERT_TRUE(test::eventually([] { return realTrafficLink.level() == professionalLevel; }));
    EXPECT_EQ(second->readLine(), "exit\r\n");
    EXPECT_EQ(second->readLine(), "");
    gf_sendUserAcState(s);
    EXPECT_EQ(third->readLine(), gf_userStateLine(s) + "\r\n");
    EXPECT_EQ(third->readLine(), "Qs123=1724517659500\r\n");
}

// A RealTraffic that stops reading never holds up the traffic step.
TEST_F(RtLinkTest, SendingNeverBlocksTheCaller) {
    ASSERT_TRUE(realTrafficLink.start(0));
    auto c = connect(standardReply);
    const auto t0 = std::chrono::steady_clock::now();
    FeedUserState s = known;
    for (int i = 0; i < 20000; ++i) {
        s.altitude = 1000.0 + i;
        gf_sendUserAcState(s);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s * test::sanitizerSlowdown);
    std::string last;
    for (std::string line; !(line = c->readLine(300ms)).empty();) last = line;
    EXPECT_EQ(last, gf_userStateLine(s) + "\r\n");  // the newest arrives last
}

// Mended fault: a flood of idle connections starved RealTraffic, whose connection waited in a
// short listen queue and was closed as the longest waiting one before it could answer.
TEST_F(RtLinkTest, FloodOfIdleConnectionsNeverStarvesRealTraffic) {
    const struct {
        size_t maxWaiting;
        double rate;  // connections a second
        std::chrono::milliseconds idle;
        std::chrono::milliseconds answer;  // RealTraffic's own time to answer
    } cases[] = {{64, 400.0, 1000ms, 20ms}, {16, 400.0, 300ms, 10ms}};
#ifdef _WIN32
    // Under Wine every socket call passes through wineserver: on a loaded host the link accepts
    // fewer than 400 connections a second there, and the flood alone would fill its listen queue.
    // A quarter of the rate still keeps more clients waiting than the link lets wait.
    const double rateShare = 0.25;
#else
    const double rateShare = 1.0;
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxWaiting);
        ASSERT_TRUE(realTrafficLink.start(0, c.maxWaiting));
        rtstandin::FloodConfig config;
        config.port = realTrafficLink.port();
        config.clients = 8;
        config.connectionsPerSecond = c.rate * rateShare;
        config.idle = c.idle;
        rtstandin::FloodStats stats;
        std::stop_source stop;
        std::jthread flood([&] { rtstandin::gf_runFlood(config, stats, stop.get_token()); });
        ASSERT_TRUE(test::eventually([&] { return stats.opened.load() > 2 * c.maxWaiting; }));
        Socket held;
        int served = 0;
        for (int i = 0; i < 5; ++i)
            served += rtstandin::gf_probeLink(realTrafficLink, realTrafficLink.port(), 5s, held, c.answer) ? 1 : 0;
#ifdef _WIN32
        // Wine's wineserver slows every socket call on a loaded host: one late answer in five is
        // allowed there (the goal is 19 in 20).
        EXPECT_GE(served, 4);
#else
        EXPECT_EQ(served, 5);
#endif
        stop.request_stop();
        flood.join();
        realTrafficLink.stop();
    }
    // The log tells, within its limit, rather than line by line.
    EXPECT_NE(logText().find("clients wait for their version reply, the longest waiting one closed"),
              std::string::npos);
    EXPECT_LT(logText().size(), 8000u);
}

#ifndef _WIN32
double processCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Takes every free descriptor of the process, with a soft limit a little above those in use, and
// gives them back at the end.
class DescriptorsTaken {
  public:
    DescriptorsTaken() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        int highest = 0;
        for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
            highest = std::max(highest, std::atoi(e.path().filename().c_str()));
        rlimit low = saved_;
        low.rlim_cur = static_cast<rlim_t>(highest) + 32;
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fds_.push_back(fd);
    }
    ~DescriptorsTaken() {
        for (int fd : fds_) ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorsTaken(const DescriptorsTaken&) = delete;
    DescriptorsTaken& operator=(const DescriptorsTaken&) = delete;
    void giveOne() {
        ::close(fds_.back());
        fds_.pop_back();
    }

  private:
    rlimit saved_{};
    std::vector<int> fds_;
};

// Mended fault: when accept failed for lack of descriptors the listener stayed readable and the
// link's loop spun. Now a waiting client gives its descriptor to the newcomer, or, with none
// waiting, the newcomer is refused through a reserve descriptor.
TEST_F(RtLinkTest, OutOfDescriptorsTheLoopNeverSpins) {
    const struct {
        int strays;  // silent clients waiting for their version reply when descriptors run out
        bool newcomerServed;
        const char* logged;
    } cases[] = {
        {3, true, "RealTraffic link: out of descriptors, the longest waiting client closed"},
        {0, false, "===> RealTraffic link: out of descriptors, a connection refused"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strays);
        ASSERT_TRUE(realTrafficLink.start(0));
        std::vector<std::unique_ptr<Client>> strays;
        for (int i = 0; i < c.strays; ++i) {
            strays.push_back(std::make_unique<Client>(realTrafficLink.port()));
            ASSERT_EQ(strays.back()->readLine(), "Qs999=version\r\n");
        }
        bool served = false;
        std::string newcomerLine;
        double cpu = 0.0;
        {
            DescriptorsTaken taken;
            taken.giveOne();  // for the newcomer's own end; the link's end finds none
            Client newcomer(realTrafficLink.port());
            ASSERT_TRUE(newcomer.connected());
            newcomerLine = newcomer.readLine(3s);
            if (newcomerLine == "Qs999=version\r\n") {
                newcomer.send(professionalReply);
                served = realTrafficLink.waitConnected(5s);
            }
            // Still out of descriptors: a spinning loop would burn a core over this window.
            const double before = processCpuSeconds();
            newcomer.readLine(500ms);
            cpu = processCpuSeconds() - before;
        }
        EXPECT_EQ(served, c.newcomerServed);
        if (!c.newcomerServed) {
            EXPECT_EQ(newcomerLine, "");  // closed, not left in the queue
        }
        if (c.strays > 0) {
            EXPECT_EQ(strays[0]->readLine(1s), "");
        }
        EXPECT_LT(cpu, 0.25);
        // With descriptors back the link takes RealTraffic as usual.
        if (!served) connect(standardReply);
        realTrafficLink.stop();
        EXPECT_NE(logText().find(c.logged), std::string::npos) << logText();
    }
}
#endif

TEST_F(RtLinkTest, WantedOnlyWhenInstalledAndNotExternal) {
    EXPECT_FALSE(gf_realTrafficLinkWanted());
    std::filesystem::create_directories(gf_localAppDataFolder() / "RealTraffic");
    EXPECT_TRUE(gf_realTrafficLinkWanted());
    EXTERNAL_LINK.set(true);
    EXPECT_FALSE(gf_realTrafficLinkWanted());
}

}  // namespace
}  // namespace vdl
