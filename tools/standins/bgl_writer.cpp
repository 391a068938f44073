#include "standins/bgl_writer.h"

#include "foundation/utf8_path.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vdl::bglwriter {

namespace {

class Bytes {
  public:
    std::vector<uint8_t> data;

    size_t size() const { return data.size(); }
    void u8(uint8_t v) { data.push_back(v); }
    void u16(uint16_t v) {
        u8(static_cast<uint8_t>(v));
        u8(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void zeros(size_t n) { data.insert(data.end(), n, 0); }
    void putU32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void append(const Bytes& other) { data.insert(data.end(), other.data.begin(), other.data.end()); }
};

// Writes the header with a placeholder size, returns where the size goes.
size_t lf_header(Bytes& out, uint16_t id) {
    out.u16(id);
    const size_t at = out.size();
    out.u32(0);
    return at;
}

void lf_finishSize(Bytes& out, size_t start, size_t sizeAt, std::optional<int32_t> size) {
    out.putU32(sizeAt, static_cast<uint32_t>(size.value_or(static_cast<int32_t>(out.size() - start))));
}

void lf_helipad(Bytes& out, const Helipad& h) {
    const size_t start = out.size();
    const size_t sizeAt = lf_header(out, 0x0026);
    out.zeros(6);                        // 6..11: surface, flags
    out.u32(gf_packLongitude(h.lon));    // 12
    out.u32(gf_packLatitude(h.lat));     // 16
    out.zeros(8);                        // 20: altitude, ...
    out.f32(h.size);                     // 28
    out.f32(h.size);                     // 32: width
    lf_finishSize(out, start, sizeAt, std::nullopt);
}

void lf_parking(Bytes& out, const Parking& p) {
    out.u8(p.nameCode & 0x3F);
    out.u8(static_cast<uint8_t>((p.type & 0x0F) | ((p.number & 0x0F) << 4)));
    out.u8(static_cast<uint8_t>(p.number >> 4));
    out.u8(p.airlineCount);
    out.f32(p.radius);                // 4
    out.f32(p.heading);               // 8
    out.zeros(16);                    // 12: tee offsets
    out.u32(gf_packLongitude(p.lon)); // 28
    out.u32(gf_packLatitude(p.lat));  // 32
    out.zeros(20);                    // 36
    for (int i = 0; i < p.airlineCount; ++i) {
        out.u8('D');
        out.u8('L');
        out.u8('H');
        out.u8(0);
    }
}

void lf_parkingList(Bytes& out, const ParkingList& list) {
    const size_t start = out.size();
    const size_t sizeAt = lf_header(out, 0x00E7);
    out.u16(list.count.value_or(static_cast<uint16_t>(list.parkings.size())));
    for (const auto& p : list.parkings) lf_parking(out, p);
    lf_finishSize(out, start, sizeAt, std::nullopt);
}

void lf_airport(Bytes& out, const Airport& a) {
    const size_t start = out.size();
    const size_t sizeAt = lf_header(out, 0x0056);
    out.zeros(2);                                           // 6: runway and other counts
    out.u32(gf_packLongitude(a.lon));                       // 8
    out.u32(gf_packLatitude(a.lat));                        // 12
    out.u32(0);                                             // 16
    out.u32(static_cast<uint32_t>(a.elevation));            // 20
    out.zeros(16);                                          // 24
    out.u32(a.identifier.value_or(gf_packIdentifier(a.icao)));  // 40
    out.zeros(24);                                          // 44
    for (const auto& s : a.subrecords) {
        if (const auto* h = std::get_if<Helipad>(&s))
            lf_helipad(out, *h);
        else
            lf_parkingList(out, std::get<ParkingList>(s));
    }
    lf_finishSize(out, start, sizeAt, a.size);
}

void lf_other(Bytes& out, const OtherRecord& r) {
    const size_t start = out.size();
    const size_t sizeAt = lf_header(out, r.id);
    out.zeros(r.bytes > 6 ? r.bytes - 6 : 0);
    lf_finishSize(out, start, sizeAt, r.size);
}

Bytes lf_records(const Subsection& s) {
    Bytes out;
    for (const auto& r : s.records) {
        if (const auto* a = std::get_if<Airport>(&r))
            lf_airport(out, *a);
        else
            lf_other(out, std::get<OtherRecord>(r));
    }
    return out;
}

}  // namespace

uint32_t gf_packIdentifier(std::string_view icao) {
    uint32_t v = 0;
    for (const char c : icao) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0') + 2;
        else if (c >= 'A' && c <= 'Z')
            digit = static_cast<uint32_t>(c - 'A') + 12;
        v = v * 38 + digit;
    }
    return v << 5;
}

uint32_t gf_packLatitude(double lat) { return static_cast<uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-07)); }

