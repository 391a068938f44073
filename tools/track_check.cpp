// Checks the tracks of a track file that the simulator stand-in wrote (VDL tracks file, e.g.
// output/tracks.json of a run): prints the worst value of every check for every object and
// ends with 1 when any check failed.
//
//   track_check TRACKS [--category 0..5] [--rate-span SECONDS]
//
// The category's limits (0 Light, 1 Buzjets, 2 Large, 3 Heavy, 4 HighPerf, 5 Rotorcraft; Large
// when not given) hold for every object. --rate-span judges turn rates over that much time
// rather than per recorded step (a run on its own frame thread records frames, not steps).
#include <cstdlib>
#include <iostream>
#include <string>

#include "foundation/utf8_path.h"
#include "standins/track_checks.h"

namespace {

int lf_usage() {
    std::cerr << "usage: track_check TRACKS [--category 0..5] [--rate-span SECONDS]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return lf_usage();
    vdl::AircraftCategory category = vdl::AircraftCategory::Large;
    vdl::tracks::CheckSettings settings;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return lf_usage();
        char* end = nullptr;
        const double number = std::strtod(argv[++i], &end);
        if (end == argv[i] || *end != '\0') return lf_usage();
        if (arg == "--category" && number >= 0 && number < vdl::categoryCount && number == static_cast<int>(number))
            category = static_cast<vdl::AircraftCategory>(static_cast<int>(number));
        else if (arg == "--rate-span" && number >= 0)
            settings.rateSpanSeconds = number;
        else
            return lf_usage();
    }
    try {
        const auto tracks = vdl::gf_readTrackFile(vdl::gf_pathFromUtf8(argv[1]));
        const auto verdict = vdl::tracks::gf_checkTracks(
            tracks, [category](const vdl::RecordedTrack&) { return vdl::tracks::gf_limitsOfCategory(category); },
            settings);
        std::cout << verdict.report();
        if (!verdict.passed()) std::cout << "\nFailed:\n" << verdict.failures();
        std::cout << (verdict.passed() ? "all checks passed\n" : "checks failed\n");
        return verdict.passed() ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "track_check: " << e.what() << "\n";
        return 1;
    }
}
