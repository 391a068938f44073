#pragma once

// Real recorded traffic lives outside the project and is read where it lies
// (VDL_RECORDED_TRAFFIC_DIR, empty when the build found none). A test that needs a file of it
// starts with VDL_RECORDED_TRAFFIC(path, "realtraffic/...") and is skipped, saying what it
// looked for and where, when the file is not there.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace vdl::test {

inline std::filesystem::path recordedTrafficFolder() {
    return std::filesystem::path(VDL_RECORDED_TRAFFIC_DIR);
}

// The file's path, or an empty path when it is not there.
inline std::filesystem::path recordedTrafficFile(const std::string& relative) {
    if (recordedTrafficFolder().empty()) return {};
    const std::filesystem::path file = recordedTrafficFolder() / relative;
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec) ? file : std::filesystem::path{};
}

inline std::string recordedTrafficMissing(const std::string& relative) {
    if (recordedTrafficFolder().empty())
        return "recorded traffic " + relative +
               " not found: no recorded traffic folder (VDL_RECORDED_TRAFFIC_DIR is not set)";
    return "recorded traffic " + relative + " not found in " + recordedTrafficFolder().string();
}

}  // namespace vdl::test

#define VDL_RECORDED_TRAFFIC(var, relative)                                   \
    const std::filesystem::path var = ::vdl::test::recordedTrafficFile(relative); \
    if (var.empty()) GTEST_SKIP() << ::vdl::test::recordedTrafficMissing(relative)
