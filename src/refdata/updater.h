// The program and data updater: checks the server's program version, refreshes the data base
// and the simulator add-on list. Every failure is logged and leaves the local files as they were.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "foundation/version.h"

namespace vdl {

// Paths on the update server (below gf_serverBase()).
inline constexpr std::string_view programVersionPath = "release/version.json";
inline constexpr std::string_view setupFileTemplate = "setup_{}_d_v{}.zip";  // program name, version
inline constexpr std::string_view dbaseZipName = "dbase.zip";
inline constexpr std::string_view mySimaddonVersionName = "version.json";
inline constexpr std::string_view mySimaddonZipName = "my_simaddon2024.zip";

inline const std::filesystem::path mySimaddonFolder = "airports/my_simaddon";

// The "version" entry of an XML data file's meta block ("meta" with "info" name/value), as
// "1.2.3" or with fewer parts ("7" is 7.0.0); none
// when the file does not load or has none.
std::optional<Version> gf_metaVersion(const std::filesystem::path& xmlFile);

// Compares release/version.json with the program's version. A newer one is reported in the log
// (with the address of its set-up file) and on the status line, not installed: this platform
// cannot run the Windows set-up. Answers the server's version when it is newer.
std::optional<Version> gf_checkProgramVersion();

// Downloads dbase.zip and replaces dbaseFile by its data base when that carries a newer meta
// version than the local copy (or there is no readable local copy). True when replaced; the
// caller loads it.
bool gf_updateDbase(const std::filesystem::path& dbaseFile = "input/dbase.xml");

// The add-on list: when version.json in the 2024 folder on the server is newer than the copy
// kept in airports/my_simaddon, unpacks my_simaddon2024.zip into a staging folder, empties
// airports/my_simaddon (gf_removeAllFilesInFolder through its hook) and moves the files in.
// True when the folder was refilled.
bool gf_updateMySimaddon();

// What one run of the updater changed.
struct UpdaterOutcome {
    std::optional<Version> newerProgram;  // reported, not installed
    bool dbaseReplaced = false;
    bool mySimaddonRefilled = false;  // the airport scan's files in that folder are gone
};

// The three above, in that order. Without an update server (gf_serverBase empty) none of them
// asks for anything.
UpdaterOutcome gf_runUpdater();

}  // namespace vdl
