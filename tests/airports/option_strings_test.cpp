// The compact strings of a stand option: any length and any bytes kept exactly, in the record
// or outside it, through copies, moves, changes of one field and a stand file.
#include "airports/option_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airports/stand_file.h"
#include "airports/stand_plain.h"
#include "airports/stand_read.h"
#include "stand_fixture.h"

namespace vdl::test {
namespace {

struct Strings {
    const char* what;
    std::string airline, type, reg, callsign1, callsign2;
    bool onHeap;
};

std::vector<Strings> lf_cases() {
    return {
        {"all empty", "", "", "", "", "", false},
        {"usual", "DLH", "A320", "F-HXYZ", "DLH4AB", "DLH4CD", false},
        {"33 bytes, the most in the record", "EWG", "B738", "ABCDEFGH", "123456789", "ZYXWVUTSR", false},
        {"34 bytes", "EWG", "B738", "ABCDEFGH", "123456789", "ZYXWVUTSRQ", true},
        {"odd bytes", std::string("A\0B", 3), "&<>\"'", "\t\n\r\x01", "\xc3\xa9\xe2\x82\xac", "", false},
        {"255 bytes in one", "", "", std::string(255, 'r'), "", "", true},
        {"256 and 100000 bytes", "X", std::string(256, 't'), "", std::string(100000, 'c'), "Y", true},
    };
}

void lf_expect(const ParkPosOption& o, const Strings& s) {
    EXPECT_EQ(o.airline(), s.airline);
    EXPECT_EQ(o.type(), s.type);
    EXPECT_EQ(o.reg(), s.reg);
    EXPECT_EQ(o.callsign1(), s.callsign1);
    EXPECT_EQ(o.callsign2(), s.callsign2);
}

TEST(OptionStrings, KeepEveryLengthAndByteThroughCopiesMovesAndChanges) {
    const auto cases = lf_cases();
    for (size_t i = 0; i < cases.size(); ++i) {
        const Strings& s = cases[i];
        SCOPED_TRACE(s.what);
        ParkPosOption o;
        o.id = 7;
        o.setStrings(s.airline, s.type, s.reg, s.callsign1, s.callsign2);
        lf_expect(o, s);
        ParkPosOption copy = o;
        lf_expect(copy, s);
        ParkPosOption moved = std::move(copy);
        lf_expect(moved, s);
        EXPECT_EQ(moved.id, 7u);
        // Assigned over options that keep their strings in the other place.
        for (const Strings& before : cases) {
            ParkPosOption target;
            target.setStrings(before.airline, before.type, before.reg, before.callsign1, before.callsign2);
            target = o;
            lf_expect(target, s);
            ParkPosOption movedInto;
            movedInto.setStrings(before.airline, before.type, before.reg, before.callsign1, before.callsign2);
            movedInto = ParkPosOption(o);
            lf_expect(movedInto, s);
        }
        // One field at a time, from the previous case's strings.
        const Strings& from = cases[(i + cases.size() - 1) % cases.size()];
        ParkPosOption fields;
        fields.setStrings(from.airline, from.type, from.reg, from.callsign1, from.callsign2);
        fields.setAirline(s.airline);
        fields.setType(s.type);
        fields.setReg(s.reg);
        fields.setCallsign1(s.callsign1);
        fields.setCallsign2(s.callsign2);
        lf_expect(fields, s);
        // A field set from another of the same option.
        fields.setCallsign1(fields.callsign2());
        fields.setReg(fields.type());
        EXPECT_EQ(fields.callsign1(), s.callsign2);
        EXPECT_EQ(fields.reg(), s.type);
        EXPECT_EQ(fields.airline(), s.airline);
    }
    // Where they live: the usual ones inside the record.
    for (const Strings& s : cases) {
        OptionStrings strings;
        strings.assign({s.airline, s.type, s.reg, s.callsign1, s.callsign2});
        EXPECT_EQ(strings.onHeap(), s.onHeap) << s.what;
    }
}

// Written into a learned file and read back, through the plain reader and through pugixml.
TEST_F(StandFilesTest, OptionStringsRoundTripThroughAStandFile) {
    AirportRecord record;
    record.name = "R";
    record.publisher = "stock";
    std::vector<ParkPosOption> options;
    std::vector<Strings> written;
    for (const Strings& c : lf_cases()) {
        // A file has no NUL, and "cs" joins the callsigns at ':' (the first alone when the second
        // is empty); a registration keeps airline and type out of the file only when the data
        // base knows it.
        if (c.airline.find('\0') != std::string::npos) continue;
        Strings s = c;
        if (s.callsign1.empty()) s.callsign2.clear();
        ParkPosOption& o = options.emplace_back();
        o.setStrings(s.airline, s.type, s.reg, s.callsign1, s.callsign2);
        o.id = static_cast<uint32_t>(options.size());
        o.day = 2;
        o.kind = optionReal;
        o.hours.set(3);
        // pugixml writes tab, line feed and carriage return as they are; a parse reads each as a blank.
        for (std::string* text : {&s.airline, &s.type, &s.reg, &s.callsign1, &s.callsign2})
            for (char& ch : *text)
                if (ch == '\t' || ch == '\n' || ch == '\r') ch = ' ';
        written.push_back(s);
    }
    record.stands.emplace_back("S1", options, 50.0, 6.0, 0.0, 30.0, false, false, false);
    record.stands.back().manual = 1;  // written with its position
    writeWholeFile("learned.xml", *gf_apfText(record, apfLearnedMode));
    for (const bool plainFirst : {true, false}) {
        SCOPED_TRACE(plainFirst ? "plain" : "pugixml");
        StandFileReader reader;
        ASSERT_TRUE(reader.load("learned.xml", plainFirst));
        EXPECT_EQ(reader.plain(), plainFirst);
        std::vector<ParkPos> stands;
        gf_readParkPositions(reader.parkPositions(), 0, stands);
        ASSERT_EQ(stands.size(), 1u);
        ASSERT_EQ(stands[0].options.size(), written.size());
        for (size_t i = 0; i < written.size(); ++i) {
            SCOPED_TRACE(written[i].what);
            lf_expect(stands[0].options[i], written[i]);
        }
    }
}

}  // namespace
}  // namespace vdl::test
