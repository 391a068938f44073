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

// UNZIP_LIMIT_MB in bytes: the default cap of every read of a ZipArchive.
uint64_t gf_unzipLimitBytes();

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

    // The most bytes one read may unpack (gf_unzipLimitBytes when made). An entry that claims
    // more is refused before anything is read or reserved, one that unpacks to more stops there:
    // a small archive must not fill the memory or the disk.
    void setSizeLimit(uint64_t bytes) { sizeLimit_ = bytes; }
    uint64_t sizeLimit() const { return sizeLimit_; }

    // The whole entry as text; nothing on a read or checksum error or over the size limit.
    std::optional<std::string> readText(const ZipEntry& entry);
    // Streams the entry in chunks of chunkSize; false on a read, checksum or write error or
    // over the size limit (what was written by then stays in the stream).
    bool readToStream(const ZipEntry& entry, std::ostream& out);
    // As readToStream into a new file (truncated); a failed write leaves no file behind.
    bool readToFile(const ZipEntry& entry, const std::filesystem::path& file);

private:
    template <typename Sink>
    bool readChunks(const ZipEntry& entry, Sink&& sink);

    std::filesystem::path path_;
    zip* archive_ = nullptr;
    std::string error_;
    uint64_t sizeLimit_ = gf_unzipLimitBytes();
};

}  // namespace vdl
