#include "refdata/dbase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files_fixture.h"
#include "foundation/errors.h"
#include "foundation/log.h"

namespace vdl {
namespace {

using Dbase = test::RefFilesTest;
using test::writeWholeFile;

TEST_F(Dbase, ModelsAirlinesCategoriesAndHalfWingspans) {
    loadSample();
    const std::vector<std::pair<std::string_view, bool>> models = {
        {"A320", true}, {"ZZZZ", true}, {"a320", false}};
    for (const auto& [model, valid] : models) EXPECT_EQ(gf_isValidModel(model), valid) << model;
    const std::vector<std::pair<std::string_view, bool>> airlines = {
        {"ZZZ", true}, {"PVT", true}, {"dlh", false}, {"EZY", false}};
    for (const auto& [airline, valid] : airlines) EXPECT_EQ(gf_isValidAirline(airline), valid) << airline;
    constexpr double h = test::metresToHalfNm;
    struct Case {
        std::string_view model;
        AircraftCategory category;
        double halfWingspan;
    };
    const std::vector<Case> cases = {
        {"A320", AircraftCategory::Large, 35.8 * h},
        {"A20N", AircraftCategory::Large, 35.8 * h},    // no span: mean of Large
        {"ZZZZ", AircraftCategory::Light, 10.5 * h},    // in no category: Light, and its mean
        {"GLID", AircraftCategory::Light, 15.0 * h},    // in no category but with its own span
        {"XXXX", AircraftCategory::Light, 10.5 * h},    // unknown type
        {"F16", AircraftCategory::HighPerf, 11.0 * h},  // a category without any span
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_modelCategory(c.model), c.category) << c.model;
        EXPECT_DOUBLE_EQ(gf_halfWingspan(c.model), c.halfWingspan) << c.model;
    }
}

TEST_F(Dbase, RegistrationsThroughSpellingVariants) {
    loadSample();
    struct Case {
        std::string_view reg;
        bool exact;  // gf_findRegcode with this spelling
        std::string airl, type, opr;
        bool cargo;
    };
    const std::vector<Case> cases = {
        {"D-AINA", true, "DLH", "A20N", "CLH", false},
        {"DAINA", false, "DLH", "A20N", "CLH", false},  // found only as "D-AINA"
        {"A6EUA", false, "UAE", "A388", "", false},     // found only as "A6-EUA"
        {"N35953", true, "UAL", "B789", "", false},     // N-registration as given
        {"N12345", false, "", "", "", false},           // no variants for N: "N1-2345" is not tried
        {"DAINB", false, "DLH", "A320", "", false},     // "DA-INB" comes before "D-AINB"
        {"D-ALFA", true, "GEC", "B77L", "", true},
        {"d-aina", false, "", "", "", false},
    };
    for (const auto& c : cases) {
        RegcodeData entry;
        EXPECT_EQ(gf_findRegcode(c.reg, &entry), c.exact) << c.reg;
        EXPECT_EQ(entry.airl, c.exact ? c.airl : "") << c.reg;
        EXPECT_EQ(gf_regcodeData(c.reg).value_or(RegcodeData{}).cargo, c.cargo) << c.reg;
        EXPECT_EQ(gf_airlineOfReg(c.reg), c.airl) << c.reg;
        EXPECT_EQ(gf_modelOfReg(c.reg), c.type) << c.reg;
        EXPECT_EQ(gf_operatorOfReg(c.reg), c.opr) << c.reg;
    }
}

TEST_F(Dbase, PrivatePrefixesAndSections) {
    loadSample();
    const std::vector<std::pair<std::string_view, std::string>> cases = {
        {"Cessna 172 D-EABC private", "D-E"},  // "D-E" comes before "D-EA" in the file
        {"Piper HB-PQR", "HB-"},
        {"Airbus OE-LBA", ""},  // "OE-" is no PVT key
        {"D-ETJP", "D-E"},      // the full private registration is no prefix itself
    };
    for (const auto& [text, prefix] : cases) EXPECT_EQ(gf_findPvtPrefix(text), prefix) << text;
    EXPECT_EQ(fixes().at("A320N"), "A20N");
    EXPECT_EQ(simaddons20(), (std::set<std::string>{"EGLL", "KJFK", "LFPG"}));
    EXPECT_EQ(thirdparties20().at(0).pub, "FlyTampa");
    EXPECT_EQ(thirdparties20()[0].arpts, (std::vector<std::string>{"EKCH148", "LOWW127"}));
    EXPECT_EQ(thirdparties24().at(0).arpts, (std::vector<std::string>{"EGLL231"}));

    EXPECT_EQ(gf_similarGroups().groups.at(0), (std::vector<std::string>{"A320", "A20N", "A321"}));
    EXPECT_EQ(gf_similarGroups().groupOf.at("B744"), 1u);
    EXPECT_EQ(gf_publisherNames().at("fly tampa"), "FlyTampa");
}

TEST_F(Dbase, BadFilesAreUserErrorsAndKeepTheDataLoadedBefore) {
    loadSample();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "not found"},
        {"<dbase><types><t icao=\"A320\"", "not readable"},
        {"<dbase><types/><ICAO_airlines/></dbase>", "no aircraft types or airlines"},
    };
    for (const auto& [xml, what] : cases) {
        const std::filesystem::path file = "input/other.xml";
        std::filesystem::remove(file);
        if (!xml.empty()) writeWholeFile(file, xml);
        try {
            gf_loadDbase(file);
            ADD_FAILURE() << "no error for " << what;
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.code(), 30);
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
        }
        EXPECT_EQ(gf_airlineOfReg("DAINA"), "DLH") << what;
    }
}

TEST_F(Dbase, FaultyRecordsAreSkippedAndLogged) {
    std::filesystem::create_directories("input");
    writeWholeFile("input/dbase.xml",
                   R"(<dbase><types><t icao="A320" cat="2" span="35.8"/><t icao="A320" cat="3" span="60"/>
      <t icao="B738" cat="7" span="35.8"/><t icao="B739" cat="two"/><t icao="E190" cat="2" span="-28"/>
      <t icao="E195" cat="2" span="28.7m"/><t cat="2"/><t icao="CRJ9" cat="2" span="24.85"/></types>
      <similar><group models="A320"/></similar>
      <ICAO_airlines><a icao="DLH"/><a/></ICAO_airlines>
      <regs><r reg="D-AINA" type="A20N"/><r airl="DLH"/><r reg="D-AINB" airl="DLH"/><r reg="D-AINB" airl="EWG"/></regs>
      <fixes><fx wro="A320N"/></fixes>
      <thirdparties24><tp arpts="EGLL1"/></thirdparties24>
    </dbase>)");
    gf_loadDbase();
    EXPECT_EQ(gf_modelCategory("A320"), AircraftCategory::Large);  // the first of two records stays
    for (const char* bad : {"B738", "B739", "E190", "E195"}) EXPECT_FALSE(gf_isValidModel(bad)) << bad;
    EXPECT_EQ(gf_airlineOfReg("D-AINB"), "DLH");
    const std::string log = logText();
    EXPECT_NE(log.find("type E190 has wingspan \"-28\""), std::string::npos) << log;
    EXPECT_NE(log.find("input/dbase.xml: 13 faulty records skipped"), std::string::npos) << log;
    EXPECT_NE(log.find("2 types, 1 airline, 1 registration, 0 similar groups, 0 fixes"), std::string::npos)
        << log;
}

}  // namespace
}  // namespace vdl
