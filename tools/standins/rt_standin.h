// The RealTraffic stand-in: plays RealTraffic's part for the program on this machine. It
// connects to the program's TCP link, answers the version query, follows the user aircraft
// from "Qs121=" and sends RTTFC traffic (UDP 49005) and weather (UDP 49004) on loopback from
// the EDDL scenario of standins/rt_flights.h or the synthetic sky of standins/rt_sky.h. Used
// by tools/rt_standin.cpp and the tests.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/geo.h"
#include "foundation/net.h"
#include "standins/rt_flights.h"
#include "standins/rt_sky.h"

namespace vdl::rtstandin {

// The user aircraft from "Qs121=pitch;bank;heading;alt;tas;lat;lon" (latitude and longitude in
// radians); none for a line that is not one.
std::optional<LatLon> gf_userPositionOf(std::string_view line);

struct Config {
    // Ports as they are known; 0: not open (yet).
    std::function<uint16_t()> linkPort = [] { return uint16_t{10747}; };
    std::function<uint16_t()> trafficPort = [] { return uint16_t{49005}; };
    std::function<uint16_t()> qnhPort = [] { return uint16_t{49004}; };
    double connectTimeoutSeconds = 120.0;  // no program to connect to: give up
    double lingerSeconds = 5.0;            // after the link closed: wait this long for a new one
    double rangeNm = 100.0;                // traffic sent around the user aircraft
    double qnhHpa = 1017.3;
    std::string version = "10.0.240";
    int level = 2;  // professional: the program also sends the simulator's time
    std::ostream* log = nullptr;
    std::optional<SkyOptions> sky;  // the synthetic sky instead of the EDDL scenario
};

struct Stats {
    std::atomic<int> connections{0};
    std::atomic<int> versionQueries{0};
    std::atomic<int> userStates{0};
    std::atomic<int> simTimes{0};
    std::atomic<int> exits{0};
    std::atomic<int> trafficLines{0};
    std::atomic<int> weatherDatagrams{0};
};

class RealTrafficStandIn {
  public:
    explicit RealTrafficStandIn(Config config);
    RealTrafficStandIn(const RealTrafficStandIn&) = delete;
    RealTrafficStandIn& operator=(const RealTrafficStandIn&) = delete;

    const Stats& stats() const { return stats_; }

    // Runs until the program is gone (its link closed and not back within lingerSeconds), no
    // program came within connectTimeoutSeconds, or a stop is asked. True when it was connected.
    bool run(std::stop_token stop);

  private:
    void say(std::string_view text);
    void closeLink();
    // Reads what the program sent; false when the link closed.
    bool serveLink();
    bool handleLine(const std::string& line);
    void send(uint16_t port, const std::string& datagram);
    void sendTraffic(double t);

    Config config_;
    std::vector<Flight> flights_;
    Stats stats_;
    Socket link_;
    Socket udp_;
    std::string pending_;
    std::optional<LatLon> user_;
};

}  // namespace vdl::rtstandin
