#include "refdata/dbase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "refdata/dbase_sample.h"

namespace vdl {
namespace {

using Dbase = test::DbaseTest;

TEST_F(Dbase, ValidModelsAndAirlines) {
    loadSample();
    const std::vector<std::pair<std::string_view, bool>> models = {
        {"A320", true}, {"ZZZZ", true}, {"GLID", true},  {"a320", false},
        {"A3", false},  {"", false},    {"A388", false},
    };
    for (const auto& [model, valid] : models) EXPECT_EQ(gf_isValidModel(model), valid) << model;
    const std::vector<std::pair<std::string_view, bool>> airlines = {
        {"DLH", true},  {"CLH", true},  {"ZZZ", true}, {"PVT", true},
        {"dlh", false}, {"EZY", false}, {"", false},
    };
    for (const auto& [airline, valid] : airlines) EXPECT_EQ(gf_isValidAirline(airline), valid) << airline;
}

TEST_F(Dbase, CategoriesAndHalfWingspans) {
    loadSample();
    constexpr double h = test::metresToHalfNm;
    struct Case {
        std::string_view model;
        AircraftCategory category;
        double halfWingspan;
    };
    const std::vector<Case> cases = {
        {"A320", AircraftCategory::Large, 35.8 * h},
        {"A20N", AircraftCategory::Large, 35.8 * h},  // no span: mean of Large
        {"B744", AircraftCategory::Heavy, 64.4 * h},
        {"C172", AircraftCategory::Light, 11.0 * h},
        {"ZZZZ", AircraftCategory::Light, 10.5 * h},  // in no category: Light, and its mean
        {"GLID", AircraftCategory::Light, 15.0 * h},  // in no category but with its own span
        {"XXXX", AircraftCategory::Light, 10.5 * h},  // unknown type
        {"", AircraftCategory::Light, 10.5 * h},
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
        {"", false, "", "", "", false},
        {"XYZ", false, "", "", "", false},
    };
    for (const auto& c : cases) {
        RegcodeData entry;
        EXPECT_EQ(gf_findRegcode(c.reg, &entry), c.exact) << c.reg;
        EXPECT_EQ(gf_findRegcode(c.reg), c.exact) << c.reg;
        const auto data = gf_regcodeData(c.reg);
        EXPECT_EQ(data.has_value(), !c.airl.empty()) << c.reg;
        if (data) {
            EXPECT_EQ(data->airl, c.airl) << c.reg;
            EXPECT_EQ(data->type, c.type) << c.reg;
            EXPECT_EQ(data->opr, c.opr) << c.reg;
            EXPECT_EQ(data->cargo, c.cargo) << c.reg;
        }
        if (c.exact) {
            EXPECT_EQ(entry.airl, c.airl) << c.reg;
        }
        EXPECT_EQ(gf_airlineOfReg(c.reg), c.airl) << c.reg;
        EXPECT_EQ(gf_modelOfReg(c.reg), c.type) << c.reg;
        EXPECT_EQ(gf_operatorOfReg(c.reg), c.opr) << c.reg;
    }
}

TEST_F(Dbase, PrivatePrefixes) {
    loadSample();
    const std::vector<std::pair<std::string_view, std::string>> cases = {
        {"Cessna 172 D-EABC private", "D-E"},  // "D-E" comes before "D-EA" in the file
        {"Piper HB-PQR", "HB-"},
        {"Airbus OE-LBA", ""},  // "OE-" is no PVT key
        {"D-ETJP", "D-E"},      // the full private registration is no prefix itself
        {"Generic C172", ""},
        {"", ""},
    };
    for (const auto& [text, prefix] : cases) EXPECT_EQ(gf_findPvtPrefix(text), prefix) << text;
}

TEST_F(Dbase, SectionsForScansAndDownloads) {
    loadSample();
    EXPECT_EQ(fixes().size(), 2u);
    EXPECT_EQ(fixes().at("A320N"), "A20N");
    EXPECT_EQ(simaddons20(), (std::set<std::string>{"EGLL", "KJFK", "LFPG"}));
    ASSERT_EQ(thirdparties20().size(), 2u);
    EXPECT_EQ(thirdparties20()[0].pub, "FlyTampa");
    EXPECT_EQ(thirdparties20()[0].arpts, (std::vector<std::string>{"EKCH148", "LOWW127"}));
    EXPECT_TRUE(thirdparties20()[1].arpts.empty());
    ASSERT_EQ(thirdparties24().size(), 1u);
    EXPECT_EQ(thirdparties24()[0].arpts, (std::vector<std::string>{"EGLL231"}));

    const SimilarGroups& similar = gf_similarGroups();
    ASSERT_EQ(similar.groups.size(), 2u);
    EXPECT_EQ(similar.groups[0], (std::vector<std::string>{"A320", "A20N", "A321"}));
    EXPECT_EQ(similar.groupOf.at("A321"), 0u);
    EXPECT_EQ(similar.groupOf.at("B744"), 1u);
    EXPECT_FALSE(similar.groupOf.contains("C172"));

    EXPECT_EQ(gf_publisherNames().at("fly tampa"), "FlyTampa");
    EXPECT_EQ(gf_publisherNames().at("flytampa"), "FlyTampa");
}

TEST_F(Dbase, QueriesBeforeALoadAnswerNothing) {
    EXPECT_FALSE(gf_dbaseLoaded());
    EXPECT_FALSE(gf_isValidModel("A320"));
    EXPECT_FALSE(gf_isValidAirline("DLH"));
    EXPECT_EQ(gf_modelCategory("A320"), AircraftCategory::Light);
    EXPECT_GT(gf_halfWingspan("A320"), 0.0);
    EXPECT_FALSE(gf_regcodeData("D-AINA"));
    EXPECT_EQ(gf_findPvtPrefix("D-EABC"), "");
    EXPECT_TRUE(fixes().empty());
    EXPECT_TRUE(thirdparties24().empty());
}

TEST_F(Dbase, BadFilesAreUserErrorsAndKeepTheDataLoadedBefore) {
    loadSample();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", "not found"},
        {"<dbase><types><t icao=\"A320\"", "not readable"},
        {"<?xml version=\"1.0\"?><parameters/>", "no \"dbase\" element"},
        {"<dbase><types/><ICAO_airlines/></dbase>", "no aircraft types or airlines"},
    };
    for (const auto& [xml, what] : cases) {
        const std::filesystem::path file = "input/other.xml";
        std::filesystem::remove(file);
        if (!xml.empty()) writeDbase(xml, file);
        try {
            gf_loadDbase(file);
            ADD_FAILURE() << "no error for " << what;
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.code(), 30);
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("input/other.xml"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(gf_isValidModel("A320")) << what;
        EXPECT_EQ(gf_airlineOfReg("DAINA"), "DLH") << what;
    }
}

TEST_F(Dbase, FaultyRecordsAreSkippedAndLogged) {
    ASSERT_TRUE(gf_openLog("MSFS 2020", "Log.txt"));
    writeDbase(R"(<dbase>
      <types>
        <t icao="A320" cat="2" span="35.8"/>
        <t icao="A320" cat="3" span="60"/>
        <t icao="B738" cat="7" span="35.8"/>
        <t icao="B739" cat="two"/>
        <t icao="E190" cat="2" span="-28"/>
        <t icao="E195" cat="2" span="28.7m"/>
        <t cat="2"/>
        <t icao="CRJ9" cat="2" span="24.85"/>
      </types>
      <similar><group models="A320"/></similar>
      <ICAO_airlines><a icao="DLH"/><a/></ICAO_airlines>
      <regs><r reg="D-AINA" type="A20N"/><r airl="DLH"/><r reg="D-AINB" airl="DLH"/><r reg="D-AINB" airl="EWG"/></regs>
      <fixes><fx wro="A320N"/></fixes>
      <thirdparties24><tp arpts="EGLL1"/></thirdparties24>
    </dbase>)");
    gf_loadDbase();
    gf_closeLog();

    EXPECT_TRUE(gf_isValidModel("A320"));
    EXPECT_EQ(gf_modelCategory("A320"), AircraftCategory::Large);  // the first of two records stays
    EXPECT_TRUE(gf_isValidModel("CRJ9"));
    for (const char* bad : {"B738", "B739", "E190", "E195"}) EXPECT_FALSE(gf_isValidModel(bad)) << bad;
    EXPECT_DOUBLE_EQ(gf_halfWingspan("A320"), 35.8 * test::metresToHalfNm);
    EXPECT_FALSE(gf_regcodeData("D-AINA"));
    EXPECT_EQ(gf_airlineOfReg("D-AINB"), "DLH");
    EXPECT_TRUE(gf_similarGroups().groups.empty());
    EXPECT_TRUE(fixes().empty());
    EXPECT_TRUE(thirdparties24().empty());

    const std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("type A320 appears twice"), std::string::npos) << log;
    EXPECT_NE(log.find("type B738 has category \"7\""), std::string::npos) << log;
    EXPECT_NE(log.find("type E190 has wingspan \"-28\""), std::string::npos) << log;
    EXPECT_NE(log.find("registration D-AINB appears twice"), std::string::npos) << log;
    EXPECT_NE(log.find("input/dbase.xml: 13 faulty records skipped"), std::string::npos) << log;
    EXPECT_NE(log.find("2 types, 1 airline, 1 registration, 0 similar groups, 0 fixes"), std::string::npos)
        << log;
}

TEST_F(Dbase, AReloadReplacesTheDataAndOldReferencesStayUsable) {
    loadSample();
    const auto& oldFixes = fixes();
    const auto& oldGroups = gf_similarGroups();
    writeDbase(R"(<dbase><types><t icao="B738" cat="2" span="35.8"/></types>
                  <ICAO_airlines><a icao="RYR"/></ICAO_airlines>
                  <fixes><fx wro="B737-800" cor="B738"/></fixes></dbase>)");
    gf_loadDbase();
    EXPECT_TRUE(gf_isValidModel("B738"));
    EXPECT_FALSE(gf_isValidModel("A320"));
    EXPECT_FALSE(gf_isValidAirline("DLH"));
    EXPECT_FALSE(gf_regcodeData("D-AINA"));
    EXPECT_EQ(fixes().at("B737-800"), "B738");
    // a reader that still holds the sets of the first load reads them unharmed
    EXPECT_EQ(oldFixes.at("A320N"), "A20N");
    EXPECT_EQ(oldGroups.groups.size(), 2u);
}

// Scan workers query while the start-up may load an updated data base.
TEST_F(Dbase, QueriesFromWorkersDuringAReload) {
    loadSample();
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                // both data sets know A320 as Large and DLH; D-AINA only in the sample
                if (!gf_isValidModel("A320") || gf_modelCategory("A320") != AircraftCategory::Large ||
                    !gf_isValidAirline("DLH"))
                    ++wrong;
                const auto reg = gf_regcodeData("DAINA");
                if (reg && reg->airl != "DLH") ++wrong;
                (void)gf_findPvtPrefix("Cessna D-EABC");
                (void)fixes().size();
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        writeDbase(
            i % 2
                ? test::sampleDbaseXml
                : R"(<dbase><types><t icao="A320" cat="2"/></types><ICAO_airlines><a icao="DLH"/></ICAO_airlines></dbase>)");
        gf_loadDbase();
    }
    stop = true;
    for (auto& w : workers) w.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace vdl
