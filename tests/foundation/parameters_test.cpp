#include "foundation/parameters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <thread>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::TempWorkDir;

std::string fileValue(const std::string& name) {
    pugi::xml_document doc;
    if (!doc.load_file(gf_parametersPath().c_str())) return "<no file>";
    pugi::xpath_node n = doc.select_node(gf_parameterXPath(name).c_str());
    return n ? n.node().attribute("value").value() : "<no entry>";
}

int entryCount(const std::string& name) {
    pugi::xml_document doc;
    doc.load_file(gf_parametersPath().c_str());
    return static_cast<int>(doc.select_nodes(gf_parameterXPath(name).c_str()).size());
}

void writeParameters(const std::string& body) {
    std::filesystem::create_directories(gf_programFolder());
    test::writeWholeFile(gf_parametersPath(),
                         "<?xml version=\"1.0\"?>\n<parameters>\n" + body + "</parameters>\n");
}

TEST(ParametersTest, DefaultsAndRangesOfTheSettings) {
    TempWorkDir dir;
    struct IntCase {
        const IntParameter& p;
        int32_t def, min, max;
    };
    const IntCase ints[] = {
        {AIRPORT_RANGE, 20, 8, 30},
        {AIRPORT_HEIGHT, 18000, 2000, 45000},
        {HOLDING_THRESHOLD_METERS, 250, 10, 4000},
        {MAX_HOLDING_MINUTES, 20, 1, 60},
        {LATERAL_RANGE, 40, 2, 100},
        {MATCHING_DEPTH, 4, 1, 4},
        {MAX_FIT, 47, 0, 47},
        {MAX_LIVE, -1, -1, 300},
        {parking_percentage, 30, 0, 100},
        {CUSTOM_PARKING_PERCENTAGE, -1, -1, 100},
        {CUSTOM_MAX_PARK, -1, -1, 500},
        {AI_PACKAGE_ORDER, 1, 1, 6},
    };
    for (const auto& c : ints) {
        SCOPED_TRACE(c.p.name());
        EXPECT_EQ(c.p.value(), c.def);
        EXPECT_EQ(c.p.minimum(), c.min);
        EXPECT_EQ(c.p.maximum(), c.max);
    }
    struct BoolCase {
        const BoolParameter& p;
        bool def;
    };
    const BoolCase bools[] = {
        {AUTO_RANGE, true},
        {CALLSIGN_OBJECTIDS, false},
        {COLLISION_LIVE_PARKED_GND, false},
        {COLLISION_USER_AIR, true},
        {COLLISION_USER_GND, true},
        {GUID_CHANGES, true},
        {LIGHT_AIRCRAFT, true},
        {HIGH_PERF_AIRCRAFT, true},
        {HELICOPTERS, true},
        {LOG, true},
        {MSFS_2020, true},
        {NAV_LIGHTS_WHILE_PARKED, true},
        {RANDOM, true},
        {SCAN_AIRPORTS, true},
        {SCAN_LIVERIES, true},
        {LIG_AUTOMATIC, true},
        {LIG_PRIORITIZE, false},
        {SUPPRESS_STUB, true},
        {STRAIGHT_PBS_ONLY, false},
        {WEEK, false},
        {PARK_SOFT, true},
        {PARK_FAKE, false},
        {INITIAL_LOAD_ONLY, false},
        {LEARN_SOFT, true},
        {EXTERNAL_LINK, false},
    };
    for (const auto& c : bools) {
        SCOPED_TRACE(c.p.name());
        EXPECT_EQ(c.p.value(), c.def);
    }
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 24.0f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.minimum(), 0.5f);
    EXPECT_EQ(PORT_NUMBER.value(), "10747");
    for (const StringParameter* p : lfolders) EXPECT_EQ(p->value(), "");
    EXPECT_EQ(lfolders[9]->name(), "lfolder9");

    std::set<std::string> names;
    for (const Parameter* p : gf_parameters()) EXPECT_TRUE(names.insert(p->name()).second) << p->name();
    EXPECT_EQ(gf_findParameter("parking_percentage"), &parking_percentage);
    EXPECT_EQ(gf_findParameter("nonsense"), nullptr);
}

TEST(ParametersTest, ControlsHaveDistinctIdsAndRows) {
    TempWorkDir dir;
    std::set<int> ids, rows;
    int controls = 0;
    for (const Parameter* p : gf_parameters()) {
        const ParamControl* c = p->control();
        if (c == nullptr) continue;
        ++controls;
        EXPECT_TRUE(ids.insert(c->controlId()).second) << p->name();
        EXPECT_TRUE(rows.insert(c->row()).second) << p->name();
        EXPECT_FALSE(c->caption().empty());
        EXPECT_TRUE(c->enabled());
    }
    EXPECT_GT(controls, 0);
    EXPECT_EQ(SCAN_LIVERIES.control()->controlKind(), ControlKind::CheckBox);
    EXPECT_EQ(MAX_LIVE.control()->controlKind(), ControlKind::TbInt);
    EXPECT_EQ(MAX_FIT_FL.control()->controlKind(), ControlKind::TbFloat);
    EXPECT_EQ(DESTINATION.control()->controlKind(), ControlKind::TbText);
    EXPECT_EQ(MSFS_2020.control()->controlKind(), ControlKind::Button);
    EXPECT_EQ(GUID_CHANGES.control(), nullptr);
}

