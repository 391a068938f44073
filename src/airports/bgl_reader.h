// Reading of BGL files for the add-on airport scan: the quick test for an airport section, the
// airport identifier, and the walk over the records of every airport section, which hands on
// each airport record and the mark of an airport the program does not recognise.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/bgl_view.h"

namespace vdl {

inline constexpr uint32_t bglHeaderSize = 56;
inline constexpr uint16_t bglNotRecognisedId = 0x0113;
// Airport files are a few MB; a larger file is left out with a scan-log line rather than held
// in memory once per worker.
inline constexpr uint64_t bglMaxFileBytes = uint64_t{256} << 20;

// What the walk hands on. airport: every airport record with a valid identifier, once.
// notRecognised: the first record 0x0113 (not under MSFS 2020); it ends the file.
struct BglHandOffs {
    std::function<void(const BglAirport& airport, const std::string& icao)> airport;
    std::function<void()> notRecognised;
};

// True when the file's section table holds an airport section (type 3). Reads only the header
// and the section table.
bool gf_hasAirportSection(const std::filesystem::path& path);

// The text of a packed identifier (bits 5 to 31, base 38, most significant digit first); ok
// only for 4 characters without a blank.
std::string gf_decodeIdentifierOrRegionCode(uint32_t value, bool& ok);

// Reads the file in one read and walks its airport sections. A file that cannot be opened, has
// another header size or less than 15 words gives nothing, quietly; a file of 4 bytes or less
// throws std::out_of_range. Every broken part (a table or record running past its container,
// an airport record too small for its fields) is left out with a scan-log line that names
// pathText; the rest of the file is read.
void gf_readBglFile(const std::filesystem::path& path, const BglHandOffs& handOffs, bool msfs2020);
// The same on the file's bytes.
void gf_walkBglBytes(std::vector<uint8_t> bytes, std::string_view pathText, const BglHandOffs& handOffs,
                     bool msfs2020);

}  // namespace vdl
