#include "refdata/identity.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "refdata/dbase_sample.h"

namespace vdl {
namespace {

TEST(CategoryName, AllCategoriesAndOutOfRange) {
    const std::vector<std::pair<int, std::string_view>> cases = {
        {0, "Light"},    {1, "Buzjets"},    {2, "Large"},   {3, "Heavy"},
        {4, "HighPerf"}, {5, "Rotorcraft"}, {6, "Unknown"}, {-1, "Unknown"},
    };
    for (const auto& [value, name] : cases)
        EXPECT_EQ(gf_categoryName(static_cast<AircraftCategory>(value)), name) << value;
}

TEST(CallsignRules, AirlineOfCallsign) {
    const std::vector<std::pair<std::string_view, std::optional<std::string>>> cases = {
        {"DLH4AB", "DLH"},
        {"dlh123", "DLH"},         // upper-cased
        {"EzY1", "EZY"},           // exactly four characters
        {"DLH", std::nullopt},     // too short
        {"DL12", std::nullopt},    // third is no letter
        {"DLHA12", std::nullopt},  // fourth is no digit
        {"D-EABC", std::nullopt},
        {"DEABC", std::nullopt},
        {"", std::nullopt},
        {"1LH23", std::nullopt},
        {"D\xC3\xA4H1", std::nullopt},  // non-ASCII bytes are no letters
    };
    for (const auto& [callsign, airline] : cases)
        EXPECT_EQ(gf_airlineOfCallsign(callsign), airline) << callsign;
}

TEST(CallsignRules, ValidCallsign) {
    const std::vector<std::pair<std::string_view, bool>> cases = {
        {"", false},       {"@@@@@@@@", false}, {"DLH12345", true}, {"DLH123456", false},
        {"@@@@@@@", true}, {"D", true},         {"DKAFN_", true},
    };
    for (const auto& [callsign, valid] : cases) {
        EXPECT_EQ(gf_validCallsign(callsign), valid) << callsign;
        AcIdentity ac;
        ac.callsign = callsign;
        EXPECT_EQ(gf_validCallsign(ac), valid) << callsign;
    }
}

TEST(CallsignRules, RegistrationVariantsInOrder) {
    using V = std::vector<std::string>;
    const std::vector<std::pair<std::string_view, V>> cases = {
        {"DAINA", {"DA-INA", "D-AINA", "DAINA"}},
        {"A6EUA", {"A6-EUA", "A-6EUA", "A6EUA"}},
        {"N35953", {"N35953"}},                    // US registrations carry no dash
        {"D-AINA", {"D-AINA"}},                    // already spelled with a dash
        {"DEAB", {"DEAB"}},                        // four characters: too short for variants
        {"nABCD", {"nA-BCD", "n-ABCD", "nABCD"}},  // only an upper-case N is a US registration
        {"", {""}},
    };
    for (const auto& [reg, variants] : cases) EXPECT_EQ(gf_regVariants(reg), variants) << reg;
}

AcIdentity lf_identity(std::string airl, std::string type, std::string origin, std::string dest,
                       std::string cs, std::string reg) {
    AcIdentity ac;
    ac.airl = std::move(airl);
    ac.type = std::move(type);
    ac.origin = std::move(origin);
    ac.dest = std::move(dest);
    ac.callsign = std::move(cs);
    ac.reg = std::move(reg);
    return ac;
}

TEST(TextKeys, ByIdentity) {
    struct Case {
        AcIdentity ac;
        std::string text, info, shortInfo, modelKey, modelRegKey;
    };
    const std::vector<Case> cases = {
        {lf_identity("DLH", "A20N", "FRA", "DUS", "DLH4AB", "D-AINA"), "DLH4AB   D-AINA   FRA->DUS",
         "DLH4AB   D-AINA   FRA->DUS DLH A20N", "DLH4AB   D-AINA DLH A20N", "DLH A20N", "DLH A20N D-AINA"},
        // no route: eight blanks in its place
        {lf_identity("PVT", "C42", "", "", "DMXTD", "D-MXTD"), "DMXTD    D-MXTD           ",
         "DMXTD    D-MXTD            PVT C42 ", "DMXTD    D-MXTD PVT C42 ", "PVT C42 ", "PVT C42  D-MXTD"},
        // one end of the route known
        {lf_identity("UAE", "A388", "AMS", "", "UAE31V", "A6-EUA"), "UAE31V   A6-EUA   AMS->   ",
         "UAE31V   A6-EUA   AMS->    UAE A388", "UAE31V   A6-EUA UAE A388", "UAE A388", "UAE A388 A6-EUA"},
        // long fields are not cut
        {lf_identity("", "B7478", "EDDL", "KJFK", "LONGCALL99", "REGISTRATION"),
         "LONGCALL99 REGISTRATION EDDL->KJFK", "LONGCALL99 REGISTRATION EDDL->KJFK     B7478",
         "LONGCALL99 REGISTRATION     B7478", "    B7478", "    B7478 REGISTRATION"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_acText(c.ac), c.text);
        EXPECT_EQ(gf_acInfo(c.ac), c.info);
        EXPECT_EQ(gf_acShortInfo(c.ac), c.shortInfo);
        EXPECT_EQ(gf_airlModelKey(c.ac), c.modelKey);
        EXPECT_EQ(gf_airlModelRegKey(c.ac), c.modelRegKey);
    }
}

TEST(TextKeys, SameAirlModelAcrossRecordKinds) {
    struct LiveryLike {
        std::string airl, type, title;
    };
    const AcIdentity ac = lf_identity("DLH", "A320", "", "", "DLH1", "");
    EXPECT_TRUE(gf_sameAirlModel(ac, LiveryLike{"DLH", "A320", "any title"}));
    EXPECT_FALSE(gf_sameAirlModel(ac, LiveryLike{"DLH", "A321", ""}));
    EXPECT_FALSE(gf_sameAirlModel(ac, LiveryLike{"dlh", "A320", ""}));  // whole strings, case-sensitive
    EXPECT_TRUE(gf_sameAirlModel(lf_identity("", "", "", "", "", ""), LiveryLike{}));
    EXPECT_EQ(gf_airlModelKey(LiveryLike{"ZZZ", "C172", "t"}), "ZZZ C172");
}

using MakeIdentity = test::DbaseTest;

TEST_F(MakeIdentity, TakesCategoryWingspanAndTouchdownStepsFromTheDataBase) {
    loadSample();
    struct Case {
        std::string type;
        AircraftCategory category;
        double halfWingspan;
        int32_t touchdownSteps;
    };
    const std::vector<Case> cases = {
        {"A320", AircraftCategory::Large, 35.8 * test::metresToHalfNm, 350},
        {"B77W", AircraftCategory::Heavy, 64.8 * test::metresToHalfNm, 450},
        {"CL35", AircraftCategory::Buzjets, 21.0 * test::metresToHalfNm, 300},
        {"EC35", AircraftCategory::Rotorcraft, 10.2 * test::metresToHalfNm, 100},
        {"F16", AircraftCategory::HighPerf, 11.0 * test::metresToHalfNm, 150},  // no span, no other HighPerf
        {"XXXX", AircraftCategory::Light, 10.5 * test::metresToHalfNm, 250},    // unknown: Light mean
    };
    for (const auto& c : cases) {
        const AcIdentity ac =
            gf_makeAcIdentity("DLH", c.type, "FRA", "DUS", "DLH4AB", "DLH4AB", "DLH5CD", "D-AINA", 1, 10042);
        EXPECT_EQ(ac.category, c.category) << c.type;
        EXPECT_DOUBLE_EQ(ac.halfWingspan, c.halfWingspan) << c.type;
        EXPECT_EQ(ac.touchdownSteps, c.touchdownSteps) << c.type;
        EXPECT_EQ(ac.type, c.type);
    }
    const AcIdentity ac =
        gf_makeAcIdentity("DLH", "A320", "FRA", "DUS", "DLH4AB", "DLH4AB", "DLH5CD", "D-AINA", 1, 10042);
    EXPECT_EQ(ac.airl, "DLH");
    EXPECT_EQ(ac.origin, "FRA");
    EXPECT_EQ(ac.dest, "DUS");
    EXPECT_EQ(ac.callsign, "DLH4AB");
    EXPECT_EQ(ac.callsignCopy, "DLH4AB");
    EXPECT_EQ(ac.coupledCallsign, "DLH5CD");
    EXPECT_EQ(ac.reg, "D-AINA");
    EXPECT_EQ(ac.cargo, 1);
    EXPECT_EQ(ac.hexid, 10042u);
    EXPECT_EQ(ac.coupledSearched, 0u);
    EXPECT_TRUE(ac.title.empty());
    EXPECT_EQ(ac.fsltl, 0);
}

}  // namespace
}  // namespace vdl
