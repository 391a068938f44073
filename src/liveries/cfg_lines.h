// The lines of an aircraft.cfg file and the key lines among them.
//
// A key line is "<blanks>key<blanks>=<blanks>value<blanks>" with the key in any ASCII case; the
// raw value runs from its first to its last non-blank character and holds no CR or LF. Blanks
// are the ASCII ones (space, tab, LF, VT, FF, CR). Hand-written on purpose: a backtracking
// regular expression recurses per character and overflows a worker's stack on a long value.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

// One aircraft.cfg as UTF-8 text and its lines as views into that text (line ends and the CR
// before them removed).
struct CfgText {
    std::string text;
    std::vector<std::string_view> lines;
};

enum class CfgRead { Ok, CannotOpen, ReadFailed, TooLarge, TooManyLines };

// A larger or longer file is no aircraft.cfg (the biggest real ones hold well under a megabyte
// and 25,000 lines); it is not read. The limits bound the memory of a scan: a reading thread holds
// at most about four copies of the bytes (read, decoded) and 16 bytes per line.
inline constexpr uintmax_t maxCfgBytes = 8u << 20;
inline constexpr size_t maxCfgLines = 250'000;

// Reads the whole file at once: UTF-16 (either byte order, by its mark) and UTF-8 with mark are
// converted; in a file without mark each line is kept when it is valid UTF-8 and read as
// Windows-1252 otherwise (edited files mix them).
CfgRead gf_readCfgFile(const std::filesystem::path& path, CfgText& cfg);
// The same from bytes already read: Ok or TooManyLines (then `cfg` holds no lines).
CfgRead gf_cfgFromBytes(std::string bytes, CfgText& cfg);

// The raw value of a "key = value" line (key compared ignoring ASCII case); none when the line
// is no such line or its value is empty.
std::optional<std::string_view> gf_cfgRawValue(std::string_view line, std::string_view key);
// The digits of a "[fltsim.N]" header line (blanks around it allowed, any ASCII case).
std::optional<std::string_view> gf_fltsimHeaderDigits(std::string_view line);

// The first non-blank characters are "//" or ";".
bool gf_isCfgComment(std::string_view line);

// Readers of one line. The value of a key is its raw value through the quoting rule (gf_quoted).
// The section number: "" for a "//" line, the digits of a header, "10000" for any other line
// holding "[fltsim." or "[FLTSIM.", else "".
std::string gf_sectionNumber(std::string_view line);
// True for a title line with a raw value; `title` takes the value only when it is not empty.
bool gf_readTitle(std::string_view line, std::string& title);
// Up to 4 characters, upper case; "" when the line is no such line.
std::string gf_icaoTypeDesignator(std::string_view line);
// The type code of the default aircraft that the value names ("..\Asobo_A320_NEO"); "" when the
// line is no such line, the value is shorter than 3 characters or names no default aircraft.
std::string gf_baseContainerModel(std::string_view line);
// True for an icao_airline line with a raw value: "ZZZ" for an empty or "ZZZZ" value, else upper case.
bool gf_readIcaoAirline(std::string_view line, std::string& airline);
// True when the value has at least 5 characters.
bool gf_readAtcId(std::string_view line, std::string& registration);
// True when the value is not empty.
bool gf_readParkingTypes(std::string_view line, std::string& types);
// True for a texture line with a raw value; `texture` takes the value.
bool gf_readTexture(std::string_view line, std::string& texture);

// The plain tests for a second key: the text occurs in a line that is no comment.
bool gf_mentions(std::string_view line, std::string_view text);

// A byte below 0x20 other than tab: XML 1.0 cannot hold it, and a NUL would cut the text where
// it is stored.
bool gf_hasControlByte(std::string_view text);

// An atc_id item without invisible characters (no-break spaces, direction marks ...) at its ends,
// which no registration of the feed carries.
std::string gf_registrationItem(std::string_view item);

// At most `count` bytes, never cutting a UTF-8 character.
std::string_view gf_utf8Prefix(std::string_view text, size_t count);

}  // namespace vdl
