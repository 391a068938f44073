#pragma once
// One instance per user: the named mutex becomes an exclusive lock on a file in the
// per-user runtime folder. The lock goes with the process, also when it crashes.
#include <filesystem>
#include <string_view>

#include "foundation/unique_handle.h"

namespace vdl {

inline constexpr std::string_view instanceMutexName = "Local\\$Vandrel$";

// "Local\NAME" -> <runtime folder>/NAME.<user id>.lock; path separators in NAME become '_'.
std::filesystem::path gf_namedMutexPath(std::string_view mutexName);

class NamedMutex {
public:
    // Tries to take the mutex at once; owned() tells whether it was taken. Throws
    // std::system_error when the lock file cannot be made or locked for another reason.
    explicit NamedMutex(std::string_view mutexName);
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool owned() const { return fd_.valid(); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    UniqueFd fd_;  // closing it releases the lock
};

}  // namespace vdl
