#pragma once
// One instance per user. On Windows (single_instance_windows.cpp) the named mutex itself; on
// POSIX (single_instance_posix.cpp) an exclusive lock on a file in the per-user runtime folder.
// Either goes with the process, also when it crashes.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "foundation/unique_handle.h"

namespace vdl {

inline constexpr std::string_view instanceMutexName = "Local\\$Vandrel$";

// POSIX: "Local\NAME" -> <runtime folder>/NAME.<user id>.lock; path separators in NAME become '_'.
std::filesystem::path gf_namedMutexPath(std::string_view mutexName);

// The lock file's descriptor, or the mutex's handle on Windows.
struct InstanceLockTraits {
    using Native = std::intptr_t;
    static constexpr Native invalid = -1;
    static void close(Native lock) noexcept;
};

class NamedMutex {
public:
    // Tries to take the mutex at once; owned() tells whether it was taken (not when another
    // process, or another NamedMutex of this one, holds it). Throws std::system_error when the
    // mutex or the lock file cannot be made or locked for another reason.
    explicit NamedMutex(std::string_view mutexName);
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool owned() const { return lock_.valid(); }
    // POSIX: the lock file.
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    UniqueHandle<InstanceLockTraits> lock_;  // closing it releases the mutex
};

}  // namespace vdl
