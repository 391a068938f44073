// Loading a park airport's stand file: error texts, the checks that end a load, numbering and
// adjacency, and the learned file's merge.
#include "airports/stand_load.h"

#include <gtest/gtest.h>

#include <random>

#include "airports/stand_file.h"
#include "airports/stand_learned.h"
#include "foundation/errors.h"
#include "foundation/geo.h"
#include "foundation/utf8_path.h"
#include "stand_fixture.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::pair<std::string, std::string>> stockParameters = {
    {"airport_name", "Test Field"}, {"publisher", "stock"}, {"altitude", "147"}, {"Qf_real", "50"}};

std::string baseStands() {
    return standElement("A1", 51.28, 6.75, 30.0, "cargo=\"false\"", "<opt airl=\"DLH\" type=\"A320\" day=\"1\" hh=\"10\"/>") +
           standElement("A2", 51.281, 6.75, 30.0) + standElement("B1", 51.29, 6.76, 40.0);
}

class StandLoad : public StandFilesTest {
  protected:
    void SetUp() override {
        StandFilesTest::SetUp();
        fs::create_directories("airports/my_thirdparty");
        setParkAirport("EDDL");
    }
    void writeBase(const std::string& text) { writeWholeFile("airports/my_thirdparty/EDDL.xml", text); }
    void writeLearned(const std::string& text) {
        fs::create_directories("airports/learned/thirdparty/stock");
        fs::create_directories("airports/learned/stock");
        writeWholeFile(learnedPath, text);
    }
    std::string load() {
        parkPositions.clear();
        standFileInfo = {};
        return gf_readApf(reference, standFileInfo, standFileQuality, parkPositions);
    }
    const ParkPos* stand(const std::string& name) {
        for (const auto& s : parkPositions)
            if (s.name == name) return &s;
        return nullptr;
    }
    const std::string reference = "airports/my_thirdparty/EDDL.xml";
    const fs::path learnedPath = "airports/learned/stock/EDDL.xml";
    // The learned path as the log shows it: with the system's separators.
    const std::string learnedText = gf_utf8FromPath(fs::path(learnedPath).make_preferred());
};

TEST_F(StandLoad, LocalFileWithoutLearnedFile) {
    writeBase(standFileText(stockParameters, baseStands()));
    parking_percentage.set(70);
    EXPECT_EQ(load(), "");
    ASSERT_EQ(parkPositions.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(parkPositions[i].id, i + 1);
    EXPECT_EQ(parkPositions[0].options.size(), 1u);
    EXPECT_EQ(parkPositions[0].options[0].fixed, 1u);
    EXPECT_EQ(standFileInfo.airportName, "Test Field");
    EXPECT_EQ(standFileInfo.publisher, "stock");
    EXPECT_EQ(standFileInfo.altitude, 147);
    EXPECT_EQ(standFileQuality.real, 50);
    EXPECT_EQ(standFileQuality.soft, -1);
    EXPECT_EQ(parking_percentage.value(), 30);
    EXPECT_FALSE(parking_percentage.enabled());
    EXPECT_TRUE(parkingActive.load());
    EXPECT_EQ(currentParkAirport.elevation, 147.0);
    const std::string l = log();
    EXPECT_NE(l.find("Airport file read from \"airports/my_thirdparty/EDDL.xml\" for Test Field"), std::string::npos);
    EXPECT_NE(l.find("quality factor          : 50\n"), std::string::npos);
    EXPECT_NE(l.find("parking_percentage      : 30%"), std::string::npos);
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "stands"), "3");
}

TEST_F(StandLoad, ErrorTexts) {
    EXPECT_EQ(gf_readApf("", standFileInfo, standFileQuality, parkPositions), "gf_readApf xml is empty...");
    setParkAirport("");
    EXPECT_EQ(load(), "gf_readApf no park airport set");
    setParkAirport("EDDL");
    writeBase("<meta>");
    EXPECT_EQ(load().rfind("airports/my_thirdparty/EDDL.xml could not be loaded: ", 0), 0u);
    writeBase(standFileText(stockParameters, baseStands(), false));
    EXPECT_EQ(load(), "airports/my_thirdparty/EDDL.xml but refused to load, copyright problem");
    EXPECT_FALSE(parkingActive.load());
    writeBase(standFileText(stockParameters, "", true, false));
    EXPECT_EQ(load(), "no stands found");
    EXPECT_TRUE(parkingActive.load());
    // No update server: a server path fails without a transfer.
    EXPECT_EQ(gf_readApf("archive/stock/EDDL.xml", standFileInfo, standFileQuality, parkPositions),
              "failed to download: \"archive/stock/EDDL.xml\"");
}

