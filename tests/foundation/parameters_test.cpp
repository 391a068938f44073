#include "foundation/parameters.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <pugixml.hpp>
#include <string>

#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/utf8_path.h"
#include "support/foundation_env.h"
#include "support/odd_files.h"

namespace vdl {
namespace {

using test::TempWorkDir;

std::string fileValue(const std::string& name) {
    pugi::xml_document doc;
    if (!doc.load_file(gf_parametersPath().c_str())) return "<no file>";
    pugi::xpath_node n = doc.select_node(gf_parameterXPath(name).c_str());
    return n ? n.node().attribute("value").value() : "<no entry>";
}

void writeParameters(const std::string& body) {
    std::filesystem::create_directories(gf_programFolder());
    test::writeWholeFile(gf_parametersPath(),
                         "<?xml version=\"1.0\"?>\n<parameters>\n" + body + "</parameters>\n");
}

TEST(ParametersTest, ValuesAreClampedWhenSetOrRead) {
    TempWorkDir dir;
    // MAX_LIVE: -1..300
    for (auto [given, kept] : {std::pair{-5, -1}, {0, 0}, {301, 300}, {INT32_MIN, -1}})
        EXPECT_EQ(MAX_LIVE.set(given), kept);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.set(0.1f), 0.5f);
    EXPECT_FLOAT_EQ(MAX_FIT_FL.set(std::numeric_limits<float>::quiet_NaN()), 0.5f);  // kept

    const struct {
        const char* text;
        bool ok;
        int32_t kept;
    } cases[] = {
        {" 12 ", true, 12}, {"999", true, 300},   {"-99999999999999999999", true, -1},
        {"", false, 55},    {"12abc", false, 55}, {"1.5", false, 55},
    };
    for (const auto& c : cases) {
        MAX_LIVE.set(55);
        EXPECT_EQ(MAX_LIVE.setText(c.text), c.ok) << c.text;
        EXPECT_EQ(MAX_LIVE.value(), c.kept) << c.text;
    }
}

TEST(ParametersFileTest, MissingFileIsRebuiltFromTheDefaults) {
    TempWorkDir dir;
    MAX_LIVE.set(12);  // loading must not keep a value the file does not hold
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(gf_parametersPath(), dir.path() / "config" / "Vandrel" / "parameters.xml");
    EXPECT_EQ(MAX_LIVE.value(), -1);
    for (const Parameter* p : gf_parameters()) EXPECT_EQ(fileValue(p->name()), p->defaultText()) << p->name();
    EXPECT_EQ(fileValue("PORT_NUMBER"), "10747");

    // An unreadable file is kept aside and rebuilt.
    const std::string broken = "<parameters><parameter name=\"MAX_LIVE\" value=";
    test::writeWholeFile(gf_parametersPath(), broken);
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(fileValue("MAX_LIVE"), "-1");
    EXPECT_EQ(test::readWholeFile(gf_parametersPath().string() + ".bad"), broken);

    // So is a folder or a FIFO in its place: loading neither aborts nor waits.
    for (const test::OddFile kind : test::oddFileKinds()) {
        std::filesystem::remove_all(gf_parametersPath().string() + ".bad");
        ASSERT_TRUE(test::makeOddFile(kind, gf_parametersPath())) << test::oddFileName(kind);
        ASSERT_TRUE(gf_loadParameters()) << test::oddFileName(kind);
        EXPECT_EQ(fileValue("MAX_LIVE"), "-1") << test::oddFileName(kind);
        EXPECT_TRUE(std::filesystem::exists(gf_parametersPath().string() + ".bad")) << test::oddFileName(kind);
    }
}

TEST(ParametersFileTest, UnknownAndRepeatedEntriesAreRemovedAndMissingOnesAdded) {
    TempWorkDir dir;
    writeParameters(
        "  <parameter name=\"MAX_LIVE\" value=\"25\"/>\n"
        "  <parameter name=\"MAX_LIVE\" value=\"30\"/>\n"
        "  <parameter name=\"OLD_SETTING\" value=\"1\"/>\n"
        "  <parameter value=\"no name\"/>\n"
        "  <other name=\"WEEK\" value=\"true\"/>\n");
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(MAX_LIVE.value(), 25);  // the first of repeated entries counts
    EXPECT_EQ(fileValue("OLD_SETTING"), "<no entry>");
    EXPECT_EQ(fileValue("LATERAL_RANGE"), "40");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(gf_parametersPath().c_str()));
    EXPECT_EQ(doc.select_nodes("/parameters/*").size(), gf_parameters().size());
    EXPECT_EQ(doc.select_nodes("/parameters/parameter").size(), gf_parameters().size());
}

