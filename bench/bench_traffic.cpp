// One traffic step with 300 live aircraft: 55 % airborne, 30 % taxiing, 15 % parked, and 200
// static aircraft parked on stands; the feed at two records per step (more for a larger fleet:
// a record per moving aircraft every 4 s) and no simulator behind the link (positions and events
// go to the link's queues, which are emptied between steps as the link's frame would). Once a
// second (every 100 steps) the step also does the per-second scan of the live aircraft against
// the user's path. The steps run back to back, and 10 ms apart as the main loop runs them.
// Reported per step: median, p99 and max in microseconds, and heap allocations per step.
//
//   bench_traffic [--live N] [--static N] [--spaced | --back-to-back] [--steps N] [benchmark flags]
//
// Without --spaced or --back-to-back both run.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "feed/traffic_queue.h"
#include "foundation/clock.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "simlink/sim_link.h"
#include "traffic/flight_tables.h"
#include "traffic/movement.h"
#include "traffic/records.h"
#include "traffic/static_placing.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_step.h"

namespace {

std::atomic<uint64_t> allocations{0};

}  // namespace

// Counting replacements of the global allocation functions (malloc underneath).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using namespace vdl;

struct Sizes {
    size_t live = 300;
    size_t statics = 200;
    bool spaced = true;
    bool backToBack = true;
    int64_t steps = 6000;
};
Sizes sizes;

struct Mover {
    size_t index = 0;
    double kt = 0;
    double alt = 0;
    bool airborne = false;
    double trackDeg = 0;
    LatLon pos;
    uint32_t nextDue = 0;
};

AcIdentity lf_identity(uint32_t hexid, AircraftCategory c) {
    AcIdentity id;
    id.airl = "DLH";
    id.type = "A320";
    id.callsign = fmt::format("DLH{}", hexid % 10000);
    id.reg = "D-AIZZ";
    id.hexid = hexid;
    id.title = "Airbus A320 Lufthansa";
    id.category = c;
    id.halfWingspan = metresToNm(17.0);
    id.touchdownSteps = 350;
    gf_setCategoryValues(id);
    gf_setFlightValues(id);
    return id;
}

StreamPos lf_point(const Mover& m) {
    StreamPos p;
    p.lat = m.pos.lat;
    p.lon = m.pos.lon;
    p.alt = m.airborne ? m.alt : 0.0;
    p.speed = m.kt;
    p.tas = m.kt;
    p.track = m.trackDeg;
    p.airborne = m.airborne;
    p.time = m.nextDue;
    return p;
}

// Moves the made-up aircraft on by one record: 4 s on, a gentle turn now and then.
void lf_advance(Mover& m, uint32_t n) {
    if (n % 5 == 0) m.trackDeg = std::fmod(m.trackDeg + (m.airborne ? 10.0 : 60.0), 360.0);
    m.pos = gf_destination(m.pos, degToRad(m.trackDeg), nmToFeet(ktToNmPerSecond(m.kt) * 4.0));
    m.nextDue += 400;
}

struct Fleet {
    std::vector<Mover> movers;
    size_t cursor = 0;
    uint32_t records = 0;
};

Fleet lf_build() {
    Fleet f;
    gf_resetTraffic();
    gf_initTrafficLists();
    clock100.store(1000);
    const uint32_t clock = clock100.load();
    const size_t fleet = sizes.live;
    for (size_t i = 0; i < fleet; ++i) {
        const bool airborne = i < fleet * 55 / 100;
        const bool taxi = !airborne && i < fleet * 85 / 100;
        Mover m;
        m.index = i;
        m.airborne = airborne;
        m.kt = airborne ? 250.0 : (taxi ? 15.0 : 0.0);
        m.alt = 3000.0 + 100.0 * static_cast<double>(i % 300);
        m.trackDeg = static_cast<double>((i * 37) % 360);
        m.pos = {50.0 + 0.01 * static_cast<double>(i % 30), 7.0 + 0.01 * static_cast<double>(i / 30)};
        m.nextDue = clock + static_cast<uint32_t>(i % 400);
        StreamPos first = lf_point(m);
        if (!airborne && !taxi) first.stop = 1;
        LiveAc& a = liveAircraft.emplace_back(first, lf_identity(10001 + static_cast<uint32_t>(i),
                                                                 AircraftCategory::Large), 1.0);
        a.state = AcState::active;
        a.objectId = 100 + static_cast<uint32_t>(i);
        a.lat = m.pos.lat;
        a.lon = m.pos.lon;
        a.alt = airborne ? m.alt : 110.0;
        a.onGround = airborne ? 0 : 1;
        a.heading = degToRad(m.trackDeg);
        a.groundState = airborne ? GroundState::airborne : (taxi ? GroundState::taxi : GroundState::parked);
        a.aglFt = airborne ? 2500.0 : 10.0;
        if (!airborne && !taxi) continue;
        for (uint32_t k = 0; k < 8; ++k) {
            lf_advance(m, k + 1);
            a.stream.push_back(lf_point(m));
        }
        f.movers.push_back(m);
    }
    for (size_t i = 0; i < sizes.statics; ++i) {
        AiAircraft& s = staticAircraft.emplace_back(lf_identity(static_cast<uint32_t>(i + 1), AircraftCategory::Large),
                                                    static_cast<uint32_t>(i + 1), 50.5 + 0.001 * static_cast<double>(i),
                                                    7.5, 0.0, false);
        s.identity.callsign += "*";
        s.state = AcState::active;
        s.objectId = 5000 + static_cast<uint32_t>(i);
    }
    return f;
}

