#include "foundation/parameters.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <system_error>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"

namespace vdl {

namespace {

std::vector<Parameter*>& lf_registry() {
    static std::vector<Parameter*> registry;
    return registry;
}

}  // namespace

Parameter::Parameter(std::string_view name) : name_(name) {
    lf_registry().push_back(this);
}

Parameter::~Parameter() {
    auto& r = lf_registry();
    r.erase(std::remove(r.begin(), r.end(), this), r.end());
}

const std::vector<Parameter*>& gf_parameters() {
    return lf_registry();
}

Parameter* gf_findParameter(std::string_view name) {
    for (Parameter* p : lf_registry())
        if (p->name() == name) return p;
    return nullptr;
}

// ---- kinds ------------------------------------------------------------------------------

std::string BoolParameter::text() const {
    return std::string(gf_boolText(value()));
}
std::string BoolParameter::defaultText() const {
    return std::string(gf_boolText(default_));
}
bool BoolParameter::setText(std::string_view text) {
    set(gf_textToBool(gf_trim(text)));
    return true;
}
bool BoolParameter::takesTextAsIs(std::string_view text) const {
    std::string t = gf_trim(text);
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return t == "true" || t == "false" || t == "1" || t == "0";
}

int32_t IntParameter::set(int32_t v) {
    int32_t c = clamp(v);
    value_ = c;
    return c;
}
std::string IntParameter::text() const {
    return std::to_string(value());
}
std::string IntParameter::defaultText() const {
    return std::to_string(default_);
}
bool IntParameter::setText(std::string_view text) {
    std::string t = gf_trim(text);
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ptr != t.data() + t.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        set(t.front() == '-' ? min_ : max_);
        return true;
    }
    if (ec != std::errc()) return false;
    set(static_cast<int32_t>(std::clamp<int64_t>(v, min_, max_)));
    return true;
}
bool IntParameter::takesTextAsIs(std::string_view text) const {
    std::string t = gf_trim(text);
    if (!t.empty() && t.front() == '+') t.erase(0, 1);
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return !t.empty() && ptr == t.data() + t.size() && ec == std::errc() && v >= min_ && v <= max_;
}

float FloatParameter::set(float v) {
    if (std::isnan(v)) return value();
    float c = std::clamp(v, min_, max_);
    value_ = c;
    return c;
}
std::string FloatParameter::text() const {
    return fmt::format("{}", value());
}
std::string FloatParameter::defaultText() const {
    return fmt::format("{}", default_);
}
bool FloatParameter::setText(std::string_view text) {
    std::string t = gf_trim(text);
    if (t.empty()) return false;
    float v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (ptr != t.data() + t.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        set(t.front() == '-' ? min_ : max_);
        return true;
    }
    if (ec != std::errc() || std::isnan(v)) return false;
    set(v);
    return true;
}
bool FloatParameter::takesTextAsIs(std::string_view text) const {
    std::string t = gf_trim(text);
    float v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return !t.empty() && ptr == t.data() + t.size() && ec == std::errc() && v >= min_ && v <= max_;
}

std::string StringParameter::value() const {
    std::lock_guard lock(valueMutex);
    return value_;
}
void StringParameter::set(std::string_view v) {
    std::lock_guard lock(valueMutex);
    value_.assign(v);
}
bool StringParameter::setText(std::string_view text) {
    set(text);
    return true;
}

// ---- the settings -----------------------------------------------------------------------
// Control ids start at 1001; rows number the window's option lines from the top.

TbIntParameter LATERAL_RANGE("LATERAL_RANGE", 40, 2, 100, 1001, 0, "Lateral range (nm)");
CheckBoxParameter AUTO_RANGE("AUTO_RANGE", true, 1002, 1, "Automatic range");
TbIntParameter MAX_LIVE("MAX_LIVE", -1, -1, 300, 1003, 2, "Max live aircraft (-1 no limit)");
TbIntParameter AIRPORT_RANGE("AIRPORT_RANGE", 20, 8, 30, 1004, 3, "Airport in sight within (nm)");
TbIntParameter AIRPORT_HEIGHT("AIRPORT_HEIGHT", 18000, 2000, 45000, 1005, 4,
                              "Airport in sight below (ft AGL)");
