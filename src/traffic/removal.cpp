#include "traffic/removal.h"

#include <algorithm>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/log.h"
#include "traffic/traffic_lists.h"

namespace vdl {

void removeAircraftFromSim(AiAircraft& ac) {
    if (ac.state == acStateNew) {
        ac.erase = 1;
        return;
    }
    // Its id is queued already; a second removal could hit a later object that got the same id.
    if (ac.state == acStateRemoved) return;
    if (ac.standId != 0) {
        auto stand = std::find_if(parkPositions.begin(), parkPositions.end(),
                                  [&](const ParkPos& p) { return p.id == ac.standId; });
        if (stand != parkPositions.end()) stand->occupied = 0;
    }
    // The CALLSIGN_2_OBJECTID selection is released here by the removal issue.
    const uint32_t previous = ac.state;
    ac.state = acStateRemoved;
    if (ac.objectId != 0) {
        removalQueue.push_back(ac.objectId);
        return;
    }
    gf_logError(fmt::format("{} removing act {} with objectid=0 ?", "removeAircraftFromSim", gf_acInfo(ac.identity)));
    // No removed notice will ever come for an object we do not know, so the record would stay
    // in state 4 for good and block its hexid. A pending creation still gets its created notice.
    if (previous != acStateCreating) ac.erase = 1;
}

}  // namespace vdl
