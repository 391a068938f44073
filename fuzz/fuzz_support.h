// Shared by the fuzz targets: a private scratch folder for the parsers that read files, and a
// check that stops the run when a parser hands out something its contract rules out.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace vdl::fuzz {

// Made once per process and used as the XDG folders; removed at exit. A RAM-backed folder
// where there is one: some writers flush every file to disk.
class ScratchDir {
  public:
    ScratchDir() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "vdl-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return dir_; }

  private:
    std::filesystem::path dir_;
};

inline const ScratchDir& gf_scratchDir() {
    static const ScratchDir dir;
    return dir;
}

// The parsers read their files at paths relative to the working folder. The run enters the
// scratch folder and leaves it again, so that libFuzzer's own relative paths keep working.
class InScratchDir {
  public:
    InScratchDir() : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(gf_scratchDir().path());
    }
    ~InScratchDir() { std::filesystem::current_path(old_); }
    InScratchDir(const InScratchDir&) = delete;
    InScratchDir& operator=(const InScratchDir&) = delete;

  private:
    std::filesystem::path old_;
};

inline std::string_view gf_text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Writes the bytes as the whole file, making its folder.
inline void gf_writeFile(const std::filesystem::path& path, std::string_view bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();
}

// A broken promise of the parser is a finding like a crash.
inline void gf_expect(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace vdl::fuzz
