#include "refdata/regcodes.h"

#include <fmt/format.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <optional>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace vdl {

namespace {

bool lf_validReg(std::string_view reg) {
    return !reg.empty() && reg.size() <= 16 && std::all_of(reg.begin(), reg.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '-';
    });
}

// Splits "A, B ,C" into registrations; empty items (a trailing comma) are dropped. The first
// malformed item is answered in bad.
std::vector<std::string> lf_splitRegs(std::string_view text, std::optional<std::string>& bad) {
    std::vector<std::string> regs;
    for (auto& item : gf_splitComma(text)) {
        if (item.empty()) continue;
        if (!lf_validReg(item)) {
            if (!bad) bad = item;
            continue;
        }
        regs.push_back(std::move(item));
    }
    return regs;
}

bool lf_isTxt(const std::filesystem::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return ext == ".TXT";
}

// One file; false when it cannot be read or has a faulty line.
bool lf_readRegcodeFile(const std::filesystem::path& file, std::vector<LiveryRegcodes>& records) {
    const FileEncoding enc = gf_detectEncoding(file);
    std::vector<std::string> lines;
    if (enc == CANNOT_OPEN || !gf_readFileByEncoding(enc, file, lines)) {
        gf_logError(fmt::format("cannot read regcode file \"{}\"", file.string()));
        return false;
    }
    bool ok = true;
    int lineNo = 0;
    for (const auto& raw : lines) {
        ++lineNo;
        std::string line = gf_trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        LiveryRegcodes rec;
        if (line[0] == '!') {
            rec.special = true;
            line = gf_trim(std::string_view(line).substr(1));
        }
        // Titles may hold '=', registrations never: the last one separates them.
        const auto eq = line.rfind('=');
        std::optional<std::string> bad;
        if (eq == std::string::npos) {
            rec.title = line;
        } else {
            rec.title = gf_trim(std::string_view(line).substr(0, eq));
            rec.regs = lf_splitRegs(std::string_view(line).substr(eq + 1), bad);
        }
        if (rec.title.empty()) {
            gf_logError(fmt::format("{}({}): no title in \"{}\"", file.string(), lineNo, raw));
            ok = false;
            continue;
        }
        if (bad) {
            gf_logError(fmt::format("{}({}): bad registration \"{}\" in \"{}\"", file.string(), lineNo, *bad, raw));
            ok = false;
            continue;
        }
        records.push_back(std::move(rec));
    }
    return ok;
}

}  // namespace

bool gf_readAigRegcodes(const std::filesystem::path& path, std::vector<LiveryRegcodes>& records) {
    pugi::xml_document doc;
    const auto result = doc.load_file(path.c_str());
    if (!result) {
        gf_logError(fmt::format("cannot load \"{}\": {}", path.string(), result.description()));
        return false;
    }
    int index = 0;
    for (auto node : doc.child("regcodes").children("livery")) {
        ++index;
        LiveryRegcodes rec;
        rec.title = gf_trim(node.attribute("title").as_string());
        rec.special = gf_textToBool(node.attribute("special").as_string());
        std::optional<std::string> bad;
        rec.regs = lf_splitRegs(node.attribute("regs").as_string(), bad);
        if (rec.title.empty()) {
            gf_logError(fmt::format("\"{}\": livery {} has no title", path.string(), index));
            continue;
        }
        if (bad) {
            gf_logError(fmt::format("\"{}\": bad registration \"{}\" for \"{}\"", path.string(), *bad, rec.title));
            continue;
        }
        records.push_back(std::move(rec));
    }
    return true;
}

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<LiveryRegcodes>& records) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return true;  // no folder, no user files: nothing wrong
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file() && lf_isTxt(e.path())) files.push_back(e.path());
    if (ec) {
        gf_logError(fmt::format("cannot list \"{}\": {}", folder.string(), ec.message()));
        return false;
    }
    std::sort(files.begin(), files.end());
    bool ok = true;
    for (const auto& f : files) ok = lf_readRegcodeFile(f, records) && ok;
    return ok;
}

}  // namespace vdl
