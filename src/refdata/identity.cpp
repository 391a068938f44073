#include "refdata/identity.h"

#include <array>
#include <utility>

#include "refdata/dbase.h"

namespace vdl {

namespace {

bool lf_isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool lf_isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
char lf_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string lf_route(const AcIdentity& ac) {
    if (ac.origin.empty() && ac.dest.empty()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", ac.origin, ac.dest);
}

}  // namespace

std::string_view gf_categoryName(AircraftCategory c) {
    static constexpr std::array<std::string_view, categoryCount> names = {"Light", "Buzjets",  "Large",
                                                                          "Heavy", "HighPerf", "Rotorcraft"};
    const auto i = static_cast<int32_t>(c);
    if (i < 0 || i >= categoryCount) return "Unknown";
    return names[static_cast<size_t>(i)];
}

AcIdentity gf_makeAcIdentity(std::string airl, std::string type, std::string origin, std::string dest,
                             std::string callsign, std::string callsign1, std::string callsign2,
                             std::string reg, uint8_t cargo, uint32_t hexid) {
    AcIdentity ac;
    ac.airl = std::move(airl);
    ac.type = std::move(type);
    ac.origin = std::move(origin);
    ac.dest = std::move(dest);
    ac.callsign = std::move(callsign);
    ac.callsignCopy = std::move(callsign1);
    ac.coupledCallsign = std::move(callsign2);
    ac.reg = std::move(reg);
    ac.category = gf_modelCategory(ac.type);
    ac.halfWingspan = gf_halfWingspan(ac.type);
    ac.touchdownSteps = touchdownStepsOfCategory[gf_categoryIndex(ac.category)];
    ac.hexid = hexid;
    ac.cargo = cargo;
    return ac;
}

std::string gf_acText(const AcIdentity& ac) {
    return fmt::format("{} {:8} {}", fmt::format("{:8}", ac.callsign), ac.reg, lf_route(ac));
}

std::string gf_acInfo(const AcIdentity& ac) {
    return fmt::format("{} {}", gf_acText(ac), gf_airlModelKey(ac));
}

std::string gf_acShortInfo(const AcIdentity& ac) {
    return fmt::format("{} {} {}", fmt::format("{:8}", ac.callsign), ac.reg, gf_airlModelKey(ac));
}

std::string gf_airlModelRegKey(const AcIdentity& ac) {
    return fmt::format("{} {}", gf_airlModelKey(ac), ac.reg);
}

std::optional<std::string> gf_airlineOfCallsign(std::string_view callsign) {
    if (callsign.size() < 4) return std::nullopt;
    if (!lf_isAsciiLetter(callsign[0]) || !lf_isAsciiLetter(callsign[1]) || !lf_isAsciiLetter(callsign[2]))
        return std::nullopt;
    if (!lf_isAsciiDigit(callsign[3])) return std::nullopt;
    return std::string{lf_upper(callsign[0]), lf_upper(callsign[1]), lf_upper(callsign[2])};
}

bool gf_validCallsign(std::string_view callsign) {
    return !callsign.empty() && callsign != "@@@@@@@@" && callsign.size() <= 8;
}

bool gf_validCallsign(const AcIdentity& ac) {
    return gf_validCallsign(ac.callsign);
}

std::vector<std::string> gf_regVariants(std::string_view reg) {
    std::vector<std::string> variants;
    if (reg.size() >= 5 && reg.find('-') == std::string_view::npos && reg.front() != 'N') {
        variants.push_back(fmt::format("{}-{}", reg.substr(0, 2), reg.substr(2)));
        variants.push_back(fmt::format("{}-{}", reg.substr(0, 1), reg.substr(1)));
    }
    variants.emplace_back(reg);
    return variants;
}

}  // namespace vdl
