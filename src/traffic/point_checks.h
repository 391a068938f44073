// Checks of a new point against the points before it, where the feed's own fields and the
// positions disagree: a lone altitude far off its neighbours, a speed-up on final, and an
// airborne flag that outlives the touchdown.
#pragma once

#include "traffic/pos_stream.h"

#include "traffic/records.h"

namespace vdl {

// The stream's last airborne point lies far above or below both the point before it and the
// new point `p`, which agree: its altitude is replaced by the one between them (the position
// and the rest stay). True when it was.
bool gf_mendAltitudeSpike(PosStream& stream, const StreamPos& p);

// Ground speed in kt that the positions and times of two points show (times at least 1 s apart).
double gf_shownSpeedKt(const StreamPos& from, const StreamPos& to);

// The speed a point on final keeps after the last point `last`: a speed-up is kept as far as
// the distance and time from `last` confirm it.
double gf_landingPointSpeed(const StreamPos& last, const StreamPos& p);

// After a touchdown, an airborne point shows a lift-off only when the positions reach the
// category's rotation speed on a track near the landing heading (when the roll still knows it).
bool gf_liftOffShown(const LiveAc& a, const StreamPos& last, const StreamPos& p);

}  // namespace vdl
