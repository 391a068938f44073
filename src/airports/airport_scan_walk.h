// The walk of one package folder for BGL airport files: which folders and files it leaves out,
// and one worker per file read, at most hwThreads at once, every one joined before it returns.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string_view>

namespace vdl {

// The words are looked for in the path below the scanned folder, case-sensitive, so that the
// folder's own path (a user folder named "aircraft", say) never hides its airports.
// Folders and files of the skip words are left out, and any path of 250 characters or more.
bool gf_skipAirportPath(std::string_view belowRoot, size_t fullPathChars);
// BGL files of these words are not read ("statics", "AFCAD Updates", "_heliports").
bool gf_hasExcludedFileWord(std::string_view belowRoot);
// ".BGL" and ".bgl" only.
bool gf_isBglExtension(std::string_view extension);

using BglFileReader = std::function<void(const std::filesystem::path& path)>;

// Walks the folder and its sub-folders and hands every BGL file with an airport section to
// readFile on a worker thread of its own, at most hwThreads at once (the worker slots). Starts
// no worker once an exit is under way. Waits for every worker it started before it returns,
// also after a fault of the walk; faults and workers' exceptions go to the scan log.
void gf_scanFolderForAirports(const std::filesystem::path& folder, const BglFileReader& readFile);

// The scan's reader of one BGL file (the body of a worker). A failure is logged and thrown on.
void gf_toParkingPositions(const std::filesystem::path& path);

}  // namespace vdl