TbTextParameter DESTINATION("DESTINATION", "", 1006, 5, "Destination airport");
TbTextParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "", 1007, 6, "Block callsign");
TbTextParameter CALLSIGN_2_OBJECTID("CALLSIGN_2_OBJECTID", "", 1008, 7, "Callsign to object id");
CheckBoxParameter CALLSIGN_OBJECTIDS("CALLSIGN_OBJECTIDS", false, 1009, 8, "Write Callsign2ObjectId.txt");
CheckBoxParameter LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 1010, 9, "Light aircraft");
CheckBoxParameter HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 1011, 10, "High performance aircraft");
CheckBoxParameter HELICOPTERS("HELICOPTERS", true, 1012, 11, "Helicopters");
CheckBoxParameter COLLISION_USER_AIR("COLLISION_USER_AIR", true, 1013, 12, "Avoid user aircraft in the air");
CheckBoxParameter COLLISION_USER_GND("COLLISION_USER_GND", true, 1014, 13,
                                     "Avoid user aircraft on the ground");
CheckBoxParameter COLLISION_LIVE_PARKED_GND("COLLISION_LIVE_PARKED_GND", false, 1015, 14,
                                            "Remove parked aircraft in the way of live aircraft");
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 1016, 15,
                                          "Nav lights while parked");
CheckBoxParameter STRAIGHT_PBS_ONLY("STRAIGHT_PBS_ONLY", false, 1017, 16, "Straight pushbacks only");
TbIntParameter parking_percentage("parking_percentage", 30, 0, 100, 1018, 17, "Parking percentage");
TbIntParameter CUSTOM_MAX_PARK("CUSTOM_MAX_PARK", -1, -1, 500, 1019, 18, "Max parked aircraft (-1 not set)");
TbFloatParameter MAX_FIT_FL("MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 1020, 19, "Max fit (hours)");
CheckBoxParameter WEEK("WEEK", false, 1021, 20, "Same weekday only");
CheckBoxParameter PARK_SOFT("PARK_SOFT", true, 1022, 21, "Park on soft options");
CheckBoxParameter PARK_FAKE("PARK_FAKE", false, 1023, 22, "Park fake aircraft");
CheckBoxParameter INITIAL_LOAD_ONLY("INITIAL_LOAD_ONLY", false, 1024, 23, "Initial load only");
CheckBoxParameter LEARN_SOFT("LEARN_SOFT", true, 1025, 24, "Learn soft options");
CheckBoxParameter SCAN_LIVERIES("SCAN_LIVERIES", true, 1026, 25, "Scan liveries at next start");
CheckBoxParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true, 1027, 26, "Scan add-on airports at next start");
CheckBoxParameter LOG("LOG", true, 1028, 27, "Detailed log");
CheckBoxParameter RANDOM("RANDOM", true, 1029, 28, "Random choices");
ButtonParameter MSFS_2020("MSFS_2020", true, 1030, 29, "Switch simulator (MSFS 2020 / MSFS 2024)");