// Mended fault: the lateral copies came from the value given, not the clamped one.
TEST(ParametersFileTest, OutOfRangeValuesAreClampedAndTheLateralCopiesFollow) {
    TempWorkDir dir;
    writeParameters(
        "  <parameter name=\"LATERAL_RANGE\" value=\"-20\"/>\n"
        "  <parameter name=\"AIRPORT_RANGE\" value=\"500\"/>\n"
        "  <parameter name=\"MATCHING_DEPTH\" value=\"lots\"/>\n"
        "  <parameter name=\"PARK_SOFT\"/>\n");
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    ASSERT_TRUE(gf_loadParameters());
    gf_closeLog();
    EXPECT_TRUE(PARK_SOFT.value());  // no value: the default, not false
    EXPECT_NE(test::readWholeFile("Log.txt").find(
                  "===> parameter MATCHING_DEPTH has the invalid value \"lots\", 4 used"),
              std::string::npos);
    EXPECT_EQ(LATERAL_RANGE.value(), 2);
    EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), 2.0 * 1852.0);
    EXPECT_EQ(AIRPORT_RANGE.value(), 30);

    for (auto [given, kept] : {std::pair{-5, 2}, {55, 55}, {250, 100}}) {
        gf_setLateralRange(given);
        EXPECT_EQ(LATERAL_RANGE.value(), kept);
        EXPECT_DOUBLE_EQ(lateralRangeNm.load(), kept);
        EXPECT_DOUBLE_EQ(lateralRangeMeters.load(), kept * 1852.0);
    }
}

// Mended fault: a value clamped or replaced on load was not logged, so MATCHING_DEPTH=-5 silently
// became 1 and a boolean took any text.
TEST(ParametersFileTest, ClampedOrReplacedValuesAreLoggedWithNameReadAndUsed) {
    TempWorkDir dir;
    const struct {
        const char* name;
        std::string value;
        std::string line;  // empty: the value is taken as it is, nothing logged
    } cases[] = {
        {"MATCHING_DEPTH", "-5", "===> parameter MATCHING_DEPTH has the value \"-5\" out of its range, 1 used"},
        {"MAX_LIVE", "99999999999", "===> parameter MAX_LIVE has the value \"99999999999\" out of its range, 300 used"},
        {"MAX_FIT_FL", "0.1", "===> parameter MAX_FIT_FL has the value \"0.1\" out of its range, 0.5 used"},
        {"MAX_FIT_FL", "1e60", "===> parameter MAX_FIT_FL has the value \"1e60\" out of its range, 24 used"},
        {"PARK_SOFT", "maybe", "===> parameter PARK_SOFT has the value \"maybe\" out of its range, false used"},
        {"WEEK", "yes", "===> parameter WEEK has the value \"yes\" out of its range, true used"},
        {"MAX_LIVE", std::string(6000, '9'),
         "===> parameter MAX_LIVE has the value \"" + std::string(100, '9') +
             "... (6000 characters)\" out of its range, 300 used"},
        {"MATCHING_DEPTH", " +3 ", ""},
        {"MAX_FIT_FL", "12.5", ""},
        {"WEEK", "1", ""},
        {"WEEK", "True", ""},
        {"PARK_SOFT", "false", ""},
        {"MSFS_INSTALL_PATH", "anything at all", ""},
    };
    for (const auto& c : cases) {
        writeParameters(fmt::format("  <parameter name=\"{}\" value=\"{}\"/>\n", c.name, c.value));
        std::filesystem::remove("Log.txt");
        ASSERT_TRUE(gf_openLog("MSFS 2020"));
        ASSERT_TRUE(gf_loadParameters());
        gf_closeLog();
        const std::string log = test::readWholeFile("Log.txt");
        if (c.line.empty()) {
            EXPECT_EQ(log.find(c.name), std::string::npos) << c.name << " " << c.value;
        } else {
            EXPECT_NE(log.find(c.line + "\n"), std::string::npos) << c.line << "\n" << log;
        }
    }
    // The file as the program writes it gives no such line.
    std::filesystem::remove(gf_parametersPath());
    ASSERT_TRUE(gf_loadParameters());
    std::filesystem::remove("Log.txt");
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    ASSERT_TRUE(gf_loadParameters());
    gf_closeLog();
    EXPECT_EQ(test::readWholeFile("Log.txt").find("parameter "), std::string::npos);
}

