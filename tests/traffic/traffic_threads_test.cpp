// The traffic step with the program's other threads: from RTTFC datagrams on loopback to
// aircraft in the simulator stand-in, through the traffic reader's thread, the traffic step, the
// link's thread and the stand-in's frame thread (under ThreadSanitizer also the lock order
// between the step and the link's thread); and the step against a busy link.
#include <gtest/gtest.h>
#include <fmt/format.h>


#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "feed/traffic_reader.h"
#include "foundation/time.h"
#include "foundation/net.h"
#include "simulator/stand_in.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "support/wait.h"
#include "traffic/removal.h"
#include "traffic/spawn_gate.h"
#include "traffic/traffic_services.h"
#include "traffic/traffic_step.h"

namespace vdl::test {
namespace {

void sendLine(uint16_t port, const std::string& line) {
    std::error_code ec;
    ASSERT_TRUE(gf_sendDatagram(gf_openUdp(ec), port, line)) << ec.message();
}

// An airborne RTTFC line (41 fields) of an aircraft `nm` north of the airport, flying north.
std::string rttfc(uint32_t hexid, const std::string& callsign, const std::string& type, const std::string& reg,
                  double nm, double sampleTime) {
    return fmt::format(
        "RTTFC,{},{:.6f},{:.6f},5000,0,1,0.0,250.0,{},{},{},EHAM,EGLL,{:.2f},X,VF5,X_adsb_icao,5000,166,250,0.268,"
        "-0.19,0.0,248,0.0,2848,none,A3,1003.2,20000,39008,225,,0,-8.4,222,29,,,1",
        hexid, worldAirportLat + nm * degPerNm, worldAirportLon, callsign, type, reg, sampleTime);
}

class FeedToSim : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        sim = makeWorld();
        sim->setFrameRate(1000.0);
        useWorld(sim);
        gf_installTrafficHooks();
        sim->startFrameThread();
        gf_startSimConnectThread();
        MAX_LIVE.set(3);
    }
    void TearDown() override {
        trafficReader.stop();
        gf_resetSimLink();
        sim->stopFrameThread();
        TrafficTest::TearDown();
    }

    // Three samples 10 s apart, the last one now (the reader refuses stale and future ones),
    // queued by the reader before the next step.
    static void sendAircraft(uint32_t hexid, const std::string& callsign, const std::string& type,
                             const std::string& reg, double nm) {
        const size_t queued = gf_trafficQueueSize();
        const auto now = static_cast<double>(gf_nowUtc());
        for (int i = 0; i < 3; ++i)
            sendLine(trafficReader.port(), rttfc(hexid, callsign, type, reg, nm + i * 0.5, now - 20.0 + i * 10));
        ASSERT_TRUE(eventually([&] { return gf_trafficQueueSize() == queued + 3; })) << "the reader lost a line";
    }

    // Traffic steps until `done`, checking the live-aircraft limit after each. The simulator
    // keeps pace: after each step a frame passes and the link's thread takes what the step
    // handed over, so that the clock never runs ahead of the other threads however slow they are.
    bool stepUntil(const std::function<bool()>& done, int maxSteps) {
        for (int i = 0; i < maxSteps && !done(); ++i) {
            const uint64_t frame = sim->frameCount();
            gf_updateAI();
            onStep();
            EXPECT_LE(gf_countActiveLiveAc(), 3u);
            if (!eventually([&] { return sim->frameCount() > frame && linkTookEverything(); })) return false;
        }
        return done();
    }
    static bool linkTookEverything() {
        std::lock_guard lock(simMutex);
        return simCreateQueue.empty() && simRemovalIds.empty() && simEventQueue.empty() && positionSendBuffer.empty();
    }

