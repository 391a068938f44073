// One installed AI livery, the list of all of them, and output/LiveriesScanned.xml.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

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

// One record of output/LiveriesScanned.xml; the texts are views into the parsed file.
struct LiveryRecord {
    std::string_view airl;
    std::string_view type;
    std::string_view title;
    std::string_view atcid;
    bool cargo = false;
};

// output/LiveriesScanned.xml parsed, its records sorted stably by airline, type and title (byte
// order). The views stay valid while the object lives; the table build reads the catalogue
// through it without copying a text.
class ScannedLiveries {
  public:
    ScannedLiveries();
    ~ScannedLiveries();
    ScannedLiveries(const ScannedLiveries&) = delete;
    ScannedLiveries& operator=(const ScannedLiveries&) = delete;

    // Throws vdl::UserErrorException 51 (not loadable), 52 (no <liveries>) or 533 (no liveries).
    void read();
    std::vector<LiveryRecord>& records() { return records_; }

  private:
    std::unique_ptr<pugi::xml_document> doc_;
    std::vector<LiveryRecord> records_;
};

// Sorts stably by airline, type and title without comparing an airline or type text per pair:
// the records are counted into their (airline, type) groups in group order, then each group is
// sorted by title and file position.
void gf_sortLiveryRecords(std::vector<LiveryRecord>& records);

// Replaces `liveries` with the records of output/LiveriesScanned.xml, sorted stably by airline,
// type and title. Throws as ScannedLiveries::read.
void gf_readScannedLiveries();

}  // namespace vdl
