// A synthetic sky for long runs of the RealTraffic stand-in: about `aircraft` flights at any
// time around Düsseldorf (EDDL) for the whole run, each one leaving the feed when its path
// ends and followed by a new one, so that the program keeps creating and removing objects.
// Arrivals to 23R that taxi to a stand, departures from a stand out of 23L, overflights and
// general aviation; airlines and types from the sample catalogue's (standins/livery_samples.h)
// so that many match installed titles. Deterministic for a seed.
#pragma once

#include <cstdint>
#include <vector>

#include "standins/rt_flights.h"

namespace vdl::rtstandin {

struct SkyOptions {
    int aircraft = 300;     // flights in the air or on the ground at any time
    double minutes = 60.0;  // flights keep starting until then
    uint32_t seed = 1;
};

// Flights in order of their start (some started before the scenario's start); each sends a
// line every 1 or 2 s.
std::vector<Flight> gf_syntheticSky(const SkyOptions& options);

}  // namespace vdl::rtstandin
