// A simulator Community folder of AI-traffic packages in the real layout
// (<package>/SimObjects/Airplanes/<aircraft>/aircraft.cfg with its texture folders), written with
// the habits of real files: upper- and lower-case section names, quoted values, trailing ";"
// comments, UTF-16 and Windows-1252 files, "-STUB" and "FSLTL_" titles, non-ASCII folder names
// and titles. Deterministic for a given seed; for the tests, the benchmark and the main job.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vdl::samples {

struct CommunityOptions {
    size_t files = 40;     // aircraft.cfg files
    size_t sections = 25;  // [fltsim.N] sections per file
    uint32_t seed = 1;
    bool textureFolders = true;  // a texture.<name> folder per section
};

// What was written: every title (the simulator's installed titles, "-STUB" ones included) and
// the package folders.
struct CommunityWritten {
    std::vector<std::string> titles;
    std::vector<std::filesystem::path> packages;
    size_t bytes = 0;  // of the aircraft.cfg files
};

// Writes the packages into `community` (created when missing). Throws std::runtime_error when a
// file cannot be written.
CommunityWritten gf_writeCommunity(const std::filesystem::path& community, const CommunityOptions& options);

// The package folder names, in the order of the package shares: AIG, FSLTL, user traffic.
inline constexpr const char* communityPackageNames[] = {"aig-aitraffic-oci-beta", "fsltl-traffic-base",
                                                        "user-aitraffic-Jürgen"};

}  // namespace vdl::samples
