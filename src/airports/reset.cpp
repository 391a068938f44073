#include "airports/reset.h"

#include "airports/stand_records.h"

namespace vdl {

void gf_resetAirports() {
    parkPositions.clear();
    parkPositions.reserve(parkPositionsReserve);
}

}  // namespace vdl
