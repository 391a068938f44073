// The static parking plan and its adjustment at a large airport: 800 stands with 40 learned
// options each (30 real, 10 soft, scattered over the week), 200 static aircraft already parked,
// MAX_FIT 47 and the soft pass on, so that the search widens through every half hour.
// Reported per call: median and max in milliseconds, and the plan's size.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "traffic/static_adjust.h"
#include "traffic/static_plan.h"
#include "traffic/traffic_lists.h"

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
            o.airline = airlines[(s + k) % 10];
            o.type = k % 2 ? "A320" : "B738";
            o.callsign1 = fmt::format("{}{}", o.airline, 100 + s * optionsPerStand + k);
            if (k % 2) o.callsign2 = fmt::format("{}{}", o.airline, 50000 + s * optionsPerStand + k);
            if (k % 3 == 0) o.reg = fmt::format("D-A{:04}", s * optionsPerStand + k);
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
        id.airl = o.airline;
        id.type = o.type;
        id.callsign = o.callsign1 + "*";
        id.callsignCopy = o.callsign1;
        id.coupledCallsign = o.callsign2;
        id.reg = o.reg;
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

}  // namespace

BENCHMARK_MAIN();
