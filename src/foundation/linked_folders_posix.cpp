#include <system_error>

#include "foundation/linked_folders.h"

namespace vdl {

bool gf_isFolderLink(const std::filesystem::path& folder) {
    std::error_code ec;
    return std::filesystem::is_symlink(std::filesystem::symlink_status(folder, ec));
}

std::filesystem::path gf_finalFolderPath(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::path final = std::filesystem::canonical(folder, ec);
    return ec ? std::filesystem::path() : final;
}

}  // namespace vdl
