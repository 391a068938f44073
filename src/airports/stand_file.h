// Airport stand files ("apf"): one XML file per airport with the top-level elements "meta",
// "parameters" and "parkpositions" (no single root). The writer of generated and learned files,
// and the parameter readers (the element readers are in stand_read.h).
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/stand_read.h"
#include "airports/stand_records.h"

namespace vdl {

inline constexpr int32_t apfLearnedMode = 0;
inline constexpr int32_t apfFullMode = 1;

inline constexpr double degreesPerRadian = 57.29577951308232;
inline constexpr double radiansPerDegree = 0.017453292519943295;

// One airport as written to a stand file.
struct AirportRecord {
    std::string icao;
    std::string title;
    std::string name;     // "airport_name"
    std::string bglPath;  // "BGLpath"
    std::string publisher;
    std::string manufacturer;
    std::string creator;
    int32_t qfReal = -1;
    int32_t qfSoft = -1;
    int32_t altitude = 0;  // ft
    int32_t trafficWeek = 0;
    std::vector<ParkPos> stands;
};

// The stands came from a handmade learned file that replaced the stand file's own stands. Owned
// by the run worker; the learned-mode writer reads it.
extern bool handmadeLoaded;

// The whole file as text: declaration, tab indents, UTF-8. None when the meta block or the
// parameters could not be added.
std::optional<std::string> gf_apfText(const AirportRecord& record, int32_t mode);

// Writes the file atomically (temporary file renamed); true when meta, parameters and save
// succeeded. Logs nothing: the callers report the outcome.
bool gf_writeApf(const AirportRecord& record, const std::filesystem::path& dest, int32_t mode);

// The "value" of the top-level "parameters"' "parameter" of that name; none when absent.
std::optional<bool> gf_apfBoolValue(const pugi::xml_document& doc, std::string_view name);
std::optional<int32_t> gf_apfIntValue(const pugi::xml_document& doc, std::string_view name);
std::optional<std::string> gf_apfStringValue(const pugi::xml_document& doc, std::string_view name);

}  // namespace vdl
