// The rules that turn one [fltsim.N] section of an ordinary aircraft.cfg into a livery.
#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "liveries/cfg_lines.h"
#include "liveries/cfg_reader.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "refdata/dbase.h"

namespace vdl {

namespace {

bool lf_isBig(std::string_view model) {
    const AircraftCategory category = gf_modelCategory(model);
    return category == AircraftCategory::Large || category == AircraftCategory::Heavy;
}

// The registration of an atc_id value: one good registration, else "" (the fault logged).
std::string lf_registration(std::string_view value, std::string_view title) {
    const std::string_view cut = value.substr(0, value.find(';'));
    std::vector<std::string> items = gf_splitComma(cut);
    for (auto& item : items) item = gf_registrationItem(item);
    if (items.empty()) {
        gf_logScan(fmt::format("invalid atc_id={} ==> in: {}", cut, title));
        return {};
    }
    for (const auto& item : items) {
        if (item.empty()) {
            gf_logScan(fmt::format("empty regcode in {} {}", title, cut));
            return {};
        }
        if (item.size() > 12) {
            gf_logScan(
                fmt::format("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?", item, title));
            return {};
        }
        if (item.find('*') != std::string::npos) {
            gf_logScanError(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", title, item));
            return {};
        }
    }
    // A livery that names several registrations keeps none.
    return items.size() == 1 ? items.front() : std::string();
}

std::list<LiveryData> lf_section(const SectionSource& source, CfgLines& lines) {
    std::list<LiveryData> result;
    gf_dropTrailingLines(lines);
    if (lines.empty()) return result;
    const std::string_view header = lines.front();
    const auto reject = [&](std::string_view what) {
        gf_reportIncompleteSection(fmt::format("{} {} {}", source.folder, header, what));
        return result;
    };

    std::string title, airline, parkingTypes, registration, value;
    for (const auto line : lines) {
        if (title.empty() && gf_readTitle(line, title)) {
            if (gf_hasControlByte(title)) return reject("has a control character in its title");
            title = gf_trim(title);
            if (title.find("FenixA320") != std::string::npos || title.find("PMDG 737") != std::string::npos ||
                (SUPPRESS_STUB.value() && title.ends_with("-STUB")))
                return result;
        } else if (!title.empty() && gf_readTitle(line, value)) {
            return reject("has more than one title key");
        } else if (airline.empty() && gf_readIcaoAirline(line, airline)) {
            gf_trimCommaList(airline);
            if (airline.size() == 4 && (airline[3] == 'X' || airline[3] == 'C')) airline.resize(3);
            if (gf_isValidAirline(airline)) continue;
            if (airline == "RFO") return result;
            gf_reportInvalidAirline(airline, source.path, header);
            airline.clear();
        } else if (!airline.empty() && gf_mentions(line, "icao_airline")) {
            return reject("has more than one icao_airline key");
        } else if (const KeyLine parking = gf_parkingTypesLine(line, parkingTypes); parking != KeyLine::Other) {
            if (parking == KeyLine::Second) return reject("has more than one atc_parking_types key");
        } else if (registration.empty() && gf_readAtcId(line, value)) {
            if (gf_hasControlByte(value)) return reject("has a control character in its atc_id");
            registration = lf_registration(value, title);
        } else if (!registration.empty() && gf_mentions(line, "atc_id=")) {
            gf_reportIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", source.folder, header));
            return result;
        }
    }

    if (title.empty()) return reject("misses title");
    if (dontUseTitles.contains(title)) return result;
    if (airline == "ZZZ") registration.clear();
    if (airline.empty() && registration.empty()) {
        if (lf_isBig(source.model)) {
            gf_reportIncompleteSection(
                fmt::format("\"{}\" \"{}\" has no airline and no regcode info", source.folder, header));
            return result;
        }
        airline = "PVT";
        registration = gf_findPvtPrefix(title);
    } else if (airline.empty()) {
        if (const auto known = gf_regcodeData(registration)) {
            airline = known->airl;
        } else if (lf_isBig(source.model)) {
            gf_reportIncompleteSection(fmt::format(
                "\"{}\" \"{}\" has no airline and its regcode is not in my dbase (very old liv?)", source.folder,
                header));
            return result;
        } else {
            airline = "PVT";
        }
    }
    const bool cargo =
        parkingTypes.find("CARGO") != std::string::npos && parkingTypes.find("GATE") == std::string::npos;
    if (!gf_takeScannedTitle(title)) return reject(fmt::format("title \"{}\" already exists", title));
    result.push_back({std::move(airline), std::string(source.model), std::move(title), std::move(registration),
                      source.folderNo, cargo});
    return result;
}

}  // namespace

std::list<LiveryData> gf_procesFltSimSection(const SectionSource& source, CfgLines& lines) {
    try {
        return lf_section(source, lines);
    } catch (const std::exception& e) {
        gf_logScan(fmt::format("exception in gf_procesFltSimSection: {}, file: {}", e.what(), source.path));
        throw;
    }
}

}  // namespace vdl
