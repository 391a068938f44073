#include "airports/bgl_reader.h"

#include <fmt/format.h>

#include <array>
#include <fstream>

#include "airports/airport_scan_log.h"
#include "foundation/files.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {

constexpr const char* bglWarn = "===> ";
constexpr uint64_t minFileBytes = 15 * 4;  // header and the start of the section table

// The walk over one file's airport sections. Each subsection's records are walked inside the
// subsection; a record or subsection entry reached a second time (sections that share them)
// ends that walk, so every airport is handed on once and a file is walked in linear time.
class BglWalk {
  public:
    BglWalk(const BglFile& file, std::string_view pathText, const BglHandOffs& handOffs, bool msfs2020)
        : file_(file), path_(pathText), handOffs_(handOffs), msfs2020_(msfs2020),
          marks_(file.bytes().size() / 4, 0) {}

    void run() {
        if (file_.bytes().size() < 8) throw std::out_of_range("a file of at most 4 bytes has no header size");
        if (file_.bytes().size() < minFileBytes) return;
        // The folder walk's quick test passed it as an airport file: say why none is read.
        if (file_.headerSize() != bglHeaderSize) {
            log(fmt::format("{}header size {} is not {}, no airport read, in {}", bglWarn, file_.headerSize(), bglHeaderSize,
                            path_));
            return;
        }
        const uint64_t n = file_.sectionCount();
        for (uint64_t i = 0; i < n; ++i) {
            if (!file_.holdsSection(i)) {
                log(fmt::format("{}section table runs past the end of the file after {} of {} sections, in {}",
                                bglWarn, i, n, path_));
                return;
            }
            const BglSection section(file_, i);
            if (section.type() != BglSection::airportType || section.subsectionEntryBytes() != BglSubsection::entryBytes)
                continue;
            if (!walkSection(i, section)) return;
        }
    }

  private:
    enum : uint8_t { recordSeen = 1, entrySeen = 2 };

    // False when the file ends here (not-recognised mark).
    bool walkSection(uint64_t i, const BglSection& section) {
        const BglBytes& bytes = file_.bytes();
        const uint64_t count = section.subsectionCount();
        for (uint64_t k = 0; k < count; ++k) {
            const uint64_t entry = section.firstSubsectionOffset() + BglSubsection::entryBytes * k;
            if (!bytes.holds(entry, BglSubsection::entryBytes)) {
                log(fmt::format("{}subsection {} of airport section {} lies outside the file, in {}", bglWarn, k, i,
                                path_));
                return true;
            }
            uint8_t& mark = marks_[entry / 4];
            if (mark & entrySeen) return true;
            mark |= entrySeen;
            const BglSubsection subsection(file_, entry);
            const uint64_t start = subsection.recordsOffset();
            uint64_t size = subsection.recordsBytes();
            if (size < BglRecord::headerBytes) {
                log(fmt::format("{}records of subsection {} of airport section {} have {} bytes, none read, in {}",
                                bglWarn, k, i, size, path_));
                continue;
            }
            if (start >= bytes.size()) {
                log(fmt::format("{}records of subsection {} of airport section {} lie outside the file, in {}", bglWarn,
                                k, i, path_));
                continue;
            }
            if (size > bytes.size() - start) {
                log(fmt::format("{}records of subsection {} of airport section {} run past the end of the file, "
                                "read up to it, in {}",
                                bglWarn, k, i, path_));
                size = bytes.size() - start;
            }
            if (!walkRecords(bytes.part(start, size, "subsection"), start)) return false;
        }
        return true;
    }

    // False when the file ends here (not-recognised mark).
    bool walkRecords(const BglBytes& area, uint64_t areaStart) {
        for (uint64_t offset = 0; offset < area.size();) {
            uint8_t& mark = marks_[(areaStart + offset) / 4];
            if (mark & recordSeen) return true;
            mark |= recordSeen;
            if (!area.holds(offset, BglRecord::headerBytes)) {
                log(fmt::format("{}record header at {} runs past its subsection, in {}", bglWarn, areaStart + offset,
                                path_));
                return true;
            }
            const BglRecord record(area, offset);
            if (record.id() == bglNotRecognisedId && !msfs2020_) {
                if (handOffs_.notRecognised) handOffs_.notRecognised();
                return false;
            }
            if (record.id() == BglAirport::id) {
                airport(record, areaStart + offset);
            } else if (record.step() >= 4 && !record.fitsArea()) {
                log(fmt::format("{}record 0x{:04X} at {} of {} bytes runs past its subsection, in {}", bglWarn,
                                record.id(), areaStart + offset, record.sizeField(), path_));
            }
            if (!record.fitsArea()) return true;  // a size below 4 or past the subsection ends the walk
            offset += static_cast<uint64_t>(record.step());
        }
        return true;
    }

