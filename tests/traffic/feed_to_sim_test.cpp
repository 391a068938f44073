// From RTTFC datagrams on loopback to aircraft in the simulator stand-in, through the traffic
// reader's thread, the traffic step and the simulator link's thread.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>

#include "feed/traffic_reader.h"
#include "simulator/stand_in.h"
#include "support/simulator_world.h"
#include "traffic/live_fixture.h"
#include "traffic/removal.h"
#include "traffic/spawn_gate.h"
#include "traffic/traffic_services.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

void sendLine(uint16_t port, const std::string& line) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const auto n = ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    ::close(fd);
    ASSERT_EQ(n, static_cast<ssize_t>(line.size()));
}

// An airborne RTTFC line (41 fields) of an aircraft `nm` north of the airport, flying north.
std::string rttfc(uint32_t hexid, const std::string& callsign, const std::string& type, const std::string& reg,
                  double nm, double sampleTime) {
    return fmt::format(
        "RTTFC,{},{:.6f},{:.6f},5000,0,1,0.0,250.0,{},{},{},EHAM,EGLL,{:.2f},X,VF5,X_adsb_icao,5000,166,250,0.268,"
        "-0.19,0.0,248,0.0,2848,none,A3,1003.2,20000,39008,225,,0,-8.4,222,29,,,1",
        hexid, worldAirportLat + nm * degPerNm, worldAirportLon, callsign, type, reg, sampleTime);
}

class FeedToSim : public LiveTest {
protected:
    void SetUp() override {
        LiveTest::SetUp();
        sim = makeWorld();
        sim->setFrameRate(250.0);
        useWorld(sim);
        gf_installTrafficHooks();
        sim->startFrameThread();
        gf_startSimConnectThread();
        MAX_LIVE.set(3);
    }
    void TearDown() override {
        trafficReader.stop();
        gf_resetSimLinkForTests();
        sim->stopFrameThread();
        LiveTest::TearDown();
    }

    // Three samples 10 s apart, the last one now (the reader refuses stale and future ones).
    void sendAircraft(uint32_t hexid, const std::string& callsign, const std::string& type, const std::string& reg,
                      double nm) {
        const auto now = static_cast<double>(gf_nowUtc());
        for (int i = 0; i < 3; ++i)
            sendLine(trafficReader.port(),
                     rttfc(hexid, callsign, type, reg, nm + i * 0.5, now - 20.0 + i * 10));
    }

    // Traffic steps until `done`, checking the live-aircraft limit after each.
    bool stepUntil(const std::function<bool()>& done, int maxSteps) {
        for (int i = 0; i < maxSteps; ++i) {
            if (done()) return true;
            gf_updateAI();
            onStep();
            EXPECT_LE(gf_countActiveLiveAc(), 3u);
            std::this_thread::sleep_for(std::chrono::microseconds(700));
        }
        return done();
    }

    // Nothing happens while the first points wait for their due time: those steps are skipped.
    static void skipToDue(uint32_t lead) {
        uint32_t due = UINT32_MAX;
        for (const LiveAc& ac : liveAircraft)
            if (ac.state == acStateNew && !ac.stream.empty()) due = std::min(due, ac.stream.front().time);
        if (due != UINT32_MAX && static_cast<int32_t>(due - lead - clock100.load()) > 0)
            clock100 = (due - lead) / 100 * 100;
    }

    static const LiveAc* find(uint32_t hexid) { return gf_findLiveAcByHexid(hexid); }

    std::function<void()> onStep = [] {};
    std::shared_ptr<SimStandIn> sim;
};

constexpr uint32_t hexA = 100001, hexB = 100002, hexG = 100003, hexR = 100004, hexD = 100005, hexE = 100006;

bool isClientEvent(const std::string& name) {
    return name.ends_with("_SET") || name == "ALL_LIGHTS_TOGGLE" || name.starts_with("ENGINE_AUTO");
}

