#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vdl {

// The one crossing between UTF-8 text and paths. A narrow string put straight into a
// std::filesystem::path is read in the system's code page on Windows, and path::string()
// answers in it: a user folder such as "C:\Users\Jürgen" would not survive the round trip.
// Every place where text becomes a path, or a path becomes text, goes through these two.
std::filesystem::path gf_pathFromUtf8(std::string_view text);
std::string gf_utf8FromPath(const std::filesystem::path& path);

}  // namespace vdl