// Two records per step for the moving aircraft in turn (or one per moving aircraft every 4 s,
// when that is more), through the feed's queue; when the intake does not take them the points go
// straight onto the streams so the data never ends.
void lf_feed(Fleet& f) {
    if (f.movers.empty()) return;
    const size_t perStep = std::max<size_t>(2, (f.movers.size() + 399) / 400);
    for (size_t k = 0; k < perStep; ++k) {
        Mover& m = f.movers[f.cursor++ % f.movers.size()];
        LiveAc& a = liveAircraft[m.index];
        if (a.stream.size() > 12) continue;
        lf_advance(m, ++f.records);
        TrafficRecord r;
        r.pos = lf_point(m);
        r.hexid = a.identity.hexid;
        r.sampleTime = static_cast<double>(f.records);
        std::lock_guard lock(trafficMutex);
        trafficQueue.push_back(std::move(r));
    }
}

void lf_drainUntaken() {
    std::lock_guard lock(trafficMutex);
    while (!trafficQueue.empty()) {
        const TrafficRecord& r = trafficQueue.front();
        for (LiveAc& a : liveAircraft)
            if (a.identity.hexid == r.hexid) {
                StreamPos p = r.pos;
                p.time = std::max(p.time, a.stream.empty() ? 0u : a.stream.back().time + 1);
                a.stream.push_back(p);
                break;
            }
        trafficQueue.pop_front();
    }
}

// The per-second work of the main loop that walks the lists on the run worker.
void lf_everySecond() {
    for (LiveAc& a : liveAircraft) gf_removeIfInUserPath(a);
}

void lf_trafficSteps(benchmark::State& state, bool paced) {
    static bool once = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "vdl-bench-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
        std::filesystem::current_path(dir);
        return true;
    }();
    (void)once;
    Fleet f = lf_build();
    simStopped = true;  // no simulator: no in-range or user requests
    {
        std::lock_guard lock(trafficMutex);
        mainLoopRunning = true;
    }
    auto emptyLinkQueues = [] {
        std::lock_guard lock(simMutex);
        simEventQueue.clear();
        positionSendBuffer.clear();
        simRemovalIds.clear();
    };
    // Warm-up: 30 s of steps, so that streams, buffers and queues reach their steady sizes.
    for (int i = 0; i < 3000; ++i) {
        lf_feed(f);
        gf_updateAI();
        lf_drainUntaken();
        emptyLinkQueues();
    }
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(state.max_iterations));
    uint64_t allocs = 0;
    auto next = std::chrono::steady_clock::now();
    for (auto _ : state) {
        lf_feed(f);
        if (paced) {
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
        }
        const uint64_t a0 = allocations.load();
        const auto t0 = std::chrono::steady_clock::now();
        gf_updateAI();
        if (clock100.load() % 100 == 0) lf_everySecond();
        const auto t1 = std::chrono::steady_clock::now();
        allocs += allocations.load() - a0;
        const double us = std::chrono::duration<double, std::micro>(t1 - t0).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
        lf_drainUntaken();
        emptyLinkQueues();
    }
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[std::min(micros.size() - 1, static_cast<size_t>(q * static_cast<double>(micros.size())))]; };
    size_t active = 0;
    for (const LiveAc& a : liveAircraft) active += a.state == AcState::active;
    state.counters["median_us"] = at(0.5);
    state.counters["p90_us"] = at(0.90);
    state.counters["p99_us"] = at(0.99);
    state.counters["p999_us"] = at(0.999);
    state.counters["max_us"] = micros.back();
    state.counters["allocs_per_step"] = static_cast<double>(allocs) / static_cast<double>(micros.size());
    state.counters["active"] = static_cast<double>(active);
}

// Takes this benchmark's own flags out of argv; false on a bad one.
bool lf_takeSizes(int& argc, char** argv) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--spaced" || arg == "--back-to-back") {
            sizes.spaced = arg == "--spaced";
            sizes.backToBack = !sizes.spaced;
            continue;
        }
        if (arg != "--live" && arg != "--static" && arg != "--steps") {
            argv[kept++] = argv[i];
            continue;
        }
        if (i + 1 >= argc) return false;
        char* end = nullptr;
        const long long v = std::strtoll(argv[++i], &end, 10);
        if (*end != '\0' || v < 0 || v > 100000) return false;
        if (arg == "--live") sizes.live = static_cast<size_t>(v);
        else if (arg == "--static") sizes.statics = static_cast<size_t>(v);
        else sizes.steps = std::max<long long>(v, 100);
    }
    argc = kept;
    // Static hexids stay below 10000.
    return sizes.statics < 10000;
}

}  // namespace

int main(int argc, char** argv) {
    if (!lf_takeSizes(argc, argv)) {
        std::fprintf(stderr, "usage: bench_traffic [--live N] [--static N] [--spaced | --back-to-back] [--steps N] "
                             "[benchmark flags]\n");
        return 2;
    }
    const std::string name = fmt::format("TrafficStep/live:{}/static:{}", sizes.live, sizes.statics);
    if (sizes.backToBack)
        benchmark::RegisterBenchmark(name.c_str(), [](benchmark::State& s) { lf_trafficSteps(s, false); })
            ->UseManualTime()->Iterations(sizes.steps)->Unit(benchmark::kMicrosecond);
    if (sizes.spaced)
        benchmark::RegisterBenchmark((name + "/spaced").c_str(), [](benchmark::State& s) { lf_trafficSteps(s, true); })
            ->UseManualTime()->Iterations(sizes.steps)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
