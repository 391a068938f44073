#include "airports/reset.h"

#include "airports/stand_records.h"

namespace vdl {

void gf_resetAirportsForTests() {
    parkPositions.clear();
    parkPositions.reserve(parkPositionsReserve);
}

}  // namespace vdl
