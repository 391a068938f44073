// The POSIX side of shell/single_instance.h.
#include "shell/single_instance.h"

#include <cerrno>
#include <string>
#include <system_error>

#include <fmt/format.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "foundation/paths.h"
#include "foundation/utf8_path.h"

namespace vdl {

std::filesystem::path gf_namedMutexPath(std::string_view mutexName) {
    constexpr std::string_view localPrefix = "Local\\";
    if (mutexName.starts_with(localPrefix)) mutexName.remove_prefix(localPrefix.size());
    std::string file(mutexName);
    for (char& c : file) {
        if (c == '/' || c == '\\') c = '_';
    }
    if (file.empty()) file.push_back('_');
    // Without XDG_RUNTIME_DIR the folder is /tmp, shared by all users: the user id keeps
    // one user's instance from blocking (or being blocked by) another user's.
    return gf_runtimeFolder() / fmt::format("{}.{}.lock", file, ::getuid());
}

void InstanceLockTraits::close(Native lock) noexcept {
    ::close(static_cast<int>(lock));
}

NamedMutex::NamedMutex(std::string_view mutexName) : path_(gf_namedMutexPath(mutexName)) {
    std::error_code ec;
    std::filesystem::create_directories(path_.parent_path(), ec);
    UniqueFd fd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) throw std::system_error(errno, std::generic_category(), "cannot open " + gf_utf8FromPath(path_));
    int rc;
    do {
        rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        if (errno == EWOULDBLOCK) return;  // another instance holds it
        throw std::system_error(errno, std::generic_category(), "cannot lock " + gf_utf8FromPath(path_));
    }
    // The file stays when the lock goes, so that no other instance can lock a file that is
    // about to be removed.
    lock_.reset(fd.release());
}

}  // namespace vdl
