// The stand-file writer's texts, round trips through the element readers, and reader defaults.
#include "airports/stand_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "stand_fixture.h"

namespace vdl::test {
namespace {

ParkPosOption option(std::string_view airline, std::string_view type, std::string_view reg, std::vector<int> slots,
                     uint32_t day, uint32_t kind, std::string_view cs1 = "", std::string_view cs2 = "", uint32_t id = 1) {
    ParkPosOption o;
    o.setStrings(airline, type, reg, cs1, cs2);
    for (int s : slots) o.hours.set(static_cast<size_t>(s));
    o.day = day;
    o.kind = kind;
    o.id = id;
    return o;
}

// The text after the meta block, which carries today's date.
std::string afterMeta(const std::string& text) {
    const size_t end = text.find("</meta>\n");
    return end == std::string::npos ? text : text.substr(end + 8);
}

pugi::xml_document parse(const std::string& text) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str()));
    return doc;
}

using StandFileFormat = StandFilesTest;

TEST_F(StandFileFormat, FullModeText) {
    AirportRecord r;
    r.name = "Düsseldorf";
    r.publisher = "unknown";
    r.bglPath = "a/b.bgl";
    r.creator = "Me";
    r.altitude = 147;
    r.stands.emplace_back("A1", std::vector<ParkPosOption>{option("DLH", "A320", "", {1}, 1, optionReal)}, 52.3, 4.76,
                          std::numbers::pi, 1852.0, true, false, false);
    r.stands.emplace_back("H1", std::vector<ParkPosOption>{}, 51.0, 6.5, 0.0, 25.0, false, true, true);
    r.stands.back().manual = 1;
    const auto text = gf_apfText(r, apfFullMode);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->rfind("<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\"", 0), 0u);
    EXPECT_EQ(afterMeta(*text),
              "<parameters>\n"
              "\t<parameter name=\"airport_name\" value=\"Düsseldorf\" />\n"
              "\t<parameter name=\"publisher\" value=\"unknown\" />\n"
              "\t<parameter name=\"altitude\" value=\"147\" />\n"
              "\t<parameter name=\"num_parkpos\" value=\"2\" />\n"
              "\t<parameter name=\"BGLpath\" value=\"a/b.bgl\" />\n"
              "\t<parameter name=\"manufacturer\" value=\"\" />\n"
              "\t<parameter name=\"creator\" value=\"Me\" />\n"
              "</parameters>\n"
              "<parkpositions>\n"
              "\t<parkpos id=\"A1\" latitude=\"52.300000\" longitude=\"4.760000\" heading=\"180.0\" radius=\"1852.0\" "
              "cargo=\"true\" ramp=\"false\" />\n"
              "\t<parkpos id=\"H1\" latitude=\"51.000000\" longitude=\"6.500000\" heading=\"0.0\" radius=\"25.0\" "
              "heli=\"true\" ramp=\"true\" manual=\"true\" />\n"
              "</parkpositions>\n");
}

TEST_F(StandFileFormat, LearnedModeStandForms) {
    AirportRecord r;
    r.name = "X";
    r.publisher = "stock";
    ParkPos plain("P", {option("DLH", "A320", "", {3, 4}, 2, optionReal, "DLH1", "DLH2"),
                        option("KLM", "B738", "PH-BXA", {47}, 7, optionSoft, "KLM9", "", 2),
                        option("X", "Y", "", {}, 1, optionReal, "", "", 0)},
                 50.0, 6.0, 0.0, 30.0, false, false, false);
    ParkPos radius("R", {}, 50.0, 6.0, 0.0, 25.0, false, false, false);
    radius.radiusChange = 1;
    ParkPos cargo("C", {}, 50.0, 6.0, 0.0, 25.0, true, false, false);
    cargo.cargoChange = 1;
    r.stands = {plain, radius, cargo};
    MAX_LIVE.set(-1);
    std::string text = afterMeta(*gf_apfText(r, apfLearnedMode));
    EXPECT_NE(text.find("<parameter name=\"LATERAL_RANGE\""), std::string::npos);
    EXPECT_NE(text.find("<parameter name=\"LEARN_SOFT\""), std::string::npos);
    EXPECT_EQ(text.find("MAX_LIVE"), std::string::npos);  // -1 is not written
    EXPECT_EQ(text.find("altitude"), std::string::npos);
    EXPECT_EQ(text.find("handmade"), std::string::npos);
    text = text.substr(text.find("<parkpositions>"));
    EXPECT_EQ(text,
              "<parkpositions>\n"
              "\t<parkpos id=\"P\">\n"
              "\t\t<opt reg=\"\" airl=\"DLH\" type=\"A320\" day=\"2\" hh=\"3,4\" cs=\"DLH1:DLH2\" />\n"
              "\t\t<opt reg=\"PH-BXA\" soft=\"true\" day=\"7\" hh=\"47\" cs=\"KLM9\" />\n"
              "\t</parkpos>\n"
              "\t<parkpos id=\"R\" radius_change=\"true\" radius=\"25.0\" />\n"
              "\t<parkpos id=\"C\" cargo_change=\"true\" cargo=\"true\" />\n"
              "</parkpositions>\n");
    // A handmade airport writes every stand whole, a changed one too: its position is nowhere else.
    handmadeLoaded = true;
    text = *gf_apfText(r, apfLearnedMode);
    EXPECT_NE(text.find("<parameter name=\"handmade\" value=\"true\" />"), std::string::npos);
    EXPECT_NE(text.find("<parameter name=\"Qf_real\""), std::string::npos);
    EXPECT_NE(text.find("<parkpos id=\"R\" latitude=\"50.000000\" longitude=\"6.000000\" heading=\"0.0\" radius=\"25.0\""),
              std::string::npos);
    handmadeLoaded = false;
}

