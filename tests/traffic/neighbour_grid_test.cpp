// The grid's taxiing neighbours against the walk over every live aircraft, on random fleets
// crowded onto an apron, moved a little after the grid was built, grown and erased.
#include <gtest/gtest.h>

#include <random>

#include "foundation/clock.h"
#include "foundation/units.h"
#include "traffic/neighbour_grid.h"
#include "traffic/traffic_lists.h"

namespace vdl {
namespace {

constexpr double factor = 1.2;

class NeighbourGridTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetTraffic();
        clock100.store(5000);
    }
    void TearDown() override { gf_resetTraffic(); }

    void addRandom(std::mt19937& rng, double lat, double lon, double spreadDeg) {
        std::uniform_real_distribution<double> off(-spreadDeg, spreadDeg);
        AcIdentity id;
        id.hexid = 10001 + static_cast<uint32_t>(liveAircraft.size());
        id.halfWingspan = metresToNm(5.0 + static_cast<double>(rng() % 36));
        LiveAc& a = liveAircraft.emplace_back(StreamPos{}, std::move(id), 0.0);
        a.lat = lat + off(rng);
        a.lon = lon + off(rng);
        a.onGround = rng() % 5 != 0;
        const GroundState states[] = {GroundState::taxi, GroundState::taxi, GroundState::parked, GroundState::pushback,
                                      GroundState::airborne};
        a.groundState = states[rng() % 5];
        a.state = rng() % 6 == 0 ? AcState::removed : AcState::active;
    }

    void expectSameAsWalk(const char* what) {
        for (const LiveAc& a : liveAircraft)
            ASSERT_EQ(gf_taxiingNeighbourWithin(a, factor), gf_taxiingNeighbourWithinByWalk(a, factor))
                << what << ", hexid " << a.identity.hexid;
    }
};

TEST_F(NeighbourGridTest, AnswersAsTheWalkOnRandomFleets) {
    struct Case {
        uint32_t seed;
        double lat, lon, spreadDeg;
        size_t fleet;
    };
    // An apron, a whole airport, beside the date line and near the pole (both left to the walk).
    const Case cases[] = {{1, 47.46, 8.55, 0.002, 400},  {2, 47.46, 8.55, 0.03, 600}, {3, -33.95, 151.18, 0.004, 300},
                          {4, 51.47, 179.999, 0.003, 300}, {5, 79.99, 15.5, 0.003, 300}, {6, 0.0, -0.01, 0.005, 500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seed);
        gf_resetTraffic();
        std::mt19937 rng(c.seed);
        for (size_t i = 0; i < c.fleet; ++i) addRandom(rng, c.lat, c.lon, c.spreadDeg);
        size_t near = 0;
        for (const LiveAc& a : liveAircraft) near += gf_taxiingNeighbourWithinByWalk(a, factor);
        EXPECT_GT(near, 0u);
        expectSameAsWalk("built");
        // Moved within the grid's life and margin, states changed, no rebuild.
        std::uniform_real_distribution<double> nudge(-0.0005, 0.0005);
        for (LiveAc& a : liveAircraft) {
            a.lat += nudge(rng);
            a.lon += nudge(rng);
            if (rng() % 7 == 0) a.groundState = GroundState::taxi;
            if (rng() % 9 == 0) a.onGround = !a.onGround;
        }
        clock100.fetch_add(50);
        expectSameAsWalk("moved");
        for (int k = 0; k < 40; ++k) addRandom(rng, c.lat, c.lon, c.spreadDeg);
        expectSameAsWalk("grown");
        for (LiveAc& a : liveAircraft) a.erase = rng() % 3 == 0;
        liveAircraft.eraseFlagged();
        expectSameAsWalk("erased");
        clock100.fetch_add(200);
        expectSameAsWalk("aged");
    }
}

}  // namespace
}  // namespace vdl
