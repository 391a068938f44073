#include "foundation/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace vdl {

namespace {

std::filesystem::path lf_absoluteEnv(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return {};
    std::filesystem::path p(v);
    if (!p.is_absolute()) return {};
    return p;
}

std::filesystem::path lf_home() {
    if (auto home = lf_absoluteEnv("HOME"); !home.empty()) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return result->pw_dir;
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::filesystem::path gf_appDataFolder() {
    if (auto p = lf_absoluteEnv("XDG_CONFIG_HOME"); !p.empty()) return p;
    return lf_home() / ".config";
}

std::filesystem::path gf_localAppDataFolder() {
    if (auto p = lf_absoluteEnv("XDG_DATA_HOME"); !p.empty()) return p;
    return lf_home() / ".local" / "share";
}

std::filesystem::path gf_runtimeFolder() {
    if (auto p = lf_absoluteEnv("XDG_RUNTIME_DIR"); !p.empty()) return p;
    return "/tmp";
}

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
