// BGL airport files: the identifier decoder, the quick test, short files, and the walk over
// sections, subsections and records, each bounded by its container.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "airports/airport_scan_log.h"
#include "airports/bgl_reader.h"
#include "airports/reset.h"
#include "standins/bgl_writer.h"
#include "support/foundation_env.h"
#include "support/odd_files.h"

namespace vdl::test {
namespace {

namespace bw = bglwriter;

struct Walked {
    std::vector<std::string> airports;
    int notRecognised = 0;
    std::vector<std::string> log;
};

Walked walk(const std::vector<uint8_t>& bytes, bool msfs2020 = false) {
    Walked w;
    BglHandOffs handOffs;
    handOffs.airport = [&](const BglAirport&, const std::string& icao) { w.airports.push_back(icao); };
    handOffs.notRecognised = [&] { ++w.notRecognised; };
    gf_walkBglBytes(bytes, "in.bgl", handOffs, msfs2020);
    w.log = gf_takeAirportsScanLog();
    return w;
}

Walked walk(const bw::File& file, bool msfs2020 = false) { return walk(bw::gf_bglBytes(file), msfs2020); }

using Names = std::vector<std::string>;

class BglReader : public ::testing::Test {
  protected:
    void SetUp() override { gf_resetAirports(); }
    void TearDown() override { gf_resetAirports(); }
    TempWorkDir work;
};

TEST(BglIdentifier, DecodesFourCharacterCodesOnly) {
    struct Case {
        uint32_t value;
        std::string text;
        bool ok;
    };
    const uint32_t eddf = bw::gf_packIdentifier("EDDF");
    const uint32_t sixAaa = (((1u * 38 + 12) * 38 + 12) * 38 + 12) << 5;  // digit value 1
    const std::vector<Case> cases = {
        {eddf, "EDDF", true},
        {eddf | 0x1F, "EDDF", true},  // bits 0 to 4 are not part of the code
        {bw::gf_packIdentifier("K2A9"), "K2A9", true},
        {bw::gf_packIdentifier("EDD"), "EDD", false},
        {bw::gf_packIdentifier("EDDFX"), "EDDFX", false},
        {bw::gf_packIdentifier("ED F"), "ED F", false},
        {bw::gf_packIdentifier("0ABC"), "0ABC", true},
        {sixAaa, "6AAA", true},
        {38 * 32 - 1, "", false},
        {0, "", false},
        {0xFFFFFFFF, "6OC JF", false},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(gf_decodeIdentifierOrRegionCode(c.value, ok), c.text) << c.value;
        EXPECT_EQ(ok, c.ok) << c.value;
    }
}

TEST_F(BglReader, QuickTestLooksOnlyAtTheSectionTable) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool airport;
    };
    bw::File wide = bw::gf_airportFile({bw::gf_sampleAirport("LFPG", 2)});
    wide.sections[1].wideEntries = true;
    bw::File wrongHeader = bw::gf_airportFile({bw::gf_sampleAirport("LFPG", 2)});
    wrongHeader.headerSize = 60;
    bw::File huge = bw::gf_sceneryFile(100);
    huge.sectionCount = 0xFFFFFFFF;  // 56 + 20n wraps in 32 bits
    bw::File noSections = bw::gf_sceneryFile(100);
    noSections.sectionCount = 0;
    bw::File tableCut = bw::gf_airportFile({});
    tableCut.truncateTo = 56 + 20 * 2;  // the table ends at the file's end
    const std::vector<Case> cases = {
        {"airport", bw::gf_bglBytes(bw::gf_airportFile({bw::gf_sampleAirport("EDDF", 3)})), true},
        {"scenery", bw::gf_bglBytes(bw::gf_sceneryFile(500)), false},
        {"20-byte entries", bw::gf_bglBytes(wide), true},
        {"header size", bw::gf_bglBytes(wrongHeader), true},
        {"huge count", bw::gf_bglBytes(huge), false},
        {"no sections", bw::gf_bglBytes(noSections), false},
        {"table to the end", bw::gf_bglBytes(tableCut), false},
        {"14 bytes", std::vector<uint8_t>(14, 3), false},
        {"empty", {}, false},
    };
    for (const auto& c : cases) {
        writeWholeFile("f.bgl", std::string(c.bytes.begin(), c.bytes.end()));
        EXPECT_EQ(gf_hasAirportSection("f.bgl"), c.airport) << c.name;
    }
    EXPECT_FALSE(gf_hasAirportSection("missing.bgl"));
    BglHandOffs none;
    for (const OddFile kind : oddFileKinds()) {  // neither taken for a file nor waited for
        ASSERT_TRUE(makeOddFile(kind, "odd.bgl"));
        EXPECT_FALSE(gf_hasAirportSection("odd.bgl")) << oddFileName(kind);
        EXPECT_NO_THROW(gf_readBglFile("odd.bgl", none, false)) << oddFileName(kind);
    }
}

