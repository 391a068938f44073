#include "traffic/traffic_lists.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "airports/stand_records.h"
#include "simlink/sim_link.h"
#include "traffic/movement.h"
#include "traffic/neighbour_grid.h"
#include "traffic/parking_max.h"
#include "traffic/sim_replies.h"
#include "traffic/spawn_gate.h"
#include "traffic/static_adjust.h"
#include "traffic/static_placing.h"
#include "traffic/static_plan.h"
#include "traffic/traffic_services.h"

namespace vdl {

namespace {

bool trafficListsInitialised = false;

constexpr int32_t halfHoursPerDay = 48;
constexpr uint32_t standSlotGap = 3;  // half hours before a hexid's stand use counts again

template <typename Container>
void lf_reserveAtLeast(Container& c, size_t n) {
    if (c.capacity() < n) c.reserve(n);
}

// Deletes Callsign2ObjectId.txt when it exists; failures name the operation that failed.
void lf_deleteCallsign2ObjectId() {
    const std::filesystem::path path{callsign2ObjectIdFile};
    std::error_code ec;
    const bool present = std::filesystem::exists(path, ec);
    if (ec) throw std::filesystem::filesystem_error("exists", path, ec);
    if (!present) return;
    std::filesystem::remove(path, ec);
    if (ec) throw std::filesystem::filesystem_error("remove", path, ec);
}

}  // namespace

void gf_initTrafficLists() {
    if (trafficListsInitialised) return;
    lf_reserveAtLeast(liveAircraft, 512);
    lf_reserveAtLeast(staticAircraft, 256);
    lf_reserveAtLeast(pendingSpawns, 64);
    lf_reserveAtLeast(ghostCallsigns, 64);
    {
        std::lock_guard lock(replyMutex);
        lf_reserveAtLeast(switchFollowUps, 128);
        lf_reserveAtLeast(simReplies, 256);
    }
    lf_reserveAtLeast(parkPositions, parkPositionsReserve);
    lf_reserveAtLeast(staticCandidates, 256);
    lf_reserveAtLeast(keptStatics, 256);
    lf_reserveAtLeast(staticRemovals, 256);
    lf_reserveAtLeast(liveStayers, 256);
    gf_waitForCallsign2ObjectId();
    lf_deleteCallsign2ObjectId();
    trafficListsInitialised = true;
}

void gf_clearTrafficLists() {
    liveAircraft.clear();
    gf_forgetNeighbourGrid();
    staticAircraft.clear();
    pendingSpawns.clear();
    liveCreateQueue.clear();
    staticCreateQueue.clear();
    removalQueue.clear();
    createdFollowUps.clear();
    ghostCallsigns.clear();
    liveryByHexid.clear();
    standSlotByHexid.clear();
    staticCandidates.clear();
    {
        std::lock_guard lock(replyMutex);
        simReplies.clear();
        switchFollowUps.clear();
    }
    gf_clearStaticAdjustState();
    gf_forgetStaticSearchIndex();
    realToleranceReached = 0;
    softToleranceReached = -1;
    softPositionsUsed = false;
    selectedObjectId = 0;
    gf_forgetParkingCounters();
    gf_showForgottenParkingCounters();
    feedCallsigns.clear();
    gf_forgetNoticeWaits();
    gf_forgetDroppedWithoutCallsign();
    lf_deleteCallsign2ObjectId();
}

void gf_forgetLiveryTitles() { liveryByHexid.clear(); }

bool gf_standSlotGate(uint32_t hexid, WeekSlot now, bool force) {
    const auto slot = static_cast<uint32_t>((now.slot % halfHoursPerDay + halfHoursPerDay) % halfHoursPerDay);
    auto it = std::find_if(standSlotByHexid.begin(), standSlotByHexid.end(),
                           [hexid](const auto& entry) { return entry.first == hexid; });
    if (it == standSlotByHexid.end()) {
        standSlotByHexid.emplace_back(hexid, slot);
        return true;
    }
    constexpr auto slotsPerDay = static_cast<uint32_t>(halfHoursPerDay);
    if (!force && (slot + slotsPerDay - it->second % slotsPerDay) % slotsPerDay < standSlotGap) return false;
    it->second = slot;
    return true;
}

void gf_pushSimReply(const SimReply& reply) {
    std::lock_guard lock(replyMutex);
    simReplies.push_back(reply);
}

void gf_installTrafficHooks() { gf_setSimReplyHook(gf_pushSimReply); }

void gf_resetTraffic() {
    gf_waitForCallsign2ObjectId();
    liveAircraft.release();
    gf_forgetNeighbourGrid();
    std::vector<AiAircraft>().swap(staticAircraft);
    std::vector<uint32_t>().swap(pendingSpawns);
    liveCreateQueue.clear();
    staticCreateQueue.clear();
    removalQueue.clear();
    createdFollowUps.clear();
    std::vector<std::string>().swap(ghostCallsigns);
    liveryByHexid.clear();
    standSlotByHexid.clear();
    staticCandidates.clear();
    {
        std::lock_guard lock(replyMutex);
        std::vector<SimReply>().swap(simReplies);
        std::vector<SwitchFollowUp>().swap(switchFollowUps);
    }
    selectedObjectId = 0;
    feedCallsigns.clear();
    parkingMaximum = 0;
    gf_forgetParkingCounters();
    gf_clearStaticAdjustState();
    std::vector<KeptStatic>().swap(keptStatics);
    std::vector<StaticRemoval>().swap(staticRemovals);
    std::vector<LiveStayer>().swap(liveStayers);
    gf_forgetStaticSearchIndex();
    realToleranceReached = 0;
    softToleranceReached = -1;
    softPositionsUsed = false;
    // Static hexids run on for the whole process; only this reset starts them again.
    staticHexidCounter = 0;
    gf_forgetNoticeWaits();
    gf_resetMovementForTests();
    steadyTicksOverride = 0;
    trafficListsInitialised = false;
}

}  // namespace vdl
