// What the traffic step reads of an aircraft whose next point is not due lies in four cache lines
// of its record: a field added among them, or a hot field moved away, shows here before it shows
// as a slower step.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "traffic/records.h"

namespace vdl {
namespace {

constexpr uintptr_t lineSize = 64;

struct Span {
    const char* name;
    const void* at;
    size_t size;
};

template <typename T>
Span lf_span(const char* name, const T& field) {
    return {name, &field, sizeof(T)};
}

std::vector<Span> lf_hotSpans(const LiveAc& ac) {
    const auto* curveFlag = reinterpret_cast<const char*>(&ac.curve) + sizeof(BezierCurve);
    const auto* streamStart = reinterpret_cast<const char*>(&ac.stream);
    const auto* firstPointFlags = reinterpret_cast<const char*>(&ac.stream.front().headingValid) + 1;
    return {
        lf_span("identity.groundPitch", ac.identity.groundPitch),
        lf_span("identity.staticCgHeight", ac.identity.staticCgHeight),
        lf_span("identity.baseTurnRate", ac.identity.baseTurnRate),
        lf_span("identity.turnRate", ac.identity.turnRate),
        lf_span("identity.category", ac.identity.category),
        lf_span("objectId", ac.objectId),
        lf_span("state", ac.state),
        lf_span("erase", ac.erase),
        Span{"curve's flag", curveFlag, 1},
        // lat to reversing, one block.
        Span{"step fields", &ac.lat, static_cast<size_t>(reinterpret_cast<const char*>(&ac.reversing) + 1 -
                                                         reinterpret_cast<const char*>(&ac.lat))},
        Span{"stream's flag and first point's time and flags", streamStart,
             static_cast<size_t>(firstPointFlags - streamStart)},
    };
}

TEST(LiveAcLayout, TheNotDueStepReadsFourCacheLines) {
    std::vector<LiveAc> fleet;
    for (uint32_t i = 0; i < 5; ++i) fleet.emplace_back(StreamPos{}, AcIdentity{}, 0.0);
    for (const LiveAc& ac : fleet) {
        std::set<uintptr_t> lines;
        std::string where;
        const auto base = reinterpret_cast<uintptr_t>(&ac);
        ASSERT_EQ(base % lineSize, 0u) << "records start on a cache line";
        for (const Span& s : lf_hotSpans(ac)) {
            const auto from = reinterpret_cast<uintptr_t>(s.at);
            ASSERT_GE(from, base);
            ASSERT_LE(from + s.size, base + sizeof(LiveAc));
            for (uintptr_t b = from; b < from + s.size; ++b) lines.insert(b / lineSize);
            where += std::string(s.name) + " at " + std::to_string(from - base) + "; ";
        }
        EXPECT_LE(lines.size(), 4u) << where;
    }
}

// The stream's inline first point is the record's own: a copy or a move carries it along, and
// a change to the copy's first point leaves the original alone.
TEST(LiveAcLayout, ACopyOwnsItsFirstPoint) {
    StreamPos p;
    p.time = 7;
    p.lat = 47.5;
    LiveAc a(p, AcIdentity{}, 0.0);
    p.time = 9;
    a.stream.push_back(p);
    LiveAc b = a;
    b.stream.front().time = 100;
    b.stream[1].time = 200;
    EXPECT_EQ(a.stream.front().time, 7u);
    EXPECT_EQ(a.stream[1].time, 9u);
    const LiveAc c = std::move(b);
    ASSERT_EQ(c.stream.size(), 2u);
    EXPECT_EQ(c.stream.front().time, 100u);
    EXPECT_EQ(c.stream.front().lat, 47.5);
    EXPECT_EQ(c.stream.back().time, 200u);
}

}  // namespace
}  // namespace vdl
