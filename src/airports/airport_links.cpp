#include "airports/airport_links.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "airports/airport_scan_log.h"
#include "airports/bgl_stands.h"
#include "airports/stand_file.h"
#include "airports/stand_locations.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "refdata/airport_refs.h"
#include "refdata/dbase.h"
#include "refdata/packages.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

constexpr const char* warn = "===> ";
constexpr std::string_view simaddon = "simaddon";
constexpr std::string_view unknownPublisher = "unknown";

std::mutex generatedFilesMutex;
// The BGL path each generated stand file of this scan was written from; guarded by
// generatedFilesMutex, which is also held while such a file is written.
std::map<fs::path, std::string> generatedFrom;

// The folder of the airport's link or generated file.
fs::path lf_linkFolder(std::string_view publisher) {
    return publisher == simaddon ? gf_mySimaddonFolder() : gf_myThirdpartyFolder();
}

void lf_createFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw fs::filesystem_error("create_directory", folder, ec);
}

// Writes the link file (under linkMutex). A link that cannot be written is no link: the caller
// then writes the generated stand file instead.
bool lf_writeLinkFile(std::string_view publisher, const std::string& icao, const std::string& archivePath) {
    const fs::path folder = lf_linkFolder(publisher);
    const fs::path link = folder / gf_apfTxtPath(icao);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !gf_writeTextFile(archivePath, link, true)) {
        gf_addAirportsScanLog(fmt::format("{}link file {} could not be written", warn, gf_utf8FromPath(link)));
        return false;
    }
    return true;
}

std::optional<std::string> lf_archivedSimaddonPath(const std::string& icao) {
    if (simaddons20().contains(icao)) return fmt::format("archive/{}/{}.xml", simaddon, icao);
    gf_addAirportsScanLog(fmt::format("{} does not exist as simaddon", icao));
    return std::nullopt;
}

bool lf_linkSimaddon(const std::string& icao) {
    const auto path = lf_archivedSimaddonPath(icao);
    if (!path || !lf_writeLinkFile(simaddon, icao, *path)) return false;
    gf_addAirportsScanLog(fmt::format("{} airport {} linked to {}", simaddon, icao, *path));
    return true;
}

std::optional<std::string> lf_archivedThirdpartyPath(const std::string& publisher, const std::string& icao,
                                                     int32_t& archivedCount) {
    std::string folder;
    for (const char c : publisher) folder += c == ' ' ? std::string("%20") : std::string(1, c);
    const std::string path = "archive/thirdparty/" + folder + "/" + icao + ".xml";
    const auto& lists = MSFS_2020.value() ? thirdparties20() : thirdparties24();
    for (const ThirdpartyData& data : lists) {
        if (data.pub != publisher) continue;
        for (const std::string& entry : data.arpts) {
            if (!gf_numberAfterPrefix(publisher, icao, archivedCount, entry)) continue;
            // A publisher name from the data base that makes no safe server path is not linked.
            if (gf_isSafeReference(path)) return path;
            gf_addAirportsScanLog(fmt::format("{}thirdparty {} {}: \"{}\" is no safe path", warn, publisher, icao, path));
            return std::nullopt;
        }
    }
    gf_addAirportsScanLog(fmt::format("thirdparty {} {} does not exist", publisher, icao));
    return std::nullopt;
}

bool lf_linkThirdparty(const std::string& publisher, const std::string& icao, int32_t& archivedCount) {
    const auto path = lf_archivedThirdpartyPath(publisher, icao, archivedCount);
    if (!path || !lf_writeLinkFile(publisher, icao, *path)) return false;
    gf_addAirportsScanLog(fmt::format("thirdparty airport {} linked to {}", icao, *path));
    return true;
}

