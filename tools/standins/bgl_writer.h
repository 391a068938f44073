// Writes BGL files for the tests, the fuzz seeds and the scan's benchmarks: the file header,
// the section table, subsection entries and their records, airport records with helipad and
// parking-list subrecords, laid out as the add-on airport scan reads them. Every size and count
// is written true unless a field asks for another value, which gives the broken cases
// (truncated records, records of size 0, unaligned offsets, 20-byte subsection entries).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vdl::bglwriter {

struct Helipad {
    double lat = 50.0;
    double lon = 8.5;
    float size = 20.0f;  // metres
};

struct Parking {
    uint8_t nameCode = 10;  // "g"
    uint16_t number = 1;    // 0..4095
    uint8_t type = 8;       // a gate
    float radius = 20.0f;   // metres
    float heading = 90.0f;  // degrees
    double lat = 50.0;
    double lon = 8.5;
    uint8_t airlineCount = 0;
};

struct ParkingList {
    std::vector<Parking> parkings;
    std::optional<uint16_t> count;  // instead of the number of parkings
};

using Subrecord = std::variant<Helipad, ParkingList>;

struct Airport {
    std::string icao = "EDDF";
    std::optional<uint32_t> identifier;  // a packed identifier instead of icao's
    int32_t elevation = 100000;          // metres x 1000
    double lat = 50.03;
    double lon = 8.57;
    std::vector<Subrecord> subrecords;
    std::optional<int32_t> size;  // instead of the record's true size
};

// A record the scan steps over (0x0113 marks an airport the program does not recognise).
struct OtherRecord {
    uint16_t id = 0x0003;
    uint32_t bytes = 16;          // header included; a multiple of 4 from 8 on
    std::optional<int32_t> size;  // instead of bytes
};

using Record = std::variant<Airport, OtherRecord>;

struct Subsection {
    std::vector<Record> records;
    std::optional<uint32_t> size;  // instead of the records' byte count
    uint32_t offsetAdd = 0;        // added to the records' offset (an unaligned offset)
};

struct Section {
    uint32_t type = 3;         // 3: airports
    bool wideEntries = false;  // 20-byte subsection entries (bit 16 of the flags)
    std::vector<Subsection> subsections;
    std::optional<uint32_t> subsectionCount;  // instead of the number of subsections
    std::optional<size_t> sameSubsectionsAs;  // an earlier section whose subsection entries this one names
};

struct File {
    std::vector<Section> sections;
    uint32_t headerSize = 56;
    std::optional<uint32_t> sectionCount;  // instead of the number of sections
    uint32_t fillerBytes = 0;              // data after the records, as scenery files carry
    std::optional<size_t> truncateTo;      // the file cut after this many bytes
};

uint32_t gf_packIdentifier(std::string_view icao);  // blanks, digits and capitals
uint32_t gf_packLatitude(double lat);
uint32_t gf_packLongitude(double lon);

std::vector<uint8_t> gf_bglBytes(const File& file);
void gf_writeBgl(const std::filesystem::path& path, const File& file);

Subsection gf_subsection(std::vector<Record> records);
// An airport section with one subsection of the records.
Section gf_airportSection(std::vector<Record> records);
// An airport file: one airport section with one subsection holding the airports.
File gf_airportFile(std::vector<Airport> airports);
// An airport with `count` gates g1, g2, ... around its position and `helipads` helipads first.
Airport gf_sampleAirport(std::string icao, int count, int helipads = 0);
// A scenery file without airports: a section table of other types and `bytes` of data.
File gf_sceneryFile(uint32_t bytes);

// Good and broken files of every kind the reader knows, by name, for tests and fuzz seeds.
std::vector<std::pair<std::string, File>> gf_sampleFiles();

}  // namespace vdl::bglwriter
