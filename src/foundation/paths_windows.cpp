// The per-user folders on Windows: %APPDATA% and %LOCALAPPDATA% when set (absolute), else the
// shell's known folders; the runtime folder is the user's temporary folder.
#include <windows.h>
#include <shlobj.h>
#include <knownfolders.h>

#include <cstdlib>

#include "foundation/paths.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {

std::filesystem::path lf_absoluteEnv(const wchar_t* name) {
    const wchar_t* v = _wgetenv(name);
    if (v == nullptr || *v == L'\0') return {};
    std::filesystem::path p(v);
    if (!p.is_absolute()) return {};
    return p;
}

std::filesystem::path lf_knownFolder(REFKNOWNFOLDERID id) {
    PWSTR folder = nullptr;
    std::filesystem::path p;
    if (SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &folder) == S_OK) p = folder;
    CoTaskMemFree(folder);
    return p;
}

}  // namespace

std::optional<std::string> gf_environmentText(const char* name) {
    const std::wstring wideName = std::filesystem::path(name).native();
    const wchar_t* v = _wgetenv(wideName.c_str());
    if (v == nullptr || *v == L'\0') return std::nullopt;
    return gf_utf8FromPath(std::filesystem::path(v));
}

std::filesystem::path gf_appDataFolder() {
    if (auto p = lf_absoluteEnv(L"APPDATA"); !p.empty()) return p;
    return lf_knownFolder(FOLDERID_RoamingAppData);
}

std::filesystem::path gf_localAppDataFolder() {
    if (auto p = lf_absoluteEnv(L"LOCALAPPDATA"); !p.empty()) return p;
    return lf_knownFolder(FOLDERID_LocalAppData);
}

std::filesystem::path gf_runtimeFolder() {
    std::error_code ec;
    return std::filesystem::temp_directory_path(ec);
}

}  // namespace vdl
