// What several paths share must agree: an object removed once whatever asks, a parked aircraft's
// stand mark, the cargo flag of a stand and of the aircraft on it, the counters in the window, a
// static waiting for creation beside a new arrival, and the static review's half-hour window.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "static_support.h"
#include "traffic/intake.h"
#include "traffic/parking.h"
#include "traffic/parking_max.h"
#include "traffic/removal.h"
#include "traffic/stand_learning.h"
#include "traffic/stream_extension.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl::test {
namespace {

class StandConsistency : public StaticTest {
  protected:
    void SetUp() override {
        StaticTest::SetUp();
        // The cases hold references into the lists while they add to them.
        liveAircraft.reserve(8);
        parkPositions.reserve(8);
    }
};

// The main loop's per-second refresh of the parked counts.
void lf_refresh(bool busy) {
    parkingBusy = busy;
    gf_countParkedLiveAc(true);
    gf_countParkedStaticAc(true);
}

// An aircraft whose livery changed is being replaced: its old object is queued for removal. A
// removal asked for meanwhile, by any path, queues nothing more, and the removed notice then
// erases the record instead of spawning it again.
TEST_F(StandConsistency, AReplacedObjectIsRemovedOnceWhateverAsks) {
    struct Case {
        const char* path;
        std::function<void(LiveAc&)> remove;
    };
    const std::vector<Case> cases = {
        {"the end of the run", [](LiveAc&) { gf_removeAllLiveAc(); }},
        {"its ghost's real callsign", [](LiveAc&) { gf_removeGhostOf("KLM870"); }},
        {"a direct removal", [](LiveAc& ac) { removeAircraftFromSim(ac); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        liveAircraft.clear();
        removalQueue.clear();
        LiveAc& ac = addActiveLiveAc(40800, 28, "KLM870_");
        liveryRespawn(ac);
        ASSERT_EQ(ac.state, AcState::replacing);
        ASSERT_EQ(removalQueue, (std::deque<uint32_t>{28}));
        c.remove(ac);
        EXPECT_EQ(removalQueue, (std::deque<uint32_t>{28}));
        ASSERT_EQ(liveAircraft.size(), 1u);
        EXPECT_EQ(liveAircraft[0].state, AcState::removed);
        gf_pushSimReply({28, 40800, 0, REPLY_REMOVED, 0.0, 0.0});
        gf_SimCommands();
        EXPECT_TRUE(liveAircraft.empty()) << "not spawned again";
    }
}

// A parked live aircraft gives its stand's mark up with its first stream end; neither a plan nor
// an adjustment gives it back, while an aircraft driving to its stand keeps its mark.
TEST_F(StandConsistency, AParkedAircraftsStandMarkDoesNotDependOnAPlanHavingRun) {
    struct Case {
        const char* what;
        void (*run)();
    };
    const Case cases[] = {
        {"a plan", [] { gf_planStaticParking(); }},
        {"an adjustment", [] { gf_adjustStaticParking(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        parkPositions.clear();
        liveAircraft.clear();
        addStand({});
        addStand({});
        LiveAc& parked = addActiveLiveAc(20001, 901, "KLM71");
        parked.standId = 1;
        parked.groundState = GroundState::parked;
        parked.parkSlot = nowSlot.load();
        parked.parkTicks = gf_steadyTicks();  // just parked: an adjustment keeps it
        LiveAc& driving = addActiveLiveAc(20002, 902, "KLM72");
        driving.standId = 2;
        driving.groundState = GroundState::toStand;
        parkPositions[0].occupied = 1;
        parkPositions[1].occupied = 1;
        extendStream(parked, 1);
        ASSERT_FALSE(parkPositions[0].occupied);
        c.run();
        EXPECT_FALSE(parkPositions[0].occupied) << "a later arrival may take it, as before the plan";
        EXPECT_TRUE(parkPositions[1].occupied);
    }
}

// A cargo aircraft arriving on a stand not yet known as cargo: the stand learns it, the aircraft's
// own copy follows, so its use of the stand is learned, and the change is counted and shown.
TEST_F(StandConsistency, ACargoArrivalTeachesTheStandAndIsLearned) {
    ParkPos& stand = addStand({});
    ASSERT_FALSE(stand.cargo);
    LiveAc& ac = addActiveLiveAc(20003, 903, "BOX73");
    ac.identity.airl = "BOX";
    ac.identity.cargo = 1;
    ac.identity.reg = "D-AALA";
    ac.onGround = true;
    ac.groundState = GroundState::toStand;
    ac.standId = stand.id;
    ac.cargoStand = stand.cargo != 0;  // taken when the stand was given
    ac.standLat = ac.lat = stand.lat;
    ac.standLon = ac.lon = stand.lon;
    mainWindow.takeRepaintRequest(WindowArea::Statistics);
    const int32_t updatesBefore = updateCount;

    arriveAtStand(ac);
    EXPECT_EQ(ac.groundState, GroundState::parked);
    EXPECT_TRUE(stand.cargo);
    EXPECT_TRUE(stand.cargoChange);
    EXPECT_TRUE(ac.cargoStand);
    ASSERT_EQ(stand.options.size(), 1u) << "the arrival is learned on the stand";
    EXPECT_EQ(stand.options[0].reg(), "D-AALA");
    EXPECT_EQ(standChangeCount, 2u) << "the cargo flag and the option";
    EXPECT_EQ(updateCount, updatesBefore + 2);
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "stand changes"), "2");
    EXPECT_TRUE(mainWindow.takeRepaintRequest(WindowArea::Statistics));
}

// The parked counts show their average hours, except while a plan is computed and placed; a
// cleared run shows no figures of the last one.
TEST_F(StandConsistency, ParkedAveragesHideWhileTheParkingIsBusyAndCountersClearWithTheRun) {
    addStand({});
    LiveAc& parked = addActiveLiveAc(20004, 904, "KLM74");
    parked.standId = 1;
    parked.groundState = GroundState::parked;
    parked.parkSlot = {3, 18};
    activeStatic(1, 1, "KLM11*", "KLM11", "", {3, 20});
    const auto shown = [] {
        return std::vector<std::string>{mainWindow.value(WindowArea::Counters, "parked live"),
                                        mainWindow.value(WindowArea::Counters, "parked static")};
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
        double live;
    };
    const std::vector<Step> steps = {
        {"the per-second refresh", [] { lf_refresh(false); }, {"1 (1.5 h)", "1 (0.5 h)"}, 1.5},
        {"a plan starts", [] { gf_planStaticParking(); }, {"1", "1"}, -1.0},
        {"the refresh while busy", [] { lf_refresh(true); }, {"1", "1"}, -1.0},
        {"the plan is placed", [] { lf_refresh(false); }, {"1 (1.5 h)", "1 (0.5 h)"}, 1.5},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        mainWindow.takeRepaintRequest(WindowArea::Counters);
        s.act();
        EXPECT_EQ(shown(), s.expected);
        EXPECT_EQ(averageParkedHoursLive, s.live);
    }

    standChangeCount = 5;
    gf_countStandChange();
    ASSERT_EQ(mainWindow.value(WindowArea::Statistics, "stand changes"), "6");
    gf_clearTrafficLists();
    EXPECT_EQ(shown(), (std::vector<std::string>{"0", "0"}));
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "stand changes"), "0");
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "stand radius changes"), "0");
    EXPECT_TRUE(mainWindow.takeRepaintRequest(WindowArea::Counters));
}

