#include "refdata/packages.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>
#include <sstream>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/paths.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "refdata/dbase.h"
#include "refdata/hooks.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

std::mutex communityMutex;
fs::path communityPath;

std::string lf_lowerCase(std::string_view text) {
    std::string s(text);
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

StringParameter& lf_installParameter() { return MSFS_2020.value() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH; }

std::optional<std::string> lf_readWholeFile(const fs::path& file) {
    if (!gf_isRegularFile(file)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool lf_deriveCommunityPath() {
    StringParameter& param = lf_installParameter();
    std::string install = param.value();
    if (install.empty()) {
        for (const auto& cfg : gf_userCfgCandidates()) {
            auto text = lf_readWholeFile(cfg);
            if (!text) continue;
            if (auto found = gf_installedPackagesPath(*text)) {
                install = *found;
                gf_log(fmt::format("InstalledPackagesPath \"{}\" read from \"{}\"", install, gf_utf8FromPath(cfg)));
                break;
            }
            gf_logError(fmt::format("no InstalledPackagesPath in \"{}\"", gf_utf8FromPath(cfg)));
        }
        if (!install.empty()) param.set(install);
    }
    fs::path community;
    if (!install.empty()) community = gf_pathFromText(install) / "Community";
    {
        std::lock_guard lock(communityMutex);
        communityPath = community;
    }
    if (community.empty()) {
        gf_logError("the simulator's packages folder is not known");
        return false;
    }
    gf_log(fmt::format("Community folder \"{}\"", gf_utf8FromPath(community)));
    return true;
}

ManifestInfo lf_searchManifest(std::string_view bglPath) {
    ManifestInfo info;
    const fs::path file = gf_pathFromText(bglPath);
    std::error_code ec;
    for (fs::path dir = file.parent_path(); !dir.empty(); dir = dir.parent_path()) {
        const fs::path manifest = dir / "manifest.json";
        if (fs::is_regular_file(manifest, ec)) {
            auto text = lf_readWholeFile(manifest);
            if (!text) return info;
            if (text->starts_with("\xEF\xBB\xBF")) text->erase(0, 3);
            const auto j = nlohmann::json::parse(*text, nullptr, false);
            if (j.is_discarded() || !j.is_object()) return info;
            auto str = [&](const char* key) {
                auto it = j.find(key);
                return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
            };
            info.manufacturer = str("manufacturer");
            info.creator = str("creator");
            info.title = str("title");
            info.packageFolder = dir;
            info.found = true;
            return info;
        }
        if (dir == dir.parent_path()) break;  // the root
    }
    return info;
}

bool lf_isSimulatorPackage(std::string_view folderName) {
    const std::string f = lf_lowerCase(folderName);
    return f.starts_with("microsoft-") || f.starts_with("asobo-") || f.starts_with("fs-base");
}

// The longest publisher key that is the folder name or its start before '-' or '_'.
std::optional<std::string> lf_publisherOfFolder(std::string_view folderName) {
    const std::string f = lf_lowerCase(folderName);
    const auto& names = gf_publisherNames();
    std::optional<std::string> best;
    size_t bestLen = 0;
    for (const auto& [key, canonical] : names) {
        if (key.empty() || key.size() < bestLen) continue;
        const bool match = f == key || (f.size() > key.size() && f.starts_with(key) &&
                                        (f[key.size()] == '-' || f[key.size()] == '_'));
        if (match && (key.size() > bestLen || !best)) {
            best = canonical;
            bestLen = key.size();
        }
    }
    return best;
}

std::optional<std::string> lf_publisherOfName(std::string_view name) {
    if (name.empty()) return std::nullopt;
    const auto& names = gf_publisherNames();
    auto it = names.find(lf_lowerCase(gf_trim(name)));
    if (it == names.end()) return std::nullopt;
    return it->second;
}

// The package folder: the folder of the manifest, else the folder below Community/Official's
// store folder that holds the file.
std::string lf_packageFolderName(const fs::path& file, const ManifestInfo& m) {
    if (m.found) return gf_utf8FromPath(m.packageFolder.filename());
    fs::path prev;
    for (fs::path dir = file.parent_path(); !dir.empty() && dir != dir.parent_path(); dir = dir.parent_path()) {
        const std::string name = lf_lowerCase(gf_utf8FromPath(dir.filename()));
        if (name == "community" || name == "onestore" || name == "steam") return gf_utf8FromPath(prev.filename());
        prev = dir;
    }
    return {};
}

}  // namespace

void gf_forgetCommunityPath() {
    std::lock_guard lock(communityMutex);
    communityPath.clear();
}

fs::path gf_pathFromText(std::string_view text) {
    std::string s(text);
    if constexpr (fs::path::preferred_separator == '/') std::replace(s.begin(), s.end(), '\\', '/');
    return gf_pathFromUtf8(s).make_preferred();  // "C:/Games/MSFS" on Windows: one separator in log lines
}

fs::path gf_installPath(std::string_view subFolder) {
    const std::string install = lf_installParameter().value();
    if (install.empty()) return {};
    return gf_pathFromText(install) / std::string(subFolder);
}

std::optional<std::string> gf_installedPackagesPath(std::string_view userCfgText) {
    std::istringstream in{std::string(userCfgText)};
    std::string line;
    while (std::getline(in, line)) {
        const std::string t = gf_trim(line);
        constexpr std::string_view key = "InstalledPackagesPath";
        // The key must end at a blank or the quote: InstalledPackagesPathNextBoot is another key.
        if (!t.starts_with(key) || t.size() == key.size()) continue;
        const char next = t[key.size()];
        if (next != ' ' && next != '\t' && next != '"') continue;
        std::string value = gf_quoted(std::string_view(t).substr(key.size()));
        value = gf_trim(value);
        if (!value.empty()) return value;
    }
    return std::nullopt;
}

std::vector<fs::path> gf_userCfgCandidates() {
    const bool is2020 = MSFS_2020.value();
    const fs::path local = gf_localAppDataFolder();
    const fs::path roaming = gf_appDataFolder();
    const char* store = is2020 ? "Microsoft.FlightSimulator_8wekyb3d8bbwe" : "Microsoft.Limitless_8wekyb3d8bbwe";
    const char* steam = is2020 ? "Microsoft Flight Simulator" : "Microsoft Flight Simulator 2024";
    return {local / "Packages" / store / "LocalCache" / "UserCfg.opt", local / steam / "UserCfg.opt",
            roaming / steam / "UserCfg.opt"};
}

bool gf_deriveCommunityPath() { return lf_deriveCommunityPath(); }

fs::path gf_communityPath() {
    std::lock_guard lock(communityMutex);
    return communityPath;
}

ManifestInfo gf_searchManifest(std::string_view bglPath) { return lf_searchManifest(bglPath); }

PublisherInfo gf_findPublisher(std::string_view bglPath) {
    PublisherInfo p;
    const ManifestInfo m = lf_searchManifest(bglPath);
    p.manufacturer = m.manufacturer;
    p.creator = m.creator;
    p.title = m.title;
    const std::string folder = lf_packageFolderName(gf_pathFromText(bglPath), m);
    if (!m.found) gf_addPublisherScanLog(fmt::format("no manifest.json found for \"{}\"", bglPath));
    if (!folder.empty() && lf_isSimulatorPackage(folder)) {
        p.publisher = "simaddon";
        return p;
    }
    if (auto pub = lf_publisherOfFolder(folder)) {
        p.publisher = *pub;
    } else if (auto byManufacturer = lf_publisherOfName(m.manufacturer)) {
        p.publisher = *byManufacturer;
    } else if (auto byCreator = lf_publisherOfName(m.creator)) {
        p.publisher = *byCreator;
    } else {
        p.publisher = "unknown";
        gf_addPublisherScanLog(fmt::format("publisher unknown for package \"{}\", manufacturer \"{}\", creator \"{}\"",
                                           folder, m.manufacturer, m.creator));
    }
    return p;
}

}  // namespace vdl
