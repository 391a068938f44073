// A move-only owner of one system handle that closes it exactly once.
#pragma once

#include <utility>

namespace vdl {

// Traits name the handle type (`Native`), its empty value (`invalid`) and
// `static void close(Native) noexcept`.
template <typename Traits>
class UniqueHandle {
  public:
    using Native = typename Traits::Native;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Native handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Native get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != Traits::invalid; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the handle up without closing it.
    Native release() noexcept { return std::exchange(handle_, Traits::invalid); }
    // Closes the handle held (if any) and holds `handle` instead.
    void reset(Native handle = Traits::invalid) noexcept {
        const Native old = std::exchange(handle_, handle);
        if (old != Traits::invalid) Traits::close(old);
    }

  private:
    Native handle_ = Traits::invalid;
};

#ifndef _WIN32
// A POSIX file descriptor that is no socket (a lock file, an eventfd).
struct FdTraits {
    using Native = int;
    static constexpr Native invalid = -1;
    static void close(Native fd) noexcept;
};
using UniqueFd = UniqueHandle<FdTraits>;
#endif

}  // namespace vdl