uint32_t gf_packLongitude(double lon) {
    return static_cast<uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-07));
}

std::vector<uint8_t> gf_bglBytes(const File& file) {
    // Header, section table, then per section its subsection entries followed by their records.
    std::vector<std::vector<Bytes>> records;
    for (const auto& section : file.sections) {
        auto& list = records.emplace_back();
        for (const auto& s : section.subsections) list.push_back(lf_records(s));
    }
    size_t offset = 56 + 20 * file.sections.size();
    std::vector<size_t> entryOffsets;
    std::vector<std::vector<size_t>> recordOffsets;
    for (size_t i = 0; i < file.sections.size(); ++i) {
        const size_t entryBytes = file.sections[i].wideEntries ? 20 : 16;
        if (const auto same = file.sections[i].sameSubsectionsAs) {
            entryOffsets.push_back(entryOffsets.at(*same));
            recordOffsets.emplace_back();
            continue;
        }
        entryOffsets.push_back(offset);
        offset += entryBytes * file.sections[i].subsections.size();
        auto& list = recordOffsets.emplace_back();
        for (const auto& r : records[i]) {
            list.push_back(offset);
            offset += r.size();
        }
    }

    Bytes out;
    out.u32(0x19920201);
    out.u32(file.headerSize);
    out.zeros(12);
    out.u32(file.sectionCount.value_or(static_cast<uint32_t>(file.sections.size())));
    out.zeros(32);
    for (size_t i = 0; i < file.sections.size(); ++i) {
        const Section& s = file.sections[i];
        const Section& listed = s.sameSubsectionsAs ? file.sections.at(*s.sameSubsectionsAs) : s;
        out.u32(s.type);
        out.u32(s.wideEntries ? 0x10001 : 0x00001);
        out.u32(s.subsectionCount.value_or(static_cast<uint32_t>(listed.subsections.size())));
        out.u32(static_cast<uint32_t>(entryOffsets[i]));
        out.u32(static_cast<uint32_t>((s.wideEntries ? 20 : 16) * s.subsections.size()));
    }
    for (size_t i = 0; i < file.sections.size(); ++i) {
        const Section& s = file.sections[i];
        if (s.sameSubsectionsAs) continue;
        for (size_t k = 0; k < s.subsections.size(); ++k) {
            out.u32(static_cast<uint32_t>(k));  // 0: id
            out.u32(static_cast<uint32_t>(s.subsections[k].records.size()));
            out.u32(static_cast<uint32_t>(recordOffsets[i][k]) + s.subsections[k].offsetAdd);
            out.u32(s.subsections[k].size.value_or(static_cast<uint32_t>(records[i][k].size())));
            if (s.wideEntries) out.u32(0);
        }
        for (const auto& r : records[i]) out.append(r);
    }
    out.zeros(file.fillerBytes);
    if (file.truncateTo && *file.truncateTo < out.size()) out.data.resize(*file.truncateTo);
    return std::move(out.data);
}

void gf_writeBgl(const std::filesystem::path& path, const File& file) {
    const std::vector<uint8_t> bytes = gf_bglBytes(file);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + gf_utf8FromPath(path));
}

Subsection gf_subsection(std::vector<Record> records) {
    Subsection s;
    s.records = std::move(records);
    return s;
}

Section gf_airportSection(std::vector<Record> records) {
    Section s;
    s.subsections.push_back(gf_subsection(std::move(records)));
    return s;
}

File gf_airportFile(std::vector<Airport> airports) {
    Subsection sub;
    for (auto& a : airports) sub.records.emplace_back(std::move(a));
    Section section;
    section.subsections.push_back(std::move(sub));
    File f;
    f.sections.push_back(Section{0x65, false, {}, std::nullopt, std::nullopt});  // a scenery section first
    f.sections.push_back(std::move(section));
    return f;
}

