#include "liveries/livery_regcodes.h"

#include <fmt/format.h>

#include <filesystem>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "refdata/download.h"
#include "refdata/identity.h"
#include "refdata/regcodes.h"
#include "window/main_window.h"

namespace vdl {

namespace {

struct ApplyCounts {
    size_t added = 0;
    size_t replaced = 0;
    size_t special = 0;
};

void lf_addLiveryRegcode(std::vector<std::string>& clashes, const LiveryRecord& liv) {
    if (liv.atcid.empty()) return;
    const TitleView title = liv.title;
    if (title.empty()) {
        clashes.push_back(fmt::format("==> [{}] {} \"{}\" not available, system error, should not happen?",
                                      gf_airlModelKey(liv), liv.atcid, liv.title));
        return;
    }
    auto [it, inserted] = regcodeTitles.try_emplace(liv.atcid, title);
    if (inserted || it->second == title) return;
    clashes.push_back(fmt::format("{} \"{}\" => already in use by \"{}\"", liv.atcid, liv.title, it->second));
}

void lf_applyRegcode(const std::string& reg, TitleView title, ApplyCounts& counts) {
    auto [it, inserted] = regcodeTitles.try_emplace(reg, title);
    if (inserted) {
        ++counts.added;
        return;
    }
    if (it->second == title) return;
    regcodeMessages.push_back(
        fmt::format("   regcode {} for \"{}\", instead of the same for \"{}\"", reg, title, it->second));
    it->second = title;
    ++counts.replaced;
}

void lf_applyRegcodeRecords(const std::vector<LiveryRegcodes>& records) {
    ApplyCounts counts;
    for (const auto& record : records) {
        const TitleView title = gf_findCatalogueTitle(record.title);
        if (title.empty()) continue;  // not installed
        for (const auto& reg : record.regs) lf_applyRegcode(reg, title, counts);
        if (record.special) {
            gf_addSpecialTitle(title);
            ++counts.special;
        }
    }
    std::string line = fmt::format("{} new regcode{} added", counts.added, gf_plural(counts.added));
    if (counts.replaced > 0)
        line += fmt::format(", {} regcode{} replaced", counts.replaced, gf_plural(counts.replaced));
    if (counts.special > 0)
        line += fmt::format(", {} regcode{} defined as special", counts.special, gf_plural(counts.special));
    regcodeMessages.push_back(std::move(line));
}

void lf_applyAigRegcodes(const std::filesystem::path& path) {
    regcodeMessages.push_back("Processing file " + gf_utf8FromPath(path));
    std::vector<LiveryRegcodes> records;
    if (!gf_readAigRegcodes(path, records))
        regcodeMessages.push_back(fmt::format(
            "There were errors in processing the AIG-regcode file \"{}\", see the Log.txt", gf_utf8FromPath(path)));
    lf_applyRegcodeRecords(records);
}

void lf_applyUserRegcodes() {
    if (gf_countFiles(myRegcodesFolder) == 0) return;
    regcodeMessages.push_back("Processing files in " + gf_utf8FromPath(myRegcodesFolder));
    std::vector<LiveryRegcodes> records;
    if (!gf_readRegcodeFiles(myRegcodesFolder, records))
        gf_setStatusLine(
            fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                        gf_utf8FromPath(myRegcodesFolder)),
            true);
    lf_applyRegcodeRecords(records);
}

// Writes a report with its folder; a failure is logged and leaves the build going without it.
bool lf_writeReportFile(const std::vector<std::string>& lines, const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (!ec && gf_writeLines(lines, path)) return true;
    gf_logError(fmt::format("could not write \"{}\"{}", gf_utf8FromPath(path), ec ? ": " + ec.message() : ""));
    return false;
}

// Removes a file when it exists; one that cannot go is logged and the build goes on.
void lf_removeFile(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    // A plain file where its folder should be: there is no such file.
    if (ec && ec != std::errc::not_a_directory)
        gf_logError(fmt::format("could not delete \"{}\": {}", gf_utf8FromPath(path), ec.message()));
}

size_t lf_appendDontUse(const std::vector<LiveryRegcodes>& records) {
    size_t count = 0;
    for (const auto& record : records) {
        // A special record without registrations still names a wanted livery.
        if (!record.regs.empty() || record.special) continue;
        if (dontUseTitles.insert(record.title).second) ++count;
    }
    return count;
}

}  // namespace

void gf_removeInlineRegcodes() {
    lf_removeFile(inlineRegcodesPath);
}

void gf_buildRegcodeTitles(const std::vector<LiveryRecord>& records) {
    std::vector<std::string> clashes;
    size_t withReg = 0;
    for (const auto& liv : records) withReg += liv.atcid.empty() ? 0 : 1;
    regcodeTitles.reserve(regcodeTitles.size() + withReg);
    for (const auto& liv : records) lf_addLiveryRegcode(clashes, liv);
    if (clashes.empty()) return;
    if (!lf_writeReportFile(clashes, inlineRegcodesPath)) {
        gf_logError(fmt::format("{} in-line regcode clashes, not reported", clashes.size()));
        return;
    }
    gf_log(
        fmt::format("{} in-line regcode clashes, see \"{}\"", clashes.size(), gf_utf8FromPath(inlineRegcodesPath)));
}

void gf_processRegcodeFiles() {
    regcodeMessages.clear();
    // Without an update server nothing is fetched, which the server lookup has logged already.
    const bool serverSet = !gf_serverBase().empty();
    if (serverSet && gf_downloadUnzip(gf_utf8FromPath(aigRegcodesZip), aigRegcodesPath)) {
        lf_applyAigRegcodes(aigRegcodesPath);
        lf_removeFile(aigRegcodesPath);
    } else if (serverSet) {
        gf_logError("reading AIG-regcodes failed?");
    }
    lf_applyUserRegcodes();
    lf_removeFile(offlineRegcodesPath);
    if (regcodeMessages.empty()) return;
    if (!lf_writeReportFile(regcodeMessages, offlineRegcodesPath)) return;
    gf_log(fmt::format("Offline regcode files processed, results can be found in \"{}\"",
                       gf_utf8FromPath(offlineRegcodesPath)));
    if (!specialTitles.empty()) gf_log(fmt::format("{} special liveries", specialTitles.size()));
}

void gf_readDontUseTitlesAig(const std::filesystem::path& path) {
    std::vector<LiveryRegcodes> records;
    if (!gf_readAigRegcodes(path, records)) {
        const auto line =
            fmt::format("There were errors in processing the file \"{}\", see the Log.txt", gf_utf8FromPath(path));
        regcodeMessages.push_back(line);
        gf_logError(line);  // the build empties regcodeMessages before writing them
    }
    const size_t count = lf_appendDontUse(records);
    gf_log(fmt::format("{} don't use title{} read", count, gf_plural(count)));
}

void gf_readDontUseTitlesUser() {
    std::vector<LiveryRegcodes> records;
    if (!gf_readRegcodeFiles(myRegcodesFolder, records)) {
        const auto line =
            fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                        gf_utf8FromPath(myRegcodesFolder));
        regcodeMessages.push_back(line);
        gf_logError(line);
    }
    const size_t count = lf_appendDontUse(records);
    gf_log(fmt::format("{} don't use title{} read from files in {}", count, gf_plural(count),
                       gf_utf8FromPath(myRegcodesFolder)));
}

}  // namespace vdl
