#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/reset.h"

namespace vdl::test {

// A fresh working folder for one test: made under the system temp folder, entered with
// chdir, and used as XDG config, data and runtime folder. Foundation globals are reset.
class TempWorkDir {
  public:
    TempWorkDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vdl-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
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
