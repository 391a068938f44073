// The TCP link to RealTraffic against a test client on loopback.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <charconv>
#include <chrono>
#include <filesystem>

#include "feed/rt_link.h"
#include "feed/traffic_reader.h"
#include "feed_fixture.h"
#include "foundation/parameters.h"
#include "foundation/text.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

// Plays RealTraffic: connects to the link and reads its lines.
class Client {
public:
    explicit Client(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in addr = test::loopback(port);
        connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Client() { close(); }

    bool connected() const { return connected_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void send(std::string_view text) {
        ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
    }
    // The next line with its CR LF; "" on timeout or end of stream.
    std::string readLine(std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (const auto pos = buffer_.find('\n'); pos != std::string::npos) {
                std::string line = buffer_.substr(0, pos + 1);
                buffer_.erase(0, pos + 1);
                return line;
            }
            if (eof_ || !readSome(end)) return "";
        }
    }
    // True when the link closed the stream (after the lines already buffered).
    bool closedByPeer(std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!eof_ && readSome(end)) {
        }
        return eof_;
    }
    const std::string& transcript() const { return transcript_; }

private:
    bool readSome(std::chrono::steady_clock::time_point end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[4096];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        if (n <= 0) {
            eof_ = true;
            return false;
        }
        buffer_.append(buf, static_cast<size_t>(n));
        transcript_.append(buf, static_cast<size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool eof_ = false;
    std::string buffer_;
    std::string transcript_;
};

class RtLinkTest : public test::FeedTest {
protected:
    // Connects a client and answers the version query with `reply`.
    std::unique_ptr<Client> connect(std::string_view reply) {
        auto c = std::make_unique<Client>(realTrafficLink.port());
        EXPECT_TRUE(c->connected());
        EXPECT_EQ(c->readLine(), "Qs999=version\r\n");
        c->send(reply);
        EXPECT_TRUE(realTrafficLink.waitConnected(5s));
        return c;
    }

    static FeedUserState knownState() {
        FeedUserState s;
        s.lat = 51.2895;
        s.lon = 6.7668;
        s.pitch = -0.06747;
        s.bank = 0.00289;
        s.heading = 5.449771266137578;
        s.altitude = 37988.724;
        s.groundSpeed = 250.0;
        s.simUtcMs = 1724517659500;
        return s;
    }
};

constexpr std::string_view professionalReply = "{\"version\":\"10.0.240\",\"level\":2}\r\n";
constexpr std::string_view standardReply = "{\"version\":\"9.0.1\",\"level\":1}\r\n";

TEST_F(RtLinkTest, UserStateLineValues) {
    struct Case {
        FeedUserState s;
        std::vector<std::string> ints;  // pitch, bank, alt, tas
        double heading, latRad, lonRad;
    };
    const double r = 0.017453292519943295;
    const std::vector<Case> cases = {
        {knownState(), {"-6747", "289", "37988724", "129"}, 5.449771266137578, 51.2895 * r, 6.7668 * r},
        {FeedUserState{}, {"0", "0", "0", "0"}, 0.0, 0.0, 0.0},
        {FeedUserState{-33.9, -151.2, 0.1, -0.5, 3.0, -50.0, 1.0, 0}, {"10000", "-50000", "-50000", "1"}, 3.0,
         -33.9 * r, -151.2 * r},
    };
    for (const Case& c : cases) {
        const std::string line = gf_userStateLine(c.s);
        SCOPED_TRACE(line);
        ASSERT_EQ(line.rfind("Qs121=", 0), 0u);
        const auto items = gf_split(line.substr(6), ';');
        ASSERT_EQ(items.size(), 7u);
        EXPECT_EQ(items[0], c.ints[0]);
        EXPECT_EQ(items[1], c.ints[1]);
        EXPECT_EQ(items[3], c.ints[2]);
        EXPECT_EQ(items[4], c.ints[3]);
        EXPECT_DOUBLE_EQ(std::stod(items[2]), c.heading);
        EXPECT_DOUBLE_EQ(std::stod(items[5]), c.latRad);
        EXPECT_DOUBLE_EQ(std::stod(items[6]), c.lonRad);
        EXPECT_EQ(line.find_first_of("\r\n "), std::string::npos);
    }
    EXPECT_EQ(gf_split(gf_userStateLine(knownState()), ';')[2], "5.449771266137578");
}

TEST_F(RtLinkTest, SimulatorUtcFromItsDateAndTime) {
    EXPECT_EQ(gf_simUtcMs(2024, 8, 24, 16 * 3600 + 40 * 60 + 59.5), 1724517659500);
    EXPECT_EQ(gf_simUtcMs(1970, 1, 1, 0.0), 0);
    EXPECT_EQ(gf_simUtcMs(2024, 2, 29, 86399.999), 1709251199999);
    EXPECT_EQ(gf_simUtcMs(2023, 2, 29, 0.0), 0);  // no such day
    EXPECT_EQ(gf_simUtcMs(2024, 13, 1, 0.0), 0);
    EXPECT_EQ(gf_simUtcMs(0, 0, 0, 0.0), 0);       // not yet reported
    EXPECT_EQ(gf_simUtcMs(2024, 8, 24, 86400.0), 0);
    EXPECT_EQ(gf_simUtcMs(2024, 8, 24, -1.0), 0);
}

TEST_F(RtLinkTest, VersionHandshake) {
    ASSERT_TRUE(realTrafficLink.start(0));
    EXPECT_FALSE(realTrafficLink.connected());
    auto c = connect(professionalReply);
    EXPECT_TRUE(realTrafficLink.connected());
    ASSERT_TRUE(realTrafficLink.version());
    EXPECT_EQ(*realTrafficLink.version(), (Version{10, 0, 240}));
    EXPECT_EQ(realTrafficLink.level(), professionalLevel);
    EXPECT_NE(logText().find("RealTraffic version 10.0.240 level 2"), std::string::npos);
}

TEST_F(RtLinkTest, ProfessionalEditionGetsTheSimulatorTime) {
    ASSERT_TRUE(realTrafficLink.start(0));
    auto c = connect(professionalReply);
    const FeedUserState s = knownState();
    gf_setUserStateSource([s] { return s; });
    gf_sendUserAcState();
    EXPECT_EQ(c->readLine(), gf_userStateLine(s) + "\r\n");
    EXPECT_EQ(c->readLine(), "Qs123=1724517659500\r\n");
    // The state's position is the traffic reader's own.
    ASSERT_TRUE(trafficReader.ownPosition());
    EXPECT_DOUBLE_EQ(trafficReader.ownPosition()->lat, 51.2895);
    EXPECT_DOUBLE_EQ(trafficReader.ownPosition()->lon, 6.7668);
}

TEST_F(RtLinkTest, StandardEditionGetsNoSimulatorTime) {
    ASSERT_TRUE(realTrafficLink.start(0));
    auto c = connect(standardReply);
    EXPECT_EQ(realTrafficLink.level(), 1);
    FeedUserState s = knownState();
    gf_sendUserAcState(s);
    EXPECT_EQ(c->readLine(), gf_userStateLine(s) + "\r\n");
    s.lat = 51.3;
    gf_sendUserAcState(s);
    EXPECT_EQ(c->readLine(), gf_userStateLine(s) + "\r\n");
}

TEST_F(RtLinkTest, ReplyWithoutVersionKeepsTheLink) {
    ASSERT_TRUE(realTrafficLink.start(0));
    auto c = connect("hello\r\n");
    EXPECT_FALSE(realTrafficLink.version());
    EXPECT_EQ(realTrafficLink.level(), 0);
    gf_sendUserAcState(knownState());
    EXPECT_EQ(c->readLine().rfind("Qs121=", 0), 0u);
    realTrafficLink.stop();
    EXPECT_EQ(c->readLine(), "exit\r\n");  // no Qs123 before it
    EXPECT_NE(logText().find("no version reply"), std::string::npos);
}

TEST_F(RtLinkTest, ExitAtTheEndAndEveryLineEndsWithCrLf) {
    ASSERT_TRUE(realTrafficLink.start(0));
    auto c = connect(professionalReply);
    gf_sendUserAcState(knownState());
    EXPECT_FALSE(c->readLine().empty());
    EXPECT_FALSE(c->readLine().empty());
    realTrafficLink.stop();
    EXPECT_EQ(c->readLine(), "exit\r\n");
    EXPECT_TRUE(c->closedByPeer());
    EXPECT_FALSE(realTrafficLink.running());
    EXPECT_FALSE(realTrafficLink.connected());

    const std::string& t = c->transcript();
    EXPECT_EQ(t.rfind("Qs999=version\r\nQs121=", 0), 0u) << t;
    EXPECT_EQ(t.substr(t.size() - 6), "exit\r\n");
    size_t lines = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '\n') continue;
        ++lines;
        EXPECT_TRUE(i > 0 && t[i - 1] == '\r') << "bare LF at " << i;
    }
    EXPECT_EQ(lines, 4u);
    EXPECT_EQ(t.back(), '\n');
}