TEST_F(StandFileFormat, RoundTripOfStandsAndOptions) {
    AirportRecord r;
    r.publisher = "stock";
    r.stands.emplace_back("A 1", std::vector<ParkPosOption>{option("DLH", "A320", "", {0, 47}, 1, optionReal, "DLH1"),
                                                            option("BAW", "B77W", "", {10}, 3, optionSoft, "", "BAW2"),
                                                            option("ignored", "ignored", "D-AIZX", {5}, 5, optionReal)},
                          -33.5, 151.25, 1.0, 40.0, true, true, false);
    handmadeLoaded = true;  // the whole stand is written in learned mode
    const auto doc = parse(*gf_apfText(r, apfLearnedMode));
    handmadeLoaded = false;
    std::vector<ParkPos> read;
    for (auto e : doc.child("parkpositions").children("parkpos"))
        EXPECT_TRUE(gf_readParkPos(e, e.attribute("id").as_string(), 1, read));
    ASSERT_EQ(read.size(), 1u);
    const ParkPos& s = read[0];
    EXPECT_EQ(s.name, "A 1");
    EXPECT_NEAR(s.lat, -33.5, 1e-9);
    EXPECT_NEAR(s.lon, 151.25, 1e-9);
    EXPECT_NEAR(s.heading, 1.0, 0.001);
    EXPECT_NEAR(s.radius * 1852.0, 40.0, 1e-9);
    EXPECT_EQ(s.cargo + s.ramp + s.heli, 2);
    ASSERT_EQ(s.options.size(), 3u);
    EXPECT_EQ(s.options[0].hours.count(), 2u);
    EXPECT_EQ(s.options[0].callsign1(), "DLH1");
    EXPECT_EQ(s.options[1].kind, optionSoft);
    EXPECT_EQ(s.options[1].callsign1(), "");
    EXPECT_EQ(s.options[1].callsign2(), "BAW2");
    // A known registration: airline (its operator) and type come from the data base again.
    EXPECT_EQ(s.options[2].airline(), "CLH");
    EXPECT_EQ(s.options[2].type(), "A320");
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(s.options[i].id, i + 1);
        EXPECT_EQ(s.options[i].fixed, 1u);
    }
}

// Numbers read as pugixml reads them (strtod), whatever their form; the first of a repeated
// attribute counts.
TEST_F(StandFileFormat, ElementReaderNumbersAsTheLibraryReadsThem) {
    const char* texts[] = {"52.300000", "-33.5", "-0", "0.1", ".5", "5.", "-.25", "00052.3000001", "7",
                           "1e1", "1E-2", " 8.5", "+3.25", "0x1A", "12abc", "1-2", "1.2.3", "-", ".",
                           "3.14159265358979323846264338327950288419716939937510", "0.000000000000000000000000000001",
                           "89.99999999999999999", "179.9999995", "1234567890123456789012345678901"};
    for (const char* text : texts) {
        const std::string t = text;
        const auto doc = parse("<parkpositions><parkpos id=\"a\" latitude=\"" + t + "\" longitude=\"1\" radius=\"" + t +
                               "\" heading=\"" + t + "\" latitude=\"9\" radius=\"9\"/></parkpositions>");
        const pugi::xml_node e = doc.child("parkpositions").child("parkpos");
        const double expected = e.attribute("latitude").as_double();
        std::vector<ParkPos> read;
        // Nothing readable is no latitude 0: the stand is refused.
        const bool readable = t != "-" && t != ".";
        const bool valid = readable && std::isfinite(expected) && std::fabs(expected) <= 90.0;
        ASSERT_EQ(gf_readParkPos(e, "a", 0, read), valid) << text;
        if (!valid) continue;
        EXPECT_EQ(read[0].lat, expected) << text;
        EXPECT_EQ(read[0].radius, expected * nmPerMetre) << text;
        EXPECT_EQ(read[0].heading, expected * radiansPerDegree) << text;
    }
}

