#include "airports/stand_read.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <optional>
#include <unordered_set>
#include <utility>

#include "airports/stand_file.h"
#include "airports/stand_xml.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/time.h"
#include "refdata/dbase.h"

namespace vdl {

namespace {

// Names compared in line: a call to strcmp per attribute shows in the profile of a large load.
template <size_t N>
bool lf_named(const char* name, const char (&literal)[N]) {
    // The terminating zero compared too; the loop stops at the first difference, so never reads
    // past the end of a shorter name. Its fixed length lets the compiler unroll it.
    for (size_t i = 0; i < N; ++i)
        if (name[i] != literal[i]) return false;
    return true;
}

// Each attribute of the node into the field that fieldFor gives for its name (null: not read);
// the first of a name counts. Walked through pugixml's own pointers: an xml_attribute is built
// and tested through calls into the library, and a large load makes millions of them.
template <typename FieldFor>
void lf_takeAttributes(const pugi::xml_node& node, FieldFor fieldFor) {
    for (pugi::xml_attribute at = node.first_attribute();;) {
        if (at.internal_object() == nullptr) break;
        std::string_view* field = fieldFor(at.name());
        if (field != nullptr && field->data() == nullptr) *field = at.value();
        at = at.next_attribute();
    }
}

// The "opt" children without a look-up by name per child: node itself when it is an "opt",
// else its next sibling that is one.
pugi::xml_node lf_nextOpt(pugi::xml_node node) {
    while (node && !lf_named(node.name(), "opt")) node = node.next_sibling();
    return node;
}

// pugixml's own reading of a value that is not in the plain forms read here.
pugi::xml_attribute lf_asAttribute(pugi::xml_document& scratch, std::string_view value) {
    pugi::xml_attribute a = scratch.append_child("v").append_attribute("v");
    a.set_value(std::string(value).c_str());
    return a;
}

// Whether a number can be read from the value at all: gf_apfNumber gives 0 for "" and "x" alike,
// and a stand must not stand at latitude or longitude 0 for want of a value.
bool lf_readableNumber(std::string_view value) {
    if (value.empty()) return false;
    const std::string text(value);
    char* end = nullptr;
    static_cast<void>(std::strtod(text.c_str(), &end));
    return end != text.c_str();
}

bool lf_validPosition(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;
}

// The strings of an option read from an "opt", in the order of OptionField; `known` holds the
// data base's entry they may point into.
OptionStrings::Values lf_optStrings(const OptFields& a, std::optional<RegcodeData>& known) {
    OptionStrings::Values v;
    auto field = [&v](OptionField f) -> std::string_view& { return v[static_cast<size_t>(f)]; };
    const std::string_view cs = a.cs;
    const size_t colon = cs.find(':');
    if (colon == std::string_view::npos) {
        field(OptionField::callsign1) = cs;
    } else {
        field(OptionField::callsign1) = cs.substr(0, colon);
        if (cs.find(':', colon + 1) == std::string_view::npos) field(OptionField::callsign2) = cs.substr(colon + 1);
    }
    field(OptionField::reg) = a.reg;
    if (!a.reg.empty()) known = gf_regcodeData(a.reg);
    if (known) {
        field(OptionField::type) = known->type;
        field(OptionField::airline) = known->opr.empty() ? known->airl : known->opr;
    } else {
        field(OptionField::airline) = a.airl;
        field(OptionField::type) = a.type;
    }
    return v;
}

}  // namespace

XmlParkPosSource::XmlParkPosSource(const pugi::xml_document& doc)
    : next_(doc.child("parkpositions").child("parkpos")) {}

bool XmlParkPosSource::next(ParkPosElement& element) {
    if (!next_) return false;
    gf_parkPosElement(next_, element);
    next_ = next_.next_sibling("parkpos");
    return true;
}

void gf_parkPosElement(const pugi::xml_node& parkpos, ParkPosElement& element) {
    ParkPosFields& f = element.fields;
    f = {};
    lf_takeAttributes(parkpos, [&f](const char* name) -> std::string_view* {
        switch (name[0]) {
            case 'i': return lf_named(name, "id") ? &f.id : nullptr;
            case 'l': return lf_named(name, "latitude") ? &f.latitude : (lf_named(name, "longitude") ? &f.longitude : nullptr);
            case 'r':
                return lf_named(name, "radius")          ? &f.radius
                       : lf_named(name, "ramp")          ? &f.ramp
                       : lf_named(name, "radius_change") ? &f.radiusChange
                                                         : nullptr;
            case 'h': return lf_named(name, "heading") ? &f.heading : (lf_named(name, "heli") ? &f.heli : nullptr);
            case 'c': return lf_named(name, "cargo") ? &f.cargo : (lf_named(name, "cargo_change") ? &f.cargoChange : nullptr);
            case 'm': return lf_named(name, "manual") ? &f.manual : nullptr;
            default: return nullptr;
        }
    });
    element.opts.clear();
    for (pugi::xml_node opt = lf_nextOpt(parkpos.first_child()); opt; opt = lf_nextOpt(opt.next_sibling()))
        element.opts.push_back(gf_optFields(opt));
}

OptFields gf_optFields(const pugi::xml_node& opt) {
    OptFields a;
    lf_takeAttributes(opt, [&a](const char* name) -> std::string_view* {
        switch (name[0]) {
            case 'r': return lf_named(name, "reg") ? &a.reg : nullptr;
            case 'a': return lf_named(name, "airl") ? &a.airl : nullptr;
            case 't': return lf_named(name, "type") ? &a.type : nullptr;
            case 's': return lf_named(name, "soft") ? &a.soft : nullptr;
            case 'd': return lf_named(name, "day") ? &a.day : nullptr;
            case 'h': return lf_named(name, "hh") ? &a.hh : nullptr;
            case 'c': return lf_named(name, "cs") ? &a.cs : nullptr;
            default: return nullptr;
        }
    });
    return a;
}

bool gf_apfFlag(std::string_view value) {
    if (value.empty()) return false;
    const char c = value[0];
    return c == '1' || c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

// Plain decimals, which is what the writer gives, are read without strtod: it shows in the
// profile of a large load. Both round correctly, so the values are the same.
double gf_apfNumber(std::string_view value) {
    if (value.empty()) return 0.0;
    if (value.size() < 32 && std::all_of(value.begin(), value.end(), [](char c) {
            return (c >= '0' && c <= '9') || c == '.' || c == '-';
        })) {
        double v = 0.0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        if (ec == std::errc() && end == value.data() + value.size()) return v;
    }
    pugi::xml_document scratch;
    return lf_asAttribute(scratch, value).as_double();
}

uint32_t gf_apfUnsigned(std::string_view value) {
    if (value.empty()) return 0;
    if (value.size() <= 9 && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        uint32_t v = 0;
        for (const char c : value) v = v * 10 + static_cast<uint32_t>(c - '0');
        return v;
    }
    pugi::xml_document scratch;
    return lf_asAttribute(scratch, value).as_uint();
}

void gf_readOptInto(const OptFields& opt, uint32_t fixed, std::string_view context, ParkPosOption& o) {
    o.kind = gf_apfFlag(opt.soft) ? optionSoft : optionReal;
    o.day = gf_apfUnsigned(opt.day);
    o.hours = gf_hours2bitset(opt.hh, context);
    std::optional<RegcodeData> known;
    o.setStrings(lf_optStrings(opt, known));
    o.fixed = fixed;
}

OptIdentity gf_readOptIdentity(const pugi::xml_node& opt) {
    std::optional<RegcodeData> known;
    const OptionStrings::Values v = lf_optStrings(gf_optFields(opt), known);
    auto text = [&v](OptionField f) { return std::string(v[static_cast<size_t>(f)]); };
    return {text(OptionField::callsign1), text(OptionField::callsign2), text(OptionField::airline),
            text(OptionField::type)};
}

bool gf_readParkPos(const ParkPosElement& element, std::string name, uint32_t fixed, std::vector<ParkPos>& stands) {
    const ParkPosFields& a = element.fields;
    const double lat = gf_apfNumber(a.latitude);
    const double lon = gf_apfNumber(a.longitude);
    if (lat == 0.0 && lon == 0.0) return false;
    if (!lf_readableNumber(a.latitude) || !lf_readableNumber(a.longitude)) {
        static LogLimiter limiter("stand position");
        limiter.logError(fmt::format("stand \"{}\" refused: latitude \"{}\" or longitude \"{}\" is no number", name,
                                     a.latitude, a.longitude));
        return false;
    }
    const double radius = gf_apfNumber(a.radius);
    if (!lf_validPosition(lat, lon) || !std::isfinite(radius)) {
        static LogLimiter limiter("gf_readParkPos");
        limiter.logError(fmt::format("stand \"{}\" refused: position {}, {} or radius {} is no valid value", name,
                                     a.latitude, a.longitude, a.radius));
        return false;
    }
    // The exact size: most stands have few options or none.
    std::vector<ParkPosOption> options = gf_optionStorage(element.opts.size());
    uint32_t position = 0;
    for (const OptFields& opt : element.opts) {
        ParkPosOption& o = options.emplace_back();
        gf_readOptInto(opt, fixed, "gf_readParkPos", o);
        o.id = ++position;
    }
    double heading = gf_apfNumber(a.heading) * radiansPerDegree;
    if (!std::isfinite(heading)) heading = 0.0;
    stands.emplace_back(std::move(name), std::move(options), lat, lon, heading, radius, gf_apfFlag(a.cargo),
                        gf_apfFlag(a.ramp), gf_apfFlag(a.heli));
    return true;
}

bool gf_readParkPos(const pugi::xml_node& element, std::string name, uint32_t fixed, std::vector<ParkPos>& stands) {
    ParkPosElement e;
    gf_parkPosElement(element, e);
    return gf_readParkPos(e, std::move(name), fixed, stands);
}

bool gf_readParkPositions(ParkPosSource& source, uint32_t fixed, std::vector<ParkPos>& stands) {
    bool complete = true;
    std::unordered_set<std::string> seen;
    seen.reserve(source.countHint());
    stands.reserve(stands.size() + source.countHint());
    ParkPosElement e;
    while (source.next(e)) {
        std::string id(e.fields.id);
        if (!seen.insert(id).second)
            throw UserErrorException(94, fmt::format("Parking position {} appears more than once?", id));
        if (!gf_readParkPos(e, std::move(id), fixed, stands)) complete = false;
    }
    return complete;
}

bool gf_readParkPositions(const pugi::xml_document& doc, uint32_t fixed, std::vector<ParkPos>& stands) {
    XmlParkPosSource source(doc);
    return gf_readParkPositions(source, fixed, stands);
}

}  // namespace vdl
