// Stands from BGL airport records: names, the radius and position checks, stand kinds,
// headings, duplicate names by size, elevation, helipads and records that break their bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "airports/airport_scan_log.h"
#include "airports/bgl_reader.h"
#include "airports/bgl_stands.h"
#include "airports/reset.h"
#include "refdata/airport_refs.h"
#include "standins/bgl_writer.h"

namespace vdl::test {
namespace {

namespace bw = bglwriter;

constexpr double pi = 3.141592653589793;
constexpr float nan = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();

struct Read {
    std::vector<std::optional<BglAirportStands>> airports;
    std::vector<std::string> log;

    const BglAirportStands& only() const { return *airports.at(0); }
    std::vector<std::string> names() const {
        std::vector<std::string> n;
        for (const auto& s : only().stands) n.push_back(s.name);
        return n;
    }
};

Read read(std::vector<bw::Airport> airports) {
    Read r;
    BglHandOffs handOffs;
    handOffs.airport = [&](const BglAirport& a, const std::string& icao) {
        r.airports.push_back(gf_readAirportStands(a, icao, "x.bgl"));
    };
    gf_walkBglBytes(bw::gf_bglBytes(bw::gf_airportFile(std::move(airports))), "x.bgl", handOffs, false);
    r.log = gf_takeAirportsScanLog();
    return r;
}

bw::Airport withParkings(std::vector<bw::Parking> parkings) {
    bw::Airport a;
    a.subrecords.push_back(bw::ParkingList{std::move(parkings), std::nullopt});
    return a;
}

bw::Parking gate(uint8_t code, uint16_t number, float radius = 20.0f) {
    bw::Parking p;
    p.nameCode = code;
    p.number = number;
    p.radius = radius;
    return p;
}

using Names = std::vector<std::string>;

class BglStands : public ::testing::Test {
  protected:
    void SetUp() override { gf_resetAirports(); }
    void TearDown() override {
        gf_resetAirports();
        gf_clearAirportNames();
    }
};

TEST_F(BglStands, NamesFromCodeAndTwelveBitNumber) {
    struct Case {
        uint8_t code;
        uint16_t number;
        const char* name;
    };
    const std::vector<Case> cases = {{0, 7, "7"},    {11, 7, "7"},      {12, 3, "A3"},    {37, 1, "Z1"},
                                     {1, 2, "r2"},   {5, 10, "sep10"},  {9, 4, "nwp4"},   {10, 4095, "g4095"},
                                     {38, 1, "[1"},  {44, 0, "a0"},     {63, 9, "t9"}};
    for (const auto& c : cases) {
        const Read r = read({withParkings({gate(c.code, c.number)})});
        EXPECT_EQ(r.names(), Names{c.name}) << int(c.code) << " " << c.number;
    }
    EXPECT_EQ(gf_parkingNameText(3), "np");
    EXPECT_EQ(gf_parkingNameText(6), "sp");
    EXPECT_EQ(gf_parkingNameText(7), "swp");
    EXPECT_EQ(gf_parkingNameText(8), "wp");
    EXPECT_EQ(gf_parkingNameText(4), "ep");
}

TEST_F(BglStands, RadiusBoundsKindsAndHeadings) {
    struct Case {
        float radius;
        uint8_t type;
        float heading;
        bool kept;
        bool cargo, ramp;
        double heading2;
        bool logged;
    };
    const std::vector<Case> cases = {
        {1.0f, 8, 90, false, false, false, 0, true},    {200.0f, 8, 90, false, false, false, 0, true},
        {1.01f, 8, 90, true, false, false, pi / 2, false}, {199.9f, 8, 90, true, false, false, pi / 2, false},
        {nan, 8, 90, false, false, false, 0, true},     {inf, 8, 90, false, false, false, 0, true},
        {20, 0, 90, false, false, false, 0, false},     {20, 12, 90, false, false, false, 0, false},
        {20, 13, 90, false, false, false, 0, false},    {20, 5, 90, true, true, true, pi / 2, false},
        {20, 1, 0, true, false, true, 2 * pi, false},   {20, 7, 180, true, false, true, pi, false},
        {20, 14, 90, true, false, true, pi / 2, false}, {20, 11, 90, true, false, false, pi / 2, false},
        {20, 15, 90, true, false, false, pi / 2, false}, {20, 8, nan, false, false, false, 0, true},
        {20, 8, -inf, false, false, false, 0, true},
    };
    for (const auto& c : cases) {
        bw::Parking p = gate(10, 1, c.radius);
        p.type = c.type;
        p.heading = c.heading;
        const Read r = read({withParkings({p})});
        const auto& stands = r.only().stands;
        ASSERT_EQ(stands.size(), c.kept ? 1u : 0u) << c.radius << " " << int(c.type) << " " << c.heading;
        EXPECT_EQ(r.log.size(), c.logged ? 1u : 0u) << c.radius << " " << int(c.type);
        if (!c.kept) continue;
        EXPECT_EQ(stands[0].cargo, c.cargo) << int(c.type);
        EXPECT_EQ(stands[0].ramp, c.ramp) << int(c.type);
        EXPECT_FALSE(stands[0].heli);
        EXPECT_NEAR(stands[0].heading, c.heading2, 1e-9);
        EXPECT_NEAR(stands[0].radius * 1852.0, c.radius, 1e-4);
    }
    EXPECT_EQ(read({withParkings({gate(10, 1, 1.0f)})}).log,
              Names{"skipped position with radius 1.0 meters, in x.bgl"});
}

TEST_F(BglStands, SkippedTypesLeaveTheirNamesFree) {
    bw::Parking fuel = gate(10, 5);
    fuel.type = 12;
    const Read r = read({withParkings({fuel, gate(10, 5)})});
    EXPECT_EQ(r.names(), Names{"g5"});
    EXPECT_TRUE(r.log.empty());
}

TEST_F(BglStands, PositionsOffTheGlobeOrNearZeroAreSkipped) {
    struct Case {
        double lat, lon;
        bool kept;
    };
    const std::vector<Case> cases = {{0.0005, 0.01, false}, {-0.0005, 0.01, true}, {0.0005, -0.01, true},
                                     {0.001, 0.01, true},   {0.0005, 0.06, true},  {-89.9, 179.9, true}};
    for (const auto& c : cases) {
        bw::Parking p = gate(10, 1);
        p.lat = c.lat;
        p.lon = c.lon;
        const Read r = read({withParkings({p})});
        EXPECT_EQ(r.only().stands.size(), c.kept ? 1u : 0u) << c.lat << " " << c.lon;
    }
    // Packed values past the poles decode off the globe.
    EXPECT_LT(gf_bglLatitude(0xFFFFFFFF), -90.0);
    EXPECT_GT(gf_bglLongitude(0xFFFFFFFF), 180.0);
}

TEST_F(BglStands, DuplicateNamesAreToldApartByRadius) {
    const Read three = read({withParkings({gate(10, 12, 20), gate(10, 12, 30), gate(10, 12, 25), gate(10, 13)})});
    const auto& s = three.only().stands;
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(three.names(), (Names{"g12b", "g12", "g12a", "g13"}));
    EXPECT_NEAR(s[1].radius * 1852.0, 30.0, 1e-4);
    for (const auto& stand : s) EXPECT_EQ(stand.scanMark, 0);

    // Equal radii keep their order; two groups are renamed each on its own.
    const Read equal = read({withParkings({gate(1, 1, 20), gate(2, 1, 20), gate(1, 1, 20), gate(2, 1, 40)})});
    EXPECT_EQ(equal.names(), (Names{"r1", "p1a", "r1a", "p1"}));

    std::vector<bw::Parking> eight;
    for (int i = 0; i < 8; ++i) eight.push_back(gate(10, 3, 10.0f + static_cast<float>(i)));
    const Read many = read({withParkings(eight)});
    EXPECT_EQ(many.names(), (Names{"g3f", "g3e", "g3d", "g3c", "g3b", "g3a", "g3"}));
    EXPECT_EQ(many.log, Names{"===> Warning more then 6 the same ids g3, in x.bgl"});
}

// The renaming as it was first written: a walk over all stands per group, which took the square
// of the stand count. Kept here to check that the faster one gives exactly its names.
void renameDuplicatesByWalk(std::vector<ParkPos>& stands) {
    constexpr std::array<std::string_view, 7> suffixes = {"", "a", "b", "c", "d", "e", "f"};
    const auto inGroup = [](const ParkPos& stand, const std::string& base) {
        if (stand.name.size() == base.size()) return stand.name == base;
        if (stand.name.size() != base.size() + 1 || stand.name.compare(0, base.size(), base) != 0) return false;
        const char last = stand.name.back();
        return last >= 'a' && last <= 'f';
    };
    while (true) {
        const auto first = std::find_if(stands.begin(), stands.end(), [](const ParkPos& s) { return s.scanMark; });
        if (first == stands.end()) return;
        first->scanMark = 0;
        const std::string base = first->name.empty() ? std::string() : first->name.substr(0, first->name.size() - 1);
        std::vector<size_t> group;
        for (size_t i = 0; i < stands.size(); ++i) {
            if (!inGroup(stands[i], base)) continue;
            stands[i].scanMark = 0;
            group.push_back(i);
        }
        std::stable_sort(group.begin(), group.end(),
                         [&](size_t a, size_t b) { return stands[a].radius > stands[b].radius; });
        for (size_t j = 0; j < group.size() && j < suffixes.size(); ++j)
            stands[group[j]].name = base + std::string(suffixes[j]);
    }
}

// Random airports: names repeated up to seven times and suffixed as the reader does, radii with
// ties, and now and then a name or mark the reader never makes.
TEST_F(BglStands, RenamingGivesTheNamesOfTheWalkOverAllStands) {
    std::mt19937 random(20261207);
    const std::vector<std::string> bases = {"g1", "g12", "g2", "p1", "A3", "7", "r10"};
    const std::vector<std::string> odd = {"", "a", "g", "g1a", "g1x", "g12b", "1", "g1f"};
    for (int round = 0; round < 1500; ++round) {
        std::vector<ParkPos> stands;
        std::set<std::string> taken;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            const float radius = static_cast<float>(10 + random() % 4 * 5);
            if (random() % 10 == 0) {
                ParkPos& s = stands.emplace_back(odd[random() % odd.size()], std::vector<ParkPosOption>{}, 1.0, 1.0,
                                                 0.0, radius, false, false, false);
                s.scanMark = random() % 2;
                continue;
            }
            const std::string name = bases[random() % bases.size()];
            std::string given = name;
            for (const char* suffix : {"a", "b", "c", "d", "e", "f"}) {
                if (taken.count(given) == 0) break;
                given = name + suffix;
            }
            if (!taken.insert(given).second) continue;  // the seventh repeat is left out
            ParkPos& s = stands.emplace_back(given, std::vector<ParkPosOption>{}, 1.0, 1.0, 0.0, radius, false, false,
                                             false);
            s.scanMark = given.size() != name.size();
        }
        std::vector<ParkPos> expected = stands;
        renameDuplicatesByWalk(expected);
        gf_renameDuplicateStands(stands);
        ASSERT_EQ(stands.size(), expected.size());
        for (size_t i = 0; i < stands.size(); ++i) {
            ASSERT_EQ(stands[i].name, expected[i].name) << "round " << round << " stand " << i;
            ASSERT_EQ(stands[i].scanMark, expected[i].scanMark) << "round " << round << " stand " << i;
        }
    }
}

// 65,535 parkings in same-name groups of seven took seconds (half a minute under the sanitizers),
// and a stop request waited for them.
TEST_F(BglStands, ManyRepeatedNamesAreRenamedInLinearTime) {
    std::vector<bw::Parking> parkings;
    for (uint32_t i = 0; i < 65535; ++i) {
        const uint32_t group = i / 7;
        parkings.push_back(gate(static_cast<uint8_t>(10 + group / 4096), static_cast<uint16_t>(group % 4096),
                                20.0f + static_cast<float>(i % 7)));
    }
    const auto start = std::chrono::steady_clock::now();
    const Read r = read({withParkings(parkings)});
    const auto took = std::chrono::steady_clock::now() - start;
    const auto& s = r.only().stands;
    ASSERT_EQ(s.size(), 65535u);
    EXPECT_EQ(s[0].name, "g0f");  // the smallest of its group
    EXPECT_EQ(s[6].name, "g0");
    EXPECT_LT(took, std::chrono::seconds(10));
}

// An airport lost to a record too small for subrecords or a parking count too small says so; one
// whose entries were each skipped by rule was said already, or is meant to stay silent.
TEST_F(BglStands, AirportsReadToNoStandOrPartlySaySo) {
    const std::vector<bw::Parking> three = {gate(10, 1), gate(10, 2), gate(10, 3)};
    bw::Airport small = withParkings(three);
    small.size = 44;
    bw::Airport none = withParkings(three);
    std::get<bw::ParkingList>(none.subrecords[0]).count = 0;
    bw::Airport one = withParkings(three);
    std::get<bw::ParkingList>(one.subrecords[0]).count = 1;
    bw::Airport vehicles = withParkings({gate(10, 1)});
    std::get<bw::ParkingList>(vehicles.subrecords[0]).parkings[0].type = 12;
    struct Case {
        const char* name;
        bw::Airport airport;
        size_t stands;
        Names log;
    };
    const std::vector<Case> cases = {
        {"record of 44 bytes", small, 0, {"===> airport EDDF has no parkings, in x.bgl"}},
        {"no parking list", bw::Airport{}, 0, {"===> airport EDDF has no parkings, in x.bgl"}},
        {"count 0", none, 0, {"===> parking list of EDDF counts 0 entries and leaves 168 bytes unread, in x.bgl"}},
        {"count 1", one, 1, {"===> parking list of EDDF counts 1 entries and leaves 112 bytes unread, in x.bgl"}},
        {"vehicle parking only", vehicles, 0, {}},
        {"whole", withParkings(three), 3, {}},
    };
    for (const Case& c : cases) {
        const Read r = read({c.airport});
        ASSERT_EQ(r.airports.size(), 1u) << c.name;
        EXPECT_EQ(r.only().stands.size(), c.stands) << c.name;
        EXPECT_EQ(r.log, c.log) << c.name;
    }
}

TEST_F(BglStands, ElevationInFeetWithinItsBounds) {
    struct Case {
        int32_t elevation;
        int32_t feet;
    };
    const std::vector<Case> cases = {{-4000, -13},     {-6096, -20},      {-6400, 0},     {100000, 328},
                                     {3048000, 10000}, {3048200, 0},      {1524, 5},      {0, 0},
                                     {INT32_MIN, 0},   {INT32_MAX, 0}};
    for (const auto& c : cases) {
        bw::Airport a;
        a.elevation = c.elevation;
        EXPECT_EQ(read({a}).only().altitude, c.feet) << c.elevation;
    }
}

TEST_F(BglStands, HelipadsBeforeTheParkingListOnly) {
    bw::Airport a;
    a.icao = "EDDF";
    a.subrecords = {bw::Helipad{50.01, 8.5, 30.0f}, bw::Helipad{50.01, 8.5, 30.0f},  // double
                    bw::Helipad{50.02, 8.5, 2.0f},  bw::Helipad{50.03, 8.5, nan},    // radius 1, NaN
                    bw::Helipad{0.0001, 0.001, 20}, bw::Helipad{50.04, 8.5, 2.1f},
                    bw::ParkingList{{gate(10, 1)}, std::nullopt}, bw::Helipad{50.05, 8.5, 30.0f}};
    {
        std::lock_guard lock(airportNamesMutex);
        airportNames["EDDF"] = "Frankfurt";
    }
    const Read r = read({a});
    EXPECT_EQ(r.only().name, "Frankfurt");
    EXPECT_EQ(r.names(), (Names{"helipad1", "helipad2", "g1"}));
    EXPECT_EQ(r.only().helipadNumber, 3);
    const auto& heli = r.only().stands[1];
    EXPECT_TRUE(heli.heli && !heli.cargo && !heli.ramp);
    EXPECT_EQ(heli.heading, 0.0);
    EXPECT_NEAR(heli.radius * 1852.0, 1.05, 1e-4);
    EXPECT_EQ(r.log, (Names{"double helipad Frankfurt (skipped) 50.010000,8.500000",
                            "skipped helipad with radius 1.0 meters, in x.bgl",
                            "skipped helipad with radius NAN meters, in x.bgl",
                            "lat/lon helipad incorrect (skipped): 0.000100,0.001000"}));
}

TEST_F(BglStands, AirportsBreakingTheirBoundsAreSkippedAlone) {
    bw::Airport tooMany = withParkings({gate(10, 1), gate(10, 2)});
    tooMany.icao = "LOWW";
    std::get<bw::ParkingList>(tooMany.subrecords[0]).count = 3;
    bw::Parking withCodes = gate(10, 1);
    withCodes.airlineCount = 3;
    bw::Airport airlines = withParkings({withCodes, gate(10, 2)});
    airlines.icao = "LOWI";
    bw::Airport cutSubrecord = withParkings({gate(10, 1)});
    cutSubrecord.icao = "LOWS";
    cutSubrecord.size = 68 + 20;  // the parking list runs past the record
    bw::Airport good = withParkings({gate(10, 1), gate(10, 2)});
    good.icao = "LOWG";
    // The cut airport comes last: the walk steps by its record size into its parking list.
    const Read r = read({tooMany, airlines, good, cutSubrecord});
    ASSERT_EQ(r.airports.size(), 4u);
    EXPECT_FALSE(r.airports[0].has_value());
    ASSERT_TRUE(r.airports[1].has_value());
    EXPECT_EQ(r.airports[1]->stands.size(), 2u);
    ASSERT_TRUE(r.airports[2].has_value());
    EXPECT_EQ(r.airports[2]->stands.size(), 2u);
    EXPECT_FALSE(r.airports[3].has_value());
    ASSERT_EQ(r.log.size(), 2u);
    EXPECT_EQ(r.log[0].rfind("===> airport LOWW skipped: ", 0), 0u) << r.log[0];
    EXPECT_EQ(r.log[1].rfind("===> airport LOWS skipped: ", 0), 0u) << r.log[1];
}

}  // namespace
}  // namespace vdl::test
