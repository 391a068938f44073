#include "foundation/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "foundation/not_created.h"
#include "foundation/timer.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::TempWorkDir;

TEST(PathsTest, XdgFoldersWithTheirFallbacks) {
    TempWorkDir dir;
    const auto d = dir.path();
    EXPECT_EQ(gf_appDataFolder(), d / "config");
    EXPECT_EQ(gf_localAppDataFolder(), d / "data");
    EXPECT_EQ(gf_runtimeFolder(), d / "run");
    EXPECT_EQ(gf_programFolder(), d / "config" / "Vandrel");
    EXPECT_EQ(gf_localProgramFolder(), d / "data" / "Vandrel");
    EXPECT_EQ(gf_runtimeProgramFolder(), d / "run" / "Vandrel");

    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    ::setenv("HOME", (d / "home").c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("XDG_DATA_HOME", "", 1);
    ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);  // not absolute: ignored
    EXPECT_EQ(gf_appDataFolder(), d / "home" / ".config");
    EXPECT_EQ(gf_localAppDataFolder(), d / "home" / ".local" / "share");
    EXPECT_EQ(gf_runtimeFolder(), std::filesystem::path("/tmp"));
    EXPECT_EQ(gf_parametersPath(), d / "home" / ".config" / "Vandrel" / "parameters.xml");

    EXPECT_TRUE(gf_makeProgramFolder());
    EXPECT_TRUE(std::filesystem::is_directory(d / "home" / ".config" / "Vandrel"));
    EXPECT_TRUE(gf_makeProgramFolder());  // already there
    if (oldHome) ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(NotCreatedTitlesTest, SortedWithoutRepeats) {
    TempWorkDir dir;
    for (const char* t : {"B738 RYR", "A320 DLH", "B738 RYR", "A320 BAW", "A320 DLH"})
        gf_addNotCreatedTitle(t);
    std::vector<std::string> want{"A320 BAW", "A320 DLH", "B738 RYR"};
    EXPECT_EQ(gf_notCreatedTitles(), want);
    EXPECT_EQ(gf_notCreatedTitles(), want);
    gf_clearNotCreatedTitles();
    EXPECT_TRUE(gf_notCreatedTitles().empty());
}

TEST(TimerTest, ResolutionCallsAreHarmless) {
    EXPECT_TRUE(gf_beginTimerResolution(1));
    EXPECT_TRUE(gf_endTimerResolution(1));
    TimerResolution scoped(1);
}

}  // namespace
}  // namespace vdl
