// The RealTraffic stand-in as a program: scripts/run.sh starts it beside Vandrel, scripts/soak.sh
// with the synthetic sky.
//
//   rt_standin [--port N] [--traffic-port N] [--qnh-port N] [--timeout S] [--linger S]
//              [--sky AIRCRAFT [--minutes M] [--seed N]]
#include "standins/rt_standin.h"

#include <fmt/format.h>

#include <cstdlib>
#include <iostream>
#include <stop_token>
#include <string>

namespace {

int lf_usage() {
    std::cerr << "usage: rt_standin [--port N] [--traffic-port N] [--qnh-port N] [--timeout S] [--linger S]\n"
                 "                  [--sky AIRCRAFT [--minutes M] [--seed N]]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using vdl::rtstandin::Config;
    Config config;
    config.log = &std::cerr;
    vdl::rtstandin::SkyOptions sky;
    bool skyAsked = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return lf_usage();
        const std::string value = argv[++i];
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0' || number < 0) return lf_usage();
        const auto port = static_cast<uint16_t>(number);
        if (arg == "--port")
            config.linkPort = [port] { return port; };
        else if (arg == "--traffic-port")
            config.trafficPort = [port] { return port; };
        else if (arg == "--qnh-port")
            config.qnhPort = [port] { return port; };
        else if (arg == "--timeout")
            config.connectTimeoutSeconds = number;
        else if (arg == "--linger")
            config.lingerSeconds = number;
        else if (arg == "--sky" && number >= 1)
            sky.aircraft = static_cast<int>(number), skyAsked = true;
        else if (arg == "--minutes" && number > 0)
            sky.minutes = number;
        else if (arg == "--seed")
            sky.seed = static_cast<uint32_t>(number);
        else
            return lf_usage();
    }
    if (skyAsked) {
        config.sky = sky;
        std::cerr << fmt::format("rt_standin: a sky of {} aircraft for {} min, seed {}\n", sky.aircraft,
                                 sky.minutes, sky.seed);
    }
    vdl::rtstandin::RealTrafficStandIn standIn(config);
    const bool connected = standIn.run(std::stop_token{});
    const auto& s = standIn.stats();
    std::cerr << fmt::format(
        "rt_standin: {} traffic lines, {} weather datagrams, {} user states, {} time lines sent/read\n",
        s.trafficLines.load(), s.weatherDatagrams.load(), s.userStates.load(), s.simTimes.load());
    return connected ? 0 : 1;
}
