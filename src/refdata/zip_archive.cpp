#include "refdata/zip_archive.h"

#include <fmt/format.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {
// Reserving what a header claims would let a tiny archive ask for gigabytes; beyond this the
// text grows as it is read.
constexpr uint64_t reserveAtMost = 8 * 1024 * 1024;
}  // namespace

uint64_t gf_unzipLimitBytes() {
    return static_cast<uint64_t>(UNZIP_LIMIT_MB.value()) * 1024 * 1024;
}

ZipArchive::~ZipArchive() { close(); }

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : path_(std::move(other.path_)),
      archive_(std::exchange(other.archive_, nullptr)),
      error_(std::move(other.error_)),
      sizeLimit_(other.sizeLimit_) {}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        archive_ = std::exchange(other.archive_, nullptr);
        error_ = std::move(other.error_);
        sizeLimit_ = other.sizeLimit_;
    }
    return *this;
}

bool ZipArchive::open() {
    close();
    error_.clear();
    // Through a FILE of our own: zip_open would read the name in the system's code page on Windows.
    zip_error_t err;
    zip_error_init(&err);
    const bool regular = gf_isRegularFile(path_);  // a FIFO would block the open
    std::FILE* file = regular ? gf_openFile(path_, "rb") : nullptr;
    zip_source_t* source = file != nullptr ? zip_source_filep_create(file, 0, -1, &err) : nullptr;
    if (file == nullptr) zip_error_set(&err, ZIP_ER_OPEN, regular ? errno : EINVAL);
    if (file != nullptr && source == nullptr) std::fclose(file);
    archive_ = source != nullptr ? zip_open_from_source(source, ZIP_RDONLY, &err) : nullptr;
    if (archive_ == nullptr) {
        if (source != nullptr) zip_source_free(source);
        error_ = fmt::format("cannot open zip \"{}\": {}", gf_utf8FromPath(path_), zip_error_strerror(&err));
    }
    zip_error_fini(&err);
    return archive_ != nullptr;
}

void ZipArchive::close() {
    if (archive_ != nullptr) {
        zip_discard(archive_);  // read-only: nothing to write back
        archive_ = nullptr;
    }
}

std::vector<ZipEntry> ZipArchive::entries() {
    std::vector<ZipEntry> list;
    if (archive_ == nullptr) return list;
    const zip_int64_t count = zip_get_num_entries(archive_, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
        if ((st.valid & ZIP_STAT_NAME) == 0) continue;
        ZipEntry e;
        e.name = st.name;
        e.index = static_cast<uint64_t>(i);
        e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
        list.push_back(std::move(e));
    }
    return list;
}

std::optional<ZipEntry> ZipArchive::findEntry(std::string_view name) {
    for (auto& e : entries())
        if (e.name == name) return e;
    return std::nullopt;
}

template <typename Sink>
bool ZipArchive::readChunks(const ZipEntry& entry, Sink&& sink) {
    if (archive_ == nullptr) {
        error_ = "zip not open";
        return false;
    }
    if (entry.size > sizeLimit_) {
        error_ = fmt::format("\"{}\" in \"{}\" claims {} bytes, more than the limit of {}", entry.name,
                             gf_utf8FromPath(path_), entry.size, sizeLimit_);
        return false;
    }
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(zip_fopen_index(archive_, entry.index, 0), zip_fclose);
    if (!file) {
        error_ = fmt::format("cannot open \"{}\" in \"{}\": {}", entry.name, gf_utf8FromPath(path_), zip_strerror(archive_));
        return false;
    }
    std::vector<char> buffer(chunkSize);
    uint64_t total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer.data(), buffer.size());
        if (n < 0) {
            // libzip reports a checksum mismatch here at the end of the data
            error_ = fmt::format("cannot read \"{}\" in \"{}\": {}", entry.name, gf_utf8FromPath(path_),
                                 zip_file_strerror(file.get()));
            return false;
        }
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (total > sizeLimit_) {
            error_ = fmt::format("\"{}\" in \"{}\" unpacks to more than the limit of {} bytes", entry.name,
                                 gf_utf8FromPath(path_), sizeLimit_);
            return false;
        }
        if (!sink(buffer.data(), static_cast<size_t>(n))) {
            error_ = fmt::format("cannot write \"{}\" of \"{}\"", entry.name, gf_utf8FromPath(path_));
            return false;
        }
    }
    if (total != entry.size) {
        error_ = fmt::format("\"{}\" in \"{}\" is {} bytes, expected {}", entry.name, gf_utf8FromPath(path_), total, entry.size);
        return false;
    }
    return true;
}

std::optional<std::string> ZipArchive::readText(const ZipEntry& entry) {
    try {
        std::string text;
        if (entry.size <= sizeLimit_) text.reserve(static_cast<size_t>(std::min(entry.size, reserveAtMost)));
        if (!readChunks(entry, [&](const char* p, size_t n) {
                text.append(p, n);
                return true;
            }))
            return std::nullopt;
        return text;
    } catch (const std::bad_alloc&) {
        error_ = fmt::format("\"{}\" in \"{}\" does not fit in memory", entry.name, gf_utf8FromPath(path_));
        return std::nullopt;
    }
}

bool ZipArchive::readToStream(const ZipEntry& entry, std::ostream& out) {
    return readChunks(entry, [&](const char* p, size_t n) {
        out.write(p, static_cast<std::streamsize>(n));
        return static_cast<bool>(out);
    });
}

bool ZipArchive::readToFile(const ZipEntry& entry, const std::filesystem::path& file) {
    bool ok = false;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (!out) {
            error_ = fmt::format("cannot create \"{}\"", gf_utf8FromPath(file));
            return false;
        }
        ok = readToStream(entry, out);
        out.close();
        ok = ok && !out.fail();
    }
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
    return ok;
}

}  // namespace vdl
