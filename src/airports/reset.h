#pragma once

namespace vdl {

// Puts every global of the airports library back to its start state: no stands of a park
// airport (room for them kept).
void gf_resetAirportsForTests();

}  // namespace vdl
