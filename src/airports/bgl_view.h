// Bounded views on the bytes of a BGL file, one small type per kind of record the airport scan
// reads: the file, a section entry, a subsection entry, a record header, an airport record, a
// helipad, a parking list and one parking entry. Each is made on the view of its container and
// checks there that it lies wholly inside; a read outside its own view throws BglBoundError, so
// a wrong size or offset in the file never reaches past its container.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vdl {

class BglBoundError : public std::out_of_range {
  public:
    using std::out_of_range::out_of_range;
};

// Offsets in the file are taken to their word (divided by 4, remainder dropped); sizes are
// counted in whole words, toward zero.
constexpr uint64_t gf_bglWordOffset(uint32_t offset) { return offset & ~uint64_t{3}; }
constexpr int64_t gf_bglWordSize(int32_t size) { return int64_t{size / 4} * 4; }

class BglBytes {
  public:
    BglBytes() = default;
    BglBytes(const uint8_t* data, uint64_t size, const char* what) : data_(data), size_(size), what_(what) {}

    uint64_t size() const { return size_; }
    const char* what() const { return what_; }
    bool holds(uint64_t offset, uint64_t width) const { return offset <= size_ && width <= size_ - offset; }

    uint8_t u8(uint64_t offset) const;
    uint16_t u16(uint64_t offset) const;
    uint32_t u32(uint64_t offset) const;
    int32_t i32(uint64_t offset) const { return static_cast<int32_t>(u32(offset)); }
    float f32(uint64_t offset) const;

    // The bytes [offset, offset + size) as a view of their own, named what.
    BglBytes part(uint64_t offset, uint64_t size, const char* what) const;
    // The bytes from offset to the end; empty when offset is at or past the end.
    BglBytes tail(uint64_t offset, const char* what) const;

  private:
    void need(uint64_t offset, uint64_t width) const;

    const uint8_t* data_ = nullptr;
    uint64_t size_ = 0;
    const char* what_ = "";
};

// The whole file, zero-filled to whole words: header (56 bytes) and section table.
class BglFile {
  public:
    static constexpr uint64_t headerBytes = 56;
    static constexpr uint64_t sectionEntryBytes = 20;

    explicit BglFile(BglBytes bytes) : bytes_(bytes) {}
    const BglBytes& bytes() const { return bytes_; }
    uint32_t headerSize() const { return bytes_.u32(4); }
    uint32_t sectionCount() const { return bytes_.u32(20); }
    bool holdsSection(uint64_t i) const { return bytes_.holds(headerBytes + sectionEntryBytes * i, sectionEntryBytes); }

  private:
    BglBytes bytes_;
};

// One entry of the section table.
class BglSection {
  public:
    static constexpr uint32_t airportType = 3;

    BglSection(const BglFile& file, uint64_t i)
        : entry_(file.bytes().part(BglFile::headerBytes + BglFile::sectionEntryBytes * i, BglFile::sectionEntryBytes,
                                   "section entry")) {}
    uint32_t type() const { return entry_.u32(0); }
    // 16 or 20 bytes: bit 16 of the flags.
    uint32_t subsectionEntryBytes() const { return ((entry_.u32(4) & 0x10000) | 0x40000) >> 14; }
    uint32_t subsectionCount() const { return entry_.u32(8); }
    uint64_t firstSubsectionOffset() const { return gf_bglWordOffset(entry_.u32(12)); }

  private:
    BglBytes entry_;
};

// One 16-byte subsection entry: where its records lie.
class BglSubsection {
  public:
    static constexpr uint64_t entryBytes = 16;

    BglSubsection(const BglFile& file, uint64_t offset)
        : entry_(file.bytes().part(offset, entryBytes, "subsection entry")) {}
    uint64_t recordsOffset() const { return gf_bglWordOffset(entry_.u32(8)); }
    uint64_t recordsBytes() const { return entry_.u32(12) & ~uint64_t{3}; }

  private:
    BglBytes entry_;
};

// The header of every record and subrecord (u16 id, u32 size in bytes with the header), read
// at an offset of the area that holds it.
class BglRecord {
  public:
    static constexpr uint64_t headerBytes = 6;

    BglRecord(const BglBytes& area, uint64_t offset)
        : area_(area), offset_(offset), id_(area.u16(offset)), size_(area.i32(offset + 2)) {}
    uint16_t id() const { return id_; }
    int32_t sizeField() const { return size_; }
    // Bytes to the next record; below 4 (no progress) ends a walk.
    int64_t step() const { return gf_bglWordSize(size_); }
    bool fitsArea() const { return step() >= 4 && area_.holds(offset_, static_cast<uint64_t>(step())); }
    // The record's own bytes; throws when they run past the area.
    BglBytes bytes(const char* what) const;

  private:
    BglBytes area_;
    uint64_t offset_;
    uint16_t id_;
    int32_t size_;
};

// An airport record (0x0056): elevation, identifier and the subrecords from offset 68 on.
class BglAirport {
  public:
    static constexpr uint16_t id = 0x0056;
    static constexpr uint64_t identifierOffset = 40;
    static constexpr uint64_t subrecordsOffset = 68;

    explicit BglAirport(BglBytes record) : bytes_(record) { bytes_.u32(identifierOffset); }
    int32_t elevation() const { return bytes_.i32(20); }  // metres x 1000
    uint32_t identifier() const { return bytes_.u32(identifierOffset); }
    BglBytes subrecords() const { return bytes_.tail(subrecordsOffset, "airport subrecords"); }

  private:
    BglBytes bytes_;
};

// A helipad subrecord (0x0026).
class BglHelipad {
  public:
    static constexpr uint16_t id = 0x0026;

    explicit BglHelipad(BglBytes subrecord) : bytes_(subrecord) { bytes_.f32(28); }
    uint32_t longitude() const { return bytes_.u32(12); }
    uint32_t latitude() const { return bytes_.u32(16); }
    float size() const { return bytes_.f32(28); }  // metres

  private:
    BglBytes bytes_;
};

// One parking entry: 56 bytes and 4 per airline code.
class BglParking {
  public:
    static constexpr uint64_t fixedBytes = 56;

    BglParking(const BglBytes& entries, uint64_t offset);
    uint8_t nameCode() const { return bytes_.u8(0) & 0x3F; }
    uint8_t type() const { return bytes_.u8(1) & 0x0F; }
    uint32_t number() const { return ((uint32_t{bytes_.u8(2)} << 8) + bytes_.u8(1)) >> 4; }
    float radius() const { return bytes_.f32(4); }    // metres
    float heading() const { return bytes_.f32(8); }   // degrees
    uint32_t longitude() const { return bytes_.u32(28); }
    uint32_t latitude() const { return bytes_.u32(32); }
    uint64_t size() const { return bytes_.size(); }

  private:
    BglBytes bytes_;
};

// A parking list subrecord (0x00E7): a count and the entries from offset 8 on.
class BglParkingList {
  public:
    static constexpr uint16_t id = 0x00E7;

    explicit BglParkingList(BglBytes subrecord) : bytes_(subrecord) { bytes_.u16(6); }
    uint16_t count() const { return bytes_.u16(6); }
    BglBytes entries() const { return bytes_.tail(8, "parking entries"); }

  private:
    BglBytes bytes_;
};

// Packed positions of helipads and parkings, in degrees.
constexpr double gf_bglLongitude(uint32_t value) { return value * 4.470348358154297e-07 - 180.0; }
constexpr double gf_bglLatitude(uint32_t value) { return 90.0 - value * 3.3527612686157227e-07; }

}  // namespace vdl
