// Merging an airport's learned stand file into the stands of its base stand file.
#pragma once

#include <filesystem>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/stand_records.h"

namespace vdl {

// Reads the learned file: the airport's own parking options, learned stand options, stands made
// by hand and radius and cargo overrides; a handmade file replaces the stands. Raises nothing:
// failures are logged. A learned option that repeats an earlier one of its stand (same day, kind,
// registration, airline and type, a half hour in common) adds its half hours to it when that one
// is learned too, and is discarded when it is the base file's. A learned file that could not be
// loaded, or whose elements or options were dropped in part, is copied to its backup (a '0'
// before the extension) before anything overwrites it.
void gf_readLearned(const std::filesystem::path& learnedPath, const StandFileInfo& info, std::vector<ParkPos>& stands);

// The backup name of a learned file: "EHAM.xml" gives "EHAM0.xml"; empty without an extension.
std::filesystem::path gf_learnedBackupPath(const std::filesystem::path& learnedPath);

}  // namespace vdl
