// output/LiveriesScanned.xml: writer, reader and their failures.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "foundation/errors.h"
#include "foundation/files.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "liveries_fixture.h"

namespace vdl::test {
namespace {

using LiveryFile = LiveriesEnv;

TEST_F(LiveryFile, RoundTripKeepsEveryRecordAndOrder) {
    // Already in reader order (airline, type, title), so the list must come back unchanged.
    const std::list<LiveryData> written = {
        {"AMX", "B738", "Aeroméxico 737 \"Día de Muertos\"", "XA-AMX", 4, false},
        {"DLH", "A320", "A&B <cargo> 'x'", "D-AIZA", 7, true},
        {"DLH", "A320", "Lufthansa Ünïcödé 日本", "", 2, false},
        {"ZZZ", "C172", "c", "", 1, false},
    };
    liveries = written;
    gf_saveScannedLiveries();
    gf_readScannedLiveries();
    ASSERT_EQ(liveries.size(), written.size());
    auto it = written.begin();
    for (const auto& liv : liveries) {
        EXPECT_EQ(liv, *it);
        EXPECT_EQ(liv.title, it->title);
        EXPECT_EQ(liv.folderNo, 0);
        ++it;
    }
    EXPECT_TRUE(contains(newLogLines(), "4 liveries read from output/LiveriesScanned.xml"));
}

TEST_F(LiveryFile, AttributesInOrderAndOnlyWhenSet) {
    liveries = {{"DLH", "A320", "t1", "", 0, false}, {"FDX", "B77W", "t2", "N851FD", 0, true}};
    gf_saveScannedLiveries();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file("output/LiveriesScanned.xml"));
    ASSERT_TRUE(doc.child("meta"));
    EXPECT_EQ(std::string(doc.first_child().name()), "meta");
    std::vector<std::vector<std::string>> names;
    for (auto liv : doc.child("liveries").children("liv")) {
        names.emplace_back();
        for (auto a : liv.attributes()) names.back().push_back(a.name());
    }
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], (std::vector<std::string>{"airl", "type", "title"}));
    EXPECT_EQ(names[1], (std::vector<std::string>{"airl", "type", "cargo", "title", "atcid"}));
    EXPECT_TRUE(contains(newLogLines(), "2 liveries in output/LiveriesScanned.xml"));
}

TEST_F(LiveryFile, EmptyListLeavesFileUntouched) {
    writeWholeFile("output/LiveriesScanned.xml", "old");
    liveries.clear();
    gf_saveScannedLiveries();
    EXPECT_EQ(readWholeFile("output/LiveriesScanned.xml"), "old");
    EXPECT_FALSE(std::filesystem::exists("output/LiveriesScanned.xml.tmp"));
}

TEST_F(LiveryFile, EqualityIgnoresFolderNumberOnly) {
    const LiveryData a{"DLH", "A320", "t", "D-AIZA", 1, false};
    LiveryData b = a;
    b.folderNo = 9;
    EXPECT_EQ(a, b);
    for (auto change : {+[](LiveryData& l) { l.airl = "BAW"; }, +[](LiveryData& l) { l.type = "A321"; },
                        +[](LiveryData& l) { l.title = "T"; }, +[](LiveryData& l) { l.atcid = ""; },
                        +[](LiveryData& l) { l.cargo = true; }}) {
        LiveryData c = a;
        change(c);
        EXPECT_FALSE(a == c);
    }
}

TEST_F(LiveryFile, CargoAttributeReadAsBoolean) {
    writeWholeFile(
        "output/LiveriesScanned.xml",
        "<liveries><liv airl='A' type='T' title='1' cargo='yes'/><liv airl='A' type='T' title='2' "
        "cargo='false'/><liv airl='A' type='T' title='3' cargo='T'/><liv airl='A' type='T' title='4' "
        "cargo=''/><liv type='T' title='5'/></liveries>");
    gf_readScannedLiveries();
    std::vector<std::pair<std::string, bool>> got;
    for (const auto& l : liveries) got.emplace_back(l.title, l.cargo);
    // Sorted by airline first: the record without airline comes first.
    EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{
                       {"5", false}, {"1", true}, {"2", false}, {"3", true}, {"4", false}}));
    EXPECT_EQ(liveries.front().airl, "");
}

struct ReadFailure {
    const char* name;
    const char* content;  // nullptr: no file
    int code;
    const char* text;
};

void PrintTo(const ReadFailure& c, std::ostream* os) {
    *os << c.name;
}

class LiveryFileFailure : public LiveriesEnv, public ::testing::WithParamInterface<ReadFailure> {};

TEST_P(LiveryFileFailure, ThrowsCodeWithText) {
    const auto& c = GetParam();
    if (c.content) writeWholeFile("output/LiveriesScanned.xml", c.content);
    try {
        gf_readScannedLiveries();
        FAIL() << "no exception";
    } catch (const UserErrorException& e) {
        EXPECT_EQ(e.code(), c.code);
        EXPECT_EQ(e.text(), c.text);
    }
    EXPECT_TRUE(liveries.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveryFileFailure,
    ::testing::Values(
        ReadFailure{"missing", nullptr, 51, "File output/LiveriesScanned.xml not found"},
        ReadFailure{
            "malformed", "<liveries><liv airl='A'", 51,
            "File output/LiveriesScanned.xml could not be read: Error parsing start element tag at offset "
            "22"},
        ReadFailure{"noSection", "<meta/><other/>", 52,
                    "output/LiveriesScanned.xml does not contain a <liveries> section"},
        ReadFailure{"nested", "<root><liveries><liv airl='A' type='T' title='x'/></liveries></root>", 52,
                    "output/LiveriesScanned.xml does not contain a <liveries> section"},
        ReadFailure{"noLiv", "<liveries><livery title='x'/></liveries>", 533,
                    "output/LiveriesScanned.xml does not contain liveries"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveryFile, IncompleteMetaOnlyLogged) {
    writeWholeFile("output/LiveriesScanned.xml",
                   "<meta><info name='author' value='x'/></meta><liveries><liv airl='A' type='T' "
                   "title='x'/></liveries>");
    gf_readScannedLiveries();
    EXPECT_EQ(liveries.size(), 1u);
    EXPECT_TRUE(contains(newLogLines(), "===> meta data incorrect?"));
}

}  // namespace
}  // namespace vdl::test
