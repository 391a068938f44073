// Writes BGL files of the project's own making.
//   make_bgl seeds DIR          every sample of the BGL writer, good and broken, as DIR/<name>.bgl
//                               (the fuzz seeds of fuzz/corpus/bgl)
//   make_bgl tree ROOT FILES    a package tree of FILES BGL files for timing the airport scan:
//                               5 % airport files of 1-5 MB with hundreds of stands, the others
//                               scenery files without airports of 8 KB to 1 MB
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include "standins/bgl_writer.h"

namespace bw = vdl::bglwriter;

namespace {

std::string lf_icao(int n) {
    std::string code = "K";
    for (int i = 0; i < 3; ++i, n /= 26) code += static_cast<char>('A' + n % 26);
    return code;
}

int lf_tree(const std::filesystem::path& root, int files) {
    std::mt19937 random(20);
    std::uniform_int_distribution<int> stands(200, 600);
    std::uniform_int_distribution<uint32_t> airportBytes(1u << 20, 5u << 20);
    std::uniform_real_distribution<double> sceneryLog(std::log(8.0 * 1024), std::log(1024.0 * 1024));
    for (int i = 0; i < files; ++i) {
        const std::filesystem::path folder = root / ("package" + std::to_string(i / 50)) / "scenery" / "world";
        std::filesystem::create_directories(folder);
        if (i % 20 == 0) {
            bw::File f = bw::gf_airportFile({bw::gf_sampleAirport(lf_icao(i / 20), stands(random), i % 5)});
            const size_t have = bw::gf_bglBytes(f).size();
            const uint32_t want = airportBytes(random);
            f.fillerBytes = want > have ? static_cast<uint32_t>(want - have) : 0;
            bw::gf_writeBgl(folder / (lf_icao(i / 20) + ".bgl"), f);
        } else {
            bw::gf_writeBgl(folder / ("scenery" + std::to_string(i) + ".bgl"),
                            bw::gf_sceneryFile(static_cast<uint32_t>(std::exp(sceneryLog(random)))));
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "seeds") == 0) {
        const std::filesystem::path dir = argv[2];
        std::filesystem::create_directories(dir);
        for (const auto& [name, file] : bw::gf_sampleFiles()) bw::gf_writeBgl(dir / (name + ".bgl"), file);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "tree") == 0) return lf_tree(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: make_bgl seeds DIR | make_bgl tree ROOT FILES\n");
    return 2;
}
