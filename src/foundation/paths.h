#pragma once

#include <filesystem>
#include <string_view>

namespace vdl {

inline constexpr std::string_view programFolderName = "Vandrel";

// Per-user folders, read from the environment at each call:
// AppData       = $XDG_CONFIG_HOME, else ~/.config
// local AppData = $XDG_DATA_HOME,   else ~/.local/share
// runtime       = $XDG_RUNTIME_DIR, else /tmp
// (relative values are ignored, as XDG asks).
std::filesystem::path gf_appDataFolder();
std::filesystem::path gf_localAppDataFolder();
std::filesystem::path gf_runtimeFolder();

// The program's folder "Vandrel" inside each of them (not created here).
std::filesystem::path gf_programFolder();         // AppData/Vandrel
std::filesystem::path gf_localProgramFolder();    // local AppData/Vandrel
std::filesystem::path gf_runtimeProgramFolder();  // runtime/Vandrel

// Creates AppData/Vandrel when missing; false when that fails.
bool gf_makeProgramFolder();

// AppData/Vandrel/parameters.xml
std::filesystem::path gf_parametersPath();

}  // namespace vdl
