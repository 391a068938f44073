// The element readers of stand files: one "parkpos" into a stand, one "opt" into an option.
// They read elements as the values of their attributes, so that a parsed document and the plain
// reader of the program's own files (stand_plain.h) give the same records by the same code.
#pragma once

#include <pugixml.hpp>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "airports/stand_records.h"

namespace vdl {

// The values of the attributes of one "opt" after the file's escapes; an absent one has no data
// (an empty one has). The first of a repeated name counts.
struct OptFields {
    std::string_view reg, airl, type, soft, day, hh, cs;
};

// The same for one "parkpos".
struct ParkPosFields {
    std::string_view id, latitude, longitude, heading, radius, cargo, ramp, heli, manual, radiusChange, cargoChange;
};

// One "parkpos" with its "opt" children in document order.
struct ParkPosElement {
    ParkPosFields fields;
    std::vector<OptFields> opts;
};

// The "parkpos" children of a stand file's first top-level "parkpositions", in document order,
// each once. The values stay valid until the next call.
class ParkPosSource {
public:
    // The next element into `element`; false after the last.
    virtual bool next(ParkPosElement& element) = 0;
    // How many elements there are, when known beforehand; else 0.
    virtual size_t countHint() const { return 0; }

protected:
    ~ParkPosSource() = default;
};

// The elements of a parsed document.
class XmlParkPosSource final : public ParkPosSource {
public:
    explicit XmlParkPosSource(const pugi::xml_document& doc);
    bool next(ParkPosElement& element) override;

private:
    pugi::xml_node next_;
};

// The element's fields and "opt" children, as a document holds them.
void gf_parkPosElement(const pugi::xml_node& parkpos, ParkPosElement& element);
OptFields gf_optFields(const pugi::xml_node& opt);

// Values read as pugixml reads its attributes (an absent one as an empty one): a flag is true
// when it begins with '1', 't', 'T', 'y' or 'Y'; a number as strtod reads it (0 when there is
// none); an unsigned as as_uint reads it.
bool gf_apfFlag(std::string_view value);
double gf_apfNumber(std::string_view value);
uint32_t gf_apfUnsigned(std::string_view value);

// Reads one "parkpos" into a stand appended to `stands` (options with ids 1.. by position, the
// fixed flag given). A stand at 0/0 is skipped silently; one whose position or radius is no
// number or out of range is refused with a log line. True when a stand was appended.
bool gf_readParkPos(const ParkPosElement& element, std::string name, uint32_t fixed, std::vector<ParkPos>& stands);
bool gf_readParkPos(const pugi::xml_node& element, std::string name, uint32_t fixed, std::vector<ParkPos>& stands);

// The source's elements appended through gf_readParkPos. A repeated "id" (a missing one counts
// as empty) raises UserErrorException 94; the stands before it stay. False when a stand was
// left out.
bool gf_readParkPositions(ParkPosSource& source, uint32_t fixed, std::vector<ParkPos>& stands);
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
void gf_readOptInto(const OptFields& opt, uint32_t fixed, std::string_view context, ParkPosOption& o);

}  // namespace vdl
