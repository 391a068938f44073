#include "shell/run_requests.h"

#include <algorithm>
#include <mutex>
#include <utility>

namespace vdl {

namespace {
std::mutex runRequestMutex;  // guards runRequests
std::vector<RunRequest> runRequests;
}  // namespace

std::string_view gf_runRequestName(RunRequest request) {
    switch (request) {
        case RunRequest::EnforceMaxLive:
            return "MAX_LIVE";
        case RunRequest::NewDestination:
            return "DESTINATION";
        case RunRequest::FlushStatic:
            return "Flush static";
        case RunRequest::ShowReservedStand:
            return "show reserved stand";
        case RunRequest::ShowObjectId:
            return "CALLSIGN_2_OBJECTID";
        case RunRequest::ParkingSetting:
            return "parking setting";
    }
    return "?";
}

void gf_postRunRequest(RunRequest request) {
    std::lock_guard lock(runRequestMutex);
    if (std::find(runRequests.begin(), runRequests.end(), request) == runRequests.end())
        runRequests.push_back(request);
}

std::vector<RunRequest> gf_takeRunRequests() {
    std::lock_guard lock(runRequestMutex);
    return std::exchange(runRequests, {});
}

void gf_clearRunRequests() {
    std::lock_guard lock(runRequestMutex);
    runRequests.clear();
}

}  // namespace vdl
