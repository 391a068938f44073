// One installed AI livery, the list of all of them, and output/LiveriesScanned.xml.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>

namespace vdl {

struct LiveryData {
    std::string airl;      // ICAO airline; "ZZZ" generic, "PVT" private
    std::string type;      // ICAO type designator
    std::string title;     // the title the simulator knows
    std::string atcid;     // registration, empty when none
    int32_t folderNo = 0;  // scanned folder; not stored in the file
    bool cargo = false;

    // folderNo takes no part.
    friend bool operator==(const LiveryData& a, const LiveryData& b) {
        return a.title == b.title && a.airl == b.airl && a.type == b.type && a.atcid == b.atcid &&
               a.cargo == b.cargo;
    }
};

// Every livery of the last scan or read; emptied at the end of each table build. Owned by the run
// worker (the scan splices the per-file lists in before the build).
inline std::list<LiveryData> liveries;

inline const std::filesystem::path scannedLiveriesPath{"output/LiveriesScanned.xml"};

// Writes output/LiveriesScanned.xml from `liveries` through a temporary file renamed over the old
// one; does nothing at all while `liveries` is empty. False (logged as an error, the old file
// kept) when the file could not be written.
bool gf_saveScannedLiveries();

// Replaces `liveries` with the records of output/LiveriesScanned.xml, sorted stably by airline,
// type and title. Throws vdl::UserErrorException 51 (not loadable), 52 (no <liveries>) or 533
// (no liveries).
void gf_readScannedLiveries();

}  // namespace vdl
