// The checks at the end of a soak run (scripts/soak.sh): every object the program created in the
// simulator stand-in was removed, no call went to an unknown or removed object, and the
// program's memory did not grow after it settled. Prints the figures; exits 1 on a failed check.
//
//   soak_check --tracks output/tracks.json --rss rss.txt --settle S [--share 0.10] [--slack-mb 0]
#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "standins/soak_checks.h"

namespace {

int lf_usage() {
    std::cerr << "usage: soak_check --tracks FILE --rss FILE --settle S [--share 0.10] [--slack-mb 0]\n";
    return 2;
}

double lf_mb(double kb) {
    return kb / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string tracks, rss;
    double settle = 300.0, share = 0.10, slackMb = 0.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i], value = argv[i + 1];
        if (arg == "--tracks")
            tracks = value;
        else if (arg == "--rss")
            rss = value;
        else if (arg == "--settle")
            settle = std::atof(value.c_str());
        else if (arg == "--share")
            share = std::atof(value.c_str());
        else if (arg == "--slack-mb")
            slackMb = std::atof(value.c_str());
        else
            return lf_usage();
    }
    if (argc % 2 == 0 || tracks.empty() || rss.empty()) return lf_usage();

    bool ok = true;
    vdl::TrackFileContents contents;
    try {
        contents = vdl::gf_readTrackContents(tracks, false);
    } catch (const std::exception& e) {
        std::cout << "FAIL track file: " << e.what() << "\n";
        return 1;
    }
    const auto objects = vdl::soak::gf_objectFigures(contents);
    std::cout << fmt::format("objects: {} created, {} removed, at most {} at once, {} never taken over\n",
                             objects.created, objects.removed, objects.mostAtOnce, objects.neverTakenOver);
    if (!objects.leftOver.empty()) {
        ok = false;
        std::cout << fmt::format("FAIL {} objects left in the simulator after the exit:\n",
                                 objects.leftOver.size());
        for (size_t i = 0; i < objects.leftOver.size() && i < 10; ++i)
            std::cout << "  " << objects.leftOver[i] << "\n";
    }
    if (!objects.strays.empty()) {
        ok = false;
        std::cout << fmt::format("FAIL {} calls on unknown or removed objects:\n", objects.strays.size());
        for (size_t i = 0; i < objects.strays.size() && i < 10; ++i) {
            const auto& s = objects.strays[i];
            std::cout << fmt::format("  {} on object {} at {:.1f} s\n", s.call, s.objectId, s.time);
        }
    }

    std::ifstream in(rss);
    std::stringstream text;
    text << in.rdbuf();
    const auto samples = vdl::soak::gf_readRssSamples(text.str());
    const auto v = vdl::soak::gf_checkRss(samples, settle, share, slackMb * 1024.0);
    if (!v.sampled) {
        ok = false;
        std::cout << fmt::format("FAIL no memory sample at or after {} s ({} samples)\n", settle,
                                 samples.size());
    } else {
        std::cout << fmt::format(
            "memory (RSS): {:.1f} MB at {} s, peak {:.1f} MB after, {:.1f} MB at the end; limit {:.1f} MB "
            "(+max({:.0f} %, {} MB))\n",
            lf_mb(v.baseKb), settle, lf_mb(v.peakKb), lf_mb(v.endKb), lf_mb(v.limitKb), share * 100.0,
            slackMb);
        if (!v.withinLimit) {
            ok = false;
            std::cout << "FAIL memory grew beyond the limit\n";
        }
    }
    std::cout << (ok ? "soak checks passed\n" : "soak checks FAILED\n");
    return ok ? 0 : 1;
}
