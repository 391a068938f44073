#include "foundation/paths.h"

#include <system_error>

namespace vdl {

std::filesystem::path gf_programFolder() {
    return gf_appDataFolder() / programFolderName;
}
std::filesystem::path gf_localProgramFolder() {
    return gf_localAppDataFolder() / programFolderName;
}
std::filesystem::path gf_runtimeProgramFolder() {
    return gf_runtimeFolder() / programFolderName;
}

bool gf_makeProgramFolder() {
    std::error_code ec;
    std::filesystem::create_directories(gf_programFolder(), ec);
    return std::filesystem::is_directory(gf_programFolder(), ec);
}

std::filesystem::path gf_parametersPath() {
    return gf_programFolder() / "parameters.xml";
}

}  // namespace vdl
