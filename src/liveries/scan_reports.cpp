#include "liveries/scan_reports.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "liveries/livery_regcodes.h"
#include "refdata/dbase.h"
#include "refdata/download.h"

namespace vdl {

namespace {

namespace fs = std::filesystem;

const fs::path invalidAirlinesPath{"output/errors/InvalidAirlineCodes.txt"};
const fs::path invalidModelsPath{"output/errors/InvalidAircraftCodes.txt"};
const fs::path fixesPath{"output/errors/Fixes.txt"};
const fs::path invalidCfgPath{"output/errors/InvalidAircraftCfgFiles.txt"};
const fs::path incompletePath{"output/errors/IncompleFltsimSections.txt"};
const fs::path emptyCfgPath{"output/info/AircraftCfgWithNoFltsimSection.txt"};
const fs::path correctionsPath{"output/info/AirlineModelConversions.txt"};
const fs::path skippedOnPriorityPath{"output/info/LiveriesSkippedOnPriority.txt"};

// Writes the lines (sorted when asked) and logs the summary, or that the file could not be written.
template <typename Summary>
void lf_writeReport(std::vector<std::string> lines, bool sorted, const fs::path& path, Summary summary) {
    if (sorted) std::sort(lines.begin(), lines.end());
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec || !gf_writeLines(lines, path)) {
        gf_logError(fmt::format("{} lines of {} could not be written", lines.size(), gf_utf8FromPath(path)));
        return;
    }
    gf_log(summary(lines.size(), gf_utf8FromPath(path)));
}

}  // namespace

void gf_reportInvalidAirline(std::string_view airline, std::string_view path, std::string_view firstLine) {
    invalidAirlineCodes.append(fmt::format("{:12} in {} {}", airline, path, firstLine));
}

void gf_reportInvalidModel(std::string_view code, std::string_view path) {
    invalidModelCodes.append(fmt::format("{:16} in {}", code, path));
}

void gf_reportFix(std::string line) {
    modelFixes.append(std::move(line));
}

void gf_reportInvalidCfg(std::string line) {
    invalidCfgFiles.append(std::move(line));
}

void gf_reportIncompleteSection(std::string line) {
    incompleteSections.append(std::move(line));
}

void gf_reportEmptyCfg(std::string path) {
    emptyCfgFiles.append(std::move(path));
}

bool gf_takeScannedTitle(const std::string& title) {
    return scannedTitles.take(title);
}

void gf_removeOldScanReports() {
    // LiveriesScanned.xml is not among them: a failed scan keeps the catalogue.
    const std::array<const fs::path*, 9> old = {&emptyCfgPath,        &skippedOnPriorityPath, &inlineRegcodesPath,
                                                &invalidAirlinesPath, &invalidModelsPath,     &fixesPath,
                                                &invalidCfgPath,      &incompletePath,        &correctionsPath};
    try {
        for (const fs::path* path : old)
            if (fs::exists(*path)) fs::remove(*path);
        if (fs::exists(errorsFolder) && fs::is_empty(errorsFolder)) fs::remove(errorsFolder);
    } catch (const std::exception& e) {
        gf_log(fmt::format("problems with removing previous files: {}", e.what()));
    }
}

void gf_fetchAigRegcodes() {
    // Without an update server nothing is fetched, which the server lookup has logged already.
    if (!gf_serverBase().empty()) {
        if (gf_downloadUnzip(gf_utf8FromPath(aigRegcodesZip), aigRegcodesPath)) {
            gf_readDontUseTitlesAig(aigRegcodesPath);
            std::error_code ec;
            fs::remove(aigRegcodesPath, ec);
        } else {
            gf_logError(fmt::format("reading {} failed?", gf_utf8FromPath(aigRegcodesPath)));
        }
    }
    if (gf_countFiles(myRegcodesFolder) > 0) gf_readDontUseTitlesUser();
}

void gf_correctLiveryFromDbase(LiveryData& livery) {
    if (livery.atcid.empty()) return;
    const auto known = gf_regcodeData(livery.atcid);
    if (!known) return;
    if (known->cargo != livery.cargo) {
        dbaseCorrections.push_back(fmt::format("{:80} {} cargo {} => {}", livery.title, livery.atcid,
                                               gf_boolText(livery.cargo), gf_boolText(known->cargo)));
        livery.cargo = known->cargo;
    }
    // An empty value of the data base never overwrites what the livery says.
    const std::string& airline = known->opr.empty() ? known->airl : known->opr;
    if (!airline.empty() && airline != livery.airl) {
        dbaseCorrections.push_back(
            fmt::format("{:80} {} airl {} => {}", livery.title, livery.atcid, livery.airl, airline));
        livery.airl = airline;
    }
    if (!known->type.empty() && known->type != livery.type) {
        dbaseCorrections.push_back(
            fmt::format("{:80} {} model {} => {}", livery.title, livery.atcid, livery.type, known->type));
        livery.type = known->type;
    }
}

void gf_writeScanReports() {
    const bool noErrors = invalidAirlineCodes.size() == 0 && invalidModelCodes.size() == 0 &&
                          modelFixes.size() == 0 && invalidCfgFiles.size() == 0 && incompleteSections.size() == 0;
    gf_log(noErrors ? "\nNo errors" : "\nErrors:");
    const auto write = [](const ScanReport& report, bool sorted, const fs::path& path, auto summary) {
        auto lines = report.lines();
        if (!lines.empty()) lf_writeReport(std::move(lines), sorted, path, summary);
    };
    write(invalidAirlineCodes, true, invalidAirlinesPath, [](size_t n, const std::string& p) {
        return fmt::format("{} invalid airline code{}, see {}", n, gf_plural(n), p);
    });
    write(invalidModelCodes, true, invalidModelsPath, [](size_t n, const std::string& p) {
        return fmt::format("{} invalid model code{}, see {}", n, gf_plural(n), p);
    });
    write(modelFixes, false, fixesPath,
          [](size_t n, const std::string& p) { return fmt::format("{} code fixes, see {}", n, p); });
    write(invalidCfgFiles, true, invalidCfgPath,
          [](size_t n, const std::string& p) { return fmt::format("{} invalid aircraft.cfg files, see {}", n, p); });
    write(incompleteSections, true, incompletePath, [](size_t n, const std::string& p) {
        return fmt::format("{} incomplete [fltsim.x] sections, see {}", n, p);
    });
    gf_log("\nInformation:");
    write(emptyCfgFiles, true, emptyCfgPath,
          [](size_t n, const std::string& p) { return fmt::format("{} empty aircraft.cfg files, see {}", n, p); });
    if (!dbaseCorrections.empty())
        lf_writeReport(dbaseCorrections, false, correctionsPath, [](size_t n, const std::string& p) {
            return fmt::format("{} liveries updated with real live data from dbase, see {}", n, p);
        });
}

void gf_resetScanReports() {
    for (ScanReport* report :
         {&invalidAirlineCodes, &invalidModelCodes, &modelFixes, &invalidCfgFiles, &incompleteSections, &emptyCfgFiles})
        report->clear();
    dbaseCorrections.clear();
    scannedTitles.clear();
    dontUseTitles.clear();
}

}  // namespace vdl
