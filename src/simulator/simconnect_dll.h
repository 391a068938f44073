#pragma once
// The simulator reached through SimConnect.dll, loaded at run time on Windows: the library is
// looked for beside the program, then in the simulator SDK's folder, and every function this
// program calls is resolved before it is used. Elsewhere there is no such library and the link
// stays waiting for the simulator.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "simlink/sim_layer.h"

namespace vdl {

inline constexpr const char* simConnectDllName = "SimConnect.dll";

// Where SimConnect.dll is looked for, in order: the program's folder, then the SDK folder
// (the DLL in it, then in "SimConnect SDK/lib" below it, as the SDK installs it). Empty
// folders are left out.
std::vector<std::filesystem::path> gf_simConnectDllCandidates(const std::filesystem::path& programFolder,
                                                              const std::filesystem::path& sdkFolder);

// The folder of the running program's executable.
std::filesystem::path gf_executableFolder();

// A loaded SimConnect.dll with every function this program calls.
class SimConnectLibrary;

// Loads the first candidate that exists, loads and exports every function. `report` says which
// one was loaded, or why none was (always none off Windows).
std::shared_ptr<SimConnectLibrary> gf_loadSimConnectLibrary(const std::vector<std::filesystem::path>& candidates,
                                                            std::string& report);
// One connection's backend over a loaded library.
std::shared_ptr<SimBackend> gf_makeSimConnectBackend(std::shared_ptr<SimConnectLibrary> library);

// Makes SimConnect_Open reach the simulator through SimConnect.dll until stop() (or the
// destructor). The library is loaded by the first open that finds it and kept for the
// program's life; a missing library or a simulator that is not running leaves the link
// waiting, said once in the log per distinct reason.
class SimConnectDllLink {
  public:
    explicit SimConnectDllLink(std::vector<std::filesystem::path> candidates);
    ~SimConnectDllLink();
    SimConnectDllLink(const SimConnectDllLink&) = delete;
    SimConnectDllLink& operator=(const SimConnectDllLink&) = delete;

    void start();
    void stop();

  private:
    struct State;
    std::shared_ptr<State> state_;
    bool started_ = false;
};

}  // namespace vdl
