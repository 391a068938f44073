#include "refdata/airport_refs.h"

#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "refdata/hooks.h"
#include "refdata/regcodes.h"
#include "support/odd_files.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

const char* smallRefs = R"(<?xml version="1.0" encoding="UTF-8"?>
<Airports>
  <airport ICAO="EHAM" IATA="AMS" lat="52.308601" lon="4.763890" elev="-11"/>
  <airport ICAO="EDDL" IATA="DUS" lat="51.289501" lon="6.766780" elev="147"/>
  <airport ICAO="EDLW" IATA="DTM" lat="51.518299" lon="7.612240" elev="425"/>
  <airport ICAO="EHA" IATA="" lat="1" lon="1" elev="0"/>
  <airport ICAO="EDDK" IATA="CGN" lat="200" lon="7.14" elev="302"/>
  <airport ICAO="EDDL" IATA="XXX" lat="0" lon="0" elev="0"/>
  <airport ICAO="EHRD" lat="51.956902" lon="4.437220"/>
</Airports>
)";

class AirportRefsTest : public RefFilesTest {
  protected:
    void SetUp() override {
        RefFilesTest::SetUp();
        fs::create_directories("input");
        writeWholeFile("input/airports_msfs.xml", smallRefs);
    }
};

TEST_F(AirportRefsTest, ListIsSortedAndLookedUpByExactCode) {
    ASSERT_TRUE(gf_readAirportRefs());
    {
        std::lock_guard lock(airportRefsMutex);
        ASSERT_EQ(airportRefs.size(), 4u);  // a 3-letter code, a bad latitude and a repeat skipped
        EXPECT_EQ(airportRefs[0].code, "EDDL");
        EXPECT_EQ(airportRefs[3].code, "EHRD");
    }
    EXPECT_EQ(gf_findAirportRef("EDDL").value().iata, "DUS");  // the first of two entries
    EXPECT_DOUBLE_EQ(gf_findAirportRef("EHAM")->elev, -11.0);
    for (const char* miss : {"eham", "EHA", "EHAMX", "", "EDDK", "AAAA", "ZZZZ"})
        EXPECT_FALSE(gf_findAirportRef(miss)) << miss;
    // A broken file keeps the list loaded before.
    writeWholeFile("input/airports_msfs.xml", "<Airports><airport ICAO=");
    EXPECT_FALSE(gf_readAirportRefs());
    writeWholeFile("input/other.xml", "<Airports/>");
    EXPECT_FALSE(gf_readAirportRefs("input/other.xml"));
    EXPECT_TRUE(gf_findAirportRef("EHAM"));
}

TEST_F(AirportRefsTest, ShippedReferenceDataLoads) {
    const fs::path input = fs::path(VDL_SOURCE_DIR) / "data" / "input";
    ASSERT_TRUE(gf_readAirportRefs(input / "airports_msfs.xml"));
    {
        std::lock_guard lock(airportRefsMutex);
        EXPECT_GT(airportRefs.size(), 9000u);
    }
    const auto den = gf_findAirportRef("KDEN");
    ASSERT_TRUE(den);
    EXPECT_EQ(den->iata, "DEN");
    EXPECT_NEAR(den->lat + den->lon, 39.86 - 104.67, 0.02);
    EXPECT_NEAR(den->elev, 5431, 60);  // in feet
    EXPECT_FALSE(gf_readAirportNames("input/none.xml"));
    ASSERT_TRUE(gf_readAirportNames(input / "airports_msfs_names.xml"));
    std::lock_guard lock(airportNamesMutex);
    EXPECT_EQ(airportNames.at("EHAM"), "Amsterdam Airport Schiphol");
}

TEST_F(AirportRefsTest, ClosestAirportAsksTheStandsWhenTwoAreInReach) {
    ASSERT_TRUE(gf_readAirportRefs());
    // Between Düsseldorf and Dortmund, a little closer to Düsseldorf's reference point.
    const double lat = 51.40, lon = 7.15;
    EXPECT_FALSE(gf_closestAirport(lat, lon, 5.0));
    EXPECT_EQ(gf_closestAirport(lat, lon, 30.0)->code, "EDDL");  // no hook: nearest reference point

    std::vector<std::string> asked;
    gf_setClosestStandHook([&](const std::string& code, double, double, std::string& stand) {
        asked.push_back(code);
        stand = code + "-1";
        return code == "EDLW" ? 2.0 : 100.0;  // only Dortmund has a stand file
    });
    EXPECT_EQ(gf_closestAirport(lat, lon, 30.0)->code, "EDLW");
    EXPECT_EQ(asked, (std::vector<std::string>{"EDDL", "EDLW"}));
    asked.clear();
    EXPECT_EQ(gf_closestAirport(51.2895, 6.7668)->code, "EDDL");  // one in reach: no question
    EXPECT_TRUE(asked.empty());

    gf_setClosestStandHook([](const std::string&, double, double, std::string&) { return 100.0; });
    EXPECT_EQ(gf_closestAirport(lat, lon, 30.0)->code, "EDDL");  // a tie keeps the nearest
}

// A reference or registration file that is a folder or a FIFO fails its load; the FIFO's open
// waited for good.
TEST_F(AirportRefsTest, ReferenceFilesThatAreNoFilesFailTheirLoad) {
    for (const OddFile kind : oddFileKinds()) {
        ASSERT_TRUE(makeOddFile(kind, "odd/file.xml"));
        EXPECT_FALSE(gf_readAirportRefs("odd/file.xml")) << oddFileName(kind);
        EXPECT_FALSE(gf_readAirportNames("odd/file.xml")) << oddFileName(kind);
        std::vector<LiveryRegcodes> records;
        EXPECT_FALSE(gf_readAigRegcodes("odd/file.xml", records)) << oddFileName(kind);
    }
}

}  // namespace
}  // namespace vdl::test
