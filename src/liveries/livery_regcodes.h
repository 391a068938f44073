// Registrations of liveries: regcodeTitles and specialTitles from the liveries' own registrations,
// the AIG registration file and the user's files, and the don't-use titles for the scan.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

#include "liveries/livery_data.h"

namespace vdl {

inline const std::filesystem::path aigRegcodesZip{"AIG-regcodes.zip"};
inline const std::filesystem::path aigRegcodesPath{"input/AIG-regcodes.xml"};
inline const std::filesystem::path myRegcodesFolder{"input/my_regcodes"};
inline const std::filesystem::path inlineRegcodesPath{"output/errors/InlineRegcodes.txt"};
inline const std::filesystem::path offlineRegcodesPath{"output/info/OfflineRegcodes.txt"};

// Lines of output/info/OfflineRegcodes.txt; emptied at the start of every registration-file step.
inline std::vector<std::string> regcodeMessages;
// Titles the scan drops (entries without registrations); filled before a scan, emptied after it.
inline std::unordered_set<std::string> dontUseTitles;

// Table build: registrations of the liveries (clashes to InlineRegcodes.txt), then the AIG file
// and the user's files, each overriding the one before. Every build first removes the old clash
// report, so that it never outlives its cause. The records are the catalogue in its sorted
// order, their titles already the stored ones.
void gf_removeInlineRegcodes();
void gf_buildRegcodeTitles(const std::vector<LiveryRecord>& records);
void gf_processRegcodeFiles();

// Scan preparation: titles without registrations of the AIG file / of input/my_regcodes.
void gf_readDontUseTitlesAig(const std::filesystem::path& path);
void gf_readDontUseTitlesUser();

}  // namespace vdl
