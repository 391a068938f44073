// Airport stand files ("apf"): one XML file per airport with the top-level elements "meta",
// "parameters" and "parkpositions" (no single root). The writer of generated and learned files,
// and the element readers every reader of the format uses.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Reads one "parkpos" into a stand appended to `stands` (options with ids 1.. by position, the
// fixed flag given). A stand at 0/0 is skipped silently; one whose position or radius is no
// number or out of range is refused with a log line. True when a stand was appended.
bool gf_readParkPos(const pugi::xml_node& element, std::string name, uint32_t fixed, std::vector<ParkPos>& stands);

// The "parkpos" children of the first top-level "parkpositions", in document order, appended
// through gf_readParkPos. A repeated "id" (a missing one counts as empty) raises
// UserErrorException 94; the stands before it stay. False when a stand was left out.
bool gf_readParkPositions(const pugi::xml_document& doc, uint32_t fixed, std::vector<ParkPos>& stands);

struct OptIdentity {
    std::string callsign1;
    std::string callsign2;
    std::string airline;
    std::string type;
};
// "cs" split at its one ':' (more than one: the first part alone); airline and type from a
// registration the data base knows, else from "airl" and "type".
OptIdentity gf_readOptIdentity(const pugi::xml_node& opt);

// One "opt" into `o`, a default-constructed option (built in place: learned files hold tens of
// thousands), all but its id: kind, day, half hours, registration, identity and the fixed flag
// given. `context` names the reader in the log line of an invalid half hour.
void gf_readOptInto(const pugi::xml_node& opt, uint32_t fixed, std::string_view context, ParkPosOption& o);

// The "opt" children of a "parkpos" without a look-up by name per child: node itself when it
// is an "opt", else its next sibling that is one.
// for (auto opt = gf_nextOpt(parkpos.first_child()); opt; opt = gf_nextOpt(opt.next_sibling()))
pugi::xml_node gf_nextOpt(pugi::xml_node node);

// The "value" of the top-level "parameters"' "parameter" of that name; none when absent.
std::optional<bool> gf_apfBoolValue(const pugi::xml_document& doc, std::string_view name);
std::optional<int32_t> gf_apfIntValue(const pugi::xml_document& doc, std::string_view name);
std::optional<std::string> gf_apfStringValue(const pugi::xml_document& doc, std::string_view name);

}  // namespace vdl
