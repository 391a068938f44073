// The simulator's package folders, package manifests and the publisher of an add-on airport.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

// The packages path of the simulator the program runs for (MSFS_INSTALL_PATH when MSFS_2020 is
// on, else MSFS_2024_INSTALL_PATH) joined with the sub-folder ("Official", "Community"); empty
// when that path is not known.
std::filesystem::path gf_installPath(std::string_view subFolder);

// At start-up: when the install path parameter is empty, takes it from the simulator's
// UserCfg.opt (line `InstalledPackagesPath "..."`); then keeps the Community folder. False
// when no install path is known.
bool gf_deriveCommunityPath();
// The Community folder kept by gf_deriveCommunityPath; empty when none.
std::filesystem::path gf_communityPath();
// Forgets the Community folder (part of gf_resetRefdata).
void gf_forgetCommunityPath();

// The install path of a UserCfg.opt text: the quoted value of the line whose key is exactly
// InstalledPackagesPath (not InstalledPackagesPathNextBoot); none when there is no such line.
std::optional<std::string> gf_installedPackagesPath(std::string_view userCfgText);

// Where UserCfg.opt is looked for, in order (Store and Steam layouts under the local and the
// roaming data folders).
std::vector<std::filesystem::path> gf_userCfgCandidates();

// A path written with either separator as a path of this system.
std::filesystem::path gf_pathFromText(std::string_view text);

struct ManifestInfo {
    std::string manufacturer;
    std::string creator;
    std::string title;
    bool found = false;
    std::filesystem::path packageFolder;  // the folder holding manifest.json
};

// Reads manifest.json of the package that holds the file (the nearest folder above it that has
// one); found is false when none could be read.
ManifestInfo gf_searchManifest(std::string_view bglPath);

struct PublisherInfo {
    std::string publisher;  // "simaddon", a canonical name from the data base, or "unknown"
    std::string manufacturer;
    std::string creator;
    std::string title;
};

// "simaddon" for the simulator's own packages (package folders starting with "microsoft-",
// "asobo-" or "fs-base"); else the data base's canonical publisher for the package folder
// (the folder name, or its start before '-' or '_'), then for the manifest's manufacturer, then
// its creator; else "unknown". Its scan-log lines go to gf_addPublisherScanLog.
PublisherInfo gf_findPublisher(std::string_view bglPath);

}  // namespace vdl
