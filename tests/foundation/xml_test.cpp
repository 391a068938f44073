#include "foundation/xml.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::readWholeFile;
using test::TempWorkDir;

TEST(MetaTest, FiveEntriesInFixedOrderSavedAndReadBack) {
    TempWorkDir dir;
    gf_setTestClock(1796591924);
    MSFS_2020.set(false);
    pugi::xml_document doc;
    ASSERT_TRUE(gf_writeMeta(doc));
    doc.append_child("parkpositions").append_child("parkpos").append_attribute("name") = "V12";
    ASSERT_TRUE(gf_saveXml(doc, "EDDF.xml"));
    EXPECT_FALSE(gf_saveXml(doc, "no/such/folder/EDDF.xml"));

    pugi::xml_document back;
    ASSERT_TRUE(back.load_file("EDDF.xml"));
    EXPECT_STREQ(back.first_child().name(), "meta");
    std::vector<std::string> entries;
    for (pugi::xml_node info : back.child("meta").children("info"))
        entries.push_back(std::string(info.attribute("name").value()) + "=" +
                          info.attribute("value").value());
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries, (std::vector<std::string>{"author=Vandrel", "date=2026-12-06", "version=10.10.4",
                                                 "copyright=(c) 2026 Vandrel", "MSFS=2024"}));
    EXPECT_TRUE(gf_checkMeta(back));
    EXPECT_STREQ(back.child("parkpositions").child("parkpos").attribute("name").value(), "V12");
    EXPECT_EQ(gf_countFiles("."), 1);  // no temporary file left
}

TEST(MetaTest, CheckRefusesABlockWithoutAuthorDateOrVersion) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    const std::pair<const char*, bool> cases[] = {
        {R"(<meta><info name="version" value="1"/><info name="date" value=""/><info name="author" value="a"/></meta>)",
         true},
        {R"(<meta><info name="author" value="a"/><info name="date" value="d"/></meta>)", false},
        {R"(<root><meta><info name="author"/><info name="date"/><info name="version"/></meta></root>)",
         false},
    };
    for (const auto& [xml, ok] : cases) {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(xml));
        EXPECT_EQ(gf_checkMeta(doc), ok) << xml;
    }
    gf_closeLog();
    EXPECT_NE(readWholeFile("Log.txt").find("===> meta data incorrect?\n"), std::string::npos);
}

}  // namespace
}  // namespace vdl
