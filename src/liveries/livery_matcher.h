// The livery matcher: a title of an installed livery for a live or static aircraft, in up to six
// steps from its registration to any livery of a similar model.
#pragma once

#include <string>
#include <string_view>

#include "airports/stand_records.h"
#include "refdata/identity.h"

namespace vdl {

// What the static matcher needs of a stand (tests and tools without a stand record).
struct MatchStand {
    std::string_view name;
    bool cargo = false;
};

// Live aircraft: the title is empty on entry; on return it is set or empty. Counts the step.
void gf_matchLivery(AcIdentity& ac);

// Why the live matcher found no livery for `ac`, by the steps its category and MATCHING_DEPTH
// allow, e.g. "no livery of EXS for B752 or a similar model, nor of ZZZ for B752".
std::string gf_noMatchReason(const AcIdentity& ac);

// Static aircraft on a stand: a title set beforehand is kept; otherwise the aircraft takes the
// stand's cargo flag before the steps from 2 on. True when the aircraft has a title on return.
bool gf_matchLiveryStatic(AcIdentity& ac, const MatchStand& stand);

// A stand of the park airport: its name and cargo flag.
bool gf_matchLiveryStatic(AcIdentity& ac, const ParkPos& stand);

}  // namespace vdl