TEST_F(RtLinkTest, DroppedClientReconnectsAndGetsTheWaitingState) {
    ASSERT_TRUE(realTrafficLink.start(0));
    {
        auto first = connect(standardReply);
        first->close();
    }
    ASSERT_TRUE(test::waitFor([] { return !realTrafficLink.connected(); }));
    EXPECT_TRUE(realTrafficLink.running());

    // Without RealTraffic the state waits; the caller does not.
    const auto t0 = std::chrono::steady_clock::now();
    FeedUserState s = knownState();
    gf_sendUserAcState(s);
    s.lat = 51.31;  // only the newest state waits
    gf_sendUserAcState(s);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms);

    auto second = connect(professionalReply);
    EXPECT_EQ(second->readLine(), gf_userStateLine(s) + "\r\n");
    EXPECT_EQ(second->readLine(), "Qs123=1724517659500\r\n");
    EXPECT_NE(logText().find("RealTraffic link lost, waiting for a reconnect"), std::string::npos);
}

// A RealTraffic that stops reading never holds up the traffic step.
TEST_F(RtLinkTest, SendingNeverBlocksTheCaller) {
    ASSERT_TRUE(realTrafficLink.start(0));
    auto c = connect(standardReply);
    const auto t0 = std::chrono::steady_clock::now();
    FeedUserState s = knownState();
    for (int i = 0; i < 20000; ++i) {
        s.altitude = 1000.0 + i;
        gf_sendUserAcState(s);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    // The newest state arrives last.
    std::string last;
    while (true) {
        const std::string line = c->readLine(300ms);
        if (line.empty()) break;
        last = line;
    }
    EXPECT_EQ(last, gf_userStateLine(s) + "\r\n");
}

TEST_F(RtLinkTest, WithoutLinkOnlyThePositionIsTaken) {
    gf_sendUserAcState();  // no source: nothing
    EXPECT_FALSE(trafficReader.ownPosition());
    gf_sendUserAcState(knownState());
    ASSERT_TRUE(trafficReader.ownPosition());
    EXPECT_FALSE(realTrafficLink.running());
    EXPECT_FALSE(realTrafficLink.waitConnected(10ms));
}

TEST_F(RtLinkTest, InstalledWhenItsFolderExists) {
    EXPECT_FALSE(gf_realTrafficInstalled());
    EXPECT_FALSE(gf_realTrafficLinkWanted());
    std::filesystem::create_directories(dir_ / "RealTraffic");
    EXPECT_TRUE(gf_realTrafficInstalled());
    EXPECT_TRUE(gf_realTrafficLinkWanted());
    EXTERNAL_LINK.set(true);
    EXPECT_FALSE(gf_realTrafficLinkWanted());
}

TEST_F(RtLinkTest, PortNumberParameter) {
    for (const char* bad : {"", "abc", "0", "65536", "-1", "10747x"}) {
        SCOPED_TRACE(bad);
        PORT_NUMBER.set(bad);
        EXPECT_FALSE(gf_startRealTrafficLink());
        EXPECT_FALSE(realTrafficLink.running());
    }
    EXPECT_NE(logText().find("PORT_NUMBER \"abc\" is no port"), std::string::npos);

    // A free port, found by the system.
    ASSERT_TRUE(realTrafficLink.start(0));
    const uint16_t port = realTrafficLink.port();
    realTrafficLink.stop();
    PORT_NUMBER.set(fmt::format(" {} ", port));
    ASSERT_TRUE(gf_startRealTrafficLink());
    EXPECT_EQ(realTrafficLink.port(), port);
    auto c = connect(standardReply);
}

}  // namespace
}  // namespace vdl
