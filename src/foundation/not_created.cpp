#include "foundation/not_created.h"

#include <algorithm>
#include <mutex>

namespace vdl {

namespace {
std::mutex notCreatedMutex;
std::vector<std::string> notCreatedTitles;
}  // namespace

void gf_addNotCreatedTitle(std::string text) {
    std::lock_guard lock(notCreatedMutex);
    notCreatedTitles.push_back(std::move(text));
}

std::vector<std::string> gf_notCreatedTitles() {
    std::lock_guard lock(notCreatedMutex);
    std::sort(notCreatedTitles.begin(), notCreatedTitles.end());
    notCreatedTitles.erase(std::unique(notCreatedTitles.begin(), notCreatedTitles.end()),
                           notCreatedTitles.end());
    return notCreatedTitles;
}

void gf_clearNotCreatedTitles() {
    std::lock_guard lock(notCreatedMutex);
    notCreatedTitles.clear();
}

}  // namespace vdl
