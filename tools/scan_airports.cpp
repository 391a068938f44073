// Times the walk of a package folder for BGL airport files with the scan's reader:
//   scan_airports ROOT THREADS   prints the wall time and the number of scan-log lines
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "airports/airport_scan_log.h"
#include "airports/airport_scan_walk.h"
#include "foundation/workers.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: scan_airports ROOT THREADS\n");
        return 2;
    }
    vdl::gf_initWorkerSlots(static_cast<uint32_t>(std::atoi(argv[2])));
    const auto start = std::chrono::steady_clock::now();
    vdl::gf_scanFolderForAirports(argv[1], vdl::gf_toParkingPositions);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f s, %zu scan-log lines\n", took.count(), vdl::gf_takeAirportsScanLog().size());
    return 0;
}
