#include "shell/single_instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "support/foundation_env.h"

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
constexpr int childFailed = 30;

int lf_tryInstance() {
    try {
        NamedMutex m(instanceMutexName);
        return m.owned() ? childOwned : childRefused;
    } catch (...) {
        return childFailed;
    }
}

TEST(NamedMutexPath, LocalNamespaceMapsToTheRuntimeFolder) {
    test::TempWorkDir dir;
    const auto run = dir.path() / "run";
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(gf_namedMutexPath(instanceMutexName), run / ("$Vandrel$." + uid + ".lock"));
    EXPECT_EQ(gf_namedMutexPath("Global\\a/b"), run / ("Global_a_b." + uid + ".lock"));
    EXPECT_EQ(gf_namedMutexPath("Local\\"), run / ("_." + uid + ".lock"));
    // Without a runtime folder of the user's own, the shared one.
    ::unsetenv("XDG_RUNTIME_DIR");
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

TEST(NamedMutex, LockOfAnEndedProcessIsFree) {
    test::TempWorkDir dir;
    int toParent[2];
    int toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The child holds the lock until told, then ends without any clean-up.
        NamedMutex held(instanceMutexName);
        char c = held.owned() ? 'y' : 'n';
        if (::write(toParent[1], &c, 1) != 1) ::_exit(1);
        if (::read(toChild[0], &c, 1) != 1) ::_exit(1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    {
        NamedMutex mine(instanceMutexName);
        EXPECT_FALSE(mine.owned());
    }
    c = 'q';
    ASSERT_EQ(::write(toChild[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    NamedMutex mine(instanceMutexName);
    EXPECT_TRUE(mine.owned());
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) ::close(fd);
}

TEST(NamedMutex, UnusableRuntimeFolderIsAnError) {
    test::TempWorkDir dir;
    // A file where the folder should be.
    test::writeWholeFile(dir.path() / "blocked", "x");
    ::setenv("XDG_RUNTIME_DIR", (dir.path() / "blocked").c_str(), 1);
    EXPECT_THROW(NamedMutex m(instanceMutexName), std::system_error);
}

}  // namespace
}  // namespace vdl
