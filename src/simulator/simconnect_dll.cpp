#include "simulator/simconnect_dll.h"

#include <fmt/format.h>

#include <mutex>

#include "foundation/log.h"

namespace vdl {

std::vector<std::filesystem::path> gf_simConnectDllCandidates(const std::filesystem::path& programFolder,
                                                              const std::filesystem::path& sdkFolder) {
    std::vector<std::filesystem::path> candidates;
    if (!programFolder.empty()) candidates.push_back(programFolder / simConnectDllName);
    if (!sdkFolder.empty()) {
        candidates.push_back(sdkFolder / simConnectDllName);
        candidates.push_back(sdkFolder / "SimConnect SDK" / "lib" / simConnectDllName);
    }
    return candidates;
}

struct SimConnectDllLink::State {
    std::mutex stateMutex;  // guards the fields below
    std::vector<std::filesystem::path> candidates;
    std::shared_ptr<SimConnectLibrary> library;
    std::string lastReport;

    std::shared_ptr<SimBackend> connect() {
        std::lock_guard lock(stateMutex);
        if (!library) {
            std::string report;
            library = gf_loadSimConnectLibrary(candidates, report);
            // Tried once a second while waiting: each reason is told once.
            if (report != lastReport) {
                if (library)
                    gf_log(fmt::format("SimConnect: {}", report));
                else
                    gf_logError(fmt::format("SimConnect: {}; waiting for the simulator", report));
                lastReport = report;
            }
            if (!library) return nullptr;
        }
        return gf_makeSimConnectBackend(library);
    }
};

SimConnectDllLink::SimConnectDllLink(std::vector<std::filesystem::path> candidates)
    : state_(std::make_shared<State>()) {
    state_->candidates = std::move(candidates);
}

SimConnectDllLink::~SimConnectDllLink() {
    stop();
}

void SimConnectDllLink::start() {
    auto state = state_;
    gf_setSimBackendProvider([state] { return state->connect(); });
    started_ = true;
}

void SimConnectDllLink::stop() {
    if (!started_) return;
    started_ = false;
    gf_setSimBackendProvider({});
}

}  // namespace vdl
