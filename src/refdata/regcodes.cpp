#include "refdata/regcodes.h"

#include <fmt/format.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"

namespace vdl {

namespace {

bool lf_validReg(std::string_view reg) {
    return !reg.empty() && reg.size() <= 16 && std::all_of(reg.begin(), reg.end(), [](unsigned char c) {
        return std::isalnum(c) != 0 || c == '-';
    });
}

// Bad registrations of one file: the first few are logged one by one, the rest only counted,
// so a file full of them cannot flood the log.
class BadRegs {
  public:
    static constexpr int listed = 10;

    explicit BadRegs(const std::filesystem::path& file) : file_(file) {}
    BadRegs(const BadRegs&) = delete;
    BadRegs& operator=(const BadRegs&) = delete;

    template <typename MakeLine>
    void add(MakeLine&& makeLine) {
        if (++count_ <= listed) gf_logError(makeLine());
    }
    // Logs the count of those not listed; answers whether the file had none.
    bool finish() const {
        if (count_ > listed)
            gf_logError(fmt::format("\"{}\": {} more bad registration{} skipped", gf_utf8FromPath(file_),
                                    count_ - listed, gf_plural(count_ - listed)));
        return count_ == 0;
    }

  private:
    std::filesystem::path file_;
    int count_ = 0;
};

// Splits "A, B ,C" into registrations; empty items (a trailing comma) are dropped, and a
// malformed item alone is skipped and handed to onBad.
template <typename OnBad>
std::vector<std::string> lf_splitRegs(std::string_view text, OnBad&& onBad) {
    std::vector<std::string> regs;
    for (auto& item : gf_splitComma(text)) {
        if (item.empty()) continue;
        if (!lf_validReg(item)) {
            onBad(item);
            continue;
        }
        regs.push_back(std::move(item));
    }
    return regs;
}

bool lf_isTxt(const std::filesystem::path& p) {
    std::string ext = gf_utf8FromPath(p.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    return ext == ".TXT";
}

// One file; false when it cannot be read or has a faulty line or registration.
bool lf_readRegcodeFile(const std::filesystem::path& file, std::vector<LiveryRegcodes>& records) {
    const FileEncoding enc = gf_detectEncoding(file);
    std::vector<std::string> lines;
    if (enc == CANNOT_OPEN || !gf_readFileByEncoding(enc, file, lines)) {
        gf_logError(fmt::format("cannot read regcode file \"{}\"", gf_utf8FromPath(file)));
        return false;
    }
    bool ok = true;
    BadRegs bad(file);
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
        rec.title = gf_trim(std::string_view(line).substr(0, eq));
        if (rec.title.empty()) {
            gf_logError(fmt::format("{}({}): no title in \"{}\"", gf_utf8FromPath(file), lineNo, raw));
            ok = false;
            continue;
        }
        if (eq != std::string::npos) {
            rec.regs = lf_splitRegs(std::string_view(line).substr(eq + 1), [&](const std::string& item) {
                bad.add([&] {
                    return fmt::format("{}({}): bad registration \"{}\" skipped in \"{}\"", gf_utf8FromPath(file),
                                       lineNo, item, raw);
                });
            });
        }
        records.push_back(std::move(rec));
    }
    return bad.finish() && ok;
}

}  // namespace

bool gf_readAigRegcodes(const std::filesystem::path& path, std::vector<LiveryRegcodes>& records) {
    pugi::xml_document doc;
    const auto result = gf_loadXmlFile(doc, path);
    if (!result) {
        gf_logError(fmt::format("cannot load \"{}\": {}", gf_utf8FromPath(path), result.description()));
        return false;
    }
    BadRegs bad(path);
    bool ok = true;
    int index = 0;
    for (auto node : doc.child("regcodes").children("livery")) {
        ++index;
        LiveryRegcodes rec;
        rec.title = gf_trim(node.attribute("title").as_string());
        if (rec.title.empty()) {
            gf_logError(fmt::format("\"{}\": livery {} has no title", gf_utf8FromPath(path), index));
            ok = false;
            continue;
        }
        rec.special = gf_textToBool(node.attribute("special").as_string());
        rec.regs = lf_splitRegs(node.attribute("regs").as_string(), [&](const std::string& item) {
            bad.add([&] {
                return fmt::format("\"{}\": bad registration \"{}\" for \"{}\" skipped", gf_utf8FromPath(path), item,
                                   rec.title);
            });
        });
        records.push_back(std::move(rec));
    }
    return bad.finish() && ok;
}

bool gf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<LiveryRegcodes>& records) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return true;  // no folder, no user files: nothing wrong
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file() && lf_isTxt(e.path())) files.push_back(e.path());
    if (ec) {
        gf_logError(fmt::format("cannot list \"{}\": {}", gf_utf8FromPath(folder), ec.message()));
        return false;
    }
    std::sort(files.begin(), files.end());
    bool ok = true;
    for (const auto& f : files) ok = lf_readRegcodeFile(f, records) && ok;
    return ok;
}

}  // namespace vdl
