#include "foundation/files.h"

#include <fmt/format.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <iterator>
#include <system_error>

#include "foundation/encoding.h"
#include "foundation/file_system.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {

std::atomic<uint32_t> tempCounter{0};

// The temporary name of gf_replaceFile, and its reading by the clean-up: one place for both.
constexpr std::string_view tempSuffix = ".tmp";

std::filesystem::path lf_tempPath(const std::filesystem::path& path) {
    std::filesystem::path tmp = path;
    tmp += fmt::format(".{}.{}{}", gf_currentProcessId(), tempCounter.fetch_add(1), tempSuffix);
    return tmp;
}

// Digits only, at least one, within the type.
template <typename T>
std::optional<T> lf_number(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || text.front() == '-')
        return std::nullopt;
    return value;
}

// The writer's process id when the name is "<name>.<pid>.<counter>.tmp" with a name.
std::optional<uint32_t> lf_tempWriter(std::string_view fileName) {
    if (fileName.size() <= tempSuffix.size() ||
        fileName.substr(fileName.size() - tempSuffix.size()) != tempSuffix)
        return std::nullopt;
    std::string_view rest = fileName.substr(0, fileName.size() - tempSuffix.size());
    const auto counterDot = rest.rfind('.');
    if (counterDot == std::string_view::npos || !lf_number<uint32_t>(rest.substr(counterDot + 1)))
        return std::nullopt;
    rest = rest.substr(0, counterDot);
    const auto pidDot = rest.rfind('.');
    if (pidDot == std::string_view::npos || pidDot == 0) return std::nullopt;
    const auto pid = lf_number<uint32_t>(rest.substr(pidDot + 1));
    if (!pid || *pid == 0) return std::nullopt;
    return pid;
}

// Removes the entry when it is a stale temporary file; true when it did.
bool lf_removeIfStale(const std::filesystem::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_regular_file(ec) || entry.is_symlink(ec)) return false;
    const auto writer = lf_tempWriter(gf_utf8FromPath(entry.path().filename()));
    if (!writer || gf_processRuns(*writer)) return false;
    return std::filesystem::remove(entry.path(), ec) && !ec;
}

std::optional<std::string> lf_readBytes(const std::filesystem::path& path) {
    if (!gf_isRegularFile(path)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
}

void lf_splitLines(std::string_view text, std::vector<std::string>& lines) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        size_t stop = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
}

}  // namespace

bool gf_isRegularFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

FileEncoding gf_detectEncoding(const std::filesystem::path& path) {
    std::ifstream in;
    if (gf_isRegularFile(path)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        gf_logError(fmt::format("could not open \"{}\"", gf_utf8FromPath(path)));
        return CANNOT_OPEN;
    }
    unsigned char b[2] = {0, 0};
    in.read(reinterpret_cast<char*>(b), 2);
    if (in.gcount() < 2) return ANSI;
    if (b[0] == 0xFF && b[1] == 0xFE) return UTF16_LE;
    if (b[0] == 0xFE && b[1] == 0xFF) return UTF16_BE;
    if (b[0] == 0xEF && b[1] == 0xBB) return UTF8_BOM;
    return ANSI;
}

bool gf_readFileByEncoding(FileEncoding encoding, const std::filesystem::path& path,
                           std::vector<std::string>& lines) {
    if (encoding == CANNOT_OPEN) return false;
    std::optional<std::string> bytes = lf_readBytes(path);
    if (!bytes) return false;
    std::string_view raw = *bytes;
    std::string text;
    switch (encoding) {
        case UTF16_LE:
        case UTF16_BE: {
            const bool big = encoding == UTF16_BE;
            const std::string_view bom =
                big ? std::string_view("\xFE\xFF", 2) : std::string_view("\xFF\xFE", 2);
            if (raw.substr(0, 2) == bom) raw.remove_prefix(2);
            text = gf_utf16BytesToUtf8(raw, big);
            break;
        }
        case UTF8_BOM:
        case UTF8:
            if (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
            text.assign(raw);
            break;
        default:  // ANSI: the bytes as they are
            text.assign(raw);
            break;
    }
    lf_splitLines(text, lines);
    return true;
}

std::optional<std::vector<std::string>> gf_readFileLines(const std::filesystem::path& path, size_t reserve) {
    if (!gf_isRegularFile(path)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<std::string> lines;
    lines.reserve(reserve);
    gf_readLines(in, lines);
    if (lines.empty()) return std::nullopt;
    return lines;
}

void gf_readLines(std::istream& in, std::vector<std::string>& lines) {
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        line.clear();
    }
    in.clear();
}

bool gf_replaceFile(const std::filesystem::path& path, std::string_view content) {
    const std::filesystem::path tmp = lf_tempPath(path);
    if (gf_writeFileDurably(tmp, content) && gf_renameOver(tmp, path)) return true;
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    return false;
}

bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool lineEnd) {
    if (!lineEnd) return gf_replaceFile(path, text);
    std::string content(text);
    content += '\n';
    return gf_replaceFile(path, content);
}

int gf_removeStaleTempFiles(const std::filesystem::path& folder, bool subFolders) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    if (subFolders) {
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec))
            removed += lf_removeIfStale(*it) ? 1 : 0;
    } else {
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            removed += lf_removeIfStale(*it) ? 1 : 0;
    }
    if (removed > 0)
        gf_log(fmt::format("{} left-over temporary file{} removed from \"{}\"", removed, gf_plural(removed),
                           gf_utf8FromPath(folder)));
    return removed;
}

int gf_countFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    int count = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code fec;
        if (it->is_regular_file(fec)) ++count;
    }
    return count;
}

}  // namespace vdl
