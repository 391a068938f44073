#include "foundation/unique_handle.h"

#ifndef _WIN32

#include <unistd.h>

namespace vdl {

void FdTraits::close(Native fd) noexcept {
    ::close(fd);
}

}  // namespace vdl

#endif
