#include "refdata/updater.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "refdata/zip_archive.h"
#include "window/main_window.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

void lf_removeSilently(const fs::path& p) {
    std::error_code ec;
    fs::remove_all(p, ec);
}

std::optional<Version> lf_versionOfJson(std::string_view text) {
    const auto j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    return Version::fromJson(j);
}

// A zip entry name as a plain file name: the archive is flat, and no entry may reach outside
// the folder it is unpacked into.
std::optional<std::string> lf_safeFileName(std::string_view entryName) {
    const auto slash = entryName.find_last_of("/\\");
    std::string name(slash == std::string_view::npos ? entryName : entryName.substr(slash + 1));
    if (name.empty() || name == "." || name == "..") return std::nullopt;
    return name;
}

bool lf_updateMySimaddon() {
    const std::string base = gf_serverBase();
    if (base.empty()) return false;  // the notice is in the log
    const std::string folderUrl = base + std::string(serverFolder2024);
    const auto serverText = gf_downloadText(folderUrl + std::string(mySimaddonVersionName));
    if (!serverText) return false;
    const auto server = lf_versionOfJson(*serverText);
    if (!server) {
        gf_logError(fmt::format("no version in \"{}{}\"", folderUrl, mySimaddonVersionName));
        return false;
    }
    const fs::path localVersionFile = mySimaddonFolder / std::string(mySimaddonVersionName);
    std::optional<Version> local;
    if (auto lines = gf_readFileLines(localVersionFile)) {
        std::string text;
        for (const auto& l : *lines) text += l;
        local = lf_versionOfJson(text);
    }
    if (local && !(*server > *local)) {
        gf_log(fmt::format("my_simaddon {} is up to date", local->text()));
        return false;
    }

    const fs::path zipPath = std::string(mySimaddonZipName);
    fs::path staging = mySimaddonFolder;
    staging += ".new";
    if (!gf_download(folderUrl + std::string(mySimaddonZipName), zipPath, true)) return false;
    lf_removeSilently(staging);
    bool ok = true;
    std::vector<std::string> names;
    {
        ZipArchive zip(zipPath);
        if (!zip.open()) {
            gf_logError(zip.error());
            ok = false;
        } else {
            fs::create_directories(staging);
            // The cap holds for the whole list, not for each file.
            uint64_t left = gf_unzipLimitBytes();
            for (const auto& entry : zip.entries()) {
                if (entry.isDirectory()) continue;
                const auto name = lf_safeFileName(entry.name);
                if (!name || *name == mySimaddonVersionName) continue;
                if (std::find(names.begin(), names.end(), *name) != names.end()) continue;  // first one wins
                zip.setSizeLimit(left);
                if (!zip.readToFile(entry, staging / *name)) {
                    gf_logError(zip.error());
                    ok = false;
                    break;
                }
                left -= entry.size;
                names.push_back(*name);
            }
        }
    }
    lf_removeSilently(zipPath);
    if (!ok) {
        lf_removeSilently(staging);
        return false;
    }
    // Everything is unpacked: only now is the old content given up.
    fs::create_directories(mySimaddonFolder);
    gf_removeAllFilesInFolderViaHook(mySimaddonFolder);
    for (const auto& name : names) fs::rename(staging / name, mySimaddonFolder / name);
    lf_removeSilently(staging);
    if (!gf_writeTextFile(*serverText, localVersionFile, false))
        gf_logError(fmt::format("cannot write \"{}\"", gf_utf8FromPath(localVersionFile)));
    gf_log(fmt::format("my_simaddon updated to {}: {} file{}", server->text(), names.size(), gf_plural(names.size())));
    return true;
}

}  // namespace

std::optional<Version> gf_metaVersion(const fs::path& xmlFile) {
    pugi::xml_document doc;
    if (!gf_loadXmlFile(doc, xmlFile)) return std::nullopt;
    const auto node = doc.select_node("//meta/info[@name='version']");
    if (!node) return std::nullopt;
    const std::string text = node.node().attribute("value").as_string();
    // Up to three groups of digits ("1.2.3", "2024-08-01"); data files may carry a plain number
    // ("7") or fewer parts, and missing parts count 0.
    int parts[3] = {0, 0, 0};
    int count = 0;
    size_t i = 0;
    while (i < text.size() && count < 3) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        long long n = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && n <= 1000000000LL)
            n = n * 10 + (text[i++] - '0');
        if (n > 1000000000LL) return std::nullopt;
        parts[count++] = static_cast<int>(n);
    }
    if (count == 0) return std::nullopt;
    return Version{parts[0], parts[1], parts[2]};
}

std::optional<Version> gf_checkProgramVersion() {
    try {
        const std::string base = gf_serverBase();
        if (base.empty()) return std::nullopt;  // the notice is in the log
        const std::string url = base + std::string(programVersionPath);
        const auto text = gf_downloadText(url);
        if (!text) return std::nullopt;
        const auto server = lf_versionOfJson(*text);
        if (!server) {
            gf_logError(fmt::format("no version in \"{}\"", url));
            return std::nullopt;
        }
        if (!(*server > programVersion)) {
            gf_log(fmt::format("{} {} is the latest version", programName, programVersion.text()));
            return std::nullopt;
        }
        const std::string setup =
            base + "release/" + fmt::format(fmt::runtime(setupFileTemplate), programName, server->text());
        gf_log(fmt::format("{} {} is available (running {}): {}", programName, server->text(), programVersion.text(),
                           setup));
        gf_setStatusLine(fmt::format("{} {} is available, see Log.txt", programName, server->text()), false);
        return server;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("gf_checkProgramVersion: {}", e.what()));
        return std::nullopt;
    }
}

bool gf_updateDbase(const fs::path& dbaseFile) {
    fs::path download = dbaseFile;
    download += ".download";
    try {
        if (!gf_downloadUnzip(std::string(dbaseZipName), download)) return false;
        const auto server = gf_metaVersion(download);
        if (!server) {
            gf_logError(fmt::format("{} holds no data base with a version", dbaseZipName));
            lf_removeSilently(download);
            return false;
        }
        const auto local = gf_metaVersion(dbaseFile);
        if (local && !(*server > *local)) {
            gf_log(fmt::format("{} {} is up to date", gf_utf8FromPath(dbaseFile.filename()), local->text()));
            lf_removeSilently(download);
            return false;
        }
        fs::rename(download, dbaseFile);
        gf_log(fmt::format("{} updated from {} to {}", gf_utf8FromPath(dbaseFile.filename()),
                           local ? local->text() : std::string("none"), server->text()));
        return true;
    } catch (const std::exception& e) {
        gf_logError(fmt::format("gf_updateDbase: {}", e.what()));
        lf_removeSilently(download);
        return false;
    }
}

bool gf_updateMySimaddon() {
    try {
        return lf_updateMySimaddon();
    } catch (const std::exception& e) {
        gf_logError(fmt::format("gf_updateMySimaddon: {}", e.what()));
        return false;
    }
}

UpdaterOutcome gf_runUpdater() {
    UpdaterOutcome outcome;
    // Without a server nothing is asked for; gf_serverBase said so once in the log.
    if (gf_serverBase().empty()) return outcome;
    outcome.newerProgram = gf_checkProgramVersion();
    outcome.dbaseReplaced = gf_updateDbase();
    outcome.mySimaddonRefilled = gf_updateMySimaddon();
    return outcome;
}

}  // namespace vdl
