#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/reset.h"
#include "support/platform.h"

namespace vdl::test {

// A fresh working folder for one test: made under the system temp folder, entered with
// chdir, and holding the per-user folders (support/platform.h). Foundation globals are reset.
class TempWorkDir {
  public:
    TempWorkDir() {
        dir_ = makeTempDir("vdl-test-");
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        useUserFolders(dir_);
        vdl::gf_resetFoundation();
    }
    ~TempWorkDir() {
        vdl::gf_resetFoundation();
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path dir_;
    std::filesystem::path old_;
};

inline std::string readWholeFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace vdl::test
