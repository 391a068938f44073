// Files of repeated content at a base size and at ten times it: a half-hour list of many bad
// items, an airport of many parkings in same-name groups of seven, and a learned stand file of
// many options on one stand that share a half hour. Each should take about ten times as long at
// ten times the size. Reported: the median of BENCH_RUNS runs (default 5), in milliseconds.
#include <fmt/format.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "airports/bgl_reader.h"
#include "airports/bgl_stands.h"
#include "airports/park_airport_state.h"
#include "airports/stand_file.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "standins/bgl_writer.h"

namespace {

using namespace vdl;
namespace fs = std::filesystem;
namespace bw = bglwriter;
const int runs = std::getenv("BENCH_RUNS") ? std::atoi(std::getenv("BENCH_RUNS")) : 5;

template <typename F>
double lf_median(F&& f) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

double lf_badHalfHours(int items) {
    std::string text = "5";
    for (int i = 0; i < items; ++i) text += ",x" + std::to_string(i);
    return lf_median([&] {
        if (gf_hours2bitset(text, "BNCH").count() != 1) std::abort();
    });
}

// Whole airport records read, as the scan reads them.
double lf_repeatedParkingNames(int parkings) {
    bw::Airport airport;
    bw::ParkingList list;
    for (int i = 0; i < parkings; ++i) {
        const int group = i / 7;
        bw::Parking p;
        p.nameCode = static_cast<uint8_t>(10 + group / 4096);
        p.number = static_cast<uint16_t>(group % 4096);
        p.radius = 20.0f + static_cast<float>(i % 7);
        list.parkings.push_back(p);
    }
    airport.subrecords.push_back(list);
    const std::vector<uint8_t> bytes = bw::gf_bglBytes(bw::gf_airportFile({airport}));
    return lf_median([&] {
        size_t stands = 0;
        BglHandOffs handOffs;
        handOffs.airport = [&](const BglAirport& a, const std::string& icao) {
            stands = gf_readAirportStands(a, icao, "bench.bgl")->stands.size();
        };
        gf_walkBglBytes(bytes, "bench.bgl", handOffs, false);
        if (stands != static_cast<size_t>(parkings)) std::abort();
    });
}

// The load of the base file with the learned file less the load without it.
double lf_learnedOptions(const fs::path& dir, int options) {
    fs::current_path(dir);
    fs::create_directories("airports/my_thirdparty");
    fs::create_directories("airports/learned/stock");
    AirportRecord base;
    base.name = "Bench Field";
    base.publisher = "stock";
    base.stands.emplace_back("S1", std::vector<ParkPosOption>{}, 50.0, 6.0, 0.0, 30.0, false, false, false);
    AirportRecord learned = base;
    for (int i = 0; i < options; ++i) {
        ParkPosOption o;
        o.setStrings("SWR", "A20N", fmt::format("X-{:06}", i), "", "");
        o.day = 1;
        o.kind = optionReal;
        o.hours.set(10);
        o.id = static_cast<uint32_t>(i + 1);
        learned.stands[0].options.push_back(o);
    }
    if (!gf_writeApf(base, "airports/my_thirdparty/BNCH.xml", apfFullMode) ||
        !gf_writeApf(learned, "airports/learned/stock/BNCH.xml", apfLearnedMode))
        std::abort();
    const auto load = [](size_t expected) {
        return [expected] {
            gf_clearParkAirportState();
            currentParkAirport.code = "BNCH";
            if (!gf_readParkedFile().empty() || parkPositions.at(0).options.size() != expected) std::abort();
        };
    };
    const double with = lf_median(load(static_cast<size_t>(options)));
    fs::rename("airports/learned/stock/BNCH.xml", "airports/learned/stock/keep.xml");
    const double without = lf_median(load(0));
    fs::remove_all("airports");
    return with - without;
}

}  // namespace

int main() {
    std::string pattern = (fs::temp_directory_path() / "vdl-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path dir = pattern;
    fs::current_path(dir);
    if (!gf_openLog("bench")) return 1;
    // BENCH_ONLY=hours, names or learned and BENCH_SIZE=n run one case (for counting it alone).
    const std::string only = std::getenv("BENCH_ONLY") ? std::getenv("BENCH_ONLY") : "";
    const int size = std::getenv("BENCH_SIZE") ? std::atoi(std::getenv("BENCH_SIZE")) : 0;
    const auto sizes = [size](std::vector<int> both) { return size > 0 ? std::vector<int>{size} : both; };
    if (only.empty() || only == "hours")
        for (const int n : sizes({5000, 50000}))
            fmt::print("half-hour list of {} bad items: {:.2f} ms\n", n, lf_badHalfHours(n));
    if (only.empty() || only == "names")
        for (const int n : sizes({6553, 65535}))
            fmt::print("airport of {} parkings in same-name groups of 7: {:.2f} ms\n", n, lf_repeatedParkingNames(n));
    if (only.empty() || only == "learned")
        for (const int n : sizes({10000, 100000}))
            fmt::print("learned file of {} options on one stand: {:.2f} ms\n", n, lf_learnedOptions(dir, n));
    gf_closeLog();
    fs::current_path(dir.parent_path());
    fs::remove_all(dir);
    return 0;
}