TEST_F(BglReader, ShortFilesThrowUpToFourBytesAndEndQuietlyUpTo56) {
    BglHandOffs none;
    for (size_t n = 0; n <= 4; ++n) {
        writeWholeFile("short.bgl", std::string(n, '\x38'));
        EXPECT_THROW(gf_readBglFile("short.bgl", none, false), std::out_of_range) << n;
    }
    const std::vector<uint8_t> airport = bw::gf_bglBytes(bw::gf_airportFile({bw::gf_sampleAirport("EDDF", 3)}));
    for (size_t n = 5; n <= 56; ++n) {
        const Walked w = walk(std::vector<uint8_t>(airport.begin(), airport.begin() + static_cast<long>(n)));
        EXPECT_TRUE(w.airports.empty() && w.log.empty()) << n;
    }
    // Word 1 of a file of 5 to 7 bytes is zero-filled: 56 in byte 4 alone is a header size.
    std::vector<uint8_t> five = {0, 0, 0, 0, 56};
    EXPECT_TRUE(walk(five).log.empty());
    gf_readBglFile("missing.bgl", none, false);  // quietly nothing
    writeWholeFile("whole.bgl", std::string(airport.begin(), airport.end()));
    Names read;
    BglHandOffs collect;
    collect.airport = [&](const BglAirport&, const std::string& icao) { read.push_back(icao); };
    gf_readBglFile("whole.bgl", collect, false);
    EXPECT_EQ(read, Names{"EDDF"});

    // A file past the bound is not read into memory (a sparse file: no disk space taken).
    std::filesystem::resize_file("whole.bgl", bglMaxFileBytes + 1);
    read.clear();
    gf_readBglFile("whole.bgl", collect, false);
    EXPECT_TRUE(read.empty());
    const auto log = gf_takeAirportsScanLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "===> whole.bgl has 268435457 bytes, more than an airport file has (skipped)");
}

