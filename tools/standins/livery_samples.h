// Sample livery catalogues from real airlines (ICAO codes, names, the registration formats of
// their countries) and the types they fly, for the make_liveries tool, the tests and the
// benchmarks. Deterministic for a given seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "liveries/livery_data.h"
#include "refdata/regcodes.h"

namespace vdl::samples {

struct SampleAirline {
    std::string_view icao;
    std::string_view name;
    // Registration pattern: letters and '-' as given, '#' a random letter, '%' a random digit.
    std::string_view regPattern;
    std::string_view types;  // blank-separated ICAO type designators
    bool cargo;
    int weight;  // share of the catalogue
};

// The airlines the catalogues are made of.
std::span<const SampleAirline> gf_sampleAirlines();

struct SampleOptions {
    size_t count = 1000;
    double regShare = 0.8;  // share of liveries with a registration
    uint32_t seed = 1;
};

class SampleMaker {
  public:
    explicit SampleMaker(uint32_t seed) : rng_(seed) {}

    // `count` liveries, each title unique; registrations unique too.
    std::list<LiveryData> liveries(const SampleOptions& options);

    // AIG entries: `count` records; about 70 % name installed titles (a new registration, some a
    // registration already in use), the rest titles that are not installed; one in 50 special.
    std::vector<LiveryRegcodes> aigRecords(const std::list<LiveryData>& installed, size_t count);

    // A registration after the pattern that was not handed out before; a pattern that has run
    // out of registrations grows by a letter.
    std::string registration(std::string_view pattern);

    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  private:
    std::mt19937 rng_;
    std::unordered_set<std::string> regs_;
};

// Categories (input/dbase.xml "cat") of the sample types; similar-type groups among them.
inline constexpr std::pair<std::string_view, int> sampleTypeCategories[] = {
    {"C172", 0}, {"C152", 0}, {"PA28", 0}, {"SR22", 0}, {"BE58", 0}, {"BE36", 0}, {"DA40", 0}, {"DA42", 0},
    {"PC12", 0}, {"C208", 0}, {"TBM9", 0}, {"C25A", 1}, {"C56X", 1}, {"CL35", 1}, {"GLEX", 1}, {"E55P", 1},
    {"F2TH", 1}, {"GLF5", 1}, {"LJ45", 1}, {"A318", 2}, {"A319", 2}, {"A320", 2}, {"A321", 2}, {"A20N", 2},
    {"A21N", 2}, {"B712", 2}, {"B737", 2}, {"B738", 2}, {"B739", 2}, {"B38M", 2}, {"B39M", 2}, {"B752", 2},
    {"B753", 2}, {"BCS1", 2}, {"BCS3", 2}, {"E170", 2}, {"E175", 2}, {"E190", 2}, {"E195", 2}, {"CRJ9", 2},
    {"DH8D", 2}, {"AT75", 2}, {"AT76", 2}, {"A306", 3}, {"A332", 3}, {"A333", 3}, {"A339", 3}, {"A343", 3},
    {"A346", 3}, {"A359", 3}, {"A35K", 3}, {"A388", 3}, {"B744", 3}, {"B748", 3}, {"B763", 3}, {"B764", 3},
    {"B772", 3}, {"B77W", 3}, {"B77L", 3}, {"B788", 3}, {"B789", 3}, {"B78X", 3}, {"MD11", 3}, {"R44", 5},
    {"EC35", 5}, {"H145", 5}, {"AS50", 5}, {"B06", 5},
};
inline constexpr std::string_view sampleSimilarGroups[] = {
    "A320 A319 A321 A20N A21N A318",
    "B738 B737 B739 B38M B39M",
    "B752 B753",
    "A332 A333 A339",
    "A343 A346",
    "A359 A35K",
    "B772 B77W B77L",
    "B788 B789 B78X",
    "B744 B748",
    "B763 B764",
    "E170 E175 E190 E195",
    "BCS1 BCS3",
    "CRJ9 DH8D",
    "AT75 AT76",
    "C172 C152 PA28 DA40 SR22",
    "BE58 BE36 DA42",
    "PC12 C208 TBM9",
    "C25A C56X E55P LJ45",
    "CL35 GLEX F2TH GLF5",
    "R44 EC35 H145 AS50 B06",
};

// A data base for the samples: types, groups, airlines, and one registration record (airline,
// type, the operator where it differs) for every `regEvery`-th livery with a registration.
std::string sampleDbaseXml(const std::list<LiveryData>& liveries, size_t regEvery);

// The AIG-regcodes.xml text of the records.
std::string aigRegcodesXml(const std::vector<LiveryRegcodes>& records);

}  // namespace vdl::samples
