#include "traffic/park_airport_leave.h"

#include <algorithm>
#include <mutex>

#include "airports/park_airport_state.h"
#include "traffic/movement.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

void lf_dropStand(AiAircraft& ac) {
    ac.standLat = 0.0;
    ac.standLon = 0.0;
    ac.standHeading = 0.0;
    ac.standId = 0;
}

}  // namespace

void gf_releaseParkedLiveAc() {
    for (LiveAc& ac : liveAircraft) {
        const GroundState gs = ac.groundState;
        if (gs == GroundState::toStand) {
            lf_dropStand(ac);
            continue;
        }
        if (gs != GroundState::parked && gs > GroundState::climbOut) continue;
        lf_dropStand(ac);
        // Creating: the queued create is taken back (erased), or the object goes once it exists.
        if (ac.state == AcState::active || ac.state == AcState::creating) removeAircraftFromSim(ac, "the park airport was left");
    }
    liveAircraft.eraseFlagged();
}

void gf_syncMovementParkAirport() {
    MovementParkAirport m;
    {
        std::lock_guard lock(parkAirportMutex);
        m.icao = currentParkAirport.code;
        m.lat = currentParkAirport.lat;
        m.lon = currentParkAirport.lon;
        m.elevation = currentParkAirport.elevation;
    }
    m.loaded = parkingActive.load() && !m.icao.empty();
    if (!m.loaded) m = {};
    movementParkAirport = m;
}

}  // namespace vdl
