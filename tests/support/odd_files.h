// Names that are no regular file where a file is expected: a folder and, where the system has
// them, a FIFO (opening one for reading waits for a writer that never comes).
#pragma once

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

namespace vdl::test {

enum class OddFile { folder, fifo };

inline const char* oddFileName(OddFile kind) { return kind == OddFile::folder ? "folder" : "FIFO"; }

// The kinds this system can make.
inline std::vector<OddFile> oddFileKinds() {
#ifdef _WIN32
    return {OddFile::folder};
#else
    return {OddFile::folder, OddFile::fifo};
#endif
}

// Makes the path (its parent folders too) one of the kinds, replacing what is there; false when
// it could not.
inline bool makeOddFile(OddFile kind, const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    if (kind == OddFile::folder) return std::filesystem::create_directories(path, ec);
#ifdef _WIN32
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

}  // namespace vdl::test
