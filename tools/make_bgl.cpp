// Writes BGL files of the project's own making: `make_bgl seeds DIR` writes every sample of
// the BGL writer, good and broken, as DIR/<name>.bgl (the fuzz seeds of fuzz/corpus/bgl).
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "standins/bgl_writer.h"

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "seeds") != 0) {
        std::fprintf(stderr, "usage: make_bgl seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[2];
    std::filesystem::create_directories(dir);
    for (const auto& [name, file] : vdl::bglwriter::gf_sampleFiles())
        vdl::bglwriter::gf_writeBgl(dir / (name + ".bgl"), file);
    return 0;
}
