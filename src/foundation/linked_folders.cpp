#include "foundation/linked_folders.h"

#include <algorithm>
#include <system_error>

namespace vdl {

namespace {

namespace fs = std::filesystem;

// `inner` is `outer` or lies below it (both canonical).
bool lf_within(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o) return false;
    return true;
}

}  // namespace

LinkedFolders gf_sortLinkedFolders(const fs::path& folder, const std::vector<fs::path>& links) {
    LinkedFolders sorted;
    const fs::path base = gf_finalFolderPath(folder);
    if (base.empty()) {
        sorted.repeat = links;
        return sorted;
    }
    std::vector<fs::path> targets;
    for (const fs::path& link : links) {
        const fs::path target = gf_finalFolderPath(link);
        // A dangling link has no folder to walk; the walk itself reports it.
        if (target.empty()) continue;
        const bool seen = std::any_of(targets.begin(), targets.end(), [&](const fs::path& t) {
            return lf_within(target, t) || lf_within(t, target);
        });
        if (seen || lf_within(target, base) || lf_within(base, target)) {
            sorted.repeat.push_back(link);
            continue;
        }
        targets.push_back(target);
        sorted.enter.push_back(link);
    }
    return sorted;
}

}  // namespace vdl
