// The static parking plan and its adjustment at a large airport: 800 stands with 40 learned
// options each (30 real, 10 soft, scattered over the week), 200 static aircraft already parked,
// MAX_FIT 47 and the soft pass on, so that the search widens through every half hour.
// Reported per call: median and max in milliseconds, and the plan's size.
//
// The once-a-minute jobs of the main loop at the same airport: `--live N` live aircraft (300),
// 45 % of them on the ground (a third of those parked), and `--static N` static aircraft (200):
// the scan for static twins of live aircraft on the ground (one in ten has one, by callsign or
// by registration), and Callsign2ObjectId.txt, its text alone and with the hand-over of its write.
#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench_sizes.h"

#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "traffic/static_adjust.h"
#include "traffic/static_plan.h"
#include "traffic/static_twins.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace {

using namespace vdl;

constexpr int standCount = 800;
constexpr int optionsPerStand = 40;
constexpr int realOptions = 30;
constexpr int staticCount = 200;
constexpr int columns = 40;
const char* const airlines[] = {"DLH", "EWG", "BAW", "AFR", "KLM", "SWR", "AUA", "THY", "RYR", "EZY"};

void lf_buildAirport() {
    gf_resetTraffic();
    gf_initTrafficLists();
    parkPositions.clear();
    for (int s = 0; s < standCount; ++s) {
        std::vector<ParkPosOption> options;
        for (int k = 0; k < optionsPerStand; ++k) {
            ParkPosOption o;
            o.id = static_cast<uint32_t>(k + 1);
            o.day = static_cast<uint32_t>(1 + (s + k) % 7);
            o.kind = k < realOptions ? optionReal : optionSoft;
            o.setAirline(airlines[(s + k) % 10]);
            o.setType(k % 2 ? "A320" : "B738");
            o.setCallsign1(fmt::format("{}{}", o.airline(), 100 + s * optionsPerStand + k));
            if (k % 2) o.setCallsign2(fmt::format("{}{}", o.airline(), 50000 + s * optionsPerStand + k));
            if (k % 3 == 0) o.setReg(fmt::format("D-A{:04}", s * optionsPerStand + k));
            const int start = (s * 7 + k * 13) % 48;
            for (int h = 0; h < 2 + k % 5; ++h) o.hours.set(static_cast<size_t>((start + h) % 48));
            options.push_back(std::move(o));
        }
        const double lat = 50.0 + 0.0008 * (s / columns);
        const double lon = 7.0 + 0.0012 * (s % columns);
        ParkPos& p = parkPositions.emplace_back(fmt::format("S{}", s + 1), std::move(options), lat, lon, 0.0, 30.0,
                                                false, false, false);
        p.id = static_cast<uint32_t>(s + 1);
        if (s % columns > 0) p.adjacent.push_back(p.id - 1);
        if (s % columns < columns - 1) p.adjacent.push_back(p.id + 1);
    }
}

void lf_parkStatics() {
    staticAircraft.clear();
    for (int i = 0; i < staticCount; ++i) {
        const ParkPos& p = parkPositions[static_cast<size_t>(i * standCount / staticCount)];
        const ParkPosOption& o = p.options[static_cast<size_t>(i % optionsPerStand)];
        AcIdentity id;
        id.airl = o.airline();
        id.type = o.type();
        id.callsign = fmt::format("{}*", o.callsign1());
        id.callsignCopy = o.callsign1();
        id.coupledCallsign = o.callsign2();
        id.reg = o.reg();
        id.hexid = static_cast<uint32_t>(i + 1);
        AiAircraft& s = staticAircraft.emplace_back(std::move(id), p.id, p.lat, p.lon, p.heading, false);
        s.state = AcState::active;
        s.objectId = static_cast<uint32_t>(1000 + i);
        s.parkSlot = gf_slotBack(nowSlot.load(), i % 6);
    }
}

// A share the options can fill stops the search early; 100 % makes both passes widen to 47.
void lf_setUp(int64_t percentage) {
    nowSlot = WeekSlot{3, 20};
    MAX_FIT.set(47);
    PARK_SOFT.set(true);
    CUSTOM_PARKING_PERCENTAGE.set(static_cast<int32_t>(percentage));
    lf_buildAirport();
}

void lf_clearDrops() {
    for (ParkPos& p : parkPositions)
        for (ParkPosOption& o : p.options) o.dropped = false;
}

void lf_report(benchmark::State& state, std::vector<double>& millis) {
    std::sort(millis.begin(), millis.end());
    state.counters["median_ms"] = millis[millis.size() / 2];
    state.counters["max_ms"] = millis.back();
    state.counters["candidates"] = static_cast<double>(staticCandidates.size());
    state.counters["real_tolerance"] = realToleranceReached;
    state.counters["soft_tolerance"] = softToleranceReached;
}

void BM_StaticPlan(benchmark::State& state) {
    lf_setUp(state.range(0));
    std::vector<double> millis;
    for (auto _ : state) {
        lf_parkStatics();
        lf_clearDrops();
        const auto t0 = std::chrono::steady_clock::now();
        gf_planStaticParking();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        millis.push_back(ms);
        state.SetIterationTime(ms / 1e3);
    }
    lf_report(state, millis);
}

