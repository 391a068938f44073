#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace vdl {

// The calling thread's own generator. Seeded from the system unless a test has fixed a
// seed, in which case every thread's generator restarts from that seed.
std::mt19937& gf_threadRandom();
void gf_seedRandomForTests(uint32_t seed);
void gf_unseedRandomForTests();

// The generator's value modulo n while RANDOM is on and n >= 2, else 0.
size_t gf_randomIndex(size_t n);
// A non-negative random integer (not gated by RANDOM).
int32_t gf_randomPercent();
bool gf_randomOn();

// With RANDOM on: Fisher-Yates with uniform indices from the thread's generator.
template <typename T>
void gf_shuffle(std::vector<T>& items) {
    if (!gf_randomOn() || items.size() < 2) return;
    std::mt19937& gen = gf_threadRandom();
    for (size_t i = items.size() - 1; i > 0; --i) {
        std::uniform_int_distribution<size_t> pick(0, i);
        size_t j = pick(gen);
        if (j != i) std::swap(items[i], items[j]);
    }
}

}  // namespace vdl
