#include "airports/stand_locations.h"

#include <curl/curl.h>
#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "refdata/download.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

// Definite answers of the stock probe in this run, by airport code.
constexpr size_t maxFolderNameBytes = 100;

std::mutex stockProbeMutex;
std::map<std::string, bool, std::less<>> stockProbeAnswers;

constexpr std::array<std::string_view, 22> deviceNames{
    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};

bool lf_refusedChar(unsigned char c) {
    return c < 0x20 || c == 0x7f || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' ||
           c == '|' || c == '?' || c == '*';
}

// Exists, answered without throwing: a file-system error other than "not found" is logged and
// counts as no file.
bool lf_exists(const fs::path& p) {
    std::error_code ec;
    const bool found = fs::exists(p, ec);
    if (ec) {
        static LogLimiter limiter("gf_findApf");
        limiter.logError(fmt::format("cannot test \"{}\": {}", gf_utf8FromPath(p), ec.message()));
        return false;
    }
    return found;
}

std::string_view lf_codeOfReference(std::string_view reference) {
    const size_t slash = reference.find_last_of("/\\");
    std::string_view file = slash == std::string_view::npos ? reference : reference.substr(slash + 1);
    const size_t dot = file.rfind('.');
    return dot == std::string_view::npos ? file : file.substr(0, dot);
}

// A reference is '/'-separated on every system: it is written into link files and compared
// with the server's paths.
std::string lf_referenceIn(const fs::path& folder, std::string_view code) {
    const std::u8string text = folder.generic_u8string();
    return std::string(text.begin(), text.end()) + "/" + gf_apfFileName(code);
}

}  // namespace

fs::path gf_airportsFolder() { return "airports"; }
fs::path gf_learnedFolder() { return gf_airportsFolder() / "learned"; }
fs::path gf_myThirdpartyFolder() { return gf_airportsFolder() / "my_thirdparty"; }
fs::path gf_mySimaddonFolder() { return gf_airportsFolder() / "my_simaddon"; }
fs::path gf_localStockFolder() { return gf_airportsFolder() / "stock"; }

std::string gf_apfFileName(std::string_view name) { return std::string(name) + ".xml"; }
fs::path gf_apfXmlPath(std::string_view name) { return gf_pathFromUtf8(gf_apfFileName(name)); }
fs::path gf_apfTxtPath(std::string_view name) { return gf_pathFromUtf8(std::string(name) + ".txt"); }

std::string gf_safeFolderName(std::string_view name) {
    std::string safe;
    safe.reserve(name.size());
    for (char c : name) safe += lf_refusedChar(static_cast<unsigned char>(c)) ? '_' : c;
    // File systems refuse long names; cut on a character's first byte.
    if (safe.size() > maxFolderNameBytes) {
        size_t cut = maxFolderNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(safe[cut]) & 0xC0) == 0x80) --cut;
        safe.resize(cut);
    }
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.pop_back();
    if (safe.empty()) return name.empty() ? std::string() : std::string("_");
    const std::string upper = gf_toUpper(safe.substr(0, safe.find('.')));
    if (std::find(deviceNames.begin(), deviceNames.end(), upper) != deviceNames.end()) return fmt::format("_{}", safe);
    return safe;
}

bool gf_isSafeReference(std::string_view reference) {
    if (reference.empty()) return false;
    for (const auto& part : gf_split(reference, '/'))
        if (part.empty() || part != gf_safeFolderName(part)) return false;
    return true;
}

