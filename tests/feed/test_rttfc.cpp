// Validation of RTTFC lines into TrafficRecords.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <map>
#include <numbers>
#include <tuple>
#include <stdexcept>

#include "feed/rttfc.h"
#include "feed_fixture.h"

namespace vdl {
namespace {

using test::airborneLine;
using test::groundLine;
using test::withField;

constexpr double rad = std::numbers::pi / 180.0;

// The two lines of RealTraffic's published documentation.
TEST(RttfcPublished, Release3LineWithOptionalFields) {
    const std::string line =
        "RTTFC,10750303,-33.7964,152.3938,20375,1376,1,66.77,484.30,UAL842,B789,N35953,SYD,LAX,1645144889.8,X2,UA842,"
        "F_adsb_icao,21350,343,466,0.744,-0.0,0.5,54.49,67.59,1280,none,A5,1012.8,35008,-1,54.84,"
        "autopilot|vnav|lnav|tcas,0.0,-20.8,227,19,-15,14,1,26235,268697";
    const TrafficRecord r = gf_parseRttfc(line, 500);
    EXPECT_EQ(r.hexid, 10750303u);
    EXPECT_EQ(std::tie(r.airl, r.callsign, r.callsignCopy, r.type, r.reg, r.origin, r.dest),
              std::make_tuple("UAL", "UAL842", "UAL842", "B789", "N35953", "SYD", "LAX"));
    EXPECT_DOUBLE_EQ(r.sampleTime, 1645144889.8);
    const StreamPos& p = r.pos;
    EXPECT_DOUBLE_EQ(p.lat, -33.7964);
    EXPECT_DOUBLE_EQ(p.lon, 152.3938);
    EXPECT_EQ(p.airborne, 1);
    EXPECT_DOUBLE_EQ(p.alt, 20375);
    EXPECT_DOUBLE_EQ(p.vs, 1376);
    EXPECT_DOUBLE_EQ(p.track, 66.77);
    EXPECT_DOUBLE_EQ(p.speed, 484.30);
    EXPECT_DOUBLE_EQ(p.tas, 466);
    EXPECT_DOUBLE_EQ(p.bank, -0.5 * rad);
    EXPECT_DOUBLE_EQ(p.trueHeading, 67.59 * rad);
    EXPECT_EQ(std::make_tuple(p.bankValid, p.headingValid, p.attitudeFlag, p.stop), std::make_tuple(1, 1, 1, 0));
    EXPECT_EQ(p.time, 3500u);
}

// Older release: 42 fields, blanks after commas, and field 6 reads 0 in flight.
TEST(RttfcPublished, Older42FieldLineWithBlanks) {
    const std::string line =
        "RTTFC,11234042,-33.9107,152.9902,26400,1248,0,90.12,490.00,AAL72,B789, N835AN,SYD,LAX,1645144774.2,X2,AA72,"
        "adsb_icao,27575,320,474,0.780, 0.0,0.0,78.93,92.27,1280,none,A5,1012.8,35008,-1,71.02, "
        "autopilot|vnav|lnav|tcas,0.0,-21.9,223,24,-30,0,1,170124";
    const TrafficRecord r = gf_parseRttfc(line, 0);
    EXPECT_EQ(r.hexid, 11234042u);
    EXPECT_EQ(r.callsign, "AAL72");
    EXPECT_EQ(r.airl, "AAL");
    EXPECT_EQ(r.reg, "N835AN");
    EXPECT_EQ(r.pos.airborne, 1);
    EXPECT_DOUBLE_EQ(r.pos.alt, 26400);
    EXPECT_DOUBLE_EQ(r.pos.vs, 1248);
    EXPECT_DOUBLE_EQ(r.pos.speed, 490);
    EXPECT_DOUBLE_EQ(r.pos.tas, 474);
    EXPECT_EQ(r.pos.bankValid, 1);
    EXPECT_DOUBLE_EQ(r.pos.bank, 0.0);
    EXPECT_DOUBLE_EQ(r.pos.trueHeading, 92.27 * rad);
    EXPECT_EQ(r.pos.time, 3000u);
}

struct CaptureExpect {
    uint32_t hexid;
    const char* callsign;
    const char* airl;
    uint8_t airborne;
    double alt;
    double vs;
    double tas;
    uint8_t headingValid;
    double headingDeg;
    uint8_t bankValid;
};

// Every line of the Düsseldorf capture parses; airliners, MLAT light aircraft with empty
// fields, aircraft parked at gates and gliders with ghost callsigns.
TEST(RttfcCapture, EveryLineOfEddlParses) {
    const std::map<uint32_t, CaptureExpect> expected = {
        {9004118, {9004118, "UAE31V", "UAE", 1, 25825, 1344, 470, 1, 142.58, 1}},
        {4958582, {4958582, "TKJ3VU", "TKJ", 1, 3650, 2816, 180, 1, 229.49, 1}},
        {4011981, {4011981, "DETJP", "", 1, 1000, -553, 75, 0, 0, 0}},
        {4768034, {4768034, "RYR75ZZ", "RYR", 1, 38000, 128, 450, 1, 284.2, 1}},
        {4000114, {4000114, "DEBVE", "", 1, 1625, 7, 152, 0, 0, 0}},
        {3770080, {3770080, "AFR18TC", "AFR", 1, 3325, -768, 226, 1, 231.53, 1}},
        {4192919, {4192919, "DMXTD", "", 1, 1950, -436, 50.8, 0, 0, 0}},
        {4003139, {4003139, "DEGHN", "", 1, 6250, 0, 107.2, 0, 0, 0}},
        {4962381, {4962381, "PGT31FP", "PGT", 0, 0, 0, 2.8, 1, 337.5, 0}},
        {4196594, {4196594, "BAW1DL", "BAW", 0, 0, 0, 0, 1, 0, 0}},
        {4004001, {4004001, "DEHOR", "", 1, 1400, 306, 94, 0, 0, 0}},
        {4087367, {4087367, "DKAXB", "", 1, 1325, -130, 71, 0, 0, 0}},
        {4008540, {4008540, "DEOHG", "", 1, 1800, -337, 70, 0, 0, 0}},
        {5055783, {5055783, "WZZ8344", "WZZ", 0, 0, 0, 21.5, 1, 61.88, 0}},
        {16712241, {16712241, "D4492_", "", 1, 141, 0, 1, 0, 0, 0}},
        {4958403, {4958403, "TKJ2WT", "TKJ", 0, 0, 0, 0, 0, 0, 0}},
        {16718293, {16718293, "DKAFN_", "", 0, 0, 0, 0, 0, 0, 0}},
        {16718964, {16718964, "D3866_", "", 0, 0, 0, 0, 0, 0, 0}},
    };
    std::ifstream in(test::sharedFile("testdata/realtraffic/eddl-2024-08-24.rttfc"));
    ASSERT_TRUE(in.good());
    std::string line;
    size_t count = 0;
    size_t onGround = 0;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        SCOPED_TRACE(line);
        TrafficRecord r;
        ASSERT_NO_THROW(r = gf_parseRttfc(line, 100));
        ++count;
        const auto it = expected.find(r.hexid);
        ASSERT_NE(it, expected.end());
        const CaptureExpect& e = it->second;
        EXPECT_EQ(r.callsign, e.callsign);
        EXPECT_EQ(r.airl, e.airl);
        EXPECT_EQ(r.pos.airborne, e.airborne);
        EXPECT_DOUBLE_EQ(r.pos.alt, e.alt);
        EXPECT_DOUBLE_EQ(r.pos.vs, e.vs);
        EXPECT_DOUBLE_EQ(r.pos.tas, e.tas);
        EXPECT_EQ(r.pos.headingValid, e.headingValid);
        EXPECT_NEAR(r.pos.trueHeading, e.headingDeg * rad, 1e-12);
        EXPECT_EQ(r.pos.bankValid, e.bankValid);
        EXPECT_EQ(r.pos.time, 3100u);
        EXPECT_GT(r.sampleTime, 1724517600.0);
        if (!r.pos.airborne) ++onGround;
    }
    EXPECT_EQ(count, 18u);
    EXPECT_EQ(onGround, 6u);
}

struct Refusal {
    const char* what;
    std::string line;
    const char* message;  // part of the exception text
};

// One line per refusal rule; each names its fault.
TEST(RttfcRefusal, EachRuleRefusesItsLine) {
    const std::vector<Refusal> cases = {
        {"hexid below 10001", withField(airborneLine, 1, "10000"), "hexid 10000 below 10001"},
        {"hexid zero", withField(airborneLine, 1, "0"), "below 10001"},
        {"hexid written in hex", withField(airborneLine, 1, "4AC2F1"), "hexid is not a decimal number"},
        {"negative hexid", withField(airborneLine, 1, "-5"), "hexid is not a decimal number"},
        {"hexid beyond 32 bits", withField(airborneLine, 1, "4294967296"), "hexid is not a decimal number"},
        {"hexid null", withField(airborneLine, 1, "null"), "hexid missing"},
        {"latitude above 90", withField(airborneLine, 2, "90.0001"), "latitude 90.0001 out of range"},
        {"latitude below -90", withField(airborneLine, 2, "-91"), "latitude -91 out of range"},
        {"longitude above 180", withField(airborneLine, 3, "180.5"), "longitude 180.5 out of range"},
        {"longitude below -180", withField(airborneLine, 3, "-181"), "longitude -181 out of range"},
        {"latitude missing", withField(airborneLine, 2, ""), "latitude missing"},
        {"longitude null", withField(airborneLine, 3, "null"), "longitude missing"},
        {"ground vehicle C1", withField(airborneLine, 28, "C1"), "category C1"},
        {"ground vehicle C2", withField(airborneLine, 28, "C2"), "category C2"},
        {"obstacle C3", withField(airborneLine, 28, "C3"), "category C3"},
        {"obstacle C4", withField(airborneLine, 28, "C4"), "category C4"},
        {"obstacle c5 lower case", withField(airborneLine, 28, " c5 "), "category c5"},
        {"airborne without altitude", withField(airborneLine, 4, ""), "altitude missing"},
        {"airborne flag 2", withField(airborneLine, 6, "2"), "neither 0 nor 1"},
        {"airborne flag missing", withField(airborneLine, 6, "null"), "airborne flag missing"},
        {"ground speed missing", withField(airborneLine, 8, "-1"), "ground speed missing"},
        {"negative ground speed", withField(airborneLine, 8, "-20"), "ground speed -20 negative"},
        {"track missing", withField(airborneLine, 7, ""), "track missing"},
        {"track beyond 360", withField(airborneLine, 7, "361"), "track 361 out of range"},
        {"time stamp missing", withField(airborneLine, 14, "null"), "time stamp missing"},
        {"latitude not a number", withField(airborneLine, 2, "51.2x"), "latitude is not a number"},
        {"altitude not a number", withField(airborneLine, 4, "FL120"), "altitude is not a number"},
        {"40 fields", airborneLine.substr(0, airborneLine.rfind(',')), "40 fields, at least 41 expected"},
        {"other tag", "RTPARK," + airborneLine.substr(6), "not a traffic line"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            gf_parseRttfc(c.line, 0);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// inf and nan are no positions, speeds or angles, whichever field carries them.
TEST(RttfcRefusal, NonFiniteNumbersAnywhereRefuseTheLine) {
    const std::vector<std::pair<size_t, const char*>> fields = {
        {2, "latitude"}, {3, "longitude"}, {4, "altitude"},  {5, "vertical rate"}, {7, "track"},
        {8, "ground speed"}, {14, "time stamp"}, {20, "true airspeed"}, {23, "roll"}, {25, "true heading"},
        {26, "geometric vertical rate"},
    };
    for (const auto& [index, name] : fields) {
        for (const char* value : {"nan", "inf", "-inf", "NaN", "1e999"}) {
            SCOPED_TRACE(fmt::format("field {} = {}", index, value));
            EXPECT_THROW(gf_parseRttfc(withField(airborneLine, index, value), 0), std::runtime_error);
            EXPECT_THROW(gf_parseRttfc(withField(groundLine, index, value), 0), std::runtime_error);
        }
    }
}

TEST(RttfcAccept, BoundaryValuesPass) {
    EXPECT_EQ(gf_parseRttfc(withField(airborneLine, 1, "10001"), 0).hexid, 10001u);
    EXPECT_EQ(gf_parseRttfc(withField(airborneLine, 1, "4294967295"), 0).hexid, 4294967295u);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(airborneLine, 2, "90"), 0).pos.lat, 90.0);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(airborneLine, 3, "-180"), 0).pos.lon, -180.0);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(airborneLine, 7, "360"), 0).pos.track, 0.0);
    for (const char* category : {"A1", "A7", "B2", "C0", "C6", "", "null"}) {
        SCOPED_TRACE(category);
        EXPECT_NO_THROW(gf_parseRttfc(withField(airborneLine, 28, category), 0));
    }
    // Blanks around every field are trimmed.
    std::string padded;
    for (const auto& f : test::splitFields(airborneLine)) padded += (padded.empty() ? "" : ",") + (" " + f + "\t");
    EXPECT_EQ(gf_parseRttfc(padded, 0).hexid, 4958582u);
    EXPECT_EQ(gf_parseRttfc(airborneLine + "\r\n", 0).hexid, 4958582u);
}

