// The aircraft.cfg readers of the livery scan: one file into its [fltsim.N] sections, and each
// section into at most one livery. Every function here runs on a scan worker; shared state is
// touched only through the report appenders and scannedTitles (scan_reports.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/cfg_lines.h"
#include "liveries/livery_data.h"

namespace vdl {

using CfgLines = std::vector<std::string_view>;

// The task of one ordinary aircraft.cfg file. Holds a worker slot, released on every path;
// an error is logged and raised again to the folder scan.
std::list<LiveryData> gf_searchLiveriesinFile(int32_t folderNo, const std::filesystem::path& path);
// The task of one file of the IVAO model sets.
std::list<LiveryData> gf_searchIvaoLiveriesinFile(int32_t folderNo, const std::filesystem::path& path);

// Sections numbered 0, 1, 2, ... in any order; a file without [fltsim.N] section is reported as
// empty and passes. `path` is the path as text.
bool gf_checkFltsimNumbers(const CfgLines& lines, std::string_view path);
// The report line of a file refused for its size or its number of lines.
void gf_reportOversizedCfg(std::string_view path, CfgRead why);

// The file's type code from its first icao_type_designator, else its first base_container of a
// default aircraft; "" (reported where the rule says) when none.
std::string gf_modelOfFile(std::string_view path, const CfgLines& lines);
// A found code as the model: valid, fixed (reported) or "" (reported as invalid).
std::string gf_checkModelCode(const std::string& code, std::string_view path);
// The model of an IVAO file from its path ("...\IVAO_MTL\SimObjects\Airplanes\IVAO_B738\aircraft.cfg",
// either separator); "" (reported) when the path fits neither set.
std::string gf_ivaoModelOfPath(std::string_view path);
// The aircraft code of such a path, uncut and unchecked; "" when the path fits neither set.
std::string gf_ivaoCodeOfPath(std::string_view path);
// The airline code of an IVAO title: the model, "W" when `special`, blanks, then three word
// characters; "" when the title does not start so.
std::string gf_ivaoTitleAirline(std::string_view title, std::string_view model, bool special);

// Cuts the lines into [fltsim.N] sections, header first. A line holding '[' before column 6
// (anywhere for the IVAO files) ends a section.
void gf_cutSections(const CfgLines& lines, bool ivao, const std::function<void(CfgLines&)>& handOver);

// What a section reader gets besides its lines.
struct SectionSource {
    int32_t folderNo = 0;
    std::string_view model;
    std::string_view path;    // the aircraft.cfg path as text
    std::string_view folder;  // the aircraft's folder as text
};

// One [fltsim.N] section into zero or one livery; the trailing blank and "//" lines are removed.
std::list<LiveryData> gf_procesFltSimSection(const SectionSource& source, CfgLines& lines);
// The same for a section of an IVAO file; an empty airline means no record.
LiveryData gf_procesIvaoFltSimSection(const SectionSource& source, CfgLines& lines);

// The atc_parking_types rule of both section readers: the first such line sets the types (items
// trimmed, upper case), a later line that names the key is a second key.
enum class KeyLine { Other, Taken, Second };
KeyLine gf_parkingTypesLine(std::string_view line, std::string& types);

// Removes the trailing empty and "//" lines.
void gf_dropTrailingLines(CfgLines& lines);

// The scan's own log lines about outside input, limited in number.
void gf_logScan(std::string_view text);
void gf_logScanError(std::string_view text);

}  // namespace vdl