// Fills the record's publisher data from the package and links the airport to its archive.
bool lf_linkToArchive(AirportRecord& record, int32_t& archivedCount, const std::string& bglPath) {
    std::lock_guard lock(linkMutex);
    archivedCount = 0;
    record.bglPath = bglPath;
    PublisherInfo p = gf_findPublisher(bglPath);
    record.publisher = std::move(p.publisher);
    record.manufacturer = std::move(p.manufacturer);
    record.creator = std::move(p.creator);
    record.title = std::move(p.title);
    if (record.publisher == unknownPublisher) return false;
    const bool linked = record.publisher == simaddon ? lf_linkSimaddon(record.icao)
                                                     : lf_linkThirdparty(record.publisher, record.icao, archivedCount);
    if (linked) airportsGenerated = true;
    return linked;
}

// The path from the Community folder on, when it has one.
void lf_trimToCommunity(std::string& path) {
    const size_t at = path.find("Community");
    if (at != std::string::npos) path.erase(0, at);
}

// Whether the BGL file may write the generated file: the first of the scan does, a later one
// only when its path sorts after the one written (a fixed order, not the workers' timing).
// Called under generatedFilesMutex.
bool lf_claimGeneratedFile(const fs::path& file, const std::string& icao, const std::string& source) {
    auto [it, first] = generatedFrom.try_emplace(file, source);
    if (first) return true;
    if (source < it->second) {
        gf_addAirportsScanLog(
            fmt::format("{} of \"{}\" passed over: the one of \"{}\" is kept, the path that sorts last wins",
                        gf_apfFileName(icao), source, it->second));
        return false;
    }
    gf_addAirportsScanLog(fmt::format("{} of \"{}\" replaces the one of \"{}\": the path that sorts last wins",
                                      gf_apfFileName(icao), source, it->second));
    it->second = source;
    return true;
}

void lf_writeGeneratedStandFile(AirportRecord& record, int32_t helipadNumber) {
    if (record.stands.empty()) return;
    const fs::path folder = lf_linkFolder(record.publisher);
    const fs::path file = folder / gf_apfXmlPath(record.icao);
    std::lock_guard lock(generatedFilesMutex);
    if (!lf_claimGeneratedFile(file, record.icao, record.bglPath)) return;
    if (record.publisher != unknownPublisher) lf_trimToCommunity(record.bglPath);
    const int32_t helipads = helipadNumber - 1;
    const std::string helipadText =
        helipads > 0 ? fmt::format(", of which {} helipad{}", helipads, gf_plural(helipads)) : std::string();
    gf_addAirportsScanLog(fmt::format("Generated {}: {} position{}", gf_apfFileName(record.icao), record.stands.size(),
                                      gf_plural(record.stands.size())) +
                          helipadText);
    std::stable_sort(record.stands.begin(), record.stands.end(),
                     [](const ParkPos& a, const ParkPos& b) { return a.name < b.name; });
    lf_createFolder(folder);
    if (gf_writeApf(record, file, apfFullMode))
        airportsGenerated = true;
    else
        gf_addAirportsScanLog(fmt::format("{}Generating {} did not succeed", warn, gf_utf8FromPath(file)));
}

// The reference airport whose code the manifest's title starts with, else the first whose code
// stands between two hyphens in the path.
std::optional<std::string> lf_codeFromManifest(const std::string& bglPath, const std::string& title) {
    std::lock_guard lock(airportRefsMutex);
    for (const AirportRef& ref : airportRefs) {
        if (!title.starts_with(ref.code)) continue;
        gf_addAirportsScanLog(
            fmt::format("Not recognised airport has ICAO \"{}\" in title \"{}\" of manifest", ref.code, title));
        return ref.code;
    }
    for (const AirportRef& ref : airportRefs) {
        if (!gf_hasDashedCode(bglPath, ref.code)) continue;
        gf_addAirportsScanLog(fmt::format("Not recognised airport has ICAO \"{}\" in BGL path \"{}\"", ref.code, bglPath));
        return ref.code;
    }
    return std::nullopt;
}

