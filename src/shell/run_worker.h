#pragma once
// The run worker: a stoppable thread that does a run's start-up, waits for the simulator and
// RealTraffic, starts the readers and runs the main loop.
#include <chrono>
#include <cstdint>
#include <optional>

#include "feed/qnh.h"
#include "feed/traffic_reader.h"

namespace vdl {

// Where a run opens its ports; tests give 0 for ephemeral ones.
struct RunConfig {
    uint16_t trafficPort = vdl::trafficPort;
    uint16_t qnhPort = vdl::qnhPort;
    std::optional<uint16_t> linkPort;                    // none: PORT_NUMBER
    std::chrono::milliseconds trafficReaderDelay{2000};  // after the QNH reader
};
void gf_setRunConfig(const RunConfig& config);
RunConfig gf_runConfig();

// WM_APP+1: a previous run worker is asked to stop and joined, `exiting` is cleared and a
// new run worker starts.
void gf_startRunWorker();
// Asks the run worker to stop and joins it; from the run worker itself it only asks.
void gf_stopRunWorker();
bool gf_runWorkerRunning();

// The run's working-folder check: the folders "airports", "input", "output" and "TBLO" are
// in the working folder. Throws vdl::UserErrorException naming the first one missing.
void gf_checkWorkingFolder();

}  // namespace vdl
