// The platform helpers on real loopback sockets: ownership, UDP and TCP.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "foundation/net.h"
#include "support/platform.h"

namespace vdl {
namespace {

using namespace std::chrono_literals;

// Counts the closes of made-up handles.
int closes = 0;
struct CountingTraits {
    using Native = int;
    static constexpr Native invalid = -1;
    static void close(Native) noexcept { ++closes; }
};
using Counted = UniqueHandle<CountingTraits>;

TEST(UniqueHandleTest, ClosesEachHandleExactlyOnce) {
    const struct {
        const char* what;
        void (*use)();
        int closes;
    } cases[] = {
        {"moved twice, then destroyed",
         [] {
             Counted a(3);
             Counted b(std::move(a));
             Counted c(std::move(b));
         },
         1},
        {"moved onto a holder",
         [] {
             Counted a(3);
             Counted b(4);
             b = std::move(a);
         },
         2},
        {"moved onto itself",
         [] {
             Counted a(3);
             Counted& same = a;
             a = std::move(same);
         },
         1},
        {"released",
         [] {
             Counted a(3);
             EXPECT_EQ(a.release(), 3);
         },
         0},
        {"reset, then destroyed",
         [] {
             Counted a(3);
             a.reset(4);
             a.reset();
         },
         2},
        {"empty",
         [] {
             Counted a;
             Counted b(std::move(a));
         },
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        closes = 0;
        c.use();
        EXPECT_EQ(closes, c.closes);
    }
}

// A port is free again only when its socket closed; a bind without address reuse tells.
bool lf_portFree(uint16_t port) {
    return test::bindUdpExclusively(port).valid();
}

TEST(SocketTest, BoundUdpPortReceivesAndIsFreedOnceTheLastOwnerGoes) {
    std::error_code ec;
    Socket first = gf_bindUdp(0, ec);
    ASSERT_TRUE(first) << ec.message();
    const uint16_t port = gf_localPort(first);
    ASSERT_NE(port, 0);

    const Socket sender = gf_openUdp(ec);
    ASSERT_TRUE(sender) << ec.message();
    Socket owner = std::move(first);
    EXPECT_FALSE(first);
    ASSERT_TRUE(gf_sendDatagram(sender, port, "RTTFC,1"));
    ASSERT_TRUE(gf_sendDatagram(sender, port, ""));
    char buffer[64];
    for (const std::string expected : {"RTTFC,1", ""}) {
        ASSERT_TRUE(gf_waitReadable(owner, nullptr, 2s, ec).socket);
        const auto got = gf_receive(owner, buffer, ec);
        ASSERT_TRUE(got) << ec.message();
        EXPECT_EQ(std::string(buffer, *got), expected);
    }
    // Nothing waits: the read does not block.
    EXPECT_FALSE(gf_receive(owner, buffer, ec));
    EXPECT_TRUE(gf_isRetry(ec));

    EXPECT_FALSE(lf_portFree(port));
    first.reset();  // the moved-from owner closes nothing
    EXPECT_FALSE(lf_portFree(port));
    owner.reset();
    EXPECT_TRUE(lf_portFree(port));
}

TEST(SocketTest, ListenAcceptSendAndTheClose) {
    std::error_code ec;
    const Socket listener = gf_listenTcp(0, 4, ec);
    ASSERT_TRUE(listener) << ec.message();
    EXPECT_FALSE(gf_acceptTcp(listener)) << "none waits, and accepting does not block";

    Socket client = gf_connectLoopback(gf_localPort(listener), ec);
    ASSERT_TRUE(client) << ec.message();
    ASSERT_TRUE(gf_waitReadable(listener, nullptr, 2s, ec).socket);
    const Socket server = gf_acceptTcp(listener);
    ASSERT_TRUE(server);
    gf_setSendTimeout(server, 2s);
    gf_setNoDelay(server);

    ASSERT_TRUE(gf_sendAll(server, "Qs999=version\r\n"));
    char buffer[64];
    ASSERT_TRUE(gf_waitReadable(client, nullptr, 2s, ec).socket);
    const auto got = gf_receive(client, buffer, ec);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::string(buffer, *got), "Qs999=version\r\n");

    client.reset();
    ASSERT_TRUE(gf_waitReadable(server, nullptr, 2s, ec).socket);
    EXPECT_EQ(gf_receive(server, buffer, ec), 0u) << "the peer's close";
    // Sending to a closed peer fails without a SIGPIPE (which would end the test program).
    bool sent = true;
    for (int i = 0; i < 10 && sent; ++i) sent = gf_sendAll(server, "exit\r\n");
    EXPECT_FALSE(sent);
}

TEST(SocketTest, ConnectingWhereNobodyListensFails) {
    std::error_code ec;
    uint16_t port = 0;
    {
        const Socket listener = gf_listenTcp(0, 1, ec);
        port = gf_localPort(listener);
    }
    EXPECT_FALSE(gf_connectLoopback(port, ec));
    EXPECT_EQ(ec, std::errc::connection_refused);
}

// Ephemeral ports are never shared: a reader on one gets only its own datagrams.
TEST(SocketTest, EphemeralUdpPortsAreEachSocketsOwn) {
    std::error_code ec;
    std::vector<Socket> sockets;
    std::set<uint16_t> ports;
    for (int i = 0; i < 600; ++i) {  // with reuse, about six ports would be handed out twice
        sockets.push_back(gf_bindUdp(0, ec));
        ASSERT_TRUE(sockets.back()) << ec.message();
        EXPECT_TRUE(ports.insert(gf_localPort(sockets.back())).second) << gf_localPort(sockets.back());
    }
}

// One wait over several sockets tells which of them have something to read.
TEST(WakeUpTest, WaitOverSeveralSocketsTellsWhichAreReady) {
    std::error_code ec;
    const Socket a = gf_bindUdp(0, ec), b = gf_bindUdp(0, ec), c = gf_bindUdp(0, ec);
    const Socket sender = gf_openUdp(ec);
    const WakeUp wake = WakeUp::open(ec);
    ASSERT_TRUE(a && b && c && sender && wake.valid()) << ec.message();
    const Socket* sockets[] = {&a, &b, &c};
    uint8_t ready[3] = {1, 1, 1};
    EXPECT_FALSE(gf_waitReadable(sockets, ready, &wake, 0ms, ec));
    EXPECT_EQ(std::vector(ready, ready + 3), (std::vector<uint8_t>{0, 0, 0}));

    ASSERT_TRUE(gf_sendDatagram(sender, gf_localPort(b), "x"));
    EXPECT_FALSE(gf_waitReadable(sockets, ready, &wake, 2s, ec));
    EXPECT_EQ(std::vector(ready, ready + 3), (std::vector<uint8_t>{0, 1, 0}));
    wake.signal();
    EXPECT_TRUE(gf_waitReadable(sockets, ready, &wake, 2s, ec));
    EXPECT_FALSE(ec);
}

}  // namespace
}  // namespace vdl
