// A small read-only view of a zip archive over libzip: entries, whole-text reads and chunked
// extraction. Archives come from our update server; no password is ever used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace vdl {

struct ZipEntry {
    std::string name;    // as stored, '/' separated
    uint64_t index = 0;  // position in the archive
    uint64_t size = 0;   // uncompressed bytes
    bool isDirectory() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    static constexpr size_t chunkSize = 0x80000;

    ZipArchive() = default;
    explicit ZipArchive(std::filesystem::path path) : path_(std::move(path)) {}
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;
    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;

    // Opens read-only; false with error() set when the file is missing or not a zip.
    bool open();
    void close();
    bool isOpen() const { return archive_ != nullptr; }
    const std::string& error() const { return error_; }
    const std::filesystem::path& path() const { return path_; }

    std::vector<ZipEntry> entries();
    std::optional<ZipEntry> findEntry(std::string_view name);

    // The whole entry as text; nothing on a read or checksum error.
    std::optional<std::string> readText(const ZipEntry& entry);
    // Streams the entry in chunks of chunkSize; false on a read, checksum or write error.
    bool readToStream(const ZipEntry& entry, std::ostream& out);
    // As readToStream into a new file (truncated); a failed write leaves no file behind.
    bool readToFile(const ZipEntry& entry, const std::filesystem::path& file);

private:
    template <typename Sink>
    bool readChunks(const ZipEntry& entry, Sink&& sink);

    std::filesystem::path path_;
    zip* archive_ = nullptr;
    std::string error_;
};

}  // namespace vdl
