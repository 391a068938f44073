// Calls from the reference data up into the libraries above it (airports), through hooks that
// the run shell sets once at start-up; tests set the ones they need.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vdl {

// gf_readDestApfForClosestStand: distance in nm to the nearest stand of the airport (100.0 when
// it has no usable stand file); sets the stand id.
using ClosestStandHook = std::function<double(const std::string& code, double lat, double lon, std::string& standId)>;
void gf_setClosestStandHook(ClosestStandHook hook);
ClosestStandHook gf_closestStandHook();

// gf_addAirportsScanLog. Until the airport scan sets it, the lines wait in a list it takes over.
using ScanLogHook = std::function<void(const std::string& line)>;
void gf_setAirportsScanLogHook(ScanLogHook hook);
void gf_addPublisherScanLog(const std::string& line);
std::vector<std::string> gf_takePendingScanLog();

// gf_removeAllFilesInFolder (airports). Without a hook nothing is removed (logged).
using RemoveAllFilesHook = std::function<void(const std::filesystem::path& folder)>;
void gf_setRemoveAllFilesHook(RemoveAllFilesHook hook);
void gf_removeAllFilesInFolderViaHook(const std::filesystem::path& folder);

// Clears the hooks and the waiting scan-log lines (part of gf_resetRefdata; nothing else calls it).
void gf_clearRefdataHooks();

}  // namespace vdl
