// Writes a simulator Community folder of AI-traffic packages (aircraft.cfg files of real airlines
// and types) and, optionally, the list of their titles (one a line, for a simulator that should
// know them as installed).
//
//   make_community [--files N] [--sections M] [--seed S] [--no-textures] --out FOLDER [--titles FILE]
#include <fmt/format.h>

#include <exception>
#include <iostream>
#include <string>

#include "foundation/files.h"
#include "foundation/utf8_path.h"
#include "standins/community_samples.h"

namespace {

int lf_usage() {
    std::cerr << "usage: make_community [--files N] [--sections M] [--seed S] [--no-textures] --out FOLDER "
                 "[--titles FILE]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    vdl::samples::CommunityOptions options;
    std::string out, titles;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (arg == "--no-textures") {
                options.textureFolders = false;
                continue;
            }
            if (i + 1 >= argc) return lf_usage();
            const std::string value = argv[++i];
            if (arg == "--files")
                options.files = std::stoul(value);
            else if (arg == "--sections")
                options.sections = std::stoul(value);
            else if (arg == "--seed")
                options.seed = static_cast<uint32_t>(std::stoul(value));
            else if (arg == "--out")
                out = value;
            else if (arg == "--titles")
                titles = value;
            else
                return lf_usage();
        }
    } catch (const std::exception&) {
        return lf_usage();
    }
    if (out.empty() || options.files == 0 || options.sections == 0) return lf_usage();
    try {
        const auto written = vdl::samples::gf_writeCommunity(vdl::gf_pathFromUtf8(out), options);
        std::cout << fmt::format("{} aircraft.cfg files ({} bytes) with {} liveries written to {}\n", options.files,
                                 written.bytes, written.titles.size(), out);
        if (!titles.empty() && !vdl::gf_writeLines(written.titles, vdl::gf_pathFromUtf8(titles))) {
            std::cerr << "cannot write " << titles << "\n";
            return 1;
        }
    } catch (const std::exception& e) {
        std::cerr << "make_community: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
