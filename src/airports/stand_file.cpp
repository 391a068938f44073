#include "airports/stand_file.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <sstream>
#include <unordered_set>
#include <utility>

#include "foundation/errors.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/xml.h"
#include "refdata/dbase.h"

namespace vdl {

bool handmadeLoaded = false;

namespace {

void lf_addParameter(pugi::xml_node parameters, std::string_view name, std::string_view value) {
    pugi::xml_node p = parameters.append_child("parameter");
    p.append_attribute("name").set_value(std::string(name).c_str());
    p.append_attribute("value").set_value(std::string(value).c_str());
}

void lf_addParameter(pugi::xml_node parameters, std::string_view name, int64_t value) {
    lf_addParameter(parameters, name, std::to_string(value));
}

void lf_addParameter(pugi::xml_node parameters, std::string_view name, bool value) {
    lf_addParameter(parameters, name, gf_boolText(value));
}

bool lf_writeParameters(pugi::xml_document& doc, const AirportRecord& record, int32_t mode) {
    pugi::xml_node p = doc.append_child("parameters");
    if (!p) return false;
    const bool full = mode == apfFullMode;
    lf_addParameter(p, "airport_name", record.name);
    lf_addParameter(p, "publisher", record.publisher);
    if (handmadeLoaded) lf_addParameter(p, "handmade", true);
    if (handmadeLoaded || full) lf_addParameter(p, "altitude", int64_t{record.altitude});
    lf_addParameter(p, "num_parkpos", static_cast<int64_t>(record.stands.size()));
    if (handmadeLoaded) {
        lf_addParameter(p, "Qf_real", int64_t{record.qfReal});
        lf_addParameter(p, "Qf_soft", int64_t{record.qfSoft});
    }
    if (record.publisher == "unknown") {
        lf_addParameter(p, "BGLpath", record.bglPath);
        lf_addParameter(p, "manufacturer", record.manufacturer);
        lf_addParameter(p, "creator", record.creator);
    }
    if (full) return true;
    lf_addParameter(p, LATERAL_RANGE.name(), int64_t{LATERAL_RANGE.value()});
    lf_addParameter(p, AUTO_RANGE.name(), AUTO_RANGE.value());
    lf_addParameter(p, WEEK.name(), WEEK.value());
    lf_addParameter(p, PARK_FAKE.name(), PARK_FAKE.value());
    lf_addParameter(p, PARK_SOFT.name(), PARK_SOFT.value());
    lf_addParameter(p, parking_percentage.name(), int64_t{parking_percentage.value()});
    lf_addParameter(p, INITIAL_LOAD_ONLY.name(), INITIAL_LOAD_ONLY.value());
    lf_addParameter(p, MAX_FIT.name(), int64_t{MAX_FIT.value()});
    if (MAX_LIVE.value() >= 0) lf_addParameter(p, MAX_LIVE.name(), int64_t{MAX_LIVE.value()});
    lf_addParameter(p, LEARN_SOFT.name(), LEARN_SOFT.value());
    return true;
}

void lf_setAttribute(pugi::xml_node node, const char* name, std::string_view value) {
    node.append_attribute(name).set_value(std::string(value).c_str());
}

// The registration data base gives airline and type of a known registration: they are not
// written, so the reader takes them from there again.
bool lf_knownReg(std::string_view reg) { return !reg.empty() && gf_regcodeData(reg).has_value(); }

void lf_writeOpt(pugi::xml_node parkpos, const ParkPosOption& o) {
    if (o.id == 0) return;
    pugi::xml_node opt = parkpos.append_child("opt");
    lf_setAttribute(opt, "reg", o.reg);
    if (!lf_knownReg(o.reg)) {
        lf_setAttribute(opt, "airl", o.airline);
        lf_setAttribute(opt, "type", o.type);
    }
    if (o.kind == optionSoft) lf_setAttribute(opt, "soft", "true");
    lf_setAttribute(opt, "day", std::to_string(o.day));
    lf_setAttribute(opt, "hh", gf_bitset2hours(o.hours));
    if (!o.callsign1.empty() || !o.callsign2.empty())
        lf_setAttribute(opt, "cs", o.callsign2.empty() ? o.callsign1 : o.callsign1 + ":" + o.callsign2);
}

void lf_writeFullAttributes(pugi::xml_node e, const ParkPos& s) {
    lf_setAttribute(e, "latitude", fmt::format("{:.6f}", s.lat));
    lf_setAttribute(e, "longitude", fmt::format("{:.6f}", s.lon));
    lf_setAttribute(e, "heading", fmt::format("{:.1F}", s.heading * degreesPerRadian));
    lf_setAttribute(e, "radius", fmt::format("{:.1F}", s.radius * 1852.0));
    if (s.heli)
        lf_setAttribute(e, "heli", "true");
    else
        lf_setAttribute(e, "cargo", gf_boolText(s.cargo != 0));
    lf_setAttribute(e, "ramp", gf_boolText(s.ramp != 0));
    if (s.manual) lf_setAttribute(e, "manual", "true");
}

void lf_writeParkPos(pugi::xml_node parkpositions, const ParkPos& s, int32_t mode) {
    pugi::xml_node e = parkpositions.append_child("parkpos");
    lf_setAttribute(e, "id", s.name);
    if (mode == apfFullMode) {
        lf_writeFullAttributes(e, s);
        return;
    }
    const bool changed = s.radiusChange || s.cargoChange;
    // At a handmade airport a changed stand is written whole as well: its position is nowhere
    // else, and a stand without one would be skipped at the next load and lost.
    if (s.manual || handmadeLoaded) {
        lf_writeFullAttributes(e, s);
    } else if (changed) {
        if (s.radiusChange) {
            lf_setAttribute(e, "radius_change", "true");
            lf_setAttribute(e, "radius", fmt::format("{:.1F}", s.radius * 1852.0));
        }
        if (s.cargoChange) {
            lf_setAttribute(e, "cargo_change", "true");
            lf_setAttribute(e, "cargo", gf_boolText(s.cargo != 0));
        }
    }
    for (const auto& o : s.options) lf_writeOpt(e, o);
}

std::optional<pugi::xml_attribute> lf_parameterValue(const pugi::xml_document& doc, std::string_view name) {
    pugi::xpath_node hit;
    try {
        hit = doc.select_node(gf_parameterXPath(name).c_str());
    } catch (const pugi::xpath_exception&) {
        return std::nullopt;
    }
    if (!hit.node()) return std::nullopt;
    return hit.node().attribute("value");
}

bool lf_validPosition(double lat, double lon) {
    return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90.0 && std::fabs(lon) <= 180.0;
}

}  // namespace

std::optional<std::string> gf_apfText(const AirportRecord& record, int32_t mode) {
    pugi::xml_document doc;
    if (!gf_writeMeta(doc)) return std::nullopt;
    if (!lf_writeParameters(doc, record, mode)) return std::nullopt;
    pugi::xml_node parkpositions = doc.append_child("parkpositions");
    for (const auto& s : record.stands) lf_writeParkPos(parkpositions, s, mode);
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

bool gf_writeApf(const AirportRecord& record, const std::filesystem::path& dest, int32_t mode) {
    const auto text = gf_apfText(record, mode);
    return text && gf_replaceFile(dest, *text);
}

namespace {

// The attributes of one "opt", found in one pass: a learned file holds tens of thousands, and a
// look-up by name per attribute walks the list again each time. The first of a name counts.
// Kept as pugixml's own pointers: an xml_attribute is built and tested through calls into the
// library, and this walk makes millions of them on a large load.
struct OptAttributes {
    pugi::xml_attribute_struct *reg = nullptr, *airl = nullptr, *type = nullptr, *soft = nullptr, *day = nullptr,
                               *hh = nullptr, *cs = nullptr;
};

// Names compared in line: a call to strcmp per attribute shows in the profile of a large load.
template <size_t N>
bool lf_named(const char* name, const char (&literal)[N]) {
    // The terminating zero compared too; the loop stops at the first difference, so never reads
    // past the end of a shorter name. Its fixed length lets the compiler unroll it.
    for (size_t i = 0; i < N; ++i)
        if (name[i] != literal[i]) return false;
    return true;
}

using AttributeSlot = pugi::xml_attribute_struct*;

// Each attribute of the node into the slot that slotFor gives for its name (null: not read); the
// first of a name counts.
template <typename SlotFor>
void lf_takeAttributes(const pugi::xml_node& node, SlotFor slotFor) {
    for (pugi::xml_attribute at = node.first_attribute();;) {
        const AttributeSlot p = at.internal_object();
        if (p == nullptr) break;
        AttributeSlot* slot = slotFor(at.name());
        if (slot != nullptr && *slot == nullptr) *slot = p;
        at = at.next_attribute();
    }
}

OptAttributes lf_optAttributes(const pugi::xml_node& opt) {
    OptAttributes a;
    lf_takeAttributes(opt, [&a](const char* name) -> AttributeSlot* {
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

// The attribute's value; empty when absent.
std::string_view lf_value(pugi::xml_attribute_struct* p) {
    return p == nullptr ? std::string_view() : std::string_view(pugi::xml_attribute(p).value());
}

// Written straight into the option's fields: no temporary strings per option.
void lf_optIdentity(const OptAttributes& a, std::string_view reg, std::string& callsign1, std::string& callsign2,
                    std::string& airline, std::string& type) {
    const std::string_view cs = lf_value(a.cs);
    const size_t colon = cs.find(':');
    if (colon == std::string_view::npos) {
        callsign1 = cs;
    } else {
        callsign1 = cs.substr(0, colon);
        if (cs.find(':', colon + 1) == std::string_view::npos) callsign2 = cs.substr(colon + 1);
    }
    if (!reg.empty()) {
        if (auto known = gf_regcodeData(reg)) {
            type = known->type;
            airline = known->opr.empty() ? known->airl : known->opr;
            return;
        }
    }
    airline = lf_value(a.airl);
    type = lf_value(a.type);
}

}  // namespace

OptIdentity gf_readOptIdentity(const pugi::xml_node& opt) {
    OptIdentity id;
    const OptAttributes a = lf_optAttributes(opt);
    lf_optIdentity(a, lf_value(a.reg), id.callsign1, id.callsign2, id.airline, id.type);
    return id;
}

void gf_readOptInto(const pugi::xml_node& opt, uint32_t fixed, std::string_view context, ParkPosOption& o) {
    const OptAttributes a = lf_optAttributes(opt);
    o.kind = pugi::xml_attribute(a.soft).as_bool() ? optionSoft : optionReal;
    o.day = pugi::xml_attribute(a.day).as_uint();
    o.hours = gf_hours2bitset(lf_value(a.hh), context);
    const std::string_view reg = lf_value(a.reg);
    o.reg = reg;
    lf_optIdentity(a, reg, o.callsign1, o.callsign2, o.airline, o.type);
    o.fixed = fixed;
}

pugi::xml_node gf_nextOpt(pugi::xml_node node) {
    while (node && !lf_named(node.name(), "opt")) node = node.next_sibling();
    return node;
}

namespace {

size_t lf_optCount(const pugi::xml_node& parkpos) {
    size_t n = 0;
    for (pugi::xml_node opt = gf_nextOpt(parkpos.first_child()); opt; opt = gf_nextOpt(opt.next_sibling())) ++n;
    return n;
}

}  // namespace

namespace {

// The attributes of one "parkpos" that gf_readParkPos reads, found in one pass as for "opt".
struct ParkPosAttributes {
    pugi::xml_attribute_struct *latitude = nullptr, *longitude = nullptr, *radius = nullptr, *heading = nullptr,
                               *cargo = nullptr, *ramp = nullptr, *heli = nullptr;
};

ParkPosAttributes lf_parkPosAttributes(const pugi::xml_node& element) {
    ParkPosAttributes a;
    lf_takeAttributes(element, [&a](const char* name) -> AttributeSlot* {
        switch (name[0]) {
            case 'l': return lf_named(name, "latitude") ? &a.latitude : (lf_named(name, "longitude") ? &a.longitude : nullptr);
            case 'r': return lf_named(name, "radius") ? &a.radius : (lf_named(name, "ramp") ? &a.ramp : nullptr);
            case 'h': return lf_named(name, "heading") ? &a.heading : (lf_named(name, "heli") ? &a.heli : nullptr);
            case 'c': return lf_named(name, "cargo") ? &a.cargo : nullptr;
            default: return nullptr;
        }
    });
    return a;
}

// The number as pugixml reads it (strtod: 0 when there is none). Plain decimals, which is what
// the writer gives, are read without strtod: it shows in the profile of a large load. Both round
// correctly, so the values are the same.
double lf_number(pugi::xml_attribute_struct* p) {
    const std::string_view text = lf_value(p);
    if (!text.empty() && text.size() < 32 && text.find_first_not_of("0123456789.-") == std::string_view::npos) {
        double v = 0.0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec == std::errc() && end == text.data() + text.size()) return v;
    }
    return pugi::xml_attribute(p).as_double();
}

bool lf_flag(pugi::xml_attribute_struct* p) { return pugi::xml_attribute(p).as_bool(); }

}  // namespace

bool gf_readParkPos(const pugi::xml_node& element, std::string name, uint32_t fixed, std::vector<ParkPos>& stands) {
    const ParkPosAttributes a = lf_parkPosAttributes(element);
    const double lat = lf_number(a.latitude);
    const double lon = lf_number(a.longitude);
    if (lat == 0.0 && lon == 0.0) return false;
    const double radius = lf_number(a.radius);
    if (!lf_validPosition(lat, lon) || !std::isfinite(radius)) {
        static LogLimiter limiter("gf_readParkPos");
        limiter.logError(fmt::format("stand \"{}\" refused: position {}, {} or radius {} is no valid value", name,
                                     lf_value(a.latitude), lf_value(a.longitude), lf_value(a.radius)));
        return false;
    }
    std::vector<ParkPosOption> options;
    options.reserve(lf_optCount(element));  // the exact size: most stands have few options or none
    uint32_t position = 0;
    for (pugi::xml_node opt = gf_nextOpt(element.first_child()); opt; opt = gf_nextOpt(opt.next_sibling())) {
        ParkPosOption& o = options.emplace_back();
        gf_readOptInto(opt, fixed, "gf_readParkPos", o);
        o.id = ++position;
    }
    double heading = lf_number(a.heading) * radiansPerDegree;
    if (!std::isfinite(heading)) heading = 0.0;
    stands.emplace_back(std::move(name), std::move(options), lat, lon, heading, radius, lf_flag(a.cargo),
                        lf_flag(a.ramp), lf_flag(a.heli));
    return true;
}

bool gf_readParkPositions(const pugi::xml_document& doc, uint32_t fixed, std::vector<ParkPos>& stands) {
    bool complete = true;
    pugi::xml_node parkpositions = doc.child("parkpositions");
    if (!parkpositions) return complete;
    std::unordered_set<std::string> seen;
    for (pugi::xml_node e : parkpositions.children("parkpos")) {
        std::string id = e.attribute("id").as_string();
        if (!seen.insert(id).second)
            throw UserErrorException(94, fmt::format("Parking position {} appears more than once?", id));
        if (!gf_readParkPos(e, std::move(id), fixed, stands)) complete = false;
    }
    return complete;
}

std::optional<bool> gf_apfBoolValue(const pugi::xml_document& doc, std::string_view name) {
    auto v = lf_parameterValue(doc, name);
    if (!v) return std::nullopt;
    return v->as_bool();
}

std::optional<int32_t> gf_apfIntValue(const pugi::xml_document& doc, std::string_view name) {
    auto v = lf_parameterValue(doc, name);
    if (!v) return std::nullopt;
    return v->as_int();
}

std::optional<std::string> gf_apfStringValue(const pugi::xml_document& doc, std::string_view name) {
    auto v = lf_parameterValue(doc, name);
    if (!v) return std::nullopt;
    return std::string(v->as_string());
}

}  // namespace vdl
