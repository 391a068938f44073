// Folders linked into a scanned folder's top level. Add-on managers link packages into the
// Community folder (symbolic links, junctions on Windows) and the simulator loads them, so the
// scans enter those links; deeper links stay unfollowed.
#pragma once

#include <filesystem>
#include <vector>

namespace vdl {

struct LinkedFolders {
    std::vector<std::filesystem::path> enter;   // to be walked as roots of their own
    std::vector<std::filesystem::path> repeat;  // lead into the scanned folder, or it into them, or to a folder
                                                // an earlier link leads to: walked once already
};

// Sorts the links found at the top level of `folder` (paths below it, in walk order).
LinkedFolders gf_sortLinkedFolders(const std::filesystem::path& folder,
                                   const std::vector<std::filesystem::path>& links);

}  // namespace vdl
