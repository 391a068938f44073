#include "foundation/random.h"

#include <atomic>

#include "foundation/parameters.h"

namespace vdl {

namespace {

// A change of the generation makes every thread re-seed at its next draw.
std::atomic<uint64_t> seedGeneration{1};
std::atomic<bool> testSeeded{false};
std::atomic<uint32_t> testSeed{0};

struct ThreadGenerator {
    std::mt19937 gen;
    uint64_t generation = 0;
};

}  // namespace

std::mt19937& gf_threadRandom() {
    thread_local ThreadGenerator tg;
    uint64_t g = seedGeneration.load();
    if (tg.generation != g) {
        if (testSeeded.load()) {
            tg.gen.seed(testSeed.load());
        } else {
            std::random_device rd;
            std::seed_seq seq{rd(), rd(), rd(), rd()};
            tg.gen.seed(seq);
        }
        tg.generation = g;
    }
    return tg.gen;
}

void gf_seedRandomForTests(uint32_t seed) {
    testSeed = seed;
    testSeeded = true;
    seedGeneration.fetch_add(1);
}

void gf_unseedRandomForTests() {
    testSeeded = false;
    seedGeneration.fetch_add(1);
}

bool gf_randomOn() {
    return RANDOM.value();
}

size_t gf_randomIndex(size_t n) {
    if (!gf_randomOn() || n < 2) return 0;
    return static_cast<size_t>(gf_threadRandom()()) % n;
}

int32_t gf_randomPercent() {
    return static_cast<int32_t>(gf_threadRandom()() & 0x7FFFFFFFu);
}

}  // namespace vdl
