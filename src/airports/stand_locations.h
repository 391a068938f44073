// Where an airport's stand file lies (local folders, link files, the server's stock archive),
// where its learned file lies, and the quality factor of the learned stand use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "airports/stand_records.h"

namespace vdl {

// Folders relative to the working folder.
std::filesystem::path gf_airportsFolder();      // airports
std::filesystem::path gf_learnedFolder();       // airports/learned
std::filesystem::path gf_myThirdpartyFolder();  // airports/my_thirdparty
std::filesystem::path gf_mySimaddonFolder();    // airports/my_simaddon
// Stock stand files shipped with the program (data/airports/stock), found after the two folders
// above and before the server's stock archive; loaded and learned like a stock file.
std::filesystem::path gf_localStockFolder();    // airports/stock

inline constexpr std::string_view stockArchive = "archive/stock/";

std::string gf_apfFileName(std::string_view name);             // name + ".xml"
std::filesystem::path gf_apfXmlPath(std::string_view name);    // name + ".xml"
std::filesystem::path gf_apfTxtPath(std::string_view name);    // name + ".txt"

// A name from a file or a server made into one folder name: characters a file system refuses
// and separators become '_', the name is cut to 100 bytes, trailing dots and blanks go, "." and
// ".." and device names are changed. Empty stays empty.
std::string gf_safeFolderName(std::string_view name);
// A relative server path or local reference whose every '/'-separated part is a safe name.
bool gf_isSafeReference(std::string_view reference);
// An airport code fit for a file name and an address: 1 to 8 letters and digits.
bool gf_isAirportCode(std::string_view code);

// The stand file reference of an airport: the line of its link file in my_thirdparty, its file
// there, the same in my_simaddon, its shipped file in airports/stock, "archive/stock/<code>.xml"
// when the server has it; empty when none or when the file system fails (logged). Link files
// count only while gf_archiveLinksCount().
std::string gf_findApf(std::string_view code);
// Whether a stand file exists locally (file, or link while gf_archiveLinksCount()) or in the
// stock archive.
bool gf_hasApf(std::string_view code);
// Whether link files to the server's archive count: only with an update server to fetch from.
// Without one the search and the scan pass them over and take the local files.
bool gf_archiveLinksCount();
// The first line of a link file, trimmed; false when there is none, it is empty or it is no safe
// reference.
bool lf_readApfLink(const std::filesystem::path& linkFile, std::string& line);

// Whether the server's stock archive has the airport's stand file. Answered once per run from a
// cache of definite answers; without an update server "no" without any network access; a
// transfer that failed without an HTTP answer is not cached. Leaves no file behind.
bool gf_stockApfOnServer(std::string_view code);
void gf_clearStockProbeCache();
// The address of the airport's file in the server's stock archive (2020 folder); empty without an
// update server.
std::string gf_stockUrl(std::string_view code);

// The learned file of an airport whose stand file is `reference`: airports/learned/stock/<code>.xml
// for publisher "stock", learned/simaddon/<code>.xml for "simaddon", else
// learned/thirdparty/<publisher>/<code>.xml; loading and saving use the same place. Empty for an
// empty reference.
std::filesystem::path gf_learnedApfPath(std::string_view reference, std::string_view publisher);
// The same from the airport code.
std::filesystem::path gf_learnedApfPathForCode(std::string_view code, std::string_view publisher);

struct QualityFactor {
    int32_t real = -1;
    int32_t soft = -1;
};
// How much stand use has been learned, 0..100 for real and soft options; both -1 when no stand
// has an option.
QualityFactor gf_qualityFactor(const std::vector<ParkPos>& stands);
// "  " for none, "real/soft" each two wide below 45, else real alone.
std::string gf_qualityFactorText(QualityFactor q);

// The code between two hyphens in the text, as given or all lower case.
bool gf_hasDashedCode(std::string_view text, std::string_view code);

}  // namespace vdl
