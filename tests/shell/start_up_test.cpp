#include "shell/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "refdata/dbase.h"
#include "shell/reset.h"
#include "shell/single_instance.h"
#include "shell/window/main_window.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

class StartUpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetShellForTests();
        for (const char* f : {"airports", "input", "output", "TBLO"}) std::filesystem::create_directories(f);
        options.scenario.startAfterSeconds = 0.1;
        options.scenario.endAtSimSeconds = 1.0;
        options.run.trafficPort = 0;
        options.run.qnhPort = 0;
        options.run.trafficReaderDelay = std::chrono::milliseconds(100);
        options.inputFd = -1;
    }
    void TearDown() override { gf_resetShellForTests(); }

    void installDbase() {
        const std::filesystem::path shipped = std::filesystem::path(VDL_SOURCE_DIR) / "data/input/dbase.xml";
        if (!std::filesystem::exists(shipped)) GTEST_SKIP() << "no shipped dbase.xml yet";
        std::filesystem::create_directories("input");
        std::filesystem::copy_file(shipped, "input/dbase.xml");
    }

    int run() { return gf_runProgram(options, out, err); }

    test::TempWorkDir dir;
    ProgramOptions options;
    std::ostringstream out;
    std::ostringstream err;
};

std::string lf_firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST_F(StartUpTest, StartsWithLogParametersDataBaseAndPrintsTheWindow) {
    installDbase();
    ASSERT_EQ(run(), 0) << err.str();
    EXPECT_EQ(err.str(), "");

    std::string log = test::readWholeFile("Log.txt");
    EXPECT_TRUE(std::regex_match(lf_firstLine(log),
                                 std::regex(R"(.+ \(utc\) Vandrel version 10\.10\.4 for MSFS 202[04])")))
        << lf_firstLine(log);
    EXPECT_TRUE(std::filesystem::exists(gf_parametersPath())) << "parameters.xml is rebuilt when missing";
    EXPECT_TRUE(gf_dbaseLoaded());

    std::string shown = out.str();
    EXPECT_EQ(lf_firstLine(shown), "==== window ====");
    EXPECT_NE(shown.find("\nVandrel 10.10.4 for MSFS 2020\n"), std::string::npos);
    EXPECT_NE(shown.find("-- options --"), std::string::npos);
    EXPECT_NE(shown.find(LATERAL_RANGE.caption() + ": [40]"), std::string::npos);
    EXPECT_EQ(shown.find("Error"), std::string::npos);
}

TEST_F(StartUpTest, WindowShowsTheValuesOfParametersXml) {
    installDbase();
    std::filesystem::create_directories(gf_programFolder());
    test::writeWholeFile(gf_parametersPath(), R"(<?xml version="1.0"?>
<parameters>
  <parameter name="MAX_LIVE" value="25" />
  <parameter name="LATERAL_RANGE" value="500" />
  <parameter name="LOG" value="false" />
</parameters>
)");
    ASSERT_EQ(run(), 0) << err.str();
    std::string shown = out.str();
    EXPECT_NE(shown.find(MAX_LIVE.caption() + ": [25]"), std::string::npos) << shown;
    EXPECT_NE(shown.find(LATERAL_RANGE.caption() + ": [100]"), std::string::npos) << "clamped when read";
    EXPECT_NE(shown.find("[ ] " + LOG.caption()), std::string::npos);
}

TEST_F(StartUpTest, MissingDataBaseIsReportedAndFails) {
    EXPECT_EQ(run(), 1);
    EXPECT_NE(err.str().find("lf_startUp: "), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("\nError "), std::string::npos) << "the window shows the error line";
    std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("lf_startUp: "), std::string::npos) << log;
}

TEST_F(StartUpTest, SecondInstanceEndsAtOnce) {
    NamedMutex first(instanceMutexName);
    ASSERT_TRUE(first.owned());
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(err.str(), "Vandrel is already running\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_FALSE(std::filesystem::exists("Log.txt"))
        << "the second instance must not truncate the first's log";
    EXPECT_FALSE(std::filesystem::exists(gf_parametersPath()));
}

}  // namespace
}  // namespace vdl
