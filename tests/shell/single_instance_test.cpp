#include "shell/single_instance.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include "foundation/paths.h"
#include "foundation/utf8_path.h"
#include "shell/start_up.h"
#include "support/platform.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

constexpr int childOwned = 10;
constexpr int childRefused = 20;

// With this variable set, the test binary is no test run but a second instance: it tries the
// instance mutex before main and ends with what it found.
constexpr const char* instanceChildVariable = "VDL_TEST_INSTANCE_CHILD";

[[maybe_unused]] const bool instanceChildMode = [] {
    if (!gf_environmentText(instanceChildVariable)) return false;
    int code = 30;
    try {
        code = NamedMutex(instanceMutexName).owned() ? childOwned : childRefused;
    } catch (...) {
    }
    std::exit(code);
}();

// The instance mutex tried by another process: its exit code.
int lf_tryInstanceElsewhere() {
    test::ChildProcess child(instanceChildVariable, "1");
    return child.wait();
}

#ifndef _WIN32
TEST(NamedMutexPath, LocalNamespaceMapsToTheRuntimeFolder) {
    test::TempWorkDir dir;
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(gf_namedMutexPath(instanceMutexName), dir.path() / "run" / ("$Vandrel$." + uid + ".lock"));
    EXPECT_EQ(gf_namedMutexPath("Global\\a/b"), dir.path() / "run" / ("Global_a_b." + uid + ".lock"));
    test::unsetEnv("XDG_RUNTIME_DIR");  // then the shared folder
    EXPECT_EQ(gf_namedMutexPath(instanceMutexName), std::filesystem::path("/tmp") / ("$Vandrel$." + uid + ".lock"));
}

#endif

TEST(NamedMutex, SecondInstanceInAnotherProcessIsRefused) {
    test::TempWorkDir dir;
    ASSERT_FALSE(std::filesystem::exists(dir.path() / "run")) << "the runtime folder is made when missing";
    {
        NamedMutex first(instanceMutexName);
        ASSERT_TRUE(first.owned());
#ifndef _WIN32
        EXPECT_TRUE(std::filesystem::exists(first.path()));
#endif
        EXPECT_EQ(lf_tryInstanceElsewhere(), childRefused);
        // Also a second open in the same process.
        NamedMutex second(instanceMutexName);
        EXPECT_FALSE(second.owned());
    }
    // Released with its owner.
    EXPECT_EQ(lf_tryInstanceElsewhere(), childOwned);
}

#ifndef _WIN32
TEST(NamedMutex, UnusableRuntimeFolderIsAnError) {
    test::TempWorkDir dir;
    test::writeWholeFile(dir.path() / "blocked", "x");
    test::setEnv("XDG_RUNTIME_DIR", gf_utf8FromPath(dir.path() / "blocked"));  // a file, not a folder
    EXPECT_THROW(NamedMutex m(instanceMutexName), std::system_error);
}
#endif

// The program's refusals that come before any thread starts.
class EarlyRefusal : public test::ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        makeProgramFolders();
        if (!installDbase()) GTEST_SKIP() << "no shipped dbase.xml";
        options.inputFd = -1;
    }

    ProgramOptions options;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(EarlyRefusal, MissingDataBaseIsReportedAndFails) {
    std::filesystem::remove("input/dbase.xml");
    EXPECT_EQ(gf_runProgram(options, out, err), 1);
    EXPECT_NE(err.str().find("lf_startUp: "), std::string::npos) << err.str();
    EXPECT_NE(out.str().find("\nError "), std::string::npos) << "the window shows the error line";
    std::string log = test::readWholeFile("Log.txt");
    EXPECT_NE(log.find("lf_startUp: "), std::string::npos) << log;
}

TEST_F(EarlyRefusal, SecondInstanceEndsAtOnce) {
    NamedMutex first(instanceMutexName);
    ASSERT_TRUE(first.owned());
    EXPECT_EQ(gf_runProgram(options, out, err), 1);
    EXPECT_EQ(err.str(), "Vandrel is already running\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_FALSE(std::filesystem::exists("Log.txt"))
        << "the second instance must not truncate the first's log";
    EXPECT_FALSE(std::filesystem::exists(gf_parametersPath()));
}

}  // namespace
}  // namespace vdl
