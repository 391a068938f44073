// Loading a park airport's stand file of 3,000 stands with its learned file (20 learned options
// per stand): the whole gf_readParkedFile (parse, stands, learned merge, numbering, adjacency),
// and the adjacency alone. Reported: median and max of 30 loads, in milliseconds, and the first
// load of a process apart: in fresh processes (this program again with "--first <folder>"),
// whose memory no earlier work has touched yet.
#include <fmt/format.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/stand_file.h"
#include "airports/stand_load.h"
#include "airports/stand_plain.h"
#include "airports/stand_xml.h"
#include "foundation/geo.h"

namespace {

using namespace vdl;
namespace fs = std::filesystem;
constexpr int standCount = 3000;
constexpr int learnedPerStand = 20;
const int runs = std::getenv("BENCH_RUNS") ? std::atoi(std::getenv("BENCH_RUNS")) : 30;

AirportRecord lf_airport(bool learned) {
    AirportRecord r;
    r.name = "Bench Field";
    r.publisher = "stock";
    r.altitude = 100;
    const int side = 55;
    for (int i = 0; i < standCount; ++i) {
        // 70 m apart in rows, radii 30 to 45 m: some neighbours overlap.
        const LatLon p{50.0 + (i / side) * 70.0 / 111132.0, 6.0 + (i % side) * 70.0 / 71000.0};
        std::vector<ParkPosOption> options;
        if (learned)
            for (int k = 0; k < learnedPerStand; ++k) {
                ParkPosOption o;
                o.setAirline(k % 2 ? "DLH" : "EWG");
                o.setType(k % 3 ? "A320" : "B738");
                o.day = static_cast<uint32_t>(1 + k % 7);
                o.hours.set(static_cast<size_t>((k * 5 + i) % 48));
                o.id = static_cast<uint32_t>(k + 1);
                o.kind = optionReal;
                o.setCallsign1(fmt::format("DLH{}", k));
                options.push_back(o);
            }
        r.stands.emplace_back(fmt::format("S{}", i), std::move(options), p.lat, p.lon, 0.0, 30.0 + i % 16, false, false,
                              false);
    }
    return r;
}

struct Figures {
    double median, max;
};

// setup runs before each timed call, outside the timing.
template <typename F, typename S = void (*)()>
Figures lf_time(F&& f, S&& setup = [] {}) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        setup();
        const auto t0 = std::chrono::steady_clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// The first load of a fresh process, in milliseconds, written to standard output.
int lf_firstLoad(const char* folder) {
    fs::current_path(folder);
    const auto t0 = std::chrono::steady_clock::now();
    currentParkAirport.code = "BNCH";
    if (!gf_readParkedFile().empty()) return 1;
    fmt::print("{}\n", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    return 0;
}

// The first loads of `count` fresh processes, one after the other.
Figures lf_firstLoads(const fs::path& dir, int count) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        int out[2];
        if (::pipe(out) != 0) std::abort();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::execl("/proc/self/exe", "bench_stands", "--first", dir.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        char text[64] = {};
        const ssize_t n = ::read(out[0], text, sizeof text - 1);
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
        ms.push_back(std::atof(text));
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// The two files under dir.
bool lf_writeFiles(const fs::path& dir) {
    fs::current_path(dir);
    fs::create_directories("airports/my_thirdparty");
    fs::create_directories("airports/learned/stock");
    return gf_writeApf(lf_airport(false), "airports/my_thirdparty/BNCH.xml", apfFullMode) &&
           gf_writeApf(lf_airport(true), "airports/learned/stock/BNCH.xml", apfLearnedMode);
}

}  // namespace

// "--write <folder>" writes the files there and stops, for counting one "--first" load alone
// (perf stat, callgrind).
int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--first") return lf_firstLoad(argv[2]);
    if (argc == 3 && std::string_view(argv[1]) == "--write") return lf_writeFiles(argv[2]) ? 0 : 1;
    std::string pattern = (fs::temp_directory_path() / "vdl-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path dir = pattern;
    if (!lf_writeFiles(dir)) return 1;
    // The first load of a process takes fresh memory for its records; later loads reuse memory.
    const int firstRuns = std::getenv("BENCH_FIRST_RUNS") ? std::atoi(std::getenv("BENCH_FIRST_RUNS")) : 10;
    const auto first = lf_firstLoads(dir, std::max(firstRuns, 1));
    const auto load = lf_time([] {
        currentParkAirport.code = "BNCH";
        if (!gf_readParkedFile().empty()) std::abort();
    });
    // As in the program: leaving the previous park airport has freed its stands before a load.
    const auto loadAfterLeave = lf_time(
        [] {
            currentParkAirport.code = "BNCH";
            if (!gf_readParkedFile().empty()) std::abort();
        },
        [] { gf_clearParkAirportState(); });
    size_t options = 0, links = 0;
    for (const auto& s : parkPositions) options += s.options.size(), links += s.adjacent.size();
    const auto parse = lf_time([] {
        StandXmlDocument doc;
        if (!doc.loadFile("airports/learned/stock/BNCH.xml")) std::abort();
    });
    const auto plainRead = lf_time([] {
        StandFileReader reader;
        if (!reader.load("airports/learned/stock/BNCH.xml") || !reader.plain()) std::abort();
        ParkPosElement e;
        while (reader.parkPositions().next(e)) {
        }
    });
    fs::rename("airports/learned/stock/BNCH.xml", "airports/learned/stock/keep.xml");
    const auto baseOnly = lf_time([] {
        currentParkAirport.code = "BNCH";
        if (!gf_readParkedFile().empty()) std::abort();
    });
    fs::rename("airports/learned/stock/keep.xml", "airports/learned/stock/BNCH.xml");
    fmt::print("without the learned file: median {:.1f} ms\n", baseOnly.median);
    fmt::print("pugixml parse of the learned file alone: median {:.1f} ms\n", parse.median);
    fmt::print("plain read of the learned file alone, every element: median {:.1f} ms\n", plainRead.median);
    const auto adjacency = lf_time([] { gf_numberAndLinkStands(parkPositions); });
    fmt::print("stands {}, options {}, adjacent links {}, files {} KB + {} KB\n", parkPositions.size(), options, links,
               fs::file_size("airports/my_thirdparty/BNCH.xml") / 1024, fs::file_size("airports/learned/stock/BNCH.xml") / 1024);
    fmt::print("gf_readParkedFile: median {:.1f} ms, max {:.1f} ms\n", loadAfterLeave.median, loadAfterLeave.max);
    fmt::print("the same freeing the previous load's stands first: median {:.1f} ms, max {:.1f} ms\n", load.median,
               load.max);
    fmt::print("first load of a fresh process: median {:.1f} ms, max {:.1f} ms\n", first.median, first.max);
    fmt::print("numbering and adjacency: median {:.2f} ms, max {:.2f} ms\n", adjacency.median, adjacency.max);
    fs::current_path(dir.parent_path());
    fs::remove_all(dir);
    return 0;
}
