#include "refdata/regcodes.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files_fixture.h"
#include "foundation/utf8_path.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class RegcodesTest : public RefFilesTest {
  protected:
    void SetUp() override {
        RefFilesTest::SetUp();
        fs::create_directories("input/my_regcodes");
    }
};

MATCHER_P3(IsRecord, title, regs, special, "") {
    return arg.title == title && arg.regs == std::vector<std::string>(regs) && arg.special == special;
}

using Regs = std::vector<std::string>;

TEST_F(RegcodesTest, AigFileEntriesIncludingTitleOnlyAndFaults) {
    writeWholeFile("input/AIG-regcodes.xml",
                   R"(<regcodes><livery title="AIG A320 Lufthansa D-AIZA" regs="D-AIZA"/>
  <livery title="AIG B77W Emirates" regs=" A6-EBA , A6-EBB,, " special="true"/><livery title="AIG A320 Retro" special="1"/>
  <livery title="FSLTL Do not use"/><livery regs="D-ABCD"/>
  <other title="ignored" regs="X-ABC"/></regcodes>)");
    std::vector<LiveryRegcodes> records{{"kept from before", {}, false}};
    EXPECT_FALSE(gf_readAigRegcodes("input/AIG-regcodes.xml", records));  // the entry without title
    EXPECT_THAT(records,
                ::testing::ElementsAre(IsRecord("kept from before", Regs{}, false),
                                       IsRecord("AIG A320 Lufthansa D-AIZA", Regs{"D-AIZA"}, false),
                                       IsRecord("AIG B77W Emirates", (Regs{"A6-EBA", "A6-EBB"}), true),
                                       IsRecord("AIG A320 Retro", Regs{}, true),
                                       IsRecord("FSLTL Do not use", Regs{}, false)));
    const std::string log = logText();
    EXPECT_NE(log.find("livery 5 has no title"), std::string::npos);
    writeWholeFile("input/AIG-regcodes.xml", "<regcodes><livery title=\"x\"");
    EXPECT_FALSE(gf_readAigRegcodes("input/AIG-regcodes.xml", records));
    EXPECT_FALSE(gf_readAigRegcodes("input/none.xml", records));
}

TEST_F(RegcodesTest, UserFilesInNameOrderWithTitleOnlyAndSpecialLines) {
    writeWholeFile(
        "input/my_regcodes/b.TXT",
        "# my liveries\r\nFSLTL A320 Air France = F-GKXA, F-GKXB\r\n\r\n!FSLTL A320 Air France Skyteam = "
        "F-HBNK\r\n"
        "FSLTL B738 Ryanair Retro\r\n! Special without regs =\r\n; Title = with = signs = EI-DCL\r\n"
        "Title = with = signs = EI-DCL\r\n");
    writeWholeFile("input/my_regcodes/a.txt", "AIG A20N Wizz = HA-LVA\n");
    writeWholeFile("input/my_regcodes/notes.md", "Not = read\n");
    std::vector<LiveryRegcodes> records;
    EXPECT_TRUE(gf_readRegcodeFiles("input/my_regcodes", records));
    EXPECT_THAT(records,
                ::testing::ElementsAre(IsRecord("AIG A20N Wizz", Regs{"HA-LVA"}, false),
                                       IsRecord("FSLTL A320 Air France", (Regs{"F-GKXA", "F-GKXB"}), false),
                                       IsRecord("FSLTL A320 Air France Skyteam", Regs{"F-HBNK"}, true),
                                       IsRecord("FSLTL B738 Ryanair Retro", Regs{}, false),
                                       IsRecord("Special without regs", Regs{}, true),
                                       IsRecord("Title = with = signs", Regs{"EI-DCL"}, false)));
}

TEST_F(RegcodesTest, FaultyLinesAreLoggedAndTheGoodOnesKept) {
    writeWholeFile("input/my_regcodes/user.txt",
                   "Good one = D-AAAA\n= D-BBBB\nBad reg = D-AAAA, D CCCC\n!\nGood two = D-DDDD\n");
    std::vector<LiveryRegcodes> records;
    EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", records));
    EXPECT_THAT(records, ::testing::ElementsAre(IsRecord("Good one", Regs{"D-AAAA"}, false),
                                                IsRecord("Bad reg", Regs{"D-AAAA"}, false),
                                                IsRecord("Good two", Regs{"D-DDDD"}, false)));
    const std::string log = logText();
    const std::string file = gf_utf8FromPath(std::filesystem::path("input/my_regcodes") / "user.txt");
    EXPECT_NE(log.find("===> " + file + "(2): no title"), std::string::npos) << log;
    EXPECT_NE(log.find("user.txt(3): bad registration \"D CCCC\" skipped"), std::string::npos);
    records.clear();
    EXPECT_TRUE(gf_readRegcodeFiles("input/none", records));  // no folder: nothing to read
    EXPECT_TRUE(records.empty());
}

// One bad registration costs only itself: the title, the other registrations and the special
// mark stay, and the reader reports the fault so the user hears of it.
TEST_F(RegcodesTest, ABadRegistrationAloneIsSkippedInBothSources) {
    const char* bads[] = {"15+01", "D AB", "ABCDEFGHIJKLMNOPQ", "D-\u00C4BC", "D_ABC", "N1.2"};
    for (const char* bad : bads) {
        SCOPED_TRACE(bad);
        writeWholeFile("input/AIG-regcodes.xml",
                       std::string("<regcodes><livery title=\"AIG T\" special=\"true\" ") +
                           "regs=\"D-AAAA, " + bad + ", ABCDEFGHIJKLMNOP\"/></regcodes>");
        writeWholeFile("input/my_regcodes/user.txt",
                       std::string("!User T = D-AAAA, ") + bad + ", ABCDEFGHIJKLMNOP\n");
        const Regs kept{"D-AAAA", "ABCDEFGHIJKLMNOP"};  // 16 characters still fit
        std::vector<LiveryRegcodes> records;
        EXPECT_FALSE(gf_readAigRegcodes("input/AIG-regcodes.xml", records));
        EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", records));
        EXPECT_THAT(records,
                    ::testing::ElementsAre(IsRecord("AIG T", kept, true), IsRecord("User T", kept, true)));
        const std::string log = logText();
        EXPECT_NE(log.find(std::string("bad registration \"") + bad + "\" for \"AIG T\" skipped"),
                  std::string::npos);
        EXPECT_NE(log.find(std::string("user.txt(1): bad registration \"") + bad + "\" skipped"),
                  std::string::npos);
    }
}

TEST_F(RegcodesTest, ManyBadRegistrationsAreCountedNotEachLogged) {
    std::string xml = "<regcodes>";
    for (int i = 0; i < 25; ++i)
        xml += "<livery title=\"T" + std::to_string(i) + "\" regs=\"X+" + std::to_string(i) + ",G-OOD\"/>";
    writeWholeFile("input/AIG-regcodes.xml", xml + "</regcodes>");
    std::vector<LiveryRegcodes> records;
    EXPECT_FALSE(gf_readAigRegcodes("input/AIG-regcodes.xml", records));
    ASSERT_EQ(records.size(), 25u);
    EXPECT_EQ(records.back().regs, Regs{"G-OOD"});
    const std::string log = logText();
    size_t listed = 0;
    for (size_t at = log.find("bad registration \"X+"); at != std::string::npos;
         at = log.find("bad registration \"X+", at + 1))
        ++listed;
    EXPECT_EQ(listed, 10u);
    EXPECT_NE(log.find("===> \"input/AIG-regcodes.xml\": 15 more bad registrations skipped"),
              std::string::npos);
}

}  // namespace
}  // namespace vdl::test
