#include "standins/rt_sky.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <string_view>

#include "foundation/text.h"
#include "foundation/units.h"
#include "simulator/sim_scenario.h"
#include "standins/livery_samples.h"

namespace vdl::rtstandin {

namespace {

constexpr LatLon eddlRef{eddl::latitude, eddl::longitude};
constexpr double elev = eddl::elevationFt;
constexpr double skyRwy23 = eddl::runwayHeadingDeg + 180.0;
constexpr double skyHalf23R = eddl::northRunwayLengthM / 2.0;
constexpr double skyHalf23L = eddl::southRunwayLengthM / 2.0;
constexpr uint32_t firstHexid = 0x3C8000;

constexpr std::array<std::string_view, 20> airports = {"MUC", "FRA", "LHR", "CDG", "AMS", "PMI", "AYT",
                                                       "IST", "MAD", "BCN", "VIE", "ZRH", "CPH", "ARN",
                                                       "WAW", "LIS", "FCO", "ATH", "DXB", "JFK"};

enum class Kind { Arrival, Departure, Overflight, General };

// ADS-B emitter categories by the samples' type categories.
std::string lf_category(std::string_view type) {
    for (const auto& [code, cat] : samples::sampleTypeCategories) {
        if (code != type) continue;
        switch (cat) {
            case 0:
                return "A1";
            case 1:
                return "A2";
            case 3:
                return "A5";
            case 5:
                return "A7";
            default:
                return "A3";
        }
    }
    return "A3";
}

bool lf_isLight(std::string_view type) {
    for (const auto& [code, cat] : samples::sampleTypeCategories)
        if (code == type) return cat == 0 || cat == 1 || cat == 5;
    return false;
}

class SkyMaker {
  public:
    explicit SkyMaker(uint32_t seed) : rng_(seed), regs_(seed + 1) {
        for (const auto& a : samples::gf_sampleAirlines()) weights_.push_back(a.weight);
    }

    Flight make(Kind kind, double t0) {
        Flight f = kind == Kind::General ? generalIdentity() : airlineIdentity(kind);
        f.hexid = nextHexid_++;
        f.everySeconds = pick(2) + 1;
        switch (kind) {
            case Kind::Arrival:
                f.path = arrival(t0);
                break;
            case Kind::Departure:
                f.path = departure(t0);
                break;
            case Kind::Overflight:
                f.path = overflight(t0);
                f.mlat = pick(10) == 0;
                break;
            case Kind::General:
                f.path = general(t0, f.category == "A7");
                f.mlat = pick(4) == 0;
                break;
        }
        return f;
    }

    Kind kind() {
        const int r = pick(100);
        return r < 15 ? Kind::Arrival : r < 30 ? Kind::Departure : r < 75 ? Kind::Overflight : Kind::General;
    }

    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng_); }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  private:
    std::string_view airport() {
        return airports[static_cast<size_t>(pick(static_cast<int>(airports.size())))];
    }

    std::string_view anyOf(const std::vector<std::string>& items) {
        return items[static_cast<size_t>(pick(static_cast<int>(items.size())))];
    }

    Flight airlineIdentity(Kind kind) {
        const auto airlines = samples::gf_sampleAirlines();
        std::discrete_distribution<size_t> pickAirline(weights_.begin(), weights_.end());
        for (;;) {
            const auto& a = airlines[pickAirline(rng_)];
            std::vector<std::string> types;
            for (const auto& t : gf_split(a.types, ' '))
                if (!t.empty() && !lf_isLight(t)) types.push_back(t);
            if (types.empty()) continue;
            Flight f;
            f.type = anyOf(types);
            f.reg = regs_.registration(a.regPattern);
            const int number = 100 + pick(8900);
            f.callsign = fmt::format("{}{}", a.icao, number);
            f.flightNumber = fmt::format("{}{}", a.icao.substr(0, 2), number);
            const std::string from(airport()), to(airport());
            f.from = kind == Kind::Departure ? "DUS" : from;
            f.to = kind == Kind::Arrival ? "DUS" : to;
            f.category = lf_category(f.type);
            return f;
        }
    }

    Flight generalIdentity() {
        const auto airlines = samples::gf_sampleAirlines();
        const std::string_view icao = pick(2) ? "PVT" : "ZZZ";
        const auto& a =
            *std::find_if(airlines.begin(), airlines.end(), [&](const auto& x) { return x.icao == icao; });
        std::vector<std::string> types;
        for (const auto& t : gf_split(a.types, ' '))
            if (!t.empty() && lf_isLight(t)) types.push_back(t);
        Flight f;
        f.type = anyOf(types);
        f.reg = regs_.registration(a.regPattern);
        f.callsign = f.reg;
        std::erase(f.callsign, '-');
        f.flightNumber = f.callsign;
        f.category = lf_category(f.type);
        return f;
    }

