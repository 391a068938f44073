#include "shell/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

#include "foundation/paths.h"
#include "shell/start_up.h"
#include "support/shell_env.h"

namespace vdl {
namespace {

// Runs `body` in a forked child; answers its exit code (-1 when it did not exit normally).
template <typename F>
int lf_inChild(F body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

constexpr int childOwned = 10;
constexpr int childRefused = 20;

int lf_tryInstance() {
    try {
        return NamedMutex(instanceMutexName).owned() ? childOwned : childRefused;
    } catch (...) {
        return 30;
    }
}

TEST(NamedMutexPath, LocalNamespaceMapsToTheRuntimeFolder) {
    test::TempWorkDir dir;
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(gf_namedMutexPath(instanceMutexName), dir.path() / "run" / ("$Vandrel$." + uid + ".lock"));
    EXPECT_EQ(gf_namedMutexPath("Global\\a/b"), dir.path() / "run" / ("Global_a_b." + uid + ".lock"));
    ::unsetenv("XDG_RUNTIME_DIR");  // then the shared folder
    EXPECT_EQ(gf_namedMutexPath(instanceMutexName), std::filesystem::path("/tmp") / ("$Vandrel$." + uid + ".lock"));
}

TEST(NamedMutex, SecondInstanceInAnotherProcessIsRefused) {
    test::TempWorkDir dir;
    ASSERT_FALSE(std::filesystem::exists(dir.path() / "run")) << "the runtime folder is made when missing";
    {
        NamedMutex first(instanceMutexName);
        ASSERT_TRUE(first.owned());
        EXPECT_TRUE(std::filesystem::exists(first.path()));
        EXPECT_EQ(lf_inChild(lf_tryInstance), childRefused);
        // Also a second open in the same process.
        NamedMutex second(instanceMutexName);
        EXPECT_FALSE(second.owned());
    }
    // Released with its owner.
    EXPECT_EQ(lf_inChild(lf_tryInstance), childOwned);
}

TEST(NamedMutex, UnusableRuntimeFolderIsAnError) {
    test::TempWorkDir dir;
    test::writeWholeFile(dir.path() / "blocked", "x");
    ::setenv("XDG_RUNTIME_DIR", (dir.path() / "blocked").c_str(), 1);  // a file, not a folder
    EXPECT_THROW(NamedMutex m(instanceMutexName), std::system_error);
}

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
