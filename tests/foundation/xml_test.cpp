#include "foundation/xml.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::readWholeFile;
using test::TempWorkDir;

TEST(MetaTest, BlockHasFiveEntriesInFixedOrder) {
    TempWorkDir dir;
    gf_setTestClock(1796591924);
    MSFS_2020.set(false);
    pugi::xml_document doc;
    ASSERT_TRUE(gf_writeMeta(doc));
    doc.append_child("liveries");
    EXPECT_STREQ(doc.first_child().name(), "meta");

    const char* names[] = {"author", "date", "version", "copyright", "MSFS"};
    const char* values[] = {"Vandrel", "2026-12-06", "10.10.4", nullptr, "2024"};
    size_t i = 0;
    for (pugi::xml_node info : doc.child("meta").children()) {
        ASSERT_LT(i, 5u);
        EXPECT_STREQ(info.name(), "info");
        EXPECT_STREQ(info.attribute("name").value(), names[i]);
        if (values[i]) {
            EXPECT_STREQ(info.attribute("value").value(), values[i]);
        } else {
            EXPECT_STRNE(info.attribute("value").value(), "");
        }
        ++i;
    }
    EXPECT_EQ(i, 5u);
    EXPECT_TRUE(gf_checkMeta(doc));
    EXPECT_EQ(gf_metaValue(doc, "version"), "10.10.4");
    EXPECT_EQ(gf_metaValue(doc, "nothing"), std::nullopt);
}

TEST(MetaTest, CheckRefusesABlockWithoutAuthorDateOrVersion) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    struct Case {
        const char* xml;
        bool ok;
    };
    const Case cases[] = {
        {R"(<meta><info name="author" value="a"/><info name="date" value="d"/><info name="version" value="1"/></meta>)",
         true},
        {R"(<meta><info name="version" value="1"/><info name="date" value=""/><info name="author" value="a"/></meta>)",
         true},
        {R"(<meta><info name="author" value="a"/><info name="date" value="d"/></meta>)", false},
        {R"(<meta><info name="author" value="a"/><info name="version" value="1"/></meta>)", false},
        {R"(<meta><info name="date" value="d"/><info name="version" value="1"/><info name="MSFS" value="2020"/></meta>)",
         false},
        {R"(<parameters/>)", false},
        {R"(<root><meta><info name="author"/><info name="date"/><info name="version"/></meta></root>)",
         false},
    };
    int refused = 0;
    for (const Case& c : cases) {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(c.xml));
        EXPECT_EQ(gf_checkMeta(doc), c.ok) << c.xml;
        if (!c.ok) ++refused;
    }
    gf_closeLog();
    std::string log = readWholeFile("Log.txt");
    size_t count = 0;
    for (size_t pos = log.find("===> meta data incorrect?\n"); pos != std::string::npos;
         pos = log.find("===> meta data incorrect?\n", pos + 1))
        ++count;
    EXPECT_EQ(count, static_cast<size_t>(refused));
}

TEST(SaveXmlTest, SavesWithTheDefaultOutputAndLogs) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    pugi::xml_document doc;
    gf_writeMeta(doc);
    doc.append_child("parkpositions").append_child("parkpos").append_attribute("name") = "V12";
    ASSERT_TRUE(gf_saveXml(doc, "EDDF.xml"));
    EXPECT_FALSE(gf_saveXml(doc, "no/such/folder/EDDF.xml"));
    gf_closeLog();

    std::string text = readWholeFile("EDDF.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\"", 0), 0u) << text;
    pugi::xml_document back;
    ASSERT_TRUE(back.load_file("EDDF.xml"));
    EXPECT_TRUE(gf_checkMeta(back));
    EXPECT_STREQ(back.child("parkpositions").child("parkpos").attribute("name").value(), "V12");

    std::string log = readWholeFile("Log.txt");
    EXPECT_NE(log.find("\n\"EDDF.xml\" saved\n"), std::string::npos);
    EXPECT_NE(log.find("\ncould not save to \"no/such/folder/EDDF.xml\"\n"), std::string::npos);
}

}  // namespace
}  // namespace vdl