    void airport(const BglRecord& record, uint64_t fileOffset) {
        if (record.step() < static_cast<int64_t>(BglAirport::identifierOffset + 4)) {
            log(fmt::format("{}airport record at {} of {} bytes is too small for its identifier (skipped), in {}",
                            bglWarn, fileOffset, record.sizeField(), path_));
            return;
        }
        if (!record.fitsArea()) {
            log(fmt::format("{}airport record at {} of {} bytes runs past its subsection (skipped), in {}", bglWarn,
                            fileOffset, record.sizeField(), path_));
            return;
        }
        const BglAirport airport(record.bytes("airport record"));
        bool ok = false;
        const std::string icao = gf_decodeIdentifierOrRegionCode(airport.identifier(), ok);
        if (ok && handOffs_.airport) handOffs_.airport(airport, icao);
    }

    static void log(std::string_view line) { gf_addAirportsScanLog(line); }

    const BglFile& file_;
    std::string_view path_;
    const BglHandOffs& handOffs_;
    bool msfs2020_;
    std::vector<uint8_t> marks_;  // per word of the file
};

uint64_t lf_fileSize(std::ifstream& in) {
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    return size < 0 ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

bool gf_hasAirportSection(const std::filesystem::path& path) {
    if (!gf_isRegularFile(path)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const uint64_t size = lf_fileSize(in);
    if (size < 15) return false;
    std::array<uint8_t, BglFile::headerBytes> header{};
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(std::min<uint64_t>(size, header.size())));
    const uint64_t n = BglBytes(header.data(), header.size(), "header").u32(20);
    if (n == 0) return false;
    const uint64_t end = BglFile::headerBytes + BglFile::sectionEntryBytes * n;  // 64 bits: no wrap
    if (size <= end) return false;
    std::vector<uint8_t> table(end - BglFile::headerBytes);
    in.seekg(static_cast<std::streamoff>(BglFile::headerBytes));
    if (!in.read(reinterpret_cast<char*>(table.data()), static_cast<std::streamsize>(table.size()))) return false;
    const BglBytes sections(table.data(), table.size(), "section table");
    for (uint64_t i = 0; i < n; ++i)
        if (sections.u32(BglFile::sectionEntryBytes * i) == BglSection::airportType) return true;
    return false;
}

std::string gf_decodeIdentifierOrRegionCode(uint32_t value, bool& ok) {
    ok = true;
    uint32_t v = value >> 5;
    std::array<uint32_t, 8> digits{};  // 2^27 has 6 digits in base 38
    size_t count = 0;
    if (v >= 38) {
        while (true) {
            digits[count++] = v % 38;
            v /= 38;
            if (v < 38) {
                digits[count++] = v;
                break;
            }
        }
    }
    std::string text;
    for (size_t i = count; i-- > 0;) {
        const uint32_t d = digits[i];
        if (d == 0) {
            text += ' ';
            ok = false;
        } else if (d >= 2 && d <= 11) {
            text += static_cast<char>(d + 46);
        } else {
            text += static_cast<char>(d + 53);
        }
    }
    if (text.size() != 4) ok = false;
    return text;
}

void gf_walkBglBytes(std::vector<uint8_t> bytes, std::string_view pathText, const BglHandOffs& handOffs,
                     bool msfs2020) {
    bytes.resize((bytes.size() + 3) & ~size_t{3}, 0);  // a last part word is zero-filled
    const BglFile file(BglBytes(bytes.data(), bytes.size(), "file"));
    BglWalk(file, pathText, handOffs, msfs2020).run();
}

void gf_readBglFile(const std::filesystem::path& path, const BglHandOffs& handOffs, bool msfs2020) {
    if (!gf_isRegularFile(path)) return;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    const uint64_t size = lf_fileSize(in);
    const std::string pathText = gf_utf8FromPath(path);
    if (size > bglMaxFileBytes) {
        gf_addAirportsScanLog(fmt::format("{}{} has {} bytes, more than an airport file has (skipped)", bglWarn,
                                          pathText, size));
        return;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>((size + 3) & ~uint64_t{3}));  // room for the zero-filled last word
    bytes.resize(static_cast<size_t>(size));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));  // one read for the file
    bytes.resize(static_cast<size_t>(in.gcount()));
    gf_walkBglBytes(std::move(bytes), pathText, handOffs, msfs2020);
}

}  // namespace vdl
