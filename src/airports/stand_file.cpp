#include "airports/stand_file.h"

#include <fmt/format.h>

#include <sstream>

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
    lf_setAttribute(opt, "reg", o.reg());
    if (!lf_knownReg(o.reg())) {
        lf_setAttribute(opt, "airl", o.airline());
        lf_setAttribute(opt, "type", o.type());
    }
    if (o.kind == optionSoft) lf_setAttribute(opt, "soft", "true");
    lf_setAttribute(opt, "day", std::to_string(o.day));
    lf_setAttribute(opt, "hh", gf_bitset2hours(o.hours));
    if (!o.callsign1().empty() || !o.callsign2().empty())
        lf_setAttribute(opt, "cs",
                        o.callsign2().empty() ? std::string(o.callsign1()) : fmt::format("{}:{}", o.callsign1(), o.callsign2()));
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
