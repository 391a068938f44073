#include "airports/reset.h"

#include "airports/airport_links.h"
#include "airports/airport_scan_log.h"
#include "airports/park_airport_choice.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_records.h"
#include "airports/stand_xml.h"

namespace vdl {

void gf_resetAirports() {
    parkPositions.clear();
    parkPositions.reserve(parkPositionsReserve);
    gf_resetParkAirportState();
    gf_clearAirportsScanLog();
    gf_resetParkAirportList();
    gf_resetParkAirportChoice();
    gf_clearParkAirportHooks();
    airportsGenerated = false;
    tbloCount = 0;
    gf_clearGeneratedStandFiles();
    gf_releaseStandXmlMemory();
}

}  // namespace vdl
