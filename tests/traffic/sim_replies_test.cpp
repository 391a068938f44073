// The simulator link's notices: created, removed, in range, Static CG and failed creations, and
// the follow-ups of new objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/not_created.h"
#include "simlink/flight_plan.h"
#include "simulator/stand_in.h"
#include "support/simulator_world.h"
#include "support/traffic_env.h"
#include "traffic/removal.h"
#include "traffic/sim_replies.h"

namespace vdl::test {
namespace {

class SimReplies : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        sim = openWorld();
        ASSERT_TRUE(gf_createFlightPlanFolder());
        RANDOM.set(false);
    }
    // A live aircraft whose create command went to the simulator.
    static LiveAc& creating(uint32_t hexid, bool airborne, std::string callsign = "KLM800") {
        LiveAc& ac = addActiveLiveAc(hexid, 0, std::move(callsign));
        ac.state = AcState::creating;
        ac.stream.front().airborne = airborne ? 1 : 0;
        ac.stream.front().alt = airborne ? 5000.0 : 0.0;
        ac.alt = airborne ? 5000.0 : 0.0;
        ac.groundState = airborne ? GroundState::airborne : GroundState::taxi;
        return ac;
    }

    static void notice(uint32_t objectId, uint32_t hexid, uint32_t kind, double a = 0.0, double b = 0.0) {
        gf_pushSimReply({objectId, hexid, 0, kind, a, b});
    }

    // One traffic step's worth of reply handling.
    static void step() {
        gf_SimCommands();
        clock100.fetch_add(1);
    }

    size_t directCalls(SimCall call, uint32_t objectId) const {
        const auto calls = sim->calls();
        return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const CallRecord& c) {
            return c.call == call && c.objectId == objectId;
        }));
    }

    static std::vector<std::pair<uint32_t, uint32_t>> eventsOf(const std::vector<ClientEventCmd>& events) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& e : events) out.emplace_back(e.eventId, e.data);
        return out;
    }

    std::shared_ptr<SimStandIn> sim;
};

TEST_F(SimReplies, LiveCreatedOnTheGround) {
    MSFS_2020.set(true);
    LiveAc& ac = creating(40000, false);
    ac.identity.origin = "EHAM";  // a flight plan needs both ends
    ac.identity.dest = "EGLL";
    notice(5, 40000, REPLY_LIVE_CREATED, 0.0, 3.0);
    gf_SimCommands();
    const LiveAc& b = liveAircraft[0];
    EXPECT_EQ(b.objectId, 5u);
    EXPECT_TRUE(b.onGround);
    EXPECT_EQ(b.state, AcState::creating) << "active only with the initial switches";
    EXPECT_TRUE(std::filesystem::exists(gf_flightPlanFolder() / gf_flightPlanFileName(5)));
    EXPECT_EQ(directCalls(SimCall::AISetAircraftFlightPlan, 5), 1u);
    EXPECT_EQ(eventsOf(takeQueuedEvents()), (std::vector<std::pair<uint32_t, uint32_t>>{{GEAR_SET, 1}}));
}

TEST_F(SimReplies, CreatedNoticesNobodyWaitsFor) {
    struct Case {
        const char* name;
        std::optional<AcState> recordState;  // none: no record
        bool removeWhenCreated;
    };
    const Case cases[] = {
        {"no record: the object is removed", std::nullopt, false},
        {"hexid came back as a new record", AcState::fresh, false},
        {"removed while created: out at once", AcState::removed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.recordState) {
            LiveAc& ac = creating(40100, true);
            ac.state = *c.recordState;
            ac.removeWhenCreated = c.removeWhenCreated;
        }
        notice(7, 40100, REPLY_LIVE_CREATED, 0.0, 3000.0);
        gf_SimCommands();
        EXPECT_EQ(removalQueue, std::deque<uint32_t>{7});
        {
            std::lock_guard lock(replyMutex);
            EXPECT_TRUE(switchFollowUps.empty());
        }
        liveAircraft.clear();
        removalQueue.clear();
    }
}

TEST_F(SimReplies, RemovingDuringCreationCancelsOrRemovesWhenCreated) {
    {
        SCOPED_TRACE("create still queued: taken back");
        LiveAc& ac = creating(40200, true, "KLM820");
        // Another aircraft with the same callsign first.
        liveCreateQueue.assign({createCommand(40201, "KLM820"), createCommand(40200, "KLM820")});
        removeAircraftFromSim(ac);
        EXPECT_TRUE(ac.erase);
        ASSERT_EQ(liveCreateQueue.size(), 1u);
        EXPECT_EQ(liveCreateQueue.front().hexid, 40201u);
        liveAircraft.clear();
        liveCreateQueue.clear();
    }
    {
        SCOPED_TRACE("create sent: removed as soon as it exists, never set active");
        LiveAc& ac = creating(40203, true);
        removeAircraftFromSim(ac);
        EXPECT_EQ(ac.state, AcState::removed);
        EXPECT_TRUE(ac.removeWhenCreated);
        EXPECT_FALSE(ac.erase);
        notice(9, 40203, REPLY_LIVE_CREATED, 0.0, 3000.0);
        step();
        EXPECT_EQ(removalQueue, std::deque<uint32_t>{9});
        for (int i = 0; i < 250; ++i) step();
        EXPECT_EQ(liveAircraft[0].state, AcState::removed);
        notice(9, 40203, REPLY_REMOVED);
        step();
        EXPECT_TRUE(liveAircraft.empty());
    }
}

