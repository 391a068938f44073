// The livery scan of a generated Community folder, against reading the same aircraft.cfg files
// with find and cat. Warm cache: the files are read once before any timing.
//
//   bench_livery_scan [--files N] [--sections M | --community FOLDER] [--runs R] [--threads T ...]
//
// Writes the folder into a scratch folder, then per thread count R runs of: the folder scan
// alone, the whole livery step (scan, corrections, sort, save, reports, table build) and the
// table build alone; and R runs of find | xargs cat.
#include <fmt/format.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "liveries/livery_data.h"
#include "liveries/livery_scan.h"
#include "liveries/livery_tables.h"
#include "liveries/scan_reports.h"
#include "refdata/dbase.h"
#include "refdata/packages.h"
#include "standins/community_samples.h"
#include "standins/livery_samples.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double lf_ms(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// "VmRSS" or "VmHWM" of this process in kB.
long lf_memoryKb(const std::string& key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with(key + ":")) return std::stol(line.substr(key.size() + 1));
    return -1;
}

std::string lf_range(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return fmt::format("median {:.0f} ms (min {:.0f}, max {:.0f})", v[v.size() / 2], v.front(), v.back());
}

}  // namespace

int main(int argc, char** argv) {
    vdl::samples::CommunityOptions options;
    options.files = 2000;
    options.sections = 25;
    int runs = 5;
    std::vector<uint32_t> threads;
    std::string given;  // an existing Community folder of make_community
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i], value = argv[i + 1];
        if (arg == "--community") given = value;
        else if (arg == "--files") options.files = std::stoul(value);
        else if (arg == "--sections") options.sections = std::stoul(value);
        else if (arg == "--runs") runs = std::stoi(value);
        else if (arg == "--threads") threads.push_back(static_cast<uint32_t>(std::stoul(value)));
    }
    if (threads.empty()) threads = {2, 8};

    std::string pattern = (fs::temp_directory_path() / "vdl-scan-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path work = pattern;
    fs::current_path(work);
    ::setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
    fs::create_directories("input");
    fs::create_directories("output");
    vdl::gf_writeTextFile(vdl::samples::sampleDbaseXml({}, 1), "input/dbase.xml", false);
    vdl::gf_loadDbase("input/dbase.xml");
    vdl::gf_openLog("MSFS 2020", "Log.txt");
    vdl::gf_loadParameters();

    fs::path community = work / "sim" / "Community";
    vdl::samples::CommunityWritten written;
    if (given.empty()) {
        written = vdl::samples::gf_writeCommunity(community, options);
        std::cout << fmt::format("{} files x {} sections: {} liveries, {:.1f} MB of aircraft.cfg\n", options.files,
                                 options.sections, written.titles.size(), written.bytes / 1e6);
    } else {
        community = fs::absolute(vdl::gf_pathFromUtf8(given));
        for (const auto& entry : fs::directory_iterator(community)) written.packages.push_back(entry.path());
    }
    vdl::MSFS_INSTALL_PATH.set(vdl::gf_utf8FromPath(community.parent_path()));
    vdl::gf_deriveCommunityPath();

    const std::string find = fmt::format("find '{}' -iname aircraft.cfg -print0 | xargs -0 cat > /dev/null",
                                         vdl::gf_utf8FromPath(community));
    if (std::system(find.c_str()) != 0) return 1;  // warms the cache
    std::vector<double> findTimes;
    for (int r = 0; r < runs; ++r) {
        const auto t = Clock::now();
        if (std::system(find.c_str()) != 0) return 1;
        findTimes.push_back(lf_ms(t));
    }
    std::cout << "find | xargs cat: " << lf_range(findTimes) << "\n";

    for (const uint32_t n : threads) {
        std::vector<double> folder, whole, build;
        long heldKb = 0;
        size_t heldBytes = 0;
        size_t found = 0;
        for (int r = 0; r < runs; ++r) {
            vdl::gf_initWorkerSlots(n);
            vdl::liveries.clear();
            const long before = lf_memoryKb("VmRSS");
            auto t = Clock::now();
            for (const auto& package : written.packages) vdl::gf_scanLiveryFolder(1, package);
            folder.push_back(lf_ms(t));
            heldKb = std::max(heldKb, lf_memoryKb("VmRSS") - before);
            found = vdl::liveries.size();
            heldBytes = 0;
            for (const auto& l : vdl::liveries) {
                heldBytes += sizeof(l) + 2 * sizeof(void*);  // the list node
                for (const std::string* text : {&l.airl, &l.type, &l.title, &l.atcid})
                    if (text->capacity() > 15) heldBytes += text->capacity() + 1;
            }
            vdl::liveries.clear();
            vdl::gf_resetScanReports();

            vdl::SCAN_LIVERIES.set(true);
            t = Clock::now();
            vdl::gf_scanLiveries();
            whole.push_back(lf_ms(t));
            t = Clock::now();
            vdl::gf_processScannedLiveries(true);
            build.push_back(lf_ms(t));
        }
        std::cout << fmt::format("{} threads: {} liveries; folder scan {}; whole livery step {}; of it the table "
                                 "build {}; the records hold {:.1f} MB (RSS grew by up to {:.1f} MB)\n",
                                 n, found, lf_range(folder), lf_range(whole), lf_range(build), heldBytes / 1e6,
                                 heldKb / 1024.0);
    }
    std::cout << fmt::format("peak RSS {:.1f} MB\n", lf_memoryKb("VmHWM") / 1024.0);
    vdl::gf_closeLog();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work);
    return 0;
}
