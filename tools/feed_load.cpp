// Load on the feed: aircraft sending RTTFC lines on UDP to the traffic reader on 127.0.0.1,
// weather to the QNH reader, and the traffic step every 10 ms over a fleet of live aircraft that
// the lines extend (no simulator behind the link). Reports the process's memory, the step's time,
// the traffic queue and the log.
//
//   feed_load [--aircraft N] [--rate LINES_PER_SECOND_EACH] [--seconds S] [--intake-only] [--refused]
//             [--keep]
//
// --intake-only runs the intake alone each step instead of the whole step; --refused sends lines
// an hour ahead, which the reader refuses; --keep keeps the working folder with Log.txt.
#include "standins/feed_load.h"

#include <fmt/format.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "feed/qnh.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_reader.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/threads.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_tables.h"
#include "traffic/intake.h"
#include "traffic/records.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_step.h"

namespace {

using namespace vdl;
using Clock = std::chrono::steady_clock;

struct Options {
    size_t aircraft = 1000;
    double rate = 1.0;
    double seconds = 60.0;
    bool intakeOnly = false;
    bool refused = false;
    bool keep = false;
};

bool lf_options(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--intake-only" || arg == "--refused" || arg == "--keep") {
            (arg == "--keep" ? o.keep : arg == "--refused" ? o.refused : o.intakeOnly) = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        char* end = nullptr;
        const double v = std::strtod(argv[++i], &end);
        if (*end != '\0' || !(v > 0.0)) return false;
        if (arg == "--aircraft")
            o.aircraft = static_cast<size_t>(v);
        else if (arg == "--rate")
            o.rate = v;
        else if (arg == "--seconds")
            o.seconds = v;
        else
            return false;
    }
    return o.aircraft > 0 && o.aircraft <= 100000;
}

double lf_rssMb() {
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / 1e6;
}

double lf_wallSeconds() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

StreamPos lf_point(const rtstandin::Sample& s, uint32_t due) {
    StreamPos p;
    p.lat = s.pos.lat;
    p.lon = s.pos.lon;
    p.alt = s.altFt;
    p.speed = s.groundSpeedKt;
    p.tas = s.groundSpeedKt;
    p.track = s.trackDeg;
    p.airborne = s.airborne;
    p.stop = s.groundSpeedKt == 0.0;
    p.time = due;
    return p;
}

// The fleet the load's lines belong to, already in the simulator: active, with 30 s of stream
// ahead, as a fleet that has flown for a while.
void lf_buildFleet(size_t n) {
    const uint32_t clock = clock100.load();
    for (size_t i = 0; i < n; ++i) {
        const rtstandin::Flight f = rtstandin::gf_loadAircraft(i);
        AcIdentity id;
        id.airl = "DLH";
        id.type = f.type;
        id.callsign = f.callsign;
        id.reg = f.reg;
        id.origin = f.from;
        id.dest = f.to;
        id.hexid = f.hexid;
        id.title = "Airbus A320 Lufthansa";
        id.category = AircraftCategory::Large;
        id.halfWingspan = 17.0 / 1852.0;
        id.touchdownSteps = 350;
        gf_setCategoryValues(id);
        gf_setFlightValues(id);
        const rtstandin::Sample s = rtstandin::gf_loadSample(i, 0.0);
        LiveAc& a = liveAircraft.emplace_back(lf_point(s, clock), std::move(id), lf_wallSeconds() - 1.0);
        a.state = AcState::active;
        a.objectId = 100 + static_cast<uint32_t>(i);
        a.lat = s.pos.lat;
        a.lon = s.pos.lon;
        a.alt = s.airborne ? s.altFt : 110.0;
        a.onGround = s.airborne ? 0 : 1;
        a.heading = degToRad(s.trackDeg);
        a.groundState = s.airborne ? GroundState::airborne : (s.groundSpeedKt > 0.0 ? GroundState::taxi : GroundState::parked);
        a.aglFt = s.airborne ? s.altFt - 100.0 : 10.0;
        if (!s.airborne && s.groundSpeedKt == 0.0) continue;
        for (uint32_t k = 1; k <= 8; ++k)
            a.stream.push_back(lf_point(rtstandin::gf_loadSample(i, 4.0 * k), clock + 400 * k));
    }
}

