// The run shell's tests: a fresh working folder with the program's folders, and every
// library reset.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "shell/reset.h"
#include "shell/single_instance.h"
#include "support/foundation_env.h"
#include "support/wait.h"
#include "window/main_window.h"

namespace vdl::test {

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override { gf_resetEverything(); }
    void TearDown() override { gf_resetEverything(); }

    // "airports", "input", "output" and "TBLO", as the run's working-folder check wants them.
    static void makeProgramFolders() {
        for (const char* f : {"airports", "input", "output/info", "output/errors", "TBLO"})
            std::filesystem::create_directories(f);
    }
    // The shipped input/dbase.xml; false when the project has none.
    static bool installDbase() {
        const std::filesystem::path shipped = std::filesystem::path(VDL_SOURCE_DIR) / "data/input/dbase.xml";
        if (!std::filesystem::exists(shipped)) return false;
        std::filesystem::create_directories("input");
        std::filesystem::copy_file(shipped, "input/dbase.xml",
                                   std::filesystem::copy_options::overwrite_existing);
        return true;
    }
    // The value parameters.xml holds for the parameter; "?" when it has none.
    static std::string savedValue(const std::string& name) {
        const std::string xml = readWholeFile(gf_parametersPath());
        const std::string key = "name=\"" + name + "\" value=\"";
        const auto at = xml.find(key);
        if (at == std::string::npos) return "?";
        const auto start = at + key.size();
        return xml.substr(start, xml.find('"', start) - start);
    }
    // A single-instance mutex of this test's own: on Windows the name is one for the whole session,
    // and the tests run side by side.
    static std::string ownInstanceMutexName() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(test->test_suite_name()) + "." + test->name();
        std::replace(name.begin(), name.end(), '/', '_');  // a parameterised test's
        return std::string(instanceMutexName) + "." + name;
    }
    // RealTraffic counts as installed on this PC.
    void installRealTraffic() { std::filesystem::create_directories(dir.path() / "data" / "RealTraffic"); }

    TempWorkDir dir;
};

// With the program folder, the parameters and the main window made, as a start-up makes them.
class WindowShellTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        ASSERT_TRUE(gf_makeProgramFolder());
        ASSERT_TRUE(gf_loadParameters());
        gf_initMainWindow();
    }
};

// True when one of the lines holds the part.
inline bool hasLine(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

}  // namespace vdl::test
