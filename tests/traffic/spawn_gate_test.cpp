// The spawn gate: due test, the user aircraft's safety, limits, blocks, liveries and the initial
// attitude.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/traffic_env.h"
#include "traffic/spawn_gate.h"

namespace vdl::test {
namespace {

class SpawnGate : public TrafficTest {
protected:
    // A new aircraft north of the user by `nm`, two points due at `due` and 10 s later.
    static LiveAc& newAc(uint32_t hexid, std::string callsign, double nm, bool airborne, uint32_t due,
                         double speed = 250.0, double track = 0.0) {
        StreamPos p = testPoint(due, userLat + nm * degPerNm, userLon);
        p.alt = airborne ? 5000.0 : 0.0;
        p.airborne = airborne ? 1 : 0;
        p.speed = p.tas = speed;
        p.track = track;
        AcIdentity id = gf_makeAcIdentity("", "B738", "", "", std::move(callsign), "", "", "", 0, hexid);
        gf_setCategoryValues(id);
        LiveAc& ac = liveAircraft.emplace_back(p, std::move(id), 1000.0);
        StreamPos q = p;
        q.lat += 0.01;
        q.time = due + 1000;
        ac.stream.push_back(q);
        return ac;
    }

    static void clearRun() {
        liveAircraft.clear();
        pendingSpawns.clear();
        removalQueue.clear();
        createdFollowUps.clear();
    }
};

TEST_F(SpawnGate, LeadTimes) {
    struct Case {
        const char* name;
        bool airborne;
        double speed;
        uint32_t lead;
    };
    const Case cases[] = {
        {"moving on the ground: 3 s ahead", false, 10.0, 300},
        {"standing on the ground: 1 s ahead", false, 0.0, 100},
        {"airborne: 1 s ahead", true, 250.0, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t due = clock100.load() + 500;
        LiveAc& ac = newAc(30000, "KLM300", 5.0, c.airborne, due, c.speed);
        clock100 = due - c.lead - 1;
        updateBufferAc(ac);
        EXPECT_EQ(ac.state, AcState::fresh);
        EXPECT_EQ(ac.stream.size(), 2u);
        clock100 = due - c.lead;
        updateBufferAc(ac);
        EXPECT_EQ(ac.state, AcState::creating);
        clearRun();
    }
}

struct UserCase {
    const char* name;
    bool userOnGround;
    double userSpeed;
    double userAgl;
    double acNm;       // north of the user
    bool acAirborne;
    double acSpeed;
    double acTrack;    // degrees
    bool held;         // held for the user before the test
    bool spawns;
};

TEST_F(SpawnGate, UserSafety) {
    const UserCase cases[] = {
        {"ground aircraft under the airborne user's path", false, 140, 500, 1.0, false, 0, 0, false, false},
        {"ground aircraft beside the path", false, 140, 500, 0.0, false, 0, 0, false, true},
        {"airborne aircraft heading for the user", false, 250, 3000, 3.0, true, 250, 180, false, false},
        {"airborne aircraft crossing 3 nm away", false, 250, 3000, 3.0, true, 250, 90, false, true},
        {"held, user rolling fast", true, 10, 0, 1.0, false, 5, 0, true, false},
        {"held, user slow, slow aircraft 600 m away", true, 5, 0, 600.0 / 1852.0, false, 5, 0, true, true},
        {"ground aircraft 100 m from the user on the ground", true, 0, 0, 100.0 / 1852.0, false, 0, 0, false, false},
        {"ground aircraft 200 m from the user on the ground", true, 0, 0, 200.0 / 1852.0, false, 0, 0, false, true},
    };
    for (const UserCase& c : cases) {
        SCOPED_TRACE(c.name);
        // An airborne user flies north at 3000 ft; the aircraft's first point lies acNm north of it,
        // or east of it for the "beside" case.
        placeUser(userLat, userLon, c.userOnGround, 0.0, c.userOnGround ? 10.0 : 4000.0, c.userAgl, c.userSpeed);
        LiveAc& ac = newAc(30100, "KLM310", c.acNm, c.acAirborne, clock100.load(), c.acSpeed, c.acTrack);
        if (c.acNm == 0.0) ac.stream.front().lon += 1.0 * degPerNm / std::cos(degToRad(userLat));
        ac.heldForUser = c.held;
        updateBufferAc(ac);
        EXPECT_EQ(ac.state == AcState::creating, c.spawns);
        if (!c.spawns) {
            EXPECT_EQ(ac.stream.size(), 1u) << "the first point is dropped";
            EXPECT_TRUE(ac.heldForUser || c.userOnGround);
            EXPECT_FALSE(ac.erase);
        } else {
            EXPECT_FALSE(ac.heldForUser);
        }
        clearRun();
    }
}

// The simulator reports objects only within the in-range radius; one created farther out would
// never be taken over and flown.
TEST_F(SpawnGate, AircraftBeyondTheInRangeRadiusWaits) {
    for (const double beyond : {-1.0, 1.0}) {
        SCOPED_TRACE(beyond);
        placeUser(userLat, userLon, false, 0.0, 4000.0, 3000.0, 250.0);
        LiveAc& ac = newAc(30200, "KLM320", lateralRangeNm.load() + beyond, true, clock100.load(), 250.0, 90.0);
        updateBufferAc(ac);
        EXPECT_EQ(ac.state == AcState::creating, beyond < 0.0);
        if (beyond > 0.0) {
            EXPECT_EQ(ac.stream.size(), 1u) << "the first point is dropped";
            EXPECT_FALSE(ac.erase);
        }
        clearRun();
    }
}

TEST_F(SpawnGate, MaxLiveReplacesTheFarthestOrDropsTheNewcomer) {
    struct Case {
        const char* name;
        std::vector<double> active;  // nm
        double newNm;
        bool spawns;
        int removedIndex;  // -1: none
    };
    const Case cases[] = {
        {"new one nearer replaces the one at 20 nm", {1, 2, 3, 4, 20, 6, 7, 8, 9, 10}, 5.0, true, 4},
        {"new one farthest is dropped", {1, 2, 3, 4, 20, 6, 7, 8, 9, 10}, 25.0, false, -1},
        {"no one more than 0.1 nm farther", {1, 2, 3, 4, 5, 6, 7, 8, 20.05, 20.09}, 20.0, false, -1},
    };
    MAX_LIVE.set(10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t hexid = 31000;
        for (double nm : c.active) {
            activeAt(hexid, hexid - 30000, nm);
            ++hexid;
        }
        LiveAc& ac = newAc(32000, "KLM999", c.newNm, true, clock100.load());
        updateBufferAc(ac);
        EXPECT_EQ(liveAircraft.back().state == AcState::creating, c.spawns);
        EXPECT_EQ(liveAircraft.back().erase, !c.spawns);
        for (size_t i = 0; i < c.active.size(); ++i)
            EXPECT_EQ(liveAircraft[i].state == AcState::removed, static_cast<int>(i) == c.removedIndex) << i;
        clearRun();
    }
}

// Records that never spawn, and the identity a spawning one leaves with.
TEST_F(SpawnGate, DropsAndIdentityRules) {
    struct Case {
        const char* name;
        std::string callsign, reg, type, block;
        bool erased;  // before the gate
        bool spawns;
        std::string airline, callsignAfter;
        std::string noMatchKey;  // listed as having no livery
        std::string reason;      // the report's text for it; "listed" when listed before
    };
    const Case cases[] = {
        {"erased record", "KLM302", "", "B738", "", true, false, "", "", "", ""},
        {"blocked callsign", "KLM123", "", "B738", "KLM123", false, false, "", "", "", ""},
        {"airline from the callsign", "KLM125", "", "B738", "", false, true, "KLM", "KLM125", "", ""},
        {"registration gives operator and callsign", "@@@@@@@@", "D-AIZY", "A320", "", false, true, "XXX", "D-AIZY", "", ""},
        {"invalid callsign without registration", "", "", "B738", "", false, false, "", "", "", ""},
        {"no livery", "DLH400", "D-ABCD", "B77W", "", false, false, "", "", "DLH B77W D-ABCD",
         "no livery of DLH for B77W or a similar model, nor of ZZZ for B77W"},
        // Listed once without a livery, the identity is dropped before any look-up.
        {"listed without livery", "KLM126", "PH-BXB", "B738", "", false, false, "", "", "KLM B738 PH-BXB", "listed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BLOCK_CALLSIGN.set(c.block);
        LiveAc& ac = newAc(33000, c.callsign, 5.0, true, clock100.load());
        ac.identity.reg = c.reg;
        ac.identity.type = c.type;
        ac.identity.airl.clear();
        ac.erase = c.erased;
        if (c.reason == "listed") gf_addNoMatchKey(c.noMatchKey, c.reason);
        updateBufferAc(ac);
        EXPECT_EQ(ac.state, c.spawns ? AcState::creating : AcState::fresh);
        EXPECT_EQ(ac.erase, !c.spawns);
        EXPECT_EQ(pendingSpawns.empty(), !c.spawns);
        EXPECT_EQ(liveryByHexid.contains(33000), c.spawns);
        if (c.spawns) {
            EXPECT_EQ(ac.identity.airl, c.airline);
            EXPECT_EQ(ac.identity.callsign, c.callsignAfter);
        }
        {
            std::lock_guard lock(matchReportMutex);
            EXPECT_EQ(noMatchKeys.contains(c.noMatchKey), !c.noMatchKey.empty());
            if (!c.noMatchKey.empty()) {
                EXPECT_EQ(noMatchKeys[c.noMatchKey], c.reason);
            }
        }
        clearRun();
        gf_clearNoMatchKeys();
        liveryByHexid.clear();
    }
}

TEST_F(SpawnGate, RespawnReusesTheLiveryUnlessRefused) {
    ASSERT_FALSE(gf_findCatalogueTitle(titleRefused).empty());
    {
        LiveAc& ac = newAc(35000, "KLM500", 5.0, true, clock100.load());
        updateBufferAc(ac);
        ASSERT_EQ(ac.state, AcState::creating);
        EXPECT_EQ(liveryByHexid.at(35000), ac.identity.title);
    }
    liveAircraft.clear();
    {
        // A title the matcher would not pick for this aircraft is kept from the last time.
        liveryByHexid[35000] = gf_findCatalogueTitle(titleRefused);
        LiveAc& ac = newAc(35000, "KLM500", 5.0, true, clock100.load());
        updateBufferAc(ac);
        EXPECT_EQ(ac.identity.title, std::string_view(titleRefused));
    }
    liveAircraft.clear();
    {
        AcIdentity refused = gf_makeAcIdentity("XXX", "A320", "", "", "XXX1", "", "", "", 0, 35000);
        refused.title = gf_findCatalogueTitle(titleRefused);
        gf_reportUncreatable(refused);
        LiveAc& ac = newAc(35000, "KLM500", 5.0, true, clock100.load());
        updateBufferAc(ac);
        EXPECT_EQ(ac.identity.title, std::string_view(titleKlm)) << "the refused title is matched anew";
        EXPECT_EQ(liveryByHexid.at(35000), std::string_view(titleKlm));
    }
}

}  // namespace
}  // namespace vdl::test

namespace vdl::test {
namespace {

TEST_F(SpawnGate, AnAircraftWithoutCallsignIsDroppedWithOneLogLineForItsHexid) {
    newLogLines();
    for (uint32_t hexid : {30100u, 30100u, 30101u}) {
        const uint32_t due = clock100.load() + 50;
        LiveAc& ac = newAc(hexid, "", 5.0, true, due);
        clock100 = due;
        updateBufferAc(ac);
        EXPECT_TRUE(liveAircraft.back().erase);
        clearRun();
    }
    size_t lines30100 = 0, lines30101 = 0;
    for (const auto& line : newLogLines()) {
        lines30100 += line.find("hexid 30100 (B738) dropped: no valid callsign") != std::string::npos;
        lines30101 += line.find("hexid 30101") != std::string::npos;
    }
    EXPECT_EQ(lines30100, 1u);
    EXPECT_EQ(lines30101, 1u);
}

}  // namespace
}  // namespace vdl::test
