#include "traffic/removal.h"

#include <algorithm>

#include <fmt/format.h>

#include "airports/stand_records.h"
#include "foundation/log.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

// A creation not yet handed to the simulator link is taken back: the hexid waiting in
// pendingSpawns or the command still in its queue.
bool lf_cancelQueuedCreate(const AiAircraft& ac) {
    const uint32_t hexid = ac.identity.hexid;
    if (gf_isLiveHexid(hexid)) {
        if (std::erase(pendingSpawns, hexid) > 0) return true;
        return gf_cancelPendingCreate(liveCreateQueue, ac.identity.callsign, hexid);
    }
    return gf_cancelPendingCreate(staticCreateQueue, ac.identity.callsign, hexid);
}

// A sky emptied at once (a flush, the exit) would fill the log.
constexpr int removalLinesPerMinute = 30;

}  // namespace

void removeAircraftFromSim(AiAircraft& ac, std::string_view reason) {
    static LogLimiter removalLog("removed", removalLinesPerMinute);
    if (ac.state == AcState::fresh) {
        ac.erase = true;
        return;
    }
    // Its object is queued for removal already, or will be as soon as it is created.
    if (ac.state == AcState::removed) return;
    // Created after its removal was asked: that removal was logged.
    if (!ac.removeWhenCreated)
        removalLog.log(reason.empty() ? fmt::format("{} removed", gf_acText(ac.identity))
                                      : fmt::format("{} removed: {}", gf_acText(ac.identity), reason));
    if (ac.standId != 0) {
        auto stand = std::find_if(parkPositions.begin(), parkPositions.end(),
                                  [&](const ParkPos& p) { return p.id == ac.standId; });
        if (stand != parkPositions.end()) stand->occupied = 0;
    }
    const AcState previous = ac.state;
    ac.state = AcState::removed;
    if (ac.objectId != 0 && ac.objectId == selectedObjectId) gf_clearObjectIdSelection("");
    // Being replaced: its object is queued for removal already. Its removed notice now erases
    // the record instead of spawning it again.
    if (previous == AcState::replacing) {
        if (ac.objectId == 0) ac.erase = true;  // no removed notice will come
        return;
    }
    if (ac.objectId != 0) {
        removalQueue.push_back(ac.objectId);
        return;
    }
    if (previous == AcState::creating) {
        // Not created yet: take the create back, or remove the object as soon as it exists.
        if (lf_cancelQueuedCreate(ac))
            ac.erase = true;
        else
            ac.removeWhenCreated = true;
        return;
    }
    gf_logError(fmt::format("removeAircraftFromSim removing act {} with objectid=0 ?", gf_acInfo(ac.identity)));
    // No removed notice will ever come for an object we do not know, so the record would stay
    // in state 4 for good and block its hexid.
    ac.erase = true;
}

}  // namespace vdl