double lf_at(const std::vector<double>& sorted, double q) {
    if (sorted.empty()) return 0.0;
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(q * static_cast<double>(sorted.size())))];
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!lf_options(argc, argv, o)) {
        std::cerr
            << "usage: feed_load [--aircraft N] [--rate LINES_PER_SECOND_EACH] [--seconds S] [--intake-only] "
               "[--refused] [--keep]\n";
        return 2;
    }
    std::string dir = (std::filesystem::temp_directory_path() / "vdl-feed-load-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) return 1;
    std::filesystem::current_path(dir);
    if (!gf_openLog("MSFS 2020")) return 1;

    gf_resetTraffic();
    gf_initTrafficLists();
    clock100 = 1000;
    simStopped = true;  // no simulator: no in-range or user requests
    lf_buildFleet(o.aircraft);
    gf_setMainLoopRunning(true);
    if (!gf_startTrafficReader(0) || !gf_startQnhReader(0)) return 1;
    const double rssStart = lf_rssMb();

    rtstandin::LoadConfig load;
    load.trafficPort = trafficReader.port();
    load.qnhPort = qnhReader.port();
    load.aircraft = o.aircraft;
    load.linesPerSecond = o.rate;
    load.seconds = o.seconds;
    if (o.refused) load.timeStamp = [] { return lf_wallSeconds() + 3600.0; };
    rtstandin::LoadStats sent;
    std::jthread sender([&](std::stop_token stop) { rtstandin::gf_sendLoad(load, sent, stop); });

    std::vector<double> stepMicros;
    double oldestQueued = 0.0;  // s, sampled before each step
    size_t mostQueued = 0;
    double rssMax = rssStart, rssAt10 = 0.0;
    const auto start = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(o.seconds + 2.0));
    auto nextRss = start + std::chrono::seconds(1);
    const std::stop_source never;
    for (auto next = start; next < end; next += std::chrono::milliseconds(10)) {
        gf_sleepUntil(never.get_token(), next);
        {
            std::lock_guard lock(trafficMutex);
            mostQueued = std::max(mostQueued, trafficQueue.size());
            if (!trafficQueue.empty())
                oldestQueued = std::max(oldestQueued, lf_wallSeconds() - trafficQueue.front().sampleTime);
        }
        const auto t0 = Clock::now();
        if (o.intakeOnly) {
            gf_handleUdpMessages();
            clock100.fetch_add(1);
        } else {
            gf_updateAI();
        }
        stepMicros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        {
            // What the link's frame would take.
            std::lock_guard lock(simMutex);
            simEventQueue.clear();
            positionSendBuffer.clear();
            simRemovalIds.clear();
            simCreateQueue.clear();
        }
        if (Clock::now() >= nextRss) {
            rssMax = std::max(rssMax, lf_rssMb());
            nextRss += std::chrono::seconds(1);
            if (nextRss - start == std::chrono::seconds(11)) rssAt10 = lf_rssMb();
        }
    }
    sender.request_stop();
    sender.join();
    gf_stopReaders();
    const double rssEnd = lf_rssMb();
    const size_t left = gf_trafficQueueSize();
    size_t active = 0;
    for (const LiveAc& a : liveAircraft) active += a.state == AcState::active;
    gf_closeLog();
    const auto logBytes = std::filesystem::file_size("Log.txt");
    std::sort(stepMicros.begin(), stepMicros.end());

    fmt::print("{} aircraft x {} lines/s for {} s ({} lines/s), {}\n", o.aircraft, o.rate, o.seconds,
               static_cast<double>(o.aircraft) * o.rate, o.intakeOnly ? "intake only" : "whole traffic step");
    fmt::print("sent: {} lines, {} weather datagrams, {} failed sends; QNH read {}\n", sent.lines.load(),
               sent.weather.load(), sent.failedSends.load(), qnh.load());
    fmt::print("queue: at most {} records, oldest queued {:.3f} s, {} dropped when full, {} left\n",
               mostQueued, oldestQueued, trafficRecordsDropped.load(), left);
    fmt::print(
        "step ({} steps): median {:.1f} us, p99 {:.1f} us, p99.9 {:.1f} us, max {:.1f} us; {} of {} live "
        "aircraft active\n",
        stepMicros.size(), lf_at(stepMicros, 0.5), lf_at(stepMicros, 0.99), lf_at(stepMicros, 0.999),
        stepMicros.empty() ? 0.0 : stepMicros.back(), active, liveAircraft.size());
    fmt::print(
        "memory (RSS): {:.1f} MB at the start, {} after 10 s, {:.1f} MB at most, {:.1f} MB at the end\n",
        rssStart, rssAt10 > 0.0 ? fmt::format("{:.1f} MB", rssAt10) : "-", rssMax, rssEnd);
    fmt::print("Log.txt: {} bytes\n", logBytes);
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    if (o.keep) {
        fmt::print("Log.txt kept in {}\n", dir);
    } else {
        std::filesystem::remove_all(dir, ec);
    }
    return 0;
}