std::optional<std::string> lf_guessIcao(const std::string& bglPath) {
    const std::string stem = gf_toUpper(gf_utf8FromPath(gf_pathFromUtf8(bglPath).stem()));
    if (stem.size() == 4 && gf_findAirportRef(stem)) {
        gf_addAirportsScanLog(fmt::format("Not recognised airport has ICAO code \"{}\" as BGL stem", stem));
        return stem;
    }
    const ManifestInfo manifest = gf_searchManifest(bglPath);
    if (!manifest.found) return std::nullopt;
    auto icao = lf_codeFromManifest(bglPath, manifest.title);
    if (!icao) gf_addAirportsScanLog(fmt::format("==================> Not recognised airport lost ... \"{}\"", bglPath));
    return icao;
}

}  // namespace

void gf_clearGeneratedStandFiles() {
    std::lock_guard lock(generatedFilesMutex);
    generatedFrom.clear();
}

fs::path gf_tbloFolder() { return "TBLO"; }

bool gf_numberAfterPrefix(std::string_view publisher, std::string_view icao, int32_t& count, std::string_view entry) {
    if (!entry.starts_with(icao)) return false;
    const std::string digits(entry.size() > 4 ? entry.substr(4) : std::string_view());
    try {
        count = std::stoi(digits);
    } catch (const std::invalid_argument&) {
        static LogLimiter limiter("archive entries");
        limiter.logError(fmt::format("{} {} {} {}", publisher, icao, entry, "invalid stoi argument"));
    } catch (const std::out_of_range&) {
        static LogLimiter limiter("archive entries out of range");
        limiter.logError(fmt::format("{} {} {} {}", publisher, icao, entry, "stoi argument out of range"));
    }
    return true;
}

void gf_processAirportRecord(const BglAirport& airport, const std::string& icao, const std::string& bglPath) {
    AirportRecord record;
    record.icao = icao;
    record.qfReal = 0;
    record.qfSoft = 0;
    int32_t archivedCount = 0;
    // Without an update server the link is still written (a server set later needs no new scan),
    // but nothing can fetch the archive: the airport is read and written as one not linked.
    const bool linked = lf_linkToArchive(record, archivedCount, bglPath) && gf_archiveLinksCount();
    if (!MSFS_2020.value() && linked) return;  // under MSFS 2024 the archive is the airport's file
    std::optional<BglAirportStands> read = gf_readAirportStands(airport, icao, bglPath);
    if (!read) return;  // broken record, logged
    record.name = std::move(read->name);
    record.altitude = read->altitude;
    record.stands = std::move(read->stands);
    const auto n = static_cast<int64_t>(record.stands.size());
    const bool moreThanArchived = n > archivedCount && record.publisher != simaddon;
    if (moreThanArchived)
        gf_addAirportsScanLog(fmt::format("{}{} has {} parkpos while archived one has {}", warn, icao, n, archivedCount));
    if (!linked || moreThanArchived) lf_writeGeneratedStandFile(record, read->helipadNumber);
}

void gf_notRecognisedAirport(const std::string& bglPath) {
    gf_addAirportsScanLog(fmt::format("\n==> Not recognised airport {}", bglPath));
    const std::optional<std::string> icao = lf_guessIcao(bglPath);
    if (!icao) return;
    AirportRecord record;
    record.icao = *icao;
    int32_t archivedCount = 0;
    if (lf_linkToArchive(record, archivedCount, bglPath) || record.publisher == simaddon) return;
    const std::string entryName = gf_apfFileName(record.icao);
    if (!gf_isAirportCode(record.icao)) {
        gf_addAirportsScanLog(fmt::format("{}TBLO entry {} refused: no airport code", warn, entryName));
        return;
    }
    lf_createFolder(gf_tbloFolder());
    const std::string text = bglPath + "\n" +
                             fmt::format("{} by {}, title: {} crea: {} manu: {}", record.icao, record.publisher,
                                         record.title, record.creator, record.manufacturer);
    if (!gf_writeTextFile(text, gf_tbloFolder() / gf_apfXmlPath(record.icao), true)) {
        gf_addAirportsScanLog(fmt::format("{}TBLO entry {} could not be written", warn, entryName));
        return;
    }
    gf_addAirportsScanLog(fmt::format("==> TBLO entry {} created ", entryName));
    ++tbloCount;
}

}  // namespace vdl
