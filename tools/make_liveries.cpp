// Writes a LiveriesScanned.xml of any size from real airlines, types and registrations, through
// the program's own writer; optionally an AIG-regcodes.xml for it and the list of titles (one a
// line, for a simulator that should know them as installed).
//
//   make_liveries [--count N] [--seed S] [--reg-share F] [--out FILE]
//                 [--aig N --aig-out FILE] [--titles FILE]
#include <fmt/format.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "foundation/files.h"
#include "foundation/utf8_path.h"
#include "liveries/livery_data.h"
#include "standins/livery_samples.h"

namespace {

int lf_usage() {
    std::cerr << "usage: make_liveries [--count N] [--seed S] [--reg-share F] [--out FILE]\n"
                 "                     [--aig N --aig-out FILE] [--titles FILE]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    vdl::samples::SampleOptions options;
    fs::path out = vdl::scannedLiveriesPath;
    size_t aigCount = 0;
    fs::path aigOut = "AIG-regcodes.xml";
    fs::path titlesOut;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string arg = argv[i];
            if (i + 1 >= argc) return lf_usage();
            const std::string value = argv[++i];
            if (arg == "--count")
                options.count = std::stoul(value);
            else if (arg == "--seed")
                options.seed = static_cast<uint32_t>(std::stoul(value));
            else if (arg == "--reg-share")
                options.regShare = std::stod(value);
            else if (arg == "--out")
                out = value;
            else if (arg == "--aig")
                aigCount = std::stoul(value);
            else if (arg == "--aig-out")
                aigOut = value;
            else if (arg == "--titles")
                titlesOut = value;
            else
                return lf_usage();
        }
    } catch (const std::exception&) {
        return lf_usage();
    }
    if (options.regShare < 0.0 || options.regShare > 1.0) return lf_usage();

    vdl::samples::SampleMaker maker(options.seed);
    vdl::liveries = maker.liveries(options);

    // The writer writes output/LiveriesScanned.xml below the working folder; make it there.
    // A scratch folder beside the target keeps the final rename on one file system.
    const fs::path target = fs::absolute(out);
    fs::create_directories(target.parent_path());
    const fs::path work = target.parent_path() / ".make_liveries";
    fs::create_directories(work);
    const fs::path here = fs::current_path();
    fs::current_path(work);
    const bool saved = vdl::gf_saveScannedLiveries();
    fs::current_path(here);
    if (!saved) {
        std::cerr << fmt::format("make_liveries: cannot write {}\n", vdl::gf_utf8FromPath(work / vdl::scannedLiveriesPath));
        fs::remove_all(work);
        return 1;
    }
    fs::rename(work / vdl::scannedLiveriesPath, target);
    fs::remove_all(work);
    std::cout << fmt::format("{} liveries written to {}\n", vdl::liveries.size(), vdl::gf_utf8FromPath(target));

    if (!titlesOut.empty()) {
        std::vector<std::string> titles;
        for (const auto& l : vdl::liveries) titles.push_back(l.title);
        if (!vdl::gf_writeLines(titles, titlesOut)) {
            std::cerr << "cannot write " << titlesOut << "\n";
            return 1;
        }
    }
    if (aigCount > 0) {
        const auto records = maker.aigRecords(vdl::liveries, aigCount);
        if (!vdl::gf_replaceFile(aigOut, vdl::samples::aigRegcodesXml(records))) {
            std::cerr << "cannot write " << aigOut << "\n";
            return 1;
        }
        std::cout << fmt::format("{} AIG records written to {}\n", records.size(), vdl::gf_utf8FromPath(aigOut));
    }
    return 0;
}