// Empty, null and -1 are unknown values; unknown optional values do not refuse a line.
TEST(RttfcUnknowns, NullEmptyAndMinusOne) {
    struct Case {
        const char* what;
        size_t index;
        const char* value;
        std::function<void(const TrafficRecord&)> check;
    };
    const std::vector<Case> cases = {
        {"callsign null", 9, "null", [](const TrafficRecord& r) { EXPECT_TRUE(r.callsign.empty()); EXPECT_TRUE(r.airl.empty()); }},
        {"callsign NULL", 9, "NULL", [](const TrafficRecord& r) { EXPECT_TRUE(r.callsign.empty()); }},
        {"type null", 10, "null", [](const TrafficRecord& r) { EXPECT_TRUE(r.type.empty()); }},
        {"registration empty", 11, "", [](const TrafficRecord& r) { EXPECT_TRUE(r.reg.empty()); }},
        {"origin null", 12, "null", [](const TrafficRecord& r) { EXPECT_TRUE(r.origin.empty()); }},
        {"destination blank", 13, "  ", [](const TrafficRecord& r) { EXPECT_TRUE(r.dest.empty()); }},
        {"true airspeed null: ground speed", 20, "null", [](const TrafficRecord& r) { EXPECT_DOUBLE_EQ(r.pos.tas, 151.3); }},
        {"true airspeed -1: ground speed", 20, "-1", [](const TrafficRecord& r) { EXPECT_DOUBLE_EQ(r.pos.tas, 151.3); }},
        {"roll empty", 23, "", [](const TrafficRecord& r) { EXPECT_EQ(r.pos.bankValid, 0); EXPECT_EQ(r.pos.attitudeFlag, 0); }},
        {"heading -1", 25, "-1", [](const TrafficRecord& r) { EXPECT_EQ(r.pos.headingValid, 0); EXPECT_EQ(r.pos.attitudeFlag, 0); }},
        {"heading null", 25, "null", [](const TrafficRecord& r) { EXPECT_EQ(r.pos.headingValid, 0); }},
        {"heading out of range", 25, "400", [](const TrafficRecord& r) { EXPECT_EQ(r.pos.headingValid, 0); }},
        {"heading 360", 25, "360", [](const TrafficRecord& r) { EXPECT_EQ(r.pos.headingValid, 1); EXPECT_DOUBLE_EQ(r.pos.trueHeading, 0.0); }},
        {"category null", 28, "null", [](const TrafficRecord& r) { EXPECT_EQ(r.hexid, 4958582u); }},
        {"barometric rate unknown: geometric", 5, "", [](const TrafficRecord& r) { EXPECT_DOUBLE_EQ(r.pos.vs, 2848); }},
        {"unused field garbage", 33, "x|y", [](const TrafficRecord& r) { EXPECT_EQ(r.hexid, 4958582u); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TrafficRecord r;
        ASSERT_NO_THROW(r = gf_parseRttfc(withField(airborneLine, c.index, c.value), 0));
        c.check(r);
    }
    // Neither rate known: level.
    auto fields = test::splitFields(airborneLine);
    fields[5] = "null";
    fields[26] = "";
    EXPECT_DOUBLE_EQ(gf_parseRttfc(test::joinFields(fields), 0).pos.vs, 0.0);
}

// Heading and vertical rate come from their own fields, never from "the first positive value".
TEST(RttfcFields, HeadingAndVerticalRateAreNotTheFirstPositive) {
    auto descent = test::splitFields(airborneLine);
    descent[5] = "-768";
    descent[26] = "1280";
    EXPECT_DOUBLE_EQ(gf_parseRttfc(test::joinFields(descent), 0).pos.vs, -768);

    auto level = test::splitFields(airborneLine);
    level[5] = "0";
    level[26] = "500";
    EXPECT_DOUBLE_EQ(gf_parseRttfc(test::joinFields(level), 0).pos.vs, 0);

    auto geomOnly = test::splitFields(airborneLine);
    geomOnly[5] = "";
    geomOnly[26] = "-800";
    EXPECT_DOUBLE_EQ(gf_parseRttfc(test::joinFields(geomOnly), 0).pos.vs, -800);

    // True north is a heading; the magnetic heading is never taken for the true one.
    auto north = test::splitFields(airborneLine);
    north[24] = "357";
    north[25] = "0";
    const TrafficRecord n = gf_parseRttfc(test::joinFields(north), 0);
    EXPECT_EQ(n.pos.headingValid, 1);
    EXPECT_DOUBLE_EQ(n.pos.trueHeading, 0.0);

    auto magOnly = test::splitFields(airborneLine);
    magOnly[25] = "";
    const TrafficRecord m = gf_parseRttfc(test::joinFields(magOnly), 0);
    EXPECT_EQ(m.pos.headingValid, 0);
    EXPECT_DOUBLE_EQ(m.pos.trueHeading, 0.0);
}

TEST(RttfcFields, BankIsMinusRollInRadiansOnlyAirborne) {
    const TrafficRecord left = gf_parseRttfc(withField(airborneLine, 23, "-12.48"), 0);
    EXPECT_EQ(left.pos.bankValid, 1);
    EXPECT_DOUBLE_EQ(left.pos.bank, 12.48 * rad);
    const TrafficRecord right = gf_parseRttfc(withField(airborneLine, 23, "30"), 0);
    EXPECT_DOUBLE_EQ(right.pos.bank, -30 * rad);
    EXPECT_EQ(right.pos.attitudeFlag, 1);

    const TrafficRecord ground = gf_parseRttfc(withField(groundLine, 23, "5"), 0);
    EXPECT_EQ(ground.pos.bankValid, 0);
    EXPECT_DOUBLE_EQ(ground.pos.bank, 0.0);
    EXPECT_EQ(ground.pos.attitudeFlag, 0);
}

TEST(RttfcFields, GroundRecordsHaveAltitudeZero) {
    auto f = test::splitFields(groundLine);
    f[4] = "150";
    f[5] = "64";
    const TrafficRecord r = gf_parseRttfc(test::joinFields(f), 0);
    EXPECT_EQ(r.pos.airborne, 0);
    EXPECT_DOUBLE_EQ(r.pos.alt, 0.0);
    EXPECT_DOUBLE_EQ(r.pos.vs, 0.0);
    // A ground record may lack the altitude.
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(groundLine, 4, ""), 0).pos.alt, 0.0);
    // A take-off roll at 180 kt stays on the ground; 250 kt is flight whatever the flag says.
    EXPECT_EQ(gf_parseRttfc(withField(groundLine, 8, "180"), 0).pos.airborne, 0);
    auto fast = test::splitFields(groundLine);
    fast[4] = "26400";
    fast[8] = "250";
    const TrafficRecord flying = gf_parseRttfc(test::joinFields(fast), 0);
    EXPECT_EQ(flying.pos.airborne, 1);
    EXPECT_DOUBLE_EQ(flying.pos.alt, 26400);
}

TEST(RttfcFields, DueTimeIsReceiptClockPlus3000WithWrap) {
    EXPECT_EQ(gf_parseRttfc(airborneLine, 0).pos.time, 3000u);
    EXPECT_EQ(gf_parseRttfc(airborneLine, 123456).pos.time, 126456u);
    EXPECT_EQ(gf_parseRttfc(airborneLine, 4294967000u).pos.time, 2704u);
}

}  // namespace
}  // namespace vdl