TEST_F(StandLoad, FailedChecksEndTheLoadNotTheRun) {
    struct Case {
        std::string text;
        int code;
        std::string answer;
    } cases[] = {
        {standFileText({{"publisher", "stock"}}, baseStands()), 65, "65: Parameter altitude not found"},
        {standFileText(stockParameters, baseStands() + standElement("A2", 51.3, 6.7, 20.0)), 94,
         "94: Parking position A2 appears more than once?"},
        {standFileText(stockParameters, "<parkpos latitude=\"1\" longitude=\"1\"/><parkpos/>"), 94,
         "94: Parking position  appears more than once?"},
    };
    for (const auto& c : cases) {
        writeBase(c.text);
        setParkAirport("EDDL");
        try {
            load();
            ADD_FAILURE() << c.code;
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.code(), c.code);
        }
        setParkAirport("EDDL");
        parkingActive = true;
        EXPECT_EQ(gf_readParkedFile(), c.answer);
        EXPECT_EQ(gf_parkAirportCode(), "");
        EXPECT_FALSE(parkingActive.load());
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_EQ(mainWindow.statusLine(), c.answer);
    }
    setParkAirport("LSZH");
    EXPECT_EQ(gf_readParkedFile(), "lf_readParkedFile LSZH not found");
}

TEST_F(StandLoad, AdjacencyBoundary) {
    // 100 m apart: radii of 60 m overlap (120 > 110), of 54 m do not.
    const double dLat = 100.0 / 1852.0 / (earthDiameterNm / 2.0) * 180.0 / 3.141592653589793;
    for (const auto& [radius, adjacent] : {std::pair{60.0, true}, std::pair{54.0, false}, std::pair{56.0, true}}) {
        std::vector<ParkPos> s;
        s.emplace_back("a", std::vector<ParkPosOption>{}, 50.0, 6.0, 0.0, radius, false, false, false);
        s.emplace_back("b", std::vector<ParkPosOption>{}, 50.0 + dLat, 6.0, 0.0, radius, false, false, false);
        gf_numberAndLinkStands(s);
        EXPECT_EQ(s[0].adjacent, adjacent ? std::vector<uint32_t>{2} : std::vector<uint32_t>{}) << radius;
        EXPECT_EQ(s[1].adjacent, adjacent ? std::vector<uint32_t>{1} : std::vector<uint32_t>{}) << radius;
    }
}

void expectPairwiseRule(std::vector<ParkPos>& s, const std::string& layout) {
    gf_numberAndLinkStands(s);
    for (const auto& a : s) {
        std::vector<uint32_t> expected;
        for (const auto& b : s)
            if (b.id != a.id && a.radius + b.radius > 1.1 * gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}))
                expected.push_back(b.id);
        ASSERT_EQ(a.adjacent, expected) << layout << " " << a.name;
    }
}

TEST_F(StandLoad, AdjacencyEqualsThePairwiseRule) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> offset(-0.004, 0.004), metres(5.0, 80.0);
    for (double lat0 : {51.28, -89.999, 0.0}) {
        std::vector<ParkPos> s;
        for (int i = 0; i < 800; ++i)
            s.emplace_back(std::string("s").append(std::to_string(i)), std::vector<ParkPosOption>{}, std::clamp(lat0 + offset(random), -90.0, 90.0),
                           179.999 + offset(random) - (i % 2 ? 359.998 : 0.0), 0.0, metres(random), false, false, false);
        s.emplace_back("big", std::vector<ParkPosOption>{}, lat0, 6.0, 0.0, 3000.0, false, false, false);
        expectPairwiseRule(s, "random " + std::to_string(lat0));
        size_t links = 0;
        for (const auto& a : s) links += a.adjacent.size();
        EXPECT_GT(links, 0u);
    }
    // Rows of stands at one latitude, as at real aprons, also across the 180th meridian and near
    // a pole; stands on one spot; radii of 0 and of a hair.
    struct Layout {
        const char* name;
        double lat0, lon0, stepM, radiusM;
        int columns;
    };
    const Layout layouts[] = {
        {"rows", 47.45, 8.55, 70.0, 40.0, 20},         {"rows across 180", -16.0, 179.995, 60.0, 35.0, 12},
        {"rows at the pole", 89.9995, 30.0, 15.0, 10.0, 10}, {"one spot", 10.0, 10.0, 0.0, 20.0, 5},
        {"zero radii", 10.0, 10.0, 0.0, 0.0, 4},       {"hair radii", 10.0, 10.0, 1e-9, 1e-9, 4},
    };
    for (const Layout& l : layouts) {
        std::vector<ParkPos> s;
        for (int i = 0; i < l.columns * 6; ++i) {
            const double lat = l.lat0 + (i / l.columns) * l.stepM / 111132.0;
            double lon = l.lon0 + (i % l.columns) * l.stepM / 111132.0 / std::cos(l.lat0 * 0.017453292519943295);
            if (lon > 180.0) lon -= 360.0;
            s.emplace_back("s" + std::to_string(i), std::vector<ParkPosOption>{}, std::min(lat, 90.0), lon, 0.0,
                           l.radiusM * (1.0 + (i % 3) * 0.1), false, false, false);
        }
        expectPairwiseRule(s, l.name);
    }
}

