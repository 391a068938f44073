// The livery table build and the matcher at catalogue sizes of a large installation:
// by default 50,000 liveries (80 % with a registration) and 20,000 AIG registration records
// (`--liveries N --registrations N`), fetched over HTTP on 127.0.0.1 as in the program. Match
// times are reported per match (median and worst over a traffic mix) in microseconds and as a
// share of the 10 ms traffic step; the build reports the heap it takes at its peak and keeps.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>

#include <atomic>
#include <new>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "liveries/livery_data.h"
#include "liveries/livery_matcher.h"
#include "liveries/livery_tables.h"
#include "liveries/match_reports.h"
#include "refdata/dbase.h"
#include "bench_sizes.h"
#include "refdata/download.h"
#include "standins/livery_samples.h"
#include "support/http_server.h"

// Heap bytes in use and their peak, for the memory of the table build.
namespace {
std::atomic<size_t> heapInUse{0};
std::atomic<size_t> heapPeak{0};

void* lf_counted(void* p) {
    if (p == nullptr) throw std::bad_alloc();
    const size_t now = heapInUse.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
    size_t peak = heapPeak.load(std::memory_order_relaxed);
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return p;
}
void lf_uncount(void* p) {
    if (p == nullptr) return;
    heapInUse.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
    std::free(p);
}
}  // namespace

void* operator new(size_t n) {
    return lf_counted(std::malloc(n == 0 ? 1 : n));
}
void* operator new[](size_t n) {
    return lf_counted(std::malloc(n == 0 ? 1 : n));
}
void operator delete(void* p) noexcept {
    lf_uncount(p);
}
void operator delete[](void* p) noexcept {
    lf_uncount(p);
}
void operator delete(void* p, size_t) noexcept {
    lf_uncount(p);
}
void operator delete[](void* p, size_t) noexcept {
    lf_uncount(p);
}

namespace {

using namespace vdl;
namespace fs = std::filesystem;

size_t catalogueSize = 50000;
size_t aigSize = 20000;
constexpr double stepMicros = 10000.0;  // the 10 ms traffic step

struct World {
    std::string dir;
    std::list<LiveryData> catalogue;
    std::unique_ptr<test::LocalHttpServer> server;
    std::vector<AcIdentity> traffic;

