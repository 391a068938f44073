// Loading the park airport's stand file into parkPositions, with its learned file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/stand_records.h"

namespace vdl {

// The download copy of a park airport's stand file: airports/park_airport.xml.
std::filesystem::path gf_parkAirportDownloadPath();

// Loads the stand file `filePath` (a local reference beginning with "airports", or a server path
// fetched first into the download copy) into `stands` (emptied by the caller), merges the
// learned file, numbers and links the stands, and sets parkingActive. The answer is empty on
// success, else an error or status text. Codes 65 (no altitude) and 94 (a repeated stand id)
// are raised as UserErrorException.
std::string gf_readApf(const std::string& filePath, StandFileInfo& info, QualityFactor& quality,
                       std::vector<ParkPos>& stands);

// Fetches a stand file from the server into destPath; empty on success, else
// "failed to download: \"{url}\"" (logged when there is an update server).
std::string gf_downloadApf(const std::string& serverPath, const std::filesystem::path& destPath);

// Numbers the stands 1..n and fills each `adjacent` with the ids of the stands b for which
// a.radius + b.radius > 1.1 x distance (nm), ascending. Sorted by latitude, so only stands that
// can overlap are compared.
void gf_numberAndLinkStands(std::vector<ParkPos>& stands);

}  // namespace vdl
