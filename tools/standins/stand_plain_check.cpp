#include "standins/stand_plain_check.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <sstream>
#include <string_view>

#include "airports/stand_plain.h"

namespace vdl {

namespace {

std::string lf_text(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

// Present or absent alike, and the same value.
bool lf_same(std::string_view a, std::string_view b) { return (a.data() == nullptr) == (b.data() == nullptr) && a == b; }

bool lf_sameFields(const ParkPosFields& f, const ParkPosFields& g) {
    return lf_same(f.id, g.id) && lf_same(f.latitude, g.latitude) && lf_same(f.longitude, g.longitude) &&
           lf_same(f.heading, g.heading) && lf_same(f.radius, g.radius) && lf_same(f.cargo, g.cargo) &&
           lf_same(f.ramp, g.ramp) && lf_same(f.heli, g.heli) && lf_same(f.manual, g.manual) &&
           lf_same(f.radiusChange, g.radiusChange) && lf_same(f.cargoChange, g.cargoChange);
}

bool lf_sameOpt(const OptFields& o, const OptFields& p) {
    return lf_same(o.reg, p.reg) && lf_same(o.airl, p.airl) && lf_same(o.type, p.type) && lf_same(o.soft, p.soft) &&
           lf_same(o.day, p.day) && lf_same(o.hh, p.hh) && lf_same(o.cs, p.cs);
}

}  // namespace

std::string gf_plainReadDifference(const std::filesystem::path& file) {
    StandFileReader plain;
    if (!plain.load(file) || !plain.plain()) return {};
    StandFileReader parsed;
    const pugi::xml_parse_result result = parsed.load(file, false);
    if (!result) return fmt::format("pugixml refuses it: {}", result.description());
    pugi::xml_document whole;
    whole.reset(parsed.doc());
    whole.remove_child("parkpositions");
    if (lf_text(plain.doc()) != lf_text(whole)) return "meta block or parameters differ";
    ParkPosElement a, b;
    for (size_t n = 0;; ++n) {
        const bool more = plain.parkPositions().next(a);
        if (more != parsed.parkPositions().next(b)) return fmt::format("stand element {}: present in one reading only", n);
        if (!more) return {};
        if (!lf_sameFields(a.fields, b.fields)) return fmt::format("stand element {}: attributes differ", n);
        if (a.opts.size() != b.opts.size()) return fmt::format("stand element {}: opt counts differ", n);
        for (size_t i = 0; i < a.opts.size(); ++i)
            if (!lf_sameOpt(a.opts[i], b.opts[i])) return fmt::format("stand element {}, opt {}: attributes differ", n, i);
    }
}

}  // namespace vdl
