#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vdl {

inline constexpr std::string_view programFolderName = "Vandrel";

// Per-user folders, read from the environment at each call (relative values are ignored).
// POSIX (paths_posix.cpp):
//   AppData       = $XDG_CONFIG_HOME, else ~/.config
//   local AppData = $XDG_DATA_HOME,   else ~/.local/share
//   runtime       = $XDG_RUNTIME_DIR, else /tmp
// Windows (paths_windows.cpp):
//   AppData       = %APPDATA%,        else the known folder RoamingAppData
//   local AppData = %LOCALAPPDATA%,   else the known folder LocalAppData
//   runtime       = the user's temporary folder
std::filesystem::path gf_appDataFolder();
std::filesystem::path gf_localAppDataFolder();
std::filesystem::path gf_runtimeFolder();

// An environment variable as UTF-8 text (read in UTF-16 on Windows); none when unset or empty.
std::optional<std::string> gf_environmentText(const char* name);

// The program's folder "Vandrel" inside each of them (not created here).
std::filesystem::path gf_programFolder();         // AppData/Vandrel
std::filesystem::path gf_localProgramFolder();    // local AppData/Vandrel
std::filesystem::path gf_runtimeProgramFolder();  // runtime/Vandrel

// Creates AppData/Vandrel when missing; false when that fails.
bool gf_makeProgramFolder();

// AppData/Vandrel/parameters.xml
std::filesystem::path gf_parametersPath();

}  // namespace vdl
