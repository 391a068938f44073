// The plain stand-file reader: the forms it takes read as pugixml reads them, every other form
// is left to pugixml, and a load gives the same stands either way.
#include "airports/stand_plain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airports/stand_file.h"
#include "stand_fixture.h"
#include "standins/stand_plain_check.h"

namespace vdl::test {
namespace {

struct Form {
    const char* what;
    std::string text;
};

const std::string decl = "<?xml version=\"1.0\"?>\n";
const std::string head = std::string(standMeta) + "<parameters><parameter name=\"altitude\" value=\"1\"/></parameters>";

std::string file(const std::string& parkpositions) { return decl + head + parkpositions + "\n"; }

std::string stand(const std::string& attributes, const std::string& children = "") {
    return "<parkpositions><parkpos id=\"A\" latitude=\"50.1\" longitude=\"6.2\" " + attributes + ">" + children +
           "</parkpos></parkpositions>";
}

// The text's reading, and the elements' id values in order.
struct Reading {
    bool loaded = false;
    bool plain = false;
    std::vector<std::string> ids;
    std::vector<std::vector<std::string>> callsigns;
};

Reading lf_read(const std::string& text) {
    writeWholeFile("t.xml", text);
    Reading r;
    StandFileReader reader;
    r.loaded = static_cast<bool>(reader.load("t.xml"));
    r.plain = reader.plain();
    if (!r.loaded) return r;
    ParkPosElement e;
    while (reader.parkPositions().next(e)) {
        r.ids.emplace_back(e.fields.id);
        auto& cs = r.callsigns.emplace_back();
        for (const OptFields& o : e.opts) cs.emplace_back(o.cs);
    }
    return r;
}

void lf_expectSameStands(const std::vector<ParkPos>& x, const std::vector<ParkPos>& y) {
    ASSERT_EQ(x.size(), y.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const ParkPos& a = x[i];
        const ParkPos& b = y[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.lat, b.lat);
        EXPECT_EQ(a.lon, b.lon);
        EXPECT_EQ(a.radius, b.radius);
        EXPECT_EQ(a.heading, b.heading);
        EXPECT_EQ(a.cargo, b.cargo);
        EXPECT_EQ(a.heli, b.heli);
        ASSERT_EQ(a.options.size(), b.options.size());
        for (size_t k = 0; k < a.options.size(); ++k) {
            const ParkPosOption& o = a.options[k];
            const ParkPosOption& p = b.options[k];
            EXPECT_EQ(o.airline(), p.airline());
            EXPECT_EQ(o.type(), p.type());
            EXPECT_EQ(o.reg(), p.reg());
            EXPECT_EQ(o.callsign1(), p.callsign1());
            EXPECT_EQ(o.callsign2(), p.callsign2());
            EXPECT_EQ(o.day, p.day);
            EXPECT_EQ(o.kind, p.kind);
            EXPECT_EQ(o.hours, p.hours);
        }
    }
}

using StandPlainReader = StandFilesTest;

TEST_F(StandPlainReader, TakesThePlainFormsAndReadsThemAsPugixml) {
    AirportRecord record;
    record.name = "Q & \"A\" <Field>\t'x'";
    record.publisher = "stock";
    ParkPosOption o;
    o.setAirline("DLH");
    o.setType("A320");
    o.setCallsign1("A&B<C>\"D\"\x01\t\n");
    o.id = 1;
    o.day = 3;
    o.hours.set(5);
    record.stands.emplace_back("S \xc3\xa9 1", std::vector<ParkPosOption>{o}, 50.0, 6.0, 1.0, 30.0, false, true, false);
    const Form forms[] = {
        {"the writer's full form", *gf_apfText(record, apfFullMode)},
        {"the writer's learned form", *gf_apfText(record, apfLearnedMode)},
        {"no declaration", head + stand("")},
        {"single quotes, blanks around '='", file(stand("radius = '30' heli\t=\n\"y\"", "<opt cs='a\"b'/>"))},
        {"the five escapes", file(stand("", "<opt cs=\"&lt;&gt;&amp;&quot;&apos;\"/>"))},
        {"character references", file(stand("", "<opt cs=\"&#65;&#x42;&#x6a;&#00067;&#233;&#x20AC;&#x1F600;\"/>"))},
        {"tab, line feed, CR LF and a lone CR in values", file(stand("", "<opt cs=\"a\tb\nc\r\nd\re\"/>"))},
        {"'>' and the other quote in values", file(stand("", "<opt cs=\"a>b'c\"/>"))},
        {"comments anywhere", "<!-- top -->" + head + "<!----><parkpositions><!-- a - b --><parkpos id=\"A\" " +
                                  "latitude=\"1\" longitude=\"1\"><!--x--><opt cs=\"c\"/></parkpos></parkpositions>"},
        {"a repeated attribute: the first counts", file(stand("id=\"B\"", "<opt cs=\"1\" cs=\"2\"/>"))},
        {"other elements skipped", file("<parkpositions><x a=\"1\"><parkpos id=\"in x\"/></x><parkpos id=\"A\"><y/><opt "
                                        "cs=\"c\"><opt cs=\"nested\"/></opt></parkpos></parkpositions>")},
        {"a self-closed parkpositions", file("<parkpositions/>")},
        {"an empty parkpositions", file("<parkpositions>\n</parkpositions>")},
        {"no parkpositions", file("")},
        {"elements after parkpositions", file(stand("")) + "<parameters><parameter name=\"x\" value=\"y\"/></parameters>"},
        {"an end tag with blanks", file("<parkpositions><parkpos id=\"A\"></parkpos  ></parkpositions >")},
        {"values of every length up to 40, some with escapes", file(stand("", [] {
             std::string opts;
             for (size_t n = 0; n <= 40; ++n)
                 opts += "<opt reg=\"" + std::string(n, 'r') + "\" cs=\"" + std::string(n, 'c') + "&amp;" +
                         std::string(n / 2, 'd') + "\" hh=\"" + std::to_string(n) + "\"/>";
             return opts;
         }()))},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.what);
        const Reading r = lf_read(f.text);
        EXPECT_TRUE(r.loaded);
        EXPECT_TRUE(r.plain) << f.text;
        EXPECT_EQ(gf_plainReadDifference("t.xml"), "");
    }
    // Decoded as the writer's text was built.
    writeWholeFile("t.xml", *gf_apfText(record, apfLearnedMode));
    StandFileReader reader;
    ASSERT_TRUE(reader.load("t.xml"));
    ASSERT_TRUE(reader.plain());
    EXPECT_EQ(gf_apfStringValue(reader.doc(), "airport_name"), "Q & \"A\" <Field>\t'x'");
    ParkPosElement e;
    ASSERT_TRUE(reader.parkPositions().next(e));
    EXPECT_EQ(e.fields.id, "S \xc3\xa9 1");
    ASSERT_EQ(e.opts.size(), 1u);
    EXPECT_EQ(e.opts[0].cs, "A&B<C>\"D\"\x01\t\n");
    EXPECT_FALSE(reader.parkPositions().next(e));

