// The check that the plain stand-file reader reads a file as pugixml's parse does: for the
// fuzz target and the tests.
#pragma once

#include <filesystem>
#include <string>

namespace vdl {

// Empty when the plain reader refuses the file, or when pugixml also loads it and gives the same
// meta block and parameters (every top-level element but the first "parkpositions") and the same
// "parkpos" elements, their attributes present or absent and valued alike; else what differs.
std::string gf_plainReadDifference(const std::filesystem::path& file);

}  // namespace vdl
