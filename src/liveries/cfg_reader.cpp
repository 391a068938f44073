#include "liveries/cfg_reader.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "liveries/cfg_lines.h"
#include "liveries/scan_reports.h"
#include "refdata/dbase.h"

namespace vdl {

namespace {

LogLimiter& lf_scanLimiter() {
    static LogLimiter limiter("livery scan", 100);
    return limiter;
}

}  // namespace

void gf_logScan(std::string_view text) {
    lf_scanLimiter().log(text);
}

void gf_logScanError(std::string_view text) {
    lf_scanLimiter().logError(text);
}

bool gf_checkFltsimNumbers(const CfgLines& lines, std::string_view path) {
    std::vector<int32_t> numbers;
    for (const auto line : lines) {
        const std::string number = gf_sectionNumber(line);
        if (number.empty()) continue;
        int32_t value = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
        if (ec != std::errc() || end != number.data() + number.size()) {
            gf_logScanError(fmt::format("fltsim num {} incorrect", line));
            return false;
        }
        numbers.push_back(value);
    }
    if (numbers.empty()) {
        gf_reportEmptyCfg(std::string(path));
        return true;
    }
    std::sort(numbers.begin(), numbers.end());
    int32_t expected = 0;
    for (const int32_t n : numbers) {
        if (n != expected) {
            const std::string message = n == 10000 ? std::string("a [fltsim.] section without a number")
                                                   : fmt::format("non-consecutive [fltsim.x] numbers at .x={}", n);
            gf_reportInvalidCfg(fmt::format("{} contains {}", path, message));
            return false;
        }
        ++expected;
    }
    return true;
}

void gf_reportOversizedCfg(std::string_view path, CfgRead why) {
    if (why == CfgRead::TooLarge)
        gf_reportInvalidCfg(fmt::format("{} is larger than {} bytes and was not read", path, maxCfgBytes));
    else
        gf_reportInvalidCfg(fmt::format("{} has more than {} lines and was not read", path, maxCfgLines));
}

std::string gf_checkModelCode(const std::string& code, std::string_view path) {
    if (gf_isValidModel(code)) return code;
    const auto& fixMap = fixes();
    if (const auto it = fixMap.find(code); it != fixMap.end()) {
        gf_reportFix(fmt::format("Model fix: {} found in {} changed into {}", code, path, it->second));
        return it->second;
    }
    gf_reportInvalidModel(code, path);
    return {};
}

std::string gf_modelOfFile(std::string_view path, const CfgLines& lines) {
    for (const auto line : lines) {
        const std::string code = gf_icaoTypeDesignator(line);
        if (!code.empty()) return gf_checkModelCode(code, path);
    }
    for (const auto line : lines) {
        const std::string code = gf_baseContainerModel(line);
        if (!code.empty()) return gf_checkModelCode(code, path);
    }
    if (path.find("pmdg-aircraft-7") == std::string_view::npos &&
        path.find("fnx-aircraft-3") == std::string_view::npos)
        gf_reportInvalidCfg(
            fmt::format("Line icao_type_designator= is missing in [General] section of {}", path));
    return {};
}

void gf_cutSections(const CfgLines& lines, bool ivao, const std::function<void(CfgLines&)>& handOver) {
    CfgLines section;
    section.reserve(48);
    bool inSection = false;
    for (const auto line : lines) {
        if (!gf_sectionNumber(line).empty()) {
            if (!section.empty()) {
                handOver(section);
                section.clear();
            }
            inSection = true;
            section.push_back(line);
            continue;
        }
        const size_t bracket = line.find('[');
        if (bracket != std::string_view::npos && (ivao || bracket < 6)) {
            if (inSection) {
                handOver(section);
                section.clear();
                inSection = false;
            }
            continue;
        }
        if (inSection) section.push_back(line);
    }
    if (inSection && !section.empty()) handOver(section);
}

KeyLine gf_parkingTypesLine(std::string_view line, std::string& types) {
    if (!types.empty()) return gf_mentions(line, "atc_parking_types") ? KeyLine::Second : KeyLine::Other;
    if (!gf_readParkingTypes(line, types)) return KeyLine::Other;
    gf_trimCommaList(types);
    types = gf_toUpper(types);
    return KeyLine::Taken;
}

void gf_dropTrailingLines(CfgLines& lines) {
    while (!lines.empty() && (lines.back().empty() || lines.back().starts_with("//"))) lines.pop_back();
}

std::list<LiveryData> gf_searchLiveriesinFile(int32_t folderNo, const std::filesystem::path& file) {
    WorkerSlotGuard slot;
    const std::filesystem::path path = std::filesystem::path(file).make_preferred();  // one separator in reports
    std::list<LiveryData> result;
    const std::string pathText = gf_utf8FromPath(path);
    try {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) return result;
        const std::string folder = gf_utf8FromPath(path.parent_path());
        CfgText cfg;
        const CfgRead read = gf_readCfgFile(path, cfg);
        if (read == CfgRead::CannotOpen) {
            gf_logScanError(fmt::format("could not open \"{}\"", pathText));
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
        const std::string model = gf_modelOfFile(pathText, cfg.lines);
        if (model.empty()) return result;
        const SectionSource source{folderNo, model, pathText, folder};
        gf_cutSections(cfg.lines, false, [&](CfgLines& section) {
            result.splice(result.end(), gf_procesFltSimSection(source, section));
        });
    } catch (const std::exception& e) {
        gf_logScan(fmt::format("exception in gf_searchLiveriesinFile {}: {}", pathText, e.what()));
        throw;
    }
    return result;
}

}  // namespace vdl
