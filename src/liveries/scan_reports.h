// The findings of a livery scan: report collections filled by the scan workers, written after
// the scan to output/errors and output/info with a summary in the log; the removal of the
// previous scan's files; the corrections from the data base's registrations; the titles seen
// in this scan and the titles not to use.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "liveries/livery_data.h"

namespace vdl {

// One report: lines appended by many workers behind its own mutex.
class ScanReport {
  public:
    void append(std::string line) {
        std::lock_guard lock(reportMutex_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(reportMutex_);
        return lines_;
    }
    size_t size() const {
        std::lock_guard lock(reportMutex_);
        return lines_.size();
    }
    void clear() {
        std::lock_guard lock(reportMutex_);
        lines_.clear();
    }

  private:
    mutable std::mutex reportMutex_;
    std::vector<std::string> lines_;
};

inline ScanReport invalidAirlineCodes;   // output/errors/InvalidAirlineCodes.txt
inline ScanReport invalidModelCodes;     // output/errors/InvalidAircraftCodes.txt
inline ScanReport modelFixes;            // output/errors/Fixes.txt, in arrival order
inline ScanReport invalidCfgFiles;       // output/errors/InvalidAircraftCfgFiles.txt
inline ScanReport incompleteSections;    // output/errors/IncompleFltsimSections.txt
inline ScanReport emptyCfgFiles;         // output/info/AircraftCfgWithNoFltsimSection.txt
// Written by the scan thread alone, after the workers: output/info/AirlineModelConversions.txt.
inline std::vector<std::string> dbaseCorrections;

// Titles of the records made in the current scan: a title becomes a record once per scan. In
// shards by hash, each behind its own mutex: every section of every worker takes one.
class ScannedTitles {
  public:
    static constexpr size_t shardCount = 16;

    // True when the title was not yet taken (and takes it).
    bool take(const std::string& title) {
        Shard& shard = shards_[std::hash<std::string>{}(title) % shardCount];
        std::lock_guard lock(shard.shardMutex);
        return shard.titles.insert(title).second;
    }
    size_t size() {
        size_t n = 0;
        for (Shard& shard : shards_) {
            std::lock_guard lock(shard.shardMutex);
            n += shard.titles.size();
        }
        return n;
    }
    void clear() {
        for (Shard& shard : shards_) {
            std::lock_guard lock(shard.shardMutex);
            shard.titles.clear();
        }
    }
    // Every shard locked: the takers wait until the locks go (tests hold workers with it).
    std::array<std::unique_lock<std::mutex>, shardCount> holdAll() {
        std::array<std::unique_lock<std::mutex>, shardCount> locks;
        for (size_t i = 0; i < shardCount; ++i) locks[i] = std::unique_lock(shards_[i].shardMutex);
        return locks;
    }

  private:
    struct Shard {
        std::mutex shardMutex;  // guards titles
        std::unordered_set<std::string> titles;
    };
    std::array<Shard, shardCount> shards_;
};
inline ScannedTitles scannedTitles;

inline const std::filesystem::path errorsFolder{"output/errors"};
inline const std::filesystem::path infoFolder{"output/info"};

// The appenders of the readers.
void gf_reportInvalidAirline(std::string_view airline, std::string_view path, std::string_view firstLine);
void gf_reportInvalidModel(std::string_view code, std::string_view path);
void gf_reportFix(std::string line);
void gf_reportInvalidCfg(std::string line);
void gf_reportIncompleteSection(std::string line);
void gf_reportEmptyCfg(std::string path);

// True when the title was not yet taken in this scan (and takes it).
bool gf_takeScannedTitle(const std::string& title);

// Removes the previous scan's report files (LiveriesScanned.xml stays until a new one replaces
// it), then output/errors when empty. A failure is logged and ends the removal.
void gf_removeOldScanReports();

// The AIG registration list from the update server (nothing without one) and the user's
// registration files: their titles without registrations go to dontUseTitles.
void gf_fetchAigRegcodes();

// Airline, model and cargo flag from the data base's record of the livery's registration.
void gf_correctLiveryFromDbase(LiveryData& livery);

// The report files and the log summary.
void gf_writeScanReports();

// Empties every report, scannedTitles and dontUseTitles.
void gf_resetScanReports();

}  // namespace vdl
