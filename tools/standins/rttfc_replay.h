// Replays a recorded RTTFC file: each line with the time at which it is due, variants of the
// recording for robustness (altitude shifted, lines dropped, positions jittered), and the line
// stamped with the time at which it is sent, since the feed refuses old time stamps.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vdl::replay {

struct ReplayLine {
    double seconds = 0.0;  // from the first line of the file
    std::string line;      // the RTTFC line
};

// Reads "<seconds>\t<RTTFC line>" lines, or bare RTTFC lines timed by their time stamps
// (relative to the first). Other lines are passed over. Throws std::runtime_error naming the
// file when it cannot be read.
std::vector<ReplayLine> gf_readReplayFile(const std::filesystem::path& path);

struct Variant {
    double altShiftFt = 0.0;      // added to every altitude given
    bool dropEveryOther = false;  // the second, fourth, ... lines are left out
    double jitterMetres = 0.0;    // each position moved this far in a random direction
    uint32_t seed = 1;            // of the jitter
    std::string fillType;         // put into an empty aircraft type field
};

std::vector<ReplayLine> gf_applyVariant(const std::vector<ReplayLine>& lines, const Variant& variant);

// The line with its time stamp field replaced by `unixSeconds`; unchanged when it has none.
std::string gf_stampLine(std::string_view line, double unixSeconds);

}  // namespace vdl::replay
