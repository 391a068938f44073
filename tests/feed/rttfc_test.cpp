// Validation of RTTFC lines into TrafficRecords.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <numbers>
#include <stdexcept>
#include <tuple>

#include "feed/rttfc.h"
#include "feed_fixture.h"
#include "support/recorded_traffic.h"

namespace vdl {
namespace {

using test::airborneLine;
using test::groundLine;
using test::withField;

constexpr double rad = std::numbers::pi / 180.0;

// The two lines of RealTraffic's published documentation.
TEST(RttfcPublished, CurrentAndOlder42FieldLineWithBlanks) {
    const TrafficRecord r = gf_parseRttfc(
        "RTTFC,10750303,-33.7964,152.3938,20375,1376,1,66.77,484.30,UAL842,B789,N35953,SYD,LAX,1645144889.8,"
        "X2,UA842,"
        "F_adsb_icao,21350,343,466,0.744,-0.0,0.5,54.49,67.59,1280,none,A5,1012.8,35008,-1,54.84,"
        "autopilot|vnav|lnav|tcas,0.0,-20.8,227,19,-15,14,1,26235,268697",
        500);
    EXPECT_EQ(r.hexid, 10750303u);
    EXPECT_EQ(std::tie(r.airl, r.callsign, r.callsignCopy, r.type, r.reg, r.origin, r.dest),
              std::make_tuple("UAL", "UAL842", "UAL842", "B789", "N35953", "SYD", "LAX"));
    EXPECT_DOUBLE_EQ(r.sampleTime, 1645144889.8);
    const StreamPos& p = r.pos;
    EXPECT_EQ(std::tie(p.lat, p.lon, p.alt, p.vs, p.track, p.speed, p.tas),
              std::make_tuple(-33.7964, 152.3938, 20375.0, 1376.0, 66.77, 484.30, 466.0));
    EXPECT_DOUBLE_EQ(p.bank, -0.5 * rad);
    EXPECT_DOUBLE_EQ(p.trueHeading, 67.59 * rad);
    EXPECT_EQ(std::make_tuple(p.airborne, p.bankValid, p.headingValid, p.attitudeFlag, p.stop),
              std::make_tuple(1, 1, 1, 1, 0));
    EXPECT_EQ(p.time, 3500u);

    // Older release: blanks after commas, and field 6 reads 0 in flight.
    const TrafficRecord o = gf_parseRttfc(
        "RTTFC,11234042,-33.9107,152.9902,26400,1248,0,90.12,490.00,AAL72,B789, "
        "N835AN,SYD,LAX,1645144774.2,X2,AA72,"
        "adsb_icao,27575,320,474,0.780, 0.0,0.0,78.93,92.27,1280,none,A5,1012.8,35008,-1,71.02, "
        "autopilot|vnav|lnav|tcas,0.0,-21.9,223,24,-30,0,1,170124",
        0);
    EXPECT_EQ(std::tie(o.hexid, o.callsign, o.airl, o.reg),
              std::make_tuple(11234042u, "AAL72", "AAL", "N835AN"));
    EXPECT_EQ(std::tie(o.pos.airborne, o.pos.alt, o.pos.vs, o.pos.tas),
              std::make_tuple(1, 26400.0, 1248.0, 474.0));
    EXPECT_EQ(o.pos.bankValid, 1);
    EXPECT_DOUBLE_EQ(o.pos.trueHeading, 92.27 * rad);
    EXPECT_EQ(o.pos.time, 3000u);
}

// Airliners, MLAT light aircraft with empty fields, aircraft parked at gates, gliders with
// ghost callsigns: every line parses.
TEST(RttfcCapture, EveryLineOfEddlParses) {
    struct Expect {
        const char* callsign;
        const char* airl;
        uint8_t airborne;
        double alt, vs, tas;
        uint8_t headingValid;
        double headingDeg;
        uint8_t bankValid;
    };
    const std::map<uint32_t, Expect> expected = {
        {9004118, {"UAE31V", "UAE", 1, 25825, 1344, 470, 1, 142.58, 1}},
        {4958582, {"TKJ3VU", "TKJ", 1, 3650, 2816, 180, 1, 229.49, 1}},
        {4011981, {"DETJP", "", 1, 1000, -553, 75, 0, 0, 0}},
        {4768034, {"RYR75ZZ", "RYR", 1, 38000, 128, 450, 1, 284.2, 1}},
        {4000114, {"DEBVE", "", 1, 1625, 7, 152, 0, 0, 0}},
        {3770080, {"AFR18TC", "AFR", 1, 3325, -768, 226, 1, 231.53, 1}},
        {4192919, {"DMXTD", "", 1, 1950, -436, 50.8, 0, 0, 0}},
        {4003139, {"DEGHN", "", 1, 6250, 0, 107.2, 0, 0, 0}},
        {4962381, {"PGT31FP", "PGT", 0, 0, 0, 2.8, 1, 337.5, 0}},
        {4196594, {"BAW1DL", "BAW", 0, 0, 0, 0, 1, 0, 0}},
        {4004001, {"DEHOR", "", 1, 1400, 306, 94, 0, 0, 0}},
        {4087367, {"DKAXB", "", 1, 1325, -130, 71, 0, 0, 0}},
        {4008540, {"DEOHG", "", 1, 1800, -337, 70, 0, 0, 0}},
        {5055783, {"WZZ8344", "WZZ", 0, 0, 0, 21.5, 1, 61.88, 0}},
        {16712241, {"D4492_", "", 1, 141, 0, 1, 0, 0, 0}},
        {4958403, {"TKJ2WT", "TKJ", 0, 0, 0, 0, 0, 0, 0}},
        {16718293, {"DKAFN_", "", 0, 0, 0, 0, 0, 0, 0}},
        {16718964, {"D3866_", "", 0, 0, 0, 0, 0, 0, 0}},
    };
    VDL_RECORDED_TRAFFIC(capture, "realtraffic/eddl-2024-08-24.rttfc");
    std::ifstream in(capture);
    ASSERT_TRUE(in.good());
    size_t count = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        SCOPED_TRACE(line);
        TrafficRecord r;
        ASSERT_NO_THROW(r = gf_parseRttfc(line, 100));
        ++count;
        const auto it = expected.find(r.hexid);
        ASSERT_NE(it, expected.end());
        const Expect& e = it->second;
        EXPECT_EQ(std::tie(r.callsign, r.airl), std::make_tuple(e.callsign, e.airl));
        EXPECT_EQ(std::tie(r.pos.airborne, r.pos.alt, r.pos.vs, r.pos.tas),
                  std::make_tuple(e.airborne, e.alt, e.vs, e.tas));
        EXPECT_EQ(std::tie(r.pos.headingValid, r.pos.bankValid),
                  std::make_tuple(e.headingValid, e.bankValid));
        EXPECT_NEAR(r.pos.trueHeading, e.headingDeg * rad, 1e-12);
        EXPECT_EQ(r.pos.time, 3100u);
    }
    EXPECT_EQ(count, 18u);
}

// One line per refusal rule; each names its fault.
TEST(RttfcRefusal, EachRuleRefusesItsLine) {
    const std::pair<std::string, const char*> cases[] = {
        {withField(airborneLine, 1, "10000"), "hexid 10000 below 10001"},
        {withField(airborneLine, 1, "4AC2F1"), "hexid is not a decimal number"},
        {withField(airborneLine, 1, "null"), "hexid missing"},
        {withField(airborneLine, 2, "90.0001"), "latitude 90.0001 out of range"},
        {withField(airborneLine, 3, "-181"), "longitude -181 out of range"},
        {withField(airborneLine, 28, "C1"), "category C1"},
        {withField(airborneLine, 28, " c5 "), "category c5"},
        {withField(airborneLine, 4, ""), "altitude missing"},
        {withField(airborneLine, 6, "2"), "neither 0 nor 1"},
        {withField(airborneLine, 8, "-20"), "ground speed -20 negative"},
        {withField(airborneLine, 7, "361"), "track 361 out of range"},
        {withField(airborneLine, 14, "null"), "time stamp missing"},
        {withField(airborneLine, 4, "FL120"), "altitude is not a number"},
        {airborneLine.substr(0, airborneLine.rfind(',')), "40 fields, at least 41 expected"},
        {"RTPARK," + airborneLine.substr(6), "not a traffic line"},
        {withField(airborneLine, 9, std::string(1024 - airborneLine.size() + 7, 'X')),
         "line of 1025 characters"},
        // Values no aircraft reaches, in the air and on the ground alike.
        {withField(airborneLine, 4, "1e300"), "altitude 1e+300 out of range"},
        {withField(airborneLine, 4, "-1e300"), "altitude -1e+300 out of range"},
        {withField(airborneLine, 4, "100000.5"), "altitude 100000.5 out of range"},
        {withField(groundLine, 4, "-2001"), "altitude -2001 out of range"},
        {withField(airborneLine, 8, "2000.1"), "ground speed 2000.1 out of range"},
        {withField(airborneLine, 20, "1e9"), "true airspeed 1000000000 out of range"},
        {withField(airborneLine, 20, "-5"), "true airspeed -5 out of range"},
        {withField(airborneLine, 5, "-30001"), "vertical rate -30001 out of range"},
        {withField(groundLine, 5, "30001"), "vertical rate 30001 out of range"},
        {withField(airborneLine, 26, "1e6"), "geometric vertical rate 1000000 out of range"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(message);
        try {
            gf_parseRttfc(line, 0);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    const size_t numeric[] = {2, 4, 5, 8, 14, 20, 23, 25, 26};
    for (size_t index : numeric)  // non-finite numbers, whichever field
        for (const char* value : {"nan", "-inf", "1e999"}) {
            EXPECT_THROW(gf_parseRttfc(withField(airborneLine, index, value), 0), std::runtime_error)
                << index;
            EXPECT_THROW(gf_parseRttfc(withField(groundLine, index, value), 0), std::runtime_error) << index;
        }
    // Boundaries that pass.
    EXPECT_EQ(gf_parseRttfc(withField(airborneLine, 1, "10001"), 0).hexid, 10001u);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(airborneLine, 2, "90"), 0).pos.lat, 90.0);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(airborneLine, 7, "360"), 0).pos.track, 0.0);
    const std::pair<size_t, const char*> limits[] = {
        {4, "100000"}, {4, "-2000"}, {8, "2000"}, {20, "2000"}, {5, "-30000"}, {26, "30000"}};
    for (const auto& [index, value] : limits)
        EXPECT_NO_THROW(gf_parseRttfc(withField(airborneLine, index, value), 0)) << index << " " << value;
    for (const char* category : {"C0", "C6", "null"})
        EXPECT_NO_THROW(gf_parseRttfc(withField(airborneLine, 28, category), 0)) << category;
}