// A parameters.xml of an older version gains the download settings with their defaults; the
// caps cannot be switched off (0) or raised without bound, and none of them is in the window.
TEST(ParametersFileTest, DownloadSettingsJoinAnOlderFileAndTheCapsStayBounded) {
    TempWorkDir dir;
    writeParameters("  <parameter name=\"MAX_LIVE\" value=\"25\"/>\n");
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(MAX_LIVE.value(), 25);
    EXPECT_EQ(fileValue("UPDATE_SERVER"), "");
    EXPECT_EQ(fileValue("DOWNLOAD_LIMIT_MB"), "200");
    EXPECT_EQ(fileValue("UNZIP_LIMIT_MB"), "200");
    writeParameters(
        "  <parameter name=\"DOWNLOAD_LIMIT_MB\" value=\"0\"/>\n"
        "  <parameter name=\"UNZIP_LIMIT_MB\" value=\"99999999999\"/>\n"
        "  <parameter name=\"UPDATE_SERVER\" value=\"https://data.example.net/\"/>\n");
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_EQ(DOWNLOAD_LIMIT_MB.value(), 1);
    EXPECT_EQ(UNZIP_LIMIT_MB.value(), 2000);
    EXPECT_EQ(UPDATE_SERVER.value(), "https://data.example.net/");
    const Parameter* notShown[] = {&UPDATE_SERVER, &DOWNLOAD_LIMIT_MB, &UNZIP_LIMIT_MB};
    for (const Parameter* p : notShown)
        EXPECT_EQ(p->control(), nullptr) << p->name();
}

// Written through a temporary file and renamed, so a crash never leaves it truncated.
TEST(ParametersFileTest, ChangedSettingIsWrittenBackAtOnce) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_loadParameters());
    SCAN_LIVERIES.set(false);
    gf_saveBoolParameter(SCAN_LIVERIES);
    DESTINATION.set("EDDF");
    ASSERT_TRUE(gf_saveParameter(DESTINATION));
    EXPECT_EQ(fileValue("SCAN_LIVERIES"), "false");
    EXPECT_EQ(fileValue("DESTINATION"), "EDDF");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(gf_programFolder()),
                            std::filesystem::directory_iterator()),
              1);

    gf_resetParametersToDefaults();
    ASSERT_TRUE(gf_loadParameters());
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_EQ(DESTINATION.value(), "EDDF");

    std::filesystem::remove(gf_parametersPath());
    MAX_LIVE.set(7);
    ASSERT_TRUE(gf_saveParameter(MAX_LIVE));  // a deleted file is rebuilt around the change
    EXPECT_EQ(fileValue("MAX_LIVE"), "7");
    EXPECT_EQ(fileValue("WEEK"), "false");
}

#ifdef _WIN32
TEST(PathsTest, AppDataFoldersWithTheirFallbacks) {
    TempWorkDir dir;
    const auto d = dir.path();
    EXPECT_EQ(gf_localProgramFolder(), d / "data" / "Vandrel");

    const std::filesystem::path user = d / gf_pathFromUtf8("J\xC3\xBCrgen");  // "Jürgen"
    test::setEnv("APPDATA", gf_utf8FromPath(user / "Roaming"));
    EXPECT_EQ(gf_parametersPath(), user / "Roaming" / "Vandrel" / "parameters.xml");
    ASSERT_TRUE(gf_makeProgramFolder());
    EXPECT_TRUE(std::filesystem::is_directory(user / "Roaming" / "Vandrel"));
    test::setEnv("APPDATA", "relative\\roaming");  // not absolute: the known folder
    test::unsetEnv("LOCALAPPDATA");
    EXPECT_TRUE(gf_appDataFolder().is_absolute()) << gf_utf8FromPath(gf_appDataFolder());
    EXPECT_TRUE(gf_localAppDataFolder().is_absolute()) << gf_utf8FromPath(gf_localAppDataFolder());
    EXPECT_NE(gf_appDataFolder(), gf_localAppDataFolder());
}
#else
TEST(PathsTest, XdgFoldersWithTheirFallbacks) {
    TempWorkDir dir;
    const auto d = dir.path();
    EXPECT_EQ(gf_localProgramFolder(), d / "data" / "Vandrel");

    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    test::setEnv("HOME", gf_utf8FromPath(d / "home"));
    test::unsetEnv("XDG_CONFIG_HOME");
    test::setEnv("XDG_DATA_HOME", "");
    test::setEnv("XDG_RUNTIME_DIR", "relative/run");  // not absolute: ignored
    EXPECT_EQ(gf_appDataFolder(), d / "home" / ".config");
    EXPECT_EQ(gf_localAppDataFolder(), d / "home" / ".local" / "share");
    EXPECT_EQ(gf_runtimeFolder(), std::filesystem::path("/tmp"));
    EXPECT_EQ(gf_parametersPath(), d / "home" / ".config" / "Vandrel" / "parameters.xml");
    if (oldHome) test::setEnv("HOME", savedHome);
}
#endif

}  // namespace
}  // namespace vdl
