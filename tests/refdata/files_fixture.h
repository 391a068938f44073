// Fresh working folder with Log.txt open and the reference data reset, for the tests of the
// reference files, downloads and the updater.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/log.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "support/foundation_env.h"

namespace vdl::test {

class RefFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        gf_resetRefdataForTests();
        gf_openLog("MSFS 2020", "Log.txt");
    }
    void TearDown() override {
        gf_closeLog();
        gf_resetRefdataForTests();
    }

    static std::string logText() { return readWholeFile("Log.txt"); }

    TempWorkDir work;
};

}  // namespace vdl::test
