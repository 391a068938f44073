// The aircraft.cfg files of the IVAO model sets: the model comes from the aircraft's folder name
// and the airline from the livery title.
#include <fmt/format.h>

#include <array>

#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "liveries/cfg_lines.h"
#include "liveries/cfg_reader.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_reports.h"
#include "refdata/dbase.h"

namespace vdl {

namespace {

bool lf_isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool lf_isWord(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool lf_equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The aircraft's code when the path ends in "<sep><set><sep>SimObjects<sep>Airplanes<sep>IVAO_<code>
// <sep>aircraft?cfg" behind at least one character, ignoring case ('?' any character but CR and LF).
std::string lf_codeInSet(std::string_view path, std::string_view set) {
    if (path.find_first_of("\r\n") != std::string_view::npos) return {};
    constexpr std::string_view file = "aircraft?cfg";
    if (path.size() < file.size() + 1) return {};
    const std::string_view tail = path.substr(path.size() - file.size());
    if (!lf_equalNoCase(tail.substr(0, 8), "aircraft") || !lf_equalNoCase(tail.substr(9), "cfg")) return {};
    std::string_view rest = path.substr(0, path.size() - file.size());
    if (rest.empty() || !lf_isSeparator(rest.back())) return {};
    rest.remove_suffix(1);
    size_t start = rest.size();
    while (start > 0 && lf_isWord(rest[start - 1])) --start;
    const std::string_view folder = rest.substr(start);
    if (folder.size() < 6 || !lf_equalNoCase(folder.substr(0, 5), "IVAO_")) return {};
    rest = rest.substr(0, start);
    for (const std::string_view part : {std::string_view("Airplanes"), std::string_view("SimObjects"), set}) {
        if (rest.empty() || !lf_isSeparator(rest.back())) return {};
        rest.remove_suffix(1);
        if (rest.size() < part.size() || !lf_equalNoCase(rest.substr(rest.size() - part.size()), part)) return {};
        rest.remove_suffix(part.size());
    }
    if (rest.size() < 2 || !lf_isSeparator(rest.back())) return {};  // ".+" before the separator
    return std::string(folder.substr(5));
}

// The registration of an atc_id value of an IVAO section: one good registration, else "".
std::string lf_ivaoRegistration(std::string_view value, std::string_view title) {
    std::vector<std::string> items = gf_splitComma(value);
    for (auto& item : items) item = gf_registrationItem(item);
    for (const auto& item : items) {
        if (item.empty()) {
            gf_logScan(fmt::format("empty regcode in: {}", value));
            return {};
        }
        if (item.size() > 12) {
            gf_logScan(fmt::format("regcode: {}, has more than 12 chars in title: {}", item, title));
            return {};
        }
        if (item.find('*') != std::string::npos) {
            gf_logScanError(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", title, item));
            return {};
        }
        if (item == "G-BAFM") return {};
    }
    return items.size() == 1 ? items.front() : std::string();
}

}  // namespace

std::string gf_ivaoCodeOfPath(std::string_view path) {
    std::string code = lf_codeInSet(path, "IVAO_MTL");
    return code.empty() ? lf_codeInSet(path, "ivao_x-csl") : code;
}

std::string gf_ivaoModelOfPath(std::string_view path) {
    const std::string code = gf_ivaoCodeOfPath(path);
    if (code.empty()) {
        gf_reportInvalidModel("  ", path);
        return {};
    }
    return gf_checkModelCode(std::string(gf_utf8Prefix(code, 4)), path);
}

std::string gf_ivaoTitleAirline(std::string_view title, std::string_view model, bool special) {
    if (title.size() < model.size() || !lf_equalNoCase(title.substr(0, model.size()), model)) return {};
    size_t pos = model.size();
    if (special) {
        if (pos >= title.size() || (title[pos] != 'W' && title[pos] != 'w')) return {};
        ++pos;
    }
    while (pos < title.size() && (title[pos] == ' ' || title[pos] == '\t' || title[pos] == '\n' ||
                                  title[pos] == '\v' || title[pos] == '\f' || title[pos] == '\r'))
        ++pos;
    if (pos + 3 > title.size()) return {};
    for (size_t i = pos; i < pos + 3; ++i)
        if (!lf_isWord(title[i])) return {};
    if (title.find_first_of("\r\n", pos + 3) != std::string_view::npos) return {};  // ".*$"
    return std::string(title.substr(pos, 3));
}

LiveryData gf_procesIvaoFltSimSection(const SectionSource& source, CfgLines& lines) {
    static constexpr std::array<std::string_view, 5> specialFolders = {
        "IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM", "IVAO_A320wIAE", "IVAO_A319fIAEw"};
    bool special = false;
    for (const auto name : specialFolders) special = special || source.folder.find(name) != std::string_view::npos;

    LiveryData none;
    gf_dropTrailingLines(lines);
    if (lines.empty()) return none;
    const std::string_view header = lines.front();
    const auto reject = [&](std::string_view what) {
        gf_reportIncompleteSection(fmt::format("{} {} {}", source.folder, header, what));
        return none;
    };

    std::string title, parkingTypes, registration, texture, value;
    bool haveTexture = false;
    for (const auto line : lines) {
        if (title.empty() && gf_readTitle(line, value)) {
            if (gf_hasControlByte(value)) return reject("has a control character in its title");
            title = gf_trim(value);
            if (title != value) gf_logScan(fmt::format("removed spaces around title \"{}\" --> \"{}\"", value, title));
            value.clear();
        } else if (!title.empty() && gf_readTitle(line, value)) {
            return reject("has more than one title key");
        } else if (const KeyLine parking = gf_parkingTypesLine(line, parkingTypes); parking != KeyLine::Other) {
            if (parking == KeyLine::Second) return reject("has more than one atc_parking_types key");
        } else if (registration.empty() && gf_readAtcId(line, value)) {
            if (gf_hasControlByte(value)) return reject("has a control character in its atc_id");
            registration = lf_ivaoRegistration(value, title);
        } else if (!registration.empty() && gf_mentions(line, "atc_id=")) {
            gf_reportIncompleteSection(fmt::format("{}, {}, has more than one atc_id key", source.folder, header));
            return none;
        } else if (!haveTexture && gf_readTexture(line, texture)) {
            haveTexture = true;
        }
    }

    const std::filesystem::path textureFolder = gf_pathFromUtf8(source.folder) / gf_pathFromUtf8("texture." + texture);
    std::error_code ec;
    if (!std::filesystem::is_directory(textureFolder, ec)) {
        gf_reportIncompleteSection(fmt::format("{} {} does not exist", gf_utf8FromPath(textureFolder), header));
        return none;
    }
    if (title.empty()) return reject("misses title");
    if (dontUseTitles.contains(title)) return none;

    std::string airline = gf_ivaoTitleAirline(title, source.model, special);
    if (!airline.empty()) {
        if (!gf_isValidAirline(airline)) {
            gf_reportInvalidAirline(airline, source.path, header);
            return none;
        }
        if (airline == "ZZZ") registration.clear();
    } else if (registration.empty()) {
        return reject(fmt::format("misses airlinecode in title: {}, and no regcode", title));
    } else if (const auto known = gf_regcodeData(registration)) {
        airline = known->airl;
    } else {
        return reject(fmt::format("misses airlinecode in title: {}, and regcode unknown{}", title, registration));
    }
    if (!gf_takeScannedTitle(title)) return reject(fmt::format("title already exists: {}", title));
    return {std::move(airline), std::string(source.model), std::move(title), std::move(registration),
            source.folderNo, false};
}

std::list<LiveryData> gf_searchIvaoLiveriesinFile(int32_t folderNo, const std::filesystem::path& file) {
    WorkerSlotGuard slot;
    const std::filesystem::path path = std::filesystem::path(file).make_preferred();  // one separator in reports
    std::list<LiveryData> result;
    const std::string pathText = gf_utf8FromPath(path);
    const std::string model = gf_ivaoModelOfPath(pathText);
    if (model.empty()) return result;
    const std::string folder = gf_utf8FromPath(path.parent_path());
    CfgText cfg;
    const CfgRead read = gf_readCfgFile(path, cfg);
    if (read == CfgRead::CannotOpen) {
        gf_logScanError(fmt::format("no character set found for {}", pathText));
        return result;
    }
    if (read == CfgRead::TooLarge || read == CfgRead::TooManyLines) {
        gf_reportOversizedCfg(pathText, read);
        return result;
    }
    if (read != CfgRead::Ok) {
        gf_logScanError(fmt::format("could not read \"{}\"", pathText));
        return result;
    }
    if (!gf_checkFltsimNumbers(cfg.lines, pathText)) return result;
    const SectionSource source{folderNo, model, pathText, folder};
    gf_cutSections(cfg.lines, true, [&](CfgLines& section) {
        LiveryData livery = gf_procesIvaoFltSimSection(source, section);
        if (!livery.airl.empty()) result.push_back(std::move(livery));
    });
    return result;
}

}  // namespace vdl
