// Replays a recorded RTTFC file to the program's traffic port, as RealTraffic would send it:
// each line when its time comes (sooner with --speed), stamped with the time it is sent.
//
//   rttfc_replay FILE [--port N] [--speed X] [--alt-shift FT] [--drop-every-other]
//                     [--jitter METRES] [--seed N] [--type ICAO]
//
// FILE holds "<seconds>\t<RTTFC line>" lines or bare RTTFC lines (timed by their time stamps).
// The program takes samples at most one a second per aircraft, so a speed above about 2 thins
// a 2-second recording.
#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

#include "foundation/net.h"
#include "foundation/utf8_path.h"
#include "standins/rttfc_replay.h"

namespace {

int lf_usage() {
    std::cerr << "usage: rttfc_replay FILE [--port N] [--speed X] [--alt-shift FT] [--drop-every-other]\n"
                 "                         [--jitter METRES] [--seed N] [--type ICAO]\n";
    return 2;
}

double lf_unixNow() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return lf_usage();
    const std::string file = argv[1];
    uint16_t port = 49005;
    double speed = 1.0;
    vdl::replay::Variant variant;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--drop-every-other") {
            variant.dropEveryOther = true;
            continue;
        }
        if (i + 1 >= argc) return lf_usage();
        const std::string value = argv[++i];
        if (arg == "--type") {
            variant.fillType = value;
            continue;
        }
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        if (end == value.c_str() || *end != '\0') return lf_usage();
        if (arg == "--port" && number > 0 && number < 65536)
            port = static_cast<uint16_t>(number);
        else if (arg == "--speed" && number > 0)
            speed = number;
        else if (arg == "--alt-shift")
            variant.altShiftFt = number;
        else if (arg == "--jitter" && number >= 0)
            variant.jitterMetres = number;
        else if (arg == "--seed" && number >= 0)
            variant.seed = static_cast<uint32_t>(number);
        else
            return lf_usage();
    }
    try {
        const auto lines = vdl::replay::gf_applyVariant(vdl::replay::gf_readReplayFile(vdl::gf_pathFromUtf8(file)), variant);
        std::error_code ec;
        const vdl::Socket socket = vdl::gf_openUdp(ec);
        if (ec) {
            std::cerr << "rttfc_replay: no UDP socket: " << ec.message() << "\n";
            return 1;
        }
        const auto start = std::chrono::steady_clock::now();
        size_t sent = 0;
        for (const auto& l : lines) {
            std::this_thread::sleep_until(start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                      std::chrono::duration<double>(l.seconds / speed)));
            if (vdl::gf_sendDatagram(socket, port, vdl::replay::gf_stampLine(l.line, lf_unixNow()))) ++sent;
        }
        std::cerr << fmt::format("rttfc_replay: {} of {} lines sent to port {}\n", sent, lines.size(), port);
        return sent == lines.size() ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "rttfc_replay: " << e.what() << "\n";
        return 1;
    }
}