TEST_F(StandLoad, LearnedFileMerge) {
    writeBase(standFileText(stockParameters, baseStands()));
    const std::string learnedStands =
        standElement("A1", 0, 0, 0, "",
                     "<opt airl=\"DLH\" type=\"A320\" day=\"1\" hh=\"9,10\"/>"  // same as the base option: dropped
                     "<opt airl=\"DLH\" type=\"A320\" day=\"1\" hh=\"11\" cs=\"DLH7\"/>"
                     "<opt airl=\"DLH\" type=\"A320\" day=\"1\" hh=\"11,12\" soft=\"true\"/>") +
        "<parkpos id=\"A2\" radius_change=\"true\" radius=\"30\" cargo_change=\"yes\" cargo=\"true\"/>" +
        "<parkpos id=\"B1\" radius_change=\"true\"/>" + "<parkpos id=\"gone\"/>" +
        standElement("M1", 51.3, 6.8, 25.0, "manual=\"true\"") + standElement("A1", 51.3, 6.8, 25.0, "manual=\"true\"") +
        standElement("M2", 0.0005, 0.01, 25.0, "manual=\"true\"") + standElement("M3", 0.0005, 0.06, 25.0, "manual=\"true\"") +
        standElement("M4", 51.3, 6.8, 0.0, "manual=\"true\"") + standElement("M5", 91.0, 6.8, 20.0, "manual=\"true\"");
    writeLearned(standFileText({{"airport_name", "Other Name"}, {"MAX_LIVE", "500"}, {"MAX_FIT", "47"},
                                {"parking_percentage", "150"}, {"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "1"}},
                               learnedStands));
    const std::string original = readWholeFile(learnedPath);
    EXPECT_EQ(load(), "");
    const ParkPos* a1 = stand("A1");
    ASSERT_NE(a1, nullptr);
    ASSERT_EQ(a1->options.size(), 3u);
    EXPECT_EQ(a1->options[1].id, 2u);
    EXPECT_EQ(a1->options[1].callsign1(), "DLH7");
    EXPECT_EQ(a1->options[1].fixed, 0u);
    EXPECT_EQ(a1->options[2].id, 3u);
    EXPECT_EQ(a1->options[2].kind, optionSoft);
    EXPECT_NEAR(stand("A2")->radius, 30.0 * nmPerMetre, 1e-12);
    EXPECT_TRUE(stand("A2")->cargo && stand("A2")->cargoChange && stand("A2")->radiusChange);
    EXPECT_EQ(stand("B1")->radius, 0.0);
    EXPECT_TRUE(stand("M1") && stand("M1")->manual);
    EXPECT_TRUE(stand("M3") && stand("M3")->manual);
    EXPECT_FALSE(stand("M2") || stand("M4") || stand("M5") || stand("gone"));
    EXPECT_FALSE(stand("B1")->manual);  // a refused manual stand marks no other
    EXPECT_EQ(parkPositions.back().id, parkPositions.size());
    EXPECT_EQ(MAX_LIVE.value(), 300);
    EXPECT_EQ(MAX_FIT_FL.value(), 24.0f);
    EXPECT_EQ(parking_percentage.value(), 100);
    EXPECT_EQ(LATERAL_RANGE.value(), 2);
    EXPECT_GE(standFileQuality.real, 0);  // computed, not the file's 50
    EXPECT_NE(standFileQuality.real, 50);
    const std::string l = log();
    for (const std::string& line : std::vector<std::string>{
             "MAX_LIVE                : 500", "MAX_FIT                 : 47 (max number of half hours, is 24 hrs decimal)",
             "learned stand gone in " + learnedText + " not found?",
                             "manually created standid A1 already exists in", "manually created standid M2 misses correct attributes",
                             "manually created standid M4 misses correct attributes", "differs from archived file airport name"})
        EXPECT_NE(l.find(line), std::string::npos) << line;
    // Elements were dropped: the file is kept aside before a save can write over it.
    EXPECT_EQ(readWholeFile("airports/learned/stock/EDDL0.xml"), original);
}

// Each learned option against the base option (DLH A320, day 1, half hour 10) and the options
// appended before it from the same element; other children than "opt" are no options.
TEST_F(StandLoad, LearnedOptionDuplicates) {
    writeBase(standFileText(stockParameters, baseStands()));
    struct Row {
        const char* opt;
        uint32_t id;  // 0: dropped as a duplicate
    };
    const std::vector<Row> rows = {
        {R"(<opt airl="DLH" type="A320" day="1" hh="20,21"/>)", 2},
        {R"(<opt airl="DLH" type="A320" day="1" hh="21"/>)", 0},  // same as the one just appended
        {R"(<opt airl="DLH" type="A320" day="2" hh="10"/>)", 3},
        {R"(<opt airl="DLH" type="B738" day="1" hh="10"/>)", 4},
        {R"(<opt airl="EWG" type="A320" day="1" hh="10"/>)", 5},
        {R"(<opt reg="X-TEST" airl="DLH" type="A320" day="1" hh="10"/>)", 6},
        {R"(<opt airl="DLH" type="A320" day="1" hh="10" soft="true"/>)", 7},
        {R"(<opt airl="DLH" type="A320" day="1"/>)", 8},  // no half hour: never the same
        {R"(<opt airl="DLH" type="A320" day="1"/>)", 9},
        {R"(<note day="1" hh="30"/>)", 0},
        {R"(<opt airl="DLH" type="A320" day="1" hh="10,x"/>)", 0},  // dropped, its bad item still logged
        {R"(<opt airl="DLH" type="A320" day="1" hh="9,22"/>)", 10},
    };
    std::string children;
    std::vector<std::string> kept;
    for (const auto& row : rows) {
        children += row.opt;
        if (row.id != 0) kept.push_back(row.opt);
    }
    writeLearned(standFileText({}, standElement("A1", 0, 0, 0, "", children)));
    EXPECT_EQ(load(), "");
    const ParkPos* a1 = stand("A1");
    ASSERT_NE(a1, nullptr);
    ASSERT_EQ(a1->options.size(), kept.size() + 1);
    size_t k = 1;
    for (const auto& row : rows) {
        if (row.id == 0) continue;
        EXPECT_EQ(a1->options[k].id, row.id) << row.opt;
        EXPECT_EQ(a1->options[k].fixed, 0u) << row.opt;
        ++k;
    }
    EXPECT_EQ(gf_bitset2hours(a1->options[1].hours), "20,21");
    EXPECT_EQ(a1->options[5].reg(), "X-TEST");
    EXPECT_EQ(gf_bitset2hours(a1->options.back().hours), "9,22");
    EXPECT_NE(log().find("lf_mergeLearnedParkPos invalid hour \"x\" in 10,x"), std::string::npos);
}

TEST_F(StandLoad, LearnedParametersAbsentAndHandmadeFiles) {
    writeBase(standFileText(stockParameters, baseStands()));
    MAX_LIVE.set(20);
    LATERAL_RANGE.set(40);
    writeLearned(standFileText({{"airport_name", "Test Field"}, {"handmade", "false"}},
                               standElement("H1", 51.0, 6.0, 20.0) + standElement("H2", 51.1, 6.0, 20.0)));
    EXPECT_EQ(load(), "");
    EXPECT_EQ(MAX_LIVE.value(), -1);
    EXPECT_EQ(parking_percentage.value(), 30);
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_TRUE(handmadeLoaded);
    ASSERT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(parkPositions[0].name, "H1");
    EXPECT_NE(log().find("handmade                : false"), std::string::npos);
    EXPECT_NE(log().find("Airport file read from \"" + learnedText + "\""), std::string::npos);
    EXPECT_FALSE(fs::exists("airports/learned/stock/EDDL0.xml"));
    // A repeated id keeps the stands before it, and the file is kept aside.
    writeLearned(standFileText({{"handmade", "true"}}, standElement("H1", 51.0, 6.0, 20.0) + standElement("H2", 51.1, 6.0, 20.0) +
                                                           standElement("H1", 51.2, 6.0, 20.0)));
    EXPECT_EQ(load(), "");
    EXPECT_EQ(parkPositions.size(), 2u);
    EXPECT_NE(log().find("gf_readLearned: 94: Parking position H1 appears more than once?"), std::string::npos);
    EXPECT_TRUE(fs::exists("airports/learned/stock/EDDL0.xml"));
    // Without "parkpositions" the airport has no stands.
    writeLearned(standFileText({{"handmade", "true"}}, "", true, false));
    EXPECT_EQ(load(), "no stands found");
}

TEST_F(StandLoad, UnreadableOrRefusedLearnedFilesAreKeptAside) {
    writeBase(standFileText(stockParameters, baseStands()));
    parking_percentage.set(55);
    writeLearned("<meta><broken");
    EXPECT_EQ(load(), "");
    EXPECT_EQ(parkPositions.size(), 3u);
    EXPECT_EQ(parking_percentage.value(), 55);
    EXPECT_EQ(readWholeFile("airports/learned/stock/EDDL0.xml"), "<meta><broken");
    EXPECT_NE(log().find("found, but could not be loaded, saved as *.0.xml"), std::string::npos);
    const std::string refused = standFileText({}, standElement("A1", 0, 0, 0, "", "<opt day=\"2\" hh=\"1\"/>"), false);
    writeLearned(refused);
    EXPECT_EQ(load(), "");
    EXPECT_EQ(parkPositions[0].options.size(), 1u);
    EXPECT_EQ(readWholeFile("airports/learned/stock/EDDL0.xml"), refused);
    EXPECT_EQ(gf_learnedBackupPath("a.b/EHAM.xml"), fs::path("a.b/EHAM0.xml"));
    EXPECT_EQ(gf_learnedBackupPath("a.b/EHAM"), fs::path());
}

}  // namespace
}  // namespace vdl::test

