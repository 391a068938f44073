// The data base that ships with the program, checked against public facts and the real
// traffic capture.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "files_fixture.h"
#include "foundation/text.h"
#include "refdata/dbase.h"
#include "support/recorded_traffic.h"

namespace vdl {
namespace {

class ShippedDbase : public test::RefFilesTest {
  protected:
    void SetUp() override {
        test::RefFilesTest::SetUp();
        gf_loadDbase(std::filesystem::path(VDL_SOURCE_DIR) / "data/input/dbase.xml");
    }
};

TEST_F(ShippedDbase, KnowsCommonTypesAirlinesAndGenericCodes) {
    const std::vector<std::pair<std::string_view, AircraftCategory>> cases = {
        {"A21N", AircraftCategory::Large},   {"B77W", AircraftCategory::Heavy},
        {"CL35", AircraftCategory::Buzjets}, {"C172", AircraftCategory::Light},
        {"F16", AircraftCategory::HighPerf}, {"EC35", AircraftCategory::Rotorcraft},
    };
    for (const auto& [model, category] : cases) EXPECT_EQ(gf_modelCategory(model), category) << model;
    EXPECT_NEAR(gf_halfWingspan("A388"), 79.75 / 2 / 1852, 1e-9);  // A380: 79.75 m
    for (const char* code : {"DLH", "RYR", "PGT", "ZZZ", "PVT"}) EXPECT_TRUE(gf_isValidAirline(code)) << code;
    EXPECT_EQ(gf_findPvtPrefix("Cessna 172 D-EABC"), "D-E");
    EXPECT_EQ(fixes().at("A320N"), "A20N");
    EXPECT_EQ(gf_similarGroups().groupOf.at("A319"), gf_similarGroups().groupOf.at("A321"));
}

// Airlines flying today on every continent, passenger and cargo, and the size of the list that
// tools/make_dbase.py reports, so that a regenerated list that lost codes shows here.
TEST_F(ShippedDbase, KnowsCurrentAirlineDesignators) {
    for (const char* code :
         {"AAL", "DAL", "UAL", "SWA", "ASA", "JBU", "AAY", "FFT", "NKS", "SKW", "ACA", "WJA", "BAW", "EZY", "RYR",
          "AFR", "KLM", "IBE", "VLG", "SAS", "FIN", "AUA", "SWR", "TAP", "LOT", "THY", "UAE", "QTR", "ETD", "SVA",
          "ETH", "KQA", "SAA", "RAM", "QFA", "ANZ", "VOZ", "JST", "SIA", "CPA", "CES", "CSN", "CCA", "JAL", "ANA",
          "KAL", "EVA", "CAL", "THA", "GIA", "VJC", "IGO", "AIC", "AMX", "AVA", "LAN", "GLO", "AZU", "CMP", "FDX",
          "UPS", "GTI", "CLX", "WZZ", "EXS", "ICE", "TKJ", "ITY", "WUK", "BOX"})
        EXPECT_TRUE(gf_isValidAirline(code)) << code;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((std::filesystem::path(VDL_SOURCE_DIR) / "data/input/dbase.xml").c_str()));
    const auto list = doc.child("dbase").child("ICAO_airlines").children("a");
    EXPECT_EQ(std::distance(list.begin(), list.end()), 5789);
}

// Every registration in the Düsseldorf capture is known with the type the feed reports.
TEST_F(ShippedDbase, KnowsTheRegistrationsOfTheRealCapture) {
    VDL_RECORDED_TRAFFIC(capture, "realtraffic/eddl-2024-08-24.rttfc");
    std::ifstream in(capture);
    ASSERT_TRUE(in);
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        const auto fields = gf_split(line, ',');
        if (fields.size() < 12 || fields[11].empty()) continue;
        const std::string type = gf_trim(fields[10]);
        const std::string reg = gf_trim(fields[11]);
        const auto data = gf_regcodeData(reg);
        ASSERT_TRUE(data) << reg;
        EXPECT_EQ(data->type, type) << reg;
        EXPECT_TRUE(gf_isValidModel(type)) << type;
        EXPECT_TRUE(gf_isValidAirline(data->airl)) << reg;
        // the feed's callsign airline, when it has one, is the record's airline or operator
        if (const auto airline = gf_airlineOfCallsign(fields[9])) {
            EXPECT_TRUE(*airline == data->airl || *airline == data->opr) << reg << " " << *airline;
        } else {
            EXPECT_EQ(data->airl, "PVT") << reg;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 15);
}

}  // namespace
}  // namespace vdl
