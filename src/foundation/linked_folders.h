// Folders linked into a scanned folder's top level. Add-on managers link packages into the
// Community folder (symbolic links, junctions on Windows) and the simulator loads them, so the
// scans enter those links; deeper links stay unfollowed.
#pragma once

#include <filesystem>
#include <vector>

namespace vdl {

// The folder is a symbolic link or a junction. MinGW's std::filesystem sees no links on Windows
// (its lstat is stat): its walks follow every link, and the scans ask this of each folder.
bool gf_isFolderLink(const std::filesystem::path& folder);
// The folder's path with every link resolved; empty when it cannot be (a dangling link).
std::filesystem::path gf_finalFolderPath(const std::filesystem::path& folder);

struct LinkedFolders {
    std::vector<std::filesystem::path> enter;   // to be walked as roots of their own
    std::vector<std::filesystem::path> repeat;  // lead into the scanned folder, or it into them, or to a folder
                                                // an earlier link leads to: walked once already
};

// Sorts the links found at the top level of `folder` (paths below it, in walk order).
LinkedFolders gf_sortLinkedFolders(const std::filesystem::path& folder,
                                   const std::vector<std::filesystem::path>& links);

}  // namespace vdl
