// The checks of a soak run (scripts/soak.sh, tools/soak_check.cpp): what the simulator stand-in's
// track file says about the objects the program made, and how the program's memory went.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "simulator/track_file.h"

namespace vdl::soak {

struct ObjectFigures {
    std::size_t created = 0;
    // By the program, or by the simulator's end after the program took them over (or while it
    // still kept them to remove, see gf_objectFigures).
    std::size_t removed = 0;
    std::size_t neverTakenOver = 0;     // objects never in an in-range list, never flown
    std::size_t mostAtOnce = 0;         // objects alive at the same time
    std::vector<std::string> leftOver;  // "id title" of objects never removed
    std::vector<StrayCall> strays;      // calls on unknown or removed objects
};

ObjectFigures gf_objectFigures(const TrackFileContents& contents);

// The resident set size at a time of the run (s since the program started).
struct RssSample {
    double seconds = 0.0;
    double kb = 0.0;
};

struct RssVerdict {
    bool sampled = false;  // there was a sample at or after the settle time
    double baseKb = 0.0;   // the first sample at or after the settle time
    double peakKb = 0.0;   // the largest from then on
    double endKb = 0.0;    // the last sample
    double limitKb = 0.0;
    bool withinLimit = false;
};

// Growth only: every sample from the settle time on stays at or below the base plus the larger
// of `share` of it and `slackKb`.
RssVerdict gf_checkRss(const std::vector<RssSample>& samples, double settleSeconds, double share,
                       double slackKb);

// "seconds kb" a line; lines that are not two numbers are left out.
std::vector<RssSample> gf_readRssSamples(const std::string& text);

}  // namespace vdl::soak
