#pragma once

#include <string>
#include <vector>

namespace vdl {

// Texts ("model airline") of liveries the simulator refused to create. Safe from any thread.
void gf_addNotCreatedTitle(std::string text);
// Sorts the list ascending and drops repeats (in place), then answers a copy.
std::vector<std::string> gf_notCreatedTitles();
void gf_clearNotCreatedTitles();

}  // namespace vdl
