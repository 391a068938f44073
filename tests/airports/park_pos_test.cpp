// One stand and the stand list of the park airport.
#include <gtest/gtest.h>

#include <vector>

#include "airports/reset.h"
#include "airports/stand_records.h"
#include "airports_fixture.h"

namespace vdl::test {
namespace {

struct RadiusCase {
    double metres;
    double nm;
};

TEST(ParkPos, RadiusIsKeptInNauticalMiles) {
    const std::vector<RadiusCase> cases = {{1852.0, 1.0}, {0.0, 0.0}, {30.0, 0.0161987}, {926.0, 0.5}};
    for (const auto& c : cases) {
        const ParkPos stand("A1", {}, 52.3, 4.76, 1.5, c.metres, false, false, false);
        EXPECT_NEAR(stand.radius, c.nm, 1e-7) << c.metres;
    }
}

TEST(ParkPos, NewStandIsUnnumberedAndFree) {
    const ParkPos stand("C12", {makeOption(1, {10})}, 52.3, 4.76, 3.0, 40.0, true, false, true);
    EXPECT_EQ(stand.id, 0u);
    EXPECT_EQ(stand.options.size(), 1u);
    EXPECT_EQ(stand.cargo + stand.ramp * 2 + stand.heli * 4, 5);
    for (uint8_t flag : {stand.manual, stand.radiusChange, stand.cargoChange, stand.scanMark, stand.taken,
                         stand.occupied, stand.reserved, stand.blocked})
        EXPECT_EQ(flag, 0);
    EXPECT_TRUE(stand.realUses.empty() && stand.softUses.empty() && stand.adjacent.empty());
    EXPECT_GE(stand.adjacent.capacity(), 8u);
}

TEST_F(AirportsTest, ResetEmptiesTheStandListAndKeepsItsRoom) {
    EXPECT_GE(parkPositions.capacity(), parkPositionsReserve);
    parkPositions.emplace_back("A1", std::vector<ParkPosOption>{}, 1.0, 2.0, 0.0, 20.0, false, true, false);
    parkPositions.back().realUses[10001] = StandUse{{2, 5}, 1};
    parkPositions.shrink_to_fit();
    gf_resetAirportsForTests();
    EXPECT_TRUE(parkPositions.empty());
    EXPECT_GE(parkPositions.capacity(), parkPositionsReserve);
}

}  // namespace
}  // namespace vdl::test
