#pragma once
// Window commands whose work belongs to the run worker's lists become requests that the run
// worker serves at its next main-loop step; the UI thread never touches those lists.
#include <string_view>
#include <vector>

namespace vdl {

enum class RunRequest {
    EnforceMaxLive,     // MAX_LIVE confirmed: gf_enforceMaxLiveAc
    NewDestination,     // DESTINATION confirmed: lf_newDestination
    FlushStatic,        // "Flush static": gf_removeAllStaticAc
    ShowReservedStand,  // "show reserved stand": lf_showReservedStand
    ShowObjectId,       // CALLSIGN_2_OBJECTID confirmed: gf_showObjectIdOfCallsign
    ParkingSetting,     // a parking setting changed: gf_parkingSettingChanged
};

std::string_view gf_runRequestName(RunRequest request);

// Any thread. A request that is already waiting is not queued twice.
void gf_postRunRequest(RunRequest request);
// The run worker: every waiting request, oldest first, leaving none.
std::vector<RunRequest> gf_takeRunRequests();
void gf_clearRunRequests();

}  // namespace vdl
