// Times the add-on airport scan:
//   scan_airports ROOT THREADS           the walk of a package folder with the scan's reader;
//                                        prints the wall time and the number of scan-log lines
//   scan_airports --whole PACKAGES THREADS
//                                        the whole scan as at start-up (MSFS 2020, Community =
//                                        PACKAGES/Community) with the current folder as working
//                                        folder: stand files and links written, the scan log,
//                                        TBLO; prints the wall time and the files written
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "airports/airport_scan.h"
#include "airports/airport_scan_log.h"
#include "airports/airport_scan_walk.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "refdata/hooks.h"

namespace {

int lf_wholeScan(const char* packages, uint32_t threads) {
    namespace fs = std::filesystem;
    for (const char* folder : {"airports/my_thirdparty", "airports/my_simaddon", "output/info", "input", "TBLO"})
        fs::create_directories(folder);
    vdl::gf_openLog("MSFS 2020");
    vdl::gf_loadParameters();
    vdl::MSFS_2020.set(true);
    vdl::MSFS_INSTALL_PATH.set(vdl::gf_utf8FromPath(fs::absolute(vdl::gf_pathFromUtf8(packages))));
    vdl::gf_setAirportsScanLogHook([](const std::string& line) { vdl::gf_addAirportsScanLog(line); });
    vdl::gf_initWorkerSlots(threads);
    const auto start = std::chrono::steady_clock::now();
    vdl::gf_scanAddonAirports();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f s, %d stand files written\n", took.count(), vdl::gf_countFiles("airports/my_thirdparty"));
    vdl::gf_closeLog();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--whole") == 0)
        return lf_wholeScan(argv[2], static_cast<uint32_t>(std::atoi(argv[3])));
    if (argc != 3) {
        std::fprintf(stderr, "usage: scan_airports ROOT THREADS | scan_airports --whole PACKAGES THREADS\n");
        return 2;
    }
    vdl::gf_initWorkerSlots(static_cast<uint32_t>(std::atoi(argv[2])));
    const auto start = std::chrono::steady_clock::now();
    vdl::gf_scanFolderForAirports(argv[1], vdl::gf_toParkingPositions);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f s, %zu scan-log lines\n", took.count(), vdl::gf_takeAirportsScanLog().size());
    return 0;
}