    LatLon stand() {
        // Along the apron south-west of the terminal, a few metres off the line.
        const double u = uniform(0.0, 1.0);
        return {51.2760 + 0.0025 * u + uniform(-0.0002, 0.0002),
                6.7565 + 0.0070 * u + uniform(-0.0003, 0.0003)};
    }

    static LatLon north(double along, double right) { return eddl::gf_runwayPoint(true, along, right); }
    static LatLon south(double along, double right) { return eddl::gf_runwayPoint(false, along, right); }

    // From 35-45 nm out to 12 nm on 23R's final, down the glide path, roll-out, vacate, taxi
    // to a stand and park for a while.
    std::vector<Waypoint> arrival(double t0) {
        const LatLon start = gf_destination(eddlRef, degToRad(uniform(0, 360)), nmToFeet(uniform(35, 45)));
        const LatLon final12 = north(skyHalf23R + nmToMetres(12.0), 0.0);
        const double final12Alt = elev + 50.0 + nmToFeet(12.0) * tanGlide;
        PathBuilder b(t0, start, uniform(9000, 12000), true);
        b.to(final12, 250, 180, final12Alt, true)
            .to(north(skyHalf23R - 300.0, 0.0), 160, 135, elev, true)
            .to(north(skyHalf23R - 1500.0, 0.0), 130, 25, elev, false)
            .to(north(skyHalf23R - 1650.0, 150.0), 20, 15, elev, false)
            .to(north(skyHalf23R - 1650.0, 420.0), 15, 15, elev, false)
            .to(stand(), 15, 5, elev, false)
            .hold(uniform(60, 600));
        return b.path();
    }

    // Parked, then taxi to 23L, take-off and climb-out on a heading until 40-60 nm out.
    std::vector<Waypoint> departure(double t0) {
        PathBuilder b(t0, stand(), elev, false);
        b.hold(uniform(60, 600))
            .to(south(-60.0, eddl::taxiwayOffsetM + 120.0), 8, 12, elev, false)
            .to(south(-60.0, eddl::taxiwayOffsetM), 12, 16, elev, false)
            .to(south(skyHalf23L - 80.0, eddl::taxiwayOffsetM), 18, 18, elev, false)
            .to(south(skyHalf23L - 80.0, 70.0), 14, 8, elev, false)
            .to(south(skyHalf23L - 60.0, 0.0), 6, 4, elev, false)
            .hold(uniform(10, 60))
            .to(south(skyHalf23L - 1260.0, 0.0), 0, 155, elev, false)
            .fly(skyRwy23, 165, 60, 2500)
            .fly(uniform(0, 360), 280, 300, 2500)
            .fly(uniform(0, 360), 420, uniform(240, 480), 1000);
        return b.path();
    }

    // A straight line across the area at cruise level, passing within 30 nm of EDDL.
    std::vector<Waypoint> overflight(double t0) {
        const LatLon mid = gf_destination(eddlRef, degToRad(uniform(0, 360)), nmToFeet(uniform(0, 30)));
        const double track = uniform(0, 360);
        const double kt = uniform(420, 480);
        const double seconds = uniform(480, 1200);
        const LatLon start =
            gf_destination(mid, degToRad(track + 180.0), nmToFeet(ktToNmPerSecond(kt) * seconds / 2.0));
        PathBuilder b(t0, start, 1000.0 * (25 + pick(15)), true);
        b.fly(track, kt, seconds, 0);
        return b.path();
    }

    // A few legs at low level within 25 nm; the data ends in the air.
    std::vector<Waypoint> general(double t0, bool helicopter) {
        const LatLon start = gf_destination(eddlRef, degToRad(uniform(0, 360)), nmToFeet(uniform(3, 25)));
        const double kt = helicopter ? uniform(80, 120) : uniform(90, 150);
        PathBuilder b(t0, start, helicopter ? uniform(800, 2000) : 500.0 * (3 + pick(9)), true);
        for (int legs = 3 + pick(4); legs > 0; --legs) b.fly(uniform(0, 360), kt, uniform(60, 300), 0);
        return b.path();
    }

    std::mt19937 rng_;
    samples::SampleMaker regs_;
    std::vector<int> weights_;
    uint32_t nextHexid_ = firstHexid;
};

}  // namespace

std::vector<Flight> gf_syntheticSky(const SkyOptions& options) {
    SkyMaker maker(options.seed);
    std::vector<Flight> flights;
    const double until = options.minutes * 60.0;
    // Each slot holds one flight at a time: a new one follows a short while after the last.
    for (int slot = 0; slot < options.aircraft; ++slot) {
        double t = -maker.uniform(0.0, 900.0);
        while (t < until) {
            Flight f = maker.make(maker.kind(), t);
            t = f.path.back().t + maker.uniform(5.0, 60.0);
            if (f.path.back().t > 0.0) flights.push_back(std::move(f));
        }
    }
    std::stable_sort(flights.begin(), flights.end(),
                     [](const Flight& a, const Flight& b) { return a.path.front().t < b.path.front().t; });
    return flights;
}

}  // namespace vdl::rtstandin