bool gf_isAirportCode(std::string_view code) {
    return !code.empty() && code.size() <= 8 &&
           std::all_of(code.begin(), code.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

bool lf_readApfLink(const fs::path& linkFile, std::string& line) {
    auto lines = gf_readFileLines(linkFile, 1);
    if (!lines || lines->empty()) return false;
    std::string text = gf_trim(lines->front());
    if (text.empty()) return false;
    if (!gf_isSafeReference(text)) {
        static LogLimiter limiter("lf_readApfLink");
        limiter.logError(fmt::format("link file \"{}\" refused: \"{}\" is no safe path", gf_utf8FromPath(linkFile), text));
        return false;
    }
    line = std::move(text);
    return true;
}

std::string gf_findApf(std::string_view code) {
    if (!gf_isAirportCode(code)) return {};
    const bool links = gf_archiveLinksCount();
    for (const fs::path& folder : {gf_myThirdpartyFolder(), gf_mySimaddonFolder()}) {
        const fs::path link = folder / gf_apfTxtPath(code);
        std::string line;
        if (links && lf_exists(link) && lf_readApfLink(link, line)) return line;
        const fs::path file = folder / gf_apfXmlPath(code);
        if (lf_exists(file)) return lf_referenceIn(folder, code);
    }
    // The shipped stock files: neither the airport scan nor the updater empties this folder.
    if (lf_exists(gf_localStockFolder() / gf_apfXmlPath(code)))
        return lf_referenceIn(gf_localStockFolder(), code);
    if (gf_stockApfOnServer(code)) return std::string(stockArchive) + gf_apfFileName(code);
    return {};
}

bool gf_hasApf(std::string_view code) {
    if (!gf_isAirportCode(code)) return false;
    const bool links = gf_archiveLinksCount();
    for (const fs::path& folder : {gf_myThirdpartyFolder(), gf_mySimaddonFolder()})
        if (lf_exists(folder / gf_apfXmlPath(code)) || (links && lf_exists(folder / gf_apfTxtPath(code)))) return true;
    if (lf_exists(gf_localStockFolder() / gf_apfXmlPath(code))) return true;
    return gf_stockApfOnServer(code);
}

bool gf_archiveLinksCount() { return !gf_serverFolder(false).empty(); }

bool gf_stockApfOnServer(std::string_view code) {
    if (!gf_isAirportCode(code)) return false;
    {
        std::lock_guard lock(stockProbeMutex);
        auto it = stockProbeAnswers.find(code);
        if (it != stockProbeAnswers.end()) return it->second;
    }
    const std::string url = gf_stockUrl(code);
    if (url.empty()) return false;  // no update server: nothing is fetched
    CurlHandle handle;
    if (!handle) return false;
    const fs::path local = gf_apfXmlPath(code);
    const bool found = gf_download(handle.get(), url, local, false);
    long status = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
    if (found) {
        std::error_code ec;
        fs::remove(local, ec);
        if (ec) gf_logError(fmt::format("gf_stockApfOnServer: cannot remove \"{}\": {}", gf_utf8FromPath(local), ec.message()));
    }
    // A file found, or the server's word that it has none; a transfer without an answer may
    // succeed later.
    if (found || (status >= 400 && status < 500)) {
        std::lock_guard lock(stockProbeMutex);
        stockProbeAnswers.emplace(std::string(code), found);
    }
    return found;
}

std::string gf_stockUrl(std::string_view code) {
    const std::string folder = gf_serverFolder(true);
    return folder.empty() ? std::string() : fmt::format("{}{}{}.xml", folder, stockArchive, code);
}

void gf_clearStockProbeCache() {
    std::lock_guard lock(stockProbeMutex);
    stockProbeAnswers.clear();
}

fs::path gf_learnedApfPathForCode(std::string_view code, std::string_view publisher) {
    const fs::path file = gf_apfXmlPath(gf_safeFolderName(code));
    if (publisher == "stock") return gf_learnedFolder() / "stock" / file;
    if (publisher == "simaddon") return gf_learnedFolder() / "simaddon" / file;
    const std::string folder = gf_safeFolderName(publisher);
    if (folder.empty()) return gf_learnedFolder() / "thirdparty" / file;
    return gf_learnedFolder() / "thirdparty" / gf_pathFromUtf8(folder) / file;
}

fs::path gf_learnedApfPath(std::string_view reference, std::string_view publisher) {
    if (reference.empty()) return {};
    const std::string_view code = lf_codeOfReference(reference);
    if (code.empty()) return {};
    return gf_learnedApfPathForCode(code, publisher);
}

QualityFactor gf_qualityFactor(const std::vector<ParkPos>& stands) {
    const bool anyOption = std::any_of(stands.begin(), stands.end(), [](const ParkPos& s) { return !s.options.empty(); });
    if (!anyOption) return {};
    double weightSum = 0.0;
    std::array<double, 2> scoreSum{};  // soft, real
    for (const auto& s : stands) {
        const double w = s.radius <= 7.0 ? static_cast<double>(0.3f) : (s.radius <= 10.0 ? 1.5 : 1.0);
        weightSum += w;
        std::array<int64_t, 2> n{}, bits{};
        std::array<uint8_t, 2> days{};  // weekday bits 1..7
        for (const auto& o : s.options) {
            if (o.id == 0) continue;
            const size_t k = o.kind != 0 ? 1 : 0;
            ++n[k];
            if (o.day >= 1 && o.day <= 7) days[k] = static_cast<uint8_t>(days[k] | (1u << o.day));
            bits[k] += static_cast<int64_t>(o.hours.count());
        }
        for (size_t k = 0; k < 2; ++k) {
            if (n[k] == 0) continue;
            const int64_t d = std::popcount(days[k]);
            scoreSum[k] += static_cast<double>(std::min<int64_t>(20 * n[k], 4000) + 10000 + 100 * d +
                                               2 * std::min<int64_t>(bits[k], 600)) * w;
        }
    }
    QualityFactor q{0, 0};
    if (weightSum > 0.0) {
        auto factor = [&](double sum) {
            return static_cast<int32_t>(std::clamp(std::round(sum / weightSum * 0.00625), 0.0, 100.0));
        };
        q.real = factor(scoreSum[1]);
        q.soft = factor(scoreSum[0]);
    }
    return q;
}

std::string gf_qualityFactorText(QualityFactor q) {
    if (q.real < 0 && q.soft < 0) return "  ";
    if (q.real < 45) return fmt::format("{:2}/{:2}", q.real, q.soft);
    return fmt::format("{:2}", q.real);
}

bool gf_hasDashedCode(std::string_view text, std::string_view code) {
    const std::string dashed = fmt::format("-{}-", code);
    if (text.find(dashed) != std::string_view::npos) return true;
    std::string lower = dashed;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find(lower) != std::string_view::npos;
}

}  // namespace vdl