TEST_F(SimReplies, RemovalIsIdempotentForRemovedRecords) {
    LiveAc& ac = addActiveLiveAc(40300, 11, "KLM830");
    removeAircraftFromSim(ac);
    removeAircraftFromSim(ac);
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{11});
}

TEST_F(SimReplies, FollowUpTimingCountsFromTheHandlingStep) {
    creating(40400, true);
    notice(13, 40400, REPLY_LIVE_CREATED, 0.0, 3000.0);
    std::vector<int> toggles;
    int active = -1;
    for (int i = 0; i < 260; ++i) {
        const size_t before = directCalls(SimCall::TransmitClientEvent, 13);
        step();
        if (directCalls(SimCall::TransmitClientEvent, 13) != before) toggles.push_back(i);
        if (active < 0 && liveAircraft[0].state == AcState::active) active = i;
    }
    EXPECT_EQ(toggles, (std::vector<int>{49, 99}));
    EXPECT_EQ(active, 200);
    std::lock_guard lock(replyMutex);
    EXPECT_TRUE(switchFollowUps.empty());
}

TEST_F(SimReplies, StaleFollowUpsAreDropped) {
    {
        SCOPED_TRACE("hexid came back with another object");
        creating(40600, true);
        notice(15, 40600, REPLY_LIVE_CREATED, 0.0, 3000.0);
        step();
        liveAircraft.clear();
        LiveAc& again = creating(40600, true);
        again.objectId = 16;
        for (int i = 0; i < 250; ++i) step();
        EXPECT_EQ(directCalls(SimCall::TransmitClientEvent, 15), 0u);
        EXPECT_EQ(directCalls(SimCall::TransmitClientEvent, 16), 0u);
        EXPECT_EQ(liveAircraft[0].state, AcState::creating);
        std::lock_guard lock(replyMutex);
        EXPECT_TRUE(switchFollowUps.empty());
    }
    liveAircraft.clear();
    {
        SCOPED_TRACE("the removed notice ends the follow-up");
        creating(40601, true);
        notice(17, 40601, REPLY_LIVE_CREATED, 0.0, 3000.0);
        step();
        notice(17, 40601, REPLY_REMOVED);
        step();
        std::lock_guard lock(replyMutex);
        EXPECT_TRUE(switchFollowUps.empty());
    }
}

TEST_F(SimReplies, RemovedNotices) {
    {
        SCOPED_TRACE("record being replaced returns to the gate");
        LiveAc& ac = addActiveLiveAc(40700, 18, "KLM870");
        ac.state = AcState::replacing;
        ac.throttleStep = 1;
        ac.flapsStep = 2;
        notice(18, 40700, REPLY_REMOVED);
        gf_SimCommands();
        ASSERT_EQ(liveAircraft.size(), 1u);
        EXPECT_EQ(liveAircraft[0].state, AcState::fresh);
        EXPECT_EQ(liveAircraft[0].objectId, 0u);
        EXPECT_EQ(liveAircraft[0].throttleStep, throttleStepNone);
        EXPECT_EQ(liveAircraft[0].flapsStep, flapsStepNone);
        liveAircraft.clear();
    }
    {
        SCOPED_TRACE("removed record is erased with its plan file; the last takes its place");
        LiveAc& ac = addActiveLiveAc(40701, 19, "KLM871");
        ac.planSet = true;
        const auto plan = gf_flightPlanFolder() / gf_flightPlanFileName(19);
        writeWholeFile(plan, "plan");
        removeAircraftFromSim(ac);
        addActiveLiveAc(40702, 20, "KLM872");
        addActiveLiveAc(40703, 21, "KLM873");
        notice(19, 40701, REPLY_REMOVED);
        gf_SimCommands();
        ASSERT_EQ(liveAircraft.size(), 2u);
        EXPECT_EQ(liveAircraft[0].identity.hexid, 40703u);
        EXPECT_FALSE(std::filesystem::exists(plan));
        liveAircraft.clear();
    }
}

