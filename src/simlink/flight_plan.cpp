#include "simlink/flight_plan.h"

#include <fmt/format.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <system_error>

#include "foundation/log.h"
#include "simlink/sim_guard.h"
#include "foundation/paths.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {

bool lf_validCode(const std::string& code) {
    return !code.empty() && code.size() <= 8 &&
           std::all_of(code.begin(), code.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

// One coordinate as AceXML writes it: N47° 26' 56.35"
std::string lf_dms(double value, char positive, char negative) {
    const char hemisphere = value < 0 ? negative : positive;
    double rest = std::fabs(value);
    int degrees = static_cast<int>(rest);
    rest = (rest - degrees) * 60.0;
    int minutes = static_cast<int>(rest);
    double seconds = std::round((rest - minutes) * 6000.0) / 100.0;
    if (seconds >= 60.0) {
        seconds -= 60.0;
        ++minutes;
    }
    if (minutes >= 60) {
        minutes -= 60;
        ++degrees;
    }
    return fmt::format("{}{}\u00b0 {}' {:.2f}\"", hemisphere, degrees, minutes, seconds);
}

std::string lf_lla(const FlightPlanAirport& a) {
    return fmt::format("{},{},{}{:09.2f}", lf_dms(a.latitude, 'N', 'S'), lf_dms(a.longitude, 'E', 'W'),
                       a.elevation < 0 ? '-' : '+', std::fabs(a.elevation));
}

void lf_text(pugi::xml_node parent, const char* name, const std::string& text) {
    parent.append_child(name).text().set(text.c_str());
}

void lf_waypoint(pugi::xml_node plan, const FlightPlanAirport& a) {
    auto wp = plan.append_child("ATCWaypoint");
    wp.append_attribute("id").set_value(a.code.c_str());
    lf_text(wp, "ATCWaypointType", "Airport");
    if (a.positionKnown) lf_text(wp, "WorldPosition", lf_lla(a));
    lf_text(wp.append_child("ICAO"), "ICAOIdent", a.code);
}

}  // namespace

std::filesystem::path gf_flightPlanFolder() { return gf_programFolder() / "orig_dest"; }

bool gf_createFlightPlanFolder() {
    std::error_code ec;
    std::filesystem::create_directories(gf_flightPlanFolder(), ec);
    if (ec) {
        gf_logError(fmt::format("cannot make the flight plan folder \"{}\": {}",
                                gf_utf8FromPath(gf_flightPlanFolder()), ec.message()));
        return false;
    }
    return true;
}

std::string gf_flightPlanFileName(uint32_t objectId) { return fmt::format("{}.pln", objectId); }

bool gf_writeFlightPlan(const std::filesystem::path& path, const FlightPlanData& plan) {
    if (!lf_validCode(plan.departure.code) || !lf_validCode(plan.destination.code)) return false;
    if (!gf_passesSimGuard(plan, [&] { return "flight plan " + gf_utf8FromPath(path.filename()); })) return false;
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("UTF-8");
    auto root = doc.append_child("SimBase.Document");
    root.append_attribute("Type").set_value("AceXML");
    root.append_attribute("version").set_value("1,0");
    lf_text(root, "Descr", "AceXML Document");
    auto fp = root.append_child("FlightPlan.FlightPlan");
    const auto& dep = plan.departure;
    const auto& dest = plan.destination;
    lf_text(fp, "Title", fmt::format("{} to {}", dep.code, dest.code));
    lf_text(fp, "FPType", "IFR");
    lf_text(fp, "RouteType", "HighAlt");
    lf_text(fp, "CruisingAlt", fmt::format("{:.0f}", std::max(0.0, plan.cruisingAltitude)));
    lf_text(fp, "DepartureID", dep.code);
    if (dep.positionKnown) lf_text(fp, "DepartureLLA", lf_lla(dep));
    lf_text(fp, "DestinationID", dest.code);
    if (dest.positionKnown) lf_text(fp, "DestinationLLA", lf_lla(dest));
    lf_text(fp, "Descr", fmt::format("{}, {}", dep.code, dest.code));
    lf_text(fp, "DepartureName", dep.code);
    lf_text(fp, "DestinationName", dest.code);
    auto app = fp.append_child("AppVersion");
    lf_text(app, "AppVersionMajor", "11");
    lf_text(app, "AppVersionBuild", "282174");
    lf_waypoint(fp, dep);
    lf_waypoint(fp, dest);
    return doc.save_file(path.c_str(), "    ", pugi::format_default, pugi::encoding_utf8);
}

}  // namespace vdl
