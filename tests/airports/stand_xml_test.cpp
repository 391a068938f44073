// Stand files read into memory kept between loads: the same documents as an ordinary parse,
// the memory reused rather than grown, and other documents untouched by it; the bytes of files
// and the room of option lists reused in turn.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "airports/stand_xml.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

std::string lf_text(const pugi::xml_document& doc) {
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

// Some 200 KB of stand file, with escapes, tabs in values and text the parse converts.
std::string lf_sample(int stands) {
    std::string s = "<?xml version=\"1.0\"?>\r\n<meta><info name=\"author\" value=\"A &amp; B\tC\"/></meta>\r\n<parkpositions>";
    for (int i = 0; i < stands; ++i) {
        s += "<parkpos id=\"S" + std::to_string(i) + "\" latitude=\"50.1\" longitude=\"6.2\" radius=\"30\">";
        for (int k = 0; k < 20; ++k) s += "<opt reg=\"\" airl=\"DLH\" type=\"A320\" day=\"3\" hh=\"1,2,47\" cs=\"DLH1:DLH2\"/>";
        s += "</parkpos>\r\n";
    }
    return s + "</parkpositions>\r\n";
}

TEST(StandXml, SameDocumentAsAnOrdinaryParseAndMemoryReused) {
    test::TempWorkDir work;
    gf_releaseStandXmlMemory();
    test::writeWholeFile("big.xml", lf_sample(200));
    test::writeWholeFile("bad.xml", "<parkpositions><parkpos id=\"A\"></parkpositions>");
    pugi::xml_document plain;
    ASSERT_TRUE(plain.load_file("big.xml"));
    const std::string expected = lf_text(plain);
    size_t firstSize = 0;
    for (int load = 0; load < 3; ++load) {
        if (load == 1) firstSize = gf_standXmlMemorySize();
        StandXmlDocument parsed;
        EXPECT_TRUE(parsed.kept());
        ASSERT_TRUE(parsed.loadFile("big.xml"));
        EXPECT_EQ(lf_text(parsed.doc()), expected);
        EXPECT_STREQ(parsed.doc().child("meta").child("info").attribute("value").as_string(), "A & B C");
        // Ordinary documents made and freed meanwhile on the same thread are unharmed.
        auto other = std::make_unique<pugi::xml_document>();
        other->append_child("x").append_attribute("y").set_value(std::string(5000, 'z').c_str());
        other.reset();
    }
    EXPECT_GT(firstSize, 0u);
    EXPECT_EQ(gf_standXmlMemorySize(), firstSize);  // the later loads fit in the first one's memory

    // A broken file and a missing one answer as an ordinary parse does.
    pugi::xml_document plainBad;
    for (const char* file : {"bad.xml", "missing.xml"}) {
        StandXmlDocument parsed;
        const pugi::xml_parse_result result = parsed.loadFile(file);
        const pugi::xml_parse_result expectedResult = plainBad.load_file(file);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.status, expectedResult.status) << file;
        EXPECT_EQ(result.offset, expectedResult.offset) << file;
    }

    // While one document holds the memory, a second one is an ordinary document.
    {
        StandXmlDocument first;
        ASSERT_TRUE(first.loadFile("big.xml"));
        StandXmlDocument second;
        EXPECT_FALSE(second.kept());
        ASSERT_TRUE(second.loadFile("big.xml"));
        EXPECT_EQ(lf_text(second.doc()), expected);
        EXPECT_EQ(lf_text(first.doc()), expected);
    }
    // Given back at once, or after the document that holds it.
    gf_releaseStandXmlMemory();
    EXPECT_EQ(gf_standXmlMemorySize(), 0u);
    {
        StandXmlDocument again;
        EXPECT_TRUE(again.kept());
        ASSERT_TRUE(again.loadFile("big.xml"));
        gf_releaseStandXmlMemory();
        EXPECT_EQ(lf_text(again.doc()), expected);
    }
    EXPECT_EQ(gf_standXmlMemorySize(), 0u);
}

// The bytes of files and the room of option lists, kept from one load to the next.
TEST(StandXml, FileBytesAndOptionRoomKept) {
    test::TempWorkDir work;
    gf_releaseStandXmlMemory();
    test::writeWholeFile("a.xml", std::string(300000, 'a'));
    test::writeWholeFile("b.xml", "<b/>");
    const char* firstData = nullptr;
    for (const char* file : {"a.xml", "b.xml", "a.xml"}) {
        StandFileBytes bytes;
        EXPECT_TRUE(bytes.kept());
        ASSERT_TRUE(bytes.read(file));
        EXPECT_EQ(bytes.data()[bytes.size()], '\0');
        if (firstData == nullptr) firstData = bytes.data();
        EXPECT_EQ(bytes.data(), firstData) << file;  // the first file's room serves the smaller one
        StandFileBytes other;
        EXPECT_FALSE(other.kept());
        EXPECT_FALSE(other.read("missing.xml"));
        ASSERT_TRUE(other.read("b.xml"));
        EXPECT_EQ(std::string(other.data(), other.size()), "<b/>");
    }
    EXPECT_GE(gf_standXmlMemorySize(), 300001u);

    std::vector<ParkPos> stands;
    for (size_t n : {3, 0, 5}) {
        std::vector<ParkPosOption> options(n);
        stands.emplace_back("S", std::move(options), 1.0, 1.0, 0.0, 10.0, false, false, false);
    }
    const ParkPosOption* first = stands[0].options.data();
    const ParkPosOption* third = stands[2].options.data();
    const size_t before = gf_standXmlMemorySize();
    gf_keepOptionStorage(stands);
    EXPECT_TRUE(stands.empty());
    EXPECT_EQ(gf_standXmlMemorySize(), before + 8 * sizeof(ParkPosOption));
    EXPECT_EQ(gf_optionStorage(0).capacity(), 0u);
    const auto a = gf_optionStorage(2);  // in the order kept, the list of none left out
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.data(), first);
    const auto b = gf_optionStorage(5);
    EXPECT_EQ(b.data(), third);
    const auto c = gf_optionStorage(4);  // nothing kept left: new room
    EXPECT_GE(c.capacity(), 4u);
    gf_releaseStandXmlMemory();
    EXPECT_EQ(gf_standXmlMemorySize(), 0u);
}

}  // namespace
}  // namespace vdl