BoolParameter GUID_CHANGES("GUID_CHANGES", true);
IntParameter HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 20, 1, 60);
IntParameter MATCHING_DEPTH("MATCHING_DEPTH", 4, 1, 4);
IntParameter MAX_FIT("MAX_FIT", 47, 0, 47);
StringParameter MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", "");
StringParameter MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", "");
IntParameter WINDOW_LEFT("WINDOW_LEFT", windowNotPlaced, windowNotPlaced, 32767);
IntParameter WINDOW_TOP("WINDOW_TOP", windowNotPlaced, windowNotPlaced, 32767);
IntParameter CUSTOM_PARKING_PERCENTAGE("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
BoolParameter LIG_AUTOMATIC("LIG_AUTOMATIC", true);
BoolParameter LIG_PRIORITIZE("LIG_PRIORITIZE", false);
IntParameter AI_PACKAGE_ORDER("AI_PACKAGE_ORDER", 1, 1, 6);
BoolParameter SUPPRESS_STUB("SUPPRESS_STUB", true);
StringParameter lfolder0("lfolder0", ""), lfolder1("lfolder1", ""), lfolder2("lfolder2", ""),
    lfolder3("lfolder3", ""), lfolder4("lfolder4", ""), lfolder5("lfolder5", ""), lfolder6("lfolder6", ""),
    lfolder7("lfolder7", ""), lfolder8("lfolder8", ""), lfolder9("lfolder9", "");
const std::array<StringParameter*, 10> lfolders{&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                                &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
BoolParameter EXTERNAL_LINK("EXTERNAL_LINK", false);
StringParameter SIMCONNECT_SDK_PATH("SIMCONNECT_SDK_PATH", "");
StringParameter UPDATE_SERVER("UPDATE_SERVER", "");
IntParameter DOWNLOAD_LIMIT_MB("DOWNLOAD_LIMIT_MB", 200, 1, 2000);
IntParameter UNZIP_LIMIT_MB("UNZIP_LIMIT_MB", 200, 1, 2000);

std::mutex parametersMutex;

void gf_setLateralRange(int32_t nauticalMiles) {
    // The copies follow the clamped value: the simulator refuses a radius outside its limits.
    int32_t nm = LATERAL_RANGE.set(nauticalMiles);
    lateralRangeNm = static_cast<double>(nm);
    lateralRangeMeters = static_cast<double>(nm) * 1852.0;
}

namespace {
// Values only: a reload during a run leaves the window's enabled states alone.
void lf_resetValues() {
    for (Parameter* p : lf_registry()) p->resetToDefault();
    gf_setLateralRange(LATERAL_RANGE.value());
}
}  // namespace

void gf_resetParametersToDefaults() {
    lf_resetValues();
    savedLateralRange = -1;
    atTenNm = false;
    for (Parameter* p : lf_registry())
        if (ParamControl* c = p->control()) c->setEnabled(true);
}

std::string gf_parameterXPath(std::string_view name) {
    // Names are ours, but a quote in one must not break the expression.
    if (name.find('\'') == std::string_view::npos)
        return fmt::format("/parameters/parameter[@name='{}']", name);
    return fmt::format("/parameters/parameter[@name=\"{}\"]", name);
}

// ---- parameters.xml ---------------------------------------------------------------------

namespace {

void lf_appendEntry(pugi::xml_node root, const Parameter& p, const std::string& value) {
    pugi::xml_node e = root.append_child("parameter");
    e.append_attribute("name") = p.name().c_str();
    e.append_attribute("value") = value.c_str();
}

pugi::xml_document lf_defaultsDocument() {
    pugi::xml_document doc;
    pugi::xml_node root = doc.append_child("parameters");
    for (const Parameter* p : lf_registry()) lf_appendEntry(root, *p, p->defaultText());
    return doc;
}

bool lf_writeDocument(const pugi::xml_document& doc, const std::filesystem::path& path) {
    std::ostringstream out;
    doc.save(out);
    if (gf_replaceFile(path, out.str())) return true;
    gf_logError(fmt::format("could not save to \"{}\"", gf_utf8FromPath(path)));
    return false;
}

enum class LoadResult { Loaded, Missing, Broken };

LoadResult lf_loadDocument(pugi::xml_document& doc, const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return LoadResult::Missing;
    pugi::xml_parse_result r = gf_loadXmlFile(doc, path);
    if (!r || !doc.child("parameters")) return LoadResult::Broken;
    return LoadResult::Loaded;
}

// The file is the user's to edit: its values are outside input.
LogLimiter& lf_loadLimiter() {
    static LogLimiter limiter("parameters.xml", 200);
    return limiter;
}

// A value quoted short enough that the line still says which value was used.
std::string lf_shown(std::string_view value) {
    constexpr size_t shownChars = 100;
    if (value.size() <= shownChars) return std::string(value);
    return fmt::format("{}... ({} characters)", value.substr(0, shownChars), value.size());
}

// Keeps a file we cannot read, so rebuilding it loses nothing the user could recover.
void lf_setAsideBroken(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path bad = path;
    bad += ".bad";
    std::filesystem::rename(path, bad, ec);
    gf_logError(fmt::format("\"{}\" could not be read, kept as \"{}\" and rebuilt from the defaults",
                            gf_utf8FromPath(path), gf_utf8FromPath(bad)));
}

}  // namespace

bool gf_loadParameters() {
    std::lock_guard lock(parametersMutex);
    if (!gf_makeProgramFolder()) {
        gf_logError(fmt::format("could not make the folder \"{}\"", gf_utf8FromPath(gf_programFolder())));
        lf_resetValues();
        return false;
    }
    const std::filesystem::path path = gf_parametersPath();
    pugi::xml_document doc;
    LoadResult loaded = lf_loadDocument(doc, path);
    if (loaded != LoadResult::Loaded) {
        if (loaded == LoadResult::Broken) lf_setAsideBroken(path);
        lf_resetValues();
        return lf_writeDocument(lf_defaultsDocument(), path);
    }

    bool changed = false;
    std::set<std::string, std::less<>> seen;
    pugi::xml_node root = doc.child("parameters");
    // Further "parameters" roots are not ours either.
    for (pugi::xml_node extra = root.next_sibling("parameters"); extra;) {
        pugi::xml_node next = extra.next_sibling("parameters");
        doc.remove_child(extra);
        extra = next;
        changed = true;
    }
    for (pugi::xml_node e = root.first_child(); e;) {
        pugi::xml_node next = e.next_sibling();
        std::string name = e.attribute("name").value();
        Parameter* p = std::string_view(e.name()) == "parameter" ? gf_findParameter(name) : nullptr;
        if (p == nullptr || seen.count(name) != 0) {
            root.remove_child(e);
            changed = true;
        } else {
            seen.insert(name);
            p->resetToDefault();
            pugi::xml_attribute attr = e.attribute("value");
            const char* value = attr.value();
            if (!attr || !p->setText(value))
                lf_loadLimiter().logError(fmt::format("parameter {} has the invalid value \"{}\", {} used", name,
                                                      lf_shown(value), p->defaultText()));
            else if (!p->takesTextAsIs(value))
                lf_loadLimiter().logError(fmt::format("parameter {} has the value \"{}\" out of its range, {} used",
                                                      name, lf_shown(value), p->text()));
        }
        e = next;
    }
    for (Parameter* p : lf_registry()) {
        if (seen.count(p->name()) != 0) continue;
        p->resetToDefault();
        lf_appendEntry(root, *p, p->defaultText());
        changed = true;
    }
    gf_setLateralRange(LATERAL_RANGE.value());
    if (changed) return lf_writeDocument(doc, path);
    return true;
}

bool gf_saveParameter(const Parameter& parameter) {
    std::lock_guard lock(parametersMutex);
    if (!gf_makeProgramFolder()) {
        gf_logError(fmt::format("could not make the folder \"{}\"", gf_utf8FromPath(gf_programFolder())));
        return false;
    }
    const std::filesystem::path path = gf_parametersPath();
    pugi::xml_document doc;
    LoadResult loaded = lf_loadDocument(doc, path);
    if (loaded != LoadResult::Loaded) {
        if (loaded == LoadResult::Broken) lf_setAsideBroken(path);
        doc.reset(lf_defaultsDocument());
    }
    std::string value = parameter.text();
    pugi::xpath_node hit = doc.select_node(gf_parameterXPath(parameter.name()).c_str());
    if (hit) {
        pugi::xml_node e = hit.node();
        pugi::xml_attribute a = e.attribute("value");
        if (!a) a = e.append_attribute("value");
        a = value.c_str();
    } else {
        lf_appendEntry(doc.child("parameters"), parameter, value);
    }
    return lf_writeDocument(doc, path);
}

void gf_saveBoolParameter(const BoolParameter& parameter) {
    gf_saveParameter(parameter);
}

}  // namespace vdl
