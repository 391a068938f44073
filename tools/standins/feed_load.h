// A load on the program's feed: many aircraft, each sending an RTTFC line once every so often, and
// weather datagrams, on UDP to 127.0.0.1. Used by tools/feed_load.cpp and the feed tests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <vector>

#include "standins/rt_flights.h"

namespace vdl::rtstandin {

struct LoadConfig {
    uint16_t trafficPort = 49005;
    uint16_t qnhPort = 49004;
    size_t aircraft = 1000;
    double linesPerSecond = 1.0;  // of each aircraft
    double seconds = 60.0;
    double weatherPeriodSeconds = 10.0;
    double qnhHpa = 1017.3;
    // The time stamp of a line sent now, Unix seconds; the system clock unless set.
    std::function<double()> timeStamp;
};

struct LoadStats {
    std::atomic<uint64_t> lines{0};
    std::atomic<uint64_t> weather{0};
    std::atomic<uint64_t> failedSends{0};
    // Of each aircraft, the time stamp of its last line; read once the load has ended.
    std::vector<double> lastTimeStamp;
};

// Load aircraft `index`: a hexid from 10001 up, an airliner's callsign and type.
Flight gf_loadAircraft(size_t index);
// Where it is `t` seconds after the start: six in ten fly at 250 kt, three taxi at 15 kt, one is
// parked; spread over about 100 x 60 nm around Düsseldorf, each on a straight track.
Sample gf_loadSample(size_t index, double t);

// Sends the load until its time is up or a stop is asked, the lines spread evenly (one datagram
// each, as RealTraffic sends them), a weather datagram first and then every period.
void gf_sendLoad(const LoadConfig& config, LoadStats& stats, std::stop_token stop);

}  // namespace vdl::rtstandin
