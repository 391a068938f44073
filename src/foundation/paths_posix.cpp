// The per-user folders on POSIX: the XDG folders stand in for AppData and local AppData.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "foundation/paths.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {

std::filesystem::path lf_absoluteEnv(const char* name) {
    const auto v = gf_environmentText(name);
    if (!v) return {};
    std::filesystem::path p = gf_pathFromUtf8(*v);
    if (!p.is_absolute()) return {};
    return p;
}

std::filesystem::path lf_home() {
    if (auto home = lf_absoluteEnv("HOME"); !home.empty()) return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &result) == 0 && result && result->pw_dir)
        return gf_pathFromUtf8(result->pw_dir);
    return std::filesystem::temp_directory_path();
}

}  // namespace

std::optional<std::string> gf_environmentText(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr || *v == '\0') return std::nullopt;
    return std::string(v);
}

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

}  // namespace vdl
