// Saving the park airport's learned stand file, and two folder routines of the airport files.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vdl {

// Writes the learned stand file of the current park airport (what the base file does not hold)
// and reports it on the status line. On success updateCount and parametersChanged start again;
// on failure, also of the file system, the counters keep their values. True when saved.
bool gf_saveLearnedStandFile();

// The names without extension of the four-character ".xml" files (any letter case) directly in
// airports/my_thirdparty.
std::vector<std::string> gf_listThirdpartyStandFiles();

// Removes every file and empty folder directly in the folder. An entry that cannot be removed
// (a folder that is not empty) is logged and skipped; other file-system errors are raised.
void gf_removeAllFilesInFolder(const std::filesystem::path& folder);

}  // namespace vdl
