// A connection flood on the RealTraffic link, Linux only: a child process floods the link with
// idle connections while this process runs the link with the usual limit of open files and plays
// RealTraffic now and then. Reports how often and how fast RealTraffic was served, and this
// process's CPU time, memory and open descriptors. Run it under vdl-isolated with `ulimit -n`
// raised for the flood's own descriptors (about rate x idle).
//
//   link_flood [--clients N] [--rate CONNECTIONS_PER_SECOND] [--idle S] [--attempts N]
//              [--timeout S] [--nofile N] [--warmup S] [--answer-ms MS]
//
// --answer-ms is how long the probe takes to answer the version query (RealTraffic's own time).
#include <fmt/format.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "feed/rt_link.h"
#include "foundation/log.h"
#include "standins/link_flood.h"

namespace {

using namespace vdl;
using Clock = std::chrono::steady_clock;

struct Options {
    rtstandin::FloodConfig flood;
    int attempts = 20;
    double timeout = 5.0;
    rlim_t nofile = 1024;
    double warmup = 7.0;
    std::chrono::milliseconds answer{0};
};

bool lf_options(int argc, char** argv, Options& o) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const double v = std::atof(argv[i + 1]);
        if (arg == "--answer-ms" && v >= 0.0) {
            o.answer = std::chrono::milliseconds(static_cast<int64_t>(v));
            continue;
        }
        if (v <= 0.0) return false;
        if (arg == "--clients") o.flood.clients = static_cast<size_t>(v);
        else if (arg == "--rate") o.flood.connectionsPerSecond = v;
        else if (arg == "--idle") o.flood.idle = std::chrono::milliseconds(static_cast<int64_t>(v * 1000.0));
        else if (arg == "--attempts") o.attempts = static_cast<int>(v);
        else if (arg == "--timeout") o.timeout = v;
        else if (arg == "--nofile") o.nofile = static_cast<rlim_t>(v);
        else if (arg == "--warmup") o.warmup = v;
        else return false;
    }
    return argc % 2 == 1;
}

// kB of a /proc/self/status field.
long lf_statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(field + ":")) return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

size_t lf_openDescriptors() {
    std::error_code ec;
    size_t n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

double lf_cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The child: floods until its parent closes the pipe, then prints what it did.
int lf_floodChild(const Options& o, int fromParent) {
    uint16_t port = 0;
    if (::read(fromParent, &port, sizeof port) != sizeof port) return 1;
    rtstandin::FloodConfig config = o.flood;
    config.port = port;
    rtstandin::FloodStats stats;
    std::stop_source stop;
    std::jthread watcher([&] {
        char c = 0;
        while (::read(fromParent, &c, 1) > 0) {
        }
        stop.request_stop();
    });
    const auto start = Clock::now();
    rtstandin::gf_runFlood(config, stats, stop.get_token());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fmt::print("flood: {} clients opened {} connections in {:.1f} s ({:.0f}/s), {} failed\n", config.clients,
               stats.opened.load(), seconds, static_cast<double>(stats.opened.load()) / seconds,
               stats.failed.load());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!lf_options(argc, argv, o)) {
        std::cerr << "usage: link_flood [--clients N] [--rate CONNECTIONS_PER_SECOND] [--idle S] [--attempts N] "
                     "[--timeout S] [--nofile N] [--warmup S] [--answer-ms MS]\n";
        return 2;
    }
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    const double floodFds = o.flood.connectionsPerSecond * static_cast<double>(o.flood.idle.count()) / 1000.0;
    if (static_cast<double>(limit.rlim_cur) < floodFds * 1.2)
        fmt::print("note: {} open files allowed, the flood holds about {:.0f}: raise ulimit -n\n", limit.rlim_cur,
                   floodFds);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return 1;
    std::fflush(stdout);
    const pid_t child = ::fork();  // before any thread starts
    if (child < 0) return 1;
    if (child == 0) {
        ::close(pipeFds[1]);
        return lf_floodChild(o, pipeFds[0]);
    }
    ::close(pipeFds[0]);

    // The program's usual limit of open files.
    limit.rlim_cur = std::min(o.nofile, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    std::string dir = (std::filesystem::temp_directory_path() / "vdl-link-flood-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return 1;
    std::filesystem::current_path(dir);
    if (!gf_openLog("MSFS 2020")) return 1;

    RealTrafficLink link;
    if (!link.start(0)) return 1;
    const uint16_t port = link.port();
    if (::write(pipeFds[1], &port, sizeof port) != sizeof port) return 1;
    fmt::print(
        "link on port {}, {} open files allowed; flood: {} clients, {:.0f} connections/s, idle {} ms; RealTraffic "
        "answers in {} ms\n",
        port, limit.rlim_cur, o.flood.clients, o.flood.connectionsPerSecond, o.flood.idle.count(), o.answer.count());
    std::this_thread::sleep_for(std::chrono::duration<double>(o.warmup));

    const double cpuStart = lf_cpuSeconds();
    const auto wallStart = Clock::now();
    const auto timeout = std::chrono::milliseconds(static_cast<int64_t>(o.timeout * 1000.0));
    std::vector<int64_t> servedMs;
    size_t fdsMax = 0;
    long rssMax = 0;
    Socket held;
    for (int i = 0; i < o.attempts; ++i) {
        const auto served = rtstandin::gf_probeLink(link, port, timeout, held, o.answer);
        if (served) servedMs.push_back(served->count());
        fmt::print("attempt {:2}: {}\n", i + 1, served ? fmt::format("served in {} ms", served->count()) : "not served");
        fdsMax = std::max(fdsMax, lf_openDescriptors());
        rssMax = std::max(rssMax, lf_statusKb("VmRSS"));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    const double cpu = lf_cpuSeconds() - cpuStart;
    held.reset();
    ::close(pipeFds[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    link.stop();
    gf_closeLog();
    const auto logBytes = std::filesystem::file_size("Log.txt");

    std::sort(servedMs.begin(), servedMs.end());
    fmt::print("served within {:.0f} s: {} of {}", o.timeout, servedMs.size(), o.attempts);
    if (!servedMs.empty())
        fmt::print(" (median {} ms, slowest {} ms)", servedMs[servedMs.size() / 2], servedMs.back());
    fmt::print("\nlink process: CPU {:.1f} % of one core over {:.1f} s, RSS at most {} kB (peak {} kB), at most {} "
               "open descriptors, Log.txt {} bytes\n",
               100.0 * cpu / wall, wall, rssMax, lf_statusKb("VmHWM"), fdsMax, logBytes);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    return servedMs.size() * 20 >= static_cast<size_t>(o.attempts) * 19 ? 0 : 1;
}