void BM_StaticAdjust(benchmark::State& state) {
    lf_setUp(state.range(0));
    std::vector<double> millis;
    for (auto _ : state) {
        lf_parkStatics();
        gf_clearStaticAdjustState();
        const auto t0 = std::chrono::steady_clock::now();
        gf_adjustStaticParking();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        millis.push_back(ms);
        state.SetIterationTime(ms / 1e3);
    }
    lf_report(state, millis);
    state.counters["kept"] = static_cast<double>(keptStatics.size());
}

BENCHMARK(BM_StaticPlan)->Arg(40)->Arg(100)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StaticAdjust)->Arg(40)->Arg(100)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

size_t minuteLive = 300;
size_t minuteStatic = 200;

// The fleet of the once-a-minute jobs: statics on the stands in turn, live aircraft in the air,
// taxiing and parked; every tenth live aircraft on the ground has a static twin, by callsign or
// by registration.
void lf_minuteFleet() {
    lf_setUp(40);
    staticAircraft.clear();
    liveAircraft.clear();
    for (size_t i = 0; i < minuteStatic; ++i) {
        const ParkPos& p = parkPositions[i % parkPositions.size()];
        AcIdentity id;
        id.airl = airlines[i % 10];
        id.type = i % 2 ? "A320" : "B738";
        id.callsign = fmt::format("{}{}*", id.airl, 7000 + i);
        id.reg = i % 3 == 0 ? fmt::format("D-S{:04}", i) : std::string();
        id.hexid = static_cast<uint32_t>(i + 1);
        AiAircraft& s = staticAircraft.emplace_back(std::move(id), p.id, p.lat, p.lon, p.heading, false);
        s.objectId = static_cast<uint32_t>(1000 + i);
    }
    size_t twins = 0;
    for (size_t i = 0; i < minuteLive; ++i) {
        const bool onGround = i % 20 < 9;
        AcIdentity id;
        id.airl = airlines[i % 10];
        id.type = i % 2 ? "A320" : "B738";
        id.callsign = fmt::format("{}{}", id.airl, 100 + i);
        id.reg = fmt::format("D-L{:04}", i);
        if (onGround && i % 10 == 0 && minuteStatic > 0) {
            // A twin: by callsign, or by a registration the static carries.
            const size_t s = (twins++ * 7) % minuteStatic;
            if (twins % 2 == 0 || staticAircraft[s].identity.reg.empty()) {
                const std::string& starred = staticAircraft[s].identity.callsign;
                id.callsign = starred.substr(0, starred.size() - 1);
            } else {
                id.reg = staticAircraft[s].identity.reg;
            }
        }
        id.hexid = static_cast<uint32_t>(10001 + i);
        StreamPos first;
        LiveAc& ac = liveAircraft.emplace_back(first, std::move(id), 0.0);
        ac.state = AcState::active;
        ac.onGround = onGround;
        ac.objectId = static_cast<uint32_t>(20000 + i);
        if (onGround && i % 3 == 0) {
            ac.groundState = GroundState::parked;
            ac.standId = parkPositions[(i * 7) % parkPositions.size()].id;
        }
    }
}

void lf_reportMinute(benchmark::State& state, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["max_us"] = micros.back();
    state.counters["live"] = static_cast<double>(minuteLive);
    state.counters["static"] = static_cast<double>(minuteStatic);
}

void BM_StaticTwinScan(benchmark::State& state) {
    lf_minuteFleet();
    std::vector<double> micros;
    size_t removed = 0;
    for (auto _ : state) {
        for (AiAircraft& s : staticAircraft) s.state = AcState::active;
        removalQueue.clear();
        const auto t0 = std::chrono::steady_clock::now();
        gf_removeStaticTwinsOfLiveAc();
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
        removed = removalQueue.size();
    }
    lf_reportMinute(state, micros);
    state.counters["removed"] = static_cast<double>(removed);
}

// Callsign2ObjectId.txt: with Arg(0) its text alone; with Arg(1) what the main loop spends on
// it (the text and handing it to its writer; the write itself, on its own thread, is waited
// for outside the time).
void BM_Callsign2ObjectId(benchmark::State& state) {
    lf_minuteFleet();
    const bool write = state.range(0) != 0;
    std::vector<double> micros;
    size_t bytes = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (write) {
            if (!gf_writeCallsign2ObjectId()) state.SkipWithError("the last write still ran");
        } else {
            bytes = gf_callsign2ObjectIdText().size();
        }
        const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
        if (write) gf_waitForCallsign2ObjectId();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
    }
    lf_reportMinute(state, micros);
    if (!write) state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_StaticTwinScan)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Callsign2ObjectId)->ArgName("write")->Arg(0)->Arg(1)->UseManualTime()->Iterations(100)->Unit(
    benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    vdl::bench::gf_takeSizeFlags(argc, argv, {{"live", &minuteLive}, {"static", &minuteStatic}});
    // Callsign2ObjectId.txt goes to a folder of its own.
    std::string dir = (std::filesystem::temp_directory_path() / "vdl-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data())) return 1;
    std::filesystem::current_path(dir);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::current_path(std::filesystem::temp_directory_path());
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
