#include "foundation/unique_handle.h"

#include <unistd.h>

namespace vdl {

void FdTraits::close(Native fd) noexcept {
    ::close(fd);
}

}  // namespace vdl
