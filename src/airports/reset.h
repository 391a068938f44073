#pragma once

namespace vdl {

// The airports library's one reset: no stands of a park airport (room for them kept), an empty
// airport scan log, no airport linked or generated, no TBLO entry counted. The program keeps the
// stands between runs; tests call it.
void gf_resetAirports();

}  // namespace vdl