// null, empty and -1 are unknown; unknown optional values do not refuse a line.
TEST(RttfcUnknowns, NullEmptyAndMinusOne) {
    const auto parse = [](size_t i, const char* v) {
        return gf_parseRttfc(withField(airborneLine, i, v), 0);
    };
    const TrafficRecord noCallsign = parse(9, "null");
    EXPECT_TRUE(noCallsign.callsign.empty());
    EXPECT_TRUE(noCallsign.airl.empty());
    EXPECT_TRUE(parse(11, "").reg.empty());
    EXPECT_TRUE(parse(13, "  ").dest.empty());
    EXPECT_DOUBLE_EQ(parse(20, "-1").pos.tas, 151.3);  // ground speed stands in
    EXPECT_DOUBLE_EQ(parse(20, "null").pos.tas, 151.3);
    EXPECT_EQ(parse(23, "").pos.bankValid, 0);
    for (const char* heading : {"-1", "null", "400"}) {
        const TrafficRecord r = parse(25, heading);
        EXPECT_EQ(r.pos.headingValid, 0) << heading;
        EXPECT_EQ(r.pos.attitudeFlag, 0) << heading;
    }
    // Vertical rate: the barometric one, else the geometric one, else level; never "the first positive".
    EXPECT_DOUBLE_EQ(parse(5, "").pos.vs, 2848);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(withField(airborneLine, 5, "-768"), 26, "1280"), 0).pos.vs,
                     -768);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(withField(airborneLine, 5, "0"), 26, "500"), 0).pos.vs, 0);
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(withField(airborneLine, 5, "null"), 26, ""), 0).pos.vs, 0);
    // True north is a heading; the magnetic one never stands in for it.
    const TrafficRecord north = gf_parseRttfc(withField(withField(airborneLine, 24, "357"), 25, "0"), 0);
    EXPECT_EQ(north.pos.headingValid, 1);
    EXPECT_DOUBLE_EQ(north.pos.trueHeading, 0.0);
}