// An in-range notice below 2500 ft: height above ground, and the touchdown on an approach.
TEST_F(SimReplies, TouchdownFromTheInRangeNotice) {
    struct Case {
        const char* name;
        bool approach;
        int32_t countdown;
        bool touchdown, grounded;
    };
    const Case cases[] = {
        {"airliner on approach", true, 1, true, true},
        // Away from the park airport too: every touchdown from the air rolls out.
        {"landing without approach", false, 1, true, true},
        {"still configuring", true, 2, false, false},
    };
    uint32_t objectId = 30;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LiveAc& ac = addActiveLiveAc(40800, objectId, "KLM880");
        ac.approach = c.approach;
        ac.configCountdown = c.countdown;
        ac.identity.touchdownSteps = 200;
        ac.identity.staticCgHeight = 9.0;
        notice(objectId, 1, REPLY_IN_RANGE_LOW, 100.0, 4.0);
        gf_SimCommands();
        const LiveAc& b = liveAircraft[0];
        EXPECT_EQ(b.touchdown && b.landingRoll && b.landed, c.touchdown);
        EXPECT_EQ(b.onGround, c.grounded);
        EXPECT_DOUBLE_EQ(b.aglFt, 4.0);
        EXPECT_DOUBLE_EQ(b.alt, 109.0);
        if (c.touchdown) {
            EXPECT_EQ(eventsOf(takeQueuedEvents()), (std::vector<std::pair<uint32_t, uint32_t>>{{SPOILERS_SET, 16383}}));
        }
        takeQueuedEvents();
        liveAircraft.clear();
        createdFollowUps.clear();
        ++objectId;
    }
}

TEST_F(SimReplies, StaticCgAndPitchLimits) {
    struct Case {
        double cg;
        double pitchDeg;
        double cgAfter;
        double pitchAfterDeg;
    };
    const Case cases[] = {
        {0.5, 2.0, 7.0, 2.0}, {40.0, -2.0, 7.0, 0.7}, {1.0, 3.0, 1.0, 0.7}, {12.0, -0.5, 12.0, -0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("cg {} pitch {}", c.cg, c.pitchDeg));
        LiveAc& ac = addActiveLiveAc(40900, 40, "KLM890");
        ac.identity.staticCgHeight = 7.0;
        notice(40, 40900, REPLY_STATIC_CG, c.cg, degToRad(c.pitchDeg));
        gf_SimCommands();
        EXPECT_DOUBLE_EQ(liveAircraft[0].identity.staticCgHeight, c.cgAfter);
        EXPECT_NEAR(liveAircraft[0].identity.staticPitch, degToRad(c.pitchAfterDeg), 1e-12);
        liveAircraft.clear();
    }
}

TEST_F(SimReplies, RefusedLiveCreationIsReported) {
    LiveAc& ac = creating(41000, true, "XXX100");
    ac.identity.airl = "XXX";
    ac.identity.type = "A320";
    ac.identity.title = gf_findCatalogueTitle(titleRefused);
    addActiveLiveAc(41001, 41, "KLM901");
    notice(0, 41000, REPLY_CREATION_FAILED);
    gf_SimCommands();
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].identity.hexid, 41001u);
    EXPECT_TRUE(gf_isUncreatable(titleRefused));
    const auto refused = gf_notCreatedTitles();
    EXPECT_NE(std::find(refused.begin(), refused.end(), "A320 XXX"), refused.end());
}

TEST_F(SimReplies, StaticAircraftParkTwoSecondsAfterCreation) {
    staticAircraft.emplace_back(testIdentity(10, "KLM10*"), 0, 52.0, 5.0, 0.0, 1).state = AcState::creating;
    notice(42, 10, REPLY_STATIC_CREATED);
    for (int i = 0; i < 200; ++i) step();
    EXPECT_EQ(staticAircraft[0].state, AcState::creating);
    step();
    EXPECT_EQ(staticAircraft[0].state, AcState::active);
    EXPECT_EQ(staticAircraft[0].objectId, 42u);
}

TEST_F(SimReplies, LostNoticesDoNotBlockAHexid) {
    creating(41100, true);
    LiveAc& removed = addActiveLiveAc(41101, 43, "KLM911");
    removeAircraftFromSim(removed);
    creating(41102, true, "KLM912");
    liveCreateQueue.push_back(createCommand(41102, "KLM912"));  // still waiting for its turn: no notice due
    AiAircraft& s = staticAircraft.emplace_back(testIdentity(11, "KLM11*"), 0, 52.0, 5.0, 0.0, 0);
    s.state = AcState::creating;
    for (uint32_t i = 0; i <= lostNoticeAfter; ++i) step();
    EXPECT_FALSE(liveAircraft[0].erase);
    EXPECT_EQ(staticAircraft.size(), 1u);
    for (uint32_t i = 0; i < 2 * lostNoticeSweepEvery; ++i) step();
    EXPECT_TRUE(liveAircraft[0].erase);
    EXPECT_TRUE(liveAircraft[1].erase);
    EXPECT_FALSE(liveAircraft[2].erase);
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_EQ(removalQueue, std::deque<uint32_t>{43}) << "an object is never removed twice";
}

}  // namespace
}  // namespace vdl::test