    ~World() {
        server.reset();
        std::error_code ec;
        if (!dir.empty()) fs::remove_all(dir, ec);
    }
};

void lf_writeFile(const fs::path& p, const std::string& text) {
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

World& lf_world() {
    static World world;
    static const bool ready = [] {
        std::string dir = (fs::temp_directory_path() / "vdl-bench-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
        fs::current_path(dir);
        world.dir = dir;
        ::setenv("XDG_CONFIG_HOME", (fs::path(dir) / "config").c_str(), 1);
        fs::create_directories("input");
        fs::create_directories("output");

        samples::SampleMaker maker(2026);
        world.catalogue = maker.liveries({catalogueSize, 0.8, 2026});
        std::string dbase = samples::sampleDbaseXml(world.catalogue, 4);
        // A private registration the catalogue does not know, for the worst case below.
        dbase.insert(dbase.find("</regs>"), "<r reg=\"DEXXX\" airl=\"PVT\" type=\"C152\" opr=\"PVT\"/>\n");
        lf_writeFile("input/dbase.xml", dbase);
        gf_loadDbase("input/dbase.xml");

        liveries = world.catalogue;
        gf_saveScannedLiveries();

        const auto records = maker.aigRecords(world.catalogue, aigSize);
        test::makeZip("aig-src.zip", {{"AIG-regcodes.xml", samples::aigRegcodesXml(records)}});
        world.server = std::make_unique<test::LocalHttpServer>();
        world.server->setFile("AIG-regcodes.zip", "aig-src.zip");
        gf_setServerBaseForTests(world.server->base());
        gf_openLog("MSFS 2020", "Log.txt");

        // Traffic: own registrations, new aircraft of known fleets, other types of known
        // airlines, airlines without liveries, private aircraft.
        std::vector<const LiveryData*> pool;
        for (const auto& l : world.catalogue) pool.push_back(&l);
        std::mt19937 rng(99);
        auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
        for (size_t i = 0; i < 2000; ++i) {
            const LiveryData& l = *pool[pick(pool.size())];
            const auto& anyType =
                samples::sampleTypeCategories[pick(std::size(samples::sampleTypeCategories))].first;
            const size_t kind = pick(100);
            std::string airl = l.airl, type = l.type, reg;
            if (kind < 35)
                reg = l.atcid;
            else if (kind < 70)
                reg = maker.registration("N%%%##");
            else if (kind < 85)
                type = std::string(anyType);
            else if (kind < 95)
                airl = "XAX", type = std::string(anyType);
            else
                airl = "PVT", type = "C152", reg = maker.registration("D-E###");
            world.traffic.push_back(gf_makeAcIdentity(airl, type, "EDDL", "KJFK", airl + "1", "", "", reg,
                                                      l.cargo ? 1 : 0, 10001 + static_cast<uint32_t>(i)));
        }
        return true;
    }();
    (void)ready;
    return world;
}

void BM_TableBuild(benchmark::State& state) {
    lf_world();
    double peakMb = 0;
    double keptMb = 0;
    for (auto _ : state) {
        gf_clearLiveryTables();
        const size_t before = heapInUse.load();
        heapPeak.store(before);
        gf_processScannedLiveries();
        peakMb = static_cast<double>(heapPeak.load() - before) / 1e6;
        keptMb = static_cast<double>(heapInUse.load() - before) / 1e6;
    }
    state.counters["liveries"] = static_cast<double>(liveryCount.load());
    state.counters["regcodes"] = static_cast<double>(regcodeTitles.size());
    state.counters["heap_peak_MB"] = peakMb;
    state.counters["heap_kept_MB"] = keptMb;
}
BENCHMARK(BM_TableBuild)->Unit(benchmark::kMillisecond)->Iterations(5);

// Times every aircraft of the list (median of `reps` matches each, so that a preempted match does
// not count) and reports the median and the worst aircraft.
template <typename Match>
void lf_timeMatches(benchmark::State& state, const std::vector<AcIdentity>& aircraft, Match match) {
    constexpr int reps = 21;
    std::vector<double> perAircraft;
    std::vector<double> times(reps);
    size_t matched = 0;
    for (auto _ : state) {
        perAircraft.clear();
        matched = 0;
        for (const auto& original : aircraft) {
            AcIdentity ac = original;
            for (int r = 0; r < reps; ++r) {
                ac.title = {};
                ac.cargo = original.cargo;
                const auto t0 = std::chrono::steady_clock::now();
                match(ac);
                const auto t1 = std::chrono::steady_clock::now();
                times[static_cast<size_t>(r)] = std::chrono::duration<double, std::micro>(t1 - t0).count();
            }
            if (!ac.title.empty()) ++matched;
            std::nth_element(times.begin(), times.begin() + reps / 2, times.end());
            perAircraft.push_back(times[reps / 2]);
        }
    }
    std::sort(perAircraft.begin(), perAircraft.end());
    const double median = perAircraft[perAircraft.size() / 2];
    const double worst = perAircraft.back();
    state.counters["median_us"] = median;
    state.counters["worst_us"] = worst;
    state.counters["median_of_step_pct"] = median / stepMicros * 100.0;
    state.counters["worst_of_step_pct"] = worst / stepMicros * 100.0;
    state.counters["matched_pct"] =
        100.0 * static_cast<double>(matched) / static_cast<double>(aircraft.size());
}

void lf_prepareTables(bool log) {
    lf_world();
    if (!liveriesProcessed) gf_processScannedLiveries();
    RANDOM.set(true);
    MATCHING_DEPTH.set(4);
    LOG.set(log);
}

void BM_MatchLivery(benchmark::State& state) {
    lf_prepareTables(state.range(0) != 0);
    lf_timeMatches(state, lf_world().traffic, [](AcIdentity& ac) { gf_matchLivery(ac); });
}
BENCHMARK(BM_MatchLivery)->ArgName("LOG")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_MatchLiveryStatic(benchmark::State& state) {
    lf_prepareTables(state.range(0) != 0);
    lf_timeMatches(state, lf_world().traffic, [](AcIdentity& ac) {
        gf_matchLiveryStatic(ac, MatchStand{"A12", (ac.hexid % 5) == 0});
    });
}
BENCHMARK(BM_MatchLiveryStatic)->ArgName("LOG")->Arg(0)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);

// The longest road: RANDOM off, a private light aircraft whose registration the data base knows
// but no livery has, and every candidate of its model group special except the last one of the
// last similar model, so that each step draws six times, scans its whole list and goes on, and the
// title comes at step 6. The catalogue gets 4,000 more private and generic light liveries first.
void lf_prepareWorstCase() {
    static bool done = false;
    if (done) return;
    done = true;
    World& w = lf_world();
    auto all = w.catalogue;
    samples::SampleMaker maker(7);
    static constexpr std::string_view group[] = {"C172", "C152", "PA28", "DA40", "SR22"};
    for (size_t i = 0; i < 4000; ++i) {
        const std::string type(group[i % std::size(group)]);
        const std::string airl = i % 2 ? "PVT" : "ZZZ";
        all.push_back({airl, type, fmt::format("{} {} generic light {}", airl, type, i), "", 0, false});
    }
    liveries = all;
    gf_saveScannedLiveries();
    gf_clearLiveryTables();
    gf_processScannedLiveries();

    // One plain generic SR22 title, moved to the end of its list; every other title of the group
    // becomes special.
    auto& sr22 = genericTitles[paxTable].at("SR22");
    auto keep = std::find_if(sr22.begin(), sr22.end(), [](TitleView t) { return t.rfind("ZZZ", 0) == 0; });
    std::iter_swap(keep, sr22.end() - 1);
    const TitleView plain = sr22.back();
    auto markAll = [&](const std::vector<TitleView>& titles) {
        for (auto t : titles)
            if (t != plain && !gf_isSpecialTitle(t)) gf_addSpecialTitle(t);
    };
    for (auto model : group) {
        for (const auto& [airline, models] : airlineModelTitles[paxTable]) {
            auto it = models.find(model);
            if (it != models.end()) markAll(it->second);
        }
        auto it = genericTitles[paxTable].find(model);
        if (it != genericTitles[paxTable].end()) markAll(it->second);
    }
}

void BM_MatchLiveryWorst(benchmark::State& state) {
    lf_prepareWorstCase();
    RANDOM.set(false);
    MATCHING_DEPTH.set(4);
    LOG.set(state.range(0) != 0);
    const std::vector<AcIdentity> one = {
        gf_makeAcIdentity("PVT", "C152", "EDDL", "", "DEXXX", "", "", "DEXXX", 0, 10001)};
    lf_timeMatches(state, one, [](AcIdentity& ac) { gf_matchLivery(ac); });
    AcIdentity check = one.front();
    gf_matchLivery(check);
    state.counters["special_titles"] = static_cast<double>(specialTitles.size());
    state.SetLabel(fmt::format("title \"{}\"", check.title));
}
BENCHMARK(BM_MatchLiveryWorst)->ArgName("LOG")->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMicrosecond);

void BM_MatchLiveryStaticWorst(benchmark::State& state) {
    lf_prepareWorstCase();
    RANDOM.set(false);
    MATCHING_DEPTH.set(4);
    LOG.set(state.range(0) != 0);
    const std::vector<AcIdentity> one = {
        gf_makeAcIdentity("PVT", "C152", "EDDL", "", "DEXXX*", "", "", "DEXXX", 0, 1)};
    lf_timeMatches(state, one, [](AcIdentity& ac) { gf_matchLiveryStatic(ac, MatchStand{"GA1", false}); });
}
BENCHMARK(BM_MatchLiveryStaticWorst)
    ->ArgName("LOG")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    vdl::bench::gf_takeSizeFlags(argc, argv, {{"liveries", &catalogueSize}, {"registrations", &aigSize}});
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
