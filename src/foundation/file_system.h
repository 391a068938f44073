// What the file helpers need of the system, beside std::filesystem: file_system_posix.cpp and
// file_system_windows.cpp implement it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>

namespace vdl {

// This process's id, and whether a process of that id runs (one of another user counts too).
uint32_t gf_currentProcessId();
bool gf_processRuns(uint32_t pid);

// std::fopen for any UTF-8 path (_wfopen on Windows); null with errno set when it fails.
std::FILE* gf_openFile(const std::filesystem::path& path, const char* mode);

// Creates or truncates the file and writes the content through to the disk; false when any
// step fails (a partly written file may stay).
bool gf_writeFileDurably(const std::filesystem::path& path, std::string_view content);

// Puts `from` in the place of `to` in one step, written through to the disk; false when it
// could not (both files then stay).
bool gf_renameOver(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace vdl
