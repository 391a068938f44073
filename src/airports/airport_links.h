// What the add-on airport scan makes of one airport: a link file to the stand file archived on the
// update server (simulator add-ons, listed third party airports), a stand file generated from the
// BGL stands when there is no archive or the archive has fewer stands, and for an airport record
// the program does not recognise (MSFS 2024) an entry in "TBLO" for offline learning.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "airports/bgl_view.h"

namespace vdl {

// Set when an airport was linked or a generated stand file was written; cleared at the start of
// every scan and when the simulator choice changes.
inline std::atomic<bool> airportsGenerated{false};
// TBLO entries made by the current or last scan.
inline std::atomic<int32_t> tbloCount{0};
// Serialises publisher detection and linking (manifests, reference data, link files).
inline std::mutex linkMutex;

// Forgets which BGL file each generated stand file of the scan came from (at the start of a
// scan, and part of gf_resetAirports).
void gf_clearGeneratedStandFiles();

// "TBLO" in the working folder: airports to be learned offline.
std::filesystem::path gf_tbloFolder();

// Whether the archive entry ("EGLL42") is the airport's: it starts with the ICAO code. The stand
// count after the code goes into count; a count that is no number is logged as an error and
// leaves count unchanged (the entry still answers true).
bool gf_numberAfterPrefix(std::string_view publisher, std::string_view icao, int32_t& count,
                          std::string_view entry);

// One airport record of a BGL file: linked, generated, or both. Runs on the scan's workers. Two
// BGL files of one airport in a scan: the generated file of the path that sorts last is kept,
// whichever worker ends first.
void gf_processAirportRecord(const BglAirport& airport, const std::string& icao, const std::string& bglPath);

// A BGL file with an airport the program does not recognise: its code guessed from the file name,
// the package's title or a dashed code in the path, then a TBLO entry unless it is linked.
void gf_notRecognisedAirport(const std::string& bglPath);

}  // namespace vdl
