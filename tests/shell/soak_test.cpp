// The soak's parts: the RealTraffic stand-in's synthetic sky and the checks of a soak's end.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "feed/rttfc.h"
#include "standins/livery_samples.h"
#include "standins/rt_sky.h"
#include "standins/soak_checks.h"

namespace vdl {
namespace {

using rtstandin::gf_sampleAt;

// Flights that have a position at time t.
int lf_aloft(const std::vector<rtstandin::Flight>& flights, double t) {
    int n = 0;
    for (const auto& f : flights) n += gf_sampleAt(f, t) ? 1 : 0;
    return n;
}

TEST(SyntheticSky, KeepsAboutTheAskedNumberOfFlightsWhileTheyComeAndGo) {
    const rtstandin::SkyOptions options{120, 30.0, 7};
    const auto flights = rtstandin::gf_syntheticSky(options);
    for (double t : {0.0, 300.0, 900.0, 1799.0}) {
        const int n = lf_aloft(flights, t);
        EXPECT_GE(n, 100) << t;
        EXPECT_LE(n, 120) << t;
    }
    // Many begin and end within the run: the program must create and remove objects all along.
    int started = 0, ended = 0;
    for (const auto& f : flights) {
        started += f.path.front().t > 0.0 ? 1 : 0;
        ended += f.path.back().t < 1800.0 ? 1 : 0;
    }
    EXPECT_GT(started, 120);
    EXPECT_GT(ended, 120);

    const auto again = rtstandin::gf_syntheticSky(options);
    ASSERT_EQ(again.size(), flights.size());
    for (std::size_t i = 0; i < flights.size(); ++i)
        EXPECT_EQ(std::tuple(again[i].hexid, again[i].callsign, again[i].path.back().t),
                  std::tuple(flights[i].hexid, flights[i].callsign, flights[i].path.back().t));
    const auto other = rtstandin::gf_syntheticSky({120, 30.0, 8});
    EXPECT_NE(other.front().callsign + other.back().callsign,
              flights.front().callsign + flights.back().callsign);
}

TEST(SyntheticSky, LinesPassTheFeedsChecksAndMostAirlinersHaveAnInstalledLivery) {
    const auto flights = rtstandin::gf_syntheticSky({300, 20.0, 1});
    samples::SampleOptions catalogue;
    catalogue.count = 3000;
    catalogue.seed = 2026;
    std::set<std::pair<std::string, std::string>> installed;
    for (const auto& l : samples::SampleMaker(catalogue.seed).liveries(catalogue))
        installed.emplace(l.airl, l.type);

    std::set<uint32_t> hexids;
    int airliners = 0, matching = 0, lines = 0, everySecond = 0;
    std::set<std::string> kinds;  // where flights begin: in the air or on the ground
    for (const auto& f : flights) {
        EXPECT_TRUE(hexids.insert(f.hexid).second) << "hexid twice: " << f.hexid;
        EXPECT_TRUE(f.everySeconds == 1 || f.everySeconds == 2) << f.callsign;
        everySecond += f.everySeconds == 1 ? 1 : 0;
        kinds.insert(f.path.front().airborne ? "air" : "ground");
        if (f.category != "A1" && f.category != "A2" && f.category != "A7") {
            ++airliners;
            matching += installed.count({f.callsign.substr(0, 3), f.type}) ? 1 : 0;
        }
        const double mid = (std::max(f.path.front().t, 0.0) + f.path.back().t) / 2.0;
        const auto s = gf_sampleAt(f, mid);
        ASSERT_TRUE(s) << f.callsign;
        const std::string line = rtstandin::gf_rttfcLine(f, *s, 1765000000.0 + mid, 1017.3);
        try {
            const TrafficRecord r = gf_parseRttfc(line, 0);
            EXPECT_EQ(r.hexid, f.hexid);
            ++lines;
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << line;
        }
    }
    EXPECT_EQ(lines, static_cast<int>(flights.size()));
    EXPECT_GT(matching, airliners * 8 / 10);
    EXPECT_GT(everySecond, static_cast<int>(flights.size()) / 3);
    EXPECT_LT(everySecond, static_cast<int>(flights.size()) * 2 / 3);
    EXPECT_EQ(kinds.size(), 2u);
}

TEST(SoakChecks, ObjectsLeftOverAndStrayCallsAreFound) {
    TrackFileContents c;
    auto track = [](uint32_t id, double created, std::optional<double> removed) {
        RecordedTrack t;
        t.id = id;
        t.title = std::string("T").append(std::to_string(id));
        t.createdAt = created;
        t.removed = removed.has_value();
        t.removedAt = removed.value_or(0.0);
        return t;
    };
    c.tracks = {track(1, 0, 10), track(2, 5, 10), track(3, 10, 20), track(4, 12, std::nullopt),
                track(5, 1, 32), track(6, 29.5, 32), track(7, 10, 32)};
    c.tracks[4].events.push_back({32, "removed at quit", 0});
    c.tracks[5].events.push_back({32, "removed at quit", 0});  // created just before the end
    // Never in an in-range list, but younger than the link keeps an object it has not bound.
    c.tracks[6].events.push_back({32, "removed at close", 0});
    c.tracks[3].events.push_back({12, "AI released", 0});
    c.tracks[2].events = {{10, "AI released", 0}, {20, "removed at close", 0}};
    c.strays = {{7, 3.0, "TransmitClientEvent"}};
    const auto f = soak::gf_objectFigures(c);
    EXPECT_EQ(std::tuple(f.created, f.removed, f.mostAtOnce, f.neverTakenOver), std::tuple(7u, 5u, 4u, 5u))
        << "a removal and a creation in the same frame are not two at once";
    EXPECT_EQ(f.leftOver, (std::vector<std::string>{"4 T4", "5 T5"}))
        << "5 was never taken over and older than the link keeps one";
    ASSERT_EQ(f.strays.size(), 1u);
}

TEST(SoakChecks, MemoryMayNotGrowBeyondItsShareOrSlackAfterSettling) {
    const auto samples =
        soak::gf_readRssSamples("0 5000\n30 20000\nnoise\n60 21900\n90 21000 x\n120 20500\n");
    ASSERT_EQ(samples.size(), 4u);
    // The start's growth does not count; 10 % of 20000 kB is 2000.
    auto v = soak::gf_checkRss(samples, 30, 0.10, 0);
    EXPECT_TRUE(v.withinLimit);
    EXPECT_EQ(std::tuple(v.baseKb, v.peakKb, v.endKb, v.limitKb),
              std::tuple(20000.0, 21900.0, 20500.0, 22000.0));
    EXPECT_FALSE(soak::gf_checkRss(samples, 30, 0.05, 0).withinLimit);
    EXPECT_TRUE(soak::gf_checkRss(samples, 30, 0.05, 4096).withinLimit);
    EXPECT_FALSE(soak::gf_checkRss(samples, 200, 0.10, 0).sampled) << "a run too short to judge fails";
    EXPECT_FALSE(soak::gf_checkRss(samples, 200, 0.10, 0).withinLimit);
}

}  // namespace
}  // namespace vdl