// An unreadable latitude or longitude read as 0 put the stand on the equator or the prime
// meridian. Both unreadable, or both 0, is the unset position: skipped without a word.
TEST_F(StandFileFormat, UnreadablePositionsRefuseTheStand) {
    struct Case {
        const char* lat;
        const char* lon;
        bool appended;
        bool logged;
    };
    const std::vector<Case> cases = {
        {"", "5", false, true},  {"x", "5", false, true}, {"5", "", false, true}, {"5", "x", false, true},
        {"-", "5", false, true}, {"", "", false, false},  {"x", "x", false, false}, {"0", "0", false, false},
        {"0", "5", true, false}, {"5", "0", true, false}, {"5.5x", "6", true, false},
    };
    for (const Case& c : cases) {
        const auto doc = parse(std::string("<parkpos id=\"s\" latitude=\"") + c.lat + "\" longitude=\"" + c.lon + "\"/>");
        std::vector<ParkPos> read;
        EXPECT_EQ(gf_readParkPos(doc.child("parkpos"), "s", 0, read), c.appended) << c.lat << "/" << c.lon;
        gf_closeLog();
        const std::string line = std::string("stand \"s\" refused: latitude \"") + c.lat + "\" or longitude \"" + c.lon +
                                 "\" is no number";
        EXPECT_EQ(log().find(line) != std::string::npos, c.logged) << c.lat << "/" << c.lon;
        gf_openLog("test");
    }
}

TEST_F(StandFileFormat, ElementReaderDefaultsAndRefusals) {
    const auto doc = parse(
        "<parkpositions>"
        "<parkpos id=\"a\" latitude=\"1\" longitude=\"2\"><opt soft=\"yes\"/><opt cs=\"A:B:C\" airl=\"X\"/>"
        "<opt cs=\":B\" hh=\"1,x,99\"/></parkpos>"
        "<parkpos id=\"zero\"/>"
        "<parkpos id=\"nan\" latitude=\"nan\" longitude=\"2\"/>"
        "<parkpos id=\"far\" latitude=\"91\" longitude=\"2\"/>"
        "<parkpos id=\"inf\" latitude=\"1\" longitude=\"2\" radius=\"inf\"/>"
        "</parkpositions>");
    std::vector<ParkPos> read;
    std::vector<bool> appended;
    for (auto e : doc.child("parkpositions").children("parkpos"))
        appended.push_back(gf_readParkPos(e, e.attribute("id").as_string(), 0, read));
    EXPECT_EQ(appended, (std::vector<bool>{true, false, false, false, false}));
    ASSERT_EQ(read.size(), 1u);
    const auto& o = read[0].options;
    EXPECT_EQ(read[0].radius, 0.0);
    EXPECT_EQ(read[0].heading, 0.0);
    EXPECT_EQ(read[0].cargo + read[0].ramp + read[0].heli, 0);
    ASSERT_EQ(o.size(), 3u);
    EXPECT_EQ(o[0].kind, optionSoft);
    EXPECT_EQ(o[0].day, 0u);
    EXPECT_TRUE(o[0].hours.none());
    EXPECT_EQ(o[1].kind, optionReal);
    EXPECT_EQ(o[1].callsign1(), "A");
    EXPECT_EQ(o[1].callsign2(), "");
    EXPECT_EQ(o[1].airline(), "X");
    EXPECT_EQ(o[2].callsign1(), "");
    EXPECT_EQ(o[2].callsign2(), "B");
    EXPECT_EQ(o[2].hours.count(), 1u);
    EXPECT_NE(log().find("refused"), std::string::npos);
}

TEST_F(StandFileFormat, ParameterValues) {
    const auto doc = parse(standFileText({{"a", "12x"}, {"b", "yes"}, {"c", "text"}, {"n", "no"}}, ""));
    EXPECT_EQ(gf_apfIntValue(doc, "a"), 12);
    EXPECT_EQ(gf_apfBoolValue(doc, "b"), true);
    EXPECT_EQ(gf_apfBoolValue(doc, "n"), false);
    EXPECT_EQ(gf_apfStringValue(doc, "c"), "text");
    EXPECT_EQ(gf_apfIntValue(doc, "missing"), std::nullopt);
    const auto nested = parse("<root><parameters><parameter name=\"a\" value=\"1\"/></parameters></root>");
    EXPECT_EQ(gf_apfIntValue(nested, "a"), std::nullopt);
    const auto noValue = parse("<parameters><parameter name=\"a\"/></parameters>");
    EXPECT_EQ(gf_apfIntValue(noValue, "a"), 0);
    EXPECT_EQ(gf_apfStringValue(noValue, "a"), "");
}

}  // namespace
}  // namespace vdl::test