TEST_F(FeedToSim, LiveAircraftAppearAndLeave) {
    ASSERT_TRUE(stepUntil([] { return std::fabs(userAc.latitude - worldAirportLat) < 1e-3; }, 3000));
    gf_setMainLoopRunning(true);
    ASSERT_TRUE(gf_startTrafficReader(0));

    // --- A alone, so that its create command is the only one waiting.
    sendAircraft(hexA, "KLM123", "B738", "PH-XYZ", 15.0);
    ASSERT_TRUE(stepUntil([] { const LiveAc* a = find(hexA); return a && a->stream.size() == 3; }, 2000));
    const uint32_t dueA = find(hexA)->stream.front().time;
    uint32_t spawnA = 0;
    uint32_t handOverA = 0;
    bool queuedA = false;
    onStep = [&] {
        const LiveAc* a = find(hexA);
        if (spawnA == 0 && a && a->state != acStateNew) spawnA = clock100.load() - 1;
        const bool queued = std::any_of(liveCreateQueue.begin(), liveCreateQueue.end(),
                                        [](const CreateAcCmd& c) { return c.hexid == hexA; });
        if (queuedA && !queued && handOverA == 0) handOverA = clock100.load() - 1;
        queuedA = queued;
    };
    skipToDue(400);
    ASSERT_TRUE(stepUntil([&] { return clock100.load() + 250 >= dueA; }, 500));
    // --- the refused title and the ghost
    sendAircraft(hexB, "XXX456", "A320", "D-XYZA", 12.0);
    sendAircraft(hexG, "KLM777_", "B738", "PH-XYZ", 10.0);
    ASSERT_TRUE(stepUntil(
        [] {
            const LiveAc* a = find(hexA);
            const LiveAc* b = find(hexB);
            const LiveAc* g = find(hexG);
            return a && a->state == acStateActive && b && b->stream.size() == 3 && g && g->stream.size() == 3;
        },
        2000));
    skipToDue(400);
    ASSERT_TRUE(stepUntil(
        [&] {
            const LiveAc* a = find(hexA);
            const LiveAc* g = find(hexG);
            return a && a->state == acStateActive && g && g->state == acStateActive && !find(hexB) &&
                   gf_isUncreatable(titleRefused);
        },
        4000));
    EXPECT_EQ(spawnA, dueA - spawnLeadOther) << "airborne: considered 1 s before the first point is due";
    EXPECT_EQ(handOverA, (spawnA / 50 + 1) * 50) << "handed to the link at the next creation slot";

    const auto objA = sim->objectByTail("KLM123");
    ASSERT_TRUE(objA.has_value());
    EXPECT_EQ(objA->title, titleKlm);
    EXPECT_EQ(objA->id, find(hexA)->objectId);
    EXPECT_FALSE(sim->objectByTail("XXX456").has_value());
    // Lights and switches in order: two toggles, then engines, spoilers and the lights.
    std::vector<std::string> order;
    for (const TrackEvent& e : objA->events)
        if (e.name == "ALL_LIGHTS_TOGGLE" || e.name == "ENGINE_AUTO_START" || e.name == "SPOILERS_SET" ||
            e.name.find("LIGHTS_SET") != std::string::npos || e.name == "STROBES_SET")
            order.push_back(e.name);
    const std::vector<std::string> expected = {
        "ALL_LIGHTS_TOGGLE",  "ALL_LIGHTS_TOGGLE", "ENGINE_AUTO_START", "SPOILERS_SET",
        "NAV_LIGHTS_SET",     "BEACON_LIGHTS_SET", "LANDING_LIGHTS_SET", "TAXI_LIGHTS_SET",
        "STROBES_SET",        "LOGO_LIGHTS_SET",   "CABIN_LIGHTS_SET"};
    // The flight phases change lights later on; the set-up comes first.
    ASSERT_GE(order.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);

    // --- the real callsign of the ghost, one more, and one too many and farthest
    onStep = [] {};
    sendAircraft(hexR, "KLM777", "B738", "PH-XYZ", 14.0);
    sendAircraft(hexD, "KLM555", "B738", "PH-XYZ", 20.0);
    sendAircraft(hexE, "KLM999", "B738", "PH-XYZ", 35.0);
    ASSERT_TRUE(stepUntil([] { return find(hexE) && find(hexE)->stream.size() == 3; }, 2000));
    skipToDue(400);
    ASSERT_TRUE(stepUntil(
        [&] {
            const LiveAc* r = find(hexR);
            const LiveAc* d = find(hexD);
            return r && r->state == acStateActive && d && d->state == acStateActive && !find(hexG) &&
                   !find(hexE) && sim->liveObjectCount() == 3;
        },
        4000));
    EXPECT_EQ(ghostCallsigns, std::vector<std::string>{"KLM777_"});
    const auto objects = sim->aiObjects();
    const auto ghost = std::find_if(objects.begin(), objects.end(),
                                    [](const StandInObject& o) { return o.tailNumber == "KLM777_"; });
    ASSERT_NE(ghost, objects.end());
    EXPECT_TRUE(ghost->removed);
    EXPECT_FALSE(sim->objectByTail("KLM999").has_value()) << "MAX_LIVE 3: the farthest newcomer is dropped";

    // --- the end of the run: every object of ours leaves the simulator
    for (LiveAc& ac : liveAircraft) removeAircraftFromSim(ac);
    ASSERT_TRUE(stepUntil([&] { return liveAircraft.empty() && sim->liveObjectCount() == 0; }, 1000));

    size_t sent = 0;
    for (const CallRecord& c : sim->calls())
        if (c.call == SimCall::TransmitClientEvent && !c.failed && c.objectId != SimStandIn::userObjectId &&
            c.objectId != SIM_OBJECT_ID_USER)
            ++sent;
    size_t delivered = 0;
    for (const StandInObject& o : sim->aiObjects())
        delivered += static_cast<size_t>(
            std::count_if(o.events.begin(), o.events.end(), [](const TrackEvent& e) { return isClientEvent(e.name); }));
    EXPECT_EQ(sent, delivered) << "an event went to an object the simulator does not know";
}

}  // namespace
}  // namespace vdl::test