// Identity fields become printable at intake, whatever bytes the feed sends.
TEST(RttfcIdentity, ControlBytesAndBrokenUtf8BecomePrintable) {
    const std::pair<std::string, std::string> cases[] = {
        {std::string("KLM\0" "12", 6), "KLM?12"},
        {"KLM\x1B[2J1", "KLM?[2J1"},
        {"AF\xFF\xFE", "AF??"},
        {"SAS\xC2\x9B" "1", "SAS?1"},
        {"D-\xC3\x84" "BC", "D-\xC3\x84" "BC"},  // printable beyond ASCII stays
        {"Z\x7F", "Z?"},
    };
    for (size_t field : {9, 10, 11, 12, 13})
        for (const auto& [in, out] : cases) {
            const TrafficRecord r = gf_parseRttfc(withField(airborneLine, field, in), 0);
            const std::string got[] = {r.callsign, r.type, r.reg, r.origin, r.dest};
            EXPECT_EQ(got[field - 9], out) << field << " " << in;
            if (field == 9) {
                EXPECT_EQ(r.callsignCopy, out);
            }
        }
    EXPECT_EQ(gf_parseRttfc(withField(airborneLine, 9, "\x1B" "KLM123"), 0).airl, "");
}

TEST(RttfcFields, BankGroundAltitudeAndDueTime) {
    const TrafficRecord left = gf_parseRttfc(withField(airborneLine, 23, "-12.48"), 0);
    EXPECT_EQ(left.pos.bankValid, 1);
    EXPECT_DOUBLE_EQ(left.pos.bank, 12.48 * rad);
    // A roll past the vertical is no bank, but the line stays.
    for (const char* roll : {"90.5", "-91", "1e300"}) {
        const TrafficRecord r = gf_parseRttfc(withField(airborneLine, 23, roll), 0);
        EXPECT_EQ(std::tie(r.pos.bankValid, r.pos.attitudeFlag), std::make_tuple(0, 0)) << roll;
        EXPECT_DOUBLE_EQ(r.pos.bank, 0.0) << roll;
    }
    EXPECT_EQ(gf_parseRttfc(withField(airborneLine, 23, "-90"), 0).pos.bankValid, 1);
    const TrafficRecord ground = gf_parseRttfc(withField(groundLine, 23, "5"), 0);
    EXPECT_EQ(std::tie(ground.pos.bankValid, ground.pos.attitudeFlag), std::make_tuple(0, 0));
    EXPECT_DOUBLE_EQ(ground.pos.bank, 0.0);

    const TrafficRecord r = gf_parseRttfc(withField(withField(groundLine, 4, "150"), 5, "64"), 0);
    EXPECT_EQ(std::tie(r.pos.airborne, r.pos.alt, r.pos.vs), std::make_tuple(0, 0.0, 0.0));
    EXPECT_DOUBLE_EQ(gf_parseRttfc(withField(groundLine, 4, ""), 0).pos.alt, 0.0);
    // A take-off roll at 180 kt stays on the ground; 250 kt is flight whatever the flag says.
    EXPECT_EQ(gf_parseRttfc(withField(groundLine, 8, "180"), 0).pos.airborne, 0);
    const TrafficRecord flying = gf_parseRttfc(withField(withField(groundLine, 4, "26400"), 8, "250"), 0);
    EXPECT_EQ(std::tie(flying.pos.airborne, flying.pos.alt), std::make_tuple(1, 26400.0));

    EXPECT_EQ(gf_parseRttfc(airborneLine, 123456).pos.time, 126456u);
    EXPECT_EQ(gf_parseRttfc(airborneLine, 4294967000u).pos.time, 2704u);  // wraps with clock100
}

}  // namespace
}  // namespace vdl