// The static review keeps a static whose option reaches the current half hour within the
// tolerance reached (MAX_FIT here, as the search finds nothing), with the smallest such reach;
// a window reaching past slot 0 looks at yesterday's options for the half hours it has there.
TEST_F(StandConsistency, TheStaticReviewKeepsWhatItsOptionsReachWithinTheWindow) {
    struct Case {
        const char* what;
        WeekSlot now;
        int maxFit;
        std::vector<OptionSpec> options;
        int tolerance;  // of the kept row; -1: removed
    };
    const auto today = [](std::vector<int> slots, uint32_t day = 3) {
        return OptionSpec{.id = 1, .day = day, .slots = std::move(slots), .callsign1 = "KLM11"};
    };
    const std::vector<Case> cases = {
        {"this half hour", {3, 20}, 3, {today({20})}, 0},
        {"two back", {3, 20}, 3, {today({18})}, 2},
        {"beyond the window", {3, 20}, 3, {today({16})}, -1},
        {"the nearest of two options", {3, 20}, 3, {today({15}), today({19})}, 1},
        {"a later half hour does not count", {3, 20}, 3, {today({21})}, -1},
        {"another type", {3, 20}, 3, {OptionSpec{.slots = {20}, .callsign1 = "KLM11", .type = "A320"}}, -1},
        {"yesterday's last half hour", {3, 1}, 3, {today({47}, 2)}, 2},
        {"yesterday, at the window's end", {3, 1}, 3, {today({46}, 2)}, 3},
        {"yesterday, one past the window", {3, 1}, 3, {today({45}, 2)}, -1},
        {"today first", {3, 1}, 3, {today({47}, 2), today({0})}, 1},
        {"Sunday before Monday", {1, 0}, 2, {today({47}, 7)}, 1},
        {"no window into yesterday", {3, 5}, 3, {today({47}, 2)}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        parkPositions.clear();
        staticAircraft.clear();
        nowSlot = c.now;
        MAX_FIT.set(c.maxFit);
        addStand(c.options);
        // Its own callsign keeps the search off its options: no candidate stands on its stand.
        activeStatic(1, 1, "KLM11*", "KLM11", "", c.now);
        gf_adjustStaticParking();
        ASSERT_EQ(realToleranceReached, c.maxFit);
        if (c.tolerance < 0) {
            EXPECT_EQ(staticAircraft[0].state, AcState::removed);
            EXPECT_TRUE(keptStatics.empty());
            continue;
        }
        EXPECT_EQ(staticAircraft[0].state, AcState::active);
        ASSERT_EQ(keptStatics.size(), 1u);
        EXPECT_EQ(keptStatics[0].tolerance, c.tolerance);
    }
}

}  // namespace
}  // namespace vdl::test