    const Reading skipped = lf_read(file("<parkpositions><x><parkpos id=\"in x\"/></x><parkpos id=\"A\"><y/><opt "
                                         "cs=\"c\"><opt cs=\"nested\"/></opt></parkpos></parkpositions>"));
    EXPECT_EQ(skipped.ids, std::vector<std::string>{"A"});
    EXPECT_EQ(skipped.callsigns, (std::vector<std::vector<std::string>>{{"c"}}));
    const Reading escapes = lf_read(file(stand("", "<opt cs=\"&#65;&#x42;&#x6a;&#00067;&#233;&#x20AC;&#x1F600;\"/>"
                                                   "<opt cs=\"a\tb\nc\r\nd\re\"/>")));
    EXPECT_EQ(escapes.callsigns,
              (std::vector<std::vector<std::string>>{{"ABjC\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "a b c d e"}}));
}

TEST_F(StandPlainReader, LeavesEveryOtherFormToPugixml) {
    const Form forms[] = {
        {"a byte-order mark", "\xef\xbb\xbf" + file(stand(""))},
        {"an encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + head + stand("")},
        {"another version", "<?xml version=\"1.1\"?>" + head + stand("")},
        {"a declaration after a blank", " " + file(stand(""))},
        {"a processing instruction", file(stand("", "<?pi x?>"))},
        {"a DOCTYPE", "<!DOCTYPE x>" + head + stand("")},
        {"CDATA", file(stand("", "<![CDATA[x]]>"))},
        {"text", file(stand("", "text"))},
        {"a NUL", file(stand("")) + std::string(1, '\0') + "<x/>"},
        {"an unknown entity", file(stand("", "<opt cs=\"&nbsp;\"/>"))},
        {"an unterminated entity", file(stand("", "<opt cs=\"&amp\"/>"))},
        {"a reference to NUL", file(stand("", "<opt cs=\"&#0;\"/>"))},
        {"a reference to a surrogate", file(stand("", "<opt cs=\"&#xD800;\"/>"))},
        {"a reference beyond Unicode", file(stand("", "<opt cs=\"&#x110000;\"/>"))},
        {"a capital X reference", file(stand("", "<opt cs=\"&#X41;\"/>"))},
        {"a reference of nine digits", file(stand("", "<opt cs=\"&#000000065;\"/>"))},
        {"'<' in a value", file(stand("", "<opt cs=\"a<b\"/>"))},
        {"a control character in a value", file(stand("", "<opt cs=\"a\x01\"/>"))},
        {"a name beyond ASCII", file(stand("", "<opt c\xc3\xa9=\"a\"/>"))},
        {"\"--\" in a comment", file(stand("", "<!-- a -- b -->"))},
        {"a second parkpositions", file(stand("") + stand(""))},
        {"no element at all", decl + "<!-- nothing -->"},
        {"an unclosed element", file("<parkpositions><parkpos id=\"A\">")},
        {"a mismatched end tag", file("<parkpositions><parkpos id=\"A\"></parkposx></parkpositions>")},
        {"attributes without a blank between", file(stand("a=\"1\"b=\"2\""))},
        {"a blank inside \"/>\"", file("<parkpositions><parkpos id=\"A\"/ ></parkpositions>")},
        {"a value without quotes", file(stand("a=1"))},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.what);
        writeWholeFile("t.xml", f.text);
        pugi::xml_document doc;
        const bool parses = static_cast<bool>(doc.load_file("t.xml"));
        const Reading r = lf_read(f.text);
        EXPECT_FALSE(r.plain);
        EXPECT_EQ(r.loaded, parses);
    }
    // A file it cannot read answers as pugixml answers it.
    StandFileReader none;
    EXPECT_EQ(none.load("no such file.xml").status, pugi::status_file_not_found);
    EXPECT_FALSE(none.plain());
}

// The whole load through the plain reader and through pugixml: the same stands and options.
TEST_F(StandPlainReader, LoadsTheSameStandsEitherWay) {
    // Values in the writer's forms, and others that only pugixml's conversions read.
    const std::string learned = standFileText(
        {{"airport_name", "T"}},
        "<parkpos id=\"A\" latitude=\"50.1\" longitude=\"6.2\"><opt reg=\"\" airl=\"DLH\" type=\"A320\" day=\"2\" "
        "hh=\"3,4\" cs=\"DLH1:DLH2\"/><opt reg=\"D-AIZX\" soft=\"true\" day=\"9999999999\" hh=\"47\"/>"
        "<opt day=\" 3\" hh=\"1, 2\" soft=\"no\"/></parkpos>"
        "<parkpos id=\"B\" latitude=\" 50.2\" longitude=\"+6.1\" radius=\"0x10\" heading=\"-0\" cargo=\"T\"/>"
        "<parkpos id=\"M\" latitude=\"5e1\" longitude=\"6\" radius=\"1e1\" heli=\"yes\"/>");
    writeWholeFile("base.xml", standFileText({{"altitude", "1"}}, standElement("A", 50.0, 6.0, 30.0) +
                                                                      standElement("B", 50.001, 6.0, 30.0)));
    writeWholeFile("learned.xml", learned);
    std::vector<std::vector<ParkPos>> loads;
    for (const bool plainFirst : {true, false}) {
        auto& stands = loads.emplace_back();
        StandFileReader base;
        ASSERT_TRUE(base.load("base.xml", plainFirst));
        EXPECT_EQ(base.plain(), plainFirst);
        gf_readParkPositions(base.parkPositions(), 1, stands);
        StandFileReader reader;
        ASSERT_TRUE(reader.load("learned.xml", plainFirst));
        gf_readParkPositions(reader.parkPositions(), 0, stands);
    }
    ASSERT_EQ(loads[0].size(), 5u);
    lf_expectSameStands(loads[0], loads[1]);
    EXPECT_EQ(loads[0][2].options[2].day, 3u);
    EXPECT_EQ(loads[0][3].radius, 16.0 * nmPerMetre);  // strtod reads hexadecimal
}

// A file found not plain only after the reading has written over many of its stands, in the
// middle of "parkpositions" or after it: read by pugixml from the file, none of the values the
// plain reading had taken.
TEST_F(StandPlainReader, AFileFoundNotPlainHalfwayIsReadByPugixmlAlone) {
    auto plainStands = [](const std::string& prefix) {
        std::string text;
        for (int i = 0; i < 40; ++i)
            text += "<parkpos id=\"" + prefix + std::to_string(i) + "\" latitude=\"50." + std::to_string(i + 10) +
                    "\" longitude=\"6.1\"><opt reg=\"D-AB" + std::to_string(i) +
                    "\" airl=\"DLH\" type=\"A320\" day=\"1\" hh=\"4\" cs=\"DLH" + std::to_string(i) +
                    ":&amp;X\"/></parkpos>\n";
        return text;
    };
    const std::string odd = "<parkpos id=\"odd\" latitude=\"51\" longitude=\"7\"><![CDATA[x]]><opt cs=\"&nbsp;\"/></parkpos>";
    const Form forms[] = {
        {"in the middle of parkpositions", file("<parkpositions>" + plainStands("S") + odd + plainStands("T") + "</parkpositions>")},
        {"after parkpositions", file("<parkpositions>" + plainStands("S") + "</parkpositions>") + "<?pi x?>"},
        {"in the last bytes", file("<parkpositions>" + plainStands("S") + "</parkpositions>") + "<!-- a -- b -->"},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.what);
        writeWholeFile("t.xml", f.text);
        std::vector<std::vector<ParkPos>> loads;
        for (const bool plainFirst : {true, false}) {
            StandFileReader reader;
            const bool loaded = static_cast<bool>(reader.load("t.xml", plainFirst));
            pugi::xml_document doc;
            ASSERT_EQ(loaded, static_cast<bool>(doc.load_file("t.xml")));
            EXPECT_FALSE(reader.plain());
            if (loaded) gf_readParkPositions(reader.parkPositions(), 0, loads.emplace_back());
        }
        if (loads.empty()) continue;
        ASSERT_EQ(loads.size(), 2u);
        lf_expectSameStands(loads[0], loads[1]);
    }
    // The middle form as pugixml reads it: every stand, the odd one's value as it stands.
    writeWholeFile("t.xml", forms[0].text);
    StandFileReader reader;
    ASSERT_TRUE(reader.load("t.xml"));
    std::vector<ParkPos> stands;
    gf_readParkPositions(reader.parkPositions(), 0, stands);
    ASSERT_EQ(stands.size(), 81u);
    EXPECT_EQ(stands[39].options[0].callsign1(), "DLH39");
    EXPECT_EQ(stands[39].options[0].callsign2(), "&X");
    EXPECT_EQ(stands[40].name, "odd");
    EXPECT_EQ(stands[40].options[0].callsign1(), "&nbsp;");
}

}  // namespace
}  // namespace vdl::test