    // Nothing happens while the first points wait for their due time: those steps are skipped.
    static void skipToDue(uint32_t lead) {
        uint32_t due = UINT32_MAX;
        for (const LiveAc& ac : liveAircraft)
            if (ac.state == AcState::fresh && !ac.stream.empty()) due = std::min(due, ac.stream.front().time);
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

TEST_F(FeedToSim, LiveAircraftFromTheFeedToTheSimulatorAndOut) {
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
        if (spawnA == 0 && a && a->state != AcState::fresh) spawnA = clock100.load() - 1;
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
            return a && a->state == AcState::active && b && b->stream.size() == 3 && g && g->stream.size() == 3;
        },
        2000));
    skipToDue(400);
    ASSERT_TRUE(stepUntil(
        [&] {
            const LiveAc* a = find(hexA);
            const LiveAc* g = find(hexG);
            return a && a->state == AcState::active && g && g->state == AcState::active && !find(hexB) &&
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
            return r && r->state == AcState::active && d && d->state == AcState::active && !find(hexG) &&
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

    // Each object: created, released and frozen before its first position or event, removed
    // after the last one; A's positions arrived in order.
    for (const StandInObject& o : sim->aiObjects()) {
        SCOPED_TRACE(o.tailNumber);
        EXPECT_TRUE(o.removed && o.aiReleased && o.frozen());
        const auto calls = sim->callsFor(o.id);
        ASSERT_GE(calls.size(), 6u);
        EXPECT_EQ(calls[0].call, SimCall::AICreateNonATCAircraft);
        EXPECT_EQ(calls[1].call, SimCall::AIReleaseControl);
        for (size_t i = 2; i < 5; ++i) EXPECT_TRUE(calls[i].detail.starts_with("FREEZE_")) << calls[i].detail;
        EXPECT_EQ(calls.back().call, SimCall::AIRemoveObject);
        for (size_t i = 0; i + 1 < calls.size(); ++i) EXPECT_NE(calls[i].call, SimCall::AIRemoveObject);
    }
    const auto trackA = sim->object(objA->id)->track;
    ASSERT_GT(trackA.size(), 100u);
    for (size_t i = 1; i < trackA.size(); ++i) ASSERT_GE(trackA[i].latitude, trackA[i - 1].latitude) << i;

    gf_stopSimConnectThread();
    EXPECT_FALSE(sim->clientOpen()) << "the link's thread closes the connection when it ends";
}

// The test holds simMutex as the link's frame handler would. At 50 fps or less the step drops
// its positions and goes on; above, it waits for the lock and then hands them over.
TEST_F(TrafficTest, BusyLinkAtLowFrameRatesCostsTheStepsPositions) {
    gf_installTrafficHooks();
    const auto sim = openWorld();
    for (const auto& [frameRate, waits] : {std::pair{30.0f, false}, std::pair{60.0f, true}}) {
        SCOPED_TRACE(frameRate);
        liveAircraft.clear();
        addActiveLiveAc(10001, 3);
        {
            std::lock_guard lock(simMutex);
            positionSendBuffer.assign({PositionUpdate{.objectId = 99}});
        }
        simFrameRate = frameRate;
        clock100 = 1;

        std::atomic<uint64_t> stepperTid{0};
        std::atomic<bool> stepDone{false};
        std::unique_lock held(simMutex);
        std::thread stepper([&] {
            stepperTid = test::currentThreadId();
            gf_updateAI();
            stepDone = true;
        });
        if (waits) {
            EXPECT_TRUE(eventually([&] { return stepperTid != 0 && blockedInKernel(stepperTid); }));
            EXPECT_FALSE(stepDone.load());
        } else {
            EXPECT_TRUE(eventually([&] { return stepDone.load(); })) << "the step waited for the lock";
        }
        held.unlock();
        stepper.join();

        EXPECT_EQ(clock100.load(), 2u);
        std::lock_guard lock(simMutex);
        const auto& sent = positionSendBuffer;
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].objectId, waits ? 3u : 99u);
    }
}

}  // namespace
}  // namespace vdl::test
