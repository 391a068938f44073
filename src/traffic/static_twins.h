// Static aircraft that stand for a live aircraft now on the ground: the once-a-minute scan that
// removes them.
#pragma once

namespace vdl {

// Tick job 61: for every active live aircraft on the ground, the first active static aircraft
// whose callsign is the live one's followed by "*", or whose registration equals the live one's
// (an empty registration matches nothing), is removed from the simulator. The statics are found
// through an index of the active ones by callsign and by registration built for the call, so
// the scan costs about one look-up per live aircraft. Run worker only.
void gf_removeStaticTwinsOfLiveAc();

}  // namespace vdl
