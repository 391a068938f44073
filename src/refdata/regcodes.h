// The registration files: input/AIG-regcodes.xml and the user's input/my_regcodes/*.TXT.
//
// AIG-regcodes.xml: root "regcodes", one "livery" element per livery with "title", "regs"
// (registrations separated by commas) and the optional "special" ("true"/"false").
// A .TXT file: one livery per line, "title = REG1, REG2"; a leading "!" marks it special; a line
// with the title alone (no "=" or nothing after it) names a livery without registrations;
// blank lines and lines starting with "#" or ";" are skipped. UTF-8 or UTF-16 with byte-order mark.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vdl {

struct LiveryRegcodes {
    std::string title;
    std::vector<std::string> regs;
    bool special = false;
};

// Appends the "livery" entries. An entry without title is skipped, a malformed registration
// (not letters, digits and '-', or longer than 16) alone is skipped; both are logged. False
// when the file does not load or had such faults; the good entries are appended all the same.
bool gf_readAigRegcodes(const std::filesystem::path& path, std::vector<LiveryRegcodes>& records);

// Appends the lines of every *.TXT file of the folder (any case of the extension, in name
// order). False when a file could not be read or had faulty lines or registrations, each logged
// as an error with the file name and line number; a line without title is skipped, a malformed
// registration alone is skipped, and the rest is appended all the same.
bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<LiveryRegcodes>& records);

}  // namespace vdl