TEST_F(BglReader, SectionsAndSubsectionsEachHandOnTheirAirportsOnce) {
    struct Case {
        const char* name;
        bw::File file;
        Names airports;
        size_t logLines;  // at least; 0: none
    };
    std::vector<Case> cases;
    auto file = [](std::vector<bw::Airport> airports) { return bw::gf_airportFile(std::move(airports)); };

    cases.push_back({"two airports", file({bw::gf_sampleAirport("EDDF", 3), bw::gf_sampleAirport("EDDS", 1)}),
                     {"EDDF", "EDDS"}, 0});

    bw::File wide = file({bw::gf_sampleAirport("LFPG", 2)});
    wide.sections[1].wideEntries = true;
    cases.push_back({"20-byte subsection entries", wide, {}, 0});

    bw::File twoSections = file({bw::gf_sampleAirport("EGLL", 3)});
    twoSections.sections.push_back(bw::gf_airportSection({bw::gf_sampleAirport("EGKK", 2)}));
    cases.push_back({"two airport sections", twoSections, {"EGLL", "EGKK"}, 0});

    bw::File twoSubsections = file({bw::gf_sampleAirport("KJFK", 3)});
    twoSubsections.sections[1].subsections.push_back(bw::gf_subsection({bw::gf_sampleAirport("KLGA", 2)}));
    cases.push_back({"two subsections", twoSubsections, {"KJFK", "KLGA"}, 0});

    // The first subsection's size covers only its first airport: the second is not walked
    // into from there, and the second subsection is still read.
    bw::File bounded = file({bw::gf_sampleAirport("KBOS", 1), bw::gf_sampleAirport("KBED", 1)});
    bounded.sections[1].subsections[0].size =
        static_cast<uint32_t>(bw::gf_bglBytes(file({bw::gf_sampleAirport("KBOS", 1)})).size() -
                              bw::gf_bglBytes(file({})).size());
    bounded.sections[1].subsections.push_back(bw::gf_subsection({bw::gf_sampleAirport("KPVD", 1)}));
    cases.push_back({"subsection size bounds the walk", bounded, {"KBOS", "KPVD"}, 0});

    bw::File sizeZero = file({bw::gf_sampleAirport("EKCH", 2)});
    auto& zeroRecords = sizeZero.sections[1].subsections[0].records;
    zeroRecords.insert(zeroRecords.begin(), bw::OtherRecord{0x0003, 16, 0});
    sizeZero.sections[1].subsections.push_back(bw::gf_subsection({bw::gf_sampleAirport("EKBI", 1)}));
    cases.push_back({"size-0 record ends its subsection", sizeZero, {"EKBI"}, 0});

    bw::File negative = file({bw::gf_sampleAirport("EKCH", 2)});
    negative.sections[1].subsections[0].records.insert(negative.sections[1].subsections[0].records.begin(),
                                                       bw::OtherRecord{0x0003, 16, -16});
    cases.push_back({"negative size", negative, {}, 0});

    bw::File truncated = file({bw::gf_sampleAirport("LOWW", 4), bw::gf_sampleAirport("LOWI", 4)});
    std::get<bw::Airport>(truncated.sections[1].subsections[0].records[1]).size = 4000;
    truncated.sections.push_back(bw::gf_airportSection({bw::gf_sampleAirport("LOWS", 1)}));
    cases.push_back({"truncated record", truncated, {"LOWW", "LOWS"}, 1});

    bw::File tooSmall = file({bw::gf_sampleAirport("LOWG", 1)});
    std::get<bw::Airport>(tooSmall.sections[1].subsections[0].records[0]).size = 40;
    cases.push_back({"airport record smaller than its identifier", tooSmall, {}, 1});

    bw::File unaligned = file({bw::gf_sampleAirport("EHAM", 3)});
    unaligned.sections[1].subsections[0].offsetAdd = 3;
    unaligned.sections[1].subsections[0].size =
        static_cast<uint32_t>(bw::gf_bglBytes(file({bw::gf_sampleAirport("EHAM", 3)})).size() -
                              bw::gf_bglBytes(file({})).size() + 3);  // not a multiple of 4
    cases.push_back({"unaligned offset and size", unaligned, {"EHAM"}, 0});

    bw::File pastEnd = file({bw::gf_sampleAirport("EHRD", 3)});
    pastEnd.sections[1].subsections[0].size = 1 << 20;
    cases.push_back({"subsection past the file's end", pastEnd, {"EHRD"}, 1});

    bw::File cut = file({bw::gf_sampleAirport("EDDM", 1), bw::gf_sampleAirport("EDDN", 6)});
    cut.truncateTo = bw::gf_bglBytes(cut).size() - 30;
    cases.push_back({"file cut inside a record", cut, {"EDDM"}, 2});

    bw::File badCode = file({bw::gf_sampleAirport("EDDM", 1), bw::gf_sampleAirport("EDD", 1)});
    cases.push_back({"invalid identifier", badCode, {"EDDM"}, 0});

    bw::File table = file({bw::gf_sampleAirport("EDDB", 1)});
    table.sectionCount = 1000;
    cases.push_back({"section count past the table", table, {"EDDB"}, 1});

    bw::File entries = file({bw::gf_sampleAirport("EDDH", 1)});
    entries.sections[1].subsectionCount = 0x7FFFFFFF;
    cases.push_back({"subsection count past the file", entries, {"EDDH"}, 1});

    for (const auto& c : cases) {
        const Walked w = walk(c.file);
        EXPECT_EQ(w.airports, c.airports) << c.name;
        EXPECT_EQ(w.log.empty(), c.logLines == 0) << c.name << ": " << (w.log.empty() ? "" : w.log.front());
        EXPECT_GE(w.log.size(), c.logLines) << c.name;
        EXPECT_EQ(w.notRecognised, 0) << c.name;
    }
}