Airport gf_sampleAirport(std::string icao, int count, int helipads) {
    Airport a;
    a.icao = std::move(icao);
    for (int i = 0; i < helipads; ++i) a.subrecords.push_back(Helipad{a.lat + 0.001 * (i + 1), a.lon - 0.001, 24.0f});
    ParkingList list;
    for (int i = 0; i < count; ++i) {
        Parking p;
        p.number = static_cast<uint16_t>(i + 1);
        p.type = static_cast<uint8_t>(i % 3 == 0 ? 5 : 8 + i % 4);
        p.radius = 15.0f + static_cast<float>(i % 40);
        p.heading = static_cast<float>((i * 37) % 360);
        p.lat = a.lat + 0.0002 * (i % 50);
        p.lon = a.lon + 0.0003 * (i / 50);
        p.airlineCount = static_cast<uint8_t>(i % 3);
        list.parkings.push_back(p);
    }
    a.subrecords.emplace_back(std::move(list));
    return a;
}

File gf_sceneryFile(uint32_t bytes) {
    File f;
    Section s{0x65, false, {}, std::nullopt, std::nullopt};
    s.subsections.push_back(Subsection{{OtherRecord{0x0065, 64, std::nullopt}}, std::nullopt, 0});
    f.sections.push_back(s);
    f.sections.push_back(Section{0x2C, false, {}, std::nullopt, std::nullopt});
    f.fillerBytes = bytes;
    return f;
}

std::vector<std::pair<std::string, File>> gf_sampleFiles() {
    std::vector<std::pair<std::string, File>> files;
    files.emplace_back("airport", gf_airportFile({gf_sampleAirport("EDDF", 12, 2), gf_sampleAirport("EDDS", 5)}));

    File duplicates = gf_airportFile({gf_sampleAirport("LSZH", 0)});
    auto& list = std::get<ParkingList>(std::get<Airport>(duplicates.sections[1].subsections[0].records[0]).subrecords[0]);
    for (float r : {20.0f, 30.0f, 25.0f, 1.0f, 200.0f, 50.0f, 60.0f, 70.0f, 80.0f, 90.0f}) list.parkings.push_back(Parking{10, 12, 8, r});
    files.emplace_back("duplicate-names", duplicates);

    File twoSections = gf_airportFile({gf_sampleAirport("EGLL", 3)});
    twoSections.sections.push_back(gf_airportSection({gf_sampleAirport("EGKK", 2)}));
    files.emplace_back("two-sections", twoSections);

    File twoSubsections = gf_airportFile({gf_sampleAirport("KJFK", 3)});
    twoSubsections.sections[1].subsections.push_back(gf_subsection({gf_sampleAirport("KLGA", 2)}));
    files.emplace_back("two-subsections", twoSubsections);

    File truncated = gf_airportFile({gf_sampleAirport("LOWW", 4), gf_sampleAirport("LOWI", 4)});
    std::get<Airport>(truncated.sections[1].subsections[0].records[1]).size = 4000;
    files.emplace_back("truncated-record", truncated);

    File sizeZero = gf_airportFile({gf_sampleAirport("EKCH", 2)});
    sizeZero.sections[1].subsections[0].records.insert(sizeZero.sections[1].subsections[0].records.begin(),
                                                       OtherRecord{0x0003, 16, 0});
    files.emplace_back("size-zero-record", sizeZero);

    File wide = gf_airportFile({gf_sampleAirport("LFPG", 2)});
    wide.sections[1].wideEntries = true;
    files.emplace_back("wide-subsection-entries", wide);

    File notRecognised = gf_airportFile({gf_sampleAirport("LIRF", 2)});
    notRecognised.sections[1].subsections[0].records.insert(notRecognised.sections[1].subsections[0].records.begin(),
                                                            OtherRecord{0x0113, 24, std::nullopt});
    files.emplace_back("not-recognised", notRecognised);

    File unaligned = gf_airportFile({gf_sampleAirport("EHAM", 3)});
    unaligned.sections[1].subsections[0].offsetAdd = 3;
    unaligned.sections[1].subsections[0].size = static_cast<uint32_t>(gf_bglBytes(unaligned).size());  // past the end
    files.emplace_back("unaligned-offset", unaligned);

    File cut = gf_airportFile({gf_sampleAirport("EDDM", 6)});
    cut.truncateTo = gf_bglBytes(cut).size() - 30;
    files.emplace_back("cut-file", cut);

    files.emplace_back("scenery", gf_sceneryFile(2000));
    files.emplace_back("large-airport", gf_airportFile({gf_sampleAirport("KATL", 400, 4)}));
    return files;
}

}  // namespace vdl::bglwriter
