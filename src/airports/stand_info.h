// Single questions about an airport's stand file, answered without loading its stands.
#pragma once

#include <filesystem>
#include <string>

namespace vdl {

// The parameter "publisher"; empty when the file does not load or has none.
std::string gf_readApfPublisher(const std::filesystem::path& path);

// Empty when the file is acceptable; for publisher "unknown" without a manufacturer or creator
// of at least 4 characters, "manufacturer={}, creator={}"; "\"{path}\" not found" when it does
// not load.
std::string gf_readApfCreatorCheck(const std::filesystem::path& path);

// Whether the server's archived stock file of the airport has learned stand use (a quality
// factor) over at least 20 weeks. Leaves no file behind.
bool gf_isOfflineLearningCandidate(const std::string& code);

// Distance in nm from the position to the airport's nearest stand, whose id goes into standId;
// 100.0 (standId untouched) when there is no usable stand file or no stand is nearer.
double gf_readDestApfForClosestStand(const std::string& code, double lat, double lon, std::string& standId);

}  // namespace vdl