TEST_F(BglReader, SectionsSharingTheirSubsectionsHandEachAirportOnce) {
    bw::File shared = bw::gf_airportFile({bw::gf_sampleAirport("EGLL", 3), bw::gf_sampleAirport("EGLC", 1)});
    shared.sections[1].subsections.push_back(bw::gf_subsection({bw::gf_sampleAirport("EGSS", 1)}));
    bw::Section again;
    again.sameSubsectionsAs = 1;
    shared.sections.push_back(again);
    bw::Section longer;  // the same list with a count past its end
    longer.sameSubsectionsAs = 1;
    longer.subsectionCount = 5;
    shared.sections.push_back(longer);
    const Walked w = walk(shared);
    EXPECT_EQ(w.airports, (Names{"EGLL", "EGLC", "EGSS"}));
    EXPECT_TRUE(w.log.empty()) << w.log.front();
}

// Files that pass the quick test but whose airports are then lost say so in one line each.
TEST_F(BglReader, AirportFilesReadToNothingSaySo) {
    bw::File header = bw::gf_airportFile({bw::gf_sampleAirport("EDDF", 3)});
    header.headerSize = 60;
    std::vector<std::pair<bw::File, std::string>> cases = {
        {header, "===> header size 60 is not 56, no airport read, in in.bgl"}};
    for (const uint32_t size : {0u, 2u}) {
        bw::File file = bw::gf_airportFile({bw::gf_sampleAirport("EDDF", 3)});
        file.sections[1].subsections[0].size = size;
        cases.emplace_back(file, "===> records of subsection 0 of airport section 1 have 0 bytes, none read, in in.bgl");
    }
    for (const auto& [file, line] : cases) {
        const Walked w = walk(file);
        EXPECT_TRUE(w.airports.empty()) << line;
        EXPECT_EQ(w.log, Names{line});
    }
}

TEST_F(BglReader, NotRecognisedMarkEndsTheFileOnlyUnderMsfs2024) {
    bw::File before = bw::gf_airportFile({bw::gf_sampleAirport("LIRF", 2)});
    auto& records = before.sections[1].subsections[0].records;
    records.insert(records.begin(), bw::OtherRecord{0x0113, 24, std::nullopt});
    before.sections.push_back(bw::gf_airportSection({bw::gf_sampleAirport("LIML", 1)}));

    bw::File later = bw::gf_airportFile({bw::gf_sampleAirport("LIPZ", 2)});
    later.sections[1].subsections.push_back(bw::gf_subsection({bw::OtherRecord{0x0113, 24, std::nullopt}, bw::gf_sampleAirport("LIPE", 1)}));

    struct Case {
        const char* name;
        const bw::File& file;
        bool msfs2020;
        Names airports;
        int notRecognised;
    };
    const std::vector<Case> cases = {
        {"before an airport, 2024", before, false, {}, 1},
        {"before an airport, 2020", before, true, {"LIRF", "LIML"}, 0},
        {"in a later subsection, 2024", later, false, {"LIPZ"}, 1},
        {"in a later subsection, 2020", later, true, {"LIPZ", "LIPE"}, 0},
    };
    for (const auto& c : cases) {
        const Walked w = walk(c.file, c.msfs2020);
        EXPECT_EQ(w.airports, c.airports) << c.name;
        EXPECT_EQ(w.notRecognised, c.notRecognised) << c.name;
    }
}

TEST_F(BglReader, EveryWriterSampleIsReadWithinBounds) {
    // Each sample, and every cut of it, is walked without a read outside the file (the
    // sanitizers would report one) and hands on only airports the sample holds.
    for (const auto& [name, file] : bw::gf_sampleFiles()) {
        const std::vector<uint8_t> bytes = bw::gf_bglBytes(file);
        for (size_t n = 5; n <= bytes.size(); n += 7) {
            const Walked w = walk(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(n)));
            for (const auto& icao : w.airports) EXPECT_EQ(icao.size(), 4u) << name;
        }
    }
}

}  // namespace
}  // namespace vdl::test
