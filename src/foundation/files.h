#pragma once

#include <filesystem>
#include <fstream>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

enum FileEncoding : int {
    ANSI = 0,
    UTF16_LE = 1,
    UTF16_BE = 2,
    UTF8_BOM = 3,
    UTF8 = 4,  // never detected
    CANNOT_OPEN = 5,
};

// From the first two bytes: FF FE 1, FE FF 2, EF BB 3, else 0; 5 (logged) when the file
// cannot be opened.
FileEncoding gf_detectEncoding(const std::filesystem::path& path);

// True when the path names a regular file, or a link to one. Nothing else is opened for reading:
// opening a FIFO blocks for good, and a folder opens on some systems and claims an absurd size.
bool gf_isRegularFile(const std::filesystem::path& path);

// Appends every line of the file as UTF-8 (UTF-16 converted, a byte-order mark dropped,
// ANSI bytes unchanged, a CR before the line end removed). False when it cannot be read.
bool gf_readFileByEncoding(FileEncoding encoding, const std::filesystem::path& path,
                           std::vector<std::string>& lines);

// All lines of a file (CR before the line end removed); none when the file cannot be
// read or has no line.
std::optional<std::vector<std::string>> gf_readFileLines(const std::filesystem::path& path,
                                                         size_t reserve = 0);

// Appends every line of the stream, then clears its state.
void gf_readLines(std::istream& in, std::vector<std::string>& lines);

// Replaces the file by the content: written to a temporary file in the same folder
// ("<file>.<process id>.<counter>.tmp"), flushed to disk and renamed over the old one, so a
// crash never leaves it half written.
bool gf_replaceFile(const std::filesystem::path& path, std::string_view content);

// Removes the temporary files that gf_replaceFile left behind when its process died mid-save:
// names of exactly its form whose process no longer runs, in the folder and, when asked, its
// sub-folders (symbolic links are not followed). Every other file stays. Answers the number
// removed and logs it; a missing folder has none.
int gf_removeStaleTempFiles(const std::filesystem::path& folder, bool subFolders);

// Each string as one line ("\n"), replacing the file; false when it cannot be written
// (the old file is then unchanged).
template <typename Strings>
bool gf_writeLines(const Strings& lines, const std::filesystem::path& path) {
    std::string content;
    for (const auto& line : lines) {
        content += line;
        content += '\n';
    }
    return gf_replaceFile(path, content);
}

// The text, and a line end when asked, replacing the file; false when it cannot be written.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path, bool lineEnd);

// Regular files directly in the folder; 0 when it does not exist.
int gf_countFiles(const std::filesystem::path& folder);

}  // namespace vdl
