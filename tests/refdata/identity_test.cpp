#include "refdata/identity.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "files_fixture.h"

namespace vdl {
namespace {

TEST(CallsignRules, AirlineOfCallsignAndValidity) {
    const std::vector<std::pair<std::string_view, std::optional<std::string>>> cases = {
        {"dlh123", "DLH"},
        {"EzY1", "EZY"},  // upper-cased; exactly four characters
        {"DLH", std::nullopt},
        {"DL12", std::nullopt},
        {"DLHA12", std::nullopt},
        {"D-EABC", std::nullopt},
        {"D\xC3\xA4H1", std::nullopt},  // non-ASCII bytes are no letters
    };
    for (const auto& [callsign, airline] : cases)
        EXPECT_EQ(gf_airlineOfCallsign(callsign), airline) << callsign;
    const std::vector<std::pair<std::string_view, bool>> validity = {
        {"", false}, {"@@@@@@@@", false}, {"DLH12345", true}, {"DLH123456", false}, {"DKAFN_", true},
    };
    for (const auto& [callsign, valid] : validity) {
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
        {"N35953", {"N35953"}},                    // US registrations carry no dash
        {"DEAB", {"DEAB"}},                        // four characters: too short for variants
        {"nABCD", {"nA-BCD", "n-ABCD", "nABCD"}},  // only an upper-case N is a US registration
    };
    for (const auto& [reg, variants] : cases) EXPECT_EQ(gf_regVariants(reg), variants) << reg;
}

AcIdentity lf_identity(std::string airl, std::string type, std::string origin, std::string dest,
                       std::string cs, std::string reg) {
    AcIdentity ac;
    ac.airl = airl, ac.type = type, ac.origin = origin, ac.dest = dest, ac.callsign = cs, ac.reg = reg;
    return ac;
}

TEST(TextKeys, ByIdentityAndSameAirlModel) {
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
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_acText(c.ac), c.text);
        EXPECT_EQ(gf_acInfo(c.ac), c.info);
        EXPECT_EQ(gf_acShortInfo(c.ac), c.shortInfo);
        EXPECT_EQ(gf_airlModelKey(c.ac), c.modelKey);
        EXPECT_EQ(gf_airlModelRegKey(c.ac), c.modelRegKey);
    }
    struct LiveryLike {
        std::string airl, type, title;
    };
    const AcIdentity ac = lf_identity("DLH", "A320", "", "", "DLH1", "");
    EXPECT_TRUE(gf_sameAirlModel(ac, LiveryLike{"DLH", "A320", "any title"}));
    EXPECT_FALSE(gf_sameAirlModel(ac, LiveryLike{"dlh", "A320", ""}));  // whole strings, case-sensitive
}

using MakeIdentity = test::RefFilesTest;

TEST_F(MakeIdentity, TakesCategoryWingspanAndTouchdownStepsFromTheDataBase) {
    loadSample();
    struct Case {
        std::string type;
        AircraftCategory category;
        double halfWingspan;
        int32_t touchdownSteps;
    } cases[] = {
        {"A320", AircraftCategory::Large, 35.8 * test::metresToHalfNm, 350},
        {"F16", AircraftCategory::HighPerf, 11.0 * test::metresToHalfNm, 150},  // no span, no other HighPerf
        {"XXXX", AircraftCategory::Light, 10.5 * test::metresToHalfNm, 250},    // unknown: Light mean
    };
    for (const auto& c : cases) {
        const AcIdentity ac =
            gf_makeAcIdentity("DLH", c.type, "FRA", "DUS", "DLH4AB", "DLH4AB", "DLH5CD", "D-AINA", 1, 10042);
        EXPECT_EQ(ac.category, c.category) << c.type;
        EXPECT_DOUBLE_EQ(ac.halfWingspan, c.halfWingspan) << c.type;
        EXPECT_EQ(ac.touchdownSteps, c.touchdownSteps) << c.type;
        EXPECT_EQ(ac.reg, "D-AINA");
    }
}

}  // namespace
}  // namespace vdl
