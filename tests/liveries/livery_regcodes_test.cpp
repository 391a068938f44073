// Registrations from the liveries, a local AIG file and the user's files.
#include "liveries/livery_regcodes.h"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/errors.h"
#include "support/data_env.h"

namespace vdl::test {
namespace {

class Regcodes : public DataEnv {
  protected:
    static void userFile(const std::string& name, const std::string& text) {
        std::filesystem::create_directories("input/my_regcodes");
        writeWholeFile("input/my_regcodes/" + name, text);
    }
    static std::vector<std::string> fileLines(const std::filesystem::path& p) {
        return gf_readFileLines(p).value_or(std::vector<std::string>{});
    }
};

TEST_F(Regcodes, ClashesOfLiveriesReportedFirstWinsAndOldReportsGo) {
    auto catalogue = handCatalogue();
    catalogue.push_back({"BAW", "B77W", "BAW77Wb", "G-EUUA", 0, false});
    catalogue.push_back({"AAA", "C152", "AAA152b", "G-EUUA", 0, false});
    buildFrom(catalogue);
    // Sorted by airline: AAA's livery comes first and keeps the registration.
    EXPECT_EQ(regcodeTitles.at("G-EUUA"), "AAA152b");
    EXPECT_EQ(fileLines("output/errors/InlineRegcodes.txt"),
              (std::vector<std::string>{"G-EUUA \"BAW320a\" => already in use by \"AAA152b\"",
                                        "G-EUUA \"BAW77Wb\" => already in use by \"AAA152b\""}));
    EXPECT_TRUE(contains(newLogLines(), "2 in-line regcode clashes, see \"output/errors/InlineRegcodes.txt\""));

    // A build without clashes, or one that fails, leaves no old report behind.
    gf_clearLiveryTables();
    buildFrom(handCatalogue());
    EXPECT_FALSE(std::filesystem::exists("output/errors/InlineRegcodes.txt"));
    gf_clearLiveryTables();
    buildFrom(catalogue);
    gf_clearLiveryTables();
    writeWholeFile("output/LiveriesScanned.xml", "<liveries/>");
    EXPECT_THROW(gf_processScannedLiveries(), UserErrorException);
    EXPECT_FALSE(std::filesystem::exists("output/errors/InlineRegcodes.txt"));
}

TEST_F(Regcodes, MissingAigFileGivesNoOfflineReport) {
    std::filesystem::create_directories("output/info");
    writeWholeFile("output/info/OfflineRegcodes.txt", "old");
    buildFrom(handCatalogue());
    EXPECT_FALSE(std::filesystem::exists("output/info/OfflineRegcodes.txt"));
    EXPECT_TRUE(contains(newLogLines(), "===> reading AIG-regcodes failed?"));
    EXPECT_EQ(regcodeTitles.size(), 4u);
}

TEST_F(Regcodes, DontUseTitlesFromBothSourcesAndFailureLinesReachTheLog) {
    writeWholeFile("input/aig.xml", R"(<regcodes>
  <livery title="Broken A" regs=""/>
  <livery title="Painted" regs="D-ABCD"/>
  <livery title="Special only" special="true"/>
  <livery title="Broken B"/>
</regcodes>)");
    gf_readDontUseTitlesAig("input/aig.xml");
    userFile("u.txt", "Broken C\n!Special too\nGood = D-EFGH\n");
    gf_readDontUseTitlesUser();
    EXPECT_EQ(dontUseTitles, (std::unordered_set<std::string>{"Broken A", "Broken B", "Broken C"}));

    gf_readDontUseTitlesAig("input/missing.xml");
    const auto line = "There were errors in processing the file \"input/missing.xml\", see the Log.txt";
    EXPECT_EQ(regcodeMessages, std::vector<std::string>{line});
    EXPECT_TRUE(contains(newLogLines(), std::string("===> ") + line));
}

// Mended faults: a report that could not be written was still announced with "see", and a report
// folder that could not be made ended the whole table build.
TEST_F(Regcodes, ReportThatCannotBeWrittenIsAFailureAndTheBuildGoesOn) {
    const struct {
        const char* blocker;  // a plain file where the report's folder should be
        bool userFile;
        std::string failure;
        std::string notExpected;
    } cases[] = {
        {"output/errors", false, "===> 2 in-line regcode clashes, not reported", "in-line regcode clashes, see"},
        {"output/info", true, "===> could not write \"output/info/OfflineRegcodes.txt\"", "results can be found"},
    };
    for (const auto& c : cases) {
        gf_clearLiveryTables();
        std::filesystem::remove_all("output");
        std::filesystem::remove_all("input");
        std::filesystem::create_directories("output");
        writeWholeFile(c.blocker, "not a folder");
        if (c.userFile) userFile("u.txt", "BAW320a = G-EUUB\n");
        auto catalogue = handCatalogue();
        catalogue.push_back({"BAW", "B77W", "BAW77Wb", "G-EUUA", 0, false});
        catalogue.push_back({"AAA", "C152", "AAA152b", "G-EUUA", 0, false});
        newLogLines();
        ASSERT_NO_THROW(buildFrom(catalogue)) << c.blocker;
        EXPECT_TRUE(liveriesProcessed) << c.blocker;
        EXPECT_EQ(regcodeTitles.at("G-EUUA"), "AAA152b") << c.blocker;
        const auto lines = newLogLines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.starts_with(c.failure);
        })) << c.blocker << "\n" << fmt::format("{}", fmt::join(lines, "\n"));
        for (const auto& line : lines) EXPECT_EQ(line.find(c.notExpected), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace vdl::test