TEST(ParametersTest, ValuesAreClampedWhenSet) {
    TempWorkDir dir;
    struct Case {
        int32_t given, kept;
    };
    for (Case c : {Case{-5, -1}, Case{0, 0}, Case{300, 300}, Case{301, 300}, Case{INT32_MIN, -1}}) {
        EXPECT_EQ(MAX_LIVE.set(c.given), c.kept);
        EXPECT_EQ(MAX_LIVE.value(), c.kept);
    }
    EXPECT_FLOAT_EQ(MAX_FIT_FL.set(0.1f), 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.set(30.0f), 24.0f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.set(std::numeric_limits<float>::quiet_NaN()), 24.0f);
}

TEST(ParametersTest, TextValuesFromTheFile) {
    TempWorkDir dir;
    struct Case {
        const char* text;
        bool ok;
        int32_t kept;
    };
    // MAX_LIVE: -1..300, default -1
    const Case cases[] = {
        {"12", true, 12},
        {" 12 ", true, 12},
        {"+7", true, 7},
        {"999", true, 300},
        {"-40", true, -1},
        {"99999999999999999999", true, 300},
        {"-99999999999999999999", true, -1},
        {"", false, 55},
        {"12abc", false, 55},
        {"1.5", false, 55},
        {"abc", false, 55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        MAX_LIVE.set(55);
        EXPECT_EQ(MAX_LIVE.setText(c.text), c.ok);
        EXPECT_EQ(MAX_LIVE.value(), c.kept);
    }
    struct BoolCase {
        const char* text;
        bool value;
    };
    for (BoolCase c :
         {BoolCase{"true", true}, BoolCase{"1", true}, BoolCase{"Yes", true}, BoolCase{"T", true},
          BoolCase{"false", false}, BoolCase{"0", false}, BoolCase{"", false}, BoolCase{"no", false}}) {
        EXPECT_TRUE(WEEK.setText(c.text));
        EXPECT_EQ(WEEK.value(), c.value) << c.text;
    }
    EXPECT_TRUE(MAX_FIT_FL.setText("2.5"));
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 2.5f);
    EXPECT_FALSE(MAX_FIT_FL.setText("nan"));
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 2.5f);
}

TEST(ParametersFileTest, MissingFileIsRebuiltFromTheDefaults) {
    TempWorkDir dir;
    MAX_LIVE.set(12);  // loading must not keep a value the file does not hold
    ASSERT_FALSE(std::filesystem::exists(gf_parametersPath()));
    ASSERT_TRUE(gf_loadParameters());
    ASSERT_TRUE(std::filesystem::exists(gf_parametersPath()));
    EXPECT_EQ(gf_parametersPath(), dir.path() / "config" / "Vandrel" / "parameters.xml");
    EXPECT_EQ(MAX_LIVE.value(), -1);
    for (const Parameter* p : gf_parameters()) EXPECT_EQ(fileValue(p->name()), p->defaultText()) << p->name();
    EXPECT_EQ(fileValue("PORT_NUMBER"), "10747");
    EXPECT_EQ(fileValue("EXTERNAL_LINK"), "false");
}

TEST(ParametersFileTest, UnknownAndRepeatedEntriesAreRemovedAndMissingOnesAdded) {
    TempWorkDir dir;
    writeParameters(
        "  <parameter name=\"MAX_LIVE\" value=\"25\"/>\n"
        "  <parameter name=\"MAX_LIVE\" value=\"30\"/>\n"
        "  <parameter name=\"OLD_SETTING\" value=\"1\"/>\n"
        "  <parameter value=\"no name\"/>\n"
        "  <other name=\"WEEK\" value=\"true\"/>\n"
        "  <parameter name=\"WEEK\" value=\"true\"/>\n");
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(MAX_LIVE.value(), 25);  // the first of repeated entries counts
    EXPECT_TRUE(WEEK.value());
    EXPECT_EQ(entryCount("MAX_LIVE"), 1);
    EXPECT_EQ(fileValue("MAX_LIVE"), "25");
    EXPECT_EQ(entryCount("OLD_SETTING"), 0);
    EXPECT_EQ(fileValue("LATERAL_RANGE"), "40");

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(gf_parametersPath().c_str()));
    size_t n = 0;
    for (pugi::xml_node e : doc.child("parameters").children()) {
        EXPECT_STREQ(e.name(), "parameter");
        ++n;
    }
    EXPECT_EQ(n, gf_parameters().size());
}