namespace vdl::test {
namespace {

// The shipped demonstration files load from airports/stock, and EDDL has a stand at each place
// where the scenario's flights park or start.
TEST_F(StandLoad, ShippedStockFiles) {
    fs::create_directories("airports/stock");
    for (const char* code : {"EDDL", "LSZH"})
        fs::copy_file(fs::path(VDL_SOURCE_DIR) / "data/airports/stock" / (std::string(code) + ".xml"),
                      fs::path("airports/stock") / (std::string(code) + ".xml"));
    fs::remove("airports/my_thirdparty/EDDL.xml");
    EXPECT_EQ(gf_findApf("EDDL"), "airports/stock/EDDL.xml");
    setParkAirport("EDDL");
    ASSERT_EQ(gf_readParkedFile(), "");
    EXPECT_GE(parkPositions.size(), 30u);
    EXPECT_GE(standFileQuality.real, 0);
    for (const LatLon gate : {LatLon{51.276331, 6.758016}, LatLon{51.276880, 6.759350}, LatLon{51.277954, 6.756878},
                              LatLon{51.277910, 6.761120}}) {
        const bool found = std::any_of(parkPositions.begin(), parkPositions.end(), [&](const ParkPos& s) {
            return gf_distanceNm(gate, {s.lat, s.lon}) * 1852.0 < 1.0 && s.adjacent.empty();
        });
        EXPECT_TRUE(found) << gate.lat << " " << gate.lon;
    }
    // Options over every half hour of the week on part of the stands.
    const auto week = std::count_if(parkPositions.begin(), parkPositions.end(), [](const ParkPos& s) {
        return s.options.size() == 7 && std::all_of(s.options.begin(), s.options.end(), [](const ParkPosOption& o) {
                   return o.hours.all() && o.kind == optionReal;
               });
    });
    EXPECT_GE(week, 10);
    setParkAirport("LSZH");
    ASSERT_EQ(gf_readParkedFile(), "");
    EXPECT_GE(parkPositions.size(), 7u);
    EXPECT_EQ(standFileInfo.altitude, 1416);
}

}  // namespace
}  // namespace vdl::test
