// output/LiveriesScanned.xml: writer, reader and their failures.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "foundation/errors.h"
#include "support/data_env.h"

namespace vdl::test {
namespace {

using LiveryFile = LiveriesEnv;

TEST_F(LiveryFile, RoundTripKeepsEveryRecordAttributeOrderAndOptionalAttributes) {
    // Already in reader order (airline, type, title), so the list must come back unchanged.
    const std::list<LiveryData> written = {
        {"AMX", "B738", "Aeroméxico 737 \"Día de Muertos\"", "XA-AMX", 4, false},
        {"DLH", "A320", "A&B <cargo> 'x'", "D-AIZA", 7, true},
        {"DLH", "A320", "Lufthansa 日本", "", 2, false},
    };
    liveries = written;
    gf_saveScannedLiveries();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file("output/LiveriesScanned.xml"));
    EXPECT_EQ(std::string(doc.first_child().name()), "meta");
    std::vector<std::vector<std::string>> names;
    for (auto liv : doc.child("liveries").children("liv")) {
        names.emplace_back();
        for (auto a : liv.attributes()) names.back().push_back(a.name());
    }
    EXPECT_EQ(names, (std::vector<std::vector<std::string>>{{"airl", "type", "title", "atcid"},
                                                            {"airl", "type", "cargo", "title", "atcid"},
                                                            {"airl", "type", "title"}}));
    gf_readScannedLiveries();
    ASSERT_EQ(liveries.size(), written.size());
    auto it = written.begin();
    for (const auto& liv : liveries) {
        EXPECT_EQ(liv, *it);
        EXPECT_EQ(liv.folderNo, 0);
        ++it;
    }
    // Equality ignores the folder number only.
    EXPECT_EQ(written.front(), (LiveryData{"AMX", "B738", written.front().title, "XA-AMX", 1, false}));
    EXPECT_FALSE(written.front() == (LiveryData{"AMX", "B738", written.front().title, "XA-AMX", 4, true}));
}

TEST_F(LiveryFile, FailedSaveIsReportedAsAFailureAndNoCountIsLogged) {
    namespace fs = std::filesystem;
    const std::string file = scannedLiveriesPath.string();
    // A folder in the file's place; a file in the folder's place.
    const std::pair<const char*, void (*)()> blocks[] = {
        {"folder at the file", [] { fs::create_directories(scannedLiveriesPath / "inner"); }},
        {"file at the folder", [] {
             fs::remove_all("output");
             writeWholeFile("output", "not a folder");
         }},
    };
    for (const auto& [what, block] : blocks) {
        SCOPED_TRACE(what);
        block();
        newLogLines();
        liveries = {{"DLH", "A320", "t1", "", 1, false}, {"DLH", "A320", "t2", "", 1, false}};
        EXPECT_FALSE(gf_saveScannedLiveries());
        const auto lines = newLogLines();
        EXPECT_TRUE(contains(lines, "===> 2 liveries not saved: " + file + " could not be written"));
        EXPECT_FALSE(contains(lines, "2 liveries in " + file));
        EXPECT_EQ(gf_countFiles("output"), 0);  // no temporary file left behind
        fs::remove_all("output");
        fs::create_directories("output");
    }
    liveries.clear();
    EXPECT_TRUE(gf_saveScannedLiveries());  // nothing to save is no failure, and writes nothing
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(LiveryFile, CargoAttributeReadAsBooleanAndIncompleteMetaOnlyLogged) {
    writeWholeFile("output/LiveriesScanned.xml",
                   "<meta><info name='author' value='x'/></meta><liveries>"
                   "<liv airl='A' type='T' title='1' cargo='yes'/><liv airl='A' type='T' title='2' cargo='false'/>"
                   "<liv type='T' title='5'/></liveries>");
    gf_readScannedLiveries();
    std::vector<std::pair<std::string, bool>> got;
    for (const auto& l : liveries) got.emplace_back(l.title, l.cargo);
    // Sorted by airline first: the record without airline comes first.
    EXPECT_EQ(got, (std::vector<std::pair<std::string, bool>>{
                       {"5", false}, {"1", true}, {"2", false}}));
    EXPECT_TRUE(contains(newLogLines(), "===> meta data incorrect?"));
}

TEST_F(LiveryFile, RegistrationsOfAnOlderCatalogueLoseInvisibleCharactersAtTheirEnds) {
    writeWholeFile("output/LiveriesScanned.xml",
                   "<liveries><liv airl='A' type='T' title='1' atcid='RA-89035\u00A0'/>"
                   "<liv airl='A' type='T' title='2' atcid='\u200e\u200e'/>"
                   "<liv airl='A' type='T' title='3' atcid='\uFEFFD-A\u00A0BC'/></liveries>");
    gf_readScannedLiveries();
    std::vector<std::string> got;
    for (const auto& l : liveries) got.push_back(l.atcid);
    EXPECT_EQ(got, (std::vector<std::string>{"RA-89035", "", "D-A\u00A0BC"}));
}

TEST_F(LiveryFile, ReadFailuresThrowTheirCodeAndText) {
    const std::string file = "output/LiveriesScanned.xml";
    const std::tuple<const char*, int, std::string> cases[] = {
        {nullptr, 51, "File " + file + " not found"},
        // Unreadable: the parser's finding, not "not found".
        {"<liveries><liv airl='A'", 51,
         "File " + file + " could not be read: Error parsing start element tag at offset 22"},
        {"<meta/><other/>", 52, file + " does not contain a <liveries> section"},
        {"<root><liveries><liv airl='A' type='T' title='x'/></liveries></root>", 52,
         file + " does not contain a <liveries> section"},
        {"<liveries><livery title='x'/></liveries>", 533, file + " does not contain liveries"},
    };
    for (const auto& [content, code, text] : cases) {
        SCOPED_TRACE(text);
        std::filesystem::remove(file);
        if (content) writeWholeFile(file, content);
        try {
            gf_readScannedLiveries();
            ADD_FAILURE() << "no exception";
        } catch (const UserErrorException& e) {
            EXPECT_EQ(e.code(), code);
            EXPECT_EQ(e.text(), text);
        }
        EXPECT_TRUE(liveries.empty());
    }
}

}  // namespace
}  // namespace vdl::test
