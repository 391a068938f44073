// No SimConnect.dll outside Windows: the link stays waiting for the simulator.
#include "simulator/simconnect_dll.h"

namespace vdl {

class SimConnectLibrary {};

std::filesystem::path gf_executableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

std::shared_ptr<SimConnectLibrary> gf_loadSimConnectLibrary(const std::vector<std::filesystem::path>&,
                                                            std::string& report) {
    report = "no SimConnect.dll on this platform";
    return nullptr;
}

std::shared_ptr<SimBackend> gf_makeSimConnectBackend(std::shared_ptr<SimConnectLibrary>) {
    return nullptr;
}

}  // namespace vdl