TEST(ParametersFileTest, OutOfRangeValuesAreClampedAndTheLateralCopiesFollow) {
    TempWorkDir dir;
    writeParameters(
        "  <parameter name=\"LATERAL_RANGE\" value=\"-20\"/>\n"
        "  <parameter name=\"AIRPORT_RANGE\" value=\"500\"/>\n"
        "  <parameter name=\"MAX_FIT_FL\" value=\"0.1\"/>\n"
        "  <parameter name=\"MATCHING_DEPTH\" value=\"lots\"/>\n"
        "  <parameter name=\"PARK_SOFT\"/>\n");
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    LEARN_SOFT.setEnabled(false);  // a reload leaves the window's states alone
    ASSERT_TRUE(gf_loadParameters());
    gf_closeLog();
    EXPECT_FALSE(LEARN_SOFT.enabled());
    EXPECT_TRUE(PARK_SOFT.value());  // no value: the default, not false
    EXPECT_NE(test::readWholeFile("Log.txt").find(
                  "===> parameter MATCHING_DEPTH has the invalid value \"lots\", 4 used"),
              std::string::npos);
    EXPECT_EQ(LATERAL_RANGE.value(), 2);
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 2.0);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 2.0 * 1852.0);
    EXPECT_EQ(AIRPORT_RANGE.value(), 30);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.value(), 0.5f);
    EXPECT_EQ(MATCHING_DEPTH.value(), 4);  // unreadable: default
}

TEST(ParametersFileTest, ChangedSettingIsWrittenBackAtOnce) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_loadParameters());
    SCAN_LIVERIES.set(false);
    gf_saveBoolParameter(SCAN_LIVERIES);
    EXPECT_EQ(fileValue("SCAN_LIVERIES"), "false");
    DESTINATION.set("EDDF");
    ASSERT_TRUE(gf_saveParameter(DESTINATION));
    EXPECT_EQ(fileValue("DESTINATION"), "EDDF");
    EXPECT_EQ(fileValue("SCAN_LIVERIES"), "false");

    // The saved values survive a fresh load.
    gf_resetParametersToDefaults();
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_EQ(DESTINATION.value(), "EDDF");

    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(gf_programFolder()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(ParametersFileTest, SavingIntoAMissingOrDeletedEntryCreatesIt) {
    TempWorkDir dir;
    writeParameters("  <parameter name=\"WEEK\" value=\"true\"/>\n");
    MAX_LIVE.set(7);
    ASSERT_TRUE(gf_saveParameter(MAX_LIVE));
    EXPECT_EQ(fileValue("MAX_LIVE"), "7");
    EXPECT_EQ(fileValue("WEEK"), "true");

    std::filesystem::remove(gf_parametersPath());
    ASSERT_TRUE(gf_saveParameter(MAX_LIVE));
    EXPECT_EQ(fileValue("MAX_LIVE"), "7");
    EXPECT_EQ(fileValue("WEEK"), "false");  // rebuilt from the defaults
}

TEST(ParametersFileTest, UnreadableFileIsKeptAsideAndRebuilt) {
    TempWorkDir dir;
    std::filesystem::create_directories(gf_programFolder());
    test::writeWholeFile(gf_parametersPath(), "<parameters><parameter name=\"MAX_LIVE\" value=");
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(fileValue("MAX_LIVE"), "-1");
    std::filesystem::path bad = gf_parametersPath();
    bad += ".bad";
    EXPECT_EQ(test::readWholeFile(bad), "<parameters><parameter name=\"MAX_LIVE\" value=");
}

TEST(ParametersFileTest, FolderThatCannotBeMadeIsReported) {
    TempWorkDir dir;
    test::writeWholeFile(dir.path() / "config", "a file where the folder should be");
    EXPECT_FALSE(gf_loadParameters());
    EXPECT_FALSE(gf_saveParameter(MAX_LIVE));
    EXPECT_EQ(MAX_LIVE.value(), -1);
}

TEST(ParametersTest, XPathSelectsByName) {
    EXPECT_EQ(gf_parameterXPath("LOG"), "/parameters/parameter[@name='LOG']");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string("<parameters><parameter name=\"A'B\" value=\"x\"/></parameters>"));
    pugi::xpath_node n = doc.select_node(gf_parameterXPath("A'B").c_str());
    ASSERT_TRUE(n);
    EXPECT_STREQ(n.node().attribute("value").value(), "x");
}

TEST(ParametersTest, LateralRangeCopiesComeFromTheClampedValue) {
    TempWorkDir dir;
    struct Case {
        int32_t given, kept;
    };
    for (Case c : {Case{-5, 2}, Case{0, 2}, Case{2, 2}, Case{55, 55}, Case{100, 100}, Case{250, 100}}) {
        gf_setLateralRange(c.given);
        EXPECT_EQ(LATERAL_RANGE.value(), c.kept);
        EXPECT_DOUBLE_EQ(lateralRangeNm.load(), c.kept);
        EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), c.kept * 1852.0);
    }
}

TEST(ParametersTest, ValuesAreSafeToUseFromSeveralThreads) {
    TempWorkDir dir;
    std::thread writer([] {
        for (int i = 0; i < 2000; ++i) {
            DESTINATION.set(i % 2 ? "EDDF" : "KJFK");
            MAX_LIVE.set(i % 300);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        std::string d = DESTINATION.value();
        EXPECT_TRUE(d == "EDDF" || d == "KJFK" || d.empty());
        EXPECT_LE(MAX_LIVE.value(), 300);
    }
    writer.join();
}

}  // namespace
}  // namespace vdl